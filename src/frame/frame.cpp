// Reading a frame file and converting it into the display's page layout.
#include "frame/frame.h"

#include <cstdio>

#include "platform/platform.h"

namespace glowreel {

uint8_t FrameFileBuffer[FrameFileSize];
uint8_t PageImage[PageImageSize];

// Transposes an 8 x 8 bit block: row i in byte i of rows (leftmost pixel in
// the top bit) becomes column i in bit (7 - i) of each output byte.
static uint64_t Transpose8x8(uint64_t x) {
  uint64_t t;
  t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  x ^= t ^ (t << 28);
  return x;
}

void ConvertFrame() {
  // A page is eight pixel rows; each 8-pixel byte column of those rows is an
  // 8 x 8 block whose transpose gives eight page bytes. The page's lowest
  // row sits first in the file (rows are stored bottom-up), so it lands in
  // bit 7 of the transpose's input order and bit 0 of each output byte.
  for (int p = 0; p < PageCount; ++p) {
    const uint8_t* lowest = FrameFileBuffer + FramePixelOffset + FrameRowBytes * (FrameHeight - 8 - 8 * p);
    uint8_t* out = PageImage + ColumnCount * p;
    for (int k = 0; k < FrameRowBytes; ++k) {
      uint64_t block = 0;
      for (int i = 0; i < 8; ++i) block = (block << 8) | lowest[FrameRowBytes * i + k];
      block = Transpose8x8(block);
      for (int c = 0; c < 8; ++c) out[8 * k + c] = static_cast<uint8_t>(~(block >> (56 - 8 * c)));
    }
  }
}

bool ShowFrameFile(const char* name) {
  FILE* file = OpenRegularFile(name, "rb");
  if (!file) return false;
  setvbuf(file, nullptr, _IONBF, 0);  // one read straight into the buffer
  fread(FrameFileBuffer, 1, FrameFileSize, file);
  const bool failed = ferror(file) != 0;
  fclose(file);
  if (failed) return false;
  ConvertFrame();
  UploadPageImage(PageImage);
  return true;
}

}  // namespace glowreel
