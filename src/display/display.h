// The display link: everything between the program and the module's wires.
// It derives control-register values from the pin map, writes command and
// data bytes with a fixed three-write cycle, and builds the module's command
// sequences. It is write-only: nothing is read back from the module.
#pragma once

#include <cstdint>

namespace glowreel {

// The module's interface lines, in pin-map order.
enum Line { StrobeLine, HeldHighLine, CommandSelectLine, HeldLowLine, LineCount };

// Connector pin of each line, compiled in.
extern const int PinMap[LineCount];

// Control-register bits that put a line's pin at the high or the low level.
struct LineLevel {
  uint8_t high;
  uint8_t low;
};
extern LineLevel LineLevels[LineCount];

// The pin rule: bit 0 drives pin 1, bit 1 pin 14, bit 2 pin 16, bit 3 pin 17,
// and the port inverts pins 1, 14 and 17. Any other pin gets no bits.
LineLevel LevelsForPin(int pin);
void ComputeLineLevels();

// One write cycle each: strobe falls with the select level, byte on the data
// lines, strobe rises.
void WriteCommandByte(uint8_t b);
void WriteDataByte(uint8_t b);

// Busy-waits at least us microseconds on the counter (no wait for us <= 0,
// nor when the counter frequency cannot be read).
void DelayMicroseconds(int32_t us);

// Counter arithmetic, exact for any frequency: the fewest ticks that last at
// least us microseconds, and the whole microseconds that ticks last.
int64_t TicksForMicroseconds(int64_t us, int64_t frequency);
int64_t MicrosecondsForTicks(int64_t ticks, int64_t frequency);

// Command encodings. Flag and mode arguments count as set when their low
// 8 bits are non-zero.
void SelectPage(int p);
void SelectColumn(int x);
void SendFlagCommand(int f1, int f2);
void SendValueCommand(int n);
void SendModeCommand(int m1, int m2, int m3, int m4, int m5, int m6, int m7, int m8);
void SendCommand5F();

void InitDisplay();

// The display's page layout: 8 pages x 128 columns; byte 128*p + x holds the
// dots of column x in rows 8p..8p+7, bit n for row 8p+n (rows from the top).
constexpr int PageCount = 8;
constexpr int ColumnCount = 128;
constexpr int PageImageSize = PageCount * ColumnCount;

// Sends a whole page image, page by page from column 0.
void UploadPageImage(const uint8_t* image);

}  // namespace glowreel
