// Which earlier answers hold a later query's (the searches narrow only
// those), and how the kept sets share their byte budget.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ravlin/items/match_set.h"

namespace {

MatchQuery query(FilterKind kind, const std::string& text, PrimitiveSet set = PrimitiveSet::exact,
                 const std::string& locale = "")
{
    return {kind, set, text, locale};
}

}  // namespace

TEST(MatchQuery, NarrowsOnlyWhereEveryLaterAnswerWasAnEarlierOne)
{
    using K = FilterKind;
    struct Case {
        K kind;
        const char* earlier;
        const char* later;
        bool narrows;
    };
    for (Case c : {Case{K::ranked, "", "a", true}, Case{K::ranked, "li", "lib", true},
                   Case{K::ranked, "lib", "li", false}, Case{K::ranked, "a", "b a", true},
                   Case{K::ranked, "ab", "a b", false}, Case{K::ranked, "a b", "ab", true},
                   Case{K::ranked, "b a", "xbx ya", true}, Case{K::tokens, "ib", "lib x", true},
                   Case{K::tokens, "lb", "lib", false}, Case{K::fuzzy, "lb", "lib", true},
                   Case{K::fuzzy, "bl", "lib", false}, Case{K::fuzzy, "a b", "ab", false},
                   Case{K::fuzzy, "", "x", true}}) {
        SCOPED_TRACE(std::string(c.earlier) + " -> " + c.later);
        EXPECT_EQ(query_narrows(query(c.kind, c.earlier), query(c.kind, c.later)), c.narrows);
    }
    // Another filter, other primitives or another locale answer otherwise.
    EXPECT_FALSE(query_narrows(query(K::ranked, "a"), query(K::tokens, "ab")));
    EXPECT_FALSE(query_narrows(query(K::ranked, "a"), query(K::ranked, "ab", PrimitiveSet::nocase)));
    EXPECT_FALSE(query_narrows(query(K::ranked, "a", PrimitiveSet::nocase, "C"),
                               query(K::ranked, "ab", PrimitiveSet::nocase, "tr")));
    EXPECT_FALSE(query_narrows(query(K::ranked, "a", PrimitiveSet::other), query(K::ranked, "ab", PrimitiveSet::other)));
}

TEST(MatchSets, KeepTheNewestWithinTheBudgetAndNeverTheSetInUse)
{
    // 64 entries: two words, 16 bytes a set; room for two.
    MatchSets sets(64, 32);
    auto keep = [&](const char* text, const MatchSet* spare) {
        auto set = sets.fresh(query(FilterKind::ranked, text), spare);
        EXPECT_EQ(set->words.size(), 2u);
        sets.keep(std::move(set));
        return sets.find(query(FilterKind::ranked, text));
    };
    const MatchSet* a = keep("a", nullptr);
    keep("ab", nullptr);
    ASSERT_NE(sets.find(query(FilterKind::ranked, "a")), nullptr);
    // Full: the next takes the oldest's storage unless a search reads it.
    keep("abc", a);
    EXPECT_EQ(sets.find(query(FilterKind::ranked, "a")), a);
    EXPECT_EQ(sets.find(query(FilterKind::ranked, "ab")), nullptr);
    keep("abcd", nullptr);
    EXPECT_EQ(sets.find(query(FilterKind::ranked, "a")), nullptr);
    EXPECT_NE(sets.find(query(FilterKind::ranked, "abc")), nullptr);
    EXPECT_EQ(sets.narrowest_holding(query(FilterKind::ranked, "abcde"))->query.text, "abc");
}
