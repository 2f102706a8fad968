/* jouer.h: the screens: the difficulty presets, the game, the main menu, the
 * options screen and their orbiting decoration. */
#ifndef ZIMBALO_JOUER_H
#define ZIMBALO_JOUER_H

#include "fonctions.h"

void menu(SDL_Surface* ecran);
/* The main menu and the program's main loop. Never returns: the process ends
 * with exit(0) on "Quitter" or a close request. ecran stays SDL's. */

#endif
