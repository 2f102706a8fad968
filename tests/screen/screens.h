// screens.h: the screens as the tests see them.
//
// GoogleTest includes <unistd.h>, whose pause() clashes with the game's;
// the tests never call the game's, so its declaration is renamed here.
#ifndef ZIMBALO_TESTS_SCREENS_H
#define ZIMBALO_TESTS_SCREENS_H

#define pause game_pause_unused
#include "jouer.h"
#undef pause

#endif
