/* fonctions.h: the records, the drawing toolkit and the music shared by every
 * screen.
 *
 * `write` and `pause` (jouer.h) share their names with POSIX functions, so
 * no file that includes this header may include <unistd.h>.
 */
#ifndef ZIMBALO_FONCTIONS_H
#define ZIMBALO_FONCTIONS_H

#include <SDL/SDL.h>
#include <SDL/SDL_ttf.h>

/* A drawn button, as createButton leaves it: x, y and w are the plate as it
 * was drawn after clipping to the window, h the font's ascent. The menus keep
 * it only to hit-test the pointer against the plate. */
struct button {
    int x;
    int y;
    int w;
    int h;
    char* texte; /* never filled, never read */
    SDL_Color couleurTexte;
    SDL_Color couleurFond;
};

/* The difficulty of a game, a plain value that is always copied. Sides of the
 * target lie in min..max pixels (max >= min), a timed game lasts temps
 * seconds, the target moves pxPerS pixels per frame on each axis, and libre
 * turns the countdown off. */
struct difficult {
    int min;
    int max;
    int temps;
    int pxPerS;
    bool libre;
};

/* ---- Surfaces, colours and geometry ---- */

void color(SDL_Surface* rectangle, int r, int v, int b);
/* Fills the surface's clip rectangle (the whole surface everywhere in this
 * game) with (r, v, b), each taken modulo 256 and mapped to the surface's own
 * pixel format. */

void delColor(SDL_Surface* picture, int r, int v, int b);
/* Makes (r, v, b), each taken modulo 256, the colour key of picture: pixels
 * of exactly that value are skipped when picture is blitted. */

bool checkZone(int x, int y, SDL_Rect position, int width, int height);
/* True when position.x <= x <= position.x + width and position.y <= y <=
 * position.y + height, in signed int arithmetic. Both edges belong to the
 * zone; position.w and position.h are not read. */

void advancedBlit(SDL_Surface* src, SDL_Surface* ecran, SDL_Rect* coordonnes);
/* Blits the whole of src with its top-left corner at coordonnes->x, y,
 * writes the rectangle actually drawn back into *coordonnes (an x or y left
 * of or above the window becomes 0; w and h 0 when nothing is drawn), and
 * leaves ecran's clip rectangle at the whole surface. */

SDL_Rect xyToRect(int x, int y);
/* A rectangle at (x, y), each kept to its low 16 bits; w and h are 0. */

SDL_Color rgbToColor(Uint8 r, Uint8 g, Uint8 b);
/* The colour (r, g, b) with its fourth byte 0. */

SDL_Rect trajectoireCirculaire(double rayon, double angle);
/* The offset from a circle's centre of the point at angle degrees on a
 * circle of radius rayon: x = sin * rayon, y = cos * rayon, each truncated
 * toward zero. Angle 0 lies below the centre, 90 to its right. w and h are
 * 0. */

/* ---- Text and buttons ---- */

SDL_Rect write(SDL_Surface* ecran, TTF_Font* police, SDL_Color couleur, int x,
               int y, const char* text, ...)
    __attribute__((format(printf, 6, 7)));
/* Formats text printf-style (cut to its first 499 characters), renders it
 * blended in couleur and draws it with its top-left corner at (x, y). Returns
 * (x, y, text width, text height), unclipped even where the text runs off the
 * window. When nothing renders (an empty text, a null font, a failure) it
 * draws nothing and returns (x, y, 0, 0). The caller keeps its strings. */

button createButton(int x, int y, SDL_Color couleurTexte, SDL_Color couleurFond,
                    TTF_Font* police, SDL_Surface* ecran, const char* texte);
/* Draws a button at (x, y): the label, then a plate of couleurFond as tall
 * as the font's ascent and two pixels wider than the label with its top at
 * y + th / 5 (th the label's height), then the label again over it. Returns
 * the plate as drawn, clipped to the window. texte is a format text and
 * stays the caller's. When the plate cannot be made it is left out. */

void afficherFps(SDL_Surface* ecran, TTF_Font* police, int actualTicks,
                 int oldTicks);
/* Draws 1000 / (actualTicks - oldTicks) in white 50 pixels left of the
 * window's right edge and 10 below its top. Equal tick counts count as 1 ms
 * apart. */

void erreurFatale(const char* quoi);
/* Ends the process with status 1 after one line, shown as the system shows
 * a fatal error (sys.h): "zimbalo: ", what failed, and SDL's reason. For
 * what the game cannot do without. */

/* ---- Music ---- */

void initFMOD();
/* Creates the audio system, silent. Called once at start-up, before the
 * window opens. A system that cannot start leaves the game silent. */

void jouerMusique();
/* Switches track: the first call, and every other one after it, plays
 * "Menu.mp3"; the others play "Jouer.mp3". The old track stops and is
 * released, and the new one starts from its beginning at a fifth of full
 * volume, looping. Callers alternate menu and game. A track that cannot be
 * played leaves silence until the next switch. */

#endif
