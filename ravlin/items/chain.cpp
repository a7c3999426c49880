#include "ravlin/items/chain.h"

void chain_join(Entry*& head, Entry*& tail, Entry* first, Entry* last)
{
    if (!first)
        return;
    if (tail) {
        tail->after = first;
        first->before = tail;
    } else {
        head = first;
    }
    tail = last;
}

void chain_all(Entry* entries, Entry*& head, Entry*& tail)
{
    // Locals, which the stores into the entries cannot touch, so the loop
    // keeps them in registers.
    Entry* first = nullptr;
    Entry* last = nullptr;
    if (entries)
        for (Entry* e = entries; e->label; ++e)
            chain_append(e, first, last);
    head = first;
    tail = last;
}
