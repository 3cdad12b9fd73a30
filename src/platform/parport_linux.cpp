// Real parallel ports on Linux, and the table of port kinds this build offers.
//   ppdev:DEVICE  the kernel's ppdev driver (preferred: no root needed)
//   direct[:0xBASE]  raw register access with ioperm (x86, root)
// Either way the data register is the port's base and the control register
// base + 2; the value written is the one the display link chose, unchanged.
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>
#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define GLOWREEL_HAVE_IOPERM 1
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/emulated/ports.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace glowreel {

namespace {

// The likely fix for a failed open, by cause.
const char* Hint(int cause) {
  switch (cause) {
    case EACCES: return " (add your user to the device's group, usually lp, then log in again)";
    case EBUSY: return " (another driver such as lp holds the port: rmmod lp)";
    case ENOENT:
    case ENODEV:
    case ENXIO: return " (load the ppdev and parport_pc modules, or check the card)";
    case ENOTTY: return " (not a parallel port device)";
    case EPERM: return " (run as root or grant CAP_SYS_RAWIO)";
    default: return "";
  }
}

void ReportOpenFailure(const char* what, const char* port, int cause) {
  fprintf(stderr, "glowreel: cannot open %s %s: %s%s\n", what, port, strerror(cause), Hint(cause));
}

int PpdevFile = -1;

bool OpenPpdev(const char* device) {
  PpdevFile = open(device, O_RDWR | O_CLOEXEC);
  if (PpdevFile < 0) {
    ReportOpenFailure("parallel port", device, errno);
    return false;
  }
  // Exclusive where the kernel allows it, so no other driver shares the
  // lines mid-frame; a refusal of exclusivity alone is not fatal.
  ioctl(PpdevFile, PPEXCL);
  if (ioctl(PpdevFile, PPCLAIM) != 0) {
    ReportOpenFailure("parallel port", device, errno);
    close(PpdevFile);
    PpdevFile = -1;
    return false;
  }
  return true;
}

int PpdevWrite(unsigned long request, uint8_t value) {
  unsigned char byte = value;
  return ioctl(PpdevFile, request, &byte) == 0 ? 0 : errno;
}

int PpdevData(uint8_t value) { return PpdevWrite(PPWDATA, value); }
int PpdevControl(uint8_t value) { return PpdevWrite(PPWCONTROL, value); }

int ClosePpdev() {
  int failure = ioctl(PpdevFile, PPRELEASE) == 0 ? 0 : errno;
  if (close(PpdevFile) != 0 && failure == 0) failure = errno;
  PpdevFile = -1;
  return failure;
}

uint16_t DirectBase = 0x378;

bool OpenDirect(const char* argument) {
  DirectBase = 0x378;
  if (*argument) {
    char* end = nullptr;
    errno = 0;
    const unsigned long base = strtoul(argument, &end, 16);
    if (errno != 0 || *end != '\0' || base == 0 || base > 0xFFFD) {
      fprintf(stderr, "glowreel: direct:%s is not a port address; use direct:0xBASE, e.g. direct:0x378\n",
              argument);
      return false;
    }
    DirectBase = static_cast<uint16_t>(base);
  }
  char port[16];
  snprintf(port, sizeof port, "0x%x", DirectBase);
#ifdef GLOWREEL_HAVE_IOPERM
  // Only the data, status and control registers.
  if (ioperm(DirectBase, 3, 1) != 0) {
    ReportOpenFailure("I/O ports at", port, errno);
    return false;
  }
  // A setuid-root install needs root only for ioperm; give it up now.
  if (geteuid() == 0 && getuid() != 0) {
    if (setgid(getgid()) != 0 || setuid(getuid()) != 0) {
      fprintf(stderr, "glowreel: cannot give up root after opening %s: %s\n", port, strerror(errno));
      return false;
    }
  }
  return true;
#else
  fprintf(stderr, "glowreel: cannot open I/O ports at %s: direct access needs an x86 machine; use ppdev\n", port);
  return false;
#endif
}

#ifdef GLOWREEL_HAVE_IOPERM
int DirectData(uint8_t value) {
  outb(value, DirectBase);
  return 0;
}
int DirectControl(uint8_t value) {
  outb(value, static_cast<uint16_t>(DirectBase + 2));
  return 0;
}
int CloseDirect() { return ioperm(DirectBase, 3, 0) == 0 ? 0 : errno; }
#else
int DirectData(uint8_t) { return ENOSYS; }
int DirectControl(uint8_t) { return ENOSYS; }
int CloseDirect() { return 0; }
#endif

const PortKind PpdevPort = {"ppdev", PortArgument::Required, "ppdev:DEVICE", OpenPpdev, PpdevData, PpdevControl,
                            nullptr, ClosePpdev};
const PortKind DirectPort = {"direct", PortArgument::Optional, "direct[:0xBASE]", OpenDirect, DirectData,
                             DirectControl, nullptr, CloseDirect};

}  // namespace

const PortKind* const PortKinds[] = {&PpdevPort, &DirectPort, &TracePort, &NonePort, &ScreenPort, &GifPort, &PngPort};
const size_t PortKindCount = sizeof PortKinds / sizeof PortKinds[0];
const PortKind* const DevicePathKind = &PpdevPort;

const char* DefaultPortSetting() {
  // A port that is there but cannot be opened is still reported as an error;
  // only a machine without one falls back to the emulated display.
  if (access("/dev/parport0", F_OK) == 0) return "ppdev:/dev/parport0";
  fprintf(stderr,
          "glowreel: no parallel port found at /dev/parport0, so the display is emulated on the terminal; "
          "choose a port with GLOWREEL_PORT, e.g. ppdev:/dev/parport1, gif:FILE or none\n");
  return "screen";
}

}  // namespace glowreel
