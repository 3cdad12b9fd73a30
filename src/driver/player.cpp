// The program's only control flow.
#include "driver/player.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "display/display.h"
#include "driver/script.h"
#include "frame/frame.h"
#include "platform/platform.h"

namespace glowreel {

namespace {

// 64-bit, so that a show left running for months cannot overflow them; the
// summary reads the same for every count a 32-bit counter could hold.
int64_t shown;
int64_t discarded;
char LineBuffer[4096 + 1];
bool OutputFailed;

// Flushes stdout and reports the first failure once; playback goes on, since
// the display is what the user is watching.
void FlushOutput() {
  if (fflush(stdout) == 0 && !ferror(stdout)) return;
  const int cause = errno;
  if (!OutputFailed) fprintf(stderr, "glowreel: cannot write standard output: %s\n", strerror(cause));
  OutputFailed = true;
}

void PlayPass() {
  RewindScript();
  int32_t ignored = 0;
  int32_t delay = 0;
  ReadNumberLine(&ignored);  // line 1 again; only the first read counts
  ReadNumberLine(&delay);    // re-read on every pass; 0 when missing
  // A negative delay means none: the sleep takes an unsigned count.
  const uint32_t sleepFor = delay < 0 ? 0 : static_cast<uint32_t>(delay);
  const size_t capacity = MaxPathLength + 1 < sizeof LineBuffer ? MaxPathLength + 1 : sizeof LineBuffer;
  bool usable = false;
  while (ReadNameLine(LineBuffer, capacity, &usable)) {
    // The test open only shows that the line names a readable regular file;
    // it stays open through the upload and the delay.
    FILE* test = usable ? OpenRegularFile(LineBuffer, "r") : nullptr;
    if (test && ShowFrameFile(LineBuffer)) {
      ++shown;
      Sleep(sleepFor);
    } else {
      ++discarded;
    }
    if (test) fclose(test);
  }
}

}  // namespace

int RunPlayer(int argc, char** argv) {
  PrepareStandardStreams();
  const bool haveScript = argc >= 2;
  if (!InitializeWinIo()) {
    if (!haveScript) {
      printf("Syntax: glowreel <anifile> Example: glowreel ani.txt\n");
      FlushOutput();
    }
    return PortFailureStatus();
  }
  ComputeLineLevels();
  int64_t frequency = 0;
  if (!QueryPerformanceFrequency(&frequency)) frequency = 0;
  int64_t start = 0;
  QueryPerformanceCounter(&start);
  InitDisplay();
  SendModeCommand(1, 1, 0, 1, 0, 0, 0, 0);
  shown = discarded = 0;

  if (!haveScript) {
    printf("Syntax: glowreel <anifile> Example: glowreel ani.txt\n");
    FlushOutput();
    const bool closed = ShutdownWinIo();
    return closed && !OutputFailed ? 2 : 1;
  }

  bool scriptFailed = false;
  if (!OpenScript(argv[1])) {
    // Played as an empty script, as before, but not reported as a success.
    fprintf(stderr, "glowreel: cannot open script %s: %s\n", argv[1], strerror(errno));
    scriptFailed = true;
  }
  int32_t repeat = 0;
  if (!ReadNumberLine(&repeat)) repeat = 0;
  printf("Repeat:%" PRId32 "\n", repeat);
  FlushOutput();
  for (int32_t pass = 0; pass < repeat && ScriptError() == 0; ++pass) PlayPass();
  if (ScriptError() != 0) {
    fprintf(stderr, "glowreel: cannot read script %s: %s\n", argv[1], strerror(ScriptError()));
    scriptFailed = true;
  }
  CloseScript();

  int64_t end = start;
  QueryPerformanceCounter(&end);
  const int64_t elapsed = MicrosecondsForTicks(end - start, frequency);
  printf("Time %" PRId64 "\nTotal frames shown %" PRId64 ", discarded frames %" PRId64, elapsed, shown,
         discarded);
  FlushOutput();
  const bool closed = ShutdownWinIo();
  return closed && !OutputFailed && !scriptFailed ? 0 : 1;
}

}  // namespace glowreel
