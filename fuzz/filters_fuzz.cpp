// Holds the three filters on loaded entries (the block searches and the
// fuzzy filter's walk) against the per-entry reference. Byte 0 picks the
// filter, -i and the locale; byte 1 the label block size and the chunks
// that three threads share; the text up to the first newline is the typed
// input, the lines after it the entries. The input is searched whole, then
// typed byte by byte and erased again, as the keys of the menu would, so
// the searches narrow and link again the sets of earlier inputs.

#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ravlin/items/case_fold.h"
#include "ravlin/items/chunked_search.h"
#include "ravlin/items/line_reader.h"
#include "ravlin/items/worker_pool.h"
#include "tests/items_reference.h"

using namespace items_reference;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::setlocale(LC_CTYPE, data[0] & 8 ? "C.UTF-8" : "C");
    Filter kind = static_cast<Filter>(data[0] % 3);
    bool nocase = data[0] & 4;
    std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    size_t newline = rest.find('\n');
    std::string input = rest.substr(0, std::min<size_t>(newline, 1023));
    input = input.substr(0, input.find('\0'));
    std::string lines = newline == std::string::npos ? "" : rest.substr(newline + 1);

    auto m = make_state();
    Settings s;
    LineReader reader;
    reader.labels.block_size = 1 + data[1] * 4;
    reader.labels.max_block_size = reader.labels.block_size * 2;
    FILE* f = stream_of(lines);
    load_entries(*m, s, f, reader);
    std::fclose(f);
    std::vector<std::string> labels = labels_of(*m);

    if (nocase)
        use_nocase_primitives(s.match);
    s.match.filter = kind == Filter::ranked ? filter_ranked : kind == Filter::tokens ? filter_tokens : filter_fuzzy;
    start_workers(3);
    set_search_chunk_entries(32 * (1 + data[1] % 4));
    auto check = [&](const std::string& typed) {
        std::snprintf(m->input, sizeof m->input, "%s", typed.c_str());
        s.match.filter(*m, s);
        if (match_list(*m) != reference_filter(kind, labels, typed, nocase))
            std::abort();
    };
    check(input);
    for (size_t n = 0; n <= input.size(); ++n)
        check(input.substr(0, n));
    for (size_t n = input.size(); n-- > 0;)
        check(input.substr(0, n));
    return 0;
}
