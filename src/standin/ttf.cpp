/* ttf.cpp: SDL_ttf's font opening and blended text drawing over FreeType,
 * drawing the same pixels as SDL_ttf 2.0.11 does for the game's texts. */
#include <SDL/SDL_ttf.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <new>
#include <vector>

/* A glyph's box in whole pixels: x from the pen, y up from the baseline,
 * as SDL_ttf rounds them; and its coverage, rows of width bytes. */
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

/* The glyph of a character, loaded and rendered by FreeType the first
 * time; NULL when FreeType cannot. */
static const Glyph* glyphOf(TTF_Font* font, unsigned char c)
{
    Glyph* g = &font->glyphs[c];
    if (g->loaded)
        return g;
    FT_Face face = font->face;
    g->index = FT_Get_Char_Index(face, c);
    if (FT_Load_Glyph(face, g->index, FT_LOAD_DEFAULT) ||
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)) {
        SDL_SetError("Couldn't load glyph %u", unsigned(c));
        return NULL;
    }
    const FT_Glyph_Metrics& m = face->glyph->metrics;
    g->minx = floor26(m.horiBearingX);
    g->maxx = g->minx + ceil26(m.width);
    g->maxy = floor26(m.horiBearingY);
    g->miny = g->maxy - ceil26(m.height);
    g->advance = ceil26(m.horiAdvance);
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    g->width = int(bitmap.width);
    g->rows = int(bitmap.rows);
    g->coverage.resize(size_t(g->width) * g->rows);
    for (int row = 0; row < g->rows; row++)
        std::copy_n(bitmap.buffer + bitmap.pitch * row, g->width,
                    g->coverage.begin() + row * g->width);
    g->loaded = true;
    return g;
}

/* The pen's move from one glyph to the next beyond their advance. */
static int kerning(TTF_Font* font, FT_UInt previous, FT_UInt index)
{
    FT_Vector delta;
    if (!FT_HAS_KERNING(font->face) || !previous || !index ||
        FT_Get_Kerning(font->face, previous, index, FT_KERNING_DEFAULT, &delta))
        return 0;
    return int(delta.x >> 6);
}

/* The size of the surface a text is drawn on: from the leftmost ink (or the
 * pen's start) to the last glyph's advance or ink, whichever is further;
 * the font's line, or more if a glyph hangs below it. */
static bool measure(TTF_Font* font, const char* text, int* w, int* h)
{
    int x = 0, minx = 0, maxx = 0, miny = 0;
    FT_UInt previous = 0;
    for (const char* p = text; *p; p++) {
        const Glyph* g = glyphOf(font, static_cast<unsigned char>(*p));
        if (!g)
            return false;
        x += kerning(font, previous, g->index);
        minx = std::min(minx, x + g->minx);
        maxx = std::max(maxx, x + std::max(g->advance, g->maxx));
        miny = std::min(miny, g->miny);
        x += g->advance;
        previous = g->index;
    }
    *w = maxx - minx;
    *h = std::max(font->height, font->ascent - miny);
    return true;
}

SDL_Surface* TTF_RenderText_Blended(TTF_Font* font, const char* text, SDL_Color fg)
{
    int w, h;
    if (!measure(font, text, &w, &h))
        return NULL;
    if (!w) {
        SDL_SetError("Text has zero width");
        return NULL;
    }
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x00FF0000,
                                                0x0000FF00, 0x000000FF, 0xFF000000);
    if (!surface)
        return NULL;
    /* Every pixel takes the colour, transparent; the glyphs add coverage. */
    const Uint32 colour = Uint32(fg.r) << 16 | Uint32(fg.g) << 8 | fg.b;
    SDL_FillRect(surface, NULL, colour);

    Uint32* const pixels = static_cast<Uint32*>(surface->pixels);
    const int stride = surface->pitch / 4;
    const Uint32* const end = pixels + stride * h;
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
        const int yoffset = font->ascent - g->maxy;
        for (int row = 0; row < g->rows; row++) {
            const int y = row + yoffset;
            if (y < 0 || y >= h)
                continue;
            Uint32* dst = pixels + y * stride + xstart + g->minx;
            const FT_Byte* src = g->coverage.data() + g->width * row;
            /* A kerning that pulls a glyph left of the surface's start
             * would write before it: those pixels are dropped. */
            for (int col = 0; col < width && dst < end; col++, dst++, src++)
                if (dst >= pixels)
                    *dst |= colour | Uint32(*src) << 24;
        }
        xstart += g->advance;
        previous = g->index;
    }
    return surface;
}
