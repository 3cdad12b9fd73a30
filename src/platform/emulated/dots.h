// The module's picture as an image: glowing cyan-green dots with a gap
// between them on a dark background, as a VFD looks. Shared by the GIF and
// PNG kinds so that both show the same thing.
#pragma once

#include <cstdint>

#include "platform/emulated/module.h"

namespace glowreel {

// Pixels per dot along each axis: a 3 x 3 dot and a one-pixel gap.
constexpr int DotScale = 4;
constexpr int ImageWidth = ModuleWidth * DotScale;
constexpr int ImageHeight = ModuleHeight * DotScale;

// The palette the images index: 0 is the background, 1 an unlit dot, then
// three shades (core, edge, corner) of a lit dot for each brightness 0..15.
constexpr int PaletteSize = 64;
struct Rgb {
  uint8_t r, g, b;
};
extern const Rgb* const DotPalette;  // PaletteSize entries
constexpr uint8_t BackgroundIndex = 0;

// Draws the picture into pixels (ImageWidth * ImageHeight palette indices,
// row by row from the top).
void DrawDots(const ModulePicture& picture, uint8_t* pixels);

// Whether the dot at (x, y) is drawn lit in an image made by DrawDots: its
// centre pixel is a lit shade. For tests and checks.
bool DotLitInImage(const uint8_t* pixels, int x, int y);

}  // namespace glowreel
