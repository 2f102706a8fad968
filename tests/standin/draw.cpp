/* draw.cpp: draws what the game asks of SDL_ttf and SDL_gfx and prints a
 * line for each picture; built with the real libraries and with our
 * stand-ins, for compare.py. Given a picture's name, prints its pixels. */
#include <SDL/SDL.h>
#include <SDL/SDL_rotozoom.h>
#include <SDL/SDL_ttf.h>

#include <cstdio>
#include <initializer_list>
#include <string>

static const char* wanted = NULL; /* the picture whose pixels are printed */
static int failures = 0;

/* Prints what a blit depends on and a hash of the pixels (or the pixels). */
static void show(const std::string& name, const SDL_Surface* s)
{
    if (wanted && name != wanted)
        return;
    if (!s) {
        failures++;
        std::printf("%s | NULL (%s)\n", name.c_str(), SDL_GetError());
        return;
    }
    unsigned long long hash = 14695981039346656037ull; /* FNV-1a */
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++) {
            const Uint32 p = reinterpret_cast<const Uint32*>(
                static_cast<const Uint8*>(s->pixels) + y * s->pitch)[x];
            if (wanted)
                std::printf("%08x%c", unsigned(p), x + 1 < s->w ? ' ' : '\n');
            hash = (hash ^ p) * 1099511628211ull;
        }
    const SDL_PixelFormat* f = s->format;
    if (!wanted)
        std::printf("%s | %dx%d pitch %d clip %d,%d,%dx%d flags %x masks %x %x %x %x alpha %d "
                    "key %x hash %llx\n", name.c_str(), s->w, s->h, s->pitch, s->clip_rect.x,
                    s->clip_rect.y, s->clip_rect.w, s->clip_rect.h, unsigned(s->flags),
                    f->Rmask, f->Gmask, f->Bmask, f->Amask, f->alpha, f->colorkey, hash);
}

/* Shows a picture, then the same blitted onto the menu's grey, and frees it. */
static void showBlitted(const std::string& name, SDL_Surface* s)
{
    show(name, s);
    if (!s)
        return;
    SDL_Surface* grey = SDL_CreateRGBSurface(SDL_HWSURFACE, s->w, s->h, 32, 0, 0, 0, 0);
    SDL_FillRect(grey, NULL, SDL_MapRGB(grey->format, 48, 48, 48));
    SDL_BlitSurface(s, NULL, grey, NULL);
    show(name + " on grey", grey);
    SDL_FreeSurface(grey);
    SDL_FreeSurface(s);
}

int main(int argc, char** argv)
{
    wanted = argc > 1 ? argv[1] : NULL;
    if (SDL_Init(0) < 0 || TTF_Init() < 0)
        return 1;
    static const char* const texts[] = {"0", "Score : 0", "Score : 4096", "Temps restant : 45 s",
        "Temps restant : 7 s", "1000", "83", "Jouer", "Quitter", "Options", "Jeu Libre",
        "Facile", "Moyen", "Difficile", "Hardcore"};
    /* The game's text colours, and one whose channels differ. */
    static const SDL_Color colours[] = {{255, 255, 255, 0}, {207, 207, 207, 0}, {0, 0, 0, 0},
                                        {1, 128, 254, 0}};
    char name[128];
    /* The game's sizes, and 13, where hinting moves a glyph left of its pen
     * or into the next one. Every Latin-1 code is drawn alone: those the
     * font maps, and its missing-glyph box for the others. */
    for (int size : {50, 100, 13}) {
        TTF_Font* font = TTF_OpenFont("game_over.ttf", size);
        if (!font)
            return std::fprintf(stderr, "draw: %s\n", SDL_GetError()), 1;
        if (!wanted)
            std::printf("@%d ascent %d\n", size, TTF_FontAscent(font));
        for (int c = 1; c < 256; c++) {
            const char text[2] = {char(c), 0};
            std::snprintf(name, sizeof name, "@%d char %d", size, c);
            showBlitted(name, TTF_RenderText_Blended(font, text, colours[3]));
        }
        for (const char* text : texts)
            for (const SDL_Color& c : colours) {
                std::snprintf(name, sizeof name, "@%d '%s' in %d,%d,%d", size, text, c.r, c.g, c.b);
                showBlitted(name, TTF_RenderText_Blended(font, text, c));
            }
        TTF_CloseFont(font);
    }
    /* The menu's red and green squares, and a ramp (ramp[1] == 0) whose
     * pixels all differ, to show the interpolation: turned, keyed black and
     * blitted as the game does; the ramp also at 3 and 1 pixels a side,
     * where the turned surface is smallest. */
    static const int squares[][4] = {{255, 77, 77, 50}, {77, 255, 77, 50}, {0, 0, 0, 50},
                                      {0, 0, 0, 3}, {0, 0, 0, 1}};
    for (const int* q : squares) {
        const int side = q[3];
        SDL_Surface* square = SDL_CreateRGBSurface(SDL_HWSURFACE, side, side, 32, 0, 0, 0, 0);
        for (int i = 0; i < side * side; i++) {
            const int x = i % side, y = i / side;
            SDL_Rect pixel = {Sint16(x), Sint16(y), 1, 1};
            SDL_FillRect(square, &pixel, q[1] ? SDL_MapRGB(square->format, q[0], q[1], q[2])
                : SDL_MapRGB(square->format, 5 * x, 5 * y, 250 - 2 * (x + y)));
        }
        for (int rotation = 0; rotation < 360; rotation += 5) {
            SDL_Surface* turned = rotozoomSurface(square, -double(rotation), 1.0, SMOOTHING_ON);
            if (turned)
                SDL_SetColorKey(turned, SDL_SRCCOLORKEY, SDL_MapRGB(turned->format, 0, 0, 0));
            std::snprintf(name, sizeof name, "%d,%d,%d of %d turned by -%d", q[0], q[1], q[2],
                          side, rotation);
            showBlitted(name, turned);
        }
        SDL_FreeSurface(square);
    }
    SDL_Quit();
    return failures != 0;
}
