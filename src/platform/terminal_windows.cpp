// The screen kind's terminal on Windows: the console, with its
// virtual-terminal mode switched on for the escapes the drawing uses.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/emulated/terminal.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace glowreel {

namespace {

HANDLE Console = INVALID_HANDLE_VALUE;
bool OwnHandle;  // opened here, so closed here
DWORD OriginalMode;
const char* RestoreBytes;
size_t RestoreLength;
bool Guarded;

// The drawing is UTF-8; the wide call shows it whatever the console's code
// page is.
wchar_t Wide[16 * 1024];

void WriteAll(const char* bytes, size_t length) {
  while (length > 0) {
    // A piece that fits, cut before a UTF-8 continuation byte.
    size_t piece = length < sizeof Wide / sizeof Wide[0] ? length : sizeof Wide / sizeof Wide[0];
    while (piece < length && piece > 1 && (static_cast<unsigned char>(bytes[piece]) & 0xC0) == 0x80) --piece;
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(piece), Wide, sizeof Wide / sizeof Wide[0]);
    DWORD written = 0;
    if (count <= 0 || !WriteConsoleW(Console, Wide, static_cast<DWORD>(count), &written, nullptr)) return;
    bytes += piece;
    length -= piece;
  }
}

BOOL WINAPI RestoreOnBreak(DWORD) {
  if (Console != INVALID_HANDLE_VALUE) WriteAll(RestoreBytes, RestoreLength);
  return FALSE;  // the default handler then ends the process as usual
}

bool TakeConsole(HANDLE handle) {
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !GetConsoleMode(handle, &mode)) return false;
  // Without virtual-terminal mode (before Windows 10) the escapes would show
  // as text: no terminal then.
  if (!SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
  Console = handle;
  OriginalMode = mode;
  return true;
}

}  // namespace

bool OpenTerminal() {
  Console = INVALID_HANDLE_VALUE;
  OwnHandle = false;
  if (TakeConsole(GetStdHandle(STD_ERROR_HANDLE))) return true;
  const HANDLE own = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (TakeConsole(own)) {
    OwnHandle = true;
    return true;
  }
  if (own != INVALID_HANDLE_VALUE) CloseHandle(own);
  return false;
}

void GetTerminalSize(int* columns, int* rows) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (Console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(Console, &info)) {
    *columns = *rows = 0;
    return;
  }
  *columns = info.srWindow.Right - info.srWindow.Left + 1;
  *rows = info.srWindow.Bottom - info.srWindow.Top + 1;
}

// Every console with virtual-terminal mode takes 24-bit colour.
bool TerminalHasTrueColour() { return true; }

void WriteTerminal(const char* bytes, size_t length) {
  if (Console != INVALID_HANDLE_VALUE) WriteAll(bytes, length);
}

void GuardTerminal(const char* restore, size_t length) {
  RestoreBytes = restore;
  RestoreLength = length;
  Guarded = SetConsoleCtrlHandler(RestoreOnBreak, TRUE) != 0;
}

void CloseTerminal() {
  if (Guarded) SetConsoleCtrlHandler(RestoreOnBreak, FALSE);
  Guarded = false;
  if (Console != INVALID_HANDLE_VALUE) {
    SetConsoleMode(Console, OriginalMode);
    if (OwnHandle) CloseHandle(Console);
  }
  Console = INVALID_HANDLE_VALUE;
  OwnHandle = false;
}

}  // namespace glowreel
