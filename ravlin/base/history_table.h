#pragma once

#include <cstdint>

// The lines of the history file remembered for the rewrite on accept.
struct HistoryTable {
    static constexpr int slot_count = 20;
    static constexpr int slot_size = 1024;

    char slots[slot_count][slot_size];  // NUL-terminated, in file order
    int32_t count;                      // slots filled, from the first
};
