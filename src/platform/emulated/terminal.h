// The terminal the screen kind draws on. Each OS supplies these; the
// drawing itself is portable.
#pragma once

#include <cstddef>

namespace glowreel {

// Finds a terminal to draw on that is not standard output: standard error
// when it is one, else the process's controlling terminal. False when there
// is none; nothing is drawn then.
bool OpenTerminal();

// The terminal's size in character cells; 0 for what cannot be told.
void GetTerminalSize(int* columns, int* rows);

// Whether the terminal takes 24-bit colour escapes (else 256 colours).
bool TerminalHasTrueColour();

// Writes all of bytes to the terminal. A terminal that went away is not an
// error of the run: the display is only a view.
void WriteTerminal(const char* bytes, size_t length);

// Until CloseTerminal, an interrupt or termination signal first writes
// restore to the terminal and then ends the process as the signal would
// have. restore must stay valid until then.
void GuardTerminal(const char* restore, size_t length);

// Drops the guard and lets go of the terminal.
void CloseTerminal();

}  // namespace glowreel
