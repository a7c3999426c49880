#include "ravlin/items/match_set.h"

#include <algorithm>
#include <cstring>

namespace {

std::vector<std::string> split_blanks(const std::string& text)
{
    std::vector<std::string> out;
    size_t from = 0;
    while (from < text.size()) {
        size_t to = text.find(' ', from);
        if (to == std::string::npos)
            to = text.size();
        if (to > from)
            out.push_back(text.substr(from, to - from));
        from = to + 1;
    }
    return out;
}

bool is_subsequence(const std::string& small, const std::string& big)
{
    size_t k = 0;
    for (size_t i = 0; i < big.size() && k < small.size(); ++i)
        if (big[i] == small[k])
            ++k;
    return k == small.size();
}

}  // namespace

bool query_narrows(const MatchQuery& earlier, const MatchQuery& later)
{
    if (earlier.kind != later.kind || earlier.primitives != later.primitives || earlier.locale != later.locale ||
        earlier.primitives == PrimitiveSet::other)
        return false;
    if (earlier.kind == FilterKind::fuzzy)
        return is_subsequence(earlier.text, later.text);
    // A label that holds a later token holds each part of it, byte for
    // byte and so under -i too.
    std::vector<std::string> later_tokens = split_blanks(later.text);
    for (const std::string& token : split_blanks(earlier.text)) {
        bool inside = std::any_of(later_tokens.begin(), later_tokens.end(),
                                  [&](const std::string& t) { return t.find(token) != std::string::npos; });
        if (!inside)
            return false;
    }
    return true;
}

MatchSets::MatchSets(size_t entries, size_t budget_bytes) : entries_(entries), budget_(budget_bytes) {}

const MatchSet* MatchSets::find(const MatchQuery& q) const
{
    for (const auto& set : sets_)
        if (set->query == q)
            return set.get();
    return nullptr;
}

const MatchSet* MatchSets::narrowest_holding(const MatchQuery& q) const
{
    const MatchSet* best = nullptr;
    for (const auto& set : sets_)
        if (query_narrows(set->query, q) && (!best || set->matches < best->matches))
            best = set.get();
    return best;
}

std::unique_ptr<MatchSet> MatchSets::fresh(const MatchQuery& q, const MatchSet* spare)
{
    size_t words = (entries_ + entries_per_word - 1) / entries_per_word;
    size_t bytes = words * sizeof(uint64_t);
    std::unique_ptr<MatchSet> set;
    if ((sets_.size() + 1) * bytes > budget_) {
        auto oldest = std::find_if(sets_.begin(), sets_.end(), [&](const auto& s) { return s.get() != spare; });
        if (oldest != sets_.end()) {
            set = std::move(*oldest);
            sets_.erase(oldest);
        }
    }
    if (!set)
        set = std::make_unique<MatchSet>();
    set->query = q;
    set->matches = 0;
    set->words.resize(words);
    return set;
}

void MatchSets::keep(std::unique_ptr<MatchSet> set)
{
    // One query has one set: a search that was made again replaces it.
    sets_.erase(std::remove_if(sets_.begin(), sets_.end(), [&](const auto& s) { return s->query == set->query; }),
                sets_.end());
    sets_.push_back(std::move(set));
}
