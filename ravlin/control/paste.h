#pragma once

#include <X11/Xlib.h>

struct MenuState;
struct Settings;

// A paste is in flight from request_paste until its SelectionNotify; nothing
// records it, and several may be outstanding.

// Asks the owner of selection (PRIMARY or CLIPBOARD) for its text as
// UTF8_STRING, delivered to the bar window.
void request_paste(MenuState& m, Atom selection);
// Inserts the first line of the converted text at the cursor and redraws;
// a refused conversion or a failed read inserts nothing.
void handle_selection_notify(MenuState& m, const Settings& s, const XSelectionEvent& event);
