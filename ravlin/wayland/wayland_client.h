#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ravlin/wayland/keyboard_input.h"

struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_data_device_manager;
struct zwlr_layer_shell_v1;
struct zwp_primary_selection_device_manager_v1;
struct zwp_text_input_manager_v3;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;

class LayerSurface;
class PixmanCanvas;
class Selections;
class TextInput;

// One output as the compositor announced it.
struct Output {
    wl_output* output = nullptr;
    uint32_t global = 0;  // its name in the registry
    int32_t scale = 1;    // wl_output.scale
};

// The connection and the compositor's globals the menu uses, with what is
// made of them. Only the layer shell, the compositor, shared memory and a
// seat are required; the rest is used where offered.
struct WaylandClient {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    zwlr_layer_shell_v1* layer_shell = nullptr;
    wl_data_device_manager* data_manager = nullptr;
    zwp_primary_selection_device_manager_v1* primary_manager = nullptr;
    zwp_text_input_manager_v3* text_input_manager = nullptr;
    wp_viewporter* viewporter = nullptr;
    wp_fractional_scale_manager_v1* fractional_manager = nullptr;
    // In the order the compositor announced them: -s counts in this order.
    std::vector<std::unique_ptr<Output>> outputs;

    KeyboardInput keyboard;
    std::unique_ptr<Selections> selections;
    std::unique_ptr<TextInput> text_input;
    std::unique_ptr<PixmanCanvas> canvas;
    std::unique_ptr<LayerSurface> bar;
    std::unique_ptr<LayerSurface> shade;
    bool lost = false;  // the connection failed

    WaylandClient();
    ~WaylandClient();

    // The output a surface found itself on, by its object.
    Output* output_of(wl_output* output) const;
};

// Connects to WAYLAND_DISPLAY and learns the globals and outputs. False,
// with nothing left open, when there is no compositor or it lacks a
// required global.
bool connect_client(WaylandClient& client);
// Destroys what was made and closes the connection.
void disconnect_client(WaylandClient& client);
// Sends what is queued, then blocks until the compositor has answered it
// all; false when the connection failed.
bool round_trip(WaylandClient& client);
