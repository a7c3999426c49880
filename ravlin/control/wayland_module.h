#pragma once

struct Platform;

// The Wayland platform, to be tried before X11: null when WAYLAND_DISPLAY
// is unset or empty. Its module (ravlin-wayland.so, with the Wayland,
// xkbcommon, fcft and pixman libraries) is loaded only when the table is
// opened, and unloaded again when the compositor cannot serve, so that a
// run on X11 maps none of it.
const Platform* wayland_module();
