#pragma once

#include <cstddef>
#include <vector>

struct Entry;
class MatchSets;

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
    struct Block {
        char* start;
        size_t size;
    };
    std::vector<Block> blocks;
    std::vector<LabelRun> runs;
    char* next = nullptr;   // free space of the newest block
    char* limit = nullptr;
    size_t block_size = 64 * 1024;              // size of the next block
    size_t max_block_size = 4 * 1024 * 1024;    // blocks double up to this
};

// Copies n bytes of text and a NUL as the label of entry index (the next
// entry in reading order) and returns the copy; null when memory ran out.
char* store_label(LabelStore& store, const char* text, size_t n, size_t index);
// Releases every block of the store.
void release_labels(LabelStore& store);

// Grows an entry array of capacity bytes to new_capacity bytes (doubling
// from 1024), keeping its records; null (and entries untouched) on
// failure. Large arrays live in huge-page areas.
Entry* grow_entry_array(Entry* entries, size_t capacity, size_t new_capacity);
void release_entry_array(Entry* entries, size_t capacity);

// An entry array made by load_entries and the layout of its labels. The
// menu keeps it beside the array (MenuState::loaded) so the filters can
// search whole runs of labels; arrays made any other way have none.
struct LoadedEntries {
    Entry* entries;
    size_t count;
    size_t capacity;  // bytes allocated behind entries
    LabelStore labels;
    MatchSets* sets = nullptr;  // what the recent searches found, made by the first
};

// Releases the array and the labels of loaded, and loaded itself.
void release_loaded(LoadedEntries* loaded);
