/* probe.c: an LD_PRELOAD shim that timestamps every SDL_Flip of an
 * unchanged program, to measure its frame rate from outside.
 *
 * Each flip appends the CLOCK_MONOTONIC time in nanoseconds, one per line, to
 * the file named by ZIMBALO_PROBE_OUT. With ZIMBALO_PROBE_EXIT set, the
 * process exits right after its first flip, to time start-up.
 */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <SDL/SDL.h>

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static int (*real_flip)(SDL_Surface*);
static FILE* out;

int SDL_Flip(SDL_Surface* screen)
{
    if (!real_flip) {
        real_flip = (int (*)(SDL_Surface*))dlsym(RTLD_NEXT, "SDL_Flip");
        const char* path = getenv("ZIMBALO_PROBE_OUT");
        out = path ? fopen(path, "w") : NULL;
        if (out) /* readable while the program runs */
            setvbuf(out, NULL, _IOLBF, 0);
    }
    const int result = real_flip(screen);
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (out)
        fprintf(out, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    if (getenv("ZIMBALO_PROBE_EXIT")) {
        if (out)
            fclose(out);
        _exit(0);
    }
    return result;
}
