// Reading the animation script: text-mode line breaks, atoi numbers, and
// lines that cannot name a file.
#include <gtest/gtest.h>

#include <climits>

#include "driver/script.h"
#include "support/support.h"

using namespace testing_support;
namespace g = glowreel;

namespace {

class Script : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempDir(); }
  void TearDown() override { g::CloseScript(); }
  void Open(const std::string& bytes) {
    g::CloseScript();
    WriteFile(dir + "/ani.txt", bytes);
    ASSERT_TRUE(g::OpenScript((dir + "/ani.txt").c_str()));
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    char name[64];
    bool usable = false;
    while (g::ReadNameLine(name, sizeof name, &usable)) lines.push_back(usable ? name : "<unusable>");
    return lines;
  }
  std::string dir;
};

TEST_F(Script, LinesFollowTheTextModeRules) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"empty file", "", {}},
      {"LF", "a\nb\n", {"a", "b"}},
      {"no final break", "a\nb", {"a", "b"}},
      {"CR LF drops the CR", "a\r\nb\r\n", {"a", "b"}},
      {"lone CR stays", "a\rb\n\r", {"a\rb", "\r"}},
      {"CR CR LF keeps one CR", "a\r\r\n", {"a\r"}},
      {"0x1A ends the file", std::string("a\n\x1A") + "b\n", {"a"}},
      {"0x1A mid-line", std::string("ab\x1A") + "c\n", {"ab"}},
      {"0x1A first", std::string("\x1A") + "a\n", {}},
      {"empty lines and trailing space", "\n\na \n", {"", "", "a "}},
      {"NUL cannot name a file", std::string("a\0b\n", 4) + "c\n", {"<unusable>", "c"}},
      {"longer than a path", std::string(100, 'x') + "\nc\n", {"<unusable>", "c"}},
      {"just fits", std::string(63, 'y') + "\n", {std::string(63, 'y')}},
  };
  for (const Case& c : cases) {
    Open(c.bytes);
    EXPECT_EQ(Lines(), c.lines) << c.name;
  }
}

TEST_F(Script, CrLfSplitAcrossTheReadBufferIsOneBreak) {
  std::string bytes(4095, 'z');
  bytes += "\r\nnext\n";
  Open(bytes);
  char name[8192];
  bool usable = false;
  ASSERT_TRUE(g::ReadNameLine(name, sizeof name, &usable));
  EXPECT_EQ(std::string(name), std::string(4095, 'z'));
  ASSERT_TRUE(g::ReadNameLine(name, sizeof name, &usable));
  EXPECT_EQ(std::string(name), "next");
}

TEST_F(Script, NumbersFollowAtoiAndClampToThe32BitRange) {
  struct Case {
    std::string line;
    int32_t value;
  } cases[] = {
      {"42", 42},
      {"  \t42abc", 42},
      {"\r 7", 7},
      {"+3", 3},
      {"-7", -7},
      {"x5", 0},
      {"", 0},
      {"- 5", 0},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"99999999999999999999999", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"-99999999999999999999999", INT_MIN},
      {std::string(5000, '0') + "12", 12},
      {std::string(5000, ' ') + "9", 9},
  };
  for (const Case& c : cases) {
    Open(c.line + "\nnext\n");
    int32_t value = -1;
    ASSERT_TRUE(g::ReadNumberLine(&value));
    EXPECT_EQ(value, c.value) << c.line.substr(0, 40);
    EXPECT_EQ(Lines(), std::vector<std::string>{"next"}) << c.line.substr(0, 40);
  }
  Open("");
  int32_t value = 5;
  EXPECT_FALSE(g::ReadNumberLine(&value));
}

TEST_F(Script, RewindReadsAgainFromTheFirstByte) {
  Open(std::string("3\r\n10\r\na\x1A") + "b\n");
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(g::RewindScript());
    int32_t repeat = 0, delay = 0;
    ASSERT_TRUE(g::ReadNumberLine(&repeat));
    ASSERT_TRUE(g::ReadNumberLine(&delay));
    EXPECT_EQ(repeat, 3);
    EXPECT_EQ(delay, 10);
    EXPECT_EQ(Lines(), std::vector<std::string>{"a"});
  }
  EXPECT_EQ(g::ScriptError(), 0);
}

TEST_F(Script, ReadFailureIsReportedNotTakenAsTheEnd) {
  ASSERT_TRUE(g::OpenScript(dir.c_str()));  // a directory opens but cannot be read
  EXPECT_TRUE(Lines().empty());
  EXPECT_NE(g::ScriptError(), 0);
}

}  // namespace
