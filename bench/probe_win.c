/* probe_win.c: the Windows counterpart of probe.c, which counts every
 * SDL_Flip of an unchanged program under Wine, where no LD_PRELOAD reaches.
 *
 * bench/fps builds it as SDL.dll into a copy of the release, with the real
 * library renamed SDL_real.dll; its module definition forwards every other
 * function of SDL to that one. Each flip appends one newline to the file
 * named by ZIMBALO_PROBE_OUT (a Windows path), so that the number of lines
 * is the number of frames so far, whatever clock reads it.
 */
#include <windows.h>

#include <stdlib.h>

typedef struct SDL_Surface SDL_Surface;

static int(__cdecl* real_flip)(SDL_Surface*);
static HANDLE out = INVALID_HANDLE_VALUE;

__declspec(dllexport) int __cdecl SDL_Flip(SDL_Surface* screen)
{
    if (!real_flip) {
        real_flip = (int(__cdecl*)(SDL_Surface*))(void (*)(void))GetProcAddress(
            LoadLibraryA("SDL_real.dll"), "SDL_Flip");
        const char* path = getenv("ZIMBALO_PROBE_OUT");
        if (path) /* readable while the program runs */
            out = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    }
    const int result = real_flip(screen);
    DWORD written;
    if (out != INVALID_HANDLE_VALUE)
        WriteFile(out, "\n", 1, &written, NULL);
    return result;
}
