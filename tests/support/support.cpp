#include "support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/port_kind.h"


namespace testing_support {

Picture PictureOf(const std::function<bool(int x, int y)>& lit) {
  Picture picture{};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) picture[y][x] = lit(x, y);
  return picture;
}

std::vector<uint8_t> FrameFile(const Picture& picture) {
  std::vector<uint8_t> file(1086, 0);
  const uint8_t header[] = {'B', 'M', 0x3E, 0x04, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,
                            40, 0, 0, 0, 128, 0, 0, 0, 64, 0, 0, 0, 1, 0, 1, 0};
  std::copy(std::begin(header), std::end(header), file.begin());
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      if (!picture[y][x]) file[62 + 16 * (63 - y) + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  return file;
}

std::vector<uint8_t> PageImageOf(const Picture& picture) {
  std::vector<uint8_t> image(1024, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      if (picture[y][x]) image[128 * (y / 8) + x] |= static_cast<uint8_t>(1 << (y % 8));
  return image;
}

Wire CommandByte(uint8_t b) { return {{0x37A, 0x01}, {0x378, b}, {0x37A, 0x00}}; }
Wire DataByte(uint8_t b) { return {{0x37A, 0x09}, {0x378, b}, {0x37A, 0x08}}; }

Wire operator+(Wire a, const Wire& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Wire Commands(std::initializer_list<uint8_t> bytes) {
  Wire wire;
  for (uint8_t b : bytes) wire = wire + CommandByte(b);
  return wire;
}

Wire InitSequence() {
  Wire wire;
  for (uint8_t i = 0; i < 8; ++i) wire = wire + Commands({0x62, i}) + DataByte(0xFF);
  return wire + Commands({0x84, 0x64, 0x00, 0x60, 0x00, 0x4F, 0x20, 0x00, 0x5F}) + Commands({0x2C, 0x40});
}

Wire Upload(const std::vector<uint8_t>& pageImage) {
  Wire wire;
  for (uint8_t p = 0; p < 8; ++p) {
    wire = wire + Commands({0x60, p, 0x64, 0x00});
    for (int x = 0; x < 128; ++x) wire = wire + DataByte(pageImage[128 * p + x]);
  }
  return wire;
}

Wire Recorded;

namespace {
bool RecordOpen(const char*) {
  Recorded.clear();
  return true;
}
int RecordData(uint8_t v) {
  Recorded.push_back({glowreel::DataRegisterPort, v});
  return 0;
}
int RecordControl(uint8_t v) {
  Recorded.push_back({glowreel::ControlRegisterPort, v});
  return 0;
}
int RecordClose() { return 0; }
const glowreel::PortKind RecordingPort = {"record", glowreel::PortArgument::None, "record", RecordOpen, RecordData,
                                          RecordControl, nullptr, RecordClose};
}  // namespace

void OpenRecordingPort() {
  if (!glowreel::OpenPortKind(&RecordingPort, "")) throw std::runtime_error("recording port did not open");
}

std::string TraceLines(const Wire& wire) {
  std::string text;
  char line[32];
  for (const Write& w : wire) {
    snprintf(line, sizeof line, "out 0x%03x 0x%02x\n", w.port, w.value);
    text += line;
  }
  return text;
}

std::string Summary(long long repeat, long long shown, long long discarded) {
  return "Repeat:" + std::to_string(repeat) + "\nTime <us>\nTotal frames shown " + std::to_string(shown) +
         ", discarded frames " + std::to_string(discarded);
}

std::string WithoutTime(const std::string& out) {
  return std::regex_replace(out, std::regex("\nTime [0-9]+\n"), "\nTime <us>\n");
}

std::string TracedRun(const std::string& body) { return "open\n" + TraceLines(InitSequence()) + body + "close\n"; }

std::string TracedFrame(const Picture& picture) { return TraceLines(Upload(PageImageOf(picture))); }

std::string TracedSleep(int ms) { return "sleep " + std::to_string(ms) + "\n"; }

namespace {
// Every folder a test made is removed when the test program ends.
std::vector<std::string> TempDirs;
struct RemoveTempDirs : ::testing::Environment {
  void TearDown() override {
    for (const std::string& dir : TempDirs) {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
  }
};
[[maybe_unused]] ::testing::Environment* const TempDirCleanup =
    ::testing::AddGlobalTestEnvironment(new RemoveTempDirs);
}  // namespace

std::string MakeTempDir() {
  char pattern[] = "/tmp/glowreel-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  TempDirs.push_back(pattern);
  return pattern;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

ProgramRun RunGlowreel(const std::string& dir, const std::vector<std::string>& args, const std::string& port,
                const std::string& stdinPath, const std::string& stdoutPath) {
  const std::string outPath = stdoutPath.empty() ? dir + "/.stdout" : stdoutPath;
  const std::string errPath = dir + "/.stderr";
  // A child that changes directory, sets the port and redirects its streams.
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (port.empty())
      unsetenv("GLOWREEL_PORT");
    else
      setenv("GLOWREEL_PORT", port.c_str(), 1);
    const int in = open(stdinPath.c_str(), O_RDONLY | O_CLOEXEC);
    const int out =
        outPath == ClosedStream ? -1 : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(in, 0);
    if (out >= 0)
      dup2(out, 1);
    else
      close(1);
    dup2(err, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(GLOWREEL_BINARY));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(GLOWREEL_BINARY, argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  ProgramRun run;
  run.peakKilobytes = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = stdoutPath.empty() ? ReadFile(outPath) : "";  // a given stdout may be a device
  run.err = ReadFile(errPath);
  return run;
}

}  // namespace testing_support
