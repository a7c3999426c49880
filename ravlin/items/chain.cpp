#include "ravlin/items/chain.h"

void chain_append(Entry* entry, Entry*& head, Entry*& tail)
{
    entry->before = tail;
    entry->after = nullptr;
    if (tail)
        tail->after = entry;
    else
        head = entry;
    tail = entry;
}

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
