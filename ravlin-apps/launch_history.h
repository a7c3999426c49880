// The applications started before: their desktop-file IDs, most recent
// first, one per line. IDs rather than names, so that a change of language
// or a renamed entry keeps its place.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr size_t kHistoryLength = 20;

// ${XDG_STATE_HOME:-~/.local/state}/ravlin/apps-history (xdg_directory);
// empty when there is no home directory to keep it in.
std::string history_path();

// The IDs in the file; none when it cannot be read or path is empty. A
// FIFO without a writer reads as empty.
std::vector<std::string> read_history(const std::string& path);

// Rewrites the file with id on top, then the previous IDs without it, at
// most kHistoryLength in all, as rewrite_file does (never torn, links
// followed); missing directories are made private (mode 700). A failure is
// silent: the history is a convenience.
void record_launch(const std::string& path, const std::string& id,
                   const std::vector<std::string>& previous);
