#pragma once

#include <X11/Xlib.h>

struct MenuState;
struct MonitorRect;
struct Settings;
struct X11State;

// Chooses the monitor (Xinerama's -s, else the focus window's or the
// pointer's; the whole screen without Xinerama) and the bar's place on it.
// Sets m.bar_width, and the monitor and the bar's corner in x.
void place_on_monitor(MenuState& m, const Settings& s, X11State& x);

// An override-redirect window of that rectangle and background with the
// class hints; its events are the bar's.
Window create_window(Display* display, const MonitorRect& rect, unsigned long background,
                     const char* instance, const char* class_name);

// Clamps the value into 0..1 and stores it back, then sets the property.
void set_window_opacity(Display* display, Window window, double& opacity);
