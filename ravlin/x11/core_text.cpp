#include "ravlin/x11/core_text.h"

#include <X11/Xatom.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <strings.h>

#if !defined(__STDC_ISO_10646__)
#error "wide characters must be ISO 10646 code points"
#endif

namespace {

constexpr unsigned replacement_character = 0xFFFD;

// The font's XLFD name, as the server reports it (aliases such as "fixed"
// resolved); empty when it has none.
std::string font_name(Display* display, XFontStruct* font)
{
    unsigned long atom = 0;
    if (!XGetFontProperty(font, XA_FONT, &atom))
        return {};
    char* name = XGetAtomName(display, static_cast<Atom>(atom));
    if (!name)
        return {};
    std::string result = name;
    XFree(name);
    return result;
}

// Where the charset registry starts: after the 13th hyphen of a full XLFD.
size_t registry_start(const std::string& name)
{
    size_t at = 0;
    for (int hyphens = 0; hyphens < 13; ++hyphens) {
        at = name.find('-', at);
        if (at == std::string::npos)
            return std::string::npos;
        ++at;
    }
    return at;
}

// Nonexistent characters of a core font have all-zero metrics.
bool has_char(const XFontStruct* font, unsigned c)
{
    unsigned row = c >> 8, column = c & 0xFF;
    if (row < font->min_byte1 || row > font->max_byte1 || column < font->min_char_or_byte2 ||
        column > font->max_char_or_byte2)
        return false;
    if (!font->per_char)
        return true;
    unsigned columns = font->max_char_or_byte2 - font->min_char_or_byte2 + 1;
    const XCharStruct& glyph =
        font->per_char[(row - font->min_byte1) * columns + (column - font->min_char_or_byte2)];
    return glyph.width || glyph.ascent || glyph.descent || glyph.lbearing || glyph.rbearing;
}

// The glyphs of the first n bytes: one per character, or per byte that
// starts no character.
const std::vector<XChar2b>& convert(const CoreText& core, const char* text, int32_t n)
{
    std::vector<XChar2b>& glyphs = core.glyphs;
    glyphs.clear();
    std::mbstate_t state{};
    for (int32_t i = 0; i < n;) {
        unsigned c;
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            c = byte;
            ++i;
        } else {
            wchar_t wide;
            size_t length = std::mbrtowc(&wide, text + i, static_cast<size_t>(n - i), &state);
            if (length == 0 || length > static_cast<size_t>(n - i)) {
                state = {};
                c = replacement_character;
                ++i;
            } else {
                c = static_cast<unsigned>(wide);
                i += static_cast<int32_t>(length);
            }
        }
        if (c > core.last || !has_char(core.font, c))
            c = core.replacement;
        glyphs.push_back({static_cast<unsigned char>(c >> 8), static_cast<unsigned char>(c)});
    }
    return glyphs;
}

}  // namespace

CoreText* open_core_text(Display* display, XFontStruct* loaded)
{
    if (MB_CUR_MAX == 1)
        return nullptr;
    auto* core = new CoreText{loaded, false, 0x7F, '?', {}};
    std::string name = font_name(display, loaded);
    size_t registry = registry_start(name);
    if (registry != std::string::npos) {
        const char* charset = name.c_str() + registry;
        std::string variant = name.substr(0, registry) + "ISO10646-1";
        if (strcasecmp(charset, "ISO10646-1") == 0) {
            core->last = 0xFFFF;
        } else if (XFontStruct* font = XLoadQueryFont(display, variant.c_str())) {
            core->font = font;
            core->owned = true;
            core->last = 0xFFFF;
        } else if (strcasecmp(charset, "ISO8859-1") == 0) {
            core->last = 0xFF;
        }
    }
    unsigned default_char = core->font->default_char;
    if (has_char(core->font, default_char))
        core->replacement = default_char;
    else if (core->last >= replacement_character && has_char(core->font, replacement_character))
        core->replacement = replacement_character;
    return core;
}

void close_core_text(Display* display, CoreText* core)
{
    if (!core)
        return;
    if (core->owned)
        XFreeFont(display, core->font);
    delete core;
}

int32_t core_text_width(const CoreText& core, const char* text, int32_t n)
{
    const std::vector<XChar2b>& glyphs = convert(core, text, n);
    return XTextWidth16(core.font, glyphs.data(), static_cast<int>(glyphs.size()));
}

void draw_core_text(Display* display, Drawable drawable, GC gc, const CoreText& core, int x,
                    int y, const char* text, int32_t n)
{
    const std::vector<XChar2b>& glyphs = convert(core, text, n);
    XSetFont(display, gc, core.font->fid);
    XDrawString16(display, drawable, gc, x, y, glyphs.data(), static_cast<int>(glyphs.size()));
}
