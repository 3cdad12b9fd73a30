// Test helpers: frame files made from pictures, a recording port, a fake
// clock, the expected wire built from small named pieces, and running the
// built program.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// A picture as the display shows it: lit[y][x], y from the top.
using Picture = std::array<std::array<bool, 128>, 64>;

Picture PictureOf(const std::function<bool(int x, int y)>& lit);
// The 1086-byte frame file showing the picture (a pixel bit of 0 lights).
std::vector<uint8_t> FrameFile(const Picture& picture);
// The page image the display should receive for the picture.
std::vector<uint8_t> PageImageOf(const Picture& picture);

// The wire, one (port, value) write at a time.
struct Write {
  uint16_t port;
  uint8_t value;
  bool operator==(const Write&) const = default;
};
using Wire = std::vector<Write>;

Wire CommandByte(uint8_t b);
Wire DataByte(uint8_t b);
Wire Commands(std::initializer_list<uint8_t> bytes);
Wire InitSequence();  // the initialisation and the driver's mode command
Wire Upload(const std::vector<uint8_t>& pageImage);
Wire operator+(Wire a, const Wire& b);

// A port kind that records every write (and sleeps as {0, ms}) in Recorded.
extern Wire Recorded;
void OpenRecordingPort();

// The trace text for a wire: "out 0x37a 0x01" lines.
std::string TraceLines(const Wire& wire);

// Whole-program expectations: stdout with the elapsed time masked, and the
// trace of a run that initialised the display and then sent body.
std::string Summary(long long repeat, long long shown, long long discarded);
std::string WithoutTime(const std::string& out);
std::string TracedRun(const std::string& body);
std::string TracedFrame(const Picture& picture);  // one frame's upload
std::string TracedSleep(int ms);

// Files.
std::string MakeTempDir();
void WriteFile(const std::string& path, const std::string& bytes);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadFile(const std::string& path);

// Runs the built program in dir with GLOWREEL_PORT=port (unset when empty),
// stdin from stdinPath, stdout to stdoutPath (a file in dir when empty, or
// ClosedStream to start the program with stdout closed). out holds stdout
// only when it went to the file in dir.
inline const std::string ClosedStream = "<closed>";
struct ProgramRun {
  int status;  // exit status, or 128 + signal
  std::string out;
  std::string err;
  long peakKilobytes;  // the child's peak resident memory
};
ProgramRun RunGlowreel(const std::string& dir, const std::vector<std::string>& args, const std::string& port,
                const std::string& stdinPath = "/dev/null", const std::string& stdoutPath = "");

}  // namespace testing_support
