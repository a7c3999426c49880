#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ravlin/items/match_functions.h"

// What a filter run found, kept beside a loaded entry array: two bits per
// entry, in array order. Typing on searches only the entries of an earlier
// set that every answer must come from, and erasing back to an input seen
// a moment ago links its set again without searching at all.

// The class an entry had in a run: the ranked filter's three, or unranked_match for
// the two filters that do not rank.
enum class MatchClass : uint8_t { none = 0, exact = 1, prefix = 2, substring = 3 };
constexpr MatchClass unranked_match = MatchClass::exact;

enum class FilterKind : uint8_t { ranked, tokens, fuzzy };

// Everything a filter's answer depends on besides the entries.
struct MatchQuery {
    FilterKind kind;
    PrimitiveSet primitives;
    // The tokens joined by one blank (ranked, tokens), or the input (fuzzy).
    std::string text;
    // Under -i, how the locale folds and classifies bytes: tolower of each
    // byte and isalpha of each signed char. Empty otherwise.
    std::string locale;

    bool operator==(const MatchQuery&) const = default;
};

// True when every entry that answers later also answered earlier: the
// same filter, primitives and locale, and for the token filters every
// earlier token is part of a later one, for the fuzzy filter the earlier
// input a subsequence of the later one.
bool query_narrows(const MatchQuery& earlier, const MatchQuery& later);

struct MatchSet {
    MatchQuery query;
    size_t matches = 0;
    std::vector<uint64_t> words;  // 32 entries a word, entry i at bits 2(i % 32)

    MatchClass at(size_t i) const { return static_cast<MatchClass>(words[i / 32] >> (i % 32 * 2) & 3); }
};

// Entries of one 64-bit word of codes.
constexpr size_t entries_per_word = 32;

// The recent sets of one entry array, the newest last, within a budget of
// bytes (always at least the newest one).
class MatchSets {
public:
    MatchSets(size_t entries, size_t budget_bytes);

    size_t entries() const { return entries_; }
    // The set of exactly this query, or null.
    const MatchSet* find(const MatchQuery& q) const;
    // The smallest set whose answers hold every answer of q, or null.
    const MatchSet* narrowest_holding(const MatchQuery& q) const;
    // A set for q with words for every entry (their bits stale: the search
    // writes each word), reusing the storage of the oldest set other than
    // spare when the budget is spent; pass it to keep once it is filled.
    std::unique_ptr<MatchSet> fresh(const MatchQuery& q, const MatchSet* spare);
    void keep(std::unique_ptr<MatchSet> set);

private:
    size_t entries_;
    size_t budget_;
    std::vector<std::unique_ptr<MatchSet>> sets_;  // oldest first
};
