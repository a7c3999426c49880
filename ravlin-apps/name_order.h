// The order of the applications by name: alphabetical, case set aside, in
// every locale.
#pragma once

#include <string>
#include <string_view>

// A key whose byte order is the order of the names; equal keys are told
// apart by the names' bytes. In a locale with a collation of its own (its first level sets case and accents aside), the
// locale's LC_COLLATE decides. In C, POSIX or C.UTF-8 (also where the user's
// locale is not installed), which order bytes and so put every capital
// before every small letter, letters are compared by their small base
// letter first ("Écran" beside "ecran", Latin, Greek and Cyrillic), then by
// their bytes.
std::string name_sort_key(std::string_view name);
