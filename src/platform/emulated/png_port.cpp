// png:FILE — the emulated module's picture as it stands at the end, as a
// PNG. The file is created at open so that an unwritable path is an error
// before playback; the picture is written at close.
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/emulated/dots.h"
#include "platform/emulated/module.h"
#include "platform/emulated/ports.h"
#include "platform/system.h"

namespace glowreel {

namespace {

FILE* PngFile;
uint8_t Pixels[ImageWidth * ImageHeight];

void ShowNothing(const ModulePicture&, int64_t) {}

const ModuleView PngView = {ShowNothing};

bool OpenPng(const char* path) {
  PngFile = fopen(path, "wb");
  if (!PngFile) {
    fprintf(stderr, "glowreel: cannot create PNG file %s: %s\n", path, strerror(errno));
    return false;
  }
  JoinModule(&PngView);
  return true;
}

int PngData(uint8_t value) { return FeedData(&PngView, value); }
int PngControl(uint8_t value) { return FeedControl(&PngView, value); }
void PngSleep(uint32_t) { FeedSleep(&PngView); }

// libpng's own messages would be a second line for one failure; the cause
// is reported by the port layer.
void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// Writes Pixels to PngFile; false when libpng gave up.
bool WritePng() {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, PngFile);
  png_set_IHDR(png, info, ImageWidth, ImageHeight, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color palette[PaletteSize];
  for (int i = 0; i < PaletteSize; ++i) palette[i] = {DotPalette[i].r, DotPalette[i].g, DotPalette[i].b};
  png_set_PLTE(png, info, palette, PaletteSize);
  png_write_info(png, info);
  for (int y = 0; y < ImageHeight; ++y) png_write_row(png, Pixels + y * ImageWidth);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

int ClosePng() {
  FinishModule();
  DrawDots(CurrentPicture(), Pixels);
  errno = 0;
  int failure = WritePng() ? 0 : (errno != 0 ? errno : EIO);
  const int closeFailure = CloseOutputFile(PngFile);
  if (failure == 0) failure = closeFailure;
  PngFile = nullptr;
  LeaveModule(&PngView);
  return failure;
}

}  // namespace

const PortKind PngPort = {"png", PortArgument::Required, "png:FILE", OpenPng, PngData, PngControl, PngSleep, ClosePng};

}  // namespace glowreel
