#include "ravlin/x11/font_fallback.h"

#include <cstring>

#include "ravlin/base/utf8.h"

namespace {

constexpr char32_t last_code = 0x10FFFF;
constexpr uint8_t unknown = 0, loaded_slot = 1, first_fallback = 2;
constexpr size_t max_fallbacks = 0xFF - first_fallback + 1;

// No font should draw these; they keep the loaded font's box as before.
bool is_control(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

// Blocks where a character the loaded font lacks is wanted as a colour
// emoji: a match on the character alone takes whichever font with it comes
// first by family, often a monochrome one.
bool wants_colour(char32_t c)
{
    return (c >= 0x2300 && c <= 0x23FF)       // watch, hourglass, media keys
           || (c >= 0x2600 && c <= 0x27BF)    // miscellaneous symbols, dingbats
           || (c >= 0x2B00 && c <= 0x2BFF)    // stars, large squares and circles
           || (c >= 0x1F000 && c <= 0x1FAFF); // the pictographs and flags
}

bool is_colour_font(const FcPattern* pattern)
{
    FcBool colour = FcFalse;
    return FcPatternGetBool(pattern, FC_COLOR, 0, &colour) == FcResultMatch && colour;
}

// Two patterns name the same face of the same file.
bool same_face(const FcPattern* a, const FcPattern* b)
{
    FcChar8 *file_a, *file_b;
    int index_a = 0, index_b = 0;
    if (FcPatternGetString(a, FC_FILE, 0, &file_a) != FcResultMatch ||
        FcPatternGetString(b, FC_FILE, 0, &file_b) != FcResultMatch)
        return false;
    FcPatternGetInteger(a, FC_INDEX, 0, &index_a);
    FcPatternGetInteger(b, FC_INDEX, 0, &index_b);
    return index_a == index_b && std::strcmp(reinterpret_cast<const char*>(file_a),
                                             reinterpret_cast<const char*>(file_b)) == 0;
}

}  // namespace

FontFallback::FontFallback(Display* display, XftFont* loaded, const char* name)
    : display_(display),
      loaded_(loaded),
      request_(FcNameParse(reinterpret_cast<const FcChar8*>(name))),
      // Older libXft cannot draw colour glyphs: such fonts make it fail.
      colour_allowed_(XftGetVersion() >= 20305)
{
    printable_ascii_ = true;
    for (char32_t c = 0x20; c <= 0x7E; ++c)
        printable_ascii_ = printable_ascii_ && XftCharExists(display_, loaded_, c);
}

FontFallback::~FontFallback()
{
    for (XftFont* font : fonts_)
        XftFontClose(display_, font);
    for (Ranking* ranking : {&plain_, &colour_}) {
        if (ranking->fonts)
            FcFontSetDestroy(ranking->fonts);
        if (ranking->request)
            FcPatternDestroy(ranking->request);
    }
    if (request_)
        FcPatternDestroy(request_);
}

bool FontFallback::plain_ascii(const char* text, int32_t n) const
{
    if (!printable_ascii_)
        return false;
    // Eight bytes at a time: a byte below 0x20, or one above 0x7E (whose
    // top bit is set, or becomes set when one is added), leaves a top bit.
    constexpr uint64_t ones = 0x0101010101010101, tops = 0x8080808080808080;
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        std::memcpy(&x, text + i, 8);
        if ((((x - 0x20 * ones) & ~x) | (x + ones) | x) & tops)
            return false;
    }
    for (; i < n; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte > 0x7E)
            return false;
    }
    return true;
}

const TextLayout& FontFallback::lay_out(const char* text, int32_t n)
{
    TextLayout& layout = layout_;
    layout.glyphs.clear();
    layout.runs.clear();
    layout.fallback_used = false;
    // The union of the glyph boxes at their pen positions, as Xft forms it
    // for one string, from the metrics each glyph had when first met.
    int32_t pen = 0, left = 0, right = 0;
    for (int32_t i = 0; i < n;) {
        Utf8Char character = decode_utf8(text + i, n - i);
        i += character.length;
        const Glyph& g = glyph(character.code);
        XftFont* font = font_in(g.slot);
        if (layout.runs.empty() || layout.runs.back().font != font) {
            layout.runs.push_back({font, static_cast<int32_t>(layout.glyphs.size()), 0, pen});
            layout.fallback_used = layout.fallback_used || font != loaded_;
        }
        layout.glyphs.push_back(g.index);
        ++layout.runs.back().count;
        int32_t glyph_left = pen - g.x;
        int32_t glyph_right = glyph_left + g.width;
        if (layout.glyphs.size() == 1 || glyph_left < left)
            left = glyph_left;
        if (layout.glyphs.size() == 1 || glyph_right > right)
            right = glyph_right;
        pen += g.advance;
    }
    layout.width = right - left;
    layout.advance = pen;
    return layout;
}

XftFont* FontFallback::font_for(char32_t c)
{
    return font_in(glyph(c).slot);
}

XftFont* FontFallback::font_in(uint8_t slot) const
{
    return slot == loaded_slot ? loaded_ : fonts_[slot - first_fallback];
}

const FontFallback::Glyph& FontFallback::glyph(char32_t c)
{
    if (c > last_code)
        c = utf8_replacement;
    if (blocks_.empty())
        blocks_.resize((last_code >> 8) + 1);
    std::unique_ptr<Block>& block = blocks_[c >> 8];
    if (!block)
        block = std::make_unique<Block>();
    Glyph& g = (*block)[c & 0xFF];
    if (g.slot == unknown) {
        uint8_t slot = find_slot(c);
        XftFont* font = font_in(slot);
        FT_UInt index = XftCharIndex(display_, font, c);
        // Measured once: Xft may drop a colour glyph from its cache as soon
        // as it is loaded (it counts one at 256 times its size) and would
        // decode it again for every measurement.
        XGlyphInfo metrics;
        XftGlyphExtents(display_, font, &index, 1, &metrics);
        g = {index, metrics.x, metrics.width, metrics.xOff, slot};
    }
    return g;
}

uint8_t FontFallback::find_slot(char32_t c)
{
    if (is_control(c) || XftCharExists(display_, loaded_, c))
        return loaded_slot;
    ++searches_;
    uint8_t found = unknown;
    if (colour_allowed_ && wants_colour(c)) {
        rank(colour_, true);
        found = first_with(colour_, c);
    }
    // No colour font has it: the font closest to the loaded one that does.
    if (found == unknown) {
        rank(plain_, false);
        found = first_with(plain_, c);
    }
    return found == unknown ? loaded_slot : found;
}

// Ranks the installed fonts for the loaded font's request, as Xft matches a
// name; for colour, keeps only the colour fonts. A match on the request
// with the character added would rank them all again for every character.
void FontFallback::rank(Ranking& ranking, bool colour)
{
    if (ranking.ranked)
        return;
    ranking.ranked = true;
    if (!request_)
        return;
    FcPattern* pattern = FcPatternDuplicate(request_);
    if (colour) {
        // A picture comes in one style: slanted or emboldened it is only
        // smeared, and Xft caches no slanted colour glyph.
        FcPatternDel(pattern, FC_SLANT);
        FcPatternDel(pattern, FC_WEIGHT);
        FcPatternAddBool(pattern, FC_COLOR, FcTrue);
    } else if (!colour_allowed_) {
        FcPatternAddBool(pattern, FC_COLOR, FcFalse);
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    XftDefaultSubstitute(display_, DefaultScreen(display_), pattern);
    ranking.request = pattern;
    ++rankings_;
    FcResult result;
    FcFontSet* sorted;
    if (colour) {
        // Only the few colour fonts are ranked for emoji.
        FcFontSet* colour_fonts = FcFontSetCreate();
        for (FcSetName which : {FcSetSystem, FcSetApplication}) {
            FcFontSet* fonts = FcConfigGetFonts(nullptr, which);
            for (int i = 0; fonts && i < fonts->nfont; ++i) {
                if (is_colour_font(fonts->fonts[i])) {
                    FcPatternReference(fonts->fonts[i]);
                    FcFontSetAdd(colour_fonts, fonts->fonts[i]);
                }
            }
        }
        sorted = FcFontSetSort(nullptr, &colour_fonts, 1, pattern, FcFalse, nullptr, &result);
        FcFontSetDestroy(colour_fonts);
    } else {
        // Untrimmed: trimming merges every font's charset, which costs more
        // than the walks it would shorten.
        sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    }
    if (!sorted)
        return;
    FcFontSet* kept = FcFontSetCreate();
    for (int i = 0; i < sorted->nfont; ++i) {
        FcPattern* font = sorted->fonts[i];
        bool colour_font = is_colour_font(font);
        if (colour ? colour_font : colour_allowed_ || !colour_font) {
            FcPatternReference(font);
            FcFontSetAdd(kept, font);
        }
    }
    FcFontSetDestroy(sorted);
    ranking.fonts = kept;
    ranking.slots.assign(static_cast<size_t>(kept->nfont), unknown);
}

// The slot of the best-ranked font that has c, opened if need be; unknown
// when none has it.
uint8_t FontFallback::first_with(Ranking& ranking, char32_t c)
{
    if (!ranking.fonts)
        return unknown;
    for (int i = 0; i < ranking.fonts->nfont; ++i) {
        FcCharSet* has = nullptr;
        if (FcPatternGetCharSet(ranking.fonts->fonts[i], FC_CHARSET, 0, &has) != FcResultMatch ||
            !FcCharSetHasChar(has, c))
            continue;
        uint8_t slot = open_slot(ranking, i);
        if (slot != loaded_slot)
            return slot;
    }
    return unknown;
}

// Opens font index of the ranking as Xft opens a matched name, unless the
// same face is open already (from the other ranking). A font that cannot be
// opened is marked with the loaded font's slot and skipped from then on.
uint8_t FontFallback::open_slot(Ranking& ranking, int index)
{
    uint8_t& slot = ranking.slots[static_cast<size_t>(index)];
    if (slot != unknown)
        return slot;
    slot = loaded_slot;
    FcPattern* font = ranking.fonts->fonts[index];
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (same_face(font, fonts_[i]->pattern))
            return slot = static_cast<uint8_t>(first_fallback + i);
    if (fonts_.size() >= max_fallbacks)
        return slot;
    FcPattern* prepared = FcFontRenderPrepare(nullptr, ranking.request, font);
    XftFont* opened = prepared ? XftFontOpenPattern(display_, prepared) : nullptr;
    if (!opened) {
        if (prepared)
            FcPatternDestroy(prepared);
        return slot;
    }
    // The font owns the prepared pattern now.
    fonts_.push_back(opened);
    return slot = static_cast<uint8_t>(first_fallback + fonts_.size() - 1);
}
