#pragma once

#include <cstddef>

struct MenuState;
struct Settings;

// A paste is asked of the platform (Platform::request_paste) and arrives
// here when the selection's owner has answered; nothing records it in
// between, and several may be outstanding.

// Inserts the first line of the n bytes of text at the cursor (a line that
// would not fit is dropped whole) and redraws.
void receive_paste(MenuState& m, const Settings& s, const char* text, size_t n);
