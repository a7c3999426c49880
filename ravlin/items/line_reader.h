#pragma once

#include <cstddef>
#include <cstdio>

#include "ravlin/base/entry.h"
#include "ravlin/items/label_store.h"

// The state of one reading pass over the history file and then the item
// stream: the count and the longest line run across both sources.
//
// Input is read ahead in a large buffer and cut into the pieces a 1024-byte
// fgets would return: at most 1023 bytes, ending after a newline when one
// comes first. A label is the piece's text up to its newline or first NUL.
struct LineReader {
    char* buffer = nullptr;        // read-ahead of the current stream
    size_t buffer_size = 256 * 1024;  // at least 1024; set before the first read
    char small_buffer[1024];       // used when the large one cannot be had
    size_t scan = 0;               // next unread byte of buffer
    size_t fill = 0;               // end of the bytes read into buffer
    FILE* source = nullptr;        // the stream buffer holds bytes of
    bool at_end = false;           // source gave its last byte (or failed)

    Entry* entries = nullptr;      // records 0 .. count-1 hold labels
    char* longest = nullptr;       // longest label so far; null while none has a byte
    size_t longest_length = 0;
    size_t capacity = 0;           // bytes allocated behind entries
    size_t count = 0;              // entries stored; index of the next free record
    LabelStore labels;

    LineReader() = default;
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
};

// take_line's result when nothing more can be read.
constexpr size_t no_line = static_cast<size_t>(-1);

// Takes the next piece of stream, stores it as entry `count` and returns the
// length of its label; no_line at the end of input or on a read error.
// Allocation failures end the process through fail.
size_t take_line(FILE* stream, LineReader& reader);
