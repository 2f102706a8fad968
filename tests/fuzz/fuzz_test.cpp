// fuzz_test.cpp: seeded random input through every screen, and a long soak.
//
// Events are generated for every type SDL 1.2 delivers: random bytes under a
// random type, coordinates over the whole 16-bit range, every mouse button
// and the wheel, any key, focus and resize events, and bursts of frames with
// no event. Half of them aim at the buttons, so that games and visits to the
// options screen nest as a player would make them. exit() is linked to throw
// Exited, so that "Quitter" and close requests restart the screen instead of
// ending the test. ZIMBALO_FUZZ_EVENTS, ZIMBALO_SOAK_FRAMES and
// ZIMBALO_FUZZ_SEED override the run's length and seed.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <random>
#include <string>

#include "harness.h"
#include "screens.h"

using namespace harness;

namespace {

struct Exited {
    int code;
};

long setting(const char* name, long fallback)
{
    const char* value = std::getenv(name);
    return value ? std::atol(value) : fallback;
}

class Input {
public:
    Input(unsigned seed, int w, int h) : rng(seed), w(w), h(h) {}

    // The next frame's event, or false for a frame without one.
    bool next(SDL_Event* e)
    {
        if (gap > 0) {
            --gap;
            return false;
        }
        if (pick(100) < 3)
            gap = 1 + pick(60);
        for (size_t i = 0; i < sizeof *e; ++i)
            reinterpret_cast<Uint8*>(e)[i] = Uint8(rng());
        if (pick(2) == 0) {
            // Any type at all, QUIT rarely so that screens get deep.
            e->type = Uint8(1 + pick(SDL_NUMEVENTS - 1));
            if (e->type == SDL_QUIT && pick(20) != 0)
                e->type = SDL_MOUSEMOTION;
            return true;
        }
        const Uint8 mouse[] = {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP};
        e->type = mouse[pick(3)];
        const int x = w / 2 - 60 + pick(260), y = h / 2 - 110 + pick(210);
        if (e->type == SDL_MOUSEMOTION) {
            e->motion.x = Uint16(x);
            e->motion.y = Uint16(y);
        } else {
            e->button.button = Uint8(pick(8));
            e->button.x = Uint16(x);
            e->button.y = Uint16(y);
        }
        if (pick(10) == 0)
            e->type = pick(2) ? SDL_KEYDOWN : SDL_KEYUP;
        return true;
    }

    // SDL fills a key's enums from its own tables, so they hold values
    // of their types; the rest of every event may be anything.
    bool nextValid(SDL_Event* e)
    {
        if (!next(e))
            return false;
        if (e->type == SDL_KEYDOWN || e->type == SDL_KEYUP) {
            e->key.keysym.sym = SDLKey(pick(SDLK_LAST));
            e->key.keysym.mod = SDLMod(pick(0x10000));
        }
        return true;
    }

private:
    int pick(int n) { return int(rng() % unsigned(n)); }
    std::mt19937 rng;
    int w, h;
    int gap = 0;
};

class Fuzz : public ::testing::Test {
protected:
    const int W = 640, H = 480;

    // Runs screen again and again on generated input until `events` events
    // or `frames` frames have gone by. Between frames no more than the
    // menu's two squares, a nested screen's two or the game's target, and
    // two fonts, may be alive.
    void run(void (*screen)(SDL_Surface*), long events, long frames,
             std::function<void()> afterReturn = {})
    {
        SDL_Surface* ecran = open(W, H);
        const long seed = setting("ZIMBALO_FUZZ_SEED", 20261206);
        SCOPED_TRACE("ZIMBALO_FUZZ_SEED=" + std::to_string(seed));
        Input input(unsigned(seed), W, H);
        long made = 0;
        source([&](SDL_Event* e) {
            if (made >= events)
                throw Stop();
            const bool some = input.nextValid(e);
            made += some;
            return some;
        });
        onFlip([&](int frame, SDL_Surface*) {
            ASSERT_LE(liveSurfaces(), 4) << "frame " << frame;
            ASSERT_LE(liveFonts(), 2) << "frame " << frame;
            if (frame >= frames)
                throw Stop();
            if (look)
                look(frame);
        });
        for (;;) {
            try {
                screen(ecran);
                if (afterReturn)
                    afterReturn();
            } catch (const Stop&) {
                break;
            } catch (const Exited& e) {
                ASSERT_EQ(e.code, 0);
                ++exits;
                releaseLeftovers();
            }
        }
        releaseLeftovers();
        EXPECT_EQ(liveSurfaces(), 0);
        EXPECT_EQ(liveFonts(), 0);
    }

    std::function<void(int)> look;
    int exits = 0;
};

const long events = setting("ZIMBALO_FUZZ_EVENTS", 100000);

TEST_F(Fuzz, Game)
{
    run([](SDL_Surface* e) { jouer(e, presets[rand() % nombrePresets].valeurs); },
        events, 1L << 40, [] {
            EXPECT_EQ(liveSurfaces(), 0);
            EXPECT_EQ(liveFonts(), 0);
        });
}

TEST_F(Fuzz, Options)
{
    run([](SDL_Surface* e) { option(e); }, events, 1L << 40, [] {
        EXPECT_EQ(liveSurfaces(), 0);
        EXPECT_EQ(liveFonts(), 0);
    });
}

TEST_F(Fuzz, MenuWithNestedScreens)
{
    run(menu, events, 1L << 40);
    EXPECT_GT(exits, 0);
}

// An hour of play at 100 frames a second: the heap ends where it started.
TEST_F(Fuzz, Soak)
{
    const long frames = setting("ZIMBALO_SOAK_FRAMES", 360000);
    long start = -1, end = -1;
    look = [&](int frame) {
        // Sample only between frames of the menu itself.
        if (liveSurfaces() != 2 || liveFonts() != 1)
            return;
        const long heap = long(mallinfo2().uordblks);
        if (start < 0 && frame > 1000)
            start = heap;
        end = heap;
    };
    run(menu, 1L << 40, frames);
    ASSERT_GE(start, 0);
    EXPECT_LE(std::labs(end - start), 64 * 1024) << start << " then " << end;
    std::printf("soak: %ld frames, heap %ld then %ld bytes, %d restarts\n", frames,
                start, end, exits);
}

} // namespace

extern "C" [[noreturn]] void __wrap_exit(int code)
{
    throw Exited{code};
}
