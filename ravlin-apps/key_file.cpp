#include "key_file.h"

#include <cstring>

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// Leading blanks, and trailing blanks with a carriage return a file edited
// elsewhere may carry.
std::string_view trim(std::string_view text)
{
    size_t start = 0;
    while (start < text.size() && is_blank(text[start]))
        ++start;
    size_t end = text.size();
    while (end > start && (is_blank(text[end - 1]) || text[end - 1] == '\r'))
        --end;
    return text.substr(start, end - start);
}

// Key names hold no brackets, blanks or control characters; a locale is one
// bracketed word right after the name.
bool split_key(std::string_view text, KeyEntry& entry)
{
    size_t open = text.find('[');
    std::string_view name = text.substr(0, open);
    if (name.empty())
        return false;
    for (char c : name)
        if (c == ']' || is_blank(c) || static_cast<unsigned char>(c) < 0x20)
            return false;
    entry.key = name;
    entry.locale = {};
    if (open == std::string_view::npos)
        return true;
    if (text.back() != ']' || text.size() - open < 3)
        return false;
    std::string_view locale = text.substr(open + 1, text.size() - open - 2);
    for (char c : locale)
        if (c == '[' || c == ']' || is_blank(c))
            return false;
    entry.locale = locale;
    return true;
}

}  // namespace

std::optional<DesktopGroup> parse_desktop_group(std::string_view text)
{
    // Editors on some systems start UTF-8 files with a byte-order mark.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    // No text file holds a NUL byte; one search over the whole is cheaper
    // than one per line.
    if (std::memchr(text.data(), '\0', text.size()))
        return std::nullopt;
    DesktopGroup group;
    group.reserve(64);
    bool in_group = false;
    size_t position = 0;
    while (position < text.size()) {
        const char* start = text.data() + position;
        const void* newline = std::memchr(start, '\n', text.size() - position);
        size_t length = newline ? static_cast<const char*>(newline) - start : text.size() - position;
        position += length + 1;
        if (length > kMaxLineLength)
            return std::nullopt;
        std::string_view line = trim(std::string_view(start, length));
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (in_group)
                break;
            if (line != "[Desktop Entry]")
                return std::nullopt;
            in_group = true;
            continue;
        }
        size_t equals = line.find('=');
        if (!in_group || equals == std::string_view::npos)
            return std::nullopt;
        KeyEntry entry;
        if (!split_key(trim(line.substr(0, equals)), entry))
            return std::nullopt;
        entry.value = trim(line.substr(equals + 1));
        group.push_back(entry);
    }
    if (!in_group)
        return std::nullopt;
    return group;
}

std::string unescape_value(std::string_view raw)
{
    std::string value;
    value.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c != '\\' || i + 1 == raw.size()) {
            value += c;
            continue;
        }
        switch (raw[i + 1]) {
        case 's': value += ' '; break;
        case 'n': value += '\n'; break;
        case 't': value += '\t'; break;
        case 'r': value += '\r'; break;
        case '\\': value += '\\'; break;
        default:
            value += c;
            continue;  // the next character is taken as it stands
        }
        ++i;
    }
    return value;
}

std::vector<std::string> split_list(std::string_view raw)
{
    std::vector<std::string> items;
    std::string item;
    bool pending = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        pending = true;
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            // Pairs are kept whole so that "\\;" still ends an item.
            if (raw[i + 1] != ';')
                item += raw[i];
            item += raw[++i];
        } else if (raw[i] == ';') {
            items.push_back(unescape_value(item));
            item.clear();
            pending = false;
        } else {
            item += raw[i];
        }
    }
    if (pending)
        items.push_back(unescape_value(item));
    return items;
}

bool is_true(std::string_view raw)
{
    return raw == "true";
}

bool is_valid_utf8(std::string_view text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        unsigned char c = bytes[i];
        if (c != 0 && c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        unsigned min;
        unsigned code;
        if (c >= 0xc2 && c <= 0xdf) {
            extra = 1, min = 0x80, code = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            extra = 2, min = 0x800, code = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;  // NUL, a continuation byte, or a lead byte never used
        }
        if (size - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (bytes[i + k] & 0x3f);
        }
        if (code < min || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;
        i += extra + 1;
    }
    return true;
}
