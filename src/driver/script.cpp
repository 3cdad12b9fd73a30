// Line reading over a fixed buffer with the home platform's text-mode rules.
#include "driver/script.h"

#include <cerrno>
#include <climits>
#include <cstdio>

namespace glowreel {

namespace {

constexpr int EndOfScript = -1;
constexpr unsigned char EndOfFileMark = 0x1A;

FILE* ScriptFile;
unsigned char ScriptBuffer[4096];
size_t ScriptBufferLength;
size_t ScriptBufferPosition;
bool ScriptEnded;  // end of file, a 0x1A byte or a read failure
int ScriptErrno;

void NoteFailure(int cause) {
  if (ScriptErrno == 0) ScriptErrno = cause ? cause : EIO;
}

// The next raw byte, or EndOfScript.
int NextByte() {
  if (ScriptBufferPosition == ScriptBufferLength) {
    if (ScriptEnded || !ScriptFile) return EndOfScript;
    ScriptBufferLength = fread(ScriptBuffer, 1, sizeof ScriptBuffer, ScriptFile);
    ScriptBufferPosition = 0;
    if (ScriptBufferLength == 0) {
      if (ferror(ScriptFile)) NoteFailure(errno);
      ScriptEnded = true;
      return EndOfScript;
    }
  }
  return ScriptBuffer[ScriptBufferPosition++];
}

// The next character in text mode: '\n' for a line break, EndOfScript at the
// end of the file or at a 0x1A byte.
int NextChar() {
  const int c = NextByte();
  if (c == EndOfFileMark) {
    ScriptEnded = true;
    ScriptBufferPosition = ScriptBufferLength;
    return EndOfScript;
  }
  if (c != '\r') return c;
  const int next = NextByte();
  if (next == '\n') return '\n';
  if (next != EndOfScript) --ScriptBufferPosition;  // a lone CR stays in the line
  return '\r';
}

bool IsAtoiSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool OpenScript(const char* name) {
  ScriptFile = fopen(name, "rb");
  ScriptBufferLength = ScriptBufferPosition = 0;
  ScriptEnded = false;
  ScriptErrno = 0;
  return ScriptFile != nullptr;
}

bool RewindScript() {
  ScriptBufferLength = ScriptBufferPosition = 0;
  ScriptEnded = false;
  if (!ScriptFile) return true;  // an unopened script stays empty
  clearerr(ScriptFile);
  if (fseek(ScriptFile, 0, SEEK_SET) != 0) {
    NoteFailure(errno);
    ScriptEnded = true;
    return false;
  }
  return true;
}

void CloseScript() {
  if (ScriptFile) fclose(ScriptFile);
  ScriptFile = nullptr;
}

int ScriptError() { return ScriptErrno; }

bool ReadNumberLine(int32_t* value) {
  int c = NextChar();
  if (c == EndOfScript) return false;
  while (c != '\n' && c != EndOfScript && IsAtoiSpace(c)) c = NextChar();
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = NextChar();
  }
  // Accumulate in 64 bits and stop growing past the 32-bit range, so that
  // any number of digits clamps the way the home platform's atoi does.
  int64_t magnitude = 0;
  for (; c >= '0' && c <= '9'; c = NextChar())
    if (magnitude <= INT64_C(1) << 32) magnitude = magnitude * 10 + (c - '0');
  while (c != '\n' && c != EndOfScript) c = NextChar();
  const int64_t signedValue = negative ? -magnitude : magnitude;
  *value = static_cast<int32_t>(signedValue > INT_MAX ? INT_MAX : signedValue < INT_MIN ? INT_MIN : signedValue);
  return true;
}

bool ReadNameLine(char* name, size_t capacity, bool* usable) {
  int c = NextChar();
  if (c == EndOfScript) return false;
  size_t length = 0;
  *usable = true;
  for (; c != '\n' && c != EndOfScript; c = NextChar()) {
    if (c == '\0' || length + 1 >= capacity) {
      *usable = false;  // keep reading to the end of the line, storing nothing
      continue;
    }
    name[length++] = static_cast<char>(c);
  }
  name[length] = '\0';
  return true;
}

}  // namespace glowreel
