#pragma once

#include <cstdint>

#include "ravlin/base/match_functions.h"

// Every choice of one run: the command line, then the X resources, then the
// defaults. A text field is unset while it is null; an empty argument counts
// as set. Texts point at argv, at private copies of resource values or at
// constants, and are never released.
struct Settings {
    const char* history_path = nullptr;  // -hist
    bool bottom = false;                 // -b: bar at the bottom edge
    bool quiet = false;                  // -q: no entries while the input is empty
    bool grab_first = false;             // -f: grab before reading entries
    bool print_all = false;              // -r: accept prints every match
    bool mask_input = false;             // -mask: input drawn as asterisks
    bool no_input = false;               // -noinput: read no entries
    int32_t x_offset = 0;                // -x
    int32_t y_offset = 0;                // -y
    int32_t requested_width = 0;         // -w: 0 means the monitor's width
    uint32_t lines = 0;                  // -l: 0 is the horizontal layout
    uint32_t min_line_height = 0;        // -h
    int32_t underline_height = 0;        // -uh
    int32_t screen = -1;                 // -s: out of range chooses automatically
    const char* instance_name = "ravlin";  // -name
    const char* class_name = "Ravlin";     // -class
    double opacity = 1.0;                // -o, ravlin.opacity
    double shade_opacity = 0.0;          // -dim: shading window only above 0
    const char* shade_color = nullptr;       // -dc, ravlin.dimcolor
    const char* underline_color = nullptr;   // -uc, ravlin.undercolor
    const char* prompt = nullptr;            // -p
    const char* font_name = nullptr;         // -fn, ravlin.font; unset loads "fixed"
    const char* normal_bg_color = nullptr;   // -nb, ravlin.background
    const char* normal_fg_color = nullptr;   // -nf, ravlin.foreground
    const char* selected_bg_color = nullptr; // -sb, ravlin.selbackground
    const char* selected_fg_color = nullptr; // -sf, ravlin.selforeground

    // Chosen by -z, -t and -i.
    MatchFunctions match = default_match_functions();
};
