// What each operating system's part of the platform layer supplies to its
// portable part. Internal to src/platform/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/port_kind.h"

namespace glowreel {

// The port kinds this build offers, in the order help lists them.
extern const PortKind* const PortKinds[];
extern const size_t PortKindCount;

// The port used when GLOWREEL_PORT is unset.
const char* DefaultPortSetting();

// A bare device path stands for this kind (null: no such shorthand).
extern const PortKind* const DevicePathKind;

// The system's counter and sleep.
extern const ClockSource SystemClock;

// Called once port access is open and once it is closed again: what the
// system must hold while playing (on Windows, the 1 ms timer resolution).
// The end is safe without a beginning.
void BeginSystemPlayback();
void EndSystemPlayback();

// Flushes and closes an output file; returns the first failure's errno (0
// when none), so that a full disk is reported, not lost.
int CloseOutputFile(FILE* file);

// The trace kind and the discarding kind, portable.
extern const PortKind TracePort;
extern const PortKind NonePort;

}  // namespace glowreel
