#pragma once

#include <cstddef>

// Memory for the large arrays of a long entry list. Faulting in 4 KiB pages
// one at a time costs more than reading the input, so large areas are
// mapped on 2 MiB boundaries and ask for transparent huge pages; areas
// grow by moving their page tables, never by copying.

constexpr size_t large_page = 2 * 1024 * 1024;

// A new area of size bytes (a multiple of large_page), or null.
void* map_large(size_t size);
// Moves an area to a new one of new_size bytes, keeping its contents;
// null (and old untouched) on failure.
void* grow_large(void* old, size_t old_size, size_t new_size);
void unmap_large(void* area, size_t size);
// Faults in the pages of [start, start + size) in one call when the system
// can; a hint only.
void populate(void* start, size_t size);
