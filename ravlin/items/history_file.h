#pragma once

struct MenuState;
struct Settings;

// Rewrites the history file with chosen on top, then the remembered lines
// that differ from it. Never leaves a torn or empty file behind; failures
// are silent.
void save_history(const MenuState& m, const Settings& s, const char* chosen);
