#include "menu_lines.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "name_order.h"

namespace {

std::string one_line(const std::string& name)
{
    std::string line = name;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return line;
}

// The menu reads lines of at most this many bytes: a longer one would
// arrive as two entries, neither of which names the application.
constexpr size_t kMaxLineSize = 1023;

// The line cut to size bytes, at a character start, with an ellipsis.
std::string shortened(std::string line, size_t size)
{
    static constexpr std::string_view ellipsis = "\u2026";
    if (line.size() <= size)
        return line;
    size_t cut = size - ellipsis.size();
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xc0) == 0x80)
        --cut;
    line.resize(cut);
    line += ellipsis;
    return line;
}

}  // namespace

void order_for_menu(std::vector<DesktopEntry>& entries, const std::vector<std::string>& history)
{
    std::unordered_map<std::string_view, size_t> recency;
    for (size_t i = 0; i < history.size(); ++i)
        recency.emplace(history[i], i);
    auto rank = [&](const DesktopEntry& entry) {
        auto found = recency.find(entry.id);
        return found == recency.end() ? history.size() : found->second;
    };
    std::vector<std::pair<size_t, std::string>> keys;
    keys.reserve(entries.size());
    for (const DesktopEntry& entry : entries)
        keys.emplace_back(rank(entry), name_sort_key(entry.name));
    std::vector<size_t> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::tie(keys[a], entries[a].name, entries[a].id) <
               std::tie(keys[b], entries[b].name, entries[b].id);
    });
    std::vector<DesktopEntry> sorted;
    sorted.reserve(entries.size());
    for (size_t i : order)
        sorted.push_back(std::move(entries[i]));
    entries = std::move(sorted);
}

std::vector<std::string> menu_lines(const std::vector<DesktopEntry>& entries)
{
    std::vector<std::string> lines;
    lines.reserve(entries.size());
    std::unordered_map<std::string, int> uses;
    for (const DesktopEntry& entry : entries) {
        lines.push_back(shortened(one_line(entry.name), kMaxLineSize));
        ++uses[lines.back()];
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (uses[lines[i]] < 2)
            continue;
        std::string_view id = entries[i].id;
        if (id.size() > 8 && id.substr(id.size() - 8) == ".desktop")
            id.remove_suffix(8);
        std::string suffix = " (" + std::string(id) + ")";
        lines[i] = suffix.size() + 16 < kMaxLineSize
                       ? shortened(one_line(entries[i].name), kMaxLineSize - suffix.size()) + suffix
                       : shortened(one_line(entries[i].name) + suffix, kMaxLineSize);
    }
    return lines;
}
