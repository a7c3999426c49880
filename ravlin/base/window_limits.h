#pragma once

#include <cstdint>

// X rejects window sizes outside 1..32767, and X carries positions in 16
// bits; the layout never asks for a bar taller than that.
inline constexpr int32_t max_window_extent = 32767;
