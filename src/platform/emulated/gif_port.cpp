// gif:FILE — an animated GIF of the emulated module: one frame per picture
// it showed, each lasting as long as the picture stayed on the display.
//
// GIF delays are whole hundredths of a second and players stretch a delay
// under 2 to about 10, so frame ends are placed on the run's own clock,
// rounded to hundredths: a frame lasts from its start to the next frame's
// start, and a picture that would last under 2 hundredths is dropped in
// favour of the next, which takes over its start time. The last picture
// stays until close; if that is under 2 hundredths it takes the time from
// the frame before it. So the GIF lasts as long as the run did, from the
// first picture to the end, to the hundredth. Each frame holds only the
// rectangle that changed, drawn over the frames before it.
#include <gif_lib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/emulated/dots.h"
#include "platform/emulated/module.h"
#include "platform/emulated/ports.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace glowreel {

namespace {

constexpr int64_t ShortestDelay = 2;      // hundredths; shorter ones are stretched by players
constexpr int64_t LongestDelay = 0xFFFF;  // the field's limit

FILE* GifOutput;
GifFileType* Gif;
int GifFailure;
int64_t Frequency;
int64_t Origin;  // counter time of the first picture
// The picture on show, whose end is not known yet.
bool HavePending;
uint8_t PendingMemory[ModuleMemorySize];
int PendingBrightness;
int64_t PendingStart;  // hundredths after Origin
// The frame before it, held back so that the end can still move time
// between the two.
bool HaveReady;
uint8_t ReadyMemory[ModuleMemorySize];
int ReadyBrightness;
int64_t ReadyDelay;
uint8_t Pixels[ImageWidth * ImageHeight];
uint8_t Canvas[ImageWidth * ImageHeight];  // what a player shows after the frames so far
bool CanvasDrawn;

void NoteGifError(int code) {
  if (GifFailure != 0) return;
  switch (code) {
    case E_GIF_ERR_NOT_ENOUGH_MEM: GifFailure = ENOMEM; break;
    case E_GIF_ERR_DISK_IS_FULL: GifFailure = ENOSPC; break;
    default: GifFailure = EIO; break;
  }
}

bool Check(int result) {
  if (result == GIF_OK) return true;
  NoteGifError(Gif->Error);
  return false;
}

// Rounded hundredths of a second in ticks, without overflow for long runs.
int64_t Hundredths(int64_t ticks) {
  if (Frequency <= 0 || ticks <= 0) return 0;
  return ticks / Frequency * 100 + (ticks % Frequency * 100 + Frequency / 2) / Frequency;
}

bool WriteLoopExtension() {
  static const uint8_t Loop[3] = {1, 0, 0};  // sub-block 1, repeat forever
  return Check(EGifPutExtensionLeader(Gif, APPLICATION_EXT_FUNC_CODE)) &&
         Check(EGifPutExtensionBlock(Gif, 11, "NETSCAPE2.0")) && Check(EGifPutExtensionBlock(Gif, 3, Loop)) &&
         Check(EGifPutExtensionTrailer(Gif));
}

// Writes Pixels as the next frame, shown for delay hundredths.
void WriteFrame(int64_t delay) {
  // The rectangle that differs from what is on show; a frame that changes
  // nothing still needs one pixel.
  int left = ImageWidth, top = ImageHeight, right = 0, bottom = 0;
  for (int y = 0; y < ImageHeight; ++y)
    for (int x = 0; x < ImageWidth; ++x)
      if (!CanvasDrawn || Pixels[y * ImageWidth + x] != Canvas[y * ImageWidth + x]) {
        if (x < left) left = x;
        if (x >= right) right = x + 1;
        if (y < top) top = y;
        if (y >= bottom) bottom = y + 1;
      }
  if (right == 0) left = top = 0, right = bottom = 1;
  const uint8_t control[4] = {0x04,  // keep the frame in place for the next one to draw over
                              static_cast<uint8_t>(delay & 0xFF), static_cast<uint8_t>(delay >> 8), 0};
  if (!Check(EGifPutExtension(Gif, GRAPHICS_EXT_FUNC_CODE, 4, control))) return;
  if (!Check(EGifPutImageDesc(Gif, left, top, right - left, bottom - top, false, nullptr))) return;
  for (int y = top; y < bottom; ++y)
    if (!Check(EGifPutLine(Gif, Pixels + y * ImageWidth + left, right - left))) return;
  memcpy(Canvas, Pixels, sizeof Canvas);
  CanvasDrawn = true;
}

void WritePicture(const uint8_t* memory, int brightness, int64_t delay) {
  if (!Gif || GifFailure != 0) return;
  DrawDots({memory, brightness}, Pixels);
  do {
    const int64_t part = delay > LongestDelay ? LongestDelay : delay;
    WriteFrame(part);
    delay -= part;
  } while (delay > 0 && GifFailure == 0);
}

void ShowGif(const ModulePicture& picture, int64_t ticks) {
  if (!HavePending) {
    Origin = ticks;
    PendingStart = 0;
  } else {
    if (picture.brightness == PendingBrightness && memcmp(picture.memory, PendingMemory, sizeof PendingMemory) == 0)
      return;
    const int64_t end = Hundredths(ticks - Origin);
    if (end - PendingStart >= ShortestDelay) {
      if (HaveReady) WritePicture(ReadyMemory, ReadyBrightness, ReadyDelay);
      memcpy(ReadyMemory, PendingMemory, sizeof ReadyMemory);
      ReadyBrightness = PendingBrightness;
      ReadyDelay = end - PendingStart;
      HaveReady = true;
      PendingStart = end;
    }
  }
  memcpy(PendingMemory, picture.memory, sizeof PendingMemory);
  PendingBrightness = picture.brightness;
  HavePending = true;
}

const ModuleView GifView = {ShowGif};

// giflib writes through here, to a file opened as any other output file is
// (its own opener would make the file private to the user).
int WriteGifBytes(GifFileType*, const GifByteType* bytes, int length) {
  const size_t written = fwrite(bytes, 1, static_cast<size_t>(length), GifOutput);
  if (written != static_cast<size_t>(length) && GifFailure == 0) GifFailure = errno != 0 ? errno : EIO;
  return static_cast<int>(written);
}

bool OpenGif(const char* path) {
  GifFailure = 0;
  HavePending = false;
  HaveReady = false;
  CanvasDrawn = false;
  if (!QueryPerformanceFrequency(&Frequency)) Frequency = 0;
  GifOutput = fopen(path, "wb");
  if (!GifOutput) {
    fprintf(stderr, "glowreel: cannot create GIF file %s: %s\n", path, strerror(errno));
    return false;
  }
  int code = 0;
  Gif = EGifOpen(nullptr, WriteGifBytes, &code);
  if (!Gif) {
    fprintf(stderr, "glowreel: cannot write GIF file %s: %s\n", path, GifErrorString(code));
    fclose(GifOutput);
    return false;
  }
  EGifSetGifVersion(Gif, true);
  ColorMapObject* colours = GifMakeMapObject(PaletteSize, nullptr);
  bool ok = colours != nullptr;
  if (ok) {
    for (int i = 0; i < PaletteSize; ++i)
      colours->Colors[i] = {DotPalette[i].r, DotPalette[i].g, DotPalette[i].b};
    ok = Check(EGifPutScreenDesc(Gif, ImageWidth, ImageHeight, 8, BackgroundIndex, colours)) && WriteLoopExtension();
    GifFreeMapObject(colours);
  }
  if (!ok) {
    fprintf(stderr, "glowreel: cannot write GIF file %s: %s\n", path,
            strerror(GifFailure != 0 ? GifFailure : ENOMEM));
    EGifCloseFile(Gif, &code);
    fclose(GifOutput);
    Gif = nullptr;
    return false;
  }
  JoinModule(&GifView);
  return true;
}

int GifData(uint8_t value) { return FeedData(&GifView, value); }
int GifControl(uint8_t value) { return FeedControl(&GifView, value); }
void GifSleep(uint32_t) { FeedSleep(&GifView); }

int CloseGif() {
  FinishModule();
  if (!HavePending) {
    // Nothing was shown: the file still holds the display as it stands.
    const ModulePicture now = CurrentPicture();
    WritePicture(now.memory, now.brightness, 0);
  } else {
    int64_t now = Origin;
    QueryPerformanceCounter(&now);
    int64_t last = Hundredths(now - Origin) - PendingStart;
    if (last < ShortestDelay && HaveReady) {
      // Too short to show as it is: the frame before gives up the
      // difference, or the whole of its time when it cannot spare it.
      const int64_t both = ReadyDelay + last;
      HaveReady = both >= 2 * ShortestDelay;
      ReadyDelay = HaveReady ? both - ShortestDelay : 0;
      last = HaveReady ? ShortestDelay : both;
    }
    if (last < ShortestDelay) last = ShortestDelay;
    if (HaveReady) WritePicture(ReadyMemory, ReadyBrightness, ReadyDelay);
    WritePicture(PendingMemory, PendingBrightness, last);
  }
  int code = 0;
  if (EGifCloseFile(Gif, &code) != GIF_OK && GifFailure == 0) NoteGifError(code);
  Gif = nullptr;
  const int closeFailure = CloseOutputFile(GifOutput);
  if (GifFailure == 0) GifFailure = closeFailure;
  GifOutput = nullptr;
  LeaveModule(&GifView);
  return GifFailure;
}

}  // namespace

const PortKind GifPort = {"gif", PortArgument::Required, "gif:FILE", OpenGif, GifData, GifControl, GifSleep, CloseGif};

}  // namespace glowreel
