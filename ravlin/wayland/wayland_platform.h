#pragma once

struct Platform;

// The one symbol of the Wayland module: the executable looks it up after
// loading the module and calls it once.
extern "C" const Platform* ravlin_wayland_platform();
inline constexpr const char wayland_platform_symbol[] = "ravlin_wayland_platform";
