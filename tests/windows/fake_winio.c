/* A stand-in for the port-I/O DLL: the three functions with the library's
 * binary interface (stdcall, C++ bool results, plain export names), which
 * record every call to a file in the trace's text format:
 *   open              InitializeWinIo succeeded
 *   refused           InitializeWinIo was told to fail
 *   out 0x37a 0x01    SetPortVal (" size N" follows when the width is not 1)
 *   close             ShutdownWinIo
 * FAKE_WINIO_CALLS names the file (default: winio_calls.txt beside the DLL);
 * FAKE_WINIO_INIT=fail makes InitializeWinIo return false, and
 * FAKE_WINIO_SETPORTVAL=fail makes SetPortVal do so. Built with
 * -DFAKE_WINIO_NO_SETPORTVAL it lacks SetPortVal. */
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

/* Empty when a .def file names the exports instead. */
#ifndef EXPORT
#define EXPORT __declspec(dllexport)
#endif

static HMODULE Self;
static FILE *Calls;
static bool FailWrites;

static bool Told(const char *name) {
  const char *value = getenv(name);
  return value && strcmp(value, "fail") == 0;
}

static void Record(const char *line) {
  if (!Calls) {
    char path[MAX_PATH + 32];
    const char *named = getenv("FAKE_WINIO_CALLS");
    if (named && *named) {
      snprintf(path, sizeof path, "%s", named);
    } else {
      DWORD length = GetModuleFileNameA(Self, path, MAX_PATH);
      while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/') --length;
      strcpy(path + length, "winio_calls.txt");
    }
    Calls = fopen(path, "ab");
    if (!Calls) return;
  }
  fputs(line, Calls);
}

EXPORT bool __stdcall InitializeWinIo(void) {
  FailWrites = Told("FAKE_WINIO_SETPORTVAL");
  if (Told("FAKE_WINIO_INIT")) {
    Record("refused\n");
    if (Calls) fflush(Calls);
    return false;
  }
  Record("open\n");
  if (Calls) fflush(Calls);
  return true;
}

EXPORT void __stdcall ShutdownWinIo(void) {
  Record("close\n");
  if (Calls) fclose(Calls);
  Calls = NULL;
}

#ifndef FAKE_WINIO_NO_SETPORTVAL
EXPORT bool __stdcall SetPortVal(WORD port, DWORD value, BYTE size) {
  char line[64];
  if (size == 1 && value <= 0xFF)
    snprintf(line, sizeof line, "out 0x%03x 0x%02lx\n", (unsigned)port, (unsigned long)value);
  else
    snprintf(line, sizeof line, "out 0x%03x 0x%02lx size %u\n", (unsigned)port, (unsigned long)value, (unsigned)size);
  Record(line);
  return !FailWrites;
}
#endif

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) Self = instance;
  return TRUE;
}
