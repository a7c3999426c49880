#include "ravlin/x11/keyboard.h"

#include <X11/Xutil.h>
#include <unistd.h>

#include <string>

#include "ravlin/base/fail.h"
#include "ravlin/control/key_bindings.h"
#include "ravlin/x11/x11_platform.h"

void grab_keyboard(Display* display)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (XGrabKeyboard(display, DefaultRootWindow(display), True, GrabModeAsync, GrabModeAsync,
                          CurrentTime) == GrabSuccess)
            return;
        usleep(1000);
    }
    fail("cannot grab keyboard\n");
}

void handle_key_press(MenuState& m, const Settings& s, const X11State& x, XKeyEvent& event)
{
    char key_text[32];
    KeySym keysym = NoSymbol;
    Status status = 0;
    XIC context = x.input_method.context;
    int length = context ? XmbLookupString(context, &event, key_text, sizeof key_text, &keysym,
                                           &status)
                         : XLookupString(&event, key_text, sizeof key_text, &keysym, nullptr);
    // An input method commits whole phrases at once, often more than the
    // buffer holds; Xlib keeps the text for a second lookup with room.
    std::string phrase;
    const char* text = key_text;
    if (status == XBufferOverflow && length > 0) {
        phrase.resize(static_cast<size_t>(length));
        length = XmbLookupString(context, &event, phrase.data(), length, &keysym, &status);
        text = phrase.data();
    }
    if (status == XBufferOverflow)
        return;
    handle_key(m, s, {static_cast<KeySymbol>(keysym), event.state, text, length});
}
