#pragma once

#include <X11/Xlib.h>

// The user's input method and the bar's context in it. The method is the
// one XMODIFIERS names (an input method daemon, for Chinese, Japanese or
// Korean); when that cannot be had, or the daemon goes away while the bar
// is up, Xlib's own method, which still composes accents.
struct InputMethod {
    Display* display = nullptr;
    Window window = None;
    XIM method = nullptr;
    XIC context = nullptr;
    long filter_events = 0;  // what the method asks the window to select
    bool lost = false;       // the daemon went away; reopen before the next key
};

// Opens the method and the context for window, gives the context focus and
// selects its filter events on window, beside base_mask. context stays null
// when even Xlib's own method cannot be opened.
void open_input_method(InputMethod& im, Display* display, Window window, long base_mask);
// After a lost daemon: opens Xlib's own method in its place.
void reopen_input_method(InputMethod& im, long base_mask);
void close_input_method(InputMethod& im);
