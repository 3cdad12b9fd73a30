// The platform layer: everything the player needs from the machine, with the
// meanings the layers above expect. Nothing above this layer includes an OS
// header; each OS supplies its own implementation of these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace glowreel {

// The parallel port's registers as the layers above address them. The port
// layer maps them onto whatever port it drives; no other address reaches
// hardware.
constexpr uint16_t DataRegisterPort = 0x378;
constexpr uint16_t ControlRegisterPort = 0x37A;

// Longest path, in bytes, that the platform can open. A longer script line
// cannot name a file.
extern const size_t MaxPathLength;

// Opens port access as chosen by GLOWREEL_PORT. On failure it has already
// said why on stderr (one line) and returns false.
bool InitializeWinIo();

// The exit status after InitializeWinIo failed: 2 when GLOWREEL_PORT was not
// understood, 1 when the port could not be opened.
int PortFailureStatus();

// Closes port access. Returns false, after saying why on stderr, when a port
// write or the close itself failed during the run.
bool ShutdownWinIo();

// Writes the low 8 bits of value to a register; size is the access width in
// bytes and must be 1. Writes to any port but the two registers are dropped.
bool SetPortVal(uint16_t port, uint32_t value, uint8_t size);

// The high-resolution counter: ticks per second and the current tick count.
// Each returns false when the value cannot be read.
bool QueryPerformanceFrequency(int64_t* frequency);
bool QueryPerformanceCounter(int64_t* count);

// Blocks for at least the given number of milliseconds.
void Sleep(uint32_t milliseconds);

// Opens name with the C mode string only if it is a regular file, so that a
// directory, FIFO or device is never read as a frame. Null otherwise.
FILE* OpenRegularFile(const char* name, const char* mode);

// Sets up the standard streams so that a failed write is an error status
// rather than a killed process (a closed pipe).
void PrepareStandardStreams();

}  // namespace glowreel
