#pragma once

#include <cstdint>

// One key press as every platform delivers it to the key bindings. Key
// symbols are the same numbers in X11 and in xkbcommon, so the constants
// of <X11/keysym.h> name them.
using KeySymbol = uint32_t;

// The modifier bits the bindings look at; the values of X's masks, so an X
// key event's state can be passed through.
inline constexpr unsigned key_shift = 1u << 0;
inline constexpr unsigned key_control = 1u << 2;
inline constexpr unsigned key_mod1 = 1u << 3;

struct KeyEvent {
    KeySymbol symbol;     // 0 when the key has none
    unsigned modifiers;   // key_shift, key_control, key_mod1
    const char* text;     // what the key typed, UTF-8, not NUL-terminated
    int32_t text_length;
};
