// Which translation of a localized key (Name[de_DE]) the user reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The locale that chooses messages, as POSIX ranks the variables: the first
// of LC_ALL, LC_MESSAGES and LANG that is set and not empty ("" if none).
std::string_view messages_locale(const char* lc_all, const char* lc_messages, const char* lang);

// The locale suffixes a key may carry for that locale, best first:
// lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang (the encoding
// of lang_COUNTRY.ENCODING@MODIFIER plays no part). Empty for C and POSIX.
std::vector<std::string> locale_candidates(std::string_view locale);

// The rank of a key's locale suffix among the candidates: 0 is the best;
// candidates.size() for a key without suffix; -1 for a suffix not wanted.
int locale_rank(std::string_view suffix, const std::vector<std::string>& candidates);
