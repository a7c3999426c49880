#include "ravlin/x11/windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>

#include <cmath>
#include <optional>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/control/placement.h"
#include "ravlin/x11/surface.h"
#include "ravlin/x11/x11_platform.h"

namespace {

// The focus window's top-level rectangle, or nothing when the focus gives
// no usable hint.
std::optional<MonitorRect> focus_top_level(Display* display)
{
    Window root = DefaultRootWindow(display);
    Window focus;
    int revert;
    XGetInputFocus(display, &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == root)
        return std::nullopt;
    Window window = focus;
    for (;;) {
        Window query_root, parent, *children = nullptr;
        unsigned int child_count;
        if (!XQueryTree(display, window, &query_root, &parent, &children, &child_count))
            break;
        if (children)
            XFree(children);
        if (parent == root)
            break;
        window = parent;
    }
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return std::nullopt;
    return MonitorRect{attributes.x, attributes.y, attributes.width, attributes.height};
}

std::optional<Point> pointer_position(Display* display)
{
    Window root_return, child;
    int x, y, window_x, window_y;
    unsigned int mask;
    if (!XQueryPointer(display, DefaultRootWindow(display), &root_return, &child, &x, &y,
                       &window_x, &window_y, &mask))
        return std::nullopt;
    return Point{x, y};
}

}  // namespace

void place_on_monitor(MenuState& m, const Settings& s, X11State& x)
{
    Display* display = x.surface->display;
    int count = 0;
    XineramaScreenInfo* info =
        XineramaIsActive(display) ? XineramaQueryScreens(display, &count) : nullptr;
    MonitorRect monitor;
    bool have_xinerama = info != nullptr;
    if (have_xinerama) {
        std::vector<MonitorRect> monitors;
        for (int i = 0; i < count; ++i)
            monitors.push_back({info[i].x_org, info[i].y_org, info[i].width, info[i].height});
        XFree(info);
        int chosen = s.screen;
        if (chosen < 0 || chosen >= count) {
            FocusInfo focus;
            focus.focus_window = focus_top_level(display);
            focus.pointer = pointer_position(display);
            chosen = choose_monitor(monitors, focus);
        }
        monitor = monitors[static_cast<size_t>(chosen)];
    } else {
        int screen = DefaultScreen(display);
        monitor = {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    }
    BarPlacement bar = place_bar(monitor, have_xinerama, s.bottom, s.x_offset, s.y_offset,
                                 s.requested_width, m.bar_height);
    x.monitor = monitor;
    x.bar_x = bar.x;
    x.bar_y = bar.y;
    m.bar_width = static_cast<int32_t>(clamp_window_extent(bar.width));
}

Window create_window(Display* display, const MonitorRect& rect, unsigned long background,
                     const char* instance, const char* class_name)
{
    int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = background;
    attributes.event_mask = bar_events;
    Window window = XCreateWindow(
        display, DefaultRootWindow(display), rect.x, rect.y, clamp_window_extent(rect.width),
        clamp_window_extent(rect.height), 0, DefaultDepth(display, screen), CopyFromParent,
        DefaultVisual(display, screen), CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XClassHint hint{const_cast<char*>(instance), const_cast<char*>(class_name)};
    XSetClassHint(display, window, &hint);
    return window;
}

void set_window_opacity(Display* display, Window window, double& opacity)
{
    opacity = std::fmax(opacity, 0.0);
    opacity = std::fmin(opacity, 1.0);
    if (std::isnan(opacity))
        opacity = 0.0;
    unsigned long value = static_cast<uint32_t>(opacity * 4294967295.0);
    Atom atom = XInternAtom(display, "_NET_WM_WINDOW_OPACITY", False);
    XChangeProperty(display, window, atom, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
}
