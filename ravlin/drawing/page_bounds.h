#pragma once

struct MenuState;
struct Settings;

// Sets page_next and page_prev around page_first.
void compute_page_bounds(MenuState& m, const Settings& s);
