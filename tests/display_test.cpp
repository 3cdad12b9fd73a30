// The display link: pin rule, write cycle, command encodings, initialisation,
// page upload and the busy-wait, observed through a recording port and a
// fake counter.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>

#include "display/display.h"
#include "platform/platform.h"
#include "platform/port_kind.h"
#include "support/support.h"

using namespace testing_support;
namespace g = glowreel;

namespace {

// A counter that advances one tick per read at a chosen frequency.
int64_t FakeFrequency;
int64_t FakeTicks;
int CounterReads;
bool FrequencyReadable;
bool CounterReadable;
bool FakeFrequencyOf(int64_t* f) {
  *f = FakeFrequency;
  return FrequencyReadable;
}
bool FakeCounter(int64_t* c) {
  ++CounterReads;
  *c = FakeTicks++;
  return CounterReadable;
}
void FakeSleep(uint32_t) {}
const g::ClockSource FakeClock = {FakeFrequencyOf, FakeCounter, FakeSleep};

class DisplayLink : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeFrequency = 1000000;
    FakeTicks = 0;
    CounterReads = 0;
    FrequencyReadable = CounterReadable = true;
    g::UseClockSource(&FakeClock);
    OpenRecordingPort();
    g::ComputeLineLevels();
  }
  void TearDown() override { g::UseClockSource(nullptr); }
};

TEST(PinRule, GivesEachPinItsControlBitsAndNothingForOthers) {
  struct Case {
    int pin;
    uint8_t high, low;
  } cases[] = {{1, 0x00, 0x01}, {14, 0x00, 0x02}, {16, 0x04, 0x00}, {17, 0x00, 0x08},
               {0, 0, 0},       {2, 0, 0},        {15, 0, 0},       {-1, 0, 0}};
  for (const Case& c : cases) {
    const g::LineLevel levels = g::LevelsForPin(c.pin);
    EXPECT_EQ(levels.high, c.high) << "pin " << c.pin;
    EXPECT_EQ(levels.low, c.low) << "pin " << c.pin;
  }
}

TEST_F(DisplayLink, WriteCycleMatchesTheWireForCommandAndDataBytes) {
  g::WriteCommandByte(0x60);
  g::WriteDataByte(0xA5);
  const Wire expected = {{0x37A, 0x01}, {0x378, 0x60}, {0x37A, 0x00},
                         {0x37A, 0x09}, {0x378, 0xA5}, {0x37A, 0x08}};
  EXPECT_EQ(Recorded, expected);
}

TEST_F(DisplayLink, CommandEncodings) {
  struct Case {
    const char* name;
    std::function<void()> send;
    Wire expected;
  } cases[] = {
      {"page 3", [] { g::SelectPage(3); }, Commands({0x60, 0x03})},
      {"column 0", [] { g::SelectColumn(0); }, Commands({0x64, 0x00})},
      {"flag 1,0", [] { g::SendFlagCommand(1, 0); }, Commands({0x84})},
      {"flag 0,1", [] { g::SendFlagCommand(0, 1); }, Commands({0x82})},
      {"flag 1,1", [] { g::SendFlagCommand(1, 1); }, Commands({0x86})},
      {"flag low byte zero", [] { g::SendFlagCommand(0x100, 0); }, Commands({0x80})},
      {"value 15", [] { g::SendValueCommand(15); }, Commands({0x4F})},
      {"value -1 wraps", [] { g::SendValueCommand(-1); }, Commands({0x3F})},
      {"mode m1", [] { g::SendModeCommand(1, 0, 0, 0, 0, 0, 0, 0); }, Commands({0x28, 0x00})},
      {"mode m8", [] { g::SendModeCommand(0, 0, 0, 0, 0, 0, 0, 1); }, Commands({0x20, 0x04})},
      {"mode of the driver", [] { g::SendModeCommand(1, 1, 0, 1, 0, 0, 0, 0); }, Commands({0x2C, 0x40})},
      {"mode all set", [] { g::SendModeCommand(1, 1, 1, 1, 1, 1, 1, 1); }, Commands({0x2C, 0xFC})},
      {"0x5F", [] { g::SendCommand5F(); }, Commands({0x5F})},
  };
  for (const Case& c : cases) {
    OpenRecordingPort();
    c.send();
    EXPECT_EQ(Recorded, c.expected) << c.name;
  }
}

// Records each byte put on the data lines with the counter at that moment.
std::vector<std::pair<uint8_t, int64_t>> Stamped;
bool StampOpen(const char*) {
  Stamped.clear();
  return true;
}
int StampData(uint8_t v) {
  Stamped.push_back({v, FakeTicks});
  return 0;
}
int StampControl(uint8_t) { return 0; }
int StampClose() { return 0; }
const g::PortKind StampPort = {"stamp", g::PortArgument::None, "stamp", StampOpen, StampData, StampControl,
                               nullptr, StampClose};

TEST_F(DisplayLink, InitialisationIs35ByteCyclesWithThreeMillisecondWaits) {
  g::InitDisplay();
  g::SendModeCommand(1, 1, 0, 1, 0, 0, 0, 0);
  EXPECT_EQ(Recorded, InitSequence());
  EXPECT_EQ(Recorded.size(), 35u * 3);

  // On a 1 MHz counter, the waits show as gaps of 1000 ticks after 0x4F and
  // 2000 after 0x5F (its own wait and the settling wait).
  ASSERT_TRUE(g::OpenPortKind(&StampPort, ""));
  FakeTicks = 0;
  g::InitDisplay();
  g::SendModeCommand(1, 1, 0, 1, 0, 0, 0, 0);
  ASSERT_EQ(Stamped.size(), 35u);
  for (size_t i = 1; i < Stamped.size(); ++i) {
    const int64_t gap = Stamped[i].second - Stamped[i - 1].second;
    const uint8_t before = Stamped[i - 1].first;
    const int64_t expected = before == 0x4F ? 1000 : before == 0x5F ? 2000 : 0;
    EXPECT_GE(gap, expected) << "after byte " << i - 1;
    EXPECT_LE(gap, expected + 3) << "after byte " << i - 1;
  }
}

TEST_F(DisplayLink, UploadSendsEveryPageFromColumnZero) {
  std::mt19937 random(7);
  std::vector<uint8_t> image(1024);
  for (uint8_t& b : image) b = static_cast<uint8_t>(random());
  g::UploadPageImage(image.data());
  EXPECT_EQ(Recorded, Upload(image));
  EXPECT_EQ(Recorded.size(), 8u * (4 + 128) * 3);
}

TEST_F(DisplayLink, DelayIsNeverShorterThanAskedWhateverTheFrequency) {
  for (int64_t frequency : {INT64_C(1000000), INT64_C(3579545), INT64_C(14318180), INT64_C(999999),
                            INT64_C(32768), INT64_C(1000000000)}) {
    FakeFrequency = frequency;
    FakeTicks = 0;
    g::DelayMicroseconds(1000);
    const int64_t elapsed = FakeTicks - 1;  // the ticks between the start read and the last read
    const double lasted = static_cast<double>(elapsed) * 1e6 / static_cast<double>(frequency);
    EXPECT_GE(lasted, 1000.0) << frequency;
    EXPECT_LT(lasted, 1000.0 + 2e6 / static_cast<double>(frequency)) << frequency;
  }
}

TEST_F(DisplayLink, DelayReturnsAfterOneReadWhenNothingIsToWait) {
  struct Case {
    const char* name;
    int32_t us;
    bool frequencyReadable, counterReadable;
    int reads;
  } cases[] = {{"zero", 0, true, true, 2},
               {"negative", -5, true, true, 2},
               {"frequency unreadable", 1000, false, true, 2},
               {"counter unreadable", 1000, true, false, 1}};
  for (const Case& c : cases) {
    FrequencyReadable = c.frequencyReadable;
    CounterReadable = c.counterReadable;
    CounterReads = 0;
    g::DelayMicroseconds(c.us);
    EXPECT_EQ(CounterReads, c.reads) << c.name;
  }
}

TEST(CounterArithmetic, IsExactWithoutOverflow) {
  auto exactMicroseconds = [](int64_t ticks, int64_t f) {
    return static_cast<int64_t>(static_cast<__int128>(ticks) * 1000000 / f);
  };
  auto exactTicks = [](int64_t us, int64_t f) {
    const __int128 product = static_cast<__int128>(us) * f;
    return static_cast<int64_t>((product + 999999) / 1000000);
  };
  const int64_t tenYears = INT64_C(10) * 365 * 24 * 3600;
  for (int64_t f : {INT64_C(1000000), INT64_C(3579545), INT64_C(10000000), INT64_C(1000000000),
                    INT64_C(2999999999)}) {
    for (int64_t ticks : {INT64_C(0), INT64_C(1), f - 1, f, f * 7 + 3, tenYears * f}) {
      EXPECT_EQ(g::MicrosecondsForTicks(ticks, f), exactMicroseconds(ticks, f)) << ticks << " at " << f;
    }
    for (int64_t us : {INT64_C(1), INT64_C(999), INT64_C(1000), INT64_C(1000001), int64_t{INT32_MAX}})
      EXPECT_EQ(g::TicksForMicroseconds(us, f), exactTicks(us, f)) << us << " at " << f;
  }
  EXPECT_EQ(g::MicrosecondsForTicks(12345, 0), 0);
  EXPECT_EQ(g::TicksForMicroseconds(1000, 0), 0);
}

}  // namespace

namespace {

TEST(PortLayer, OnlyTheTwoRegistersReachThePort) {
  OpenRecordingPort();
  EXPECT_FALSE(glowreel::SetPortVal(0x379, 0x55, 1));  // status register
  EXPECT_FALSE(glowreel::SetPortVal(0x278, 0x55, 1));
  EXPECT_FALSE(glowreel::SetPortVal(0x378, 0x55, 2));  // only byte writes
  EXPECT_TRUE(Recorded.empty());
  EXPECT_TRUE(glowreel::SetPortVal(0x37A, 0x1FF, 1));  // the low 8 bits
  EXPECT_EQ(Recorded, (Wire{{0x37A, 0xFF}}));
}

}  // namespace
