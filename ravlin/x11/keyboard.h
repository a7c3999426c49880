#pragma once

#include <X11/Xlib.h>

struct MenuState;
struct Settings;
struct X11State;

// Grabs the keyboard for the root window, retrying for about a second
// while another client holds it, or fails with "cannot grab keyboard".
void grab_keyboard(Display* display);

// Looks the key up through the input context (or without one) and hands
// it to the menu's key handling.
void handle_key_press(MenuState& m, const Settings& s, const X11State& x, XKeyEvent& event);
