#include "ravlin/x11/x11_platform.h"

#include <X11/Xresource.h>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/x11/event_loop.h"
#include "ravlin/x11/keyboard.h"
#include "ravlin/x11/resources.h"
#include "ravlin/x11/selection.h"
#include "ravlin/x11/surface.h"
#include "ravlin/x11/windows.h"

namespace {

X11State state;

Display* display()
{
    return state.surface->display;
}

bool open(MenuState&)
{
    state.surface = open_surface();
    return true;
}

void apply_resources(MenuState&, Settings& s)
{
    XrmInitialize();
    apply_x_resources(s, display());
}

void load_font(MenuState& m, const char* name)
{
    load_font(*state.surface, name);
    state.canvas = new SurfaceCanvas(*state.surface);
    m.canvas = state.canvas;
    m.measurer = state.canvas;
}

ColorPair load_colors(MenuState&, const char* fg_name, const char* bg_name)
{
    XColorPair* pair = make_color_pair(*state.surface, fg_name, bg_name);
    state.colors.push_back(pair);
    return state.canvas->add_colors(*pair);
}

void grab(MenuState&, const Settings&)
{
    grab_keyboard(display());
}

void place_bar(MenuState& m, const Settings& s)
{
    state.clipboard_atom = XInternAtom(display(), "CLIPBOARD", False);
    state.utf8_atom = XInternAtom(display(), "UTF8_STRING", False);
    place_on_monitor(m, s, state);
}

void show_bar(MenuState& m, Settings& s)
{
    SurfaceCanvas& canvas = *state.canvas;
    if (s.shade_opacity > 0) {
        state.shade_window = create_window(display(), state.monitor,
                                           canvas.pixel(m.shade_colors.bg), "ravshade",
                                           s.class_name);
        set_window_opacity(display(), state.shade_window, s.shade_opacity);
        XMapRaised(display(), state.shade_window);
    }
    state.bar_window =
        create_window(display(), {state.bar_x, state.bar_y, m.bar_width, m.bar_height},
                      canvas.pixel(m.normal_colors.bg), s.instance_name, s.class_name);
    set_window_opacity(display(), state.bar_window, s.opacity);
    open_input_method(state.input_method, display(), state.bar_window, bar_events);
    XMapRaised(display(), state.bar_window);
    auto width = static_cast<uint32_t>(m.bar_width);
    auto height = static_cast<uint32_t>(m.bar_height);
    size_canvas(*state.surface, width, height);
    canvas.show_on(state.bar_window, width, height);
}

void request_paste(MenuState&, Selection selection)
{
    request_selection(state, selection);
}

void run_event_loop(MenuState& m, const Settings& s)
{
    run_x11_event_loop(m, s, state);
}

void release_keyboard(MenuState&, const Settings&)
{
    XUngrabKeyboard(display(), CurrentTime);
}

void close(MenuState& m, const Settings& s)
{
    for (XColorPair* pair : state.colors)
        free_color_pair(*state.surface, pair);
    state.colors.clear();
    close_input_method(state.input_method);
    XDestroyWindow(display(), state.bar_window);
    if (s.shade_opacity > 0)
        XDestroyWindow(display(), state.shade_window);
    m.canvas = nullptr;
    m.measurer = nullptr;
    delete state.canvas;
    close_surface(state.surface);
    state = {};
}

const Platform platform = {
    .name = "x11",
    .open = open,
    .apply_resources = apply_resources,
    .load_font = load_font,
    .load_colors = load_colors,
    .grab_keyboard = grab,
    .place_bar = place_bar,
    .show_bar = show_bar,
    .request_paste = request_paste,
    .run_event_loop = run_event_loop,
    .release_keyboard = release_keyboard,
    .close = close,
};

}  // namespace

const Platform& x11_platform()
{
    return platform;
}
