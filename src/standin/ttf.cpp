/* ttf.cpp: SDL_ttf's font opening and blended text drawing over FreeType,
 * drawing the same pixels as SDL_ttf 2.0.11 does for the game's texts. */
#include <SDL/SDL_ttf.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

/* A glyph's box in whole pixels: x from the pen, y up from the baseline,
 * as SDL_ttf rounds them; and its coverage, rows of width bytes from 0 to
 * 255. */
struct Glyph {
    bool loaded;
    FT_UInt index;
    int minx, maxx, miny, maxy, advance;
    int width, rows;
    std::vector<FT_Byte> coverage;
};

/* The font keeps each character's glyph once drawn: the menus draw the same
 * labels at every frame. */
struct _TTF_Font {
    FT_Face face;
    std::vector<FT_Byte> file; /* FreeType reads the face from here */
    int ascent;
    int height;
    Glyph glyphs[256];
};

static FT_Library library;
static int initialised = 0;

/* SDL 1.2 keeps a surface's pitch in 16 bits: 4 bytes a pixel. */
static const long long MAX_WIDTH = 16383;

/* A font whose em is wider than a surface can be is refused; so is one of
 * no size, and ptsize * 64 cannot overflow. */
static const int MAX_PTSIZE = int(MAX_WIDTH);

/* A glyph whose box or advance reaches further than this many pixels is
 * refused, so that sums of a few of them fit an int. */
static const int MAX_METRIC = 1 << 24;

static bool bounded(FT_Pos x26)
{
    return x26 >= -FT_Pos(MAX_METRIC) * 64 && x26 <= FT_Pos(MAX_METRIC) * 64;
}

/* 26.6 fixed point to whole pixels, up and down. */
static int ceil26(FT_Pos x)
{
    return int(((x + 63) & -64) / 64);
}

static int floor26(FT_Pos x)
{
    return int((x & -64) / 64);
}

int TTF_Init(void)
{
    if (!initialised && FT_Init_FreeType(&library)) {
        SDL_SetError("Couldn't init FreeType engine");
        return -1;
    }
    ++initialised;
    return 0;
}

/* Reads a whole file through SDL, so that a missing one gets SDL's words. */
static bool readFile(const char* name, std::vector<FT_Byte>* out)
{
    SDL_RWops* rw = SDL_RWFromFile(name, "rb");
    if (!rw)
        return false;
    const int size = SDL_RWseek(rw, 0, RW_SEEK_END);
    bool ok = size > 0 && SDL_RWseek(rw, 0, RW_SEEK_SET) == 0;
    if (ok) {
        out->resize(size_t(size));
        ok = SDL_RWread(rw, out->data(), size, 1) == 1;
    }
    SDL_RWclose(rw);
    if (!ok)
        SDL_SetError("Couldn't read font file %s", name);
    return ok;
}

TTF_Font* TTF_OpenFont(const char* file, int ptsize)
{
    if (!initialised) {
        SDL_SetError("Library not initialized");
        return NULL;
    }
    if (ptsize < 1 || ptsize > MAX_PTSIZE) {
        SDL_SetError("Couldn't set font size %d", ptsize);
        return NULL;
    }
    TTF_Font* font = new (std::nothrow) TTF_Font();
    if (!font) {
        SDL_OutOfMemory();
        return NULL;
    }
    if (!readFile(file, &font->file)) {
        delete font;
        return NULL;
    }
    if (FT_New_Memory_Face(library, font->file.data(), FT_Long(font->file.size()), 0,
                           &font->face)) {
        SDL_SetError("Couldn't load font file %s", file);
        delete font;
        return NULL;
    }
    /* A point is a pixel: 72 dpi, FreeType's default. The line's metrics
     * are the face's, scaled and rounded up; the line holds one more row
     * than from its ascent to its descent. */
    if (!FT_IS_SCALABLE(font->face) || FT_Set_Char_Size(font->face, 0, ptsize * 64, 0, 0)) {
        SDL_SetError("Couldn't set font size");
        TTF_CloseFont(font);
        return NULL;
    }
    const FT_Fixed scale = font->face->size->metrics.y_scale;
    font->ascent = ceil26(FT_MulFix(font->face->ascender, scale));
    font->height = font->ascent - ceil26(FT_MulFix(font->face->descender, scale)) + 1;
    return font;
}

void TTF_CloseFont(TTF_Font* font)
{
    if (!font)
        return;
    FT_Done_Face(font->face);
    delete font;
}

int TTF_FontAscent(const TTF_Font* font)
{
    return font->ascent;
}

/* Copies FreeType's bitmap into g as 8-bit coverage. Outlines render to
 * 256 greys; embedded strikes may hold 1, 2 or 4 bits a pixel, spread here
 * over 0 to 255. Any other mode, or rows shorter than the pixels they
 * claim, is refused. */
static bool readBitmap(const FT_Bitmap& b, Glyph* g)
{
    int bits = 0;
    if (b.pixel_mode == FT_PIXEL_MODE_MONO)
        bits = 1;
    else if (b.pixel_mode == FT_PIXEL_MODE_GRAY2)
        bits = 2;
    else if (b.pixel_mode == FT_PIXEL_MODE_GRAY4)
        bits = 4;
    else if (b.pixel_mode == FT_PIXEL_MODE_GRAY && b.num_grays == 256)
        bits = 8;
    const size_t stride = size_t(std::abs(static_cast<long long>(b.pitch)));
    if (!bits || b.width > unsigned(MAX_METRIC) || b.rows > unsigned(MAX_METRIC) ||
        stride < (size_t(b.width) * bits + 7) / 8 || (b.rows && b.width && !b.buffer))
        return false;
    g->width = int(b.width);
    g->rows = int(b.rows);
    g->coverage.resize(size_t(b.width) * b.rows);
    const unsigned levels = (1u << bits) - 1;
    for (unsigned row = 0; row < b.rows; row++) {
        /* A negative pitch stores the rows from the bottom up. */
        const FT_Byte* src = b.buffer + stride * (b.pitch < 0 ? b.rows - 1 - row : row);
        for (unsigned col = 0, bit = 0; col < b.width; col++, bit += bits) {
            const unsigned level = src[bit / 8] >> (8 - bits - bit % 8) & levels;
            g->coverage[size_t(row) * b.width + col] = FT_Byte(level * 255 / levels);
        }
    }
    return true;
}

/* The glyph of a character, loaded and rendered by FreeType the first
 * time; NULL when FreeType cannot, or the font's glyph is out of bounds. */
static const Glyph* glyphOf(TTF_Font* font, unsigned char c)
{
    Glyph* g = &font->glyphs[c];
    if (g->loaded)
        return g;
    FT_Face face = font->face;
    g->index = FT_Get_Char_Index(face, c);
    const FT_Glyph_Metrics& m = face->glyph->metrics;
    if (FT_Load_Glyph(face, g->index, FT_LOAD_DEFAULT) ||
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) ||
        !bounded(m.horiBearingX) || !bounded(m.horiBearingY) || !bounded(m.width) ||
        !bounded(m.height) || !bounded(m.horiAdvance) ||
        !readBitmap(face->glyph->bitmap, g)) {
        SDL_SetError("Couldn't load glyph %u", unsigned(c));
        return NULL;
    }
    g->minx = floor26(m.horiBearingX);
    g->maxx = g->minx + ceil26(m.width);
    g->maxy = floor26(m.horiBearingY);
    g->miny = g->maxy - ceil26(m.height);
    g->advance = ceil26(m.horiAdvance);
    g->loaded = true;
    return g;
}

/* The pen's move from one glyph to the next beyond their advance; none
 * where FreeType fails or a damaged table gives an absurd one. */
static int kerning(TTF_Font* font, FT_UInt previous, FT_UInt index)
{
    FT_Vector delta;
    if (!FT_HAS_KERNING(font->face) || !previous || !index ||
        FT_Get_Kerning(font->face, previous, index, FT_KERNING_DEFAULT, &delta) ||
        !bounded(delta.x))
        return 0;
    return int(delta.x >> 6);
}

/* The size of the surface a text is drawn on: from the leftmost ink (or the
 * pen's start) to the last glyph's advance or ink, whichever is further;
 * the font's line, or more if a glyph hangs below it. A text wider than
 * SDL 1.2's surfaces can be is refused, before its sum can overflow. */
static bool measure(TTF_Font* font, const char* text, int* w, int* h)
{
    long long x = 0, minx = 0, maxx = 0, miny = 0;
    FT_UInt previous = 0;
    for (const char* p = text; *p; p++) {
        const Glyph* g = glyphOf(font, static_cast<unsigned char>(*p));
        if (!g)
            return false;
        x += kerning(font, previous, g->index);
        minx = std::min<long long>(minx, x + g->minx);
        maxx = std::max<long long>(maxx, x + std::max(g->advance, g->maxx));
        miny = std::min<long long>(miny, g->miny);
        x += g->advance;
        previous = g->index;
        if (maxx - minx > MAX_WIDTH || x < -MAX_WIDTH || x > MAX_WIDTH) {
            SDL_SetError("Text is too wide");
            return false;
        }
    }
    *w = int(maxx - minx);
    *h = int(std::max<long long>(font->height, font->ascent - miny));
    return true;
}

SDL_Surface* TTF_RenderText_Blended(TTF_Font* font, const char* text, SDL_Color fg)
{
    int w, h;
    if (!font || !text) {
        SDL_SetError("Passed a NULL pointer");
        return NULL;
    }
    if (!measure(font, text, &w, &h))
        return NULL;
    if (!w || h < 1) {
        SDL_SetError(w ? "Text has no height" : "Text has zero width");
        return NULL;
    }
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x00FF0000,
                                                0x0000FF00, 0x000000FF, 0xFF000000);
    if (!surface)
        return NULL;
    if (surface->pitch < 4 * w) { /* an SDL that wraps the pitch */
        SDL_FreeSurface(surface);
        SDL_SetError("Text is too wide");
        return NULL;
    }
    /* Every pixel takes the colour, transparent; the glyphs add coverage. */
    const Uint32 colour = Uint32(fg.r) << 16 | Uint32(fg.g) << 8 | fg.b;
    SDL_FillRect(surface, NULL, colour);

    Uint32* const pixels = static_cast<Uint32*>(surface->pixels);
    const int stride = surface->pitch / 4;
    int xstart = 0;
    FT_UInt previous = 0;
    for (const char* p = text; *p; p++) {
        const Glyph* g = glyphOf(font, static_cast<unsigned char>(*p));
        if (!g) {
            SDL_FreeSurface(surface);
            return NULL;
        }
        /* Ink is drawn no wider than the glyph's rounded box, placed by the
         * box, not by the bitmap's own offset; a first glyph reaching left
         * of its pen moves the pen right instead. */
        const int width = std::min(g->width, g->maxx - g->minx);
        xstart += kerning(font, previous, g->index);
        if (p == text && g->minx < 0)
            xstart -= g->minx;
        /* A kerning that pulls a glyph left of the surface's start, or a
         * glyph whose ink reaches left of the first one's, would write off
         * its row, into the row above or before the surface: ink outside
         * the surface is dropped, on every row. */
        const int x0 = xstart + g->minx;
        const int first = std::max(0, -x0), last = std::min(width, w - x0);
        const int yoffset = font->ascent - g->maxy;
        for (int row = std::max(0, -yoffset); row < g->rows && row + yoffset < h; row++) {
            Uint32* dst = pixels + (row + yoffset) * stride;
            const FT_Byte* src = g->coverage.data() + size_t(g->width) * row;
            for (int col = first; col < last; col++)
                dst[x0 + col] |= colour | Uint32(src[col]) << 24;
        }
        xstart += g->advance;
        previous = g->index;
    }
    return surface;
}
