#include "ravlin/x11/input_method.h"

#include <X11/Xatom.h>
#include <poll.h>

#include <chrono>
#include <cstring>
#include <string>

namespace {

// How long a daemon that holds its selection may take to answer before it
// is taken for hung: Xlib would wait for it forever, and the menu with it.
constexpr std::chrono::milliseconds answer_deadline{1000};

// The method named in the modifiers ("@im=fcitx" gives "fcitx"); empty for
// none or Xlib's own.
std::string named_method(const char* modifiers)
{
    const char* at = modifiers ? std::strstr(modifiers, "@im=") : nullptr;
    size_t length = at ? std::strcspn(at + 4, "@") : 0;
    bool own = (length == 4 && std::strncmp(at + 4, "none", 4) == 0) ||
               (length == 5 && std::strncmp(at + 4, "local", 5) == 0);
    return own || !at ? std::string() : std::string(at + 4, length);
}

Bool is_notify_for(Display*, XEvent* event, XPointer window)
{
    return event->type == SelectionNotify &&
           event->xselection.requestor == *reinterpret_cast<Window*>(window);
}

// True when the daemon owning the method's selection answers a question
// about its locales in time. A missing or dead daemon has no owner, and
// Xlib fails at once; a hung one would hold XOpenIM up for ever.
bool daemon_answers(Display* display, Window window, const std::string& name)
{
    std::string selection = "@server=";
    selection += name;
    Atom server = XInternAtom(display, selection.c_str(), True);
    if (server == None || XGetSelectionOwner(display, server) == None)
        return false;
    Atom locales = XInternAtom(display, "LOCALES", False);
    Atom property = XInternAtom(display, "_RAVLIN_IM_LOCALES", False);
    XConvertSelection(display, server, locales, property, window, CurrentTime);
    XFlush(display);
    auto deadline = std::chrono::steady_clock::now() + answer_deadline;
    XEvent event;
    for (;;) {
        if (XCheckIfEvent(display, &event, is_notify_for, reinterpret_cast<XPointer>(&window))) {
            XDeleteProperty(display, window, property);
            return event.xselection.property != None;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, static_cast<int>(left.count()));
    }
}

// Requests that Xlib made for a daemon that died in the meantime, such as
// a key forwarded to its window, fail with BadWindow before Xlib learns of
// the death; that is no reason to end the menu. The bar is the one window
// of the menu that the method uses.
XErrorHandler fatal_errors = nullptr;
Window bar_window = None;

int forgive_vanished_windows(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow && error->resourceid != bar_window)
        return 0;
    return fatal_errors(display, error);
}

void lose_method(XIM, XPointer data, XPointer)
{
    auto* im = reinterpret_cast<InputMethod*>(data);
    // Xlib has destroyed the method and its contexts already.
    im->method = nullptr;
    im->context = nullptr;
    im->lost = true;
}

// Opens the method the current modifiers name and a context in it, and
// selects what it filters.
bool open_with_modifiers(InputMethod& im, long base_mask)
{
    im.method = XOpenIM(im.display, nullptr, nullptr, nullptr);
    if (!im.method)
        return false;
    XIMCallback destroyed{reinterpret_cast<XPointer>(&im), lose_method};
    XSetIMValues(im.method, XNDestroyCallback, &destroyed, nullptr);
    im.context = XCreateIC(im.method, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                           XNClientWindow, im.window, XNFocusWindow, im.window, nullptr);
    if (!im.context) {
        XCloseIM(im.method);
        im.method = nullptr;
        return false;
    }
    im.filter_events = 0;
    XGetICValues(im.context, XNFilterEvents, &im.filter_events, nullptr);
    XSelectInput(im.display, im.window, base_mask | im.filter_events);
    // The bar holds the keyboard for as long as it is up.
    XSetICFocus(im.context);
    return true;
}

}  // namespace

void open_input_method(InputMethod& im, Display* display, Window window, long base_mask)
{
    im.display = display;
    im.window = window;
    const char* modifiers = XSetLocaleModifiers("");
    std::string name = named_method(modifiers);
    if (!name.empty() && !fatal_errors) {
        bar_window = window;
        fatal_errors = XSetErrorHandler(forgive_vanished_windows);
    }
    if ((name.empty() || daemon_answers(display, window, name)) &&
        open_with_modifiers(im, base_mask))
        return;
    reopen_input_method(im, base_mask);
}

void reopen_input_method(InputMethod& im, long base_mask)
{
    im.lost = false;
    XSetLocaleModifiers("@im=none");
    if (!open_with_modifiers(im, base_mask))
        XSelectInput(im.display, im.window, base_mask);
}

void close_input_method(InputMethod& im)
{
    if (im.context)
        XDestroyIC(im.context);
    if (im.method)
        XCloseIM(im.method);
    im.context = nullptr;
    im.method = nullptr;
}
