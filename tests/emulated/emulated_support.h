// Helpers for the emulated display's tests: a port kind that is the bare
// module, a fake clock, and reading back the GIF and PNG files it writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/port_kind.h"
#include "support/support.h"

namespace emulated_support {

using testing_support::Picture;

// A port kind that feeds the emulated module and keeps a copy of every
// complete picture it shows.
extern const glowreel::PortKind ModulePort;
extern std::vector<Picture> ShownPictures;
// The module's memory as a picture.
Picture ModuleNow();

// A counter at 1 MHz that moves only when slept on, and by one tick per
// read so that busy-waits end. Installed for the fixture's lifetime.
struct FakeClock {
  FakeClock();
  ~FakeClock();
};

// A GIF read back with giflib, each frame composed over the ones before it
// as a player shows it.
struct GifFrame {
  Picture dots;                 // the dots drawn lit
  std::vector<uint8_t> pixels;  // palette indices, as composed
  int delay;                    // hundredths of a second
};
struct GifFile {
  int width = 0, height = 0;
  bool loops = false;
  std::vector<GifFrame> frames;
};
GifFile ReadGif(const std::string& path);  // fails the test on error

// A PNG read back with libpng: its size and the dots drawn lit.
struct PngFile {
  int width = 0, height = 0;
  Picture dots{};
};
PngFile ReadPng(const std::string& path);

// The image the emulated kinds draw for a picture at full brightness.
std::vector<uint8_t> Drawn(const Picture& picture);

// Random dots, the same for the same seed.
Picture RandomPicture(unsigned seed);

}  // namespace emulated_support
