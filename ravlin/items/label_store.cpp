#include "ravlin/items/label_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ravlin/base/entry.h"
#include "ravlin/items/large_memory.h"
#include "ravlin/items/match_set.h"

namespace {

char* allocate_block(size_t size)
{
    char* block = size >= large_page ? static_cast<char*>(map_large(size))
                                     : static_cast<char*>(std::malloc(size));
    // Blocks are filled from start to end right away.
    if (block)
        populate(block, size);
    return block;
}

void free_block(const LabelStore::Block& block)
{
    if (block.size >= large_page)
        unmap_large(block.start, block.size);
    else
        std::free(block.start);
}

}  // namespace

char* store_label(LabelStore& store, const char* text, size_t n, size_t index)
{
    if (static_cast<size_t>(store.limit - store.next) < n + 1) {
        size_t size = store.block_size;
        while (size < n + 1)
            size *= 2;
        if (size >= large_page)
            size = (size + large_page - 1) / large_page * large_page;
        char* block = allocate_block(size);
        if (!block && store.block_size > store.max_block_size) {
            // A whole file's block could not be had: smaller ones may.
            store.block_size = store.max_block_size;
            return store_label(store, text, n, index);
        }
        if (!block)
            return nullptr;
        store.blocks.push_back({block, size});
        store.next = block;
        store.limit = block + size;
        // A first block sized for a whole file is followed by the largest.
        store.block_size = std::min(store.block_size * 2, store.max_block_size);
        store.runs.push_back({index, 0, block, block});
    }
    char* label = store.next;
    std::memcpy(label, text, n);
    label[n] = '\0';
    store.next += n + 1;
    LabelRun& run = store.runs.back();
    ++run.count;
    run.end = store.next;
    return label;
}

void release_labels(LabelStore& store)
{
    for (const LabelStore::Block& block : store.blocks)
        free_block(block);
    store.blocks.clear();
    store.runs.clear();
    store.next = store.limit = nullptr;
}

Entry* grow_entry_array(Entry* entries, size_t capacity, size_t new_capacity)
{
    if (new_capacity < large_page)
        return static_cast<Entry*>(std::realloc(entries, new_capacity));
    if (capacity >= large_page)
        return static_cast<Entry*>(grow_large(entries, capacity, new_capacity));
    void* area = map_large(new_capacity);
    if (!area)
        return nullptr;
    if (entries)
        std::memcpy(area, entries, capacity);
    std::free(entries);
    return static_cast<Entry*>(area);
}

void release_entry_array(Entry* entries, size_t capacity)
{
    if (capacity >= large_page)
        unmap_large(entries, capacity);
    else
        std::free(entries);
}

void release_loaded(LoadedEntries* loaded)
{
    if (!loaded)
        return;
    delete loaded->sets;
    release_labels(loaded->labels);
    release_entry_array(loaded->entries, loaded->capacity);
    delete loaded;
}
