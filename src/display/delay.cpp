// The microsecond busy-wait and exact counter arithmetic.
#include <climits>

#include "display/display.h"
#include "platform/platform.h"

namespace glowreel {

namespace {
constexpr int64_t MicrosecondsPerSecond = 1000000;
}

int64_t TicksForMicroseconds(int64_t us, int64_t frequency) {
  if (us <= 0 || frequency <= 0) return 0;
  // Split the frequency so that no product overflows: us * whole MHz, plus
  // the remainder rounded up, so the wait is never shorter than asked.
  const int64_t whole = frequency / MicrosecondsPerSecond;
  const int64_t rest = frequency % MicrosecondsPerSecond;
  if (whole > 0 && us > INT64_MAX / whole) return INT64_MAX;
  const int64_t restProduct = (us % MicrosecondsPerSecond) * rest;
  return us * whole + (us / MicrosecondsPerSecond) * rest +
         (restProduct + MicrosecondsPerSecond - 1) / MicrosecondsPerSecond;
}

int64_t MicrosecondsForTicks(int64_t ticks, int64_t frequency) {
  if (frequency <= 0) return 0;
  // Whole seconds first, then the remainder: exact and free of overflow for
  // any frequency up to about 9 THz.
  const int64_t seconds = ticks / frequency;
  const int64_t rest = ticks % frequency;
  if (frequency <= INT64_MAX / MicrosecondsPerSecond)
    return seconds * MicrosecondsPerSecond + rest * MicrosecondsPerSecond / frequency;
  return seconds * MicrosecondsPerSecond +
         static_cast<int64_t>(static_cast<long double>(rest) * MicrosecondsPerSecond / frequency);
}

void DelayMicroseconds(int32_t us) {
  int64_t frequency = 0;
  if (!QueryPerformanceFrequency(&frequency)) frequency = 0;
  int64_t start = 0;
  if (!QueryPerformanceCounter(&start)) return;
  const int64_t wait = TicksForMicroseconds(us, frequency);
  int64_t now = start;
  do {
    if (!QueryPerformanceCounter(&now)) return;
  } while (now - start < wait);
}

}  // namespace glowreel
