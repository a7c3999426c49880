// One application as a desktop entry file describes it, and the rules that
// decide whether it is offered at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct DesktopEntry {
    std::string id;                 // desktop-file ID, e.g. "org.example.Viewer.desktop"
    std::string path;               // the file it was read from
    std::string name;               // Name in the user's language
    std::vector<std::string> argv;  // Exec, quoting undone and field codes expanded
    std::string working_directory;  // Path; empty: the launcher's own
    bool terminal = false;          // Terminal=true: run inside a terminal emulator
};

// What the rules compare against, read once from the environment.
struct ListingContext {
    std::vector<std::string> locales;   // locale_candidates of the messages locale
    std::vector<std::string> desktops;  // $XDG_CURRENT_DESKTOP, split at colons
    std::string search_path;            // $PATH, for TryExec
};

ListingContext listing_context_from_environment();

// The entry the text of a desktop file offers, or nothing: when the file is
// malformed (see parse_desktop_group; also a missing Name or Exec, bad
// quoting or an unknown field code in Exec, invalid UTF-8 in a value used),
// when it is no Type=Application, when NoDisplay or Hidden is true, when
// TryExec names no executable, or when OnlyShowIn / NotShowIn leave it out.
std::optional<DesktopEntry> read_desktop_entry(std::string_view text, std::string id,
                                               std::string path, const ListingContext& context);

// OnlyShowIn and NotShowIn against the current desktops: the first desktop
// named in either list decides; else an OnlyShowIn list hides the entry.
bool shown_in(const std::vector<std::string>& only_show_in,
              const std::vector<std::string>& not_show_in,
              const std::vector<std::string>& desktops);
