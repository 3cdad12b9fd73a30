// The frame path under libFuzzer: the input is a frame file of up to 2000
// bytes, read, converted and uploaded over the port into the emulated
// module, which must then show the file's pixels. A file shorter than a
// frame keeps the previous frame's tail, so the expected bytes carry over
// from one input to the next just as the program's buffer does.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "display/display.h"
#include "frame/frame.h"
#include "platform/emulated/module.h"
#include "platform/port_kind.h"

namespace g = glowreel;

namespace {

constexpr size_t LongestInput = 2000;

std::string FramePath;
uint8_t Expected[g::FrameFileSize];  // the frame buffer as it should be after each read

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "frame fuzzer: %s\n", what);
  abort();
}

// A port kind that is the bare module, with a view that ignores pictures.
void IgnorePicture(const g::ModulePicture&, int64_t) {}
const g::ModuleView Watcher = {IgnorePicture};
bool OpenModule(const char*) {
  g::JoinModule(&Watcher);
  return true;
}
int ModuleData(uint8_t value) { return g::FeedData(&Watcher, value); }
int ModuleControl(uint8_t value) { return g::FeedControl(&Watcher, value); }
int CloseModule() {
  g::LeaveModule(&Watcher);
  return 0;
}
const g::PortKind ModuleFeed = {"module", g::PortArgument::None, "module", OpenModule, ModuleData, ModuleControl,
                                nullptr, CloseModule};

void RemoveFrame() { remove(FramePath.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "glowreel-fuzz-frame-XXXXXX").string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) Fail("cannot create the frame file");
  close(fd);
  FramePath = pattern;
  atexit(RemoveFrame);
  g::ComputeLineLevels();
  if (!g::OpenPortKind(&ModuleFeed, "")) Fail("the module did not open");
  memcpy(Expected, g::FrameFileBuffer, sizeof Expected);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > LongestInput) size = LongestInput;
  FILE* file = fopen(FramePath.c_str(), "wb");
  if (!file || fwrite(data, 1, size, file) != size || fclose(file) != 0) Fail("cannot write the frame file");
  memcpy(Expected, data, size < sizeof Expected ? size : sizeof Expected);

  if (!g::ShowFrameFile(FramePath.c_str())) Fail("a regular frame file was not shown");
  if (memcmp(g::FrameFileBuffer, Expected, sizeof Expected) != 0) Fail("the frame buffer is not the file's bytes");
  const g::ModulePicture picture = g::CurrentPicture();
  for (int y = 0; y < g::ModuleHeight; ++y)
    for (int x = 0; x < g::ModuleWidth; ++x) {
      // Rows bottom-up, 16 bytes each, leftmost pixel in the top bit; 0 lights.
      const uint8_t byte = Expected[g::FramePixelOffset + g::FrameRowBytes * (g::FrameHeight - 1 - y) + x / 8];
      const bool lit = !((byte >> (7 - x % 8)) & 1);
      if (g::DotAt(picture.memory, x, y) != lit) Fail("the module does not show the file's pixels");
    }
  if (g::ModuleProtocolErrors() != 0) Fail(g::ModuleFirstError());
  return 0;
}
