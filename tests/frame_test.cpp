// Frame files: the conversion into the page layout, and reading files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <random>

#include "frame/frame.h"
#include "support/support.h"

using namespace testing_support;
namespace g = glowreel;

namespace {

void LoadPixels(uint8_t fill) {
  memset(g::FrameFileBuffer, 0, sizeof g::FrameFileBuffer);
  memset(g::FrameFileBuffer + 62, fill, 1024);
}

bool Lit(int x, int y) { return (g::PageImage[128 * (y / 8) + x] >> (y % 8)) & 1; }

TEST(ExtractBits, TakesTheFieldBelowItsHighestBit) {
  EXPECT_EQ(g::ExtractBits(0x80, 7, 1), 1);
  EXPECT_EQ(g::ExtractBits(0x80, 6, 1), 0);
  EXPECT_EQ(g::ExtractBits(0xB4, 5, 3), 0x6);  // 1011 0100: bits 5..3 are 110
  EXPECT_EQ(g::ExtractBits(0xFF, 3, 4), 0xF);
}

TEST(ConvertFrame, KnownBytesLandWhereTheLayoutSays) {
  struct Case {
    const char* name;
    uint8_t fill;
    int offset;  // -1: no single byte set
    uint8_t value;
    int pageByte;  // the one byte that differs from the rest
    uint8_t expected, rest;
  } cases[] = {
      {"all pixel bits 0 light everything", 0x00, -1, 0, 0, 0xFF, 0xFF},
      {"all pixel bits 1 light nothing", 0xFF, -1, 0, 0, 0x00, 0x00},
      {"top-left pixel (last stored row)", 0x00, 1070, 0x80, 0, 0xFE, 0xFF},
      {"bottom-left pixel (first stored row)", 0x00, 62, 0x80, 896, 0x7F, 0xFF},
      {"x = 7 on the bottom row", 0x00, 62, 0x01, 903, 0x7F, 0xFF},
  };
  for (const Case& c : cases) {
    LoadPixels(c.fill);
    if (c.offset >= 0) g::FrameFileBuffer[c.offset] = c.value;
    g::ConvertFrame();
    for (int i = 0; i < 1024; ++i)
      ASSERT_EQ(g::PageImage[i], i == c.pageByte ? c.expected : c.rest) << c.name << ", page byte " << i;
  }
}

TEST(ConvertFrame, EveryPixelMapsByThePixelFormulaAndTheHeaderIsIgnored) {
  std::mt19937 random(1);
  for (uint8_t& b : g::FrameFileBuffer) b = static_cast<uint8_t>(random());
  g::ConvertFrame();
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) {
      const int fileBit = g::ExtractBits(g::FrameFileBuffer[62 + 16 * (63 - y) + x / 8], 7 - x % 8, 1);
      ASSERT_EQ(Lit(x, y), fileBit == 0) << "x " << x << " y " << y;
    }
  uint8_t before[1024];
  memcpy(before, g::PageImage, sizeof before);
  for (int i = 0; i < 62; ++i) g::FrameFileBuffer[i] = static_cast<uint8_t>(random());
  g::ConvertFrame();
  EXPECT_EQ(memcmp(before, g::PageImage, sizeof before), 0);
}

// Frames made by real image tools: a dark circle on the left and a dark box
// at the top right of a white picture. ffmpeg stores black as bit 0 (lit);
// ImageMagick made white bit 0 for this picture, so it shows the negative.
TEST(ConvertFrame, FramesFromImageToolsComeOutTheRightWayUp) {
  struct Case {
    const char* file;
    bool shapesLit;
  } cases[] = {{"ffmpeg.bmp", true}, {"imagemagick.bmp", false}};
  for (const Case& c : cases) {
    const std::string bytes = ReadFile(std::string(FIXTURE_DIR) + "/" + c.file);
    ASSERT_EQ(bytes.size(), 1086u) << c.file;
    memcpy(g::FrameFileBuffer, bytes.data(), 1086);
    g::ConvertFrame();
    struct Probe {
      int x, y;
      bool inShape;
    } probes[] = {{24, 32, true}, {108, 9, true},  {64, 32, false}, {108, 54, false},
                  {20, 60, false}, {0, 0, false}, {120, 5, true}};
    for (const Probe& p : probes)
      EXPECT_EQ(Lit(p.x, p.y), p.inShape == c.shapesLit) << c.file << " at " << p.x << "," << p.y;
  }
}

class ShowFrameFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    OpenRecordingPort();
    g::ComputeLineLevels();
    memset(g::FrameFileBuffer, 0, sizeof g::FrameFileBuffer);
  }
  std::string dir;
};

TEST_F(ShowFrameFile, ShortFileKeepsThePreviousFramesTailAndLongFileUsesItsStart) {
  const Picture checker = PictureOf([](int x, int y) { return (x + y) % 2 == 0; });
  const Picture allLit = PictureOf([](int, int) { return true; });
  const std::vector<uint8_t> full = FrameFile(checker);
  std::vector<uint8_t> shortFile = FrameFile(allLit);
  shortFile.resize(62 + 16 * 10);  // the bottom 10 rows only
  std::vector<uint8_t> longFile = FrameFile(allLit);
  longFile.resize(5000, 0xFF);
  WriteFile(dir + "/full.bmp", full);
  WriteFile(dir + "/short.bmp", shortFile);
  WriteFile(dir + "/long.bmp", longFile);

  ASSERT_TRUE(g::ShowFrameFile((dir + "/full.bmp").c_str()));
  EXPECT_EQ(Recorded, Upload(PageImageOf(checker)));

  OpenRecordingPort();
  ASSERT_TRUE(g::ShowFrameFile((dir + "/short.bmp").c_str()));
  const Picture mixed = PictureOf([&](int x, int y) { return y >= 54 ? true : checker[y][x]; });
  EXPECT_EQ(Recorded, Upload(PageImageOf(mixed)));

  OpenRecordingPort();
  ASSERT_TRUE(g::ShowFrameFile((dir + "/long.bmp").c_str()));
  EXPECT_EQ(Recorded, Upload(PageImageOf(allLit)));
}

TEST_F(ShowFrameFile, SendsNothingForWhatIsNotARegularFile) {
  mkdir((dir + "/sub").c_str(), 0755);
  mkfifo((dir + "/fifo").c_str(), 0644);
  for (const std::string& name : {dir + "/missing.bmp", dir + "/sub", dir + "/fifo", std::string("/dev/zero")}) {
    EXPECT_FALSE(g::ShowFrameFile(name.c_str())) << name;
    EXPECT_TRUE(Recorded.empty()) << name;
  }
}

}  // namespace
