// harness.h: runs the screens frame by frame without a display.
//
// The screen tests are linked with GNU ld's --wrap on the SDL calls that the
// screens make, so the product code runs unchanged while this harness
// answers: a scripted event queue behind SDL_PollEvent and SDL_WaitEvent, a
// virtual clock behind SDL_GetTicks and SDL_Delay, a pointer warp that queues
// a motion event (or none), a look at the screen after every SDL_Flip, and
// counts of the surfaces and fonts alive. Frame n is the frame whose poll
// comes after the n-th flip, so the first frame of a screen entered at once
// is frame 0.
#ifndef ZIMBALO_TESTS_HARNESS_H
#define ZIMBALO_TESTS_HARNESS_H

#include <SDL/SDL.h>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <functional>
#include <string>
#include <vector>

namespace harness {

// Thrown from a flip to leave a screen that never returns by itself.
struct Stop {};

// Opens a w by h window on the dummy driver (or keeps the one open at that
// size) and resets.
SDL_Surface* open(int w, int h);
// Forgets every script, count and trace, and frees what a screen left by
// Stop still held; the clock starts at 1000 ms.
void reset();

// ---- Scripts ----
void at(int frame, const SDL_Event& event);   // queue event at that frame
void stall(int frame, Uint32 ms);             // the clock jumps at that frame
void stopAfter(int frame);                    // throw Stop from that flip
void warpQueuesMotion(bool queues);           // default true, as on X11
void randValues(std::vector<int> values);     // rand() returns these first

// Generated input: when the script has nothing for a poll or a wait, make
// is asked for an event; false means none this frame. Runs with a source
// keep no trace.
void source(std::function<bool(SDL_Event*)> make);

SDL_Event motion(int x, int y);
SDL_Event press(int x, int y, int button = SDL_BUTTON_LEFT);
SDL_Event release(int x, int y, int button = SDL_BUTTON_LEFT);
SDL_Event key(SDLKey sym);
SDL_Event quit();

// Frees what screens left behind when they were left by Stop or by an
// exception in place of exit(), keeping the scripts and counts.
void releaseLeftovers();

// ---- Observations ----
// Called after every flip with the number of flips before it.
void onFlip(std::function<void(int frame, SDL_Surface* screen)> look);
int flips();
Uint32 now();
SDL_Rect pointer();        // where the last warp put the pointer
int warps();
int liveSurfaces();        // made by the game and the libraries, not freed
int liveFonts();
int musicSwitches();       // calls of jouerMusique
// One line per thing a frame did: "poll motion 10,20", "poll none",
// "warp 10,21", "flip 3", "music", "font 100", "close font", "wait key 27",
// and the screens' texts as "write 10,10 Score : 0".
const std::vector<std::string>& trace();
bool traced(const std::string& line);

// For the body of a death test: the screens end the process with exit()
// and, as designed, free nothing first, which the leak checker would report.
inline void exitWithoutLeakCheck()
{
#ifdef __SANITIZE_ADDRESS__
    __lsan_disable();
#endif
}

// The colour at (x, y) of a surface.
SDL_Color pixel(SDL_Surface* s, int x, int y);
bool is(SDL_Color c, int r, int g, int b);

} // namespace harness

#endif
