#pragma once

#include <X11/Xlib.h>

struct MenuState;
struct Settings;

// The whole life of one run; returns the exit status.
int run_menu(int argc, char** argv);

void grab_keyboard(Display* display);
// Clamps the value into 0..1 and stores it back, then sets the property.
void set_window_opacity(Display* display, Window window, double& opacity);
