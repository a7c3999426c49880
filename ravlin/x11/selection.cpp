#include "ravlin/x11/selection.h"

#include <X11/Xatom.h>

#include "ravlin/control/paste.h"
#include "ravlin/x11/surface.h"
#include "ravlin/x11/x11_platform.h"

void request_selection(const X11State& x, Selection selection)
{
    Atom atom = selection == Selection::primary ? XA_PRIMARY : x.clipboard_atom;
    XConvertSelection(x.surface->display, atom, x.utf8_atom, x.utf8_atom, x.bar_window,
                      CurrentTime);
}

void handle_selection_notify(MenuState& m, const Settings& s, const X11State& x,
                             const XSelectionEvent& event)
{
    // Property None: no owner, or the owner refused the conversion.
    if (event.property != x.utf8_atom)
        return;
    Atom type;
    int format;
    unsigned long count, remaining;
    unsigned char* data = nullptr;
    // 257 units hold any line that could fit in the input, and one byte more.
    if (XGetWindowProperty(x.surface->display, x.bar_window, x.utf8_atom, 0, 257, False,
                           x.utf8_atom, &type, &format, &count, &remaining, &data) != Success)
        return;
    if (!data)
        return;
    receive_paste(m, s, reinterpret_cast<const char*>(data), count);
    XFree(data);
}
