#pragma once

#include <string>

// The name fcft opens for a font name given to -fn (or "fixed"). Wayland
// has no core fonts: a core font name or an XLFD stands for monospace at
// about its pixel size, weight and slant; anything else is a fontconfig
// name already ("DejaVu Sans Mono:size=11") and is kept as it is.
std::string fontconfig_name(const char* name);

// The XLFD a core font alias stands for ("fixed" and "9x15" in the
// fonts.alias files of the X font folders), or the name itself.
std::string resolve_font_alias(const char* name);
