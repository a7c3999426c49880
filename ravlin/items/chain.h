#pragma once

#include "ravlin/base/entry.h"

// Appends entry to the chain given by its head and tail variables: the
// entry's before becomes tail and its after null. Inline: the filters call
// it once per match.
inline void chain_append(Entry* entry, Entry*& head, Entry*& tail)
{
    entry->before = tail;
    entry->after = nullptr;
    if (tail)
        tail->after = entry;
    else
        head = entry;
    tail = entry;
}

// Chains every entry of the array (ended by a null label; null for none) in
// array order into an empty chain head..tail: the list of an input that
// every entry matches.
void chain_all(Entry* entries, Entry*& head, Entry*& tail);

// Hangs the chain first..last after the chain head..tail, both linked in
// both directions, in constant time.
void chain_join(Entry*& head, Entry*& tail, Entry* first, Entry* last);
