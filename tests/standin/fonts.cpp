/* fonts.cpp: fonts we did not make and odd surfaces through the stand-ins,
 * built with the sanitizers. Given strikes.ttf (tools/make_strikes.py),
 * its embedded bitmaps of every depth must draw as their levels and absurd
 * sizes must be refused; then ZIMBALO_FUZZ_FONTS seeded rounds (ZIMBALO_FUZZ_SEED) of
 * a damaged font at a random size, random texts and a random surface turned
 * by a random angle must each give a sound picture, or NULL with SDL's
 * error; a sanitizer's report aborts. Run where game_over.ttf is. */
#include <SDL/SDL.h>
#include <SDL/SDL_rotozoom.h>
#include <SDL/SDL_ttf.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

typedef std::vector<unsigned char> Bytes;

static int failures = 0;
static long opened = 0, drawn = 0, turned = 0, refused = 0;

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
    refused++;
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
    if (!refusedWithReason(rotozoomSurface(NULL, 5, 1, SMOOTHING_ON), "no surface"))
        fail("a NULL surface turned");
}

/* A number from the environment, or the value it has when unset. */
static long setting(const char* name, long unset) { return std::getenv(name) ? std::atol(std::getenv(name)) : unset; }

static Bytes slurp(const char* name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Fuzz {
    std::mt19937 rng;
    std::vector<Bytes> seeds;
    std::string scratch; /* the damaged font's file, one per process */

    unsigned pick(size_t n) { return n ? unsigned(rng() % n) : 0; }
    template <class T, size_t N> T any(const T (&v)[N]) { return v[pick(N)]; }

    /* One damage to a font: bits flipped, bytes set to edge values, the file
     * cut, a piece of either font pasted over it, or a table of its
     * directory zeroed, misplaced, or given an edge value in a field. */
    void damage(Bytes& f)
    {
        static const unsigned char edges[] = {0, 1, 0x7f, 0x80, 0xff};
        const size_t tables = f.size() >= 12 ? std::min<size_t>(f[4] << 8 | f[5], (f.size() - 12) / 16) : 0;
        const size_t entry = 12 + 16 * pick(tables);
        const auto be32 = [&](size_t at) {
            return size_t(f[at]) << 24 | size_t(f[at + 1]) << 16 | size_t(f[at + 2]) << 8 | f[at + 3];
        };
        const size_t start = tables ? std::min(be32(entry + 8), f.size()) : 0;
        const size_t length = tables ? std::min(be32(entry + 12), f.size() - start) : f.size();
        switch (pick(f.empty() ? 1 : 7)) {
        case 0: {
            const Bytes& other = seeds[pick(seeds.size())];
            const size_t from = pick(other.size()), to = pick(f.size() + 1);
            const size_t n = std::min(size_t(1 + pick(256)), other.size() - from);
            f.resize(std::max(f.size(), to + n));
            std::copy_n(other.begin() + from, n, f.begin() + to);
            break;
        }
        case 1:
            for (int n = 1 + pick(8); n--;)
                f[pick(f.size())] ^= Uint8(1 << pick(8));
            break;
        case 2:
            for (int n = 1 + pick(4); n--;)
                f[pick(f.size())] = any(edges);
            break;
        case 3:
            f.resize(pick(f.size()));
            break;
        case 4:
            std::fill_n(f.begin() + start, length, 0);
            break;
        case 5:
            if (tables)
                f[entry + 8 + pick(8)] = any(edges);
            break;
        default: /* a 16-bit field inside a table: counts, sizes, offsets */
            if (length >= 2) {
                const size_t at = start + pick(length - 1) / 2 * 2;
                f[at] = any(edges), f[at + 1] = pick(2) ? f[at] : Uint8(rng());
            }
        }
    }

    void font()
    {
        Bytes f = seeds[pick(seeds.size())];
        for (int n = 1 + pick(3); n--;)
            damage(f);
        std::ofstream(scratch, std::ios::binary)
            .write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
        static const int absurd[] = {0, -1, 16384, 65536, INT_MAX, INT_MIN};
        const int size = pick(16) ? 1 + pick(pick(4) ? 40 : 300) : pick(2) ? 20 + pick(4) : any(absurd);
        SDL_ClearError();
        TTF_Font* font = TTF_OpenFont(scratch.c_str(), size);
        if (refusedWithReason(font, "font at " + std::to_string(size)))
            return;
        opened++;
        for (int texts = 1 + pick(3); texts--;) {
            std::string text;
            for (unsigned n = pick(pick(8) ? 12 : 200); n--;)
                text += char(pick(4) ? 32 + pick(95) : 1 + pick(255));
            const SDL_Color c = {Uint8(rng()), Uint8(rng()), Uint8(rng()), 0};
            SDL_ClearError();
            check(TTF_RenderText_Blended(font, text.c_str(), c), "text '" + text + "'",
                  Uint32(c.r) << 16 | Uint32(c.g) << 8 | c.b);
        }
        TTF_CloseFont(font);
    }

    /* A surface of any depth and small size, of random pixels, turned by a
     * random, right, tiny or absurd angle, now and then zoomed or not
     * smoothed. */
    void turn()
    {
        static const int depths[] = {8, 16, 24, 32, 32, 32};
        const double inf = std::numeric_limits<double>::infinity();
        const double angles[] = {90.0 * (int(pick(9)) - 4), 0.001, -0.0011, 1e300, -inf, inf,
                                 std::numeric_limits<double>::quiet_NaN(), 5e-324, 359.999};
        SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, pick(40), pick(40), any(depths), 0, 0, 0, 0);
        if (!s)
            return;
        for (int i = 0; i < s->h * s->pitch; i++)
            static_cast<Uint8*>(s->pixels)[i] = Uint8(rng());
        const double angle = pick(2) ? std::ldexp(double(rng()) - 2147483648.0, -int(pick(30))) : any(angles);
        const double zoom = pick(8) ? 1.0 : pick(2) ? 2.0 : std::nan("");
        SDL_ClearError();
        SDL_Surface* t = rotozoomSurface(s, angle, zoom, pick(8) ? SMOOTHING_ON : SMOOTHING_OFF);
        if (!refusedWithReason(t, "turn by " + std::to_string(angle))) {
            turned++;
            if (t->w < 1 || t->h < 1 || t->pitch < 4 * t->w || t->format->BitsPerPixel != 32)
                fail("turn by " + std::to_string(angle) + ": a " + std::to_string(t->w) + "x" +
                     std::to_string(t->h) + " surface of pitch " + std::to_string(t->pitch));
            SDL_FreeSurface(t);
        }
        SDL_FreeSurface(s);
    }

    /* A text's picture: every pixel in the text's colour, only its alpha
     * drawn, on rows that hold its width. */
    void check(SDL_Surface* s, const std::string& what, Uint32 colour)
    {
        if (refusedWithReason(s, what))
            return;
        drawn++;
        bool sound = s->w > 0 && s->h > 0 && s->pitch >= 4 * s->w;
        for (int y = 0; sound && y < s->h; y++)
            for (int x = 0; x < s->w; x++)
                sound &= (static_cast<Uint32*>(s->pixels)[y * s->pitch / 4 + x] & 0xffffff) == colour;
        if (!sound)
            fail(what + ": a picture not in its colour or of bad rows");
        SDL_FreeSurface(s);
    }
};

int main(int argc, char** argv)
{
    if (argc < 2 || SDL_Init(0) < 0 || TTF_Init() < 0)
        return std::fprintf(stderr, "usage: fonts STRIKES.ttf, where game_over.ttf is\n"), 2;
    checkStrikes(argv[1]);
    checkSizes();
    Fuzz fuzz{std::mt19937(unsigned(setting("ZIMBALO_FUZZ_SEED", 20261208))),
              {slurp("game_over.ttf"), slurp(argv[1])},
              "standin_fonts." + std::to_string(getpid()) + ".ttf"};
    if (fuzz.seeds[0].empty() || fuzz.seeds[1].empty())
        return std::fprintf(stderr, "fonts: cannot read the fonts\n"), 2;
    const long n = setting("ZIMBALO_FUZZ_FONTS", 400);
    for (long i = 0; i < n; i++) {
        fuzz.font();
        fuzz.turn();
    }
    std::printf("fonts: %ld rounds: %ld damaged fonts opened, %ld texts drawn, %ld turns, "
                "%ld refused with a reason; %d faults\n", n, opened, drawn, turned, refused,
                failures);
    std::remove(fuzz.scratch.c_str());
    SDL_Quit();
    return failures != 0;
}
