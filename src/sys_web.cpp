/* sys_web.cpp: the game's platform code in the browser, built to WebAssembly
 * with SDL 1.2 over our own canvas back end. */
#include "sys.h"

#include <SDL/SDL.h>
#include <emscripten.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

/* Puts the line where the canvas was, for a player who has no console. */
EM_JS(void, montrerErreur, (const char* ligne), {
    if (Module.zimbaloFatal)
        Module.zimbaloFatal(UTF8ToString(ligne));
});

void sysPreparerProcessus()
{
    /* The page is the desktop: nothing to centre, but the window is asked
     * as everywhere else. SDL shuts down at exit, before the page shows
     * how the game ended. */
    setenv("SDL_VIDEO_WINDOW_POS", "center", 1);
    std::atexit(SDL_Quit);
}

void sysSignauxOrdinaires()
{
    /* A page has no signals: closing it ends the game. */
}

bool sysDossierCourant(char* dossier, std::size_t taille)
{
    return getcwd(dossier, taille) != NULL;
}

int sysOuvrirFichier(const char* chemin)
{
    /* The data lies in the page's memory file system, read whole. */
    return open(chemin, O_RDONLY);
}

bool sysFichierSpecial(const char*)
{
    /* The page's memory file system holds only the files it was given. */
    return false;
}

bool sysFilsDisponibles()
{
    /* Threads need shared memory, which a page has only when its server
     * isolates it; the game asks no such thing of where it is served. */
    return false;
}

void sysMessageFatal(const char* ligne)
{
    std::fprintf(stderr, "%s\n", ligne);
    montrerErreur(ligne);
}
