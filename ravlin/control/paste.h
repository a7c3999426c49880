#pragma once

#include <X11/Xlib.h>

struct MenuState;
struct Settings;

// Asks the owner of selection for its text as UTF8_STRING.
void request_paste(MenuState& m, Atom selection);
// Inserts the converted text when the owner delivered it.
void handle_selection_notify(MenuState& m, const Settings& s, const XSelectionEvent& event);
