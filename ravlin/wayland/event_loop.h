#pragma once

struct MenuState;
struct Settings;
struct WaylandClient;

// Waits on the connection, the key repeat timer, the pastes being read and
// a file name completion in flight, and nothing else, until the menu is
// finished or the connection is lost (which cancels the menu: status 1).
// The handlers the connection's events reach are installed beforehand.
void run_wayland_event_loop(WaylandClient& client, MenuState& m, const Settings& s);
