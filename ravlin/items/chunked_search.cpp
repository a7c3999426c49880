#include "ravlin/items/chunked_search.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/settings.h"
#include "ravlin/items/byte_scan.h"
#include "ravlin/items/case_fold.h"
#include "ravlin/items/chain.h"
#include "ravlin/items/entry_reader.h"
#include "ravlin/items/label_store.h"
#include "ravlin/items/match_functions.h"
#include "ravlin/items/subsequence_scan.h"
#include "ravlin/items/token_scan.h"
#include "ravlin/items/worker_pool.h"

namespace {

size_t chunk_override = 0;
size_t sets_budget = 0;  // 0: the rule of sets_budget_for

// Labels between two candidates shorter than this are read through rather
// than starting the search afresh after them.
constexpr ptrdiff_t gap_bytes = 256;

// One chunk's matches: a chain per class, in array order.
struct ChunkLists {
    Entry* head[3] = {};
    Entry* tail[3] = {};
    size_t matches = 0;
};

// Everything a chunk reads is made before the job starts and only read
// while it runs: no chunk asks the locale or the slots anything.
struct Job {
    Entry* entries = nullptr;
    const std::vector<LabelRun>* runs = nullptr;
    size_t count = 0;
    size_t chunk_entries = 0;
    const SearchFor* what = nullptr;
    const MatchSet* replay = nullptr;  // link this set again, search nothing
    const MatchSet* base = nullptr;    // else search only its entries (null: all)
    bool base_sparse = false;          // search the base's entries stretch by stretch
    MatchSet* out = nullptr;           // and write what was found here
    std::vector<NeedleScanner> scanners;  // one per token
    int key = 0;                          // the token searched across the labels
    const unsigned char* lower = nullptr; // folding under -i
    size_t first_length = 0;
    std::vector<ChunkLists> lists;
};

// Calls visit(i) for every entry in [a, b) that set holds, in order.
template <class Visit>
void for_each_held(const MatchSet& set, size_t a, size_t b, Visit visit)
{
    const uint64_t* words = set.words.data();
    for (size_t w = a / entries_per_word; w * entries_per_word < b; ++w) {
        size_t at = w * entries_per_word;
        uint64_t x = words[w];
        uint64_t held = (x | x >> 1) & 0x5555555555555555ull;
        if (at < a)
            held &= ~0ull << ((a - at) * 2);
        if (b - at < entries_per_word)
            held &= (1ull << ((b - at) * 2)) - 1;
        while (held) {
            size_t i = at + static_cast<size_t>(__builtin_ctzll(held)) / 2;
            held &= held - 1;
            visit(i);
        }
    }
}

void record(MatchSet& set, size_t i, MatchClass c)
{
    set.words[i / entries_per_word] |= static_cast<uint64_t>(c) << (i % entries_per_word * 2);
}

// The ranked class of a label that holds every token, when the search did
// not see where the first token begins: prefix_cmp with n = L + 1 and L.
MatchClass rank_by_compare(const Job& job, const char* label)
{
    const unsigned char* first = reinterpret_cast<const unsigned char*>(job.what->tokens[0]);
    const unsigned char* text = reinterpret_cast<const unsigned char*>(label);
    size_t n = job.first_length;
    size_t j = 0;
    if (job.lower) {
        while (j < n && job.lower[text[j]] == job.lower[first[j]])
            ++j;
    } else {
        while (j < n && text[j] == first[j])
            ++j;
    }
    if (j < n)
        return MatchClass::substring;
    // Only NUL folds to NUL on this path, so the label ends where the token does.
    return text[n] == '\0' ? MatchClass::exact : MatchClass::prefix;
}

// Searches the labels of entries [a, b), which lie back to back; end is
// just past the NUL of the last.
void search_stretch(Job& job, size_t a, size_t b, const char* end, ChunkLists& lists)
{
    Entry* entries = job.entries;
    const char* begin = entries[a].label;
    const SearchFor& what = *job.what;
    if (what.kind == FilterKind::fuzzy) {
        LabelRun part{a, b - a, begin, end};
        append_holding_in_order(entries, part, what.spellings, what.input_length, lists.head[0], lists.tail[0]);
        return;
    }
    // Chains of locals, which the stores into the entries cannot touch, so
    // that a key nearly every label holds keeps them in registers.
    Entry *exact_head = lists.head[0], *exact_tail = lists.tail[0];
    Entry *prefix_head = lists.head[1], *prefix_tail = lists.tail[1];
    Entry *other_head = lists.head[2], *other_tail = lists.tail[2];
    uint64_t* words = job.out->words.data();
    const MatchSet* base = job.base;
    const bool ranked = what.kind == FilterKind::ranked;
    const bool first_is_key = job.key == 0;
    const size_t first_length = job.first_length;
    size_t matches = 0;
    size_t low = a;
    job.scanners[static_cast<size_t>(job.key)].scan(begin, end, [&](const char* hit) -> const char* {
        // Near the last hit the label pointers in cache tell the entry; far
        // from it a search over them would miss the cache at every step,
        // while the bytes between, just read, show a NUL per label passed.
        const char* from = entries[low].label;
        size_t i = hit - from < 512 ? entry_holding(entries, low, b, hit) : low + count_nuls(from, hit);
        low = i + 1;
        const char* next = low < b ? entries[low].label : nullptr;
        if (base && base->at(i) == MatchClass::none)
            return next;
        Entry* e = entries + i;
        const char* label_end = next ? next : end;
        for (int k = 0; k < what.token_count; ++k)
            if (k != job.key && !job.scanners[static_cast<size_t>(k)].find(e->label, label_end))
                return next;
        MatchClass c = unranked_match;
        if (ranked) {
            if (first_is_key)
                c = hit != e->label                   ? MatchClass::substring
                    : e->label[first_length] == '\0' ? MatchClass::exact
                                                      : MatchClass::prefix;
            else
                c = rank_by_compare(job, e->label);
        }
        if (c == MatchClass::exact)
            chain_append(e, exact_head, exact_tail);
        else if (c == MatchClass::prefix)
            chain_append(e, prefix_head, prefix_tail);
        else
            chain_append(e, other_head, other_tail);
        words[i / entries_per_word] |= static_cast<uint64_t>(c) << (i % entries_per_word * 2);
        ++matches;
        return next;
    });
    lists.head[0] = exact_head, lists.tail[0] = exact_tail;
    lists.head[1] = prefix_head, lists.tail[1] = prefix_tail;
    lists.head[2] = other_head, lists.tail[2] = other_tail;
    lists.matches += matches;
}

// Searches entries [a, b) of run: all of them, or the stretches that hold
// the base set's entries, with short gaps between them read through.
void search_part(Job& job, const LabelRun& run, size_t a, size_t b, ChunkLists& lists)
{
    Entry* entries = job.entries;
    size_t run_end = run.first + run.count;
    auto end_of = [&](size_t last) { return last + 1 < run_end ? entries[last + 1].label : run.end; };
    if (!job.base || !job.base_sparse) {
        // Among dense candidates the stretches would be short: one search
        // over all of them costs less, and passes the others' hits by.
        search_stretch(job, a, b, end_of(b - 1), lists);
        return;
    }
    bool open = false;
    size_t from = 0, to = 0;  // the stretch [from, to)
    for_each_held(*job.base, a, b, [&](size_t i) {
        if (open && (i == to || entries[i].label - entries[to].label < gap_bytes)) {
            to = i + 1;
            return;
        }
        if (open)
            search_stretch(job, from, to, end_of(to - 1), lists);
        open = true;
        from = i;
        to = i + 1;
    });
    if (open)
        search_stretch(job, from, to, end_of(to - 1), lists);
}

void run_chunk(Job& job, size_t chunk)
{
    size_t lo = chunk * job.chunk_entries;
    size_t hi = std::min(job.count, lo + job.chunk_entries);
    ChunkLists& lists = job.lists[chunk];
    if (job.replay) {
        for_each_held(*job.replay, lo, hi, [&](size_t i) {
            int slot = static_cast<int>(job.replay->at(i)) - 1;
            chain_append(job.entries + i, lists.head[slot], lists.tail[slot]);
            ++lists.matches;
        });
        return;
    }
    // Chunks start on a word, so each clears and writes only its own words.
    uint64_t* words = job.out->words.data();
    std::fill(words + lo / entries_per_word, words + (hi + entries_per_word - 1) / entries_per_word, 0);
    const std::vector<LabelRun>& runs = *job.runs;
    auto run = std::upper_bound(runs.begin(), runs.end(), lo,
                                [](size_t i, const LabelRun& r) { return i < r.first; });
    if (run != runs.begin())
        --run;
    for (; run != runs.end() && run->first < hi; ++run) {
        size_t a = std::max(lo, run->first);
        size_t b = std::min(hi, run->first + run->count);
        if (a < b)
            search_part(job, *run, a, b, lists);
    }
    if (job.what->kind == FilterKind::fuzzy)
        for (Entry* e = lists.head[0]; e; e = e->after) {
            record(*job.out, static_cast<size_t>(e - job.entries), unranked_match);
            ++lists.matches;
        }
}

// 8 MiB, or room for eight sets where that holds fewer: erasing an input
// of six keys comes back through five sets. Eight sets are two bytes a
// line, within the memory the entries may take beyond their labels.
size_t sets_budget_for(size_t entries)
{
    if (sets_budget)
        return sets_budget;
    size_t set_bytes = (entries + entries_per_word - 1) / entries_per_word * sizeof(uint64_t);
    return std::max<size_t>(8 * 1024 * 1024, 8 * set_bytes);
}

MatchQuery query_of(const SearchFor& what, PrimitiveSet set, const CaseFold* fold)
{
    MatchQuery q{what.kind, set, {}, {}};
    if (what.kind == FilterKind::fuzzy) {
        q.text.assign(what.input, what.input_length);
    } else {
        for (int k = 0; k < what.token_count; ++k) {
            if (k)
                q.text += ' ';
            q.text += what.tokens[k];
        }
    }
    if (fold) {
        q.locale.assign(reinterpret_cast<const char*>(fold->lower), sizeof fold->lower);
        for (int c = -128; c < 128; ++c)
            q.locale += std::isalpha(c) ? '1' : '0';
    }
    return q;
}

}  // namespace

void forget_searches(MenuState& m)
{
    if (m.loaded) {
        delete m.loaded->sets;
        m.loaded->sets = nullptr;
    }
}

void set_match_sets_budget(size_t bytes)
{
    sets_budget = bytes;
}

void set_search_chunk_entries(size_t entries)
{
    chunk_override = entries;
}

bool search_loaded(MenuState& m, const Settings& s, const SearchFor& what)
{
    const LoadedEntries* layout = loaded_layout(m);
    if (!layout || layout->count == 0)
        return false;
    PrimitiveSet set = primitive_set(s.match);
    if (set == PrimitiveSet::other)
        return false;
    const CaseFold* fold = set == PrimitiveSet::nocase ? &current_case_fold() : nullptr;
    if (fold && !fold->nul_only_folds_to_nul)
        return false;
    if (what.kind == FilterKind::fuzzy ? !what.spellings || what.input_length == 0 || !subsequence_scan_available()
                                       : what.token_count == 0)
        return false;

    Job job;
    std::unique_ptr<MatchSet> found;
    try {
        if (!m.loaded->sets)
            m.loaded->sets = new MatchSets(layout->count, sets_budget_for(layout->count));
        MatchSets& sets = *m.loaded->sets;
        MatchQuery q = query_of(what, set, fold);
        job.replay = sets.find(q);
        if (!job.replay) {
            job.base = sets.narrowest_holding(q);
            // The fuzzy walk reads a failing label to its end, so skipping
            // even a few labels between candidates pays.
            job.base_sparse = job.base && (what.kind == FilterKind::fuzzy || job.base->matches < layout->count / 4);
            found = sets.fresh(q, job.base);
            job.out = found.get();
            for (int k = 0; k < what.token_count; ++k) {
                size_t length = std::strlen(what.tokens[k]);
                job.scanners.emplace_back(what.tokens[k], length, fold);
                if (length > job.scanners[static_cast<size_t>(job.key)].length())
                    job.key = k;
            }
            if (what.token_count)
                job.first_length = std::strlen(what.tokens[0]);
            job.lower = fold ? fold->lower : nullptr;
        }
        size_t threads = worker_threads();
        size_t per = chunk_override ? chunk_override : std::max<size_t>(16384, layout->count / (threads * 4));
        job.chunk_entries = (per + entries_per_word - 1) / entries_per_word * entries_per_word;
        job.lists.resize((layout->count + job.chunk_entries - 1) / job.chunk_entries);
    } catch (const std::bad_alloc&) {
        return false;
    }
    job.entries = m.entries;
    job.runs = &layout->labels.runs;
    job.count = layout->count;
    job.what = &what;
    run_chunks(job.lists.size(), [](void* j, size_t chunk) { run_chunk(*static_cast<Job*>(j), chunk); }, &job);

    m.match_head = m.match_tail = nullptr;
    size_t matches = 0;
    for (int slot = 0; slot < 3; ++slot)
        for (ChunkLists& lists : job.lists)
            chain_join(m.match_head, m.match_tail, lists.head[slot], lists.tail[slot]);
    for (ChunkLists& lists : job.lists)
        matches += lists.matches;
    if (found) {
        found->matches = matches;
        m.loaded->sets->keep(std::move(found));
    }
    return true;
}
