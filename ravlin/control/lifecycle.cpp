#include "ravlin/control/lifecycle.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <vector>

#include "ravlin/control/file_completion.h"
#include "ravlin/control/key_bindings.h"
#include "ravlin/control/menu_state.h"
#include "ravlin/control/paste.h"
#include "ravlin/control/placement.h"
#include "ravlin/control/settings.h"
#include "ravlin/drawing/fail.h"
#include "ravlin/drawing/render_bar.h"
#include "ravlin/drawing/surface.h"
#include "ravlin/items/case_fold.h"
#include "ravlin/items/entry_reader.h"
#include "ravlin/items/worker_pool.h"

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

// Works out the monitor and the bar's position and width.
MonitorRect place(MenuState& m, const Settings& s, int32_t& bar_x, int32_t& bar_y)
{
    Display* display = m.surface->display;
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
    bar_x = bar.x;
    bar_y = bar.y;
    m.bar_width = static_cast<int32_t>(clamp_window_extent(bar.width));
    return monitor;
}

Window create_window(MenuState& m, const MonitorRect& rect, unsigned long background,
                     const char* instance, const char* class_name)
{
    Display* display = m.surface->display;
    int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = background;
    attributes.event_mask = ExposureMask | KeyPressMask | VisibilityChangeMask;
    Window window = XCreateWindow(
        display, DefaultRootWindow(display), rect.x, rect.y, clamp_window_extent(rect.width),
        clamp_window_extent(rect.height), 0, DefaultDepth(display, screen), CopyFromParent,
        DefaultVisual(display, screen), CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XClassHint hint{const_cast<char*>(instance), const_cast<char*>(class_name)};
    XSetClassHint(display, window, &hint);
    return window;
}

void create_input_context(MenuState& m)
{
    // Without an input method keys are still looked up with XLookupString.
    XIM method = XOpenIM(m.surface->display, nullptr, nullptr, nullptr);
    if (!method)
        return;
    m.input_context = XCreateIC(method, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                                XNClientWindow, m.bar_window, XNFocusWindow, m.bar_window, nullptr);
}

void run_event_loop(MenuState& m, const Settings& s)
{
    Display* display = m.surface->display;
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
        if (XFilterEvent(&event, m.bar_window))
            continue;
        switch (event.type) {
        case KeyPress:
            handle_key_press(m, s, event.xkey);
            break;
        case Expose:
            if (event.xexpose.count == 0)
                flush_canvas(*m.surface, m.bar_window, static_cast<uint32_t>(m.bar_width),
                             static_cast<uint32_t>(m.bar_height));
            break;
        case VisibilityNotify:
            if (event.xvisibility.state != VisibilityUnobscured)
                XRaiseWindow(display, m.bar_window);
            break;
        case SelectionNotify:
            handle_selection_notify(m, s, event.xselection);
            break;
        default:
            break;
        }
    }
    cancel_file_completion(m);
}

// A standard descriptor that is closed would be taken by the next file
// opened, the display connection most likely: the result, or a library's
// complaint, would go into the X socket, or the socket be read as entries.
// /dev/null fills each gap; true when standard output was one of them.
bool open_standard_descriptors()
{
    bool output_closed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        int null_fd = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null_fd != fd)
            fail("cannot open /dev/null:");
        output_closed = output_closed || fd == 1;
    }
    return output_closed;
}

}  // namespace

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

int run_menu(int argc, char** argv)
{
    static Settings s;
    static MenuState m;
    m.output_closed = open_standard_descriptors();
    parse_command_line(argc, argv, s);

    m.surface = open_surface();
    refresh_case_fold();
    Surface& surface = *m.surface;
    Display* display = surface.display;
    XrmInitialize();
    apply_x_resources(s, display);
    apply_defaults(s);

    load_font(surface, s.font_name ? s.font_name : "fixed");
    SurfaceMeasurer measurer(surface);
    m.measurer = &measurer;
    m.normal_colors = make_color_pair(surface, s.normal_fg_color, s.normal_bg_color);
    m.selected_colors = make_color_pair(surface, s.selected_fg_color, s.selected_bg_color);
    m.shade_colors = make_color_pair(surface, s.shade_color, s.shade_color);
    m.underline_colors = make_color_pair(surface, s.underline_color, s.underline_color);

    if (s.no_input) {
        grab_keyboard(display);
    } else if (s.grab_first) {
        grab_keyboard(display);
        load_entries(m, s, stdin);
    } else {
        load_entries(m, s, stdin);
        grab_keyboard(display);
    }

    m.clipboard_atom = XInternAtom(display, "CLIPBOARD", False);
    m.utf8_atom = XInternAtom(display, "UTF8_STRING", False);

    uint32_t font_line = static_cast<uint32_t>(surface.font.height + 2);
    uint32_t line_height = s.min_line_height > font_line ? s.min_line_height : font_line;
    m.line_height = static_cast<int32_t>(line_height);
    m.bar_height = static_cast<int32_t>(clamp_window_extent(
        static_cast<int32_t>(line_height * (s.lines + 1))));

    int32_t bar_x, bar_y;
    MonitorRect monitor = place(m, s, bar_x, bar_y);

    m.prompt_width = s.prompt && *s.prompt ? padded_width(measurer, s.prompt) : 0;
    if (m.input_width > m.bar_width / 3)
        m.input_width = m.bar_width / 3;

    s.match.filter(m, s);

    if (s.shade_opacity > 0) {
        m.shade_window = create_window(m, monitor, m.shade_colors->bg, "ravshade", s.class_name);
        set_window_opacity(display, m.shade_window, s.shade_opacity);
        XMapRaised(display, m.shade_window);
    }
    m.bar_window = create_window(m, {bar_x, bar_y, m.bar_width, m.bar_height},
                                 m.normal_colors->bg, s.instance_name, s.class_name);
    set_window_opacity(display, m.bar_window, s.opacity);
    create_input_context(m);
    XMapRaised(display, m.bar_window);
    size_canvas(surface, static_cast<uint32_t>(m.bar_width), static_cast<uint32_t>(m.bar_height));
    render_bar(m, s);
    // The searches' helper threads, once the menu is on the screen.
    start_workers();

    run_event_loop(m, s);

    free_color_pair(surface, m.normal_colors);
    free_color_pair(surface, m.selected_colors);
    free_color_pair(surface, m.shade_colors);
    free_color_pair(surface, m.underline_colors);
    XDestroyWindow(display, m.bar_window);
    if (s.shade_opacity > 0)
        XDestroyWindow(display, m.shade_window);
    XUngrabKeyboard(display, CurrentTime);
    close_surface(m.surface);

    if (m.output_errno) {
        errno = m.output_errno;
        fail("cannot write output:");
    }
    return m.exit_status;
}
