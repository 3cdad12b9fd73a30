// The parallel port on Windows through the WinIo port-I/O library, loaded at
// run time, and the table of port kinds this build offers.
//   winio[:PATH]  WinIo32.dll, else WinIo.dll, beside the program or on the
//                 DLL search path; or the DLL at PATH
// The library's driver does the port access; the library needs its driver
// file beside it and administrator rights the first time, to install it.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/emulated/ports.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace glowreel {

namespace {

// The library's three functions, as it exports them: stdcall, C++ bool
// results. Named apart from glowreel::InitializeWinIo and the rest, which
// are the program's own entry points.
using LibraryInitialize = bool(__stdcall*)();
using LibraryShutdown = void(__stdcall*)();
using LibrarySetPortVal = bool(__stdcall*)(WORD port, DWORD value, BYTE size);

HMODULE Library;
LibraryShutdown ShutdownLibrary;
LibrarySetPortVal SetLibraryPort;
char LibraryName[MAX_PATH];

// The system's text for an error code, on one line.
const char* SystemMessage(DWORD code) {
  static char text[256];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                      text, sizeof text, nullptr);
  if (length == 0) {
    snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(code));
    return text;
  }
  for (char* end = text + length; end > text && (end[-1] == '\n' || end[-1] == '\r' || end[-1] == ' ' ||
                                                  end[-1] == '.');)
    *--end = '\0';
  return text;
}

// The likely fix for a DLL that did not load, by cause.
const char* LoadHint(DWORD code, bool named) {
  switch (code) {
    case ERROR_MOD_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      if (named) return " (check the path after winio:)";
      return " (put WinIo32.dll and WinIo32.sys beside glowreel.exe, or name the DLL with GLOWREEL_PORT=winio:PATH)";
    case ERROR_BAD_EXE_FORMAT: return " (glowreel.exe is 32-bit and needs the 32-bit WinIo32.dll)";
    default: return "";
  }
}

// A function by its plain name, else as a 32-bit stdcall export may be
// decorated: with the argument bytes, with or without the underscore.
FARPROC Resolve(const char* name, int argumentBytes) {
  if (FARPROC function = GetProcAddress(Library, name)) return function;
  char decorated[64];
  snprintf(decorated, sizeof decorated, "_%s@%d", name, argumentBytes);
  if (FARPROC function = GetProcAddress(Library, decorated)) return function;
  return GetProcAddress(Library, decorated + 1);
}

template <typename Function>
Function As(FARPROC function) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(function));
}

void Unload() {
  if (Library) FreeLibrary(Library);
  Library = nullptr;
  ShutdownLibrary = nullptr;
  SetLibraryPort = nullptr;
}

bool OpenWinIo(const char* argument) {
  const char* tried = argument;
  if (*argument) {
    Library = LoadLibraryA(argument);
  } else {
    tried = "WinIo32.dll or WinIo.dll";
    Library = LoadLibraryA("WinIo32.dll");
    if (!Library && GetLastError() == ERROR_MOD_NOT_FOUND) Library = LoadLibraryA("WinIo.dll");
  }
  if (!Library) {
    const DWORD cause = GetLastError();
    fprintf(stderr, "glowreel: cannot open the port-I/O library %s: %s%s\n", tried, SystemMessage(cause),
            LoadHint(cause, *argument != '\0'));
    return false;
  }
  if (GetModuleFileNameA(Library, LibraryName, sizeof LibraryName) == 0)
    snprintf(LibraryName, sizeof LibraryName, "%s", tried);

  const auto initialize = As<LibraryInitialize>(Resolve("InitializeWinIo", 0));
  ShutdownLibrary = As<LibraryShutdown>(Resolve("ShutdownWinIo", 0));
  SetLibraryPort = As<LibrarySetPortVal>(Resolve("SetPortVal", 12));
  const char* missing = !initialize        ? "InitializeWinIo"
                        : !ShutdownLibrary ? "ShutdownWinIo"
                        : !SetLibraryPort  ? "SetPortVal"
                                           : nullptr;
  if (missing) {
    fprintf(stderr, "glowreel: cannot open the port-I/O library %s: it has no function %s (not a WinIo DLL?)\n",
            LibraryName, missing);
    Unload();
    return false;
  }
  if (!initialize()) {
    fprintf(stderr,
            "glowreel: cannot open I/O ports through %s: InitializeWinIo failed (the WinIo driver is not installed "
            "or cannot start: keep WinIo32.sys beside the DLL, run glowreel once as administrator so that the "
            "driver is installed, and note that memory integrity (Core Isolation) blocks the driver)\n",
            LibraryName);
    Unload();
    return false;
  }
  return true;
}

int WinIoWrite(uint16_t port, uint8_t value) { return SetLibraryPort(port, value, 1) ? 0 : EIO; }

int WinIoData(uint8_t value) { return WinIoWrite(DataRegisterPort, value); }
int WinIoControl(uint8_t value) { return WinIoWrite(ControlRegisterPort, value); }

int CloseWinIo() {
  ShutdownLibrary();
  Unload();
  return 0;
}

const PortKind WinIoPort = {"winio", PortArgument::Optional, "winio[:PATH]", OpenWinIo, WinIoData, WinIoControl,
                            nullptr, CloseWinIo};

}  // namespace

const PortKind* const PortKinds[] = {&WinIoPort, &TracePort, &NonePort, &ScreenPort};
const size_t PortKindCount = sizeof PortKinds / sizeof PortKinds[0];
const PortKind* const DevicePathKind = nullptr;

const char* DefaultPortSetting() { return "winio"; }

}  // namespace glowreel
