#pragma once

#include <cstddef>

#include "ravlin/base/entry.h"
#include "ravlin/items/label_store.h"

// The fuzzy filter's test across a whole run of labels at once: which
// labels hold a sequence of bytes in order, each after the one before.
//
// spellings[k] holds the two label bytes that byte k of the sequence
// accepts (the same byte twice when it has one spelling); none is NUL.

// True when this processor can run append_holding_in_order.
bool subsequence_scan_available();

// Appends to the chain head..tail, in array order, every entry of run whose
// label holds the n >= 1 bytes in order. The labels of run must lie back to
// back as load_entries lays them out.
void append_holding_in_order(Entry* entries, const LabelRun& run, const unsigned char (*spellings)[2],
                             size_t n, Entry*& head, Entry*& tail);
