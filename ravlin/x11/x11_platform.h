#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "ravlin/control/placement.h"
#include "ravlin/control/platform.h"
#include "ravlin/x11/input_method.h"

struct Surface;
struct XColorPair;
class SurfaceCanvas;

// What the X11 platform holds for one run, beside the menu's own state.
struct X11State {
    Surface* surface = nullptr;        // connection, GC, canvas pixmap, font
    SurfaceCanvas* canvas = nullptr;   // the menu's canvas on it
    std::vector<XColorPair*> colors;   // the pairs allocated, in order
    Atom clipboard_atom = None;
    Atom utf8_atom = None;
    MonitorRect monitor = {};          // the chosen monitor, for the shading window
    int32_t bar_x = 0, bar_y = 0;
    Window bar_window = None;
    Window shade_window = None;
    InputMethod input_method;          // its context looks the keys up
};

// What the bar window selects, beside what the input method filters.
inline constexpr long bar_events = ExposureMask | KeyPressMask | VisibilityChangeMask;

// The X11 platform: Xlib, Xinerama and Xft.
const Platform& x11_platform();
