// harness.h: runs the screens frame by frame without a display.
//
// Programs that use it are linked with GNU ld's --wrap on the SDL calls the
// screens make, so the product code runs unchanged while this harness
// answers: scripted events behind SDL_PollEvent and SDL_WaitEvent, a virtual
// clock behind SDL_GetTicks and SDL_Delay, a pointer warp that queues a
// motion event or not, a look at the screen after every flip, what the
// screens hold alive, and a trace of what each frame did. Frame n is the
// frame whose poll comes after the n-th flip, so a screen's first frame is
// frame 0.
#ifndef ZIMBALO_TESTS_HARNESS_H
#define ZIMBALO_TESTS_HARNESS_H

#include <deque>
#include <functional>
#include <map>
#include <string>

// The screens. GoogleTest includes <unistd.h>, whose pause() clashes with the
// game's; no test calls the game's, so its declaration is renamed here.
#define pause game_pause_unused
#include "jouer.h"
#undef pause

namespace harness {

struct End {};                   // how a run leaves a screen midway:
struct Stop : End {};            // thrown by a flip or a wait,
struct Exit : End { int code; }; // or in place of exit() where that is wrapped

struct State {
    // Events by the frame they are due in. A wait takes the first whenever it
    // is due; a warp's motion comes after the events due already.
    std::multimap<int, SDL_Event> script;
    std::deque<int> rands; // rand() returns these first
    // Called after every flip with the number of flips before it.
    std::function<void(int frame, SDL_Surface* screen)> look;
    // Generated input, asked when nothing is due: false means no event, the
    // event left as it was. Runs with a source keep no trace.
    std::function<bool(SDL_Event*)> source;
    // One line per thing done: "poll motion 10,20", "poll none", "wait key
    // 27", "warp 10,21", "flip 3", "music", "font 100", "close font", "lit
    // Jouer" (a button drawn in the highlight's black), the screens' own
    // texts as "write 10,10 Score : 0", and "exit 0".
    std::string trace;
    // The surfaces the screens made themselves and the fonts they opened,
    // not freed yet, each with the real function that frees it. (The
    // libraries' surfaces are freed where they are made; the sanitizers and
    // valgrind watch those.)
    std::map<void*, void (*)(void*)> alive;
    Uint32 clock = 1000;    // milliseconds
    int flips = 0;
    int stopAfter = -1;     // the frame whose flip throws Stop (or 5000 without a source)
    bool warpMotion = true; // a warp queues a motion, as on X11
    bool fontEngineFails = false; // TTF_Init refuses
};
extern State sdl;

// Opens a w by h window on the dummy driver and starts afresh.
SDL_Surface* open(int w, int h);
// Runs a screen until it returns, ends the program, or flips frame last; what
// it held when it did not return is freed.
void play(const std::function<void()>& screen, int last = -1);
int count(const std::string& text); // occurrences in the trace
// The trace from the last occurrence of a line on (out_of_range if none).
inline std::string from(const std::string& line) { return sdl.trace.substr(sdl.trace.rfind(line)); }
inline void at(int frame, const SDL_Event& event) { sdl.script.emplace(frame, event); }
// A pixel of the dummy driver's 32-bit screen, which reads 0xRRGGBB.
inline Uint32 rgb(SDL_Surface* s, int x, int y) { return static_cast<Uint32*>(s->pixels)[y * s->pitch / 4 + x]; }
// The box around the pixels of one colour within area, which starts on the
// screen (by default the whole screen); w = 0 when there are none.
SDL_Rect box(SDL_Surface* s, Uint32 colour, SDL_Rect area = {0, 0, 0xFFFF, 0xFFFF});
// The trace's line for a warp to (x, y).
inline std::string warp(int x, int y) { return "warp " + std::to_string(x) + "," + std::to_string(y) + "\n"; }

SDL_Event event(Uint8 type, int x = 0, int y = 0, int detail = 0); // detail: a button or a key
inline SDL_Event motion(int x, int y) { return event(SDL_MOUSEMOTION, x, y); }
inline SDL_Event press(int x, int y, int b = SDL_BUTTON_LEFT) { return event(SDL_MOUSEBUTTONDOWN, x, y, b); }
inline SDL_Event release(int x, int y, int b = SDL_BUTTON_LEFT) { return event(SDL_MOUSEBUTTONUP, x, y, b); }
inline SDL_Event key(SDLKey sym) { return event(SDL_KEYDOWN, 0, 0, sym); }
inline SDL_Event quit() { return event(SDL_QUIT); }
// Leaves a game in frame: Escape, then a key that the end screen waits for.
inline void leave(int frame) { at(frame, key(SDLK_ESCAPE)); at(frame, key(SDLK_a)); }

} // namespace harness

#endif
