#pragma once

#include <string_view>
#include <vector>

// The pieces of a colon-separated list ($PATH, $XDG_DATA_DIRS,
// $XDG_CURRENT_DESKTOP), empty ones included: what an empty piece means
// differs from list to list. An empty text has no pieces.
std::vector<std::string_view> split_colon_list(std::string_view text);
