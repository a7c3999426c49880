#pragma once

#include <cstdint>

// A colour as the platform allocated it. Only the platform that made it
// knows what the number means (an index, a pixel, a premultiplied ARGB).
using Color = uint32_t;

// A foreground/background pair, made by the platform from two names.
struct ColorPair {
    Color fg;
    Color bg;
};
