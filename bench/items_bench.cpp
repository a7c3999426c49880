// Loading and filtering a large entry list in process.
//
//   items_bench [benchmark flags]          benchmarks
//   items_bench --peak-memory              loads the data once and prints
//                                          the memory it took, in bytes
//   items_bench --load < FILE              loads standard input and exits,
//                                          to time a whole run from outside
//   items_bench --once FILTER INPUT [-i]   runs ranked, tokens or fuzzy once
//                                          over the data, for a profiler
//   items_bench --threads N [...]          the searches on N threads (the
//                                          default is one, the caller's)
//
// The data file comes from RAVLIN_BENCH_DATA (bench/matching_bench.sh makes
// one of a million lines); without it a smaller file of made-up paths is
// written to /tmp. RAVLIN_BENCH_TOKEN is the typed input of the filter runs
// (default "zlib"). LC_CTYPE comes from the environment, as in ravlin.
//
// Each fast path is printed beside a plain per-entry reference: the same
// filter over a copy of the entry array that the block search does not
// know, and per-label strstr / strncasecmp loops.

#include <benchmark/benchmark.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ravlin/base/menu_state.h"
#include "ravlin/base/text_measurer.h"
#include "ravlin/control/settings.h"
#include "ravlin/items/case_fold.h"
#include "ravlin/items/chunked_search.h"
#include "ravlin/items/entry_reader.h"
#include "ravlin/items/filters.h"
#include "ravlin/items/worker_pool.h"

namespace {

class FakeMeasurer final : public TextMeasurer {
public:
    int32_t text_extent(const char*, int32_t n) const override { return 10 * n; }
    int32_t font_height() const override { return 10; }
};
const FakeMeasurer measurer;

std::string data_path()
{
    if (const char* path = std::getenv("RAVLIN_BENCH_DATA"))
        return path;
    std::string path = "/tmp/ravlin-items-bench.txt";
    std::ifstream existing(path);
    if (existing.good())
        return path;
    std::ofstream out(path);
    static const char* parts[] = {"usr", "lib", "share", "doc", "python3", "dist-packages",
                                  "include", "x86_64-linux-gnu", "locale", "man", "src"};
    unsigned seed = 1;
    for (int i = 0; i < 200000; ++i) {
        out << "/srv/copy" << i % 7;
        for (int d = 0; d < 6; ++d) {
            seed = seed * 1103515245 + 12345;
            out << '/' << parts[(seed >> 16) % 11];
        }
        out << "/file" << i << ".txt\n";
    }
    return path;
}

std::string token()
{
    const char* t = std::getenv("RAVLIN_BENCH_TOKEN");
    return t ? t : "zlib";
}

std::unique_ptr<MenuState> fresh_state()
{
    auto m = std::make_unique<MenuState>();
    m->measurer = &measurer;
    m->line_height = 10;
    m->bar_width = 1920;
    m->bar_height = 10;
    m->input_width = 300;
    return m;
}

// Loads the data file through standard input, as ravlin does.
void load_from_stdin(MenuState& m, Settings& s, const std::string& path)
{
    if (!std::freopen(path.c_str(), "r", stdin)) {
        std::perror(path.c_str());
        std::exit(1);
    }
    load_entries(m, s, stdin);
}

// The entries loaded once for all filter benchmarks, and a copy of the
// array that the filters do not recognise, so they take the per-entry path.
struct Loaded {
    std::unique_ptr<MenuState> m = fresh_state();
    Settings s;
    std::vector<Entry> plain;
    size_t count = 0;
    Loaded()
    {
        load_from_stdin(*m, s, data_path());
        // As the menu clamps it after loading: a field wider than the bar
        // leaves the page no room, and every entry would then be measured.
        m->input_width = std::min(m->input_width, m->bar_width / 3);
        for (Entry* e = m->entries; e && e->label; ++e)
            ++count;
        plain.assign(m->entries, m->entries + count + 1);
    }
};

Loaded& loaded()
{
    static Loaded l;
    return l;
}

size_t list_length(const MenuState& m)
{
    size_t n = 0;
    for (const Entry* e = m.match_head; e; e = e->after)
        ++n;
    return n;
}

long status_bytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0)
            return std::atol(line.c_str() + n + 1) * 1024;
    return -1;
}

void BM_LoadEntries(benchmark::State& state)
{
    std::string path = data_path();
    size_t lines = 0;
    for (auto _ : state) {
        auto m = fresh_state();
        Settings s;
        load_from_stdin(*m, s, path);
        state.PauseTiming();
        lines = 0;
        for (Entry* e = m->entries; e && e->label; ++e)
            ++lines;
        release_entries(*m);
        state.ResumeTiming();
    }
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_LoadEntries)->Unit(benchmark::kMillisecond)->UseRealTime();

enum class Path { blocks, per_entry };
using FilterFn = void (*)(MenuState&, const Settings&);

void run_filter(benchmark::State& state, FilterFn filter, bool nocase,
                Path path, const std::string& input)
{
    Loaded& l = loaded();
    MenuState& m = *l.m;
    Entry* blocks = m.entries;
    if (path == Path::per_entry)
        m.entries = l.plain.data();
    Settings s;
    if (nocase)
        use_nocase_primitives(s.match);
    std::snprintf(m.input, sizeof m.input, "%s", input.c_str());
    for (auto _ : state) {
        // Each run searches: none links a set kept from the one before.
        state.PauseTiming();
        forget_searches(m);
        state.ResumeTiming();
        filter(m, s);
    }
    state.counters["matches"] = static_cast<double>(list_length(m));
    state.counters["entries"] = static_cast<double>(l.count);
    m.entries = blocks;
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void BM_FilterRanked(benchmark::State& state) { run_filter(state, filter_ranked, false, Path::blocks, token()); }
void BM_FilterRankedNocase(benchmark::State& state)
{
    run_filter(state, filter_ranked, true, Path::blocks, upper(token()));
}
void BM_FilterRankedPerEntry(benchmark::State& state)
{
    run_filter(state, filter_ranked, false, Path::per_entry, token());
}
void BM_FilterRankedNocasePerEntry(benchmark::State& state)
{
    run_filter(state, filter_ranked, true, Path::per_entry, upper(token()));
}
void BM_FilterRankedEmptyInput(benchmark::State& state) { run_filter(state, filter_ranked, false, Path::blocks, ""); }
void BM_FilterRankedCommonToken(benchmark::State& state) { run_filter(state, filter_ranked, false, Path::blocks, "lib"); }
void BM_FilterTokens(benchmark::State& state)
{
    run_filter(state, filter_tokens, false, Path::blocks, "usr " + token());
}
void BM_FilterTokensNocase(benchmark::State& state)
{
    run_filter(state, filter_tokens, true, Path::blocks, "USR " + upper(token()));
}
void BM_FilterFuzzy(benchmark::State& state) { run_filter(state, filter_fuzzy, false, Path::blocks, token()); }
void BM_FilterFuzzyNocase(benchmark::State& state) { run_filter(state, filter_fuzzy, true, Path::blocks, token()); }

BENCHMARK(BM_FilterRanked)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterRankedNocase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterRankedPerEntry)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterRankedNocasePerEntry)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterRankedEmptyInput)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterRankedCommonToken)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterTokens)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterTokensNocase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterFuzzy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FilterFuzzyNocase)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each input that typing "libx11" goes through (bench/menu_latency.cpp
// types it into the real menu): filter 0 ranked, 1 tokens, 2 fuzzy; -i when
// the second argument is 1; the third is the length typed.
FilterFn filter_of(int64_t index)
{
    return index == 0 ? filter_ranked : index == 1 ? filter_tokens : filter_fuzzy;
}

void BM_TypedKeys(benchmark::State& state)
{
    std::string input = std::string("libx11").substr(0, static_cast<size_t>(state.range(2)));
    run_filter(state, filter_of(state.range(0)), state.range(1) != 0, Path::blocks, input);
}
BENCHMARK(BM_TypedKeys)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {1, 2, 3, 4, 5, 6}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The whole sequence of the menu's keys, typing "libx11" and erasing it,
// as the menu runs it: later keys narrow or link again what earlier ones
// found. The time is per sequence of twelve keys.
void BM_TypedAndErased(benchmark::State& state)
{
    Loaded& l = loaded();
    MenuState& m = *l.m;
    Settings s;
    if (state.range(1))
        use_nocase_primitives(s.match);
    FilterFn filter = filter_of(state.range(0));
    std::string typed = "libx11";
    for (auto _ : state) {
        state.PauseTiming();
        forget_searches(m);
        state.ResumeTiming();
        for (size_t k = 1; k <= 2 * typed.size(); ++k) {
            size_t length = k <= typed.size() ? k : 2 * typed.size() - k;
            std::snprintf(m.input, sizeof m.input, "%s", typed.substr(0, length).c_str());
            filter(m, s);
        }
    }
}
BENCHMARK(BM_TypedAndErased)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

// The primitives alone over every label: the -i search against one
// strncasecmp per position, and strstr for scale.
void scan_labels(benchmark::State& state, const char* (*find)(const char*, const char*), bool nocase)
{
    Loaded& l = loaded();
    std::string needle = nocase ? upper(token()) : token();
    size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (size_t i = 0; i < l.count; ++i)
            hits += find(l.plain[i].label, needle.c_str()) != nullptr;
        benchmark::DoNotOptimize(hits);
    }
    state.counters["matches"] = static_cast<double>(hits);
}

const char* plain_nocase(const char* text, const char* needle)
{
    size_t m = std::strlen(needle);
    if (!*text)
        return nullptr;
    for (; *text; ++text)
        if (strncasecmp(text, needle, m) == 0)
            return text;
    return nullptr;
}

const char* library_strstr(const char* text, const char* needle) { return std::strstr(text, needle); }

void BM_LabelsSubstrFindNocase(benchmark::State& state) { scan_labels(state, substr_find_nocase, true); }
void BM_LabelsPlainStrncasecmp(benchmark::State& state) { scan_labels(state, plain_nocase, true); }
void BM_LabelsStrstr(benchmark::State& state) { scan_labels(state, library_strstr, false); }
BENCHMARK(BM_LabelsSubstrFindNocase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LabelsPlainStrncasecmp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LabelsStrstr)->Unit(benchmark::kMillisecond)->UseRealTime();

int peak_memory()
{
    std::string path = data_path();
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    long size = static_cast<long>(in.tellg());
    long before = status_bytes("VmRSS:");
    auto m = fresh_state();
    Settings s;
    load_from_stdin(*m, s, path);
    long peak = status_bytes("VmHWM:");
    long lines = 0;
    for (Entry* e = m->entries; e && e->label; ++e)
        ++lines;
    long grown = peak - before;
    std::printf("input_bytes %ld\nlines %ld\nrss_before %ld\npeak_rss %ld\ngrowth %ld\n"
                "growth_over_input_per_line %.2f\n",
                size, lines, before, peak, grown,
                lines ? static_cast<double>(grown - size) / static_cast<double>(lines) : 0.0);
    return 0;
}

// One run of one filter over the data, for a profiler to count.
int filter_once(const char* filter, const char* input, bool nocase)
{
    Loaded& l = loaded();
    Settings s;
    if (nocase)
        use_nocase_primitives(s.match);
    std::snprintf(l.m->input, sizeof l.m->input, "%s", input);
    FilterFn fn = std::strcmp(filter, "tokens") == 0  ? filter_tokens
                  : std::strcmp(filter, "fuzzy") == 0 ? filter_fuzzy
                                                      : filter_ranked;
    fn(*l.m, s);
    std::printf("%zu matches of %zu entries\n", list_length(*l.m), l.count);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_CTYPE, "");
    refresh_case_fold();
    if (argc > 2 && std::strcmp(argv[1], "--threads") == 0) {
        start_workers(static_cast<size_t>(std::atoi(argv[2])));
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    if (argc > 1 && std::strcmp(argv[1], "--peak-memory") == 0)
        return peak_memory();
    if (argc > 2 && std::strcmp(argv[1], "--once") == 0)
        return filter_once(argv[2], argc > 3 ? argv[3] : "", argc > 4);
    if (argc > 1 && std::strcmp(argv[1], "--load") == 0) {
        auto m = fresh_state();
        Settings s;
        load_entries(*m, s, stdin);
        return m->entries ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
