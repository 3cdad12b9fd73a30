// The platform layer on Linux: the monotonic clock, sleeping, opening frame
// files safely and the standard streams.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "platform/system.h"

namespace glowreel {

const size_t MaxPathLength = PATH_MAX - 1;

namespace {

constexpr int64_t NanosecondsPerSecond = 1000000000;

bool MonotonicFrequency(int64_t* frequency) {
  *frequency = NanosecondsPerSecond;
  return true;
}

bool MonotonicCounter(int64_t* count) {
  timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
  *count = now.tv_sec * NanosecondsPerSecond + now.tv_nsec;
  return true;
}

void MonotonicSleep(uint32_t milliseconds) {
  if (milliseconds == 0) return;  // even a past deadline costs a timer slack
  // An absolute deadline, so that a signal cannot shorten the wait.
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (deadline.tv_nsec >= NanosecondsPerSecond) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= NanosecondsPerSecond;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

}  // namespace

const ClockSource SystemClock = {MonotonicFrequency, MonotonicCounter, MonotonicSleep};

// The monotonic clock and its sleep are already exact to well under 1 ms.
void BeginSystemPlayback() {}
void EndSystemPlayback() {}

FILE* OpenRegularFile(const char* name, const char* mode) {
  // Looked at before it is opened: opening a device or FIFO can act on its
  // own (a watchdog armed, a tape rewound, a waiting writer released).
  struct stat status;
  if (stat(name, &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
  // Non-blocking, so that a FIFO put in its place cannot hang the open;
  // checked again before any read.
  const int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  FILE* file = nullptr;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) file = fdopen(fd, mode);
  if (!file) {
    const int cause = errno;
    close(fd);
    errno = cause;
  }
  return file;
}

void PrepareStandardStreams() {
  // A standard stream that was closed would hand its number to the next file
  // opened, and the program's lines would land in a trace. Hold the number
  // with a descriptor that refuses the stream's direction, so that writing to
  // a closed stdout still fails as it would have.
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
  // A closed pipe on stdout becomes a write error that is reported, not a
  // silent death.
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace glowreel
