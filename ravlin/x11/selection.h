#pragma once

#include <X11/Xlib.h>

#include "ravlin/control/platform.h"

struct MenuState;
struct Settings;
struct X11State;

// Asks the owner of the selection for its text as UTF8_STRING, delivered
// to the bar window.
void request_selection(const X11State& x, Selection selection);
// Reads what the owner converted and pastes it; a refused conversion or a
// failed read pastes nothing.
void handle_selection_notify(MenuState& m, const Settings& s, const X11State& x,
                             const XSelectionEvent& event);
