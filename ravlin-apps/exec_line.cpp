#include "exec_line.h"

#include <cstring>

std::optional<std::vector<std::string>> split_exec(std::string_view line)
{
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;  // "" is a word of its own, though empty
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (in_word)
                words.push_back(std::move(word));
            word.clear();
            in_word = false;
            continue;
        }
        in_word = true;
        if (c == '"') {
            for (++i;; ++i) {
                if (i == line.size())
                    return std::nullopt;
                if (line[i] == '"')
                    break;
                if (line[i] == '\\' && i + 1 < line.size() && std::strchr("\"`$\\", line[i + 1]))
                    ++i;
                word += line[i];
            }
        } else if (c == '\'') {
            size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            word.append(line.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '\\') {
            if (++i == line.size())
                return std::nullopt;
            word += line[i];
        } else {
            word += c;
        }
    }
    if (in_word)
        words.push_back(std::move(word));
    return words;
}

std::optional<std::vector<std::string>> expand_field_codes(const std::vector<std::string>& words,
                                                           const FieldValues& values)
{
    std::vector<std::string> expanded;
    for (const std::string& word : words) {
        std::string out;
        bool had_code = false;
        for (size_t i = 0; i < word.size(); ++i) {
            if (word[i] != '%') {
                out += word[i];
                continue;
            }
            if (++i == word.size())
                return std::nullopt;
            had_code = true;
            switch (word[i]) {
            case '%': out += '%'; break;
            case 'c': out.append(values.name); break;
            case 'k': out.append(values.location); break;
            case 'i':
                // Two words: what came before joins "--icon", what follows the icon.
                if (!values.icon.empty()) {
                    expanded.push_back(out + "--icon");
                    out.assign(values.icon);
                }
                break;
            case 'f': case 'F': case 'u': case 'U':
            case 'd': case 'D': case 'n': case 'N': case 'v': case 'm':
                break;
            default:
                return std::nullopt;
            }
        }
        if (!out.empty() || !had_code)
            expanded.push_back(std::move(out));
    }
    if (expanded.empty() || expanded[0].empty())
        return std::nullopt;
    return expanded;
}
