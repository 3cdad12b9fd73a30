// The animation script, read the same way on every platform: CR LF is one
// line break and its CR is dropped, a lone CR stays in the line, and a byte
// 0x1A ends the file. The script is read through one fixed buffer, so a line
// of any length takes no more memory than a path.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glowreel {

// Returns false, with errno set, when the script cannot be opened.
bool OpenScript(const char* name);
// Goes back to byte 0. Returns false when the script cannot be rewound.
bool RewindScript();
void CloseScript();
// The errno of the first read or seek failure, 0 when there was none.
int ScriptError();

// Reads the next line as a number by the C atoi rules, clamped to the
// 32-bit range. Returns false when there is no further line.
bool ReadNumberLine(int32_t* value);

// Reads the next line into name (NUL-terminated) and sets usable to false
// when it cannot name a file: longer than capacity - 1 bytes, or holding a
// NUL byte. Returns false when there is no further line.
bool ReadNameLine(char* name, size_t capacity, bool* usable);

}  // namespace glowreel
