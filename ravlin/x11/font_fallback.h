#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// Text laid out for an Xft font and its fallbacks: runs of glyphs that one
// font draws, side by side on the loaded font's baseline.
struct GlyphRun {
    XftFont* font;
    int32_t first, count;  // its glyphs in TextLayout::glyphs
    int32_t pen;           // x of its first glyph's origin from the text's origin
};

struct TextLayout {
    std::vector<FT_UInt> glyphs;
    std::vector<GlyphRun> runs;
    // The box around every glyph at its pen position, the box Xft measures
    // for one string in one font: for text wholly in the loaded font, the
    // width XftTextExtentsUtf8 gives.
    int32_t width = 0;
    int32_t advance = 0;  // where the pen stops after the last glyph
    bool fallback_used = false;  // some run is in a font other than the loaded one
};

// Where the characters an Xft font lacks come from. A character the loaded
// font has is always drawn with it. For one it lacks, the first font that
// has it is taken from the installed fonts as fontconfig ranks them for the
// loaded font's request; fontconfig ranks them once (once more for colour
// emoji), and each character costs only a test of the fonts' charsets.
// Everything learnt is kept for the life of the surface: the rankings, the
// fonts opened, the font, glyph and metrics of each character met, and the
// characters no font has (those keep the loaded font's box, as without
// fallbacks). Nothing is asked of fontconfig before a character needs it.
class FontFallback {
public:
    // name: what the loaded font was opened from; fallbacks are matched
    // from the same request, so they come at its size and style.
    FontFallback(Display* display, XftFont* loaded, const char* name);
    ~FontFallback();  // closes every font it opened
    FontFallback(const FontFallback&) = delete;
    FontFallback& operator=(const FontFallback&) = delete;

    // True when the text is printable ASCII and the loaded font has all of
    // that: Xft's own UTF-8 calls then measure and draw it, as they always
    // have, and nothing here is consulted.
    bool plain_ascii(const char* text, int32_t n) const;

    // Lays out the first n bytes of text, each bad UTF-8 byte as U+FFFD.
    // The layout is overwritten by the next call.
    const TextLayout& lay_out(const char* text, int32_t n);

    // The font that draws c: the loaded font when it has c, when no font
    // does, or when c is a control character; otherwise a fallback.
    XftFont* font_for(char32_t c);

    // Characters that were looked up in the rankings so far; each one is
    // looked up at most once.
    int32_t searches() const { return searches_; }
    // Times fontconfig was asked to rank the installed fonts: at most two
    // for the life of the surface, however many characters were looked up.
    int32_t rankings() const { return rankings_; }

private:
    // What is known of one character.
    struct Glyph {
        FT_UInt index;     // in its font
        int16_t x;         // XGlyphInfo: pen to the left of the box, negated
        uint16_t width;    // of the box
        int16_t advance;   // XGlyphInfo::xOff
        uint8_t slot;      // 0: not met yet; 1: the loaded font; k >= 2: fonts_[k - 2]
    };
    using Block = std::array<Glyph, 256>;

    // The installed fonts, best first for one request, and what became of
    // those that were needed.
    struct Ranking {
        FcPattern* request = nullptr;  // substituted as Xft substitutes a name
        FcFontSet* fonts = nullptr;    // null until first needed, or when none
        std::vector<uint8_t> slots;    // per font: unknown until opened
        bool ranked = false;
    };

    const Glyph& glyph(char32_t c);
    uint8_t find_slot(char32_t c);
    uint8_t first_with(Ranking& ranking, char32_t c);
    void rank(Ranking& ranking, bool colour);
    uint8_t open_slot(Ranking& ranking, int index);
    XftFont* font_in(uint8_t slot) const;

    Display* display_;
    XftFont* loaded_;
    FcPattern* request_;             // the loaded font's name, parsed
    bool printable_ascii_ = false;   // the loaded font has U+0020..U+007E
    bool colour_allowed_;            // this libXft draws colour glyphs
    std::vector<std::unique_ptr<Block>> blocks_;  // by c >> 8, made on demand
    std::vector<XftFont*> fonts_;    // the fallbacks opened, in order found
    Ranking plain_;                  // for the request as it is
    Ranking colour_;                 // colour fonts only, for emoji
    int32_t searches_ = 0;
    int32_t rankings_ = 0;
    TextLayout layout_;
};
