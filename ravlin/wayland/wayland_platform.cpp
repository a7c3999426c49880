#include "ravlin/wayland/wayland_platform.h"

#include <wayland-client.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ravlin/base/fail.h"
#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/control/key_bindings.h"
#include "ravlin/control/paste.h"
#include "ravlin/control/platform.h"
#include "ravlin/drawing/render_bar.h"
#include "ravlin/wayland/color_names.h"
#include "ravlin/wayland/event_loop.h"
#include "ravlin/wayland/font_name.h"
#include "ravlin/wayland/layer_surface.h"
#include "ravlin/wayland/pixman_canvas.h"
#include "ravlin/wayland/selections.h"
#include "ravlin/wayland/text_input.h"
#include "ravlin/wayland/wayland_client.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace {

// One connection per process, from open to close.
WaylandClient* client = nullptr;

// Keys that come before the event loop runs (typed while the entries are
// read with -f, or while the bar is being placed) wait here for it.
struct QueuedKey {
    KeyEvent event;
    std::string text;
};
std::vector<QueuedKey> early_keys;

WaylandClient& the_client()
{
    return *client;
}

bool open(MenuState&)
{
    bool locale = std::setlocale(LC_CTYPE, "") != nullptr;
    client = new WaylandClient;
    if (!connect_client(*client)) {
        delete client;
        client = nullptr;
        return false;
    }
    // Said only once this platform is the one: X11 would say it again.
    if (!locale)
        std::fputs("no locale support\n", stderr);
    client->keyboard.on_key = [](const KeyEvent& event) {
        early_keys.push_back({event, std::string(event.text, static_cast<size_t>(event.text_length))});
    };
    return true;
}

// X resources exist only on X11.
void apply_resources(MenuState&, Settings&) {}

void load_font(MenuState& m, const char* name)
{
    WaylandClient& c = the_client();
    c.canvas = PixmanCanvas::open(fontconfig_name(name));
    if (!c.canvas)
        fail("cannot load font '%s'\n", name);
    m.canvas = c.canvas.get();
    m.measurer = c.canvas.get();
}

Color color(const char* name)
{
    std::optional<Rgb> rgb = parse_color(name);
    if (!rgb)
        fail("cannot allocate color '%s'\n", name);
    return opaque_color(rgb->r, rgb->g, rgb->b);
}

ColorPair load_colors(MenuState&, const char* fg_name, const char* bg_name)
{
    // The background first, so that two bad names report it, as on X11.
    Color bg = color(bg_name);
    return {color(fg_name), bg};
}

wl_output* chosen_output(const Settings& s)
{
    const auto& outputs = the_client().outputs;
    if (s.screen >= 0 && static_cast<size_t>(s.screen) < outputs.size())
        return outputs[static_cast<size_t>(s.screen)]->output;
    return nullptr;
}

// The scale to draw the first picture at, before the surface has shown on
// an output: the chosen one's, or the largest when the compositor chooses.
double first_scale(const Settings& s)
{
    int32_t scale = 1;
    wl_output* chosen = chosen_output(s);
    for (const auto& o : the_client().outputs)
        if (!chosen || o->output == chosen)
            scale = std::max(scale, o->scale);
    return scale;
}

LayerPlacement bar_placement(const Settings& s, int32_t height)
{
    LayerPlacement p = {};
    // Above the shading, which takes the top layer, while -dim shows it.
    p.layer = s.shade_opacity > 0 ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_TOP;
    p.anchor = (s.bottom ? ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM : ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP) |
               ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT;
    if (s.requested_width > 0)
        p.width = static_cast<uint32_t>(s.requested_width);
    else
        p.anchor |= ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;
    p.height = static_cast<uint32_t>(std::max(height, 1));
    (s.bottom ? p.margin_bottom : p.margin_top) = s.y_offset;
    p.margin_left = s.x_offset;
    p.keyboard = true;
    return p;
}

void closed(MenuState& m)
{
    // The compositor took the bar away (its output went): nothing chosen.
    if (!m.finished) {
        m.exit_status = 1;
        m.finished = true;
    }
}

// Makes the bar (once) and has it configured for height; false when the
// compositor refuses it.
bool configure_bar(MenuState& m, const Settings& s, int32_t height)
{
    WaylandClient& c = the_client();
    LayerPlacement placement = bar_placement(s, height);
    if (!c.bar) {
        c.bar = std::make_unique<LayerSurface>(c, chosen_output(s), s.instance_name, placement,
                                               first_scale(s));
        c.bar->on_closed = [&m] { closed(m); };
    }
    return c.bar->configure(placement);
}

// Layer surfaces take the keyboard once they are shown. With -f (and
// -noinput) that is to happen before the entries are read, so the bar is
// shown now, one line high and empty, and the keys typed until the event
// loop runs are kept; otherwise the bar is shown right after this anyway.
void grab_keyboard(MenuState& m, const Settings& s)
{
    if (!s.grab_first && !s.no_input)
        return;
    WaylandClient& c = the_client();
    uint32_t line = static_cast<uint32_t>(c.canvas->font_height() + 2);
    int32_t height = static_cast<int32_t>(std::max(line, s.min_line_height));
    if (!configure_bar(m, s, height))
        fail("cannot grab keyboard\n");
    c.bar->show_color(m.normal_colors.bg, std::clamp(s.opacity, 0.0, 1.0));
    wl_display_flush(c.display);
}

// The compositor decides the width of a bar anchored to both sides, so
// the bar is made here and its first configure waited for.
void place_bar(MenuState& m, const Settings& s)
{
    WaylandClient& c = the_client();
    if (!configure_bar(m, s, m.bar_height))
        fail("cannot open display\n");
    uint32_t width = c.bar->configured_width();
    m.bar_width = s.requested_width > 0 ? s.requested_width : static_cast<int32_t>(width);
}

// As the X11 opacity property: clamped into 0..1, a NaN taken as 0, and
// stored back.
double clamp_opacity(double& opacity)
{
    opacity = std::fmin(std::fmax(opacity, 0.0), 1.0);
    if (std::isnan(opacity))
        opacity = 0.0;
    return opacity;
}

void show_bar(MenuState& m, Settings& s)
{
    WaylandClient& c = the_client();
    if (s.shade_opacity > 0) {
        LayerPlacement p = {};
        p.layer = ZWLR_LAYER_SHELL_V1_LAYER_TOP;
        p.anchor = ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                   ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;
        c.shade = std::make_unique<LayerSurface>(c, chosen_output(s), "ravshade", p, 1);
        if (c.shade->configure(p))
            c.shade->show_color(m.shade_colors.bg, clamp_opacity(s.shade_opacity));
    }
    double opacity = clamp_opacity(s.opacity);
    PixmanCanvas& canvas = *c.canvas;
    canvas.resize(m.bar_width, m.bar_height, c.bar->scale());
    canvas.on_present = [&c, &canvas, opacity] {
        c.bar->show(canvas.image(), canvas.scale(), opacity);
    };
    c.bar->on_scale_change = [&m, &s, &c] {
        c.canvas->resize(m.bar_width, m.bar_height, c.bar->scale());
        render_bar(m, s);
    };
}

void request_paste(MenuState&, Selection selection)
{
    the_client().selections->request(selection);
}

void run_event_loop(MenuState& m, const Settings& s)
{
    WaylandClient& c = the_client();
    c.keyboard.on_key = [&m, &s](const KeyEvent& event) { handle_key(m, s, event); };
    c.selections->on_text = [&m, &s](const char* text, size_t n) { receive_paste(m, s, text, n); };
    if (c.text_input)
        c.text_input->on_commit = [&m, &s](const std::string& text) {
            KeyEvent typed = {0, 0, text.data(), static_cast<int32_t>(text.size())};
            handle_key(m, s, typed);
        };
    for (QueuedKey& key : early_keys) {
        if (m.finished)
            break;
        key.event.text = key.text.data();
        handle_key(m, s, key.event);
    }
    early_keys.clear();
    run_wayland_event_loop(c, m, s);
}

void release_keyboard(MenuState&, const Settings&)
{
    WaylandClient& c = the_client();
    c.shade.reset();
    c.bar.reset();
    wl_display_flush(c.display);
}

void close(MenuState& m, const Settings&)
{
    m.canvas = nullptr;
    m.measurer = nullptr;
    disconnect_client(the_client());
    delete client;
    client = nullptr;
}

const Platform wayland_platform = {
    "wayland",      open,     apply_resources, load_font,        load_colors, grab_keyboard,
    place_bar,      show_bar, request_paste,   run_event_loop, release_keyboard, close,
};

}  // namespace

extern "C" const Platform* ravlin_wayland_platform()
{
    return &wayland_platform;
}
