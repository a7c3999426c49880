#include "ravlin/control/key_bindings.h"

#include <X11/keysym.h>

#include "ravlin/control/menu_state.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/render_bar.h"

KeyOutcome dispatch_key(MenuState& m, const Settings&, KeySym keysym, unsigned int,
                        const char*, int32_t)
{
    if (keysym == XK_Escape) {
        m.exit_status = 1;
        m.finished = true;
        return KeyOutcome::finished;
    }
    return KeyOutcome::redraw;
}

void handle_key_press(MenuState& m, const Settings& s, XKeyEvent& event)
{
    char key_text[32];
    KeySym keysym = NoSymbol;
    Status status = 0;
    int length = m.input_context
                     ? XmbLookupString(m.input_context, &event, key_text, sizeof key_text, &keysym, &status)
                     : XLookupString(&event, key_text, sizeof key_text, &keysym, nullptr);
    if (status == XBufferOverflow)
        return;
    if (dispatch_key(m, s, keysym, event.state, key_text, length) == KeyOutcome::redraw)
        render_bar(m, s);
}
