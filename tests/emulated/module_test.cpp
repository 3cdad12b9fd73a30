// The emulated module against the real display link and frame layer: frames
// come back as the dots they hold, a broken write cycle never does, and the
// byte level keeps its state and counts what fits no command.
#include <gtest/gtest.h>

#include <functional>

#include "display/display.h"
#include "emulated_support.h"
#include "frame/frame.h"
#include "platform/emulated/module.h"
#include "platform/platform.h"

using namespace testing_support;
using namespace emulated_support;
namespace g = glowreel;

namespace {

class EmulatedModule : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    ASSERT_TRUE(g::OpenPortKind(&ModulePort, ""));
    g::ComputeLineLevels();
  }
  void TearDown() override {
    g::ShutdownWinIo();
    g::ComputeLineLevels();
  }
  // Initialises the module as the player does, then shows each picture from
  // a frame file, pausing after each as the player does.
  void Play(const std::vector<Picture>& pictures) {
    g::InitDisplay();
    g::SendModeCommand(1, 1, 0, 1, 0, 0, 0, 0);
    for (size_t i = 0; i < pictures.size(); ++i) {
      const std::string path = dir + "/" + std::to_string(i) + ".bmp";
      WriteFile(path, FrameFile(pictures[i]));
      ASSERT_TRUE(g::ShowFrameFile(path.c_str()));
      g::Sleep(0);
    }
  }

  FakeClock clock;
  std::string dir;
};

Picture Dots(std::function<bool(int, int)> lit) { return PictureOf(std::move(lit)); }

TEST_F(EmulatedModule, ShowsEachFrameAsItsPixels) {
  const std::vector<Picture> pictures = {
      RandomPicture(1),
      Dots([](int, int) { return true; }),
      Dots([](int, int) { return false; }),
      Dots([](int x, int y) { return x == 0 && y == 0; }),
      Dots([](int x, int y) { return x == 127 && y == 0; }),
      Dots([](int x, int y) { return x == 0 && y == 63; }),
      Dots([](int x, int y) { return x == 127 && y == 63; }),
      RandomPicture(2),
  };
  Play(pictures);
  EXPECT_EQ(g::ModuleProtocolErrors(), 0u) << g::ModuleFirstError();
  ASSERT_EQ(ShownPictures.size(), pictures.size());
  for (size_t i = 0; i < pictures.size(); ++i) EXPECT_TRUE(ShownPictures[i] == pictures[i]) << "picture " << i;
  EXPECT_TRUE(ModuleNow() == pictures.back());
}

TEST_F(EmulatedModule, TheInitialisationIsKeptAsState) {
  Play({});
  const g::ModuleSettings& settings = g::CurrentSettings();
  for (uint8_t value : settings.indexed) EXPECT_EQ(value, 0xFF);
  EXPECT_EQ(settings.flags, 0x04);
  EXPECT_EQ(settings.brightness, g::FullBrightness);
  EXPECT_EQ(settings.mode[0], 0x2C);
  EXPECT_EQ(settings.mode[1], 0x40);
  EXPECT_EQ(settings.readyCommands, 1u);
  EXPECT_EQ(g::ModuleProtocolErrors(), 0u) << g::ModuleFirstError();
  EXPECT_TRUE(ShownPictures.empty());
}

// Line levels and write cycles a broken link might produce. None may show
// the frame; the ones the module can tell apart are also protocol errors.
TEST_F(EmulatedModule, ABrokenWriteCycleNeverShowsTheFrame) {
  struct Case {
    const char* name;
    std::function<void()> breakLink;
    bool errors;
  } cases[] = {
      {"strobe never rises", [] { g::LineLevels[g::StrobeLine] = {0x01, 0x01}; }, false},
      {"strobe never falls", [] { g::LineLevels[g::StrobeLine] = {0x00, 0x00}; }, false},
      {"strobe inverted", [] { g::LineLevels[g::StrobeLine] = {0x01, 0x00}; }, true},
      {"select inverted", [] { g::LineLevels[g::CommandSelectLine] = {0x08, 0x00}; }, true},
      {"select stuck at command", [] { g::LineLevels[g::CommandSelectLine] = {0x00, 0x00}; }, true},
      {"pin 14 held low", [] { g::LineLevels[g::HeldHighLine] = {0x02, 0x02}; }, true},
      {"pin 16 held high", [] { g::LineLevels[g::HeldLowLine] = {0x04, 0x04}; }, true},
  };
  const Picture frame = RandomPicture(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(g::OpenPortKind(&ModulePort, ""));
    g::ComputeLineLevels();
    c.breakLink();
    Play({frame});
    EXPECT_FALSE(ModuleNow() == frame);
    EXPECT_EQ(g::ModuleProtocolErrors() > 0, c.errors) << g::ModuleFirstError();
  }
}

TEST_F(EmulatedModule, ADataByteWrittenAfterTheRisingEdgeIsNotTheOneLatched) {
  g::SetPortVal(g::DataRegisterPort, 0x5A, 1);
  g::SetPortVal(g::ControlRegisterPort, 0x09, 1);  // strobe falls, data select
  g::SetPortVal(g::ControlRegisterPort, 0x08, 1);  // strobe rises: latches 0x5A
  g::SetPortVal(g::DataRegisterPort, 0xFF, 1);     // too late
  EXPECT_EQ(g::CurrentPicture().memory[0], 0x5A);
  EXPECT_EQ(g::CurrentPicture().memory[1], 0x00);
}

struct Bytes {
  std::vector<std::pair<bool, uint8_t>> list;  // (command, byte)
};
Bytes C(std::initializer_list<uint8_t> bytes) {
  Bytes b;
  for (uint8_t v : bytes) b.list.push_back({true, v});
  return b;
}
Bytes D(std::initializer_list<uint8_t> bytes) {
  Bytes b;
  for (uint8_t v : bytes) b.list.push_back({false, v});
  return b;
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.list.insert(a.list.end(), b.list.begin(), b.list.end());
  return a;
}

TEST_F(EmulatedModule, CountsBytesThatFitNoCommand) {
  struct Case {
    const char* name;
    Bytes bytes;
    uint64_t errors;
    const char* first;
  } cases[] = {
      {"every command of the set", C({0x60, 7, 0x64, 127, 0x62, 0}) + D({1}) + C({0x80, 0x82, 0x84, 0x86, 0x40, 0x4F, 0x20, 0x00, 0x2C, 0xFC, 0x5F}), 0, ""},
      {"unknown commands", C({0x00, 0x61, 0x81, 0x50, 0xFF}), 5, "unknown command 0x00 (byte 1)"},
      {"page out of range", C({0x60, 8}), 1, "page 8 does not exist"},
      {"column out of range", C({0x64, 128}), 1, "column 128 does not exist"},
      {"data byte for a page", C({0x60}) + D({3}), 1, "data byte 0x03 where the page number"},
      {"data byte for a column", C({0x64}) + D({3}), 1, "data byte 0x03 where the column number"},
      {"data byte for a register", C({0x62}) + D({0}), 1, "where the register number"},
      {"command for a register value", C({0x62, 1, 0x5F}), 1, "command 0x5f where the data byte after 0x62"},
      {"data byte for the mode", C({0x28}) + D({0}), 1, "where the second mode byte"},
      {"mode byte with low bits", C({0x20, 0x01}), 1, "second mode byte 0x01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(g::OpenPortKind(&ModulePort, ""));
    for (const auto& [command, byte] : c.bytes.list) g::ReceiveByte(byte, command);
    EXPECT_EQ(g::ModuleProtocolErrors(), c.errors);
    EXPECT_NE(std::string(g::ModuleFirstError()).find(c.first), std::string::npos) << g::ModuleFirstError();
  }
}

TEST_F(EmulatedModule, ACommandWhereARegisterValueIsDueStillActs) {
  for (const auto& [command, byte] : (C({0x62, 1, 0x60, 3}) + D({0xAA})).list) g::ReceiveByte(byte, command);
  EXPECT_EQ(g::CurrentPicture().memory[128 * 3], 0xAA);
  EXPECT_EQ(g::CurrentSettings().indexed[1], 0x00);
}

TEST_F(EmulatedModule, TheColumnWrapsToTheStartOfTheSamePage) {
  for (const auto& [command, byte] : (C({0x60, 2, 0x64, 126}) + D({1, 2, 3})).list) g::ReceiveByte(byte, command);
  const uint8_t* memory = g::CurrentPicture().memory;
  EXPECT_EQ(memory[128 * 2 + 126], 1);
  EXPECT_EQ(memory[128 * 2 + 127], 2);
  EXPECT_EQ(memory[128 * 2 + 0], 3);
  EXPECT_EQ(memory[128 * 3 + 0], 0);
}

TEST_F(EmulatedModule, TheValueCommandSetsTheBrightness) {
  g::ReceiveByte(0x43, true);
  EXPECT_EQ(g::CurrentPicture().brightness, 3);
  g::Sleep(0);
  EXPECT_EQ(ShownPictures.size(), 0u);  // nothing written yet: nothing to see
  g::ReceiveByte(0xFF, false);
  g::Sleep(0);
  g::ReceiveByte(0x4F, true);
  g::Sleep(0);
  EXPECT_EQ(ShownPictures.size(), 2u);  // now it is a visible change
}

TEST_F(EmulatedModule, ReportsProtocolErrorsOnceAtCloseWithoutFailingTheRun) {
  g::ReceiveByte(0x61, true);
  g::ReceiveByte(0x00, true);
  ::testing::internal::CaptureStderr();
  const bool closed = g::ShutdownWinIo();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(closed);
  EXPECT_EQ(err, "glowreel: the emulated display saw 2 protocol errors; the first: unknown command 0x61 (byte 1)\n");
}

}  // namespace
