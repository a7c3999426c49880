#include "ravlin/control/paste.h"

#include <X11/Xatom.h>

#include "ravlin/base/menu_state.h"
#include "ravlin/control/line_editing.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/render_bar.h"

void request_paste(MenuState& m, Atom selection)
{
    XConvertSelection(m.surface->display, selection, m.utf8_atom, m.utf8_atom, m.bar_window,
                      CurrentTime);
}

void handle_selection_notify(MenuState& m, const Settings& s, const XSelectionEvent& event)
{
    // Property None: no owner, or the owner refused the conversion.
    if (event.property != m.utf8_atom)
        return;
    Atom type;
    int format;
    unsigned long count, remaining;
    unsigned char* data = nullptr;
    // 257 units hold any line that could fit in the input, and one byte more.
    if (XGetWindowProperty(m.surface->display, m.bar_window, m.utf8_atom, 0, 257, False,
                           m.utf8_atom, &type, &format, &count, &remaining, &data) != Success)
        return;
    if (!data)
        return;
    // Xlib ends the data with a NUL of its own.
    paste_text(m, s, reinterpret_cast<const char*>(data));
    XFree(data);
    render_bar(m, s);
}
