// Pin map, line levels and the byte write cycle.
#include "display/display.h"

#include "platform/platform.h"

namespace glowreel {

const int PinMap[LineCount] = {
    1,   // strobe: pulsed low then high for every byte
    14,  // held high in every write
    17,  // command select: high for commands, low for data
    16,  // held low in every write
};

LineLevel LineLevels[LineCount];

LineLevel LevelsForPin(int pin) {
  switch (pin) {
    case 1: return {0x00, 0x01};   // inverted by the port
    case 14: return {0x00, 0x02};  // inverted by the port
    case 16: return {0x04, 0x00};
    case 17: return {0x00, 0x08};  // inverted by the port
    default: return {0x00, 0x00};
  }
}

void ComputeLineLevels() {
  for (int line = 0; line < LineCount; ++line) LineLevels[line] = LevelsForPin(PinMap[line]);
}

static void WriteByte(uint8_t b, uint8_t select) {
  const uint8_t held = LineLevels[HeldHighLine].high | LineLevels[HeldLowLine].low | select;
  SetPortVal(ControlRegisterPort, LineLevels[StrobeLine].low | held, 1);
  SetPortVal(DataRegisterPort, b, 1);
  // The module latches the byte on this rising edge.
  SetPortVal(ControlRegisterPort, LineLevels[StrobeLine].high | held, 1);
}

void WriteCommandByte(uint8_t b) { WriteByte(b, LineLevels[CommandSelectLine].high); }

void WriteDataByte(uint8_t b) { WriteByte(b, LineLevels[CommandSelectLine].low); }

}  // namespace glowreel
