// The screen port kind, run as a user would: the built program on a
// pseudo-terminal of a given size, its output replayed on a small terminal
// model to see the picture that is left on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <sstream>

#include "emulated_support.h"

using namespace testing_support;
using namespace emulated_support;

namespace {

struct TerminalRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // standard output
  std::string err;  // standard error, when it is not the terminal
  std::string tty;  // everything written to the terminal
  bool termiosKept = false;
};

// Runs the program in its own session. With columns > 0 its controlling
// terminal, and standard error, is a pseudo-terminal of that size;
// otherwise it has no terminal at all. interruptWhen is asked after each
// read of the terminal whether to type Ctrl-C now.
TerminalRun RunOnTerminal(const std::string& dir, const std::string& port, int columns, int rows,
                          const std::function<bool(const std::string&)>& interruptWhen = nullptr) {
  TerminalRun run;
  int master = -1, slave = -1;
  termios before{};
  if (columns > 0) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
      ADD_FAILURE() << "openpty: " << strerror(errno);
      return run;
    }
    tcgetattr(master, &before);
  }
  const std::string outPath = dir + "/.out", errPath = dir + "/.err";
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    if (slave >= 0) {
      ioctl(slave, TIOCSCTTY, 0);
      dup2(slave, 2);
      close(slave);
      close(master);
    } else {
      dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    }
    dup2(open("/dev/null", O_RDONLY), 0);
    dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (port.empty())
      unsetenv("GLOWREEL_PORT");
    else
      setenv("GLOWREEL_PORT", port.c_str(), 1);
    unsetenv("COLORTERM");
    unsetenv("COLUMNS");
    unsetenv("LINES");
    execl(GLOWREEL_BINARY, GLOWREEL_BINARY, "ani.txt", static_cast<char*>(nullptr));
    _exit(127);
  }
  if (slave >= 0) {
    close(slave);
    bool interrupted = false;
    char buffer[65536];
    for (;;) {
      pollfd ready = {master, POLLIN, 0};
      if (poll(&ready, 1, 10000) <= 0) {
        ADD_FAILURE() << "the terminal went quiet";
        kill(pid, SIGKILL);
        break;
      }
      const ssize_t got = read(master, buffer, sizeof buffer);
      if (got <= 0) break;  // EIO: the program and its terminal are gone
      run.tty.append(buffer, static_cast<size_t>(got));
      if (interruptWhen && !interrupted && interruptWhen(run.tty)) {
        interrupted = true;
        const char ctrlC = 0x03;
        if (write(master, &ctrlC, 1) != 1) ADD_FAILURE() << "cannot type Ctrl-C";
      }
    }
    termios after{};
    tcgetattr(master, &after);
    run.termiosKept = memcmp(&before, &after, sizeof before) == 0;
    close(master);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadFile(outPath);
  run.err = slave >= 0 ? "" : ReadFile(errPath);
  return run;
}

// Just enough of a terminal to see what the program left on it: cursor
// movement by CR, LF and CSI A, colours by SGR, the cursor's visibility.
struct Cell {
  char32_t glyph = U' ';
  bool litFront = false, litBack = false;
};
struct Screen {
  std::vector<std::vector<Cell>> rows;
  bool cursorShown = true;
  bool coloursReset = true;
};

// Whether an SGR colour (after 38 or 48) glows: VFD green, not grey.
bool Glows(const std::vector<int>& p, size_t& i) {
  int green = 0;
  if (i + 1 < p.size() && p[i] == 5) {
    const int n = p[i + 1];
    if (n >= 16 && n < 232) green = (n - 16) / 6 % 6 * 40 + 55;
    i += 1;
  } else if (i + 3 < p.size() && p[i] == 2) {
    green = p[i + 2];
    i += 3;
  }
  return green > 100;
}

Screen Replay(const std::string& bytes) {
  Screen screen;
  size_t row = 0, column = 0;
  bool front = false, back = false;
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == 0x1b && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      size_t end = i + 2;
      while (end < bytes.size() && !(bytes[end] >= 0x40 && bytes[end] <= 0x7e)) ++end;
      const std::string body = bytes.substr(i + 2, end - i - 2);
      const char final = end < bytes.size() ? bytes[end] : 0;
      i = end + 1;
      if (body == "?25" && (final == 'l' || final == 'h')) {
        screen.cursorShown = final == 'h';
      } else if (final == 'A') {
        const size_t n = body.empty() ? 1 : std::stoul(body);
        row = row >= n ? row - n : 0;
      } else if (final == 'm') {
        std::vector<int> p;
        std::stringstream parts(body);
        for (std::string part; std::getline(parts, part, ';');) p.push_back(part.empty() ? 0 : std::stoi(part));
        if (p.empty()) p.push_back(0);
        for (size_t k = 0; k < p.size(); ++k) {
          if (p[k] == 0) front = back = false, screen.coloursReset = true;
          if (p[k] == 38) front = Glows(p, ++k), screen.coloursReset = false;
          if (p[k] == 48) back = Glows(p, ++k), screen.coloursReset = false;
        }
      }
      continue;
    }
    if (c == '\r') column = 0, ++i;
    else if (c == '\n') ++row, ++i;
    else {
      char32_t glyph = c;
      size_t length = 1;
      if (c >= 0xE0) glyph = c & 0x0F, length = 3;
      else if (c >= 0xC0) glyph = c & 0x1F, length = 2;
      for (size_t k = 1; k < length && i + k < bytes.size(); ++k) glyph = glyph << 6 | (bytes[i + k] & 0x3F);
      i += length;
      if (screen.rows.size() <= row) screen.rows.resize(row + 1);
      auto& line = screen.rows[row];
      if (line.size() <= column) line.resize(column + 1);
      line[column++] = {glyph, front, back};
    }
  }
  return screen;
}

// The dots of the picture the screen shows, and how many rows it takes;
// rows of anything but dot glyphs do not count.
Picture PictureOn(const Screen& screen, int* pictureRows) {
  Picture dots{};
  int y = 0;
  *pictureRows = 0;
  for (const auto& line : screen.rows) {
    if (line.empty() || (line[0].glyph != U'\u2580' && (line[0].glyph & ~0xFFu) != 0x2800)) continue;
    ++*pictureRows;
    const bool halves = line[0].glyph == U'\u2580';
    for (size_t x = 0; x < line.size(); ++x) {
      const Cell& cell = line[x];
      if (halves && y + 1 < 64 && x < 128) {
        dots[y][x] = cell.litFront;
        dots[y + 1][x] = cell.litBack;
      }
      if (!halves && y + 3 < 64 && 2 * x + 1 < 128) {
        static const int Bits[4][2] = {{0x01, 0x08}, {0x02, 0x10}, {0x04, 0x20}, {0x40, 0x80}};
        for (int dy = 0; dy < 4; ++dy)
          for (int dx = 0; dx < 2; ++dx)
            dots[y + dy][2 * x + dx] = cell.litFront && (cell.glyph & Bits[dy][dx]);
      }
    }
    y += halves ? 2 : 4;
  }
  return dots;
}

class ScreenPort : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    for (unsigned i = 0; i < 3; ++i) {
      pictures.push_back(RandomPicture(200 + i));
      WriteFile(dir + "/" + std::to_string(i) + ".bmp", FrameFile(pictures.back()));
    }
    Script(20);
  }
  void Script(int delay) { WriteFile(dir + "/ani.txt", "1\n" + std::to_string(delay) + "\n0.bmp\n1.bmp\n2.bmp\n"); }
  std::string dir;
  std::vector<Picture> pictures;
};

const char Summary3[] = "Repeat:1\nTime [0-9]+\nTotal frames shown 3, discarded frames 0";

TEST_F(ScreenPort, DrawsThePictureInPlaceAndLeavesTheTerminalClean) {
  struct Case {
    int columns, rows;
    int pictureRows;  // 32 with half blocks, 16 in braille
  } cases[] = {{80, 24, 16}, {140, 40, 32}, {140, 24, 16}, {128, 33, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.columns) + " x " + std::to_string(c.rows));
    const TerminalRun run = RunOnTerminal(dir, "screen", c.columns, c.rows);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(std::regex_match(run.out, std::regex(Summary3))) << run.out;
    const Screen screen = Replay(run.tty);
    int rows = 0;
    EXPECT_TRUE(PictureOn(screen, &rows) == pictures.back());
    EXPECT_EQ(rows, c.pictureRows);  // three pictures, drawn over one another
    for (const auto& line : screen.rows) EXPECT_LE(static_cast<int>(line.size()), c.columns);
    EXPECT_TRUE(screen.cursorShown);
    EXPECT_TRUE(screen.coloursReset);
    EXPECT_TRUE(run.termiosKept);
  }
}

TEST_F(ScreenPort, CtrlCLeavesTheTerminalClean) {
  Script(5000);
  const TerminalRun run = RunOnTerminal(dir, "screen", 140, 40, [](const std::string& tty) {
    return Replay(tty).rows.size() >= 32;  // the first picture is out
  });
  EXPECT_EQ(run.status, 128 + SIGINT);
  const Screen screen = Replay(run.tty);
  int rows = 0;
  EXPECT_TRUE(PictureOn(screen, &rows) == pictures.front());
  EXPECT_TRUE(screen.cursorShown);
  EXPECT_TRUE(screen.coloursReset);
}

TEST_F(ScreenPort, ARunThatShowsNoFrameDrawsNothing) {
  WriteFile(dir + "/ani.txt", "1\n0\nmissing.bmp\n");
  const TerminalRun run = RunOnTerminal(dir, "screen", 140, 40);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.tty, "");
}

TEST_F(ScreenPort, WithoutATerminalNothingIsDrawn) {
  const bool havePort = access("/dev/parport0", F_OK) == 0;
  struct Case {
    std::string port, err;
  } cases[] = {
      {"screen", ""},
      {"", havePort ? "" : "glowreel: no parallel port found at /dev/parport0, so the display is emulated on the "
                           "terminal; choose a port with GLOWREEL_PORT, e.g. ppdev:/dev/parport1, gif:FILE or none\n"},
  };
  for (const Case& c : cases) {
    if (c.port.empty() && havePort) continue;  // the default is the real port here
    SCOPED_TRACE("GLOWREEL_PORT=" + c.port);
    const TerminalRun run = RunOnTerminal(dir, c.port, 0, 0);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(std::regex_match(run.out, std::regex(Summary3))) << run.out;
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
