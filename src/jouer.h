/* jouer.h: the screens: the difficulty presets, the game, the main menu, the
 * options screen and the orbiting decoration the two menus share.
 *
 * Every screen is a blocking loop on the one thread that draws into the
 * window surface ecran, which stays SDL's. The game and the options screen
 * run nested inside a frame of the menu. Like fonctions.h, this header must
 * not meet <unistd.h>, whose pause() would clash with ours.
 */
#ifndef ZIMBALO_JOUER_H
#define ZIMBALO_JOUER_H

#include "fonctions.h"

/* ---- Difficulty ---- */

/* A preset of the options screen: its button's label and its settings. */
struct preset {
    const char* label;
    difficult valeurs;
};

extern const preset presets[];
extern const int nombrePresets;
/* "Facile", "Moyen", "Difficile" and "Hardcore", in the options screen's
 * order from the top. All are timed games. */

extern const difficult difficulteParDefaut;
/* The settings the menu starts with, equal to "Moyen". */

/* ---- The game ---- */

void jouer(SDL_Surface* ecran, difficult defaultDifficulte);
/* Plays one game with a copy of the settings and returns when it is over:
 * after the end screen's key press, or at once on a close request. Switches
 * to the game's music on entry; the caller switches back. Opens and closes
 * its own font; exits with status 1 if the font cannot be opened. */

void pause();
/* Waits for a key press, ignoring every other event. A close request ends
 * the process with status 0. */

/* ---- The menus ---- */

void menu(SDL_Surface* ecran);
/* The main menu and the program's main loop. Never returns: the process ends
 * with exit(0) on "Quitter" or a close request. Holds its font and its
 * decoration until then, and owns the current settings. */

difficult option(SDL_Surface* ecran);
/* The options screen, entered from a menu frame: returns the preset whose
 * button is released, after moving the pointer one pixel below the release.
 * A close request ends the process with status 0. Frees what it made before
 * returning. */

/* ---- The decoration ---- */

extern int angle, rotateAngle, angle2, rotateAngle2;
/* Orbit and spin angles, in degrees, of the red and the green square. They
 * live for the whole run so that the squares carry on from one screen to
 * the other; only drawDecoration changes them. */

void createDecoration(SDL_Surface** rectangle, SDL_Surface** rectangle2);
/* Makes the red and then the green 50 by 50 square. The calling screen owns
 * both and frees them when it is left. Exits with status 1 if a surface
 * cannot be made. */

void drawDecoration(SDL_Surface* ecran, SDL_Rect millieu,
                    SDL_Surface* rectangle, SDL_Surface* rectangle2);
/* One frame of the decoration: advances the four angles and draws both
 * squares, turned, 300 pixels from the centre millieu. Called once per frame
 * by a menu screen, after its buttons and before its flip. */

#endif
