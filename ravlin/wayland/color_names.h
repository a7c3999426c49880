#pragma once

#include <cstdint>
#include <optional>

// Colours by name without an X server: "#rgb", "#rrggbb" (and the 12- and
// 16-bit forms), "rgb:r/g/b", and the names of the X colour database when
// it is installed. The values are those an X server would give the same
// name on a 24-bit screen, so a bar looks the same on both platforms.
struct Rgb {
    uint8_t r, g, b;
};

// Where the X colour database is looked for, in order.
inline constexpr const char* color_database_paths[] = {"/usr/share/X11/rgb.txt",
                                                       "/etc/X11/rgb.txt"};

// Parses a colour given by number (#rgb ... #rrrrggggbbbb, rgb:r/g/b);
// nothing for anything else.
std::optional<Rgb> parse_numeric_color(const char* text);
// Looks a name up in a database file ("R G B name" lines), ignoring case
// and blanks as X does; nothing when the file or the name is missing.
std::optional<Rgb> lookup_color_name(const char* name, const char* database);
// parse_numeric_color, then the databases in color_database_paths.
std::optional<Rgb> parse_color(const char* name);
