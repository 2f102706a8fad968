/* fonts.cpp: what the stand-ins must refuse or draw exactly, built with
 * the sanitizers. Given strikes.ttf (tools/make_strikes.py), its embedded
 * bitmaps of every depth must draw as their levels; sizes FreeType cannot
 * take, and turns the rotation cannot make (a non-finite angle, a surface
 * not 32-bit, empty, zoomed or unsmoothed), must be refused with SDL's
 * error, while any finite angle gives a sound surface. A sanitizer's report
 * aborts. Run where game_over.ttf is. */
#include <SDL/SDL.h>
#include <SDL/SDL_rotozoom.h>
#include <SDL/SDL_ttf.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

static int failures = 0;

static void fail(const std::string& what)
{
    if (failures++ < 20)
        std::printf("fonts: %s\n", what.c_str());
}

/* NULL is allowed with a reason, which SDL_GetError must give. */
static bool refusedWithReason(const void* result, const std::string& what)
{
    if (result)
        return false;
    if (!*SDL_GetError())
        fail(what + ": NULL without an error");
    return true;
}

/* Each strike of strikes.ttf draws "A" at its size, 20 + i pixels, at
 * 1 << i bits a pixel: level (5x + 3y + 1) mod 2^bits at (x, y) of an 11 by
 * 3 box standing on the baseline, as coverage scaled to 255. The 8-bit
 * strike's "B" inks 11 columns from 16 left of its pen: after "A", 4 of
 * them fall left of the surface and are dropped, on every row, and the
 * surface is measured from them: 28 wide. */
static void checkStrikes(const char* file)
{
    static const struct { int size; const char* text; int width; } draws[] = {
        {20, "A", 12}, {21, "A", 12}, {22, "A", 12}, {23, "A", 12}, {23, "AB", 28}};
    for (const auto& d : draws) {
        const int levels = (1 << (1 << (d.size - 20))) - 1;
        const std::string what = "strike at " + std::to_string(d.size) + " '" + d.text + "'";
        TTF_Font* font = TTF_OpenFont(file, d.size);
        SDL_Surface* s = font ? TTF_RenderText_Blended(font, d.text, {255, 255, 255, 0}) : NULL;
        if (!s) {
            fail(what + ": " + SDL_GetError());
            TTF_CloseFont(font);
            continue;
        }
        int wrong = 0;
        for (int y = 0; y < s->h; y++)
            for (int x = 0; x < s->w; x++) {
                const int row = y - (TTF_FontAscent(font) - 3);
                const bool ink = row >= 0 && row < 3;
                const int a = ink && x < 11 ? (5 * x + 3 * row + 1) % (levels + 1) * 255 / levels : 0;
                const int want = ink && d.text[1] && x < 7 ? 255 : a;
                const Uint32 p = static_cast<Uint32*>(s->pixels)[y * s->pitch / 4 + x];
                wrong += int(p >> 24) != want;
            }
        if (wrong || s->w != d.width)
            fail(what + ": " + std::to_string(wrong) + " pixels wrong, " + std::to_string(s->w) +
                 " wide");
        SDL_FreeSurface(s);
        TTF_CloseFont(font);
    }
}

/* Sizes FreeType cannot take are refused; its extremes, 1 and 16383, are not. */
static void checkSizes()
{
    for (const int size : {1, 16383, 0, -1, INT_MIN, 16384, 1 << 26, INT_MAX}) {
        const bool opens = size == 1 || size == 16383;
        SDL_ClearError();
        TTF_Font* font = TTF_OpenFont("game_over.ttf", size);
        if (!refusedWithReason(font, "size " + std::to_string(size)) != opens)
            fail("size " + std::to_string(size) + (opens ? " refused" : " opened"));
        TTF_CloseFont(font);
    }
}

/* A turn the rotation cannot make is refused with a reason; any finite
 * angle, however large or small, gives a 32-bit surface of rows that hold
 * its width. (An infinite angle's sine, not a number, once overflowed the
 * turn's sums.) */
static void checkTurns()
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    SDL_Surface* square = SDL_CreateRGBSurface(SDL_SWSURFACE, 7, 5, 32, 0, 0, 0, 0);
    SDL_Surface* grey = SDL_CreateRGBSurface(SDL_SWSURFACE, 7, 5, 8, 0, 0, 0, 0);
    SDL_Surface* empty = SDL_CreateRGBSurface(SDL_SWSURFACE, 0, 5, 32, 0, 0, 0, 0);
    static Uint32 pixels[7 * 5]; /* made by hand, with rows too short for 7 pixels */
    SDL_Surface* narrow = SDL_CreateRGBSurfaceFrom(pixels, 7, 5, 32, 3 * 7, 0, 0, 0, 0);
    const struct { SDL_Surface* s; double angle, zoom; int smooth; bool turns; } turns[] = {
        {NULL, 5, 1, SMOOTHING_ON, false}, {square, inf, 1, SMOOTHING_ON, false},
        {square, -inf, 1, SMOOTHING_ON, false}, {square, nan, 1, SMOOTHING_ON, false},
        {grey, 5, 1, SMOOTHING_ON, false}, {empty, 5, 1, SMOOTHING_ON, false},
        {narrow, 5, 1, SMOOTHING_ON, false},
        {square, 5, 2, SMOOTHING_ON, false}, {square, 5, 1, SMOOTHING_OFF, false},
        {square, 1e300, 1, SMOOTHING_ON, true}, {square, -1e300, 1, SMOOTHING_ON, true},
        {square, 5e-324, 1, SMOOTHING_ON, true}, {square, 359.999, 1, SMOOTHING_ON, true},
        {square, -90, 1, SMOOTHING_ON, true}};
    for (const auto& t : turns) {
        const std::string what = "turn by " + std::to_string(t.angle);
        SDL_ClearError();
        SDL_Surface* out = rotozoomSurface(t.s, t.angle, t.zoom, t.smooth);
        if (refusedWithReason(out, what) == t.turns)
            fail(what + (t.turns ? " refused" : " made"));
        else if (out && (out->w < 1 || out->h < 1 || out->pitch < 4 * out->w ||
                         out->format->BitsPerPixel != 32))
            fail(what + ": a " + std::to_string(out->w) + "x" + std::to_string(out->h) +
                 " surface of pitch " + std::to_string(out->pitch));
        SDL_FreeSurface(out);
    }
    for (SDL_Surface* s : {square, grey, empty, narrow})
        SDL_FreeSurface(s);
}

int main(int argc, char** argv)
{
    if (argc < 2 || SDL_Init(0) < 0 || TTF_Init() < 0)
        return std::fprintf(stderr, "usage: fonts STRIKES.ttf, where game_over.ttf is\n"), 2;
    checkStrikes(argv[1]);
    checkSizes();
    checkTurns();
    std::printf("fonts: %d faults\n", failures);
    SDL_Quit();
    return failures != 0;
}

