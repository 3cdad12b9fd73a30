// The emulated port kinds, for the OS files' tables of port kinds.
#pragma once

#include "platform/port_kind.h"

namespace glowreel {

// The module drawn on the terminal, redrawn after each complete picture.
extern const PortKind ScreenPort;
// An animated GIF of every picture the module showed, for as long as it
// showed it.
extern const PortKind GifPort;
// The module's picture at the end, as a PNG.
extern const PortKind PngPort;

}  // namespace glowreel
