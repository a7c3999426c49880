#include "ravlin/items/large_memory.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)

#include <sys/mman.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

void* map_large(size_t size)
{
    size_t span = size + large_page;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (start + large_page - 1) & ~(static_cast<uintptr_t>(large_page) - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    uintptr_t end = start + span;
    if (end > aligned + size)
        munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    void* area = reinterpret_cast<void*>(aligned);
    madvise(area, size, MADV_HUGEPAGE);
    return area;
}

void* grow_large(void* old, size_t old_size, size_t new_size)
{
    // Moving into an aligned area keeps the huge pages whole.
    void* target = map_large(new_size);
    if (!target)
        return nullptr;
    void* moved = mremap(old, old_size, new_size, MREMAP_MAYMOVE | MREMAP_FIXED, target);
    if (moved == MAP_FAILED) {
        munmap(target, new_size);
        return nullptr;
    }
    madvise(moved, new_size, MADV_HUGEPAGE);
    return moved;
}

void unmap_large(void* area, size_t size)
{
    munmap(area, size);
}

void populate(void* start, size_t size)
{
    uintptr_t page = 4096;
    uintptr_t from = (reinterpret_cast<uintptr_t>(start) + page - 1) & ~(page - 1);
    uintptr_t to = (reinterpret_cast<uintptr_t>(start) + size) & ~(page - 1);
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
}

#else

// Elsewhere the C library's allocator does the same job, only slower.
void* map_large(size_t size)
{
    return std::malloc(size);
}

void* grow_large(void* old, size_t, size_t new_size)
{
    return std::realloc(old, new_size);
}

void unmap_large(void* area, size_t)
{
    std::free(area);
}

void populate(void*, size_t) {}

#endif
