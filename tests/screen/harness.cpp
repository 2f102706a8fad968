// harness.cpp: the scripted SDL linked in place of the screens' event queue,
// clock, pointer, flip, random numbers, music and exit.
#include "harness.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace harness {

// The real functions, the toolkit's by their C++ names.
extern "C" decltype(SDL_CreateRGBSurface) __real_SDL_CreateRGBSurface;
extern "C" decltype(SDL_FreeSurface) __real_SDL_FreeSurface;
extern "C" decltype(TTF_Init) __real_TTF_Init;
extern "C" decltype(TTF_OpenFont) __real_TTF_OpenFont;
extern "C" decltype(TTF_CloseFont) __real_TTF_CloseFont;
extern "C" decltype(rand) __real_rand;
extern "C" decltype(write) __real__Z5writeP11SDL_SurfaceP9_TTF_Font9SDL_ColoriiPKcz;
extern "C" decltype(createButton) __real__Z12createButtonii9SDL_ColorS_P9_TTF_FontP11SDL_SurfacePKc;

State sdl;

// Long generated runs keep no trace.
static void log(const std::string& line) { sdl.trace += sdl.source ? "" : line + "\n"; }
static std::string xy(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }

// What tests script: a motion, a press, a release, a key or a close request
// (generated input is not described).
static std::string describe(const SDL_Event& e)
{
    static const char* const mouse[] = {"motion ", "press ", "release "};
    if (e.type == SDL_QUIT) return "quit";
    if (e.type == SDL_KEYDOWN) return "key " + std::to_string(e.key.keysym.sym);
    return mouse[e.type - SDL_MOUSEMOTION] + xy(e.button.x, e.button.y);
}

// The next event for a poll or a wait: the script's first if it is due (for
// a wait, whenever it is due), else one from the source.
static bool next(SDL_Event* event, bool wait)
{
    const auto first = sdl.script.begin();
    bool got = first != sdl.script.end() && (wait || first->first <= sdl.flips);
    if (got) *event = first->second, sdl.script.erase(first);
    for (int tries = 0; !got && sdl.source && tries < (wait ? 1000 : 1); ++tries) got = sdl.source(event);
    if (!sdl.source) log((wait ? "wait " : "poll ") + (got ? describe(*event) : wait ? "forever" : "none"));
    return got;
}

static void freeAlive()
{
    for (const auto& [thing, free] : sdl.alive) free(thing);
    sdl.alive.clear();
}

SDL_Surface* open(int w, int h)
{
    freeAlive();
    sdl = State();
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO);
    TTF_Init();
    return SDL_SetVideoMode(w, h, 32, SDL_HWSURFACE | SDL_NOFRAME | SDL_DOUBLEBUF);
}

void play(const std::function<void()>& screen, int last)
{
    sdl.stopAfter = last;
    try { screen(); } catch (const End&) { freeAlive(); } // what the screen held
}

int count(const std::string& text)
{
    int n = 0;
    for (size_t at = sdl.trace.find(text); at != std::string::npos; at = sdl.trace.find(text, at + 1)) ++n;
    return n;
}

SDL_Rect box(SDL_Surface* s, Uint32 colour, SDL_Rect area)
{
    int x0 = s->w, y0 = s->h, x1 = -1, y1 = -1;
    for (int y = area.y; y < std::min(s->h, area.y + area.h); ++y)
        for (int x = area.x; x < std::min(s->w, area.x + area.w); ++x)
            if (rgb(s, x, y) == colour)
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = y;
    return x1 < 0 ? SDL_Rect{} : SDL_Rect{Sint16(x0), Sint16(y0), Uint16(x1 - x0 + 1), Uint16(y1 - y0 + 1)};
}

SDL_Event event(Uint8 type, int x, int y, int detail)
{
    SDL_Event e = {};
    e.button = {type, 0, Uint8(detail), Uint8(type == SDL_MOUSEBUTTONDOWN), Uint16(x), Uint16(y)};
    e.key.keysym.sym = SDLKey(type == SDL_KEYDOWN ? detail : 0); // past the mouse's fields
    return e;
}

extern "C" {

int __wrap_SDL_PollEvent(SDL_Event* event) { return next(event, false); }
// With nothing left to come a wait would last for ever: the run ends there.
int __wrap_SDL_WaitEvent(SDL_Event* event) { return next(event, true) ? 1 : throw Stop(); }
Uint32 __wrap_SDL_GetTicks(void) { return sdl.clock; }
void __wrap_SDL_Delay(Uint32 ms) { sdl.clock += ms; }
time_t __wrap_time(time_t* t) { return t ? *t = 1234567 : 1234567; }
void __wrap__Z12jouerMusiquev(void) { log("music"); }

void __wrap_SDL_WarpMouse(Uint16 x, Uint16 y)
{
    log("warp " + xy(x, y));
    if (sdl.warpMotion) sdl.script.emplace(sdl.flips, motion(x, y));
}

// The dummy driver shows nothing: the flip is the harness's alone.
int __wrap_SDL_Flip(SDL_Surface* screen)
{
    const int frame = sdl.flips++;
    log("flip " + std::to_string(frame));
    if (sdl.look) sdl.look(frame, screen);
    // The last frame wanted, or a scripted run past 50 s of play: a hang.
    if (frame == sdl.stopAfter || (!sdl.source && frame >= 5000)) throw Stop();
    return 0;
}

int __wrap_rand(void)
{
    if (sdl.rands.empty()) return __real_rand();
    const int value = sdl.rands.front();
    sdl.rands.pop_front();
    return value;
}

void __wrap_exit(int code)
{
    log("exit " + std::to_string(code));
    throw Exit{{}, code};
}

// The screens' own texts and buttons; the toolkit's inner calls (a button's
// label, the frame rate) stay within one object, which the linker leaves be.
SDL_Rect __wrap__Z5writeP11SDL_SurfaceP9_TTF_Font9SDL_ColoriiPKcz(SDL_Surface* ecran, TTF_Font* police,
                                                                 SDL_Color c, int x, int y, const char* text, ...)
{
    char buffer[500];
    va_list args;
    va_start(args, text);
    std::vsnprintf(buffer, sizeof buffer, text, args);
    va_end(args);
    log("write " + xy(x, y) + " " + buffer);
    return __real__Z5writeP11SDL_SurfaceP9_TTF_Font9SDL_ColoriiPKcz(ecran, police, c, x, y, "%s", buffer);
}

button __wrap__Z12createButtonii9SDL_ColorS_P9_TTF_FontP11SDL_SurfacePKc(
    int x, int y, SDL_Color texte, SDL_Color fond, TTF_Font* police, SDL_Surface* ecran, const char* label)
{
    if (texte.r == 0 && texte.g == 0 && texte.b == 0) log(std::string("lit ") + label);
    return __real__Z12createButtonii9SDL_ColorS_P9_TTF_FontP11SDL_SurfacePKc(x, y, texte, fond, police, ecran, label);
}

// The libraries' surfaces are freed where they are made; the screens' own
// and their fonts may outlive a run left midway.
SDL_Surface* __wrap_SDL_CreateRGBSurface(Uint32 flags, int w, int h, int d, Uint32 r, Uint32 g, Uint32 b, Uint32 a)
{
    SDL_Surface* s = __real_SDL_CreateRGBSurface(flags, w, h, d, r, g, b, a);
    sdl.alive[s] = [](void* s) { __real_SDL_FreeSurface(static_cast<SDL_Surface*>(s)); };
    return s;
}
void __wrap_SDL_FreeSurface(SDL_Surface* s)
{
    sdl.alive.erase(s);
    __real_SDL_FreeSurface(s);
}
int __wrap_TTF_Init(void)
{
    return sdl.fontEngineFails ? -1 : __real_TTF_Init();
}
TTF_Font* __wrap_TTF_OpenFont(const char* file, int size)
{
    log("font " + std::to_string(size));
    TTF_Font* f = __real_TTF_OpenFont(file, size);
    if (f) sdl.alive[f] = [](void* f) { __real_TTF_CloseFont(static_cast<TTF_Font*>(f)); };
    return f;
}
void __wrap_TTF_CloseFont(TTF_Font* f)
{
    log("close font");
    sdl.alive.erase(f);
    __real_TTF_CloseFont(f);
}

} // extern "C"

} // namespace harness
