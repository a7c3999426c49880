#pragma once

#include <cstdint>

#include "ravlin/base/text_measurer.h"
#include "ravlin/drawing/canvas.h"

// How much of a text paint_text_fitted shows in a rectangle, as pure rules
// over a TextMeasurer so they can be checked without a display.
//
// A prefix "fits" a rectangle of width w when font_height()/2 plus its
// extent is not greater than w. Prefixes are cut only between UTF-8
// characters (a byte that is not 10xxxxxx starts one) and never go beyond
// the first fit_text_limit bytes.

// The most bytes of one text that are ever drawn.
inline constexpr int32_t fit_text_limit = 1024;

// Length in bytes of the longest prefix that fits, or -1 when not even the
// empty prefix does (then nothing at all is drawn, not even the background).
//
// Always the same answer as fit_text_length_walk for fonts whose prefix
// widths never shrink as the text grows, with about log2(n) + 2 measurements
// instead of up to n + 1; text_fitting.cpp says why the fonts qualify.
int32_t fit_text_length(const TextMeasurer& measurer, const char* text, int32_t width);

// The plain rule the search must agree with: measure every prefix from the
// longest down and take the first that fits. Kept for tests and benchmarks.
int32_t fit_text_length_walk(const TextMeasurer& measurer, const char* text, int32_t width);

// Where three full stops start when the first length bytes of text are shown:
// when the text goes on beyond them and they hold at least three characters,
// the start of the third character from their end (the stops take the place
// of whole characters); otherwise length, and no stops are drawn.
int32_t ellipsis_start(const char* text, int32_t length);

// Fills the cell with the pair's background and draws as much of the text
// as fits in it, with three full stops where it was cut. fit chooses how
// much is shown (the benchmark passes the walk). known_extent is the text's
// width when the caller has measured it already (-1 when not): a text
// known to fit is drawn whole without measuring again.
using FitRule = int32_t (*)(const TextMeasurer&, const char*, int32_t);
void paint_text_fitted(Canvas& canvas, const Rect& cell, const char* text, const ColorPair& pair,
                       FitRule fit = fit_text_length, int32_t known_extent = -1);

// Draws n bytes of text in the cell: inset by half the font height, the
// line's extra height shared above and below.
void paint_text_run(Canvas& canvas, const Rect& cell, const char* bytes, int32_t n,
                    const ColorPair& pair);
