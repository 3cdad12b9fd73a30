// Frame images: a frame file is a 1086-byte bottom-up 1-bit bitmap of
// 128 x 64 pixels. Its 62-byte header is never read; the pixel rows follow
// it, bottom row first, 16 bytes a row, the leftmost pixel in the top bit.
// A pixel bit of 0 lights its dot.
#pragma once

#include <cstdint>

#include "display/display.h"

namespace glowreel {

constexpr int FrameFileSize = 1086;
constexpr int FramePixelOffset = 62;
constexpr int FrameRowBytes = 16;
constexpr int FrameHeight = 64;

// Each frame file is read over this buffer from offset 0; bytes a short file
// does not reach keep the previous frame's contents.
extern uint8_t FrameFileBuffer[FrameFileSize];
// The converted frame, in the display's page layout.
extern uint8_t PageImage[PageImageSize];

// The count bits of value whose highest bit is bit position, shifted down.
constexpr int ExtractBits(int value, int position, int count) {
  return (value >> (position - count + 1)) & ((1 << count) - 1);
}

// FrameFileBuffer -> PageImage.
void ConvertFrame();

// Reads, converts and uploads one frame file. Returns false, sending
// nothing, when the file is not a regular file that can be read.
bool ShowFrameFile(const char* name);

}  // namespace glowreel
