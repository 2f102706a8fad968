// fuzz_test.cpp: seeded random input through every screen, and a soak.
//
// Every event is random bytes under a type: any type SDL 1.2 has for half of
// them, a motion, a press, a release or a key for the others. Half the events
// point at the buttons, so that games and visits to the options screen nest as
// a player would make them. A quarter of the inputs are frames without an
// event, and now and then a frame takes seconds. exit() throws, so that
// "Quitter" and close requests start the screen again: a screen may end any
// way but by a crash, a sanitizer's report, a hang or a leak.
// ZIMBALO_FUZZ_EVENTS (inputs per screen), ZIMBALO_SOAK_FRAMES (inputs to the
// menu in the soak) and ZIMBALO_FUZZ_SEED set the run.
#include <gtest/gtest.h>
#include <malloc.h>

#include <random>

#include "harness.h"

using namespace harness;

long setting(const char* name, long fallback) { return getenv(name) ? atol(getenv(name)) : fallback; }
long heap[2]; // bytes in use between two menu frames: the first after frame 1000, the last

// Runs screen over and over on `inputs` generated inputs. Between frames at
// most six things may be alive: the menu's font and squares, and a nested
// screen's, or the game's font and target.
void fuzz(void (*screen)(SDL_Surface*), long inputs)
{
    SDL_Surface* ecran = open(640, 480);
    std::mt19937 rng(unsigned(setting("ZIMBALO_FUZZ_SEED", 20261206)));
    const auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    heap[0] = heap[1] = -1;
    sdl.source = [&](SDL_Event* e) {
        if (inputs-- == 0)
            throw Stop();
        sdl.clock += pick(50) ? 0 : pick(20000);
        if (pick(4) == 0)
            return false;
        for (size_t i = 0; i < sizeof *e; ++i)
            reinterpret_cast<Uint8*>(e)[i] = Uint8(rng());
        // Any type, or a motion, a press, a release or a key.
        e->type = Uint8(pick(2) ? pick(SDL_NUMEVENTS) : pick(4) ? SDL_MOUSEMOTION + pick(3) : SDL_KEYDOWN);
        // SDL takes a key's symbol from its own table; other events leave the
        // bytes it covers unread.
        e->key.keysym.sym = pick(4) ? SDLKey(pick(SDLK_LAST)) : SDLK_ESCAPE;
        if (pick(2)) // at the buttons
            e->button.x = Uint16(260 + pick(260)), e->button.y = Uint16(130 + pick(210));
        return true;
    };
    sdl.look = [&](int frame, SDL_Surface*) {
        EXPECT_LE(sdl.alive.size(), 6u) << "frame " << frame;
        if (sdl.alive.size() == 3 && frame > 1000) // between frames of the menu alone
            heap[heap[0] >= 0] = long(mallinfo2().uordblks);
        if (::testing::Test::HasFailure()) // once is enough
            throw Stop();
    };
    while (inputs >= 0 && !::testing::Test::HasFailure()) {
        play([&] { screen(ecran); });
        EXPECT_EQ(sdl.alive.size(), 0u) << "after a game or the options screen";
    }
}

const long events = setting("ZIMBALO_FUZZ_EVENTS", 1000);
TEST(Fuzz, Game) { fuzz([](SDL_Surface* e) { jouer(e, presets[rand() % nombrePresets].valeurs); }, events); }
TEST(Fuzz, Options) { fuzz([](SDL_Surface* e) { option(e); }, events); }
TEST(Fuzz, Menu) { fuzz(menu, events); }

// The menu and what it nests for many frames: the heap ends where it started.
TEST(Fuzz, Soak)
{
    fuzz(menu, setting("ZIMBALO_SOAK_FRAMES", 1500));
    ASSERT_GE(heap[1], 0) << "too short to measure";
    EXPECT_LE(std::labs(heap[1] - heap[0]), 64 * 1024) << heap[0] << " then " << heap[1];
}
