#pragma once

#include <X11/Xlib.h>

struct Settings;

// Fills unset texts (and always the opacity) from resources, given as the
// text XResourceManagerString returns; null applies nothing.
void apply_resource_string(Settings& s, const char* resources);
// apply_resource_string with the display's resource string.
void apply_x_resources(Settings& s, Display* display);
