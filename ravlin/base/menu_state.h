#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "ravlin/base/color_pair.h"
#include "ravlin/base/entry.h"
#include "ravlin/base/history_table.h"
#include "ravlin/base/pending_completion.h"
#include "ravlin/base/text_measurer.h"

class Canvas;
struct LoadedEntries;
struct Platform;

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

    // How the layout measures text (the canvas, or a fake in tests).
    const TextMeasurer* measurer = nullptr;

    // The display system, chosen at start-up, and the bar's picture, which
    // it makes with the font.
    const Platform* platform = nullptr;
    Canvas* canvas = nullptr;
    ColorPair normal_colors = {};
    ColorPair selected_colors = {};
    ColorPair shade_colors = {};
    ColorPair underline_colors = {};

    // The layout.
    int32_t line_height = 0;
    int32_t bar_width = 0;
    int32_t bar_height = 0;
    int32_t prompt_width = 0;
    int32_t input_width = 0;

    // The end of the run.
    bool finished = false;
    int exit_status = 0;
    FILE* output = stdout;        // where accept prints
    bool output_closed = false;   // standard output was closed at the start
    int output_errno = 0;         // set when the result could not be written
    const char* history_line = nullptr;  // accepted and printed: saved after the keyboard is let go
};
