#pragma once

#include <pixman.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "ravlin/drawing/canvas.h"
#include "ravlin/wayland/shm_buffers.h"

struct WaylandClient;
struct wl_callback;
struct wl_output;
struct wl_surface;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct zwlr_layer_surface_v1;

// Where a layer surface goes on its output and how it takes the keyboard.
struct LayerPlacement {
    uint32_t layer;          // ZWLR_LAYER_SHELL_V1_LAYER_*
    uint32_t anchor;         // ZWLR_LAYER_SURFACE_V1_ANCHOR_* bits
    uint32_t width, height;  // 0: as wide (high) as the anchors allow
    int32_t margin_top, margin_right, margin_bottom, margin_left;
    bool keyboard;           // exclusive keyboard interactivity
};

// A wl_surface in a layer of an output, drawn from shared memory buffers
// at the scale of the outputs it is on: the integer buffer scale, or the
// compositor's preferred fractional scale through a viewport where both
// are offered. Frames are paced by frame callbacks: a picture shown while
// the compositor has not drawn the last one waits for its callback.
class LayerSurface {
public:
    // output null lets the compositor choose (its focused output).
    LayerSurface(WaylandClient& client, wl_output* output, const char* name_space,
                 const LayerPlacement& placement, double initial_scale);
    ~LayerSurface();
    LayerSurface(const LayerSurface&) = delete;
    LayerSurface& operator=(const LayerSurface&) = delete;

    // Asks for another size or layer and waits until the compositor has
    // configured the surface for it; false when it was closed instead or
    // the connection failed.
    bool configure(const LayerPlacement& placement);
    uint32_t configured_width() const { return width_; }
    uint32_t configured_height() const { return height_; }
    bool closed() const { return closed_; }
    wl_surface* surface() const { return surface_; }

    // The scale to draw at: known for sure only once the surface shows on
    // an output; until then the guess it was made with.
    double scale() const;
    // Shows a picture of the surface's size drawn at scale, made opacity
    // times transparent (1 keeps it opaque).
    void show(pixman_image_t* picture, double scale, double opacity);
    // Shows one colour all over, opacity times transparent.
    void show_color(Color color, double opacity);

    // The scale changed (the surface moved to another output, or the
    // compositor prefers another): the picture should be drawn again.
    std::function<void()> on_scale_change;
    std::function<void()> on_closed;

    // Events (public for the listener tables).
    void configured(uint32_t serial, uint32_t width, uint32_t height);
    void was_closed();
    void entered(wl_output* output, bool in);
    void preferred_scale(uint32_t scale_120);
    void frame_done();
    void output_gone(wl_output* output);

private:
    void scale_may_have_changed(double before);
    void commit_picture();

    WaylandClient& client_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    wp_fractional_scale_v1* fractional_ = nullptr;
    ShmBuffers buffers_;
    uint32_t width_ = 0, height_ = 0;
    bool configured_ = false, closed_ = false;
    double guess_;
    uint32_t preferred_120_ = 0;  // 0 until the compositor says
    std::vector<wl_output*> entered_;

    // The picture waiting for the next frame callback.
    wl_callback* frame_ = nullptr;
    bool pending_ = false;
    pixman_image_t* picture_ = nullptr;  // referenced while pending
    double picture_scale_ = 1;
    Color color_ = 0;
    double opacity_ = 1;
};
