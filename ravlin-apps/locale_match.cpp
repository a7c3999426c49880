#include "locale_match.h"

std::string_view messages_locale(const char* lc_all, const char* lc_messages, const char* lang)
{
    for (const char* value : {lc_all, lc_messages, lang})
        if (value && *value)
            return value;
    return "";
}

std::vector<std::string> locale_candidates(std::string_view locale)
{
    size_t at = locale.find('@');
    std::string_view modifier = at == std::string_view::npos ? "" : locale.substr(at + 1);
    std::string_view rest = locale.substr(0, at);
    rest = rest.substr(0, rest.find('.'));
    size_t underscore = rest.find('_');
    std::string_view lang = rest.substr(0, underscore);
    std::string_view country = underscore == std::string_view::npos ? "" : rest.substr(underscore + 1);
    if (lang.empty() || lang == "C" || lang == "POSIX")
        return {};

    std::string with_country = std::string(lang) + "_" + std::string(country);
    std::vector<std::string> candidates;
    if (!country.empty() && !modifier.empty())
        candidates.push_back(with_country + "@" + std::string(modifier));
    if (!country.empty())
        candidates.push_back(with_country);
    if (!modifier.empty())
        candidates.push_back(std::string(lang) + "@" + std::string(modifier));
    candidates.emplace_back(lang);
    return candidates;
}

int locale_rank(std::string_view suffix, const std::vector<std::string>& candidates)
{
    if (suffix.empty())
        return static_cast<int>(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i] == suffix)
            return static_cast<int>(i);
    return -1;
}
