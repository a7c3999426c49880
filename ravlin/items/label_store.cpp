#include "ravlin/items/label_store.h"

#include <cstdlib>
#include <cstring>

namespace {

// Never destroyed, so the blocks stay reachable until the very end.
std::vector<LoadedEntries>& loaded()
{
    static auto* all = new std::vector<LoadedEntries>;
    return *all;
}

}  // namespace

char* store_label(LabelStore& store, const char* text, size_t n, size_t index)
{
    if (static_cast<size_t>(store.limit - store.next) < n + 1) {
        size_t size = store.block_size;
        while (size < n + 1)
            size *= 2;
        char* block = static_cast<char*>(std::malloc(size));
        if (!block)
            return nullptr;
        store.blocks.push_back(block);
        store.next = block;
        store.limit = block + size;
        if (store.block_size < store.max_block_size)
            store.block_size *= 2;
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

void remember_loaded(const Entry* entries, size_t count, LabelStore&& labels)
{
    loaded().push_back({entries, count, std::move(labels)});
}

const LoadedEntries* find_loaded(const Entry* entries)
{
    if (!entries)
        return nullptr;
    for (const LoadedEntries& l : loaded())
        if (l.entries == entries)
            return &l;
    return nullptr;
}

void release_loaded(const Entry* entries)
{
    std::vector<LoadedEntries>& all = loaded();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].entries == entries) {
            for (char* block : all[i].labels.blocks)
                std::free(block);
            all.erase(all.begin() + static_cast<ptrdiff_t>(i));
            return;
        }
}
