// The gif and png port kinds, read back with giflib and libpng: the frames
// the module showed, how long each stayed, the picture at the end, and
// output files that cannot be written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <regex>

#include "driver/player.h"
#include "emulated_support.h"
#include "platform/emulated/dots.h"

using namespace testing_support;
using namespace emulated_support;
namespace g = glowreel;

namespace {

class Recording : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    for (unsigned i = 0; i < 12; ++i) {
      pictures.push_back(RandomPicture(100 + i));
      WriteFile(Frame(i), FrameFile(pictures.back()));
    }
  }
  void TearDown() override { unsetenv("GLOWREEL_PORT"); }
  std::string Frame(unsigned i) { return dir + "/" + std::to_string(i) + ".bmp"; }
  // A script of the given frames, once, with the given delay.
  std::string Script(const std::vector<unsigned>& frames, int delay) {
    std::string script = "1\n" + std::to_string(delay) + "\n";
    for (unsigned i : frames) script += Frame(i) + "\n";
    WriteFile(dir + "/ani.txt", script);
    return dir + "/ani.txt";
  }
  // Plays a script in this process on the given port, on the fake clock.
  int PlayHere(const std::string& script, const std::string& port) {
    FakeClock clock;
    setenv("GLOWREEL_PORT", port.c_str(), 1);
    std::string name = "glowreel", path = script;
    char* argv[] = {name.data(), path.data(), nullptr};
    return g::RunPlayer(2, argv);
  }

  std::string dir;
  std::vector<Picture> pictures;
};

int Total(const GifFile& gif) {
  return std::accumulate(gif.frames.begin(), gif.frames.end(), 0, [](int sum, const GifFrame& f) { return sum + f.delay; });
}

TEST_F(Recording, GifFramesLastAsLongAsThePicturesStayed) {
  struct Case {
    const char* name;
    std::vector<unsigned> frames;
    int delay;
    std::vector<unsigned> shown;  // the pictures that get a frame
    std::vector<int> delays;
  } cases[] = {
      {"a frame per picture", {0, 1, 2}, 100, {0, 1, 2}, {10, 10, 10}},
      {"the same picture twice is one frame", {0, 0, 1}, 50, {0, 1}, {10, 5}},
      {"a picture shown again later is a frame again", {0, 1, 0}, 30, {0, 1, 0}, {3, 3, 3}},
      {"long delays are split at the field's limit", {0}, 700000, {0, 0}, {65535, 4465}},
      {"too short to show: dropped, the time kept", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 7, {2, 4, 9}, {2, 2, 3}},
      {"the last picture takes what the one before can spare", {0, 1, 2}, 13, {1, 2}, {2, 2}},
      {"the last picture takes all of the one before", {0, 1, 2, 3, 4}, 10, {1, 4}, {2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string gifPath = dir + "/run.gif";
    ASSERT_EQ(PlayHere(Script(c.frames, c.delay), "gif:" + gifPath), 0);
    const GifFile gif = ReadGif(gifPath);
    ASSERT_FALSE(gif.frames.empty());
    EXPECT_TRUE(gif.loops);
    EXPECT_EQ(gif.width, g::ImageWidth);
    EXPECT_EQ(gif.height, g::ImageHeight);
    // The run lasts from the first picture to the end of the last delay.
    const int run = static_cast<int>((c.frames.size() * c.delay + 5) / 10);
    EXPECT_EQ(Total(gif), run);
    for (const GifFrame& frame : gif.frames) EXPECT_GE(frame.delay, 2);
    EXPECT_TRUE(gif.frames.back().dots == pictures[c.frames.back()]);
    ASSERT_EQ(gif.frames.size(), c.shown.size());
    for (size_t i = 0; i < c.shown.size(); ++i) {
      EXPECT_TRUE(gif.frames[i].dots == pictures[c.shown[i]]) << "frame " << i;
      EXPECT_TRUE(gif.frames[i].pixels == Drawn(pictures[c.shown[i]])) << "frame " << i;
      EXPECT_EQ(gif.frames[i].delay, c.delays[i]) << "frame " << i;
    }
  }
}

TEST_F(Recording, AGifOfARunThatShowedNothingHoldsTheDarkDisplay) {
  const std::string gifPath = dir + "/empty.gif";
  ASSERT_EQ(PlayHere(Script({}, 10), "gif:" + gifPath), 0);
  const GifFile gif = ReadGif(gifPath);
  ASSERT_EQ(gif.frames.size(), 1u);
  EXPECT_TRUE(gif.frames[0].dots == Picture{});
}

// The built program, on the real clock, watched three ways at once: the
// trace keeps the exact wire, the GIF the pictures at the script's pace and
// the PNG the last one; the module is fed once however many views it has.
TEST_F(Recording, TraceGifAndPngTogether) {
  Script({0, 1, 2}, 100);
  const ProgramRun run = RunGlowreel(dir, {"ani.txt"}, "trace:t.txt+gif:run.gif+png:last.png");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(std::regex_match(run.out, std::regex("Repeat:1\nTime [0-9]+\nTotal frames shown 3, discarded frames 0")))
      << run.out;
  std::string wire = "open\n" + TraceLines(InitSequence());
  for (unsigned i : {0, 1, 2}) wire += TraceLines(Upload(PageImageOf(pictures[i]))) + "sleep 100\n";
  EXPECT_EQ(ReadFile(dir + "/t.txt"), wire + "close\n");

  const GifFile gif = ReadGif(dir + "/run.gif");
  ASSERT_EQ(gif.frames.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(gif.frames[i].dots == pictures[i]) << "frame " << i;
    // Sleeps last at least as long as asked; a loaded machine may add some.
    EXPECT_GE(gif.frames[i].delay, 9) << "frame " << i;
    EXPECT_LE(gif.frames[i].delay, 40) << "frame " << i;
  }
  const PngFile png = ReadPng(dir + "/last.png");
  EXPECT_EQ(png.width, g::ImageWidth);
  EXPECT_EQ(png.height, g::ImageHeight);
  EXPECT_TRUE(png.dots == pictures[2]);
}

TEST_F(Recording, AnOutputFileThatCannotBeWrittenFailsTheRun) {
  Script({0}, 0);
  struct Case {
    std::string port;
    bool beforePlayback;  // known at open: nothing is played
    std::string err;
  } cases[] = {
      {"gif:no/such/dir/run.gif", true, "glowreel: cannot create GIF file no/such/dir/run.gif: No such file or directory\n"},
      {"png:no/such/dir/last.png", true, "glowreel: cannot create PNG file no/such/dir/last.png: No such file or directory\n"},
      {"trace:t.txt+png:.", true, "glowreel: cannot create PNG file .: Is a directory\n"},
      {"gif:/dev/full", false, "glowreel: closing gif:/dev/full failed: No space left on device\n"},
      {"png:/dev/full", false, "glowreel: closing png:/dev/full failed: No space left on device\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    const ProgramRun run = RunGlowreel(dir, {"ani.txt"}, c.port);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out.empty(), c.beforePlayback) << run.out;
  }
}

}  // namespace
