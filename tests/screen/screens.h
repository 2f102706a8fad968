// screens.h: the screens as the tests see them.
//
// GoogleTest includes <unistd.h>, whose pause() clashes with the game's, so
// the tests cannot include jouer.h; this repeats the declarations they use.
// A declaration that drifts from the game's fails at link time.
#ifndef ZIMBALO_TESTS_SCREENS_H
#define ZIMBALO_TESTS_SCREENS_H

#include "fonctions.h"

struct preset {
    const char* label;
    difficult valeurs;
};
extern const preset presets[];
extern const int nombrePresets;
extern const difficult difficulteParDefaut;
extern int angle, rotateAngle, angle2, rotateAngle2;

void jouer(SDL_Surface* ecran, difficult defaultDifficulte);
void menu(SDL_Surface* ecran);
difficult option(SDL_Surface* ecran);

#endif
