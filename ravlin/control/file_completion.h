#pragma once

#include <optional>
#include <string>
#include <vector>

struct MenuState;

// Completes the word after the first blank of the input as a file name by
// shell word expansion, without running commands. The input is left as it
// was when the word cannot be expanded safely or the completion would not
// fit in the input buffer. The match list is not rebuilt.
void complete_file_name(MenuState& m);

// The shell word expansion of word (WRDE_NOCMD), done in a short-lived child
// process so that a C library crash or message cannot reach the menu.
// Nothing when the expansion failed in any way, and for a word that uses
// the error operator of parameter expansion (${X?}, ${X:?}).
std::optional<std::vector<std::string>> expand_word(const char* word);
