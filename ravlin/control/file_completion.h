#pragma once

struct MenuState;

// Completes the word after the first blank of the input as a file name by
// shell word expansion, without running commands; a word that cannot be
// expanded safely leaves the input as it was.
void complete_file_name(MenuState& m);
