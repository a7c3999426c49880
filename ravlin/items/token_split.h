#pragma once

#include <cstring>

// Splits text (a private copy of the input, cut up in place) at the blank
// character only: a tab is part of a token, and runs of blanks or blanks at
// either end make no empty token. Calls add(token) in input order.
template <class Add>
void split_tokens(char* text, Add add)
{
    char* rest = nullptr;
    for (char* token = strtok_r(text, " ", &rest); token; token = strtok_r(nullptr, " ", &rest))
        add(token);
}
