/* sys.h: what differs between the systems the game runs on. Each system has
 * one file that defines all of it: sys_linux.cpp, sys_win.cpp. Everything
 * here runs on the game's one thread. */
#ifndef ZIMBALO_SYS_H
#define ZIMBALO_SYS_H

#include <cstddef>

void sysPreparerProcessus();
/* Called once, first thing, before SDL starts. Sets what SDL reads from the
 * environment: the window centred on the desktop, replacing any position
 * given, and the system's own defaults where the player chose none. Arranges
 * for SDL_Quit at exit where SDL's start-up library does not, and keeps
 * libraries that would write to the terminal quiet. */

void sysSignauxOrdinaires();
/* Called once SDL has started. Gives Ctrl-C and the system's request to end
 * back their usual meaning, ending the process at once as they end any
 * other program: SDL turns them into a close request, which during play
 * would only end the game. */

bool sysDossierCourant(char* dossier, std::size_t taille);
/* Writes the working directory's absolute path, the one the game reads its
 * data from, into dossier (taille bytes); false when it cannot be told. */

int sysOuvrirFichier(const char* chemin);
/* Opens a file for reading in binary, not inherited by child processes,
 * without hanging when it is a named pipe that nothing writes to. Returns
 * the descriptor, which the caller closes, or -1 with errno set. Called by
 * the audio layer on the game's thread. */

bool sysFichierSpecial(const char* chemin);
/* Whether chemin names neither a file nor a directory but a named pipe, a
 * device or a socket, which a library's plain open could hang on, or read
 * without end. Called before the font is opened. */

bool sysFilsDisponibles();
/* Whether the program may start threads of its own: the audio layer then
 * decodes on one; without, its device's callback decodes. */

void sysMessageFatal(const char* ligne);
/* Shows the one line that says why the game ends (no newline of its own):
 * on stderr, and where a player may have started the game without a
 * terminal, in a message box too, which waits to be closed. The caller then
 * ends the process. */

#endif
