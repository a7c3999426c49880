#include "ravlin/wayland/layer_surface.h"

#include <wayland-client.h>

#include <algorithm>
#include <cmath>

#include "fractional-scale-v1-client-protocol.h"
#include "ravlin/wayland/wayland_client.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace {

LayerSurface& self(void* data)
{
    return *static_cast<LayerSurface*>(data);
}

const zwlr_layer_surface_v1_listener layer_listener = {
    [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width, uint32_t height) {
        self(data).configured(serial, width, height);
    },
    [](void* data, zwlr_layer_surface_v1*) { self(data).was_closed(); },
};

const wl_surface_listener surface_listener = {
    [](void* data, wl_surface*, wl_output* output) { self(data).entered(output, true); },
    [](void* data, wl_surface*, wl_output* output) { self(data).entered(output, false); },
};

const wp_fractional_scale_v1_listener fractional_listener = {
    [](void* data, wp_fractional_scale_v1*, uint32_t scale) { self(data).preferred_scale(scale); },
};

const wl_callback_listener frame_listener = {
    [](void* data, wl_callback* callback, uint32_t) {
        wl_callback_destroy(callback);
        self(data).frame_done();
    },
};

void place(zwlr_layer_surface_v1* layer, const LayerPlacement& p)
{
    zwlr_layer_surface_v1_set_size(layer, p.width, p.height);
    zwlr_layer_surface_v1_set_anchor(layer, p.anchor);
    // Placed against the output's edges, over panels' reserved zones, as
    // the X11 bar is placed on the monitor.
    zwlr_layer_surface_v1_set_exclusive_zone(layer, -1);
    zwlr_layer_surface_v1_set_margin(layer, p.margin_top, p.margin_right, p.margin_bottom,
                                     p.margin_left);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer, p.keyboard ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                          : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
}

}  // namespace

LayerSurface::LayerSurface(WaylandClient& client, wl_output* output, const char* name_space,
                           const LayerPlacement& placement, double initial_scale)
    : client_(client), buffers_(client.shm), guess_(initial_scale)
{
    surface_ = wl_compositor_create_surface(client.compositor);
    wl_surface_add_listener(surface_, &surface_listener, this);
    if (client.fractional_manager && client.viewporter) {
        viewport_ = wp_viewporter_get_viewport(client.viewporter, surface_);
        fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(
            client.fractional_manager, surface_);
        wp_fractional_scale_v1_add_listener(fractional_, &fractional_listener, this);
    }
    layer_ = zwlr_layer_shell_v1_get_layer_surface(client.layer_shell, surface_, output,
                                                   placement.layer, name_space);
    zwlr_layer_surface_v1_add_listener(layer_, &layer_listener, this);
    place(layer_, placement);
}

LayerSurface::~LayerSurface()
{
    if (picture_)
        pixman_image_unref(picture_);
    if (frame_)
        wl_callback_destroy(frame_);
    if (fractional_)
        wp_fractional_scale_v1_destroy(fractional_);
    if (viewport_)
        wp_viewport_destroy(viewport_);
    zwlr_layer_surface_v1_destroy(layer_);
    wl_surface_destroy(surface_);
}

bool LayerSurface::configure(const LayerPlacement& placement)
{
    place(layer_, placement);
    zwlr_layer_surface_v1_set_layer(layer_, placement.layer);
    configured_ = false;
    wl_surface_commit(surface_);
    while (!configured_ && !closed_)
        if (!round_trip(client_))
            return false;
    return !closed_;
}

void LayerSurface::configured(uint32_t serial, uint32_t width, uint32_t height)
{
    zwlr_layer_surface_v1_ack_configure(layer_, serial);
    width_ = width;
    height_ = height;
    configured_ = true;
}

void LayerSurface::was_closed()
{
    closed_ = true;
    if (on_closed)
        on_closed();
}

double LayerSurface::scale() const
{
    if (fractional_ && preferred_120_)
        return preferred_120_ / 120.0;
    int32_t best = 0;
    for (wl_output* o : entered_)
        if (Output* output = client_.output_of(o))
            best = std::max(best, output->scale);
    return best ? best : guess_;
}

void LayerSurface::scale_may_have_changed(double before)
{
    if (scale() != before && on_scale_change)
        on_scale_change();
}

void LayerSurface::entered(wl_output* output, bool in)
{
    double before = scale();
    std::erase(entered_, output);
    if (in)
        entered_.push_back(output);
    scale_may_have_changed(before);
}

void LayerSurface::output_gone(wl_output* output)
{
    entered(output, false);
}

void LayerSurface::preferred_scale(uint32_t scale_120)
{
    double before = scale();
    preferred_120_ = scale_120;
    scale_may_have_changed(before);
}

void LayerSurface::show(pixman_image_t* picture, double scale, double opacity)
{
    pixman_image_ref(picture);
    if (picture_)
        pixman_image_unref(picture_);
    picture_ = picture;
    picture_scale_ = scale;
    opacity_ = opacity;
    pending_ = true;
    if (!frame_)
        commit_picture();
}

void LayerSurface::show_color(Color color, double opacity)
{
    if (picture_)
        pixman_image_unref(picture_);
    picture_ = nullptr;
    color_ = color;
    opacity_ = opacity;
    pending_ = true;
    if (!frame_)
        commit_picture();
}

void LayerSurface::frame_done()
{
    frame_ = nullptr;
    if (pending_)
        commit_picture();
}

void LayerSurface::commit_picture()
{
    if (!configured_ || closed_)
        return;
    // A solid colour needs no resolution: one pixel stretched by the
    // viewport, or the surface's size at scale 1.
    double scale = picture_ ? picture_scale_ : 1;
    int32_t w = 1, h = 1;
    if (picture_) {
        w = pixman_image_get_width(picture_);
        h = pixman_image_get_height(picture_);
    } else if (!viewport_) {
        w = static_cast<int32_t>(std::max<uint32_t>(width_, 1));
        h = static_cast<int32_t>(std::max<uint32_t>(height_, 1));
    }
    bool opaque = opacity_ >= 1;
    ShmBuffer* buffer =
        buffers_.take(w, h, opaque ? WL_SHM_FORMAT_XRGB8888 : WL_SHM_FORMAT_ARGB8888);
    if (!buffer)
        return;
    pixman_image_t* target = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, buffer->pixels, w * 4);
    // The whole surface made uniformly translucent, as a compositing X
    // server does with the opacity property: premultiplied by the alpha.
    pixman_color_t alpha = {0, 0, 0,
                            static_cast<uint16_t>(std::lround(std::clamp(opacity_, 0.0, 1.0) * 0xffff))};
    pixman_image_t* mask = opaque ? nullptr : pixman_image_create_solid_fill(&alpha);
    pixman_image_t* source = picture_;
    if (!source) {
        auto wide = [](uint32_t byte) { return static_cast<uint16_t>(byte * 0x101); };
        pixman_color_t c = {wide((color_ >> 16) & 0xff), wide((color_ >> 8) & 0xff),
                            wide(color_ & 0xff), 0xffff};
        source = pixman_image_create_solid_fill(&c);
    }
    pixman_image_composite32(PIXMAN_OP_SRC, source, mask, target, 0, 0, 0, 0, 0, 0, w, h);
    if (source != picture_)
        pixman_image_unref(source);
    if (mask)
        pixman_image_unref(mask);
    pixman_image_unref(target);

    int32_t integer = static_cast<int32_t>(scale);
    if (viewport_) {
        wl_surface_set_buffer_scale(surface_, 1);
        wp_viewport_set_destination(viewport_, static_cast<int32_t>(width_),
                                    static_cast<int32_t>(height_));
    } else if (integer == scale && w % integer == 0 && h % integer == 0) {
        wl_surface_set_buffer_scale(surface_, integer);
    } else {
        wl_surface_set_buffer_scale(surface_, 1);
    }
    wl_surface_attach(surface_, buffer->buffer, 0, 0);
    wl_surface_damage_buffer(surface_, 0, 0, w, h);
    frame_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frame_, &frame_listener, this);
    wl_surface_commit(surface_);
    buffer->busy = true;
    pending_ = false;
    if (picture_) {
        pixman_image_unref(picture_);
        picture_ = nullptr;
    }
}
