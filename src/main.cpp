/* main.cpp: start-up: SDL, the font engine, the audio system and the window,
 * then the main menu for good. */
#include <cstdio>
#include <cstdlib>

#include "fonctions.h"
#include "jouer.h"

extern "C" int SDL_main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    SDL_Surface* ecran = NULL;

    setenv("SDL_VIDEO_WINDOW_POS", "center", 1);
    /* Without a display SDL would fall back to a text-mode driver, which
     * scribbles on the terminal and may end the process itself; the game
     * needs a desktop, so X11 is the default unless the player chose. */
    setenv("SDL_VIDEODRIVER", "x11", 0);
    /* Some SDL 1.2 builds fail SDL_Init when no audio device exists, with
     * the video up; the game then runs in silence. Only video is vital. */
    if (SDL_Init(SDL_INIT_EVERYTHING) < 0 && !SDL_WasInit(SDL_INIT_VIDEO))
        erreurFatale("cannot open the display");
    if (TTF_Init() < 0)
        erreurFatale("cannot start SDL_ttf");
    const SDL_VideoInfo* myPointer = SDL_GetVideoInfo();
    if (!myPointer)
        erreurFatale("cannot read the desktop's video mode");
    initFMOD();
    ecran = SDL_SetVideoMode(myPointer->current_w, myPointer->current_h,
                             myPointer->vfmt->BitsPerPixel,
                             SDL_HWSURFACE | SDL_NOFRAME | SDL_DOUBLEBUF);
    if (!ecran)
        erreurFatale("cannot open the window");
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
