#include "ravlin/items/line_reader.h"

#include <cstdlib>
#include <cstring>

#include "ravlin/base/fail.h"

namespace {

// What a 1024-byte fgets can return at most.
constexpr size_t piece_max = 1023;

// Keeps at least piece_max unread bytes in the buffer unless the stream has
// ended, so a piece never straddles a refill.
void refill(FILE* stream, LineReader& r)
{
    if (!r.buffer) {
        if (r.buffer_size < piece_max + 1)
            r.buffer_size = piece_max + 1;
        r.buffer = static_cast<char*>(std::malloc(r.buffer_size));
        if (!r.buffer) {
            r.buffer = r.small_buffer;
            r.buffer_size = sizeof r.small_buffer;
        }
    }
    size_t unread = r.fill - r.scan;
    std::memmove(r.buffer, r.buffer + r.scan, unread);
    r.scan = 0;
    r.fill = unread;
    size_t wanted = r.buffer_size - r.fill;
    size_t got = std::fread(r.buffer + r.fill, 1, wanted, stream);
    r.fill += got;
    if (got < wanted)
        r.at_end = true;
}

void grow_entries(LineReader& r)
{
    size_t capacity = r.capacity ? r.capacity * 2 : 1024;
    Entry* grown = grow_entry_array(r.entries, r.capacity, capacity);
    if (!grown)
        fail("cannot realloc %u bytes:", static_cast<unsigned>(capacity));
    r.entries = grown;
    r.capacity = capacity;
}

}  // namespace

LineReader::~LineReader()
{
    if (buffer != small_buffer)
        std::free(buffer);
    // Whatever load_entries did not hand over to the menu.
    if (entries)
        release_entry_array(entries, capacity);
    release_labels(labels);
}

size_t take_line(FILE* stream, LineReader& r)
{
    if (r.source != stream) {
        r.source = stream;
        r.scan = r.fill = 0;
        r.at_end = false;
    }
    if (r.fill - r.scan < piece_max && !r.at_end)
        refill(stream, r);
    size_t unread = r.fill - r.scan;
    if (unread == 0)
        return no_line;

    // The array always keeps a free record behind the stored ones for the
    // terminator.
    if (r.count + 1 >= r.capacity / sizeof(Entry))
        grow_entries(r);

    char* piece = r.buffer + r.scan;
    size_t span = unread < piece_max ? unread : piece_max;
    const char* newline = static_cast<const char*>(std::memchr(piece, '\n', span));
    size_t text = newline ? static_cast<size_t>(newline - piece) : span;
    const char* nul = static_cast<const char*>(std::memchr(piece, '\0', text));
    size_t n = nul ? static_cast<size_t>(nul - piece) : text;

    char* label = store_label(r.labels, piece, n, r.count);
    if (!label)
        fail("cannot strdup %u bytes:", static_cast<unsigned>(n + 1));
    r.entries[r.count].label = label;
    if (n > r.longest_length) {
        r.longest_length = n;
        r.longest = label;
    }
    ++r.count;
    r.scan += newline ? text + 1 : text;
    return n;
}
