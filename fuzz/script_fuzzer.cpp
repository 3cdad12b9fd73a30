// The script path under libFuzzer: the input is an animation script, played
// by the whole program (GLOWREEL_PORT=none, an instant clock) over a
// directory holding frames and every kind of thing a line could name. The
// run summary is checked against a model of the script written apart from
// the reader: text-mode lines, atoi numbers, and a frame counted as shown
// exactly when its line names a regular file that reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/player.h"
#include "platform/port_kind.h"

namespace {

// A script asking for more passes is played this many times instead, so
// that one input stays fast; the number itself is still parsed as written.
constexpr int64_t MaxPasses = 3;
constexpr size_t LongestName = 4095;  // PATH_MAX less its NUL

std::string FrameDir;
std::string StartDir;
int OutputFile = -1;

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  fprintf(stderr, "script fuzzer: %s: %s\n", what, detail.c_str());
  abort();
}

// A counter that leaps ahead, so busy-waits end at once; sleeps return at once.
int64_t Ticks;
bool InstantFrequency(int64_t* frequency) {
  *frequency = 1000000;
  return true;
}
bool InstantCounter(int64_t* count) {
  *count = Ticks += 1000;
  return true;
}
void InstantSleep(uint32_t) {}
const glowreel::ClockSource Instant = {InstantFrequency, InstantCounter, InstantSleep};

void Put(const std::string& name, size_t size, uint8_t fill) {
  FILE* file = fopen((FrameDir + "/" + name).c_str(), "wb");
  if (!file) Fail("cannot create", name);
  for (size_t i = 0; i < size; ++i) fputc(fill, file);
  fclose(file);
}

void MakeFrameDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "glowreel-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) Fail("mkdtemp", strerror(errno));
  FrameDir = pattern;
  Put("a.bmp", 1086, 0x00);
  Put("b", 1086, 0xFF);
  Put("short.bmp", 100, 0x55);
  Put("empty", 0, 0);
  Put("long.bmp", 5000, 0xAA);
  Put("sp ace.bmp", 1086, 0x0F);
  Put("cr\r.bmp", 1086, 0xF0);
  Put("\xff\xfe.bmp", 1086, 0x3C);
  const std::string d = FrameDir + "/";
  mkdir((d + "dir").c_str(), 0755);
  mkfifo((d + "fifo").c_str(), 0644);
  if (symlink("a.bmp", (d + "link").c_str()) != 0 || symlink("gone", (d + "dangling").c_str()) != 0 ||
      symlink("loop", (d + "loop").c_str()) != 0)
    Fail("symlink", strerror(errno));
  FrameDir = std::filesystem::canonical(FrameDir).string();
}

void RemoveFrameDir() {
  std::error_code ignored;
  std::filesystem::remove_all(FrameDir, ignored);
}

// The script as the program must see it, by the rules it documents.
std::vector<std::string> TextLines(const std::string& bytes) {
  std::string text = bytes.substr(0, bytes.find('\x1A'));
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (end < text.size() && !line.empty() && line.back() == '\r') line.pop_back();  // CR LF
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

int64_t AtoiClamped(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && strchr(" \t\v\f\r", line[i]) && line[i] != '\0') ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  int64_t magnitude = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
    magnitude = magnitude > INT64_C(1) << 40 ? magnitude : magnitude * 10 + (line[i] - '0');
  const int64_t value = negative ? -magnitude : magnitude;
  return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : value;
}

// Whether a frame line names a frame: a regular file whose first bytes read.
bool NamesAFrame(const std::string& name) {
  if (name.empty() || name.size() > LongestName || name.find('\0') != std::string::npos) return false;
  struct stat status;
  if (stat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  char bytes[1086];
  const bool reads = read(fd, bytes, sizeof bytes) >= 0;
  close(fd);
  return reads;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MakeFrameDir();
  atexit(RemoveFrameDir);
  StartDir = std::filesystem::current_path().string();
  setenv("GLOWREEL_PORT", "none", 1);
  glowreel::UseClockSource(&Instant);
  // The summary is read back from stdout; libFuzzer itself writes to stderr.
  OutputFile = open((FrameDir + "/stdout").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (OutputFile < 0 || dup2(OutputFile, 1) < 0) Fail("stdout", strerror(errno));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string script(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines = TextLines(script);
  int64_t repeat = lines.empty() ? 0 : AtoiClamped(lines[0]);
  if (repeat > MaxPasses) {
    // Same script from line 2 on; line 1 ends at the first LF unless the
    // file ended before it.
    const size_t lf = script.find('\n');
    const bool moreLines = lf != std::string::npos && lf < script.find('\x1A');
    script = std::to_string(MaxPasses) + (moreLines ? script.substr(lf) : "");
    lines = TextLines(script);
    repeat = MaxPasses;
  }

  if (chdir(FrameDir.c_str()) != 0) Fail("chdir", strerror(errno));
  int64_t shown = 0, discarded = 0;
  for (size_t i = 2; i < lines.size(); ++i) ++(NamesAFrame(lines[i]) ? shown : discarded);
  if (repeat <= 0) shown = discarded = 0;
  FILE* file = fopen("ani.txt", "wb");
  if (!file || fwrite(script.data(), 1, script.size(), file) != script.size() || fclose(file) != 0)
    Fail("cannot write the script", strerror(errno));

  fflush(stdout);
  if (ftruncate(1, 0) != 0 || lseek(1, 0, SEEK_SET) != 0) Fail("stdout", strerror(errno));
  char program[] = "glowreel";
  char scriptName[] = "ani.txt";
  char* argv[] = {program, scriptName, nullptr};
  const int status = glowreel::RunPlayer(2, argv);
  fflush(stdout);
  if (chdir(StartDir.c_str()) != 0) Fail("chdir", strerror(errno));

  std::string out(4096, '\0');
  const ssize_t length = pread(OutputFile, out.data(), out.size(), 0);
  out.resize(length > 0 ? static_cast<size_t>(length) : 0);
  if (status != 0) Fail("exit status", std::to_string(status) + " for " + out);
  const std::string head = "Repeat:" + std::to_string(repeat) + "\nTime ";
  const std::string tail = "\nTotal frames shown " + std::to_string(repeat * shown) + ", discarded frames " +
                           std::to_string(repeat * discarded);
  const bool matches = out.size() > head.size() + tail.size() && out.compare(0, head.size(), head) == 0 &&
                       out.compare(out.size() - tail.size(), tail.size(), tail) == 0;
  if (!matches) Fail("summary", "expected " + head + "..." + tail + ", got " + out);
  return 0;
}
