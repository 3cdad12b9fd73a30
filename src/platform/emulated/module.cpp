// The emulated display module: pin level, byte level and the views that
// show it. See module.h for the behaviour it emulates.
#include "platform/emulated/module.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace glowreel {

namespace {

constexpr int MaxViews = 4;

// Control-register bits, and what the port does to them on the way to the pins.
constexpr uint8_t StrobeBit = 0x01;  // pin 1, inverted
constexpr uint8_t EnableBit = 0x02;  // pin 14, inverted
constexpr uint8_t WriteBit = 0x04;   // pin 16, as written
constexpr uint8_t SelectBit = 0x08;  // pin 17, inverted

// What the byte level waits for next.
enum class Expect { Command, Page, Column, Index, IndexedValue, ModeSecond };

struct Module {
  uint8_t memory[ModuleMemorySize];
  ModuleSettings settings;
  int page;
  int column;
  int index;
  Expect expect;
  bool strobeHigh;
  uint8_t dataLines;
  bool written;  // display memory has been written since power-on
  bool changed;  // since the last complete picture
  uint64_t bytes;
  uint64_t errors;
  char firstError[160];
};

Module State;
const ModuleView* Views[MaxViews];
int ViewCount;

void PowerOn() {
  State = Module{};
  State.settings.brightness = FullBrightness;
  // An idle port leaves the strobe high; the first cycle's fall is not a byte.
  State.strobeHigh = true;
}

void Fault(const char* format, unsigned value) {
  if (State.errors++ > 0) return;
  char what[120];
  snprintf(what, sizeof what, format, value);
  snprintf(State.firstError, sizeof State.firstError, "%s (byte %" PRIu64 ")", what, State.bytes);
}

void Command(uint8_t byte) {
  switch (byte) {
    case 0x60: State.expect = Expect::Page; return;
    case 0x64: State.expect = Expect::Column; return;
    case 0x62: State.expect = Expect::Index; return;
    case 0x5F: ++State.settings.readyCommands; return;
    case 0x80:
    case 0x82:
    case 0x84:
    case 0x86: State.settings.flags = byte & 0x06; return;
    case 0x20:
    case 0x24:
    case 0x28:
    case 0x2C:
      State.settings.mode[0] = byte;
      State.expect = Expect::ModeSecond;
      return;
    default: break;
  }
  if (byte >= 0x40 && byte <= 0x4F) {
    State.settings.brightness = byte & 0x0F;
    // Brightness shows only once there is something to see.
    State.changed = State.changed || State.written;
    return;
  }
  Fault("unknown command 0x%02x", byte);
}

void Data(uint8_t byte) {
  State.memory[ModuleWidth * State.page + State.column] = byte;
  State.column = (State.column + 1) % ModuleWidth;
  State.written = State.changed = true;
}

void Show() {
  State.changed = false;
  int64_t now = 0;
  QueryPerformanceCounter(&now);
  const ModulePicture picture = CurrentPicture();
  for (int i = 0; i < ViewCount; ++i) Views[i]->show(picture, now);
}

}  // namespace

void ReceiveByte(uint8_t byte, bool command) {
  ++State.bytes;
  const Expect expect = State.expect;
  State.expect = Expect::Command;
  switch (expect) {
    case Expect::Command:
      if (command)
        Command(byte);
      else
        Data(byte);
      return;
    case Expect::Page:
      if (!command) return Fault("data byte 0x%02x where the page number after 0x60 was due", byte);
      if (byte >= ModuleMemorySize / ModuleWidth) return Fault("page %u does not exist", byte);
      State.page = byte;
      return;
    case Expect::Column:
      if (!command) return Fault("data byte 0x%02x where the column number after 0x64 was due", byte);
      if (byte >= ModuleWidth) return Fault("column %u does not exist", byte);
      State.column = byte;
      return;
    case Expect::Index:
      if (!command) return Fault("data byte 0x%02x where the register number after 0x62 was due", byte);
      if (byte >= sizeof State.settings.indexed) return Fault("indexed register %u does not exist", byte);
      State.index = byte;
      State.expect = Expect::IndexedValue;
      return;
    case Expect::IndexedValue:
      if (command) {
        Fault("command 0x%02x where the data byte after 0x62 was due", byte);
        return Command(byte);
      }
      State.settings.indexed[State.index] = byte;
      return;
    case Expect::ModeSecond:
      if (!command) return Fault("data byte 0x%02x where the second mode byte was due", byte);
      if (byte & 0x03) return Fault("second mode byte 0x%02x has bit 0 or 1 set", byte);
      State.settings.mode[1] = byte;
      return;
  }
}

void JoinModule(const ModuleView* view) {
  if (ViewCount == 0) PowerOn();
  if (ViewCount < MaxViews) Views[ViewCount++] = view;
}

void LeaveModule(const ModuleView* view) {
  int i = 0;
  while (i < ViewCount && Views[i] != view) ++i;
  if (i == ViewCount) return;
  for (; i + 1 < ViewCount; ++i) Views[i] = Views[i + 1];
  if (--ViewCount > 0 || State.errors == 0) return;
  fprintf(stderr, "glowreel: the emulated display saw %" PRIu64 " protocol error%s; the first: %s\n", State.errors,
          State.errors == 1 ? "" : "s", State.firstError);
}

int FeedData(const ModuleView* view, uint8_t value) {
  if (ViewCount > 0 && Views[0] == view) State.dataLines = value;
  return 0;
}

int FeedControl(const ModuleView* view, uint8_t value) {
  if (ViewCount == 0 || Views[0] != view) return 0;
  const bool strobeHigh = !(value & StrobeBit);
  const bool rising = strobeHigh && !State.strobeHigh;
  State.strobeHigh = strobeHigh;
  if (!rising) return 0;
  const bool enabled = !(value & EnableBit);
  const bool writing = !(value & WriteBit);
  if (!enabled || !writing) {
    ++State.bytes;
    Fault(enabled ? "byte 0x%02x strobed with pin 16 high (read mode)" : "byte 0x%02x strobed with pin 14 low (module disabled)",
          State.dataLines);
    return 0;
  }
  ReceiveByte(State.dataLines, !(value & SelectBit));
  return 0;
}

void FeedSleep(const ModuleView* view) {
  if (ViewCount > 0 && Views[0] == view && State.changed) Show();
}

void FinishModule() {
  if (ViewCount > 0 && State.changed) Show();
}

const ModuleSettings& CurrentSettings() { return State.settings; }

ModulePicture CurrentPicture() { return {State.memory, State.settings.brightness}; }

uint64_t ModuleProtocolErrors() { return State.errors; }

const char* ModuleFirstError() { return State.firstError; }

}  // namespace glowreel
