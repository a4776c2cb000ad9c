// Text on the screen: DejaVu Sans rendered with FreeType, anti-aliased and
// blended in the current colour. The face is opened once per process and
// each glyph is rendered once: the editor redraws the same few dozen
// glyphs on every panel it draws.
#include "host/gui/screen.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vxh {

namespace {

constexpr int kPixelSize = 12;
constexpr int kAscent = 11; // baseline below the top of a line

// A rendered glyph: its coverage bitmap (width bytes a row) placed relative
// to the pen on the baseline.
struct Glyph {
    bool loaded = false; // rendered, or found not to render
    bool drawable = false;
    int left = 0, top = 0, advance = 0;
    int width = 0, rows = 0;
    std::vector<uint8_t> coverage;
};

struct Font {
    bool tried = false;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::vector<Glyph> glyphs; // by glyph index, filled as they are drawn
};

Font font;

FT_Face openFace()
{
    if (font.tried)
        return font.face;
    font.tried = true;
    if (FT_Init_FreeType(&font.library))
        return nullptr;
    const char *own = getenv("VX_FONT");
    const char *paths[] = {own ? own : "", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                           "/usr/share/fonts/TTF/DejaVuSans.ttf"};
    for (const char *path : paths)
        if (*path && !FT_New_Face(font.library, path, 0, &font.face)) {
            FT_Set_Pixel_Sizes(font.face, 0, kPixelSize);
            return font.face;
        }
    font.face = nullptr;
    return nullptr;
}

// Next code point of UTF-8 text (invalid bytes stand for themselves).
uint32_t nextCodePoint(const std::string &text, size_t &i)
{
    const auto b = static_cast<uint8_t>(text[i++]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    uint32_t cp = extra ? b & (0x3F >> extra) : b;
    for (int k = 0; k < extra && i < text.size(); ++k) {
        const auto c = static_cast<uint8_t>(text[i]);
        if ((c & 0xC0) != 0x80)
            return b;
        cp = cp << 6 | (c & 0x3F);
        ++i;
    }
    return cp;
}

// The rendered glyph of an index of the open face.
const Glyph &glyphAt(FT_Face face, FT_UInt index)
{
    if (font.glyphs.empty())
        font.glyphs.resize(static_cast<size_t>(std::max<FT_Long>(face->num_glyphs, 1)));
    static Glyph missing; // an index past the face's glyphs (never drawn)
    if (index >= font.glyphs.size())
        return missing;
    Glyph &g = font.glyphs[index];
    if (g.loaded)
        return g;
    g.loaded = true;
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT))
        return g;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap &b = slot->bitmap;
    g.drawable = true;
    g.left = slot->bitmap_left, g.top = slot->bitmap_top;
    g.advance = static_cast<int>(slot->advance.x >> 6);
    g.width = static_cast<int>(b.width), g.rows = static_cast<int>(b.rows);
    g.coverage.resize(static_cast<size_t>(g.width) * g.rows);
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.width; ++c)
            g.coverage[static_cast<size_t>(r) * g.width + c] = b.buffer[r * b.pitch + c];
    return g;
}

// Runs f(glyph, pen x) for every glyph of one line; returns the width.
template <typename F> int layLine(const std::string &text, F f)
{
    FT_Face face = openFace();
    if (!face)
        return 0;
    int pen = 0;
    FT_UInt previous = 0;
    for (size_t i = 0; i < text.size();) {
        FT_UInt index = FT_Get_Char_Index(face, nextCodePoint(text, i));
        if (previous && index && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            if (!FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &kern))
                pen += static_cast<int>(kern.x >> 6);
        }
        const Glyph &glyph = glyphAt(face, index);
        if (!glyph.drawable)
            continue;
        f(glyph, pen);
        pen += glyph.advance;
        previous = index;
    }
    return pen;
}

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

} // namespace

bool fontAvailable()
{
    return openFace() != nullptr;
}

int textWidth(const std::string &text)
{
    int widest = 0;
    for (const std::string &line : splitLines(text))
        widest = std::max(widest, layLine(line, [](const Glyph &, int) {}));
    return widest;
}

std::string wrapText(const std::string &text, int width)
{
    std::string out;
    const std::vector<std::string> paragraphs = splitLines(text);
    for (size_t p = 0; p < paragraphs.size(); ++p) {
        const std::string &paragraph = paragraphs[p];
        if (p > 0)
            out += '\n';
        std::string line;
        size_t at = 0;
        while (at < paragraph.size()) {
            const size_t end = std::min(paragraph.find(' ', at), paragraph.size());
            const std::string word = paragraph.substr(at, end - at);
            const std::string longer = line.empty() ? word : line + " " + word;
            if (!line.empty() && textWidth(longer) > width) {
                out += line + '\n';
                line = word;
            } else {
                line = longer;
            }
            at = end + 1;
        }
        out += line;
    }
    return out;
}

void drawText(Screen &s, const std::string &text, int x, int y, int cx0, int cy0, int cx1, int cy1)
{
    if (!screenReady(s))
        return;
    cx0 = std::max(cx0, 0), cy0 = std::max(cy0, 0);
    cx1 = std::min(cx1, s.width - 1), cy1 = std::min(cy1, s.height - 1);
    int lineY = y;
    for (const std::string &line : splitLines(text)) {
        layLine(line, [&](const Glyph &g, int pen) {
            const int gx = x + pen + g.left, gy = lineY + kAscent - g.top;
            for (int r = 0; r < g.rows; ++r)
                for (int c = 0; c < g.width; ++c) {
                    const int px = gx + c, py = gy + r;
                    const int a = g.coverage[static_cast<size_t>(r) * g.width + c];
                    if (!a || px < cx0 || py < cy0 || px > cx1 || py > cy1)
                        continue;
                    uint8_t *p = &s.rgb[(static_cast<size_t>(py) * s.width + px) * 3];
                    for (int k = 0; k < 3; ++k)
                        p[k] =
                            static_cast<uint8_t>((s.colour[k] * a + p[k] * (255 - a) + 127) / 255);
                }
        });
        lineY += kFontHeight;
    }
}

void drawBoxText(Screen &s, const std::string &text, int x, int y, int w, int h, uint32_t flags)
{
    if (w <= 0 || h <= 0)
        return;
    const int lines = static_cast<int>(splitLines(text).size());
    const int tw = textWidth(text), th = lines * kFontHeight;
    int tx = x + 2;
    if (flags & 0x04)
        tx = x + w - 2 - tw;
    else if (flags & 0x08)
        tx = x + (w - tw) / 2;
    const int ty = flags & 0x10 ? y + (h - th) / 2 : y;
    if ((flags & 0x01) && tw > 0) {
        // A tab behind the text, in the panel colour, so that a title
        // written over a box edge stays readable.
        uint8_t keep[3] = {s.colour[0], s.colour[1], s.colour[2]};
        setColourYuva(s, paletteColour(s.guiMode == 3 ? 1 : 0, 2));
        fillRect(s, tx - 4, ty, tx + tw + 3, ty + th - 1);
        drawBevel(s, tx - 4, ty, tw + 8, th, false);
        setColourRgb(s, keep[0], keep[1], keep[2]);
    }
    drawText(s, text, tx, ty, x, y, x + w - 1, y + h - 1);
}

} // namespace vxh
