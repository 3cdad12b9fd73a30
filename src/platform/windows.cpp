// The platform layer on Windows: the performance counter, sleeping with a
// 1 ms timer while playing, opening frame files safely and the standard
// streams.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <mmsystem.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/system.h"

namespace glowreel {

// The C runtime's fopen takes paths shorter than MAX_PATH (260 with the NUL).
const size_t MaxPathLength = MAX_PATH - 1;

namespace {

// The glowreel names hide the system's inside this namespace; :: reaches them.
bool CounterFrequency(int64_t* frequency) {
  LARGE_INTEGER value;
  if (!::QueryPerformanceFrequency(&value)) return false;
  *frequency = value.QuadPart;
  return true;
}

bool CounterValue(int64_t* count) {
  LARGE_INTEGER value;
  if (!::QueryPerformanceCounter(&value)) return false;
  *count = value.QuadPart;
  return true;
}

void SystemSleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

bool TimerRaised;

}  // namespace

const ClockSource SystemClock = {CounterFrequency, CounterValue, SystemSleep};

void BeginSystemPlayback() {
  // The default timer ticks every 15.6 ms, which turns a 40 ms Sleep into
  // 46.8 ms. Ended only if it began, so the two always pair.
  if (!TimerRaised) TimerRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
}

void EndSystemPlayback() {
  if (TimerRaised) timeEndPeriod(1);
  TimerRaised = false;
}

FILE* OpenRegularFile(const char* name, const char* mode) {
  // fopen also opens devices such as NUL, CON, COM1 or LPT1 (in any
  // directory, with any extension), and opening one can act on the device:
  // look before opening, and only a regular file is a frame.
  struct _stat status;
  if (_stat(name, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) return nullptr;
  FILE* file = fopen(name, mode);
  if (!file) return nullptr;
  // Checked again, for a file swapped in between.
  if (_fstat(_fileno(file), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG) return file;
  fclose(file);
  errno = EACCES;
  return nullptr;
}

void PrepareStandardStreams() {
  // Windows raises no signal for a closed pipe: the write just fails, which
  // the player reports. What would stop a run is a "no disk in drive" box
  // for a frame on an empty drive, waiting for a click; fail the open instead.
  SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS);
}

}  // namespace glowreel
