/* fonctions.cpp: the drawing toolkit every screen uses, and the music switch. */
#include "fonctions.h"

#include <cmath>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "audio/fmod.h"
#include "sys.h"

/* ---- Surfaces, colours and geometry ---- */

void color(SDL_Surface* rectangle, int r, int v, int b)
{
    SDL_FillRect(rectangle, NULL,
                 SDL_MapRGB(rectangle->format, Uint8(r), Uint8(v), Uint8(b)));
}

void delColor(SDL_Surface* picture, int r, int v, int b)
{
    SDL_SetColorKey(picture, SDL_SRCCOLORKEY,
                    SDL_MapRGB(picture->format, Uint8(r), Uint8(v), Uint8(b)));
}

bool checkZone(int x, int y, SDL_Rect position, int width, int height)
{
    /* The far edges are summed in 64 bits so that no width or height can
     * overflow; for every sum that fits in an int the answer is the same. */
    if (position.x > x)
        return false;
    if (position.y > y)
        return false;
    if (static_cast<long long>(position.x) + width < x)
        return false;
    if (static_cast<long long>(position.y) + height < y)
        return false;
    return true;
}

void advancedBlit(SDL_Surface* src, SDL_Surface* ecran, SDL_Rect* coordonnes)
{
    SDL_BlitSurface(src, NULL, ecran, coordonnes);
    SDL_SetClipRect(ecran, NULL);
}

SDL_Rect xyToRect(int x, int y)
{
    SDL_Rect rect = {Sint16(x), Sint16(y), 0, 0};
    return rect;
}

SDL_Color rgbToColor(Uint8 r, Uint8 g, Uint8 b)
{
    SDL_Color couleur = {r, g, b, 0};
    return couleur;
}

SDL_Rect trajectoireCirculaire(double rayon, double angle)
{
    const double radians = angle * 0.017453292519943295;
    /* int() truncates toward zero: 149.99999999999997 gives 149, and the
     * tiny negative cosine at 270 degrees gives 0, not -1. */
    return xyToRect(int(std::sin(radians) * rayon),
                    int(std::cos(radians) * rayon));
}

/* ---- Text and buttons ---- */

SDL_Rect write(SDL_Surface* ecran, TTF_Font* police, SDL_Color couleur, int x,
               int y, const char* text, ...)
{
    char buffer[500];
    va_list args;
    va_start(args, text);
    /* vsnprintf keeps the first 499 characters of a longer text. */
    std::vsnprintf(buffer, sizeof buffer, text, args);
    va_end(args);

    SDL_Rect rect = xyToRect(x, y);
    SDL_Surface* texte =
        police ? TTF_RenderText_Blended(police, buffer, couleur) : NULL;
    if (!texte)
        return rect;
    rect.w = Uint16(texte->w);
    rect.h = Uint16(texte->h);

    /* The blit clips its own copy: the caller learns the text's full size. */
    SDL_Rect position = rect;
    advancedBlit(texte, ecran, &position);
    SDL_FreeSurface(texte);
    return rect;
}

button createButton(int x, int y, SDL_Color couleurTexte, SDL_Color couleurFond,
                    TTF_Font* police, SDL_Surface* ecran, const char* texte)
{
    SDL_Rect info = write(ecran, police, couleurTexte, x, y, texte);

    SDL_Surface* fond = SDL_CreateRGBSurface(SDL_HWSURFACE, info.w + 2,
                                             TTF_FontAscent(police), 32, 0, 0,
                                             0, 0);
    /* info.h is unsigned, so th / 5 drops its remainder. */
    info.y = Sint16(info.y + info.h / 5);
    if (fond) {
        color(fond, couleurFond.r, couleurFond.g, couleurFond.b);
        advancedBlit(fond, ecran, &info);
        SDL_FreeSurface(fond);
    }

    write(ecran, police, couleurTexte, x, y, texte);

    button record;
    record.x = info.x;
    record.y = info.y;
    record.w = info.w;
    record.h = TTF_FontAscent(police);
    record.texte = NULL;
    record.couleurTexte = couleurTexte;
    record.couleurFond = couleurFond;
    return record;
}

void afficherFps(SDL_Surface* ecran, TTF_Font* police, int actualTicks,
                 int oldTicks)
{
    /* Unsigned subtraction cannot overflow; the clock wraps the same way. */
    int ecart = int(unsigned(actualTicks) - unsigned(oldTicks));
    if (ecart == 0)
        ecart = 1;
    write(ecran, police, rgbToColor(255, 255, 255), ecran->w - 50, 10, "%d",
          1000 / ecart);
}

void erreurFatale(const char* quoi)
{
    /* Room for the longest quoi the game makes (a path and a few words)
     * and SDL's message. Nothing here to destroy on the way out: the screen
     * tests make exit throw, and exit is declared not to. */
    char ligne[PATH_MAX + 1024];
    std::snprintf(ligne, sizeof ligne, "zimbalo: %s: %s", quoi, SDL_GetError());
    sysMessageFatal(ligne);
    std::exit(1);
}

/* ---- Music ---- */

static FMOD_SYSTEM* systeme = NULL;
static FMOD_SOUND* musique = NULL;
static FMOD_CHANNEL* channel = NULL;
static bool isMusic = false;

void initFMOD()
{
    FMOD_System_Create(&systeme);
    FMOD_System_Init(systeme, 2, FMOD_INIT_NORMAL, NULL);
}

void jouerMusique()
{
    const char* file;
    if (isMusic) {
        isMusic = false;
        file = "Jouer.mp3";
    } else {
        isMusic = true;
        file = "Menu.mp3";
    }
    FMOD_Channel_Stop(channel);
    /* The old track is never played again: free it, so that switching
     * back and forth costs no memory. */
    FMOD_Sound_Release(musique);
    musique = NULL;
    channel = NULL;
    FMOD_System_CreateSound(systeme, file, 200, NULL, &musique);
    FMOD_System_PlaySound(systeme, FMOD_CHANNEL_FREE, musique, false, &channel);
    FMOD_Sound_SetLoopCount(musique, -1);
    FMOD_Channel_SetVolume(channel, 0.2f);
}
