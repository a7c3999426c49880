// The three filters: ranking classes, tokens, the fuzzy walk, -i, and the
// block-wide search held against a per-entry reference on random entries.
// Every case runs twice: on entries read by load_entries (whose labels lie
// in blocks the filters search whole) and on a hand-made array.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "items_reference.h"
#include "ravlin/items/chunked_search.h"
#include "ravlin/items/line_reader.h"
#include "ravlin/items/worker_pool.h"

using namespace items_reference;
using Labels = std::vector<std::string>;

namespace {

using FilterFn = void (*)(MenuState&, const Settings&);

class Menu {
public:
    Menu(const Labels& labels, bool loaded, size_t block_size = 64 * 1024) : labels_(labels)
    {
        if (loaded) {
            std::string text;
            for (const std::string& l : labels)
                text += l + "\n";
            LineReader reader;
            reader.labels.block_size = block_size;
            reader.labels.max_block_size = block_size;
            FILE* f = stream_of(text);
            load_entries(*m, s, f, reader);
            std::fclose(f);
        } else {
            for (std::string& l : labels_)
                entries_.push_back({l.data(), nullptr, nullptr});
            entries_.push_back({nullptr, nullptr, nullptr});
            m->entries = labels_.empty() ? nullptr : entries_.data();
        }
    }
    ~Menu()
    {
        if (!entries_.empty() || !m->entries)
            return;
        release_entries(*m);
    }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    // Runs the filter on input and gives the list as labels.
    Labels run(FilterFn filter, const std::string& input, bool nocase = false)
    {
        return to_labels(run_indexes(filter, input, nocase));
    }
    std::vector<size_t> run_indexes(FilterFn filter, const std::string& input, bool nocase)
    {
        s.match = default_match_functions();
        if (nocase)
            use_nocase_primitives(s.match);
        s.match.filter = filter;
        std::snprintf(m->input, sizeof m->input, "%s", input.c_str());
        s.match.filter(*m, s);
        std::vector<size_t> list = match_list(*m);
        EXPECT_EQ(m->selected, m->match_head);
        EXPECT_EQ(m->page_first, m->match_head);
        return list;
    }
    Labels to_labels(const std::vector<size_t>& list) const
    {
        Labels out;
        for (size_t i : list)
            out.push_back(i < labels_.size() ? labels_[i] : "<broken list>");
        return out;
    }

    StatePtr m = make_state();
    Settings s;

private:
    Labels labels_;
    std::vector<Entry> entries_;
};

// The list that filter gives on input, the same for both kinds of arrays.
Labels listed(const Labels& labels, FilterFn filter, const std::string& input, bool nocase = false)
{
    Menu loaded(labels, true);
    Menu built(labels, false);
    Labels a = loaded.run(filter, input, nocase);
    Labels b = built.run(filter, input, nocase);
    EXPECT_EQ(a, b) << "loaded and hand-made arrays disagree on '" << input << "'";
    return a;
}

}  // namespace

TEST(RankedFilter, ListsExactThenPrefixThenSubstringMatches)
{
    Labels labels{"xfoo", "foobar", "Foo", "foo"};
    EXPECT_EQ(listed(labels, filter_ranked, "foo"), (Labels{"foo", "foobar", "xfoo"}));
    EXPECT_EQ(listed(labels, filter_ranked, "foo", true), (Labels{"Foo", "foo", "foobar", "xfoo"}));
    EXPECT_EQ(listed(labels, filter_ranked, "FOO", true), (Labels{"Foo", "foo", "foobar", "xfoo"}));
    EXPECT_EQ(listed(labels, filter_ranked, "FOO"), Labels{});
}

TEST(RankedFilter, OnlyTheFirstTokenDecidesTheClass)
{
    Labels labels{"foobar", "bar", "barfoo", "bar foo", "xbar foo"};
    EXPECT_EQ(listed(labels, filter_ranked, "bar foo"),
              (Labels{"barfoo", "bar foo", "foobar", "xbar foo"}));
    EXPECT_EQ(listed(labels, filter_ranked, "  foo   bar "),
              (Labels{"foobar", "barfoo", "bar foo", "xbar foo"}));
    EXPECT_EQ(listed(labels, filter_tokens, "bar foo"),
              (Labels{"foobar", "barfoo", "bar foo", "xbar foo"}));
}

TEST(RankedFilter, EmptyOrBlankInputListsEverythingInArrayOrder)
{
    Labels labels{"b", "a", "", "c d"};
    for (const char* input : {"", " ", "   "}) {
        EXPECT_EQ(listed(labels, filter_ranked, input), labels);
        EXPECT_EQ(listed(labels, filter_tokens, input), labels);
    }
    EXPECT_EQ(listed(labels, filter_fuzzy, ""), labels);
    EXPECT_EQ(listed({"a", "a b", "a  b", " x "}, filter_fuzzy, "  "), (Labels{"a  b", " x "}));
}

TEST(RankedFilter, TokensAreFoundIndependentlyAndMayOverlap)
{
    Labels labels{"foo", "fo", "of"};
    EXPECT_EQ(listed(labels, filter_ranked, "oo o"), (Labels{"foo"}));
    EXPECT_EQ(listed(labels, filter_tokens, "oo o"), (Labels{"foo"}));
    EXPECT_EQ(listed(labels, filter_ranked, "o o o"), (Labels{"of", "foo", "fo"}));
}

TEST(RankedFilter, OnlyTheBlankSplitsTokens)
{
    Labels labels{"a\tb", "a b", "ab"};
    EXPECT_EQ(listed(labels, filter_ranked, "a\tb"), (Labels{"a\tb"}));
    EXPECT_EQ(listed(labels, filter_tokens, "a\tb"), (Labels{"a\tb"}));
    EXPECT_EQ(listed(labels, filter_ranked, "b a"), (Labels{"a\tb", "a b", "ab"}));
}

TEST(RankedFilter, TokenTableGrowsOneSlotAtATimeAndIsKept)
{
    Menu menu({"a b c d"}, true);
    menu.run(filter_ranked, "a b c", false);
    EXPECT_EQ(menu.m->token_capacity, 3);
    char** table = menu.m->tokens;
    menu.run(filter_ranked, "a", false);
    EXPECT_EQ(menu.m->token_capacity, 3);
    EXPECT_EQ(menu.m->tokens, table);
    EXPECT_EQ(menu.run(filter_ranked, "d c b a", false), (Labels{"a b c d"}));
    EXPECT_EQ(menu.m->token_capacity, 4);
}

TEST(TokenFilter, KeepsArrayOrderWithoutRanking)
{
    Labels labels{"xfoo", "foobar", "Foo", "foo"};
    EXPECT_EQ(listed(labels, filter_tokens, "foo"), (Labels{"xfoo", "foobar", "foo"}));
    EXPECT_EQ(listed(labels, filter_tokens, "foo", true), labels);
}

TEST(FuzzyFilter, NeedsTheInputBytesInOrder)
{
    Labels labels{"foobar", "fb", "bf", "fo", "f o b"};
    EXPECT_EQ(listed(labels, filter_fuzzy, "fb"), (Labels{"foobar", "fb", "f o b"}));
    EXPECT_EQ(listed(labels, filter_fuzzy, "oo"), (Labels{"foobar"}));
    EXPECT_EQ(listed(labels, filter_fuzzy, "FB", true), (Labels{"foobar", "fb", "f o b"}));
    EXPECT_EQ(listed(labels, filter_fuzzy, "FB"), Labels{});
    // The blank is an ordinary byte for the fuzzy filter.
    EXPECT_EQ(listed(labels, filter_fuzzy, "f b"), (Labels{"f o b"}));
}

TEST(FuzzyFilter, MultibyteCharactersMatchByteForByte)
{
    LocaleScope utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok());
    Labels labels{"caf\xc3\xa9", "cafe", "CAF\xc3\x89", "\xc3x\xa9"};
    EXPECT_EQ(listed(labels, filter_fuzzy, "\xc3\xa9"), (Labels{"caf\xc3\xa9", "\xc3x\xa9"}));
    // Case is ignored for ASCII letters only; the bytes of É and é differ.
    EXPECT_EQ(listed(labels, filter_fuzzy, "CAF\xc3\xa9", true), (Labels{"caf\xc3\xa9"}));
    EXPECT_EQ(listed(labels, filter_ranked, "caf\xc3\x89", true), (Labels{"CAF\xc3\x89"}));
}

TEST(AllFilters, BlockSearchesAgreeOnEveryLengthAndPosition)
{
    // Every label of up to 80 bytes with an "a" and a "b" at every pair of
    // positions (or one or neither), the rest "x". Back to back, the labels
    // start at every offset of the blocks that the searches read, and the
    // 64 KiB label blocks end among them; "x" is in nearly every label.
    Labels labels;
    for (size_t length = 0; length <= 80; ++length)
        for (size_t a = 0; a <= length; ++a)
            for (size_t b = 0; b <= length; ++b) {
                if (a == b && a < length)
                    continue;
                std::string label(length, 'x');
                if (a < length)
                    label[a] = 'a';
                if (b < length)
                    label[b] = 'b';
                labels.push_back(label);
            }
    struct Case {
        FilterFn fn;
        Filter kind;
    };
    // In one chunk on the calling thread, then in chunks of 32 entries on
    // three threads, each chunk's edges at other labels.
    for (size_t chunk : {0, 32}) {
        if (chunk)
            start_workers(3);
        set_search_chunk_entries(chunk);
        Menu loaded(labels, true);
        for (Case c : {Case{filter_ranked, Filter::ranked}, Case{filter_tokens, Filter::tokens},
                       Case{filter_fuzzy, Filter::fuzzy}}) {
            for (const char* input : {"a", "ab", "ba", "aa", "x", "xa", "bx", "xxax", "abx", "a b", "x xb"}) {
                for (bool nocase : {false, true}) {
                    std::string typed = input;
                    if (nocase)
                        for (char& ch : typed)
                            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                    SCOPED_TRACE(typed + " in chunks of " + std::to_string(chunk));
                    EXPECT_EQ(loaded.run_indexes(c.fn, typed, nocase),
                              reference_filter(c.kind, labels, typed, nocase));
                }
            }
        }
    }
    set_search_chunk_entries(0);
}

TEST(AllFilters, NoEntriesGiveAnEmptyList)
{
    for (FilterFn filter : {filter_ranked, filter_tokens, filter_fuzzy}) {
        Menu none({}, false);
        none.run(filter, "", false);
        EXPECT_EQ(none.m->match_head, nullptr);
        EXPECT_EQ(none.m->match_tail, nullptr);
        EXPECT_EQ(none.m->selected, nullptr);
        EXPECT_EQ(none.m->page_first, nullptr);
        none.run(filter, "x", true);
        EXPECT_EQ(none.m->match_head, nullptr);
    }
    // An array that holds only its terminator.
    Entry only_end{nullptr, nullptr, nullptr};
    auto m = make_state();
    Settings s;
    m->entries = &only_end;
    filter_tokens(*m, s);
    EXPECT_EQ(m->match_head, nullptr);
    EXPECT_EQ(m->match_tail, nullptr);
}

TEST(AllFilters, ArrayMadeByHandBesideLoadedEntriesIsSearchedByItself)
{
    // The loaded layout stays in the state, but it describes another array.
    Menu menu({"alpha", "alphabet"}, true);
    std::string gamma = "gamma", beta = "alphabeta";
    Entry own[] = {{gamma.data(), nullptr, nullptr}, {beta.data(), nullptr, nullptr}, {nullptr, nullptr, nullptr}};
    Entry* loaded = menu.m->entries;
    menu.m->entries = own;
    for (FilterFn filter : {filter_ranked, filter_tokens, filter_fuzzy}) {
        for (bool nocase : {false, true}) {
            std::snprintf(menu.m->input, sizeof menu.m->input, "%s", nocase ? "ALPHA" : "alpha");
            menu.s.match = default_match_functions();
            if (nocase)
                use_nocase_primitives(menu.s.match);
            filter(*menu.m, menu.s);
            EXPECT_EQ(menu.m->match_head, &own[1]);
            EXPECT_EQ(menu.m->match_tail, &own[1]);
        }
    }
    menu.m->entries = loaded;
}

TEST(AllFilters, RefilteringDropsEntriesOfTheEarlierList)
{
    Menu menu({"alpha", "beta", "alphabet"}, true);
    EXPECT_EQ(menu.run(filter_ranked, "a", false), (Labels{"alpha", "alphabet", "beta"}));
    EXPECT_EQ(menu.run(filter_ranked, "bet", false), (Labels{"beta", "alphabet"}));
    EXPECT_EQ(menu.run(filter_fuzzy, "ab", false), (Labels{"alphabet"}));
    EXPECT_EQ(menu.run(filter_tokens, "", false), (Labels{"alpha", "beta", "alphabet"}));
}

namespace {

std::string random_label(std::mt19937& rng)
{
    static const char alphabet[] = "aAbB /\xc3\xa9\xc9\xe9\xff\x80Xx";
    int length = std::uniform_int_distribution<int>(0, 12)(rng);
    std::string label;
    for (int i = 0; i < length; ++i)
        label += alphabet[std::uniform_int_distribution<size_t>(0, sizeof alphabet - 2)(rng)];
    return label;
}

// Pieces of labels, blanks and stray bytes, so inputs both match and miss.
std::string random_input(std::mt19937& rng, const Labels& labels)
{
    std::string input;
    int parts = std::uniform_int_distribution<int>(0, 3)(rng);
    for (int i = 0; i < parts; ++i) {
        const std::string& l = labels[std::uniform_int_distribution<size_t>(0, labels.size() - 1)(rng)];
        size_t from = l.empty() ? 0 : std::uniform_int_distribution<size_t>(0, l.size() - 1)(rng);
        size_t length = std::uniform_int_distribution<size_t>(0, 4)(rng);
        input += l.substr(from, length);
        if (std::uniform_int_distribution<int>(0, 3)(rng) == 0)
            input += random_label(rng).substr(0, 2);
        if (std::uniform_int_distribution<int>(0, 1)(rng))
            input += ' ';
    }
    return input;
}

}  // namespace

TEST(AllFilters, BlockSearchAndPrimitivesAgreeWithPlainReference)
{
    std::mt19937 rng(1234);
    for (const std::string& name : test_locales()) {
        const char* locale = name.c_str();
        LocaleScope scope(locale);
        ASSERT_TRUE(scope.ok()) << locale;
        for (int round = 0; round < 60; ++round) {
            Labels labels;
            int count = std::uniform_int_distribution<int>(1, 120)(rng);
            for (int i = 0; i < count; ++i)
                labels.push_back(random_label(rng));
            // Small blocks make many runs, so hits land near their edges.
            Menu loaded(labels, true, std::uniform_int_distribution<size_t>(8, 300)(rng));
            Menu built(labels, false);
            for (int q = 0; q < 30; ++q) {
                std::string input = random_input(rng, labels);
                for (bool nocase : {false, true}) {
                    SCOPED_TRACE(std::string(locale) + " input '" + input + "'" + (nocase ? " -i" : ""));
                    struct Case {
                        FilterFn fn;
                        Filter kind;
                    };
                    for (Case c : {Case{filter_ranked, Filter::ranked}, Case{filter_tokens, Filter::tokens},
                                   Case{filter_fuzzy, Filter::fuzzy}}) {
                        std::vector<size_t> expected = reference_filter(c.kind, labels, input, nocase);
                        ASSERT_EQ(loaded.run_indexes(c.fn, input, nocase), expected);
                        ASSERT_EQ(built.run_indexes(c.fn, input, nocase), expected);
                    }
                }
            }
        }
    }
}

TEST(AllFilters, EditsOnWorkerThreadsGiveTheListsOfOnePlainPass)
{
    // Inputs grow and shrink one byte at a time anywhere in the text, so the
    // searches narrow earlier sets, link recent ones again and start afresh,
    // over arrays cut into chunks of 32 entries that three threads share;
    // every other array keeps no more sets than it must, so the set that a
    // search narrows is the one that storage would be taken from.
    start_workers(3);
    set_search_chunk_entries(32);
    std::mt19937 rng(99);
    static const char typed[] = "aAbB x/\xc3\xa9";
    for (const std::string& name : test_locales()) {
        LocaleScope scope(name.c_str());
        ASSERT_TRUE(scope.ok()) << name;
        for (int round = 0; round < 12; ++round) {
            Labels labels;
            int count = std::uniform_int_distribution<int>(1, 2000)(rng);
            for (int i = 0; i < count; ++i)
                labels.push_back(random_label(rng));
            set_match_sets_budget(round % 2);
            Menu loaded(labels, true, std::uniform_int_distribution<size_t>(8, 4000)(rng));
            for (bool nocase : {false, true}) {
                struct Case {
                    FilterFn fn;
                    Filter kind;
                };
                for (Case c : {Case{filter_ranked, Filter::ranked}, Case{filter_tokens, Filter::tokens},
                               Case{filter_fuzzy, Filter::fuzzy}}) {
                    std::string input;
                    for (int step = 0; step < 40; ++step) {
                        size_t at = std::uniform_int_distribution<size_t>(0, input.size())(rng);
                        if (!input.empty() && std::uniform_int_distribution<int>(0, 2)(rng) == 0)
                            input.erase(at == input.size() ? at - 1 : at, 1);
                        else
                            input.insert(at, 1, typed[std::uniform_int_distribution<size_t>(0, sizeof typed - 2)(rng)]);
                        SCOPED_TRACE(name + " input '" + input + "'" + (nocase ? " -i" : ""));
                        ASSERT_EQ(loaded.run_indexes(c.fn, input, nocase),
                                  reference_filter(c.kind, labels, input, nocase));
                    }
                    // Back to the empty input the way BackSpace goes.
                    while (!input.empty()) {
                        input.pop_back();
                        ASSERT_EQ(loaded.run_indexes(c.fn, input, nocase),
                                  reference_filter(c.kind, labels, input, nocase));
                    }
                }
            }
        }
    }
    set_search_chunk_entries(0);
    set_match_sets_budget(0);
}
