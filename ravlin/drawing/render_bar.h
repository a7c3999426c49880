#pragma once

#include <cstdint>

struct MenuState;
struct Settings;

// Paints the whole bar into the canvas and copies it to the bar window.
void render_bar(MenuState& m, const Settings& s);

// Fills buffer with n asterisks and a NUL (only the NUL when n <= 0).
char* mask_text(char* buffer, int32_t n);
