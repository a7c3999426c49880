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
