#include "ravlin/drawing/text_fitting.h"

int32_t fit_text_length(const TextMeasurer& measurer, const char* text, int32_t width)
{
    int32_t n = static_cast<int32_t>(std::strlen(text));
    if (n > 1024)
        n = 1024;
    while (measurer.font_height() / 2 + measurer.text_extent(text, n) > width) {
        if (n == 0)
            return -1;
        --n;
    }
    return n;
}
