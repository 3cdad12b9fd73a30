// Hostile input and a failing world, end to end: scripts and frame files no
// one would write on purpose, names that cannot be frames, and outputs and
// ports that fail part-way. Each ends with the expected summary, wire and
// status, and never hangs, crashes or grows with its input.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "display/display.h"
#include "frame/frame.h"
#include "platform/platform.h"
#include "platform/port_kind.h"
#include "support/support.h"

using namespace testing_support;
using namespace std::string_literals;
namespace g = glowreel;

namespace {

std::string Sleep0() { return TracedSleep(0); }

// The picture a frame buffer shows: a pixel bit of 0 lights its dot.
Picture PictureOfFile(const std::vector<uint8_t>& file) {
  return PictureOf([&](int x, int y) { return !((file[62 + 16 * (63 - y) + x / 8] >> (7 - x % 8)) & 1); });
}

// Writes size bytes: the start of head, then filler; in pieces, so that a
// file of any size costs the test no memory.
void WriteSized(const std::string& path, const std::vector<uint8_t>& head, size_t size, char filler) {
  std::ofstream out(path, std::ios::binary);
  const size_t fromHead = std::min(size, head.size());
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(fromHead));
  const std::string piece(1 << 20, filler);
  for (size_t left = size - fromHead; left > 0;) {
    const size_t n = std::min(left, piece.size());
    out.write(piece.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  ASSERT_TRUE(out.good()) << path;
}

// Running the program with what RunGlowreel does not offer: another user,
// a file size limit, or stdout on a pipe that is read as it comes.
struct Launch {
  std::vector<std::string> args;
  std::string port;
  uid_t user = 0;  // 0: as the test runs
  rlim_t fileSizeLimit = RLIM_INFINITY;
};

pid_t Start(const std::string& dir, const Launch& launch, int out, int err) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(dir.c_str()) != 0) _exit(126);
  setenv("GLOWREEL_PORT", launch.port.c_str(), 1);
  const int in = open("/dev/null", O_RDONLY);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  if (launch.fileSizeLimit != RLIM_INFINITY) {
    // A write past the limit then fails with EFBIG, as on a full disk,
    // instead of killing the program.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {launch.fileSizeLimit, launch.fileSizeLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
  }
  if (launch.user != 0 && (setgroups(0, nullptr) != 0 || setgid(launch.user) != 0 || setuid(launch.user) != 0))
    _exit(125);
  std::vector<char*> argv{const_cast<char*>(GLOWREEL_BINARY)};
  for (const std::string& a : launch.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(GLOWREEL_BINARY, argv.data());
  _exit(127);
}

ProgramRun RunToEnd(const std::string& dir, const Launch& launch) {
  const std::string outPath = dir + "/.stdout", errPath = dir + "/.stderr";
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  const pid_t pid = Start(dir, launch, out, err);
  close(out);
  close(err);
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(outPath), ReadFile(errPath), 0};
}

// The first line the program prints, after which it is killed: for scripts
// that would play for years.
std::string FirstLineThenKill(const std::string& dir, const Launch& launch) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return "<no pipe>";
  const int err = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = Start(dir, launch, fds[1], err);
  close(fds[1]);
  close(err);
  std::string line;
  char c = 0;
  pollfd ready = {fds[0], POLLIN, 0};
  while (poll(&ready, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') line += c;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(fds[0]);
  return line;
}

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    a = PictureOf([](int x, int y) { return (x + y) % 2 == 0; });
    b = PictureOf([](int x, int y) { return (x + y) % 2 == 1; });
    WriteFile(dir + "/a.bmp", FrameFile(a));
    WriteFile(dir + "/b.bmp", FrameFile(b));
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  ProgramRun Play(const std::string& script) {
    WriteFile(dir + "/ani.txt", script);
    return RunGlowreel(dir, {"ani.txt"}, "trace:trace.txt");
  }
  std::string Trace() { return ReadFile(dir + "/trace.txt"); }
  std::string Traced(const std::string& body) { return TracedRun(body); }
  std::string Shows(const Picture& picture) { return TracedFrame(picture); }

  std::string dir;
  Picture a, b;
};

TEST_F(Hostile, ScriptsNoOneWouldWrite) {
  std::string binaryLine;
  for (int c = 0; c < 256; ++c)
    if (c != '\n' && c != 0x1A) binaryLine += static_cast<char>(c);
  const std::string png = ReadFile(FIXTURE_DIR "/source.png");
  ASSERT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1A\n");
  struct Case {
    const char* name;
    std::string script;
    std::string summary;
    std::string body;
  } cases[] = {
      {"empty", "", Summary(0, 0, 0), ""},
      {"CRs only", "\r\r\r\r\r", Summary(0, 0, 0), ""},
      {"0x1A first", "\x1A" "1\n0\na.bmp\n", Summary(0, 0, 0), ""},
      {"every byte in one frame line", "1\n0\n" + binaryLine + "\na.bmp\n", Summary(1, 1, 1),
       Shows(a) + Sleep0()},
      // A NUL must not cut the name short into one that opens.
      {"NUL in frame lines", "1\n0\na.bmp\0\nb.bmp\0x\n\0a.bmp\nb.bmp\n"s, Summary(1, 1, 3),
       Shows(b) + Sleep0()},
      // The PNG signature's CR LF ends a line and its 0x1A the script.
      {"a PNG after the numbers", "1\n0\n" + png + "a.bmp\n", Summary(1, 0, 1), ""},
  };
  for (const Case& c : cases) {
    const ProgramRun run = Play(c.script);
    EXPECT_EQ(WithoutTime(run.out), c.summary) << c.name;
    EXPECT_EQ(run.err, "") << c.name;
    EXPECT_EQ(run.status, 0) << c.name;
    EXPECT_EQ(Trace(), Traced(c.body)) << c.name;
  }
}

TEST_F(Hostile, AScriptThatIsOne200MegabyteLineRunsInBoundedMemory) {
  // Leading zeros: the repeat count is read through all of them, then once
  // more, ignored, by the pass.
  WriteSized(dir + "/ani.txt", {}, 200 << 20, '0');
  { std::ofstream(dir + "/ani.txt", std::ios::app) << "1"; }
  const ProgramRun run = RunGlowreel(dir, {"ani.txt"}, "trace:trace.txt");
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 0, 0));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Trace(), Traced(""));
#ifdef GLOWREEL_SANITIZED
  // The sanitizers' shadow memory and leak check cost a fixed amount on
  // their own: bound what the huge line adds to a one-byte script instead.
  WriteFile(dir + "/tiny.txt", "1");
  const ProgramRun tiny = RunGlowreel(dir, {"tiny.txt"}, "trace:trace.txt");
  EXPECT_LT(run.peakKilobytes - tiny.peakKilobytes, 16 * 1024);
#else
  EXPECT_LT(run.peakKilobytes, 16 * 1024);
#endif
}

// Only the Repeat: line is awaited, so a count that would play for years
// is checked without playing it; a naive parse would wrap the ones beyond
// the limits round to small counts.
TEST_F(Hostile, RepeatCountsAtAndBeyondThe32BitLimits) {
  struct Case {
    std::string line;
    long long repeat;
  } cases[] = {
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"4294967297", INT_MAX},
      {"18446744073709551617", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"-4294967295", INT_MIN},
  };
  for (const Case& c : cases) {
    WriteFile(dir + "/ani.txt", c.line + "\n0\na.bmp\n");
    EXPECT_EQ(FirstLineThenKill(dir, {{"ani.txt"}, "none"}), "Repeat:" + std::to_string(c.repeat)) << c.line;
  }
}

// A file shorter than a frame is read over the previous frame's bytes, so
// its missing tail shows the previous frame; a longer one is cut at 1086.
TEST_F(Hostile, FrameFilesOfEveryLength) {
  const std::vector<uint8_t> first = FrameFile(a), second = FrameFile(b);
  for (size_t size : {0ul, 1ul, 61ul, 62ul, 1085ul, 1087ul, 10ul << 20}) {
    WriteSized(dir + "/sized.bmp", second, size, '\0');
    std::vector<uint8_t> buffer = first;
    std::copy(second.begin(), second.begin() + static_cast<long>(std::min<size_t>(size, 1086)), buffer.begin());
    const ProgramRun run = Play("1\n0\na.bmp\nsized.bmp\n");
    EXPECT_EQ(WithoutTime(run.out), Summary(1, 2, 0)) << size;
    EXPECT_EQ(run.status, 0) << size;
    EXPECT_EQ(Trace(), Traced(Shows(a) + Sleep0() + Shows(PictureOfFile(buffer)) + Sleep0())) << size;
  }
  EXPECT_TRUE(PictureOfFile(first) == a);  // the model above reads pixels right
}

TEST_F(Hostile, NamesThatCannotOpenAreDiscardedAndOddOnesAreKept) {
  symlink("loop", (dir + "/loop").c_str());
  symlink("pong", (dir + "/ping").c_str());
  symlink("ping", (dir + "/pong").c_str());
  WriteFile(dir + "/\xff\xfe.bmp", FrameFile(b));
  WriteFile(dir + "/caf\xe9.bmp", FrameFile(a));
  // The longest path that can open, and one byte more: never cut to fit.
  auto pathOfLength = [](size_t length) { return "." + std::string(length - 6, '/') + "a.bmp"; };
  const ProgramRun run = Play("1\n0\nloop\nping\n" + std::string(300, 'n') + "\na.bmp/x\n" + pathOfLength(PATH_MAX - 1) +
                              "\n" + pathOfLength(PATH_MAX) + "\n\xff\xfe.bmp\ncaf\xe9.bmp\n\xc3(.bmp\n");
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 3, 6));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Trace(), Traced(Shows(a) + Sleep0() + Shows(b) + Sleep0() + Shows(a) + Sleep0()));
}

// A FIFO or device is not even opened: opening one can have effects of its
// own (a waiting writer released, a tape rewound, a watchdog armed).
TEST_F(Hostile, WhatIsNotARegularFileIsNeverOpened) {
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, fifo.c_str(), IN_OPEN), 0);
  const ProgramRun run = Play("1\n0\nfifo\na.bmp\n");
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 1, 1));
  char events[4096];
  EXPECT_EQ(read(watch, events, sizeof events), -1) << "the FIFO was opened";
  close(watch);
}

// Run as an unprivileged user, since root reads anything.
TEST_F(Hostile, UnreadableFilesAsAnUnprivilegedUser) {
  const uid_t nobody = 65534;
  Launch launch{{"ani.txt"}, "trace:trace.txt"};
  if (geteuid() == 0) {
    launch.user = nobody;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) chown(entry.path().c_str(), nobody, nobody);
    ASSERT_EQ(chown(dir.c_str(), nobody, nobody), 0);
  }
  WriteFile(dir + "/locked.bmp", FrameFile(b));
  chmod((dir + "/locked.bmp").c_str(), 0);
  WriteFile(dir + "/ani.txt", "1\n0\nlocked.bmp\na.bmp\n");
  chmod((dir + "/ani.txt").c_str(), 0644);
  ProgramRun run = RunToEnd(dir, launch);
  if (run.status == 127) GTEST_SKIP() << "user " << nobody << " cannot run " << GLOWREEL_BINARY;
  if (run.status == 125) GTEST_SKIP() << "cannot become user " << nobody;
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 1, 1));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Trace(), Traced(Shows(a) + Sleep0()));

  chmod((dir + "/ani.txt").c_str(), 0);
  run = RunToEnd(dir, launch);
  EXPECT_EQ(WithoutTime(run.out), Summary(0, 0, 0));
  EXPECT_EQ(run.err, "glowreel: cannot open script ani.txt: Permission denied\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Trace(), Traced(""));
}

// A trace whose disk fills part-way: what was written before stays, the
// failure is reported once at the end, and the run is not a success.
TEST_F(Hostile, ATraceThatFillsUpPartWay) {
  WriteFile(dir + "/ani.txt", "1\n0\na.bmp\nb.bmp\na.bmp\n");
  const size_t limit = 64 << 10;
  Launch launch{{"ani.txt"}, "trace:trace.txt"};
  launch.fileSizeLimit = limit;
  const ProgramRun run = RunToEnd(dir, launch);
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 3, 0));
  EXPECT_TRUE(std::regex_match(run.err, std::regex("glowreel: [0-9]+ of [0-9]+ writes to trace:trace.txt failed: "
                                                   "File too large\n")))
      << run.err;
  EXPECT_EQ(run.status, 1);
  const std::string whole = Traced(Shows(a) + Sleep0() + Shows(b) + Sleep0() + Shows(a) + Sleep0());
  ASSERT_GT(whole.size(), limit);
  EXPECT_EQ(Trace(), whole.substr(0, limit));
}

TEST_F(Hostile, AFailingOutputLeavesTheOthersWhole) {
  WriteFile(dir + "/ani.txt", "1\n0\nb.bmp\n");
  const ProgramRun run = RunGlowreel(dir, {"ani.txt"}, "gif:/dev/full+trace:trace.txt");
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 1, 0));
  EXPECT_EQ(run.err, "glowreel: closing gif:/dev/full failed: No space left on device\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Trace(), Traced(Shows(b) + Sleep0()));
}

// A port device that fails in the middle of a run (a ppdev unplugged, say):
// every write is still attempted, and the failures are counted and told
// once, at close, with their first cause.
namespace failing {
int failAfter;  // writes that succeed; -1: never fail
int cause;
int closeCause;
Wire written;
bool Open(const char*) {
  written.clear();
  return true;
}
int Write(uint16_t port, uint8_t value) {
  if (failAfter >= 0 && static_cast<int>(written.size()) >= failAfter) return cause;
  written.push_back({port, value});
  return 0;
}
int Data(uint8_t value) { return Write(g::DataRegisterPort, value); }
int Control(uint8_t value) { return Write(g::ControlRegisterPort, value); }
int Close() { return closeCause; }
const g::PortKind Port = {"failing", g::PortArgument::None, "failing", Open, Data, Control, nullptr, Close};
}  // namespace failing

// stderr while fn runs.
std::string StderrOf(const std::function<void()>& fn) {
  fflush(stderr);
  FILE* capture = tmpfile();
  const int saved = dup(2);
  dup2(fileno(capture), 2);
  fn();
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string text(4096, '\0');
  rewind(capture);
  text.resize(fread(text.data(), 1, text.size(), capture));
  fclose(capture);
  return text;
}

TEST(PortFaults, FailuresPartWayAreCountedAndReportedOnceAtClose) {
  g::ComputeLineLevels();
  const std::vector<uint8_t> image = PageImageOf(PictureOf([](int x, int y) { return x == y; }));
  const Wire whole = Upload(image);
  ASSERT_EQ(whole.size(), 3168u);
  struct Case {
    int failAfter, cause, closeCause;
    std::string err;
  } cases[] = {
      {1000, ENODEV, 0, "glowreel: 2168 of 3168 writes to failing failed: No such device\n"},
      {0, EIO, 0, "glowreel: 3168 of 3168 writes to failing failed: Input/output error\n"},
      {3167, EIO, EBADF,
       "glowreel: 1 of 3168 writes to failing failed: Input/output error\n"
       "glowreel: closing failing failed: Bad file descriptor\n"},
      {-1, 0, 0, ""},
  };
  for (const Case& c : cases) {
    failing::failAfter = c.failAfter;
    failing::cause = c.cause;
    failing::closeCause = c.closeCause;
    ASSERT_TRUE(g::OpenPortKind(&failing::Port, ""));
    g::UploadPageImage(image.data());
    bool closed = true;
    EXPECT_EQ(StderrOf([&] { closed = g::ShutdownWinIo(); }), c.err) << c.failAfter;
    EXPECT_EQ(closed, c.err.empty()) << c.failAfter;
    const size_t kept = c.failAfter < 0 ? whole.size() : static_cast<size_t>(c.failAfter);
    EXPECT_EQ(failing::written, Wire(whole.begin(), whole.begin() + static_cast<long>(kept))) << c.failAfter;
    // Told once: closing again has nothing more to say.
    EXPECT_EQ(StderrOf([&] { closed = g::ShutdownWinIo(); }), "") << c.failAfter;
    EXPECT_TRUE(closed) << c.failAfter;
  }
}

}  // namespace
