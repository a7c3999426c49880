// Reading entries: the pieces of long lines, NUL and carriage return, the
// longest line, the lines setting, the history lines and their table; and
// the block reader held against one fgets per piece on random input.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "items_reference.h"
#include "ravlin/items/label_store.h"
#include "ravlin/items/line_reader.h"

using namespace items_reference;
using Labels = std::vector<std::string>;

static_assert(sizeof(Entry) == 24, "an entry is a label and two links");

namespace {

class TempDir {
public:
    TempDir()
    {
        char name[] = "/tmp/ravlin-items-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name, const std::string& bytes) const
    {
        std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct Loaded {
    StatePtr m = make_state();
    Settings s;
};

Loaded load(const std::string& input, const char* history_path = nullptr, uint32_t lines = 0)
{
    Loaded l;
    l.s.history_path = history_path;
    l.s.lines = lines;
    FILE* f = stream_of(input);
    load_entries(*l.m, l.s, f);
    std::fclose(f);
    return l;
}

std::vector<std::string> history_of(const MenuState& m)
{
    std::vector<std::string> lines;
    for (int32_t i = 0; i < m.history.count; ++i)
        lines.emplace_back(m.history.slots[i]);
    return lines;
}

}  // namespace

TEST(EntryReading, LongLinesArriveIn1023BytePieces)
{
    std::string a(2500, 'a');
    EXPECT_EQ(labels_of(*load(a + "\nnext\n").m),
              (Labels{std::string(1023, 'a'), std::string(1023, 'a'), std::string(454, 'a'), "next"}));

    // A newline right after a whole piece comes alone: one empty entry.
    std::string b(1023, 'b');
    EXPECT_EQ(labels_of(*load(b + "\n").m), (Labels{b, ""}));
    EXPECT_EQ(labels_of(*load(b + b + "\nz").m), (Labels{b, b, "", "z"}));
    EXPECT_EQ(labels_of(*load(std::string(1022, 'c') + "\n").m), (Labels{std::string(1022, 'c')}));
    EXPECT_EQ(labels_of(*load(b).m), (Labels{b}));
}

TEST(EntryReading, NulEndsTheLabelAndCarriageReturnsStay)
{
    std::string input("ab\0cd\nx\r\n\n\0\nlast", 17);
    EXPECT_EQ(labels_of(*load(input).m), (Labels{"ab", "x\r", "", "", "last"}));

    // The bytes after a NUL are dropped only up to the end of their piece.
    std::string piece = "q" + std::string(1, '\0') + std::string(1021, 'r');
    EXPECT_EQ(labels_of(*load(piece + "tail\n").m), (Labels{"q", "tail"}));
}

TEST(EntryReading, EmptyInputLeavesNoEntries)
{
    Loaded l = load("", nullptr, 5);
    EXPECT_EQ(l.m->entries, nullptr);
    EXPECT_EQ(l.m->input_width, 0);
    EXPECT_EQ(l.s.lines, 0u);
}

TEST(EntryReading, OnlyEmptyLinesGiveEmptyEntriesAndNoWidth)
{
    Loaded l = load("\n\n\n", nullptr, 10);
    EXPECT_EQ(labels_of(*l.m), (Labels{"", "", ""}));
    EXPECT_EQ(l.m->entries[3].label, nullptr);
    EXPECT_EQ(l.m->input_width, 0);
    EXPECT_EQ(l.s.lines, 3u);
}

TEST(EntryReading, FirstOfTheLongestLinesSetsTheInputWidth)
{
    FILE* f = stream_of("ab\nxyz\nabc\nq\n");
    auto m = make_state();
    Settings s;
    LineReader reader;
    load_entries(*m, s, f, reader);
    std::fclose(f);
    EXPECT_EQ(reader.longest, m->entries[1].label);
    EXPECT_EQ(reader.longest_length, 3u);
    EXPECT_EQ(m->input_width, 3 * 10 + 10);
}

TEST(EntryReading, LinesIsLoweredToTheCountComparedUnsigned)
{
    EXPECT_EQ(load("a\nb\n", nullptr, 5).s.lines, 2u);
    EXPECT_EQ(load("a\nb\n", nullptr, 1).s.lines, 1u);
    EXPECT_EQ(load("a\nb\n", nullptr, 0).s.lines, 0u);
    // -l -3 is stored as a huge unsigned number and also becomes the count.
    EXPECT_EQ(load("a\nb\n", nullptr, static_cast<uint32_t>(-3)).s.lines, 2u);
}

TEST(EntryReading, HistoryLinesComeFirstAndAreRemembered)
{
    TempDir dir;
    std::string path = dir.file("history", "beta\nalpha\n");
    Loaded l = load("alpha\ngamma\n", path.c_str());
    EXPECT_EQ(labels_of(*l.m), (Labels{"beta", "alpha", "alpha", "gamma"}));
    EXPECT_EQ(history_of(*l.m), (Labels{"beta", "alpha"}));

    // Long history lines split like any other; each piece is remembered.
    std::string long_path = dir.file("long", std::string(2500, 'h') + "\n");
    Loaded split = load("", long_path.c_str());
    Labels pieces{std::string(1023, 'h'), std::string(1023, 'h'), std::string(454, 'h')};
    EXPECT_EQ(labels_of(*split.m), pieces);
    EXPECT_EQ(history_of(*split.m), pieces);
}

TEST(EntryReading, MissingHistoryFileIsSilent)
{
    TempDir dir;
    std::string path = dir.path() + "/none";
    Loaded l = load("one\n", path.c_str());
    EXPECT_EQ(labels_of(*l.m), (Labels{"one"}));
    EXPECT_EQ(l.m->history.count, 0);
}

TEST(EntryReading, HistoryBeyondTwentyLinesIsOfferedButNotRemembered)
{
    TempDir dir;
    std::string text;
    Labels lines;
    for (int i = 0; i < 25; ++i) {
        lines.push_back("h" + std::to_string(i));
        text += lines.back() + "\n";
    }
    std::string path = dir.file("history", text);
    Loaded l = load("in\n", path.c_str());
    Labels expected = lines;
    expected.push_back("in");
    EXPECT_EQ(labels_of(*l.m), expected);
    EXPECT_EQ(history_of(*l.m), Labels(lines.begin(), lines.begin() + 20));
}

namespace {

// Lines of every awkward kind: empty, NUL inside, carriage returns, bytes
// above 0x7F, and lengths around multiples of 1023.
std::string random_input(std::mt19937& rng)
{
    static const int lengths[] = {0, 1, 2, 1021, 1022, 1023, 1024, 1025, 2045, 2046, 2047, 3069};
    static const char alphabet[] = {'a', 'b', 'A', '\r', '\0', '\t', ' ', '\xc3', '\xa9', '\xff', '\x80'};
    std::string text;
    int lines = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int i = 0; i < lines; ++i) {
        int kind = std::uniform_int_distribution<int>(0, 3)(rng);
        int length = kind == 0 ? lengths[std::uniform_int_distribution<int>(0, 11)(rng)]
                               : std::uniform_int_distribution<int>(0, 80)(rng);
        for (int j = 0; j < length; ++j) {
            bool rare = std::uniform_int_distribution<int>(0, 60)(rng) == 0;
            text += rare ? alphabet[std::uniform_int_distribution<int>(3, 10)(rng)]
                         : alphabet[std::uniform_int_distribution<int>(0, 2)(rng)];
        }
        if (i + 1 < lines || std::uniform_int_distribution<int>(0, 1)(rng))
            text += '\n';
    }
    return text;
}

// Every run of the layout holds its entries' labels back to back, and the
// runs cover the array in order: what the block searches rely on.
void expect_layout_covers(const MenuState& m, size_t count)
{
    const LoadedEntries* loaded = loaded_layout(m);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->count, count);
    size_t next = 0;
    for (const LabelRun& run : loaded->labels.runs) {
        ASSERT_EQ(run.first, next);
        const char* p = run.begin;
        for (size_t i = run.first; i < run.first + run.count; ++i) {
            ASSERT_EQ(m.entries[i].label, p);
            p += std::strlen(p) + 1;
        }
        ASSERT_EQ(p, run.end);
        next = run.first + run.count;
    }
    EXPECT_EQ(next, count);
}

}  // namespace

TEST(EntryReading, BlockReaderMatchesLineByLineFgetsOnRandomInput)
{
    TempDir dir;
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        std::string history = random_input(rng);
        std::string input = random_input(rng);
        bool with_history = round % 3 != 0;
        std::string path = dir.file("history", history);
        ReadResult expected = reference_read(with_history ? &history : nullptr, input);

        auto m = make_state();
        Settings s;
        s.history_path = with_history ? path.c_str() : nullptr;
        LineReader reader;
        reader.buffer_size = std::uniform_int_distribution<size_t>(1024, 5000)(rng);
        reader.labels.block_size = std::uniform_int_distribution<size_t>(1, 3000)(rng);
        reader.labels.max_block_size = reader.labels.block_size * 2;
        FILE* f = stream_of(input);
        load_entries(*m, s, f, reader);
        std::fclose(f);

        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(labels_of(*m), expected.labels);
        EXPECT_EQ(history_of(*m), expected.history);
        if (expected.labels.empty()) {
            EXPECT_EQ(m->entries, nullptr);
            continue;
        }
        EXPECT_EQ(m->entries[expected.labels.size()].label, nullptr);
        if (expected.longest_length > 0)
            EXPECT_EQ(reader.longest, m->entries[expected.longest_index].label);
        else
            EXPECT_EQ(reader.longest, nullptr);
        EXPECT_EQ(m->input_width,
                  expected.longest_length ? static_cast<int32_t>(expected.longest_length) * 10 + 10 : 0);
        expect_layout_covers(*m, expected.labels.size());
        release_entries(*m);
    }
}

TEST(EntryReading, LargeInputSurvivesTheGrowthOfArrayAndBlocks)
{
    // Enough lines that the array and the label blocks pass into the
    // huge-page areas and the array is moved while growing.
    std::string input;
    for (int i = 0; i < 300000; ++i)
        input += "/srv/item" + std::to_string(i * 7919L % 300000) + (i % 1000 == 0 ? "/needle\n" : "\n");
    ReadResult expected = reference_read(nullptr, input);
    auto m = make_state();
    Settings s;
    FILE* f = stream_of(input);
    load_entries(*m, s, f);
    std::fclose(f);
    ASSERT_EQ(labels_of(*m), expected.labels);
    expect_layout_covers(*m, expected.labels.size());

    std::snprintf(m->input, sizeof m->input, "NEEDLE");
    use_nocase_primitives(s.match);
    filter_ranked(*m, s);
    size_t matches = 0;
    for (const Entry* e = m->match_head; e; e = e->after)
        ++matches;
    EXPECT_EQ(matches, 300u);
    release_entries(*m);
}

#if !defined(__SANITIZE_ADDRESS__)
namespace {

// Reads as an endless stream of lines.
ssize_t endless_lines(void*, char* buffer, size_t size)
{
    static const char line[] = "an endless supply of lines to read\n";
    for (size_t i = 0; i < size; ++i)
        buffer[i] = line[i % (sizeof line - 1)];
    return static_cast<ssize_t>(size);
}

long virtual_size()
{
    std::ifstream status("/proc/self/status");
    std::string field;
    while (status >> field)
        if (field == "VmSize:") {
            long kib;
            status >> kib;
            return kib * 1024;
        }
    return -1;
}

}  // namespace

#endif

TEST(EntryReadingDeathTest, RunningOutOfMemoryEndsWithTheMessage)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs its own address space";
#else
    auto run_out = [] {
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(virtual_size() + 64 * 1024 * 1024);
        setrlimit(RLIMIT_AS, &limit);
        FILE* endless = fopencookie(nullptr, "r", {endless_lines, nullptr, nullptr, nullptr});
        auto m = make_state();
        Settings s;
        load_entries(*m, s, endless);
    };
    EXPECT_EXIT(run_out(), testing::ExitedWithCode(1),
                "^cannot (realloc|strdup) [0-9]+ bytes: Cannot allocate memory\n$");
#endif
}

TEST(EntryReading, PipeDeliveringSmallWritesReadsLikeAFile)
{
    std::mt19937 rng(7);
    std::string input;
    for (int i = 0; i < 20; ++i)
        input += random_input(rng) + "\n";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        std::mt19937 sizes(3);
        size_t at = 0;
        while (at < input.size()) {
            size_t n = std::min<size_t>(input.size() - at,
                                        std::uniform_int_distribution<size_t>(1, 700)(sizes));
            ssize_t w = write(fds[1], input.data() + at, n);
            if (w <= 0)
                break;
            at += static_cast<size_t>(w);
        }
        close(fds[1]);
    });
    FILE* f = fdopen(fds[0], "r");
    auto m = make_state();
    Settings s;
    load_entries(*m, s, f);
    writer.join();
    std::fclose(f);
    EXPECT_EQ(labels_of(*m), reference_read(nullptr, input).labels);
}
