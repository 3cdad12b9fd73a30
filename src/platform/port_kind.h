// The port interface. Every way of reaching the display (a real parallel port,
// a trace of the wire, an emulated module) is a PortKind, listed in one table
// and chosen by GLOWREEL_PORT; the layers above only ever call SetPortVal.
#pragma once

#include <cstdint>

namespace glowreel {

enum class PortArgument { None, Optional, Required };

struct PortKind {
  // As written in GLOWREEL_PORT before the ':' (e.g. "trace").
  const char* name;
  // Whether a ':' and an argument follow the name, and how it reads in help.
  PortArgument argument;
  const char* form;
  // Opens the kind; argument is the text after ':' (empty when none).
  // On failure, says why on stderr in one line and returns false.
  bool (*open)(const char* argument);
  // Register writes. Return 0, or the errno-style cause of the failure; the
  // layer counts failures and reports them once at close.
  int (*writeData)(uint8_t value);
  int (*writeControl)(uint8_t value);
  // Told of every Sleep before it happens; may be null.
  void (*sleep)(uint32_t milliseconds);
  // Closes the kind. Returns 0 or the cause of the failure (flush, close).
  int (*close)();
};

// Seams for tests and for the clock. A ClockSource replaces the system's
// counter and sleep; null restores them.
struct ClockSource {
  bool (*frequency)(int64_t* frequency);
  bool (*counter)(int64_t* count);
  void (*sleep)(uint32_t milliseconds);
};
void UseClockSource(const ClockSource* source);

// Opens port access from a GLOWREEL_PORT value (null: the default port).
// Several kinds can be joined with '+'; each may appear once.
bool OpenPorts(const char* setting);

// Opens port access onto one given kind, bypassing GLOWREEL_PORT.
bool OpenPortKind(const PortKind* kind, const char* argument);

}  // namespace glowreel
