#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "ravlin/control/file_completion.h"
#include "ravlin/drawing/surface.h"
#include "ravlin/drawing/text_measurer.h"
#include "ravlin/items/entry.h"
#include "ravlin/items/history_table.h"

struct LoadedEntries;

// The run-time state of the menu; one per process, made in main and passed
// by reference so every piece of logic can be tested on its own instance.
struct MenuState {
    // The input line.
    char input[1024] = {};        // NUL-terminated, at most 1023 bytes
    int32_t cursor = 0;           // byte index, always on a character start
    char saved_input[1024] = {};  // the typed text of a completion cycle
    PendingCompletion completion; // a file name completion in flight

    // The items.
    Entry* entries = nullptr;     // ended by a null label; null means none
    LoadedEntries* loaded = nullptr;  // how load_entries laid out entries, for the filters
    HistoryTable history = {};

    // The match list and the page.
    Entry* match_head = nullptr;
    Entry* match_tail = nullptr;
    Entry* selected = nullptr;
    Entry* page_first = nullptr;
    Entry* page_prev = nullptr;   // first entry of the previous page
    Entry* page_next = nullptr;   // first entry after this page, or null
    // What the row's page bounds measured, so that drawing the row measures
    // nothing again: the padded widths of the marks (for marks_measurer) and
    // of the page's entries from measured_page on.
    const TextMeasurer* marks_measurer = nullptr;
    int32_t left_mark_width = 0, right_mark_width = 0;
    Entry* measured_page = nullptr;
    std::vector<int32_t> page_widths;
    char** tokens = nullptr;      // filter_ranked's table, kept across runs
    int32_t token_capacity = 0;

    // How the layout measures text (the surface's font, or a fake in tests).
    const TextMeasurer* measurer = nullptr;

    // Drawing and windows.
    Surface* surface = nullptr;
    ColorPair* normal_colors = nullptr;
    ColorPair* selected_colors = nullptr;
    ColorPair* shade_colors = nullptr;
    ColorPair* underline_colors = nullptr;
    Atom clipboard_atom = None;
    Atom utf8_atom = None;
    int32_t line_height = 0;
    int32_t bar_width = 0;
    int32_t bar_height = 0;
    int32_t prompt_width = 0;
    int32_t input_width = 0;
    Window bar_window = None;
    Window shade_window = None;
    XIC input_context = nullptr;

    // The end of the run.
    bool finished = false;
    int exit_status = 0;
    FILE* output = stdout;        // where accept prints
    bool output_closed = false;   // standard output was closed at the start
    int output_errno = 0;         // set when the result could not be written
    const char* history_line = nullptr;  // accepted and printed: saved after the keyboard is let go
};
