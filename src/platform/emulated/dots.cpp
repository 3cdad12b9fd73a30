#include "platform/emulated/dots.h"

#include <array>

namespace glowreel {

namespace {

constexpr Rgb Background = {6, 10, 12};
constexpr Rgb UnlitDot = {15, 26, 27};
// A lit dot at full brightness: white-hot core, cyan-green body, dim corners.
constexpr Rgb LitShades[3] = {{190, 255, 235}, {70, 235, 195}, {25, 120, 100}};

constexpr uint8_t Toward(uint8_t from, uint8_t to, int level) {
  return static_cast<uint8_t>(from + (to - from) * (level + 1) / 16);
}

constexpr std::array<Rgb, PaletteSize> MakePalette() {
  std::array<Rgb, PaletteSize> palette{};
  palette[0] = Background;
  palette[1] = UnlitDot;
  for (int level = 0; level <= FullBrightness; ++level)
    for (int shade = 0; shade < 3; ++shade) {
      const Rgb& lit = LitShades[shade];
      palette[2 + 3 * level + shade] = {Toward(Background.r, lit.r, level), Toward(Background.g, lit.g, level),
                                        Toward(Background.b, lit.b, level)};
    }
  return palette;
}

constexpr std::array<Rgb, PaletteSize> Palette = MakePalette();

// Which shade each pixel of a 3 x 3 dot takes: 0 core, 1 edge, 2 corner.
constexpr int DotShape[3][3] = {{2, 1, 2}, {1, 0, 1}, {2, 1, 2}};

}  // namespace

const Rgb* const DotPalette = Palette.data();

void DrawDots(const ModulePicture& picture, uint8_t* pixels) {
  int level = picture.brightness;
  if (level < 0) level = 0;
  if (level > FullBrightness) level = FullBrightness;
  const uint8_t firstLit = static_cast<uint8_t>(2 + 3 * level);
  for (int y = 0; y < ModuleHeight; ++y) {
    for (int x = 0; x < ModuleWidth; ++x) {
      const bool lit = DotAt(picture.memory, x, y);
      uint8_t* cell = pixels + (y * DotScale) * ImageWidth + x * DotScale;
      for (int dy = 0; dy < DotScale; ++dy)
        for (int dx = 0; dx < DotScale; ++dx) {
          uint8_t index = BackgroundIndex;
          if (dx < 3 && dy < 3) index = lit ? static_cast<uint8_t>(firstLit + DotShape[dy][dx]) : 1;
          cell[dy * ImageWidth + dx] = index;
        }
    }
  }
}

bool DotLitInImage(const uint8_t* pixels, int x, int y) {
  return pixels[(y * DotScale + 1) * ImageWidth + x * DotScale + 1] >= 2;
}

}  // namespace glowreel
