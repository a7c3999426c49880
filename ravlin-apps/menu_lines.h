// How the applications appear in the menu: their order and their lines.
#pragma once

#include <string>
#include <vector>

#include "desktop_entry.h"

// Puts the entries whose IDs are in history first, in history order (most
// recent first), then the others by name, alphabetically with case set
// aside (name_sort_key), ties by ID.
void order_for_menu(std::vector<DesktopEntry>& entries, const std::vector<std::string>& history);

// One line per entry, in the same order: the name, with control characters
// as blanks so a name stays one line, cut with an ellipsis to the 1023
// bytes the menu takes. Entries sharing a line are told apart by their ID,
// without ".desktop", in parentheses: "Viewer (org.example.Viewer)".
std::vector<std::string> menu_lines(const std::vector<DesktopEntry>& entries);
