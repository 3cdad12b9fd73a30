// Port access: parses GLOWREEL_PORT, opens the chosen kinds, sends every
// register write to each of them, and counts failures so that a run which
// did not reach the display never ends as a success.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/port_kind.h"
#include "platform/system.h"

namespace glowreel {

namespace {

constexpr int MaxOpenPorts = 4;
constexpr size_t MaxLabelLength = 512;

struct OpenPort {
  const PortKind* kind;
  char label[MaxLabelLength];  // the setting's text for this kind, for messages
  uint64_t writes;
  uint64_t failures;
  int firstFailure;
};

OpenPort OpenPortList[MaxOpenPorts];
int OpenPortCount;
int FailureStatus = 1;

const PortKind* FindKind(const char* name, size_t length) {
  for (size_t i = 0; i < PortKindCount; ++i)
    if (strlen(PortKinds[i]->name) == length && strncmp(PortKinds[i]->name, name, length) == 0)
      return PortKinds[i];
  return nullptr;
}

void RejectSetting(const char* setting) {
  fprintf(stderr, "glowreel: GLOWREEL_PORT=%s is not a port; use", setting);
  for (size_t i = 0; i < PortKindCount; ++i)
    fprintf(stderr, "%s %s", i == 0 ? "" : (i + 1 == PortKindCount ? " or" : ","), PortKinds[i]->form);
  if (DevicePathKind) fprintf(stderr, " (a bare device path means %s)", DevicePathKind->name);
  fprintf(stderr, "; join several with +\n");
  FailureStatus = 2;
}

void Count(OpenPort& port, int failure) {
  ++port.writes;
  if (failure == 0) return;
  if (port.failures++ == 0) port.firstFailure = failure;
}

// Closes every open kind; reports what failed. Returns true when nothing did.
bool CloseAll(bool report) {
  bool ok = true;
  for (int i = OpenPortCount - 1; i >= 0; --i) {
    OpenPort& port = OpenPortList[i];
    const int closeFailure = port.kind->close();
    if (!report) continue;
    if (port.failures > 0) {
      fprintf(stderr, "glowreel: %" PRIu64 " of %" PRIu64 " writes to %s failed: %s\n", port.failures,
              port.writes, port.label, strerror(port.firstFailure));
      ok = false;
    }
    if (closeFailure != 0) {
      fprintf(stderr, "glowreel: closing %s failed: %s\n", port.label, strerror(closeFailure));
      ok = false;
    }
  }
  OpenPortCount = 0;
  return ok;
}

bool Attach(const PortKind* kind, const char* argument, const char* label, size_t labelLength) {
  if (!kind->open(argument)) return false;
  OpenPort& port = OpenPortList[OpenPortCount++];
  port = OpenPort{};
  port.kind = kind;
  snprintf(port.label, sizeof port.label, "%.*s", static_cast<int>(labelLength), label);
  return true;
}

}  // namespace

int PortFailureStatus() { return FailureStatus; }

bool OpenPortKind(const PortKind* kind, const char* argument) {
  CloseAll(false);
  FailureStatus = 1;
  return Attach(kind, argument, kind->name, strlen(kind->name));
}

bool OpenPorts(const char* setting) {
  CloseAll(false);
  FailureStatus = 1;
  if (!setting || !*setting) setting = DefaultPortSetting();
  char argument[MaxLabelLength];
  for (const char* segment = setting;;) {
    const char* end = strchr(segment, '+');
    const size_t length = end ? static_cast<size_t>(end - segment) : strlen(segment);
    const char* colon = static_cast<const char*>(memchr(segment, ':', length));
    const PortKind* kind = nullptr;
    const char* value = nullptr;
    if (DevicePathKind && segment[0] == '/') {
      kind = DevicePathKind;
      value = segment;
    } else {
      kind = FindKind(segment, colon ? static_cast<size_t>(colon - segment) : length);
      value = colon ? colon + 1 : nullptr;
    }
    const size_t valueLength = value ? length - static_cast<size_t>(value - segment) : 0;
    bool fits = kind && OpenPortCount < MaxOpenPorts && valueLength < sizeof argument;
    if (fits) {
      if (kind->argument == PortArgument::None) fits = !value;
      if (kind->argument == PortArgument::Required) fits = value && valueLength > 0;
      for (int i = 0; i < OpenPortCount; ++i) fits = fits && OpenPortList[i].kind != kind;
    }
    if (!fits) {
      CloseAll(false);
      RejectSetting(setting);
      return false;
    }
    snprintf(argument, sizeof argument, "%.*s", static_cast<int>(valueLength), value ? value : "");
    if (!Attach(kind, argument, segment, length)) {
      CloseAll(false);
      return false;
    }
    segment += length;
    if (*segment == '\0') return true;
    ++segment;  // past the '+'; an empty kind after it is rejected above
  }
}

bool InitializeWinIo() {
  if (!OpenPorts(getenv("GLOWREEL_PORT"))) return false;
  BeginSystemPlayback();
  return true;
}

bool ShutdownWinIo() {
  const bool closed = CloseAll(true);
  EndSystemPlayback();
  return closed;
}

bool SetPortVal(uint16_t port, uint32_t value, uint8_t size) {
  const bool data = port == DataRegisterPort;
  if (size != 1 || (!data && port != ControlRegisterPort)) return false;
  const uint8_t byte = static_cast<uint8_t>(value);
  if (OpenPortCount == 1) {  // the usual case, kept short: this runs 3168 times a frame
    OpenPort& open = OpenPortList[0];
    const int failure = data ? open.kind->writeData(byte) : open.kind->writeControl(byte);
    Count(open, failure);
    return failure == 0;
  }
  bool ok = true;
  for (int i = 0; i < OpenPortCount; ++i) {
    OpenPort& open = OpenPortList[i];
    const int failure = data ? open.kind->writeData(byte) : open.kind->writeControl(byte);
    Count(open, failure);
    ok = ok && failure == 0;
  }
  return ok;
}

int CloseOutputFile(FILE* file) {
  int failure = fflush(file) == 0 ? 0 : errno;
  if (ferror(file) && failure == 0) failure = EIO;
  if (fclose(file) != 0 && failure == 0) failure = errno;
  return failure;
}

// The clock goes through the same seam so that tests can drive it.
namespace {
const ClockSource* Clock = &SystemClock;
}

void UseClockSource(const ClockSource* source) { Clock = source ? source : &SystemClock; }

bool QueryPerformanceFrequency(int64_t* frequency) { return Clock->frequency(frequency); }

bool QueryPerformanceCounter(int64_t* count) { return Clock->counter(count); }

void Sleep(uint32_t milliseconds) {
  for (int i = 0; i < OpenPortCount; ++i)
    if (OpenPortList[i].kind->sleep) OpenPortList[i].kind->sleep(milliseconds);
  Clock->sleep(milliseconds);
}

}  // namespace glowreel
