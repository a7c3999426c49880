#pragma once

struct MenuState;
struct Settings;
struct X11State;

// Handles X events (and a file name completion in flight) until the menu
// is finished or the connection is lost.
void run_x11_event_loop(MenuState& m, const Settings& s, X11State& x);
