// Feeds arbitrary files to the desktop entry reader of ravlin-apps, and
// arbitrary text to the Exec and list parsers: a broken entry must be left
// out, never crash the launcher, and an entry let through must be runnable.
#include <cstdint>
#include <string>

#include "ravlin-apps/desktop_entry.h"
#include "ravlin-apps/exec_line.h"
#include "ravlin-apps/key_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    static const ListingContext context = [] {
        ListingContext c;
        c.locales = {"sr_RS@latin", "sr_RS", "sr@latin", "sr"};
        c.desktops = {"GNOME", "X-Test"};
        c.search_path = "/nonexistent";
        return c;
    }();
    if (auto entry = read_desktop_entry(text, "fuzz.desktop", "/fuzz.desktop", context)) {
        if (entry->name.empty() || entry->argv.empty() || entry->argv[0].empty())
            __builtin_trap();
    }

    // The same bytes as an Exec value and as a list.
    if (auto words = split_exec(unescape_value(text))) {
        auto argv = expand_field_codes(*words, {"icon", "Name", "/fuzz.desktop"});
        if (argv && (argv->empty() || (*argv)[0].empty()))
            __builtin_trap();
    }
    split_list(text);
    is_valid_utf8(text);
    return 0;
}
