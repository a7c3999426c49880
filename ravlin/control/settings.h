#pragma once

#include "ravlin/base/settings.h"
#include "ravlin/items/match_functions.h"

// What the command-line scan decided besides the settings.
enum class ScanResult { run, version, usage };

// Fills settings from the arguments without side effects.
ScanResult scan_command_line(int argc, char** argv, Settings& s);
// scan_command_line, then prints the banner (exit 0) or the usage (exit 1).
void parse_command_line(int argc, char** argv, Settings& s);
[[noreturn]] void print_usage();
// The usage text, five lines.
extern const char usage_text[];
// The banner that -v prints, with its newline.
extern const char version_banner[];

void apply_defaults(Settings& s);
