// The whole program, run as a user would, with the wire recorded by the
// trace port: stdout is compared byte for byte and the trace exactly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>

#include "support/support.h"

using namespace testing_support;

namespace {

const char Usage[] = "Syntax: glowreel <anifile> Example: glowreel ani.txt\n";

std::string Sleep(int ms) { return TracedSleep(ms); }

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    a = PictureOf([](int x, int y) { return x < 64 && y < 32; });
    b = PictureOf([](int x, int y) { return (x ^ y) & 1; });
    WriteFile(dir + "/a.bmp", FrameFile(a));
    WriteFile(dir + "/b.bmp", FrameFile(b));
  }
  ProgramRun Play(const std::string& script, const std::string& stdoutPath = "") {
    WriteFile(dir + "/ani.txt", script);
    return RunGlowreel(dir, {"ani.txt"}, "trace:trace.txt", "/dev/null", stdoutPath);
  }
  std::string Trace() { return ReadFile(dir + "/trace.txt"); }
  std::string Traced(const std::string& body) { return TracedRun(body); }
  std::string Shows(const Picture& picture) { return TracedFrame(picture); }

  std::string dir;
  Picture a, b;
};

TEST_F(Player, WithoutAScriptInitialisesPrintsUsageAndCloses) {
  const ProgramRun run = RunGlowreel(dir, {}, "trace:trace.txt");
  EXPECT_EQ(run.out, Usage);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Trace(), Traced(""));
}

TEST_F(Player, PlaysScriptsAsWritten) {
  std::string A, B;
  struct Case {
    const char* name;
    std::string script;
    std::string summary;
    std::function<std::string()> body;
  } cases[] = {
      {"two passes", "2\n5\na.bmp", Summary(2, 2, 0), [&] { return Shows(a) + Sleep(5) + Shows(a) + Sleep(5); }},
      {"final line break", "2\n5\na.bmp\n", Summary(2, 2, 0),
       [&] { return Shows(a) + Sleep(5) + Shows(a) + Sleep(5); }},
      {"empty line before the final break", "2\n0\na.bmp\n\n", Summary(2, 2, 2),
       [&] { return Shows(a) + Sleep(0) + Shows(a) + Sleep(0); }},
      {"empty line between frames", "1\n3\na.bmp\n\nb.bmp\n", Summary(1, 2, 1),
       [&] { return Shows(a) + Sleep(3) + Shows(b) + Sleep(3); }},
      {"CR LF lines", "1\r\n4\r\nb.bmp\r\na.bmp\r\n", Summary(1, 2, 0),
       [&] { return Shows(b) + Sleep(4) + Shows(a) + Sleep(4); }},
      {"missing frame discarded without delay", "1\n7\nnope.bmp\nb.bmp\n", Summary(1, 1, 1),
       [&] { return Shows(b) + Sleep(7); }},
      {"0x1A ends the script", std::string("1\n0\nb.bmp\n\x1A") + "a.bmp\n", Summary(1, 1, 0),
       [&] { return Shows(b) + Sleep(0); }},
      {"only line 1", "3\n", Summary(3, 0, 0), [] { return std::string(); }},
      {"repeat 0", "0\n10\na.bmp\n", Summary(0, 0, 0), [] { return std::string(); }},
      {"negative repeat", "-2\n10\na.bmp\n", Summary(-2, 0, 0), [] { return std::string(); }},
      {"repeat below the 32-bit range", "-99999999999\n10\na.bmp\n", Summary(INT32_MIN, 0, 0),
       [] { return std::string(); }},
      {"negative delay means none", "1\n-5\na.bmp\n", Summary(1, 1, 0), [&] { return Shows(a) + Sleep(0); }},
      {"missing delay line", "1", Summary(1, 0, 0), [] { return std::string(); }},
      {"non-numeric delay", "1\nfast\nb.bmp\n", Summary(1, 1, 0), [&] { return Shows(b) + Sleep(0); }},
  };
  for (const Case& c : cases) {
    const ProgramRun run = Play(c.script);
    EXPECT_EQ(WithoutTime(run.out), c.summary) << c.name;
    EXPECT_EQ(run.err, "") << c.name;
    EXPECT_EQ(run.status, 0) << c.name;
    EXPECT_EQ(Trace(), Traced(c.body())) << c.name;
  }
}

TEST_F(Player, NamesAreTakenVerbatim) {
  // A trailing space and a lone CR are part of the name.
  WriteFile(dir + "/a.bmp ", FrameFile(b));
  WriteFile(dir + "/x\ry.bmp", FrameFile(a));
  const ProgramRun run = Play("1\n0\na.bmp \nx\ry.bmp\n");
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 2, 0));
  EXPECT_EQ(Trace(), Traced(Shows(b) + Sleep(0) + Shows(a) + Sleep(0)));
}

TEST_F(Player, ElapsedTimeCoversTheDelays) {
  const ProgramRun run = Play("2\n60\na.bmp\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(run.out, match, std::regex("\nTime ([0-9]+)\n")));
  const long long us = std::stoll(match[1]);
  EXPECT_GE(us, 120000);
  EXPECT_LT(us, 5000000);
}

// Only a regular file that opens can be a frame: anything else would block
// (a FIFO), read garbage (a device) or fail later (a directory).
TEST_F(Player, OnlyRegularFilesAreFrames) {
  mkdir((dir + "/sub").c_str(), 0755);
  mkfifo((dir + "/fifo").c_str(), 0644);
  symlink("a.bmp", (dir + "/link").c_str());
  symlink("gone.bmp", (dir + "/dangling").c_str());
  const ProgramRun run = Play("1\n0\nsub\nfifo\n/dev/zero\n/dev/null\nlink\ndangling\n.\n");
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 1, 6));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Trace(), Traced(Shows(a) + Sleep(0)));
}

TEST_F(Player, AHugeLineIsDiscardedInBoundedMemory) {
  // Written in pieces, so that the test itself never holds the line.
  {
    std::ofstream script(dir + "/ani.txt", std::ios::binary);
    script << "1\n0\n";
    const std::string piece(1 << 20, 'x');
    for (int i = 0; i < 64; ++i) script << piece;
    script << "\nb.bmp\n" << std::string(9000, '/') << "a.bmp\n";
  }
  const ProgramRun run = RunGlowreel(dir, {"ani.txt"}, "trace:trace.txt");
  EXPECT_EQ(WithoutTime(run.out), Summary(1, 1, 2));
  EXPECT_EQ(Trace(), Traced(Shows(b) + Sleep(0)));
#ifdef GLOWREEL_SANITIZED
  // The sanitizer's own memory comes on top of the program's: bound what the
  // line adds over a tiny script.
  WriteFile(dir + "/tiny.txt", "1");
  EXPECT_LT(run.peakKilobytes - RunGlowreel(dir, {"tiny.txt"}, "none").peakKilobytes, 16 * 1024);
#else
  EXPECT_LT(run.peakKilobytes, 16 * 1024);
#endif
}

TEST_F(Player, AScriptThatCannotBeReadIsAnError) {
  // Played as empty, as before, but reported and not a success.
  const ProgramRun missing = RunGlowreel(dir, {"nothing.txt"}, "trace:trace.txt");
  EXPECT_EQ(WithoutTime(missing.out), Summary(0, 0, 0));
  EXPECT_EQ(missing.err, "glowreel: cannot open script nothing.txt: No such file or directory\n");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(Trace(), Traced(""));

  const ProgramRun directory = RunGlowreel(dir, {"."}, "trace:trace.txt");
  EXPECT_EQ(WithoutTime(directory.out), Summary(0, 0, 0));
  EXPECT_EQ(directory.err, "glowreel: cannot read script .: Is a directory\n");
  EXPECT_EQ(directory.status, 1);
}

TEST_F(Player, PortThatCannotBeOpenedStopsBeforeAnythingIsPlayed) {
  WriteFile(dir + "/ani.txt", "1\n0\na.bmp\n");
  struct Case {
    const char* port;
    std::string err;
  } cases[] = {
      {"trace:no/such/dir/t.txt", "glowreel: cannot create trace file no/such/dir/t.txt: No such file or directory\n"},
      {"ppdev:/no/such/parport", "glowreel: cannot open parallel port /no/such/parport: No such file or directory "
                                 "(load the ppdev and parport_pc modules, or check the card)\n"},
      {"/dev/null", "glowreel: cannot open parallel port /dev/null: Inappropriate ioctl for device "
                    "(not a parallel port device)\n"},
  };
  for (const Case& c : cases) {
    const ProgramRun withScript = RunGlowreel(dir, {"ani.txt"}, c.port);
    EXPECT_EQ(withScript.out, "") << c.port;
    EXPECT_EQ(withScript.err, c.err) << c.port;
    EXPECT_EQ(withScript.status, 1) << c.port;
    const ProgramRun withoutScript = RunGlowreel(dir, {}, c.port);
    EXPECT_EQ(withoutScript.out, Usage) << c.port;
    EXPECT_EQ(withoutScript.status, 1) << c.port;
  }
}

TEST_F(Player, UnknownPortSettingNamesTheAcceptedForms) {
  for (const char* port : {"bogus", "trace", "none:x", "none+none", "none+", "serial:/dev/ttyS0"}) {
    const ProgramRun run = RunGlowreel(dir, {"ani.txt"}, port);
    EXPECT_EQ(run.out, "") << port;
    EXPECT_EQ(run.status, 2) << port;
    EXPECT_NE(run.err.find("trace:FILE"), std::string::npos) << port;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << port;
  }
}

TEST_F(Player, KindsCombine) {
  const ProgramRun run = RunGlowreel(dir, {}, "none+trace:trace.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Trace(), Traced(""));
}

TEST_F(Player, OutputThatCannotBeWrittenIsAnError) {
  WriteFile(dir + "/ani.txt", "1\n0\na.bmp\n");
  struct Case {
    const char* name;
    std::string port, stdoutPath, err;
  } cases[] = {
      {"stdout full", "trace:trace.txt", "/dev/full", "glowreel: cannot write standard output: No space left on device\n"},
      {"stdout closed", "trace:trace.txt", ClosedStream, "glowreel: cannot write standard output: Bad file descriptor\n"},
      {"trace full", "trace:/dev/full", "", ""},
  };
  for (const Case& c : cases) {
    const ProgramRun run = RunGlowreel(dir, {"ani.txt"}, c.port, "/dev/null", c.stdoutPath);
    EXPECT_EQ(run.status, 1) << c.name;
    if (!c.err.empty()) {
      EXPECT_EQ(run.err, c.err) << c.name;
    }
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name << ": " << run.err;
  }
  // With stdout closed, the trace must not take its place.
  RunGlowreel(dir, {"ani.txt"}, "trace:trace.txt", "/dev/null", ClosedStream);
  EXPECT_EQ(Trace(), Traced(Shows(a) + Sleep(0)));

  const ProgramRun full = RunGlowreel(dir, {"ani.txt"}, "trace:/dev/full");
  EXPECT_NE(full.err.find("writes to trace:/dev/full failed: No space left on device"), std::string::npos)
      << full.err;
  EXPECT_EQ(WithoutTime(full.out), Summary(1, 1, 0));
}

TEST_F(Player, ClosedPipeOnStdoutIsAnErrorNotADeath) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  WriteFile(dir + "/ani.txt", "1\n0\na.bmp\n");
  const ProgramRun run = RunGlowreel(dir, {"ani.txt"}, "none", "/dev/null", "/dev/fd/" + std::to_string(fds[1]));
  close(fds[1]);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "glowreel: cannot write standard output: Broken pipe\n");
}

}  // namespace
