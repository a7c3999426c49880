// The [Desktop Entry] group of a desktop entry file, and the value types
// its keys hold (strings with escapes, lists, booleans).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One key of the group, as views into the parsed text.
struct KeyEntry {
    std::string_view key;     // "Name" of Name[de_DE]
    std::string_view locale;  // "de_DE" of Name[de_DE]; empty without brackets
    std::string_view value;   // raw: escapes not undone, blanks around it removed
};

// The keys of the group in file order; of a key given twice the later wins.
using DesktopGroup = std::vector<KeyEntry>;

// A longer line is taken for a broken or hostile file, not a real entry.
inline constexpr size_t kMaxLineLength = 64 * 1024;

// Parses the [Desktop Entry] group, which must come first (only blank and
// comment lines before it, and a UTF-8 byte-order mark at the very start). Nothing when the file is malformed: another
// group first, no such group, a line that is neither comment, group header
// nor key=value, a key without a name or with a broken [locale], a line
// longer than kMaxLineLength, or a NUL byte anywhere. The groups after it
// are not read.
std::optional<DesktopGroup> parse_desktop_group(std::string_view text);

// A string value with \s \n \t \r \\ undone. Another backslash sequence is
// kept as it stands: entries in the wild write "\$" in Exec lines and mean it.
std::string unescape_value(std::string_view raw);

// The items of a list value (separated by ";", "\;" inside an item), each
// unescaped; a final ";" ends the list rather than adding an empty item.
std::vector<std::string> split_list(std::string_view raw);

// "true" is true; anything else, "false" included, is false.
bool is_true(std::string_view raw);

// Well-formed UTF-8 without overlong forms, surrogates or NUL bytes.
bool is_valid_utf8(std::string_view text);
