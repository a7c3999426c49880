#pragma once

// One menu entry. All entries live in one array (MenuState::entries) ended
// by a record whose label is null; the filters chain a subset of them into
// the match list through before/after.
struct Entry {
    char* label;    // the line without its newline; lives until exit
    Entry* before;  // previous entry of the current match list
    Entry* after;   // next entry of the current match list
};
