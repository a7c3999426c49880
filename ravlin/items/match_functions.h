#pragma once

#include <cstddef>

struct MenuState;
struct Settings;

// The routines chosen by -z, -t and -i, installed once while the command
// line is read so that no option is tested again on the hot path.
struct MatchFunctions {
    // Rebuilds the match list from MenuState::input.
    void (*filter)(MenuState&, const Settings&);
    // 0 when the first n bytes agree (stops early at a NUL).
    int (*prefix_cmp)(const char* a, const char* b, size_t n);
    // First occurrence of needle in text, or null.
    const char* (*substr_find)(const char* text, const char* needle);
    // First byte of text equal to c, or null; c == 0 finds the terminator.
    const char* (*char_find)(const char* text, int c);
};

// filter_ranked with the case-sensitive primitives.
MatchFunctions default_match_functions();
// Switches the three primitives to their case-insensitive forms (-i).
void use_nocase_primitives(MatchFunctions& match);

// The case-sensitive primitives: strncmp, strstr and strchr behind the
// slot types.
int prefix_cmp_exact(const char* a, const char* b, size_t n);
const char* substr_find_exact(const char* text, const char* needle);
const char* char_find_exact(const char* text, int c);

// Which built-in set fills the three primitive slots. The filters search
// whole blocks of labels by the same rules only for a set they know.
enum class PrimitiveSet { exact, nocase, other };
PrimitiveSet primitive_set(const MatchFunctions& match);
