#pragma once

#include <cstddef>
#include <vector>

struct Entry;

// A stretch of consecutive entries whose labels lie back to back in one
// block, each followed by its NUL, in array order. A search over the bytes
// of a run visits the labels in the order of the entry array.
struct LabelRun {
    size_t first;       // index of the first entry of the run
    size_t count;       // entries in the run
    const char* begin;  // the first label
    const char* end;    // just past the NUL of the last label
};

// Labels copied into large blocks in reading order: one allocation per
// block instead of one per line, and labels that a scan reads in sequence.
struct LabelStore {
    std::vector<char*> blocks;
    std::vector<LabelRun> runs;
    char* next = nullptr;   // free space of the newest block
    char* limit = nullptr;
    size_t block_size = 64 * 1024;              // size of the next block
    size_t max_block_size = 4 * 1024 * 1024;    // blocks double up to this
};

// Copies n bytes of text and a NUL as the label of entry index (the next
// entry in reading order) and returns the copy; null when memory ran out.
char* store_label(LabelStore& store, const char* text, size_t n, size_t index);

// The label layout of an entry array made by load_entries.
struct LoadedEntries {
    const Entry* entries;
    size_t count;
    LabelStore labels;
};

// Keeps the store of a finished array for the filters; its labels live
// until the process exits unless release_loaded is called.
void remember_loaded(const Entry* entries, size_t count, LabelStore&& labels);
// The layout of entries when load_entries made them, else null.
const LoadedEntries* find_loaded(const Entry* entries);
// Releases the labels of entries (tests and benchmarks that load often).
void release_loaded(const Entry* entries);
