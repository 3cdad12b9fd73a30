// Per-frame cost of the player's own work, with the port discarding every
// write: showing a frame file (both opens, the read, the conversion and the
// 1056 byte cycles), the conversion alone, and a 1000-frame script.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include "display/display.h"
#include "driver/player.h"
#include "frame/frame.h"
#include "platform/platform.h"
#include "platform/port_kind.h"

namespace g = glowreel;

// Counts the program's own C++ heap allocations.
static std::atomic<long> Allocations;
void* operator new(std::size_t size) {
  ++Allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }  // pairs with the malloc above
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

std::string Dir() {
  static std::string dir = [] {
    char pattern[] = "/tmp/glowreel-bench-XXXXXX";
    std::string made = mkdtemp(pattern);
    std::ofstream frame(made + "/f.bmp", std::ios::binary);
    for (int i = 0; i < g::FrameFileSize; ++i) frame.put(static_cast<char>(i * 37));
    std::ofstream script(made + "/ani.txt", std::ios::binary);
    script << "1\n0\n";
    for (int i = 0; i < 1000; ++i) script << "f.bmp\n";
    return made;
  }();
  return dir;
}

void Discard() {
  g::OpenPorts("none");
  g::ComputeLineLevels();
}

void ShowFrame(benchmark::State& state) {
  Discard();
  const std::string name = Dir() + "/f.bmp";
  const long before = Allocations;
  for (auto _ : state) {
    // As the driver does: a test open held over the showing.
    FILE* test = g::OpenRegularFile(name.c_str(), "r");
    benchmark::DoNotOptimize(g::ShowFrameFile(name.c_str()));
    fclose(test);
  }
  state.counters["allocations/frame"] =
      static_cast<double>(Allocations - before) / static_cast<double>(state.iterations());
}
BENCHMARK(ShowFrame);

void ConvertFrame(benchmark::State& state) {
  for (int i = 0; i < g::FrameFileSize; ++i) g::FrameFileBuffer[i] = static_cast<uint8_t>(i * 37);
  for (auto _ : state) {
    g::ConvertFrame();
    benchmark::DoNotOptimize(g::PageImage);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(ConvertFrame);

void UploadPageImage(benchmark::State& state) {
  Discard();
  for (auto _ : state) g::UploadPageImage(g::PageImage);
}
BENCHMARK(UploadPageImage);

// The whole program on a 1000-frame script with no delay; the time includes
// the initialisation's three 1 ms waits.
void Script1000(benchmark::State& state) {
  const std::string script = Dir() + "/ani.txt";
  if (chdir(Dir().c_str()) != 0) state.SkipWithError("chdir");
  setenv("GLOWREEL_PORT", "none", 1);
  FILE* saved = fdopen(dup(1), "w");
  freopen("/dev/null", "w", stdout);  // the summary is not the benchmark's output
  char name[] = "glowreel";
  char* argv[] = {name, const_cast<char*>(script.c_str()), nullptr};
  const long before = Allocations;
  for (auto _ : state) benchmark::DoNotOptimize(g::RunPlayer(2, argv));
  state.counters["allocations/run"] =
      static_cast<double>(Allocations - before) / static_cast<double>(state.iterations());
  state.counters["frames"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1000,
                                                benchmark::Counter::kIsRate);
  fflush(stdout);
  dup2(fileno(saved), 1);
  fclose(saved);
}
BENCHMARK(Script1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
