#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ravlin/base/window_limits.h"

struct MonitorRect {
    int32_t x, y, width, height;
};

struct Point {
    int32_t x, y;
};

// What choose_monitor knows about the focus and the pointer.
struct FocusInfo {
    // The focus window's top-level rectangle; empty when there is no usable
    // focus (None, PointerRoot, the root, or a failed query).
    std::optional<MonitorRect> focus_window;
    // The pointer on the root window; empty when it is on another screen.
    std::optional<Point> pointer;
};

// Index of the monitor to use: the one holding most of the focus window,
// else the one under the pointer, else the first.
int choose_monitor(const std::vector<MonitorRect>& monitors, const FocusInfo& focus);

struct BarPlacement {
    int32_t x, y, width;
};

// Where the bar goes on the chosen monitor. Without Xinerama the monitor is
// the whole screen and -y counts only with -b.
BarPlacement place_bar(const MonitorRect& monitor, bool have_xinerama, bool bottom,
                       int32_t x_offset, int32_t y_offset, int32_t requested_width,
                       int32_t bar_height);

// Keeps what is asked but hands X a window size it accepts.
uint32_t clamp_window_extent(int64_t extent);

// X carries window positions in 16 bits; a position beyond them is held at
// the nearest one it can carry rather than cut to some other place.
int32_t clamp_window_position(int64_t position);
