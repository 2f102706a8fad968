/* main.cpp: start-up: SDL, the font engine, the audio system and the window,
 * then the main menu for good. */
#include <cstdio>
#include <cstdlib>

#include "fonctions.h"
#include "jouer.h"

/* Without a window there is nothing to show: say what failed and why. */
static void fatal(const char* what)
{
    std::fprintf(stderr, "zimbalo: %s: %s\n", what, SDL_GetError());
    std::exit(1);
}

extern "C" int SDL_main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    SDL_Surface* ecran = NULL;

    setenv("SDL_VIDEO_WINDOW_POS", "center", 1);
    /* A missing audio device makes SDL_Init fail although the video is up;
     * the game then runs in silence. Only a missing video is fatal. */
    if (SDL_Init(SDL_INIT_EVERYTHING) < 0 && !SDL_WasInit(SDL_INIT_VIDEO))
        fatal("cannot start SDL");
    if (TTF_Init() < 0)
        fatal("cannot start SDL_ttf");
    const SDL_VideoInfo* myPointer = SDL_GetVideoInfo();
    if (!myPointer)
        fatal("cannot read the desktop's video mode");
    initFMOD();
    ecran = SDL_SetVideoMode(myPointer->current_w, myPointer->current_h,
                             myPointer->vfmt->BitsPerPixel,
                             SDL_HWSURFACE | SDL_NOFRAME | SDL_DOUBLEBUF);
    if (!ecran)
        fatal("cannot open the window");
    SDL_WM_SetCaption("Zimbalo", NULL);

    for (;;)
        menu(ecran);
}

/* SDL 1.2 leaves the process entry to the program on Linux. */
int main(int argc, char** argv)
{
    std::atexit(SDL_Quit);
    return SDL_main(argc, argv);
}
