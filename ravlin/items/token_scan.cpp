#include "ravlin/items/token_scan.h"

size_t entry_holding(const Entry* entries, size_t low, size_t high, const char* at)
{
    // Invariant: entries[low].label <= at; find the last such index.
    size_t step = 1;
    while (low + step < high && entries[low + step].label <= at) {
        low += step;
        step *= 2;
    }
    size_t limit = low + step < high ? low + step : high;  // first index known or assumed past at
    while (limit - low > 1) {
        size_t middle = low + (limit - low) / 2;
        if (entries[middle].label <= at)
            low = middle;
        else
            limit = middle;
    }
    return low;
}
