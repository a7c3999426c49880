#include "ravlin/x11/event_loop.h"

#include <X11/Xlib.h>

#include "ravlin/base/menu_state.h"
#include "ravlin/control/file_completion.h"
#include "ravlin/drawing/canvas.h"
#include "ravlin/drawing/render_bar.h"
#include "ravlin/x11/keyboard.h"
#include "ravlin/x11/selection.h"
#include "ravlin/x11/surface.h"
#include "ravlin/x11/x11_platform.h"

void run_x11_event_loop(MenuState& m, const Settings& s, X11State& x)
{
    Display* display = x.surface->display;
    XEvent event;
    while (!m.finished) {
        // While a completion runs, keys go on being handled as they come.
        if (m.completion.child >= 0 && XPending(display) == 0) {
            if (wait_for_completion(m, ConnectionNumber(display)))
                render_bar(m, s);
            continue;
        }
        if (XNextEvent(display, &event))
            break;
        // Keys come to the grab's root window and are the bar's; anything
        // else (the input method's own messages) goes to the window named.
        bool key = event.type == KeyPress || event.type == KeyRelease;
        bool filtered = XFilterEvent(&event, key ? x.bar_window : None);
        // The daemon went away: the keys after it go through Xlib's method.
        if (x.input_method.lost)
            reopen_input_method(x.input_method, bar_events);
        if (filtered)
            continue;
        switch (event.type) {
        case KeyPress:
            handle_key_press(m, s, x, event.xkey);
            break;
        case Expose:
            if (event.xexpose.count == 0)
                m.canvas->present();
            break;
        case VisibilityNotify:
            if (event.xvisibility.state != VisibilityUnobscured)
                XRaiseWindow(display, x.bar_window);
            break;
        case SelectionNotify:
            handle_selection_notify(m, s, x, event.xselection);
            break;
        default:
            break;
        }
    }
}
