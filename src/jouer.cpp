/* jouer.cpp: the screens. */
#include "jouer.h"

#include <cstdlib>

void menu(SDL_Surface* ecran)
{
    jouerMusique();
    SDL_Event event;
    for (;;) {
        SDL_FillRect(ecran, NULL, SDL_MapRGB(ecran->format, 48, 48, 48));
        SDL_Flip(ecran);
        SDL_WaitEvent(&event);
        if (event.type == SDL_QUIT)
            std::exit(0);
    }
}
