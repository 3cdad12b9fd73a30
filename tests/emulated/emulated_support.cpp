#include "emulated_support.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "platform/emulated/dots.h"
#include "platform/emulated/module.h"

namespace g = glowreel;

namespace emulated_support {

std::vector<Picture> ShownPictures;

namespace {

Picture PictureOfMemory(const uint8_t* memory) {
  return testing_support::PictureOf([&](int x, int y) { return g::DotAt(memory, x, y); });
}

void Keep(const g::ModulePicture& picture, int64_t) { ShownPictures.push_back(PictureOfMemory(picture.memory)); }
const g::ModuleView TestView = {Keep};

bool Open(const char*) {
  ShownPictures.clear();
  g::JoinModule(&TestView);
  return true;
}
int Data(uint8_t value) { return g::FeedData(&TestView, value); }
int Control(uint8_t value) { return g::FeedControl(&TestView, value); }
void SleepOn(uint32_t) { g::FeedSleep(&TestView); }
int Close() {
  g::FinishModule();
  g::LeaveModule(&TestView);
  return 0;
}

int64_t Ticks;
bool Frequency(int64_t* frequency) {
  *frequency = 1000000;
  return true;
}
bool Counter(int64_t* count) {
  *count = ++Ticks;
  return true;
}
void Sleeping(uint32_t milliseconds) { Ticks += 1000 * static_cast<int64_t>(milliseconds); }
const g::ClockSource Fake = {Frequency, Counter, Sleeping};

Picture DotsOfImage(const uint8_t* pixels) {
  return testing_support::PictureOf([&](int x, int y) { return g::DotLitInImage(pixels, x, y); });
}

}  // namespace

const g::PortKind ModulePort = {"module", g::PortArgument::None, "module", Open, Data, Control, SleepOn, Close};

Picture ModuleNow() { return PictureOfMemory(g::CurrentPicture().memory); }

FakeClock::FakeClock() {
  Ticks = 0;
  g::UseClockSource(&Fake);
}
FakeClock::~FakeClock() { g::UseClockSource(nullptr); }

GifFile ReadGif(const std::string& path) {
  GifFile result;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif) {
    ADD_FAILURE() << "cannot open " << path << ": " << GifErrorString(error);
    return result;
  }
  if (DGifSlurp(gif) != GIF_OK) {
    ADD_FAILURE() << "cannot read " << path << ": " << GifErrorString(gif->Error);
    DGifCloseFile(gif, &error);
    return result;
  }
  result.width = gif->SWidth;
  result.height = gif->SHeight;
  std::vector<uint8_t> canvas(static_cast<size_t>(gif->SWidth * gif->SHeight), static_cast<uint8_t>(gif->SBackGroundColor));
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    for (int e = 0; e < image.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = image.ExtensionBlocks[e];
      if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
          memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0)
        result.loops = true;
    }
    GraphicsControlBlock control{};
    DGifSavedExtensionToGCB(gif, i, &control);
    const GifImageDesc& d = image.ImageDesc;
    for (int y = 0; y < d.Height; ++y)
      for (int x = 0; x < d.Width; ++x)
        canvas[static_cast<size_t>((d.Top + y) * gif->SWidth + d.Left + x)] = image.RasterBits[y * d.Width + x];
    GifFrame frame;
    frame.delay = control.DelayTime;
    if (gif->SWidth == g::ImageWidth && gif->SHeight == g::ImageHeight) frame.dots = DotsOfImage(canvas.data());
    frame.pixels = canvas;
    result.frames.push_back(frame);
  }
  DGifCloseFile(gif, &error);
  return result;
}

PngFile ReadPng(const std::string& path) {
  PngFile result;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) {
    ADD_FAILURE() << "cannot open " << path;
    return result;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> pixels;
  if (setjmp(png_jmpbuf(png))) {
    ADD_FAILURE() << "cannot read " << path;
  } else {
    png_init_io(png, file);
    png_read_info(png, info);
    result.width = static_cast<int>(png_get_image_width(png, info));
    result.height = static_cast<int>(png_get_image_height(png, info));
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE || png_get_bit_depth(png, info) != 8 ||
        result.width != g::ImageWidth || result.height != g::ImageHeight) {
      ADD_FAILURE() << path << " is not the 8-bit palette image the png kind writes";
    } else {
      pixels.resize(static_cast<size_t>(result.width * result.height));
      std::vector<png_bytep> rows;
      for (int y = 0; y < result.height; ++y) rows.push_back(pixels.data() + y * result.width);
      png_read_image(png, rows.data());
      png_read_end(png, nullptr);
      result.dots = DotsOfImage(pixels.data());
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(file);
  return result;
}

std::vector<uint8_t> Drawn(const Picture& picture) {
  const std::vector<uint8_t> memory = testing_support::PageImageOf(picture);
  std::vector<uint8_t> pixels(g::ImageWidth * g::ImageHeight);
  g::DrawDots({memory.data(), g::FullBrightness}, pixels.data());
  return pixels;
}

Picture RandomPicture(unsigned seed) {
  std::mt19937 random(seed);
  return testing_support::PictureOf([&](int, int) { return (random() & 1) != 0; });
}

}  // namespace emulated_support
