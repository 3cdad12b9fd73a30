// The trace: a text record of every platform action, one per line, LF line
// ends. It is the project's stable record of the wire protocol:
//   open              port access opened
//   out 0x37a 0x01    a register write (port, then value)
//   sleep 50          a Sleep, in milliseconds
//   close             port access closed
// The discarding port is here too: it accepts every write and keeps nothing.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/system.h"

namespace glowreel {

namespace {

FILE* TraceFile;
int TraceFailure;
bool WriteFailed;  // already counted by the port layer; close need not repeat it

void Note(int result) {
  if (result < 0 && TraceFailure == 0) TraceFailure = errno ? errno : EIO;
}

bool OpenTrace(const char* argument) {
  TraceFailure = 0;
  WriteFailed = false;
  const bool toStderr = strcmp(argument, "-") == 0;
  TraceFile = toStderr ? stderr : fopen(argument, "wb");
  if (!TraceFile) {
    fprintf(stderr, "glowreel: cannot create trace file %s: %s\n", argument, strerror(errno));
    return false;
  }
  Note(fputs("open\n", TraceFile));
  return true;
}

int WriteOut(uint16_t port, uint8_t value) {
  static const char Hex[] = "0123456789abcdef";
  char line[] = "out 0x000 0x00\n";
  line[6] = Hex[(port >> 8) & 0xF];
  line[7] = Hex[(port >> 4) & 0xF];
  line[8] = Hex[port & 0xF];
  line[12] = Hex[value >> 4];
  line[13] = Hex[value & 0xF];
  if (fputs(line, TraceFile) < 0) {
    Note(-1);
    WriteFailed = true;
    return TraceFailure;
  }
  return 0;
}

int TraceData(uint8_t value) { return WriteOut(DataRegisterPort, value); }
int TraceControl(uint8_t value) { return WriteOut(ControlRegisterPort, value); }

void TraceSleep(uint32_t milliseconds) { Note(fprintf(TraceFile, "sleep %" PRIu32 "\n", milliseconds)); }

int CloseTrace() {
  Note(fputs("close\n", TraceFile));
  Note(fflush(TraceFile) == 0 ? 0 : -1);
  if (TraceFile != stderr) Note(fclose(TraceFile) == 0 ? 0 : -1);
  TraceFile = nullptr;
  return WriteFailed ? 0 : TraceFailure;
}

bool OpenNone(const char*) { return true; }
int WriteNone(uint8_t) { return 0; }
int CloseNone() { return 0; }

}  // namespace

const PortKind TracePort = {"trace", PortArgument::Required, "trace:FILE (trace:- for stderr)",
                            OpenTrace, TraceData, TraceControl, TraceSleep, CloseTrace};

const PortKind NonePort = {"none", PortArgument::None, "none", OpenNone, WriteNone, WriteNone, nullptr, CloseNone};

}  // namespace glowreel
