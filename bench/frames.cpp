// frames.cpp: the cost of one frame of each screen, without the 10 ms wait
// and with a flip that shows nothing (dummy video driver), at two window
// sizes. Screens run through the test harness, which stands in for the
// event queue, the clock and the flip. The third argument, when 0, also
// skips every fill of the whole window, leaving the game's own cost alone:
// what it draws over the background.
#include <benchmark/benchmark.h>

#include "harness.h"

using namespace harness;

namespace {

const int frames = 200;

// Runs a screen for a batch of frames per iteration and reports the time
// of one frame as "per_frame".
bool fillWindow = true;

template <typename Screen>
void batches(benchmark::State& state, Screen screen)
{
    SDL_Surface* ecran = open(int(state.range(0)), int(state.range(1)));
    fillWindow = state.range(2) != 0;
    for (auto _ : state)
        screen(ecran);
    state.counters["per_frame"] = benchmark::Counter(
        double(frames), benchmark::Counter::kIsIterationInvariantRate |
                            benchmark::Counter::kInvert);
}

void stopped(void (*run)(SDL_Surface*), SDL_Surface* ecran)
{
    try {
        run(ecran);
    } catch (const Stop&) {
    }
}

// What every frame of every screen must do: fill the window.
void BM_Fill(benchmark::State& state)
{
    batches(state, [](SDL_Surface* ecran) {
        for (int i = 0; i < frames; ++i)
            SDL_FillRect(ecran, NULL, SDL_MapRGB(ecran->format, 48, 48, 48));
    });
}

void BM_MenuIdle(benchmark::State& state)
{
    batches(state, [](SDL_Surface* ecran) {
        open(ecran->w, ecran->h);
        sdl.stopAfter = frames - 1;
        stopped(menu, ecran);
    });
}

void BM_MenuHover(benchmark::State& state)
{
    batches(state, [](SDL_Surface* ecran) {
        open(ecran->w, ecran->h);
        at(1, motion(ecran->w / 2, ecran->h / 2 - 80));
        sdl.stopAfter = frames - 1;
        stopped(menu, ecran);
    });
}

void BM_Options(benchmark::State& state)
{
    batches(state, [](SDL_Surface* ecran) {
        open(ecran->w, ecran->h);
        at(1, motion(ecran->w / 2, ecran->h / 2 - 30));
        sdl.stopAfter = frames - 1;
        stopped([](SDL_Surface* e) { option(e); }, ecran);
    });
}

void BM_Game(benchmark::State& state)
{
    batches(state, [](SDL_Surface* ecran) {
        open(ecran->w, ecran->h);
        at(frames - 1, key(SDLK_ESCAPE));
        at(frames - 1, key(SDLK_a));
        jouer(ecran, difficulteParDefaut);
    });
}

#define SIZES                                                                  \
    ->Args({1920, 1080, 1})->Args({1920, 1080, 0})->Args({3840, 2160, 1})         \
    ->Args({3840, 2160, 0})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_Fill)->Args({1920, 1080, 1})->Args({3840, 2160, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MenuIdle) SIZES;
BENCHMARK(BM_MenuHover) SIZES;
BENCHMARK(BM_Options) SIZES;
BENCHMARK(BM_Game) SIZES;

} // namespace

extern "C" int __real_SDL_FillRect(SDL_Surface*, SDL_Rect*, Uint32);

extern "C" int __wrap_SDL_FillRect(SDL_Surface* dst, SDL_Rect* rect, Uint32 colour)
{
    if (!fillWindow && !rect && dst == SDL_GetVideoSurface())
        return 0;
    return __real_SDL_FillRect(dst, rect, colour);
}

BENCHMARK_MAIN();
