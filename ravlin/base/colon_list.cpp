#include "ravlin/base/colon_list.h"

std::vector<std::string_view> split_colon_list(std::string_view text)
{
    std::vector<std::string_view> pieces;
    if (text.empty())
        return pieces;
    for (;;) {
        size_t colon = text.find(':');
        pieces.push_back(text.substr(0, colon));
        if (colon == std::string_view::npos)
            return pieces;
        text.remove_prefix(colon + 1);
    }
}
