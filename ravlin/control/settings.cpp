#include "ravlin/control/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ravlin/items/filters.h"
#include "ravlin/items/match_functions.h"

const char usage_text[] =
    "usage: ravlin [-b] [-q] [-f] [-r] [-i] [-z] [-t] [-mask] [-noinput]\n"
    "             [-s screen] [-name name] [-class class] [ -o opacity]\n"
    "             [-dim opcity] [-dc color] [-l lines] [-p prompt] [-fn font]\n"
    "             [-x xoffset] [-y yoffset] [-h height] [-w width] [-uh height]\n"
    "             [-nb color] [-nf color] [-sb color] [-sf color] [-uc color] [-hist histfile] [-v]\n";

const char version_banner[] = "ravlin-0.2, written by the ravlin developers\n";

namespace {

bool is(const char* argument, const char* option)
{
    return std::strcmp(argument, option) == 0;
}

// Applies a flag; false when the argument is none.
bool apply_flag(const char* argument, Settings& s)
{
    if (is(argument, "-b"))
        s.bottom = true;
    else if (is(argument, "-q"))
        s.quiet = true;
    else if (is(argument, "-f"))
        s.grab_first = true;
    else if (is(argument, "-z"))
        s.match.filter = filter_fuzzy;
    else if (is(argument, "-r"))
        s.print_all = true;
    else if (is(argument, "-i"))
        use_nocase_primitives(s.match);
    else if (is(argument, "-mask"))
        s.mask_input = true;
    else if (is(argument, "-noinput"))
        s.no_input = true;
    else if (is(argument, "-t"))
        s.match.filter = filter_tokens;
    else
        return false;
    return true;
}

// Stores the value of a value option; false when the argument is none.
bool apply_value(const char* argument, const char* value, Settings& s)
{
    struct Number {
        const char* option;
        int32_t Settings::*field;
    };
    static const Number numbers[] = {
        {"-x", &Settings::x_offset},       {"-y", &Settings::y_offset},
        {"-w", &Settings::requested_width}, {"-uh", &Settings::underline_height},
        {"-s", &Settings::screen},
    };
    struct Text {
        const char* option;
        const char* Settings::*field;
    };
    static const Text texts[] = {
        {"-name", &Settings::instance_name},  {"-class", &Settings::class_name},
        {"-dc", &Settings::shade_color},      {"-uc", &Settings::underline_color},
        {"-p", &Settings::prompt},            {"-fn", &Settings::font_name},
        {"-nb", &Settings::normal_bg_color},  {"-nf", &Settings::normal_fg_color},
        {"-sb", &Settings::selected_bg_color}, {"-sf", &Settings::selected_fg_color},
    };
    for (const Number& n : numbers)
        if (is(argument, n.option)) {
            s.*n.field = std::atoi(value);
            return true;
        }
    for (const Text& t : texts)
        if (is(argument, t.option)) {
            s.*t.field = value;
            return true;
        }
    if (is(argument, "-l"))
        s.lines = static_cast<uint32_t>(std::atoi(value));
    else if (is(argument, "-h"))
        s.min_line_height = static_cast<uint32_t>(std::atoi(value));
    else if (is(argument, "-o"))
        s.opacity = std::atof(value);
    else if (is(argument, "-dim"))
        s.shade_opacity = std::atof(value);
    else
        return false;
    return true;
}

}  // namespace

ScanResult scan_command_line(int argc, char** argv, Settings& s)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (is(argument, "-v"))
            return ScanResult::version;
        if (is(argument, "-hist")) {
            // A trailing -hist forgets any earlier one rather than failing.
            if (i + 1 == argc) {
                s.history_path = nullptr;
                return ScanResult::run;
            }
            s.history_path = argv[++i];
            continue;
        }
        if (apply_flag(argument, s))
            continue;
        if (i + 1 == argc)
            return ScanResult::usage;
        if (!apply_value(argument, argv[i + 1], s))
            return ScanResult::usage;
        ++i;
    }
    return ScanResult::run;
}

void print_usage()
{
    std::fputs(usage_text, stderr);
    std::exit(1);
}

void parse_command_line(int argc, char** argv, Settings& s)
{
    switch (scan_command_line(argc, argv, s)) {
    case ScanResult::version:
        std::fputs(version_banner, stdout);
        std::exit(0);
    case ScanResult::usage:
        print_usage();
    case ScanResult::run:
        break;
    }
}

void apply_defaults(Settings& s)
{
    if (!s.normal_bg_color)
        s.normal_bg_color = "#222222";
    if (!s.normal_fg_color)
        s.normal_fg_color = "#bbbbbb";
    if (!s.selected_bg_color)
        s.selected_bg_color = "#005577";
    if (!s.selected_fg_color)
        s.selected_fg_color = "#eeeeee";
    if (!s.shade_color)
        s.shade_color = "#000000";
    if (!s.underline_color)
        s.underline_color = s.selected_bg_color;
    if (s.opacity == 0.0)
        s.opacity = 1.0;
}
