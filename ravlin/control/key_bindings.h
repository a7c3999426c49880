#pragma once

#include <cstdint>

#include "ravlin/control/key_event.h"

struct MenuState;
struct Settings;

// What the caller has to do after a key was dispatched.
enum class KeyOutcome {
    redraw,           // state may have changed: render_bar
    none,             // nothing changed: no redraw
    finished,         // accepted or cancelled: no redraw, the loop ends
    paste_primary,    // request the PRIMARY selection, no redraw
    paste_clipboard,  // request the CLIPBOARD selection, no redraw
    complete_file_name,  // start_file_completion; the redraw follows its end
};

// The whole key logic on plain data: chord folding, the action table, the
// editing calls, accept (printing to MenuState::output and flushing it, then
// naming the line to save in the history when the result was written) and
// cancel. modifiers holds key_shift, key_control and key_mod1 bits (others
// are ignored); key_text holds key_text_length bytes and need not be
// NUL-terminated.
KeyOutcome dispatch_key(MenuState& m, const Settings& s, KeySymbol keysym, unsigned int modifiers,
                        const char* key_text, int32_t key_text_length);

// Pushes the accepted result out of MenuState::output and records the
// error in output_errno when it (or an earlier write) failed.
void flush_output(MenuState& m);

// dispatch_key, then what its outcome asks for: a redraw, a paste request
// to the platform, or a file name completion.
void handle_key(MenuState& m, const Settings& s, const KeyEvent& key);
