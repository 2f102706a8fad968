/* sys_linux.cpp: the game's platform code on Linux, for X11 through classic
 * SDL 1.2 or sdl12-compat. */
#include "sys.h"

#include <SDL/SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

/* Whether a DRM render node, the door to a GPU, opens for this user. */
static bool processeurGraphique()
{
    glob_t noeuds;
    bool ouvert = false;
    if (glob("/dev/dri/renderD*", 0, NULL, &noeuds) == 0)
        for (size_t i = 0; i < noeuds.gl_pathc && !ouvert; i++)
            if (std::FILE* noeud = std::fopen(noeuds.gl_pathv[i], "r+")) {
                std::fclose(noeud);
                ouvert = true;
            }
    globfree(&noeuds);
    return ouvert;
}

/* On a machine without a sound card, ALSA writes its own complaints to
 * stderr when SDL tries it, at start-up and when the device is opened. The
 * audio layer says in one line of its own that there is no device, so ALSA
 * is told to keep quiet before SDL starts. The library stays loaded, and
 * with it the silent handler, for SDL to find when it loads ALSA itself. */
typedef void (*alsa_error_handler)(const char*, int, const char*, int, const char*, ...);
static void alsaMuet(const char*, int, const char*, int, const char*, ...) {}

static void faireTaireAlsa()
{
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY);
    if (!alsa)
        return;
    typedef int (*set_handler)(alsa_error_handler);
    if (set_handler set =
            reinterpret_cast<set_handler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(alsaMuet);
}

void sysPreparerProcessus()
{
    setenv("SDL_VIDEO_WINDOW_POS", "center", 1);
    /* Without a display SDL would fall back to a text-mode driver, which
     * scribbles on the terminal and may end the process itself; the game
     * needs a desktop, so X11 is the default unless the player chose. */
    setenv("SDL_VIDEODRIVER", "x11", 0);
    /* sdl12-compat presents every frame through an SDL 2 renderer, OpenGL
     * by default. Without a GPU that is Mesa's llvmpipe drawing the whole
     * window as a textured quad on the processor, three times slower than
     * the classic library. SDL 2's software renderer copies the frame into
     * the X window's shared-memory image instead, but only if the window's
     * image is not itself made an OpenGL texture, which the second setting
     * forbids. With a GPU, OpenGL costs the processor less, so it stays. */
    if (!processeurGraphique()) {
        setenv("SDL_RENDER_DRIVER", "software", 0);
        setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    }
    /* SDL 1.2 leaves the process entry, and so its own shutdown, to the
     * program here. */
    std::atexit(SDL_Quit);
    faireTaireAlsa();
}

void sysSignauxOrdinaires()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool sysDossierCourant(char* dossier, std::size_t taille)
{
    char* chemin = realpath(".", NULL);
    bool tient = chemin && std::snprintf(dossier, taille, "%s", chemin) < int(taille);
    std::free(chemin);
    return tient;
}

int sysOuvrirFichier(const char* chemin)
{
    /* O_NONBLOCK so that a named pipe cannot hang open(); reads block
     * again afterwards. */
    int fd = open(chemin, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool sysFichierSpecial(const char* chemin)
{
    struct stat etat;
    return stat(chemin, &etat) == 0 && !S_ISREG(etat.st_mode) && !S_ISDIR(etat.st_mode);
}

bool sysFilsDisponibles()
{
    return true;
}

void sysMessageFatal(const char* ligne)
{
    std::fprintf(stderr, "%s\n", ligne);
}
