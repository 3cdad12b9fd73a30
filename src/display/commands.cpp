// The module's command encodings, its initialisation and the page upload.
#include "display/display.h"

namespace glowreel {

static bool IsSet(int flag) { return (flag & 0xFF) != 0; }

void SelectPage(int p) {
  WriteCommandByte(0x60);
  WriteCommandByte(static_cast<uint8_t>(p));
}

void SelectColumn(int x) {
  WriteCommandByte(0x64);
  WriteCommandByte(static_cast<uint8_t>(x));
}

void SendFlagCommand(int f1, int f2) {
  WriteCommandByte(0x80 | (IsSet(f1) ? 0x04 : 0) | (IsSet(f2) ? 0x02 : 0));
}

void SendValueCommand(int n) {
  WriteCommandByte(static_cast<uint8_t>(0x40 + static_cast<int8_t>(n)));
  DelayMicroseconds(1000);
}

void SendModeCommand(int m1, int m2, int m3, int m4, int m5, int m6, int m7, int m8) {
  WriteCommandByte(0x20 | (IsSet(m1) ? 0x08 : 0) | (IsSet(m2) ? 0x04 : 0));
  WriteCommandByte((IsSet(m3) ? 0x80 : 0) | (IsSet(m4) ? 0x40 : 0) | (IsSet(m5) ? 0x20 : 0) |
                   (IsSet(m6) ? 0x10 : 0) | (IsSet(m7) ? 0x08 : 0) | (IsSet(m8) ? 0x04 : 0));
}

void SendCommand5F() {
  WriteCommandByte(0x5F);
  DelayMicroseconds(1000);
}

void InitDisplay() {
  // Indexed writes 0..7, each with the value 0xFF.
  for (int i = 0; i < 8; ++i) {
    WriteCommandByte(0x62);
    WriteCommandByte(static_cast<uint8_t>(i));
    WriteDataByte(0xFF);
  }
  SendFlagCommand(1, 0);
  SelectColumn(0);
  SelectPage(0);
  SendValueCommand(15);  // full brightness, 0x4F
  SendModeCommand(0, 0, 0, 0, 0, 0, 0, 0);
  SendCommand5F();
  DelayMicroseconds(1000);  // let the module settle before the first frame
}

void UploadPageImage(const uint8_t* image) {
  for (int p = 0; p < PageCount; ++p) {
    SelectPage(p);
    // The module advances the column after each data byte.
    SelectColumn(0);
    for (int x = 0; x < ColumnCount; ++x) WriteDataByte(image[ColumnCount * p + x]);
  }
}

}  // namespace glowreel
