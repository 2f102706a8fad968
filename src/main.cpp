/* main.cpp: start-up: SDL, the font engine, the audio system and the window,
 * then the main menu for good. */
#include <cstdio>
#include <cstdlib>

#include "fonctions.h"
#include "jouer.h"
#include "sys.h"

/* SDL_main: where SDL's start-up library supplies the process entry
 * (Windows), SDL's header renames this function SDL_main and the library
 * calls it; elsewhere it is the entry itself. */
int main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    SDL_Surface* ecran = NULL;

    sysPreparerProcessus();
    /* Every subsystem, video and audio apart. An X server that has just
     * closed SDL's probe connection may refuse the next one while it
     * resets, so the display is tried again for about a second before it
     * counts. Audio comes last on its own: sdl12-compat undoes the whole of
     * an SDL_Init whose audio fails, and cannot be started again after
     * that. Without audio the game plays in silence. */
    if (SDL_Init(SDL_INIT_EVERYTHING & ~(SDL_INIT_AUDIO | SDL_INIT_VIDEO)) < 0)
        erreurFatale("cannot start SDL");
    for (int essai = 1; SDL_InitSubSystem(SDL_INIT_VIDEO) < 0; essai++) {
        if (essai == 5)
            erreurFatale("cannot open the display");
        /* Without this, sdl12-compat takes the next try for a success,
         * with no video, without trying. */
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Delay(250);
    }
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    if (TTF_Init() < 0)
        erreurFatale("cannot start SDL_ttf");
    const SDL_VideoInfo* myPointer = SDL_GetVideoInfo();
    if (!myPointer)
        erreurFatale("cannot read the desktop's video mode");
    initFMOD();
    ecran = SDL_SetVideoMode(myPointer->current_w, myPointer->current_h,
                             myPointer->vfmt->BitsPerPixel,
                             SDL_HWSURFACE | SDL_NOFRAME | SDL_DOUBLEBUF);
    /* sdl12-compat hands back a window wider than the 16-bit row length
     * can hold, with a row length of 0, instead of refusing it. */
    if (ecran && ecran->pitch < ecran->w * ecran->format->BytesPerPixel) {
        SDL_SetError("a row of %d pixels is too wide", ecran->w);
        ecran = NULL;
    }
    if (!ecran)
        erreurFatale("cannot open the window");
    SDL_WM_SetCaption("Zimbalo", NULL);
    sysSignauxOrdinaires();

    for (;;)
        menu(ecran);
}
