// The command line of an Exec key: its words with the quoting undone, and
// the field codes (%f, %i, %c, ...) expanded for a start without files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Splits a command line (string escapes already undone) into words at
// unquoted blanks. "..." quotes, with \" \` \$ \\ inside standing for the
// character; '...' quotes everything literally and a backslash outside
// quotes takes the next character literally, as a shell reads them, since
// entries in the wild use both and the desktops start them. Nothing when a
// quote is left open or the line ends in a lone backslash.
std::optional<std::vector<std::string>> split_exec(std::string_view command_line);

// What the field codes stand for.
struct FieldValues {
    std::string_view icon;      // %i: --icon ICON, nothing when empty
    std::string_view name;      // %c: the Name in the user's language
    std::string_view location;  // %k: the path of the desktop file
};

// Expands the field codes of every word: %f %F %u %U go (no file is given),
// as do the deprecated %d %D %n %N %v %m; %% is "%". A word that held a code
// and came out empty is dropped. Nothing when a word holds a code the
// format does not know (such lines must not run) or a lone "%" at its end,
// or when no program word is left.
std::optional<std::vector<std::string>> expand_field_codes(const std::vector<std::string>& words,
                                                           const FieldValues& values);
