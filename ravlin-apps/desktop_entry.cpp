#include "desktop_entry.h"

#include <unistd.h>

#include <cstdlib>

#include "exec_line.h"
#include "ravlin/base/colon_list.h"
#include "key_file.h"
#include "locale_match.h"
#include "program_path.h"

namespace {

std::vector<std::string> split_colons(const char* text)
{
    std::vector<std::string> parts;
    for (std::string_view part : split_colon_list(text ? text : ""))
        if (!part.empty())
            parts.emplace_back(part);
    return parts;
}

// The search path execvp falls back to when PATH is unset.
std::string default_search_path()
{
    char buffer[256];
    size_t length = confstr(_CS_PATH, buffer, sizeof buffer);
    return length > 0 && length <= sizeof buffer ? std::string(buffer) : "/bin:/usr/bin";
}

}  // namespace

ListingContext listing_context_from_environment()
{
    ListingContext context;
    context.locales = locale_candidates(
        messages_locale(getenv("LC_ALL"), getenv("LC_MESSAGES"), getenv("LANG")));
    context.desktops = split_colons(getenv("XDG_CURRENT_DESKTOP"));
    const char* path = getenv("PATH");
    context.search_path = path ? path : default_search_path();
    return context;
}

bool shown_in(const std::vector<std::string>& only_show_in,
              const std::vector<std::string>& not_show_in,
              const std::vector<std::string>& desktops)
{
    for (const std::string& desktop : desktops) {
        for (const std::string& name : only_show_in)
            if (name == desktop)
                return true;
        for (const std::string& name : not_show_in)
            if (name == desktop)
                return false;
    }
    return only_show_in.empty();
}

std::optional<DesktopEntry> read_desktop_entry(std::string_view text, std::string id,
                                               std::string path, const ListingContext& context)
{
    std::optional<DesktopGroup> group = parse_desktop_group(text);
    if (!group)
        return std::nullopt;

    std::string_view type, name, exec, try_exec, directory, icon, terminal;
    std::string_view only_show_in, not_show_in;
    bool no_display = false, hidden = false, has_name = false;
    int name_rank = -1;
    for (const KeyEntry& entry : *group) {
        if (entry.key == "Name") {
            int rank = locale_rank(entry.locale, context.locales);
            if (rank >= 0 && (name_rank < 0 || rank <= name_rank)) {
                name = entry.value;
                name_rank = rank;
            }
            has_name |= entry.locale.empty();
            continue;
        }
        if (!entry.locale.empty())
            continue;
        const std::string_view& key = entry.key;
        if (key == "Type")
            type = entry.value;
        else if (key == "Exec")
            exec = entry.value;
        else if (key == "TryExec")
            try_exec = entry.value;
        else if (key == "Path")
            directory = entry.value;
        else if (key == "Icon")
            icon = entry.value;
        else if (key == "Terminal")
            terminal = entry.value;
        else if (key == "NoDisplay")
            no_display = is_true(entry.value);
        else if (key == "Hidden")
            hidden = is_true(entry.value);
        else if (key == "OnlyShowIn")
            only_show_in = entry.value;
        else if (key == "NotShowIn")
            not_show_in = entry.value;
    }

    // A translation without the plain Name is no valid entry either.
    if (type != "Application" || no_display || hidden || !has_name || name.empty() ||
        exec.empty())
        return std::nullopt;
    for (std::string_view value : {name, exec, try_exec, directory, icon})
        if (!is_valid_utf8(value))
            return std::nullopt;
    if ((!only_show_in.empty() || !not_show_in.empty()) &&
        !shown_in(split_list(only_show_in), split_list(not_show_in), context.desktops))
        return std::nullopt;

    DesktopEntry result;
    result.name = unescape_value(name);
    std::optional<std::vector<std::string>> words = split_exec(unescape_value(exec));
    if (!words)
        return std::nullopt;
    std::string icon_name = unescape_value(icon);
    std::optional<std::vector<std::string>> argv =
        expand_field_codes(*words, {icon_name, result.name, path});
    if (!argv)
        return std::nullopt;
    if (!try_exec.empty() && find_program(unescape_value(try_exec), context.search_path).empty())
        return std::nullopt;

    result.id = std::move(id);
    result.path = std::move(path);
    result.argv = std::move(*argv);
    result.working_directory = unescape_value(directory);
    result.terminal = is_true(terminal);
    return result;
}
