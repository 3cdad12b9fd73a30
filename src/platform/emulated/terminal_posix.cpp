// The screen kind's terminal on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/emulated/terminal.h"

namespace glowreel {

namespace {

int TerminalFile = -1;
bool OwnFile;  // opened here, so closed here
const char* RestoreBytes;
size_t RestoreLength;

constexpr int GuardedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int GuardedCount = sizeof GuardedSignals / sizeof GuardedSignals[0];
struct sigaction Previous[GuardedCount];
bool Guarded[GuardedCount];

void WriteAll(int file, const char* bytes, size_t length) {
  while (length > 0) {
    const ssize_t written = write(file, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    length -= static_cast<size_t>(written);
  }
}

void Unguard() {
  for (int i = 0; i < GuardedCount; ++i)
    if (Guarded[i]) sigaction(GuardedSignals[i], &Previous[i], nullptr);
  for (bool& guarded : Guarded) guarded = false;
}

void RestoreAndRaise(int signal) {
  const int saved = errno;
  if (TerminalFile >= 0) WriteAll(TerminalFile, RestoreBytes, RestoreLength);
  Unguard();
  errno = saved;
  raise(signal);
}

}  // namespace

bool OpenTerminal() {
  TerminalFile = -1;
  OwnFile = false;
  if (isatty(STDERR_FILENO)) {
    TerminalFile = STDERR_FILENO;
    return true;
  }
  TerminalFile = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  OwnFile = TerminalFile >= 0;
  return TerminalFile >= 0;
}

void GetTerminalSize(int* columns, int* rows) {
  winsize size{};
  if (TerminalFile < 0 || ioctl(TerminalFile, TIOCGWINSZ, &size) != 0) size = winsize{};
  *columns = size.ws_col;
  *rows = size.ws_row;
  // A terminal that does not know its size may still be told by the shell.
  if (*columns == 0)
    if (const char* text = getenv("COLUMNS")) *columns = atoi(text);
  if (*rows == 0)
    if (const char* text = getenv("LINES")) *rows = atoi(text);
}

bool TerminalHasTrueColour() {
  const char* colour = getenv("COLORTERM");
  return colour && (strcmp(colour, "truecolor") == 0 || strcmp(colour, "24bit") == 0);
}

void WriteTerminal(const char* bytes, size_t length) {
  if (TerminalFile >= 0) WriteAll(TerminalFile, bytes, length);
}

void GuardTerminal(const char* restore, size_t length) {
  RestoreBytes = restore;
  RestoreLength = length;
  for (int i = 0; i < GuardedCount; ++i) {
    struct sigaction current {};
    sigaction(GuardedSignals[i], nullptr, &current);
    // A signal the caller chose to ignore stays ignored.
    if (current.sa_handler == SIG_IGN) continue;
    struct sigaction guard {};
    guard.sa_handler = RestoreAndRaise;
    sigemptyset(&guard.sa_mask);
    guard.sa_flags = SA_RESETHAND;
    Guarded[i] = sigaction(GuardedSignals[i], &guard, &Previous[i]) == 0;
  }
}

void CloseTerminal() {
  Unguard();
  if (OwnFile) close(TerminalFile);
  TerminalFile = -1;
  OwnFile = false;
}

}  // namespace glowreel
