/* sys_win.cpp: the game's platform code on Windows, a console program whose
 * entry is SDL's start-up library (SDLmain). */
#include "sys.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

void sysPreparerProcessus()
{
    /* SDL reads the variable with getenv, which sees what _putenv sets in
     * the C runtime's copy of the environment. SDLmain has already
     * registered SDL_Quit at exit, and the video driver is SDL's own
     * choice. */
    _putenv("SDL_VIDEO_WINDOW_POS=center");
}

void sysSignauxOrdinaires()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool sysDossierCourant(char* dossier, std::size_t taille)
{
    return _fullpath(dossier, ".", taille) != NULL;
}

int sysOuvrirFichier(const char* chemin)
{
    /* Windows has no named pipes among files: a plain open does. */
    return _open(chemin, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

bool sysFichierSpecial(const char*)
{
    /* Windows keeps named pipes apart from files; the device names are
     * not the game's file names. */
    return false;
}

bool sysFilsDisponibles()
{
    return true;
}

void sysMessageFatal(const char* ligne)
{
    /* SDLmain sends stderr to stderr.txt beside the program, where a player
     * who double-clicked it would not look: the box says it on screen. */
    std::fprintf(stderr, "%s\n", ligne);
    std::fflush(stderr);
    MessageBoxA(NULL, ligne, "Zimbalo", MB_OK | MB_ICONERROR);
}
