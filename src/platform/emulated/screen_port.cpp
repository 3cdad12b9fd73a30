// screen — the emulated module drawn on the terminal in cyan-green on black,
// redrawn in place after each complete picture. A terminal of at least 128
// columns (and 33 rows) gets every dot, two rows to a cell with half
// blocks; a smaller one gets braille, 2 x 4 dots to a cell, 64 columns
// wide. It never writes to standard output, which keeps exactly the
// program's own lines, and without a terminal it draws nothing.
#include <cstdio>
#include <cstring>

#include "platform/emulated/module.h"
#include "platform/emulated/ports.h"
#include "platform/emulated/terminal.h"

namespace glowreel {

namespace {

enum class Layout { HalfBlocks, Braille };

constexpr int HalfBlockColumns = ModuleWidth;
constexpr int HalfBlockRows = ModuleHeight / 2;
constexpr int BrailleColumns = ModuleWidth / 2;
constexpr int BrailleRows = ModuleHeight / 4;

// Leaves the terminal as it was: default colours, cursor shown.
constexpr char Restore[] = "\x1b[0m\x1b[?25h";

bool Drawing;
bool TrueColour;
bool Drawn;  // a picture is on the terminal, to be drawn over
Layout Shape;
int Rows;

// One whole picture, written in a single call so that it does not flicker.
char Frame[256 * 1024];
size_t FrameLength;

void Append(const char* bytes, size_t length) {
  if (FrameLength + length > sizeof Frame) return;
  memcpy(Frame + FrameLength, bytes, length);
  FrameLength += length;
}

void Append(const char* text) { Append(text, strlen(text)); }

// The colour escape's parameters for a lit dot at a brightness, or an unlit
// dot (brightness < 0), as foreground (38) or background (48).
void AppendColour(int layer, int brightness) {
  char text[48];
  if (TrueColour) {
    int r = 18, g = 30, b = 32;  // unlit: barely there, as on the glass
    if (brightness >= 0) {
      const int level = brightness + 1;
      r = 8 + (80 - 8) * level / 16;
      g = 12 + (240 - 12) * level / 16;
      b = 14 + (200 - 14) * level / 16;
    }
    snprintf(text, sizeof text, "%d;2;%d;%d;%d", layer, r, g, b);
  } else {
    // The 256-colour cube's cyan-greens, dimmest to brightest.
    static const int Shades[] = {23, 30, 36, 43, 50};
    const int index = brightness < 0 ? 233 : Shades[brightness * 5 / 16];
    snprintf(text, sizeof text, "%d;5;%d", layer, index);
  }
  Append(text);
}

// Sets the foreground and background for the next cell, writing only what
// changed since the last one (-2 = unset, -1 = unlit, else brightness;
// background -3 = black).
void SetColours(int foreground, int background, int* lastForeground, int* lastBackground) {
  if (foreground == *lastForeground && background == *lastBackground) return;
  Append("\x1b[");
  bool first = true;
  if (foreground != *lastForeground) {
    AppendColour(38, foreground);
    first = false;
  }
  if (background != *lastBackground) {
    if (!first) Append(";");
    if (background == -3)
      Append(TrueColour ? "48;2;0;0;0" : "48;5;16");
    else
      AppendColour(48, background);
  }
  Append("m");
  *lastForeground = foreground;
  *lastBackground = background;
}

void DrawHalfBlocks(const ModulePicture& picture) {
  for (int row = 0; row < HalfBlockRows; ++row) {
    int foreground = -2, background = -2;
    for (int x = 0; x < HalfBlockColumns; ++x) {
      const int top = DotAt(picture.memory, x, 2 * row) ? picture.brightness : -1;
      const int bottom = DotAt(picture.memory, x, 2 * row + 1) ? picture.brightness : -1;
      SetColours(top, bottom, &foreground, &background);
      Append("\xe2\x96\x80");  // upper half block: top dot in front, bottom dot behind
    }
    Append("\x1b[0m\r\n");
  }
}

void DrawBraille(const ModulePicture& picture) {
  // Braille dot bits by position in the 2 x 4 cell.
  static const int Bits[4][2] = {{0x01, 0x08}, {0x02, 0x10}, {0x04, 0x20}, {0x40, 0x80}};
  for (int row = 0; row < BrailleRows; ++row) {
    int foreground = -2, background = -2;
    for (int column = 0; column < BrailleColumns; ++column) {
      int pattern = 0;
      for (int dy = 0; dy < 4; ++dy)
        for (int dx = 0; dx < 2; ++dx)
          if (DotAt(picture.memory, 2 * column + dx, 4 * row + dy)) pattern |= Bits[dy][dx];
      SetColours(picture.brightness, -3, &foreground, &background);
      const int code = 0x2800 + pattern;
      const char glyph[3] = {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                             static_cast<char>(0x80 | (code & 0x3F))};
      Append(glyph, sizeof glyph);
    }
    Append("\x1b[0m\r\n");
  }
}

void ShowScreen(const ModulePicture& picture, int64_t) {
  if (!Drawing) return;
  FrameLength = 0;
  if (Drawn) {
    char up[16];
    snprintf(up, sizeof up, "\x1b[%dA", Rows);
    Append(up);
  } else {
    Append("\x1b[?25l");  // no cursor blinking over the dots
  }
  Append("\r");
  if (Shape == Layout::HalfBlocks)
    DrawHalfBlocks(picture);
  else
    DrawBraille(picture);
  WriteTerminal(Frame, FrameLength);
  Drawn = true;
}

const ModuleView ScreenView = {ShowScreen};

bool OpenScreen(const char*) {
  Drawn = false;
  Drawing = OpenTerminal();
  if (Drawing) {
    int columns = 0, rows = 0;
    GetTerminalSize(&columns, &rows);
    const bool roomy = columns >= HalfBlockColumns && (rows == 0 || rows > HalfBlockRows);
    Shape = roomy ? Layout::HalfBlocks : Layout::Braille;
    Rows = roomy ? HalfBlockRows : BrailleRows;
    TrueColour = TerminalHasTrueColour();
    GuardTerminal(Restore, sizeof Restore - 1);
  }
  JoinModule(&ScreenView);
  return true;
}

int ScreenData(uint8_t value) { return FeedData(&ScreenView, value); }
int ScreenControl(uint8_t value) { return FeedControl(&ScreenView, value); }
void ScreenSleep(uint32_t) { FeedSleep(&ScreenView); }

int CloseScreen() {
  FinishModule();
  if (Drawing) {
    // Only what was changed is put back; the last picture stays in view,
    // as it does on the module.
    if (Drawn) WriteTerminal(Restore, sizeof Restore - 1);
    CloseTerminal();
  }
  Drawing = false;
  LeaveModule(&ScreenView);
  return 0;
}

}  // namespace

const PortKind ScreenPort = {"screen", PortArgument::None, "screen", OpenScreen, ScreenData, ScreenControl,
                             ScreenSleep, CloseScreen};

}  // namespace glowreel
