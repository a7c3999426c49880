#pragma once

#include <cstddef>

struct MenuState;
struct Settings;

// The routines chosen by -z, -t and -i, installed once while the command
// line is read so that no option is tested again on the hot path.
struct MatchFunctions {
    // Rebuilds the match list from MenuState::input and puts the selection
    // and the page start on its first entry.
    void (*filter)(MenuState&, const Settings&);
    // 0 when the first n bytes agree (stops early at a NUL).
    int (*prefix_cmp)(const char* a, const char* b, size_t n);
    // First occurrence of needle in text, or null.
    const char* (*substr_find)(const char* text, const char* needle);
    // First byte of text equal to c, or null; c == 0 finds the terminator.
    const char* (*char_find)(const char* text, int c);
};

// filter_ranked with the case-sensitive primitives.
MatchFunctions default_match_functions();
