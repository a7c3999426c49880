#pragma once

#include <cstdint>

#include "ravlin/drawing/text_measurer.h"

// How many bytes of text paint_text_fitted shows in a rectangle of the given
// width: the longest prefix (never cut inside a UTF-8 character) for which
// height/2 + its extent is not greater than width. -1 when not even the empty
// prefix fits, so nothing at all is drawn.
int32_t fit_text_length(const TextMeasurer& measurer, const char* text, int32_t width);
