// Holds the block reader against one 1024-byte fgets per piece. The first
// two bytes choose the read-ahead and label block sizes, so pieces and
// labels fall across every kind of edge; the rest is the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ravlin/items/line_reader.h"
#include "tests/items_reference.h"

using namespace items_reference;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);
    ReadResult expected = reference_read(nullptr, input);

    auto m = make_state();
    Settings s;
    LineReader reader;
    reader.buffer_size = 1024 + data[0] * 16;
    reader.labels.block_size = 1 + data[1] * 8;
    reader.labels.max_block_size = reader.labels.block_size * 4;
    FILE* f = stream_of(input);
    load_entries(*m, s, f, reader);
    std::fclose(f);

    if (labels_of(*m) != expected.labels)
        std::abort();
    if (expected.labels.empty() != (m->entries == nullptr))
        std::abort();
    if (m->entries && m->entries[expected.labels.size()].label)
        std::abort();
    const char* longest = expected.longest_length ? m->entries[expected.longest_index].label : nullptr;
    if (reader.longest != longest || reader.longest_length != expected.longest_length)
        std::abort();
    release_entries(*m);
    return 0;
}
