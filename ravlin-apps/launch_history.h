// The applications started before: their desktop-file IDs, most recent
// first, one per line. IDs rather than names, so that a change of language
// or a renamed entry keeps its place.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr size_t kHistoryLength = 20;

// ${XDG_STATE_HOME:-$HOME/.local/state}/ravlin/apps-history; a relative
// XDG_STATE_HOME is ignored.
std::string history_path(const char* state_home, const char* home);

// The IDs in the file; none when it cannot be read.
std::vector<std::string> read_history(const std::string& path);

// Rewrites the file with id on top, then the previous IDs without it, at
// most kHistoryLength in all. The file is replaced whole (a temporary file
// renamed over it); missing directories are made private (mode 700). A
// failure is silent: the history is a convenience.
void record_launch(const std::string& path, const std::string& id,
                   const std::vector<std::string>& previous);
