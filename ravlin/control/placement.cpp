#include "ravlin/control/placement.h"

#include <algorithm>

namespace {

int64_t overlap(int32_t a_start, int32_t a_size, int32_t b_start, int32_t b_size)
{
    int64_t start = std::max<int64_t>(a_start, b_start);
    int64_t end = std::min<int64_t>(int64_t{a_start} + a_size, int64_t{b_start} + b_size);
    return std::max<int64_t>(end - start, 0);
}

int64_t intersection_area(const MonitorRect& a, const MonitorRect& b)
{
    return overlap(a.x, a.width, b.x, b.width) * overlap(a.y, a.height, b.y, b.height);
}

}  // namespace

int choose_monitor(const std::vector<MonitorRect>& monitors, const FocusInfo& focus)
{
    if (focus.focus_window) {
        int best = 0;
        int64_t best_area = 0;
        for (size_t i = 0; i < monitors.size(); ++i) {
            int64_t area = intersection_area(*focus.focus_window, monitors[i]);
            // Only a strictly larger area wins, so ties go to the earlier monitor.
            if (area > best_area) {
                best_area = area;
                best = static_cast<int>(i);
            }
        }
        if (best_area > 0)
            return best;
    }
    if (!focus.pointer)
        return 0;
    MonitorRect pixel{focus.pointer->x, focus.pointer->y, 1, 1};
    for (size_t i = 0; i < monitors.size(); ++i)
        if (intersection_area(pixel, monitors[i]) > 0)
            return static_cast<int>(i);
    // A pointer between the monitors: take the first rather than none.
    return 0;
}

BarPlacement place_bar(const MonitorRect& monitor, bool have_xinerama, bool bottom,
                       int32_t x_offset, int32_t y_offset, int32_t requested_width,
                       int32_t bar_height)
{
    // Offsets may be anything a 32-bit number holds; sums of them must not
    // wrap around into a position on the other side of the screen.
    int64_t x = int64_t{monitor.x} + x_offset;
    int64_t y;
    if (bottom)
        y = int64_t{monitor.y} + monitor.height - bar_height - y_offset;
    else
        y = have_xinerama ? int64_t{monitor.y} + y_offset : 0;
    BarPlacement placement;
    placement.x = clamp_window_position(x);
    placement.y = clamp_window_position(y);
    placement.width = requested_width != 0 ? requested_width : monitor.width;
    return placement;
}

int32_t clamp_window_position(int64_t position)
{
    return static_cast<int32_t>(std::clamp<int64_t>(position, -32768, 32767));
}

uint32_t clamp_window_extent(int64_t extent)
{
    return static_cast<uint32_t>(std::clamp<int64_t>(extent, 1, max_window_extent));
}
