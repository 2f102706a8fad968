// harness.cpp: the scripted SDL that the screen tests link in place of the
// real event queue, clock, pointer and flip.
#include "harness.h"

#include <SDL/SDL_rotozoom.h>
#include <SDL/SDL_ttf.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>

extern "C" {
int __real_SDL_Flip(SDL_Surface*);
SDL_Surface* __real_SDL_CreateRGBSurface(Uint32, int, int, int, Uint32, Uint32,
                                         Uint32, Uint32);
void __real_SDL_FreeSurface(SDL_Surface*);
TTF_Font* __real_TTF_OpenFont(const char*, int);
void __real_TTF_CloseFont(TTF_Font*);
SDL_Surface* __real_TTF_RenderText_Blended(TTF_Font*, const char*, SDL_Color);
SDL_Surface* __real_rotozoomSurface(SDL_Surface*, double, double, int);
int __real_rand(void);
SDL_Rect __real__Z5writeP11SDL_SurfaceP9_TTF_Font9SDL_ColoriiPKcz(
    SDL_Surface*, TTF_Font*, SDL_Color, int, int, const char*, ...);
}

namespace harness {
namespace {

// A screen that loops past this many flips has hung.
const int runaway = 2000000;

struct State {
    std::multimap<int, SDL_Event> script;
    std::multimap<int, Uint32> stalls;
    std::deque<SDL_Event> queue;
    std::deque<int> rands;
    std::function<void(int, SDL_Surface*)> look;
    std::function<bool(SDL_Event*)> source;
    std::vector<std::string> trace;
    Uint32 clock = 1000;
    int flips = 0;
    int stopAfter = -1;
    bool warpMotion = true;
    SDL_Rect pointer = {0, 0, 0, 0};
    int warps = 0;
    int music = 0;
};
State state;

// What the screens and the libraries made and did not free yet. A screen
// left by Stop leaves its own behind; the next open() frees it.
struct Live {
    std::set<SDL_Surface*> surfaces;
    std::set<TTF_Font*> fonts;
    void clear()
    {
        for (SDL_Surface* s : surfaces)
            __real_SDL_FreeSurface(s);
        for (TTF_Font* f : fonts)
            __real_TTF_CloseFont(f);
        surfaces.clear();
        fonts.clear();
    }
    ~Live() { clear(); }
};
Live live;

void log(const char* format, int a = 0, int b = 0)
{
    if (state.source)
        return; // long generated runs keep no trace
    char line[64];
    std::snprintf(line, sizeof line, format, a, b);
    state.trace.emplace_back(line);
}

// Moves what the script holds for frames up to now into the queue.
void release_script()
{
    for (auto it = state.stalls.begin();
         it != state.stalls.end() && it->first <= state.flips;) {
        state.clock += it->second;
        it = state.stalls.erase(it);
    }
    for (auto it = state.script.begin();
         it != state.script.end() && it->first <= state.flips;) {
        state.queue.push_back(it->second);
        it = state.script.erase(it);
    }
}

void log_event(const char* how, const SDL_Event& e)
{
    switch (e.type) {
    case SDL_MOUSEMOTION:
        return log((std::string(how) + " motion %d,%d").c_str(), e.motion.x, e.motion.y);
    case SDL_MOUSEBUTTONDOWN:
        return log((std::string(how) + " press %d,%d").c_str(), e.button.x, e.button.y);
    case SDL_MOUSEBUTTONUP:
        return log((std::string(how) + " release %d,%d").c_str(), e.button.x, e.button.y);
    case SDL_KEYDOWN:
        return log((std::string(how) + " key %d").c_str(), e.key.keysym.sym);
    case SDL_QUIT:
        return log((std::string(how) + " quit").c_str());
    default:
        return log((std::string(how) + " event %d").c_str(), e.type);
    }
}

SDL_Event mouse(Uint8 type, int x, int y, int button)
{
    SDL_Event e = {};
    e.type = type;
    e.button.button = Uint8(button);
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = Uint16(x);
    e.button.y = Uint16(y);
    return e;
}

} // namespace

SDL_Surface* open(int w, int h)
{
    reset();
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        SDL_Init(SDL_INIT_VIDEO);
        TTF_Init();
    }
    SDL_Surface* screen = SDL_GetVideoSurface();
    if (screen && screen->w == w && screen->h == h)
        return screen;
    return SDL_SetVideoMode(w, h, 32, SDL_HWSURFACE | SDL_NOFRAME | SDL_DOUBLEBUF);
}

void reset()
{
    state = State();
    live.clear();
}

void at(int frame, const SDL_Event& event) { state.script.emplace(frame, event); }
void stall(int frame, Uint32 ms) { state.stalls.emplace(frame, ms); }
void stopAfter(int frame) { state.stopAfter = frame; }
void warpQueuesMotion(bool queues) { state.warpMotion = queues; }
void randValues(std::vector<int> values) { state.rands.assign(values.begin(), values.end()); }

SDL_Event motion(int x, int y)
{
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = Uint16(x);
    e.motion.y = Uint16(y);
    return e;
}
SDL_Event press(int x, int y, int button) { return mouse(SDL_MOUSEBUTTONDOWN, x, y, button); }
SDL_Event release(int x, int y, int button) { return mouse(SDL_MOUSEBUTTONUP, x, y, button); }
SDL_Event key(SDLKey sym)
{
    SDL_Event e = {};
    e.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = sym;
    return e;
}
SDL_Event quit()
{
    SDL_Event e = {};
    e.type = SDL_QUIT;
    return e;
}

void onFlip(std::function<void(int, SDL_Surface*)> look) { state.look = std::move(look); }
void source(std::function<bool(SDL_Event*)> make) { state.source = std::move(make); }
void releaseLeftovers() { live.clear(); }
int flips() { return state.flips; }
Uint32 now() { return state.clock; }
SDL_Rect pointer() { return state.pointer; }
int warps() { return state.warps; }
int liveSurfaces() { return int(live.surfaces.size()); }
int liveFonts() { return int(live.fonts.size()); }
int musicSwitches() { return state.music; }
const std::vector<std::string>& trace() { return state.trace; }
bool traced(const std::string& line)
{
    for (const auto& l : state.trace)
        if (l == line)
            return true;
    return false;
}

SDL_Color pixel(SDL_Surface* s, int x, int y)
{
    SDL_Color c = {0, 0, 0, 0};
    const Uint8* row = static_cast<Uint8*>(s->pixels) + y * s->pitch;
    Uint32 value = 0;
    memcpy(&value, row + x * s->format->BytesPerPixel, s->format->BytesPerPixel);
    SDL_GetRGB(value, s->format, &c.r, &c.g, &c.b);
    return c;
}

bool is(SDL_Color c, int r, int g, int b) { return c.r == r && c.g == g && c.b == b; }

} // namespace harness

using harness::live;
using harness::state;

extern "C" {

int __wrap_SDL_PollEvent(SDL_Event* event)
{
    harness::release_script();
    SDL_Event made;
    if (state.queue.empty() && state.source && state.source(&made))
        state.queue.push_back(made);
    if (state.queue.empty()) {
        harness::log("poll none");
        return 0;
    }
    *event = state.queue.front();
    state.queue.pop_front();
    if (!state.source)
        harness::log_event("poll", *event);
    return 1;
}

// A wait takes the next event whatever its frame; with nothing left in the
// script the screen would wait for ever, so the test ends there.
int __wrap_SDL_WaitEvent(SDL_Event* event)
{
    harness::release_script();
    if (state.queue.empty() && !state.script.empty()) {
        state.queue.push_back(state.script.begin()->second);
        state.script.erase(state.script.begin());
    }
    SDL_Event made;
    for (int tries = 0; state.queue.empty() && state.source && tries < 1000; ++tries)
        if (state.source(&made))
            state.queue.push_back(made);
    if (state.queue.empty()) {
        harness::log("wait forever");
        throw harness::Stop();
    }
    *event = state.queue.front();
    state.queue.pop_front();
    if (!state.source)
        harness::log_event("wait", *event);
    return 1;
}

Uint32 __wrap_SDL_GetTicks(void) { return state.clock; }
void __wrap_SDL_Delay(Uint32 ms) { state.clock += ms; }

void __wrap_SDL_WarpMouse(Uint16 x, Uint16 y)
{
    state.pointer = {Sint16(x), Sint16(y), 0, 0};
    state.warps++;
    harness::log("warp %d,%d", x, y);
    if (state.warpMotion)
        state.queue.push_back(harness::motion(x, y));
}

int __wrap_SDL_Flip(SDL_Surface* screen)
{
    const int frame = state.flips++;
    harness::log("flip %d", frame);
    __real_SDL_Flip(screen);
    if (state.look)
        state.look(frame, screen);
    if (frame == state.stopAfter || frame >= harness::runaway)
        throw harness::Stop();
    return 0;
}

time_t __wrap_time(time_t* t)
{
    if (t)
        *t = 1234567;
    return 1234567;
}

int __wrap_rand(void)
{
    if (state.rands.empty())
        return __real_rand();
    const int value = state.rands.front();
    state.rands.pop_front();
    return value;
}

// The music is tested on its own; here only its switches are counted.
void __wrap__Z12jouerMusiquev(void)
{
    state.music++;
    harness::log("music");
}

// The screens' own texts, traced as "write x,y text" (the toolkit's inner
// calls of write, for buttons and the frame rate, are not).
SDL_Rect __wrap__Z5writeP11SDL_SurfaceP9_TTF_Font9SDL_ColoriiPKcz(
    SDL_Surface* ecran, TTF_Font* police, SDL_Color c, int x, int y,
    const char* text, ...)
{
    char buffer[500];
    va_list args;
    va_start(args, text);
    std::vsnprintf(buffer, sizeof buffer, text, args);
    va_end(args);
    if (!state.source)
        state.trace.push_back("write " + std::to_string(x) + "," + std::to_string(y) +
                          " " + buffer);
    return __real__Z5writeP11SDL_SurfaceP9_TTF_Font9SDL_ColoriiPKcz(
        ecran, police, c, x, y, "%s", buffer);
}

static SDL_Surface* counted(SDL_Surface* s)
{
    if (s)
        live.surfaces.insert(s);
    return s;
}

SDL_Surface* __wrap_SDL_CreateRGBSurface(Uint32 flags, int w, int h, int depth,
                                         Uint32 r, Uint32 g, Uint32 b, Uint32 a)
{
    return counted(__real_SDL_CreateRGBSurface(flags, w, h, depth, r, g, b, a));
}
SDL_Surface* __wrap_TTF_RenderText_Blended(TTF_Font* f, const char* text, SDL_Color c)
{
    return counted(__real_TTF_RenderText_Blended(f, text, c));
}
SDL_Surface* __wrap_rotozoomSurface(SDL_Surface* s, double angle, double zoom, int smooth)
{
    return counted(__real_rotozoomSurface(s, angle, zoom, smooth));
}
void __wrap_SDL_FreeSurface(SDL_Surface* s)
{
    live.surfaces.erase(s);
    __real_SDL_FreeSurface(s);
}
TTF_Font* __wrap_TTF_OpenFont(const char* file, int size)
{
    TTF_Font* f = __real_TTF_OpenFont(file, size);
    if (f)
        live.fonts.insert(f);
    harness::log("font %d", size);
    return f;
}
void __wrap_TTF_CloseFont(TTF_Font* f)
{
    live.fonts.erase(f);
    harness::log("close font");
    __real_TTF_CloseFont(f);
}

} // extern "C"
