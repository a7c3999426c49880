#include "ravlin/wayland/wayland_client.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

#include "fractional-scale-v1-client-protocol.h"
#include "primary-selection-unstable-v1-client-protocol.h"
#include "ravlin/wayland/layer_surface.h"
#include "ravlin/wayland/pixman_canvas.h"
#include "ravlin/wayland/selections.h"
#include "ravlin/wayland/text_input.h"
#include "text-input-unstable-v3-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace {

WaylandClient& self(void* data)
{
    return *static_cast<WaylandClient*>(data);
}

const wl_output_listener output_listener = {
    [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
       int32_t) {},
    [](void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {},
    [](void*, wl_output*) {},
    [](void* data, wl_output*, int32_t factor) { static_cast<Output*>(data)->scale = factor; },
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
};

const wl_seat_listener seat_listener = {
    [](void* data, wl_seat* seat, uint32_t capabilities) {
        self(data).keyboard.set_seat_keyboard(seat,
                                              (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0);
    },
    [](void*, wl_seat*, const char*) {},
};

template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
        uint32_t wanted)
{
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version)
{
    WaylandClient& c = self(data);
    auto is = [interface](const wl_interface& i) { return std::strcmp(interface, i.name) == 0; };
    if (is(wl_compositor_interface)) {
        // 4: damage in buffer pixels; 3: buffer scale.
        if (version >= 3)
            c.compositor = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (is(wl_shm_interface)) {
        c.shm = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    } else if (is(wl_seat_interface) && !c.seat) {
        // 5: key repeat information and wl_keyboard.release.
        if (version >= 4) {
            c.seat = bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
            wl_seat_add_listener(c.seat, &seat_listener, &c);
        }
    } else if (is(zwlr_layer_shell_v1_interface)) {
        c.layer_shell = bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface,
                                                  version, 4);
    } else if (is(wl_data_device_manager_interface)) {
        c.data_manager = bind<wl_data_device_manager>(registry, name,
                                                      &wl_data_device_manager_interface, version, 3);
    } else if (is(zwp_primary_selection_device_manager_v1_interface)) {
        c.primary_manager = bind<zwp_primary_selection_device_manager_v1>(
            registry, name, &zwp_primary_selection_device_manager_v1_interface, version, 1);
    } else if (is(zwp_text_input_manager_v3_interface)) {
        c.text_input_manager = bind<zwp_text_input_manager_v3>(
            registry, name, &zwp_text_input_manager_v3_interface, version, 1);
    } else if (is(wp_viewporter_interface)) {
        c.viewporter = bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    } else if (is(wp_fractional_scale_manager_v1_interface)) {
        c.fractional_manager = bind<wp_fractional_scale_manager_v1>(
            registry, name, &wp_fractional_scale_manager_v1_interface, version, 1);
    } else if (is(wl_output_interface)) {
        auto output = std::make_unique<Output>();
        output->global = name;
        output->output = bind<wl_output>(registry, name, &wl_output_interface, version, 2);
        wl_output_add_listener(output->output, &output_listener, output.get());
        c.outputs.push_back(std::move(output));
    }
}

void global_remove(void* data, wl_registry*, uint32_t name)
{
    WaylandClient& c = self(data);
    std::erase_if(c.outputs, [&](const std::unique_ptr<Output>& o) {
        if (o->global != name)
            return false;
        if (c.bar)
            c.bar->output_gone(o->output);
        if (c.shade)
            c.shade->output_gone(o->output);
        wl_output_destroy(o->output);
        return true;
    });
}

const wl_registry_listener registry_listener = {global, global_remove};

}  // namespace

WaylandClient::WaylandClient() = default;
WaylandClient::~WaylandClient() = default;

Output* WaylandClient::output_of(wl_output* output) const
{
    for (const auto& o : outputs)
        if (o->output == output)
            return o.get();
    return nullptr;
}

bool round_trip(WaylandClient& client)
{
    if (client.lost || wl_display_roundtrip(client.display) < 0)
        client.lost = true;
    return !client.lost;
}

bool connect_client(WaylandClient& c)
{
    c.display = wl_display_connect(nullptr);
    if (!c.display)
        return false;
    c.registry = wl_display_get_registry(c.display);
    wl_registry_add_listener(c.registry, &registry_listener, &c);
    // The globals, then what the new objects announce (scales, capabilities).
    if (!round_trip(c) || !c.compositor || !c.shm || !c.seat || !c.layer_shell ||
        !round_trip(c)) {
        disconnect_client(c);
        return false;
    }
    c.selections = std::make_unique<Selections>(c.display, c.seat, c.data_manager,
                                                c.primary_manager);
    if (c.text_input_manager)
        c.text_input = std::make_unique<TextInput>(c.text_input_manager, c.seat);
    return true;
}

void disconnect_client(WaylandClient& c)
{
    if (!c.display)
        return;
    c.shade.reset();
    c.bar.reset();
    c.canvas.reset();
    c.text_input.reset();
    c.selections.reset();
    c.keyboard.set_seat_keyboard(c.seat, false);
    for (auto& o : c.outputs)
        wl_output_destroy(o->output);
    c.outputs.clear();
    auto destroy = [](auto*& proxy) {
        if (proxy)
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(proxy));
        proxy = nullptr;
    };
    destroy(c.fractional_manager);
    destroy(c.viewporter);
    destroy(c.text_input_manager);
    destroy(c.primary_manager);
    destroy(c.data_manager);
    destroy(c.layer_shell);
    destroy(c.seat);
    destroy(c.shm);
    destroy(c.compositor);
    destroy(c.registry);
    wl_display_flush(c.display);
    wl_display_disconnect(c.display);
    c.display = nullptr;
}
