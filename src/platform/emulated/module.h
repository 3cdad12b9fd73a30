// The emulated display module: what a real module on the port would do with
// the line levels and bytes it receives, so that the layers above can be
// watched and recorded without hardware. One module per process; every
// emulated port kind (screen, gif, png) is a view of it.
//
// Pin level. Each control-register value sets the connector pins (the port
// inverts pins 1, 14 and 17): pin 1 is the write strobe, pin 17 selects
// command (high) or data (low), pin 14 is the module's enable (high-active)
// and pin 16 its read/write line (low = write). A byte is latched from the
// data register on the strobe's rising edge, and only while the module is
// enabled and in write mode; a rising edge at any other time is a protocol
// error, so a held line at the wrong level shows.
//
// Byte level. 0x60 p selects page p (0..7), 0x64 x column x (0..127). Each
// data byte is stored at (page, column) and the column advances; after
// column 127 it wraps to column 0 of the same page. 0x62 i then a data byte
// sets indexed register i (0..7); 0x80/0x82/0x84/0x86 set two flags; 0x40+n
// (n = 0..15) sets the drawing brightness, 0x4F full; 0x20/0x24/0x28/0x2C
// and a second command byte whose low two bits are 0 set the mode; 0x5F is
// kept as a count. Any other byte, an argument out of range, or a byte of
// the wrong kind where an argument is due is a protocol error: it is counted
// and otherwise dropped (a command byte where the data byte of 0x62 is due
// is then taken as a new command).
//
// Pictures. The module shows its memory all the time; a picture counts as
// complete when the writer pauses after changing it: at a Sleep after any
// data byte or brightness change since the last picture, and at close. A
// brightness change before the first data byte shows nothing (the display is
// still dark), so initialisation alone makes no picture. The views are told
// of each complete picture with the counter time it appeared.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glowreel {

constexpr int ModuleWidth = 128;
constexpr int ModuleHeight = 64;
constexpr int ModuleMemorySize = ModuleWidth * ModuleHeight / 8;
constexpr int FullBrightness = 15;

// Whether the dot at column x, row y (from the top) is lit in a page-layout
// image (byte 128 * (y / 8) + x, bit y % 8). Shared by every renderer.
inline bool DotAt(const uint8_t* image, int x, int y) {
  return (image[ModuleWidth * (y / 8) + x] >> (y % 8)) & 1;
}

// What a view draws: the module's memory in page layout and its brightness
// (0..15).
struct ModulePicture {
  const uint8_t* memory;
  int brightness;
};

// An emulated port kind's side of the module.
struct ModuleView {
  // A complete picture, at counter time ticks.
  void (*show)(const ModulePicture& picture, int64_t ticks);
};

// Every emulated port kind joins the module when it opens and leaves when it
// closes. The first to join powers the module on (dark memory, defaults) and
// is the one whose writes reach it, so that each register write is seen once
// however many emulated kinds are joined. A view that leaves gets no more
// pictures; the last to leave reports the protocol errors on stderr (one
// line: the count and the first one).
void JoinModule(const ModuleView* view);
void LeaveModule(const ModuleView* view);

// Register writes and sleeps, from any joined kind; only the feeding kind's
// calls reach the module.
int FeedData(const ModuleView* view, uint8_t value);
int FeedControl(const ModuleView* view, uint8_t value);
void FeedSleep(const ModuleView* view);

// Completes the picture under way, if any, at the current counter time.
// Every emulated kind calls it first thing in its close, while all views are
// still joined.
void FinishModule();

// The module's state, for views and tests.
struct ModuleSettings {
  uint8_t indexed[8];  // set by 0x62 i, data byte
  uint8_t flags;       // bits 2 and 1 of the last 0x80..0x86
  uint8_t mode[2];     // the two bytes of the last mode command
  int brightness;      // 0..15
  uint32_t readyCommands;  // 0x5F received
};
const ModuleSettings& CurrentSettings();
ModulePicture CurrentPicture();
uint64_t ModuleProtocolErrors();
const char* ModuleFirstError();  // empty when none

// The byte level alone, below the pins (tests).
void ReceiveByte(uint8_t byte, bool command);

}  // namespace glowreel
