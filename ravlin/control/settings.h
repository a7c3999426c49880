#pragma once

#include "ravlin/base/settings.h"
#include "ravlin/items/match_functions.h"

typedef struct _XDisplay Display;

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

// Fills unset texts (and always the opacity) from resources, given as the
// text XResourceManagerString returns; null applies nothing.
void apply_resource_string(Settings& s, const char* resources);
// apply_resource_string with the display's resource string.
void apply_x_resources(Settings& s, Display* display);
void apply_defaults(Settings& s);
