// floor.cpp: the frame rate no screen of the game can beat. It opens the
// game's window, with the game's choice of renderer on sdl12-compat, and, per
// frame, does only what every screen must: fill the window, poll one event,
// wait 10 ms and flip. It prints its frames per second when its window is
// closed or after ZIMBALO_FLOOR_SECONDS seconds.
#include <SDL/SDL.h>

#include "sys.h"

#include <cstdio>
#include <cstdlib>

int main(int, char**)
{
    sysPreparerProcessus();
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::fprintf(stderr, "floor: %s\n", SDL_GetError());
        return 1;
    }
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    SDL_Surface* ecran =
        SDL_SetVideoMode(info->current_w, info->current_h, info->vfmt->BitsPerPixel,
                         SDL_HWSURFACE | SDL_NOFRAME | SDL_DOUBLEBUF);
    if (!ecran) {
        std::fprintf(stderr, "floor: %s\n", SDL_GetError());
        return 1;
    }
    SDL_WM_SetCaption("Zimbalo", NULL);

    const char* limit = std::getenv("ZIMBALO_FLOOR_SECONDS");
    const Uint32 seconds = limit ? Uint32(std::atoi(limit)) : 0;
    const Uint32 start = SDL_GetTicks();
    long frames = 0;
    SDL_Event event;
    event.type = SDL_NOEVENT;
    while (event.type != SDL_QUIT && (!seconds || SDL_GetTicks() - start < seconds * 1000)) {
        SDL_FillRect(ecran, NULL, SDL_MapRGB(ecran->format, 48, 48, 48));
        SDL_PollEvent(&event);
        SDL_Delay(10);
        SDL_Flip(ecran);
        ++frames;
    }
    std::printf("%.1f\n", frames * 1000.0 / (SDL_GetTicks() - start));
    SDL_Quit();
    return 0;
}
