#include "ravlin/wayland/font_name.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The alias files of the usual X font folders; read only for a name that
// could be an alias, so an ordinary fontconfig name costs no file access.
constexpr const char* alias_files[] = {
    "/usr/share/fonts/X11/misc/fonts.alias",
    "/usr/share/fonts/X11/75dpi/fonts.alias",
    "/usr/share/fonts/X11/100dpi/fonts.alias",
};

bool is_xlfd(const char* name)
{
    if (name[0] != '-' && name[0] != '*')
        return false;
    int dashes = 0;
    for (const char* p = name; *p; ++p)
        dashes += *p == '-';
    return dashes >= 13 || name[0] == '*' || std::strchr(name, '*');
}

// "6x13", "9x15bold", "7x13euro": a cell size and a style.
bool is_cell_name(const char* name, int& height, bool& bold)
{
    char* end;
    long width = std::strtol(name, &end, 10);
    if (width <= 0 || *end != 'x' || !std::isdigit(static_cast<unsigned char>(end[1])))
        return false;
    height = static_cast<int>(std::strtol(end + 1, &end, 10));
    bold = std::strstr(end, "bold") != nullptr;
    return true;
}

// The fields of an XLFD, without the leading dash; missing ones empty.
std::vector<std::string> xlfd_fields(const std::string& xlfd)
{
    std::vector<std::string> fields;
    size_t start = xlfd[0] == '-' ? 1 : 0;
    for (;;) {
        size_t dash = xlfd.find('-', start);
        fields.push_back(xlfd.substr(start, dash == std::string::npos ? dash : dash - start));
        if (dash == std::string::npos)
            break;
        start = dash + 1;
    }
    fields.resize(14);
    return fields;
}

int number(const std::string& field)
{
    if (field.empty() || !std::isdigit(static_cast<unsigned char>(field[0])))
        return 0;
    return std::atoi(field.c_str());
}

std::string monospace(int pixel_size, bool bold, bool italic)
{
    std::string name = "monospace:pixelsize=" + std::to_string(pixel_size > 0 ? pixel_size : 13);
    if (bold)
        name += ":weight=bold";
    if (italic)
        name += ":slant=italic";
    return name;
}

std::string from_xlfd(const std::string& xlfd)
{
    // foundry family weight slant setwidth style pixels points resx resy ...
    std::vector<std::string> f = xlfd_fields(xlfd);
    int pixels = number(f[6]);
    if (pixels == 0 && number(f[7]) > 0) {
        int dpi = number(f[9]) > 0 ? number(f[9]) : 75;
        pixels = (number(f[7]) * dpi + 360) / 720;
    }
    bool bold = f[2] == "bold" || f[2] == "demibold";
    bool italic = f[3] == "i" || f[3] == "o";
    return monospace(pixels, bold, italic);
}

}  // namespace

std::string resolve_font_alias(const char* name)
{
    for (const char* path : alias_files) {
        FILE* file = std::fopen(path, "re");
        if (!file)
            continue;
        char line[512];
        std::string found;
        while (found.empty() && std::fgets(line, sizeof line, file)) {
            char alias[256], target[256];
            if (line[0] == '!' || std::sscanf(line, "%255s %255s", alias, target) != 2)
                continue;
            if (std::strcmp(alias, name) == 0)
                found = target;
        }
        std::fclose(file);
        if (!found.empty())
            return found;
    }
    return name;
}

std::string fontconfig_name(const char* name)
{
    if (is_xlfd(name))
        return from_xlfd(name);
    int height;
    bool bold;
    bool cell = is_cell_name(name, height, bold);
    // A name with no fontconfig syntax in it may be an alias.
    if (cell || !std::strpbrk(name, ":- ,=")) {
        std::string resolved = resolve_font_alias(name);
        if (is_xlfd(resolved.c_str()))
            return from_xlfd(resolved);
    }
    if (cell)
        return monospace(height, bold, false);
    // "fixed" without the X fonts installed: the size of its usual alias.
    if (std::strcmp(name, "fixed") == 0)
        return monospace(13, false, false);
    return name;
}
