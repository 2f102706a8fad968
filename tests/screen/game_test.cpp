// game_test.cpp: whole games driven frame by frame through the harness.
#include <gtest/gtest.h>

#include "harness.h"

using namespace harness;

namespace {

const difficult moyen = {70, 110, 30, 2, false};

// A game frees all it made; a failure shows the trace.
struct Game : ::testing::Test {
    SDL_Surface* ecran = open(800, 600);
    void TearDown() override
    {
        EXPECT_TRUE(sdl.alive.empty()) << sdl.alive.size() << " left alive";
        if (HasFailure())
            std::cout << sdl.trace;
    }
};

// The countdown shows the whole seconds left, rounded down; once the clock
// has passed the end it shows 0, and the end screen waits for a key.
TEST_F(Game, CountdownEndsOnTheEndScreen)
{
    sdl.look = [](int frame, SDL_Surface*) { sdl.clock += frame == 99 ? 30000 : 0; };
    at(101, motion(1, 1));
    at(101, key(SDLK_a));
    jouer(ecran, moyen);
    EXPECT_EQ(sdl.trace.find("music\nfont 50\npoll none\nwrite 10,50 Temps restant : 29 s\n"), 0u);
    EXPECT_EQ(count("write 10,50 Temps restant : 29 s\n"), 100);
    EXPECT_EQ(from("flip 99\n"), "flip 99\npoll none\nwrite 10,50 Temps restant : 0 s\nwrite 10,10 Score : 0\n"
                                 "flip 100\nwrite 370,280 Score : 0\nflip 101\nwait motion 1,1\nwait key 97\n"
                                 "close font\n");
}

// Escape ends a timed or a free game at once; a free game has no countdown.
// A close request ends a game without its end screen.
TEST_F(Game, EscapeAndCloseRequests)
{
    for (bool libre : {false, true}) {
        ecran = open(800, 600);
        leave(5);
        jouer(ecran, {70, 110, 30, 2, libre});
        EXPECT_EQ(count("write 10,50 Temps restant : 29 s\n"), libre ? 0 : 5);
        EXPECT_EQ(count("write 10,10 Score : 0\n"), 6);
        EXPECT_EQ(from("flip 5\n"), "flip 5\nwrite 370,280 Score : 0\nflip 6\nwait key 97\nclose font\n");
    }
    ecran = open(800, 600);
    at(3, quit());
    jouer(ecran, moyen);
    EXPECT_EQ(from("flip 2\n"), "flip 2\npoll quit\nwrite 10,50 Temps restant : 29 s\nwrite 10,10 Score : 0\n"
                                "flip 3\nclose font\n");
}

// A press of any button on the target, edges included, scores once, moves
// the pointer a pixel down and lights the new target under it. A press to
// the left or above misses; one to the right or below is caught a frame later
// as the target moves on under it. The script: a 50 by 60 target of colour
// (0, 20, 254) (each of the first target's components is rand() % 255) at
// (300, 200) moving 2 pixels right and down a frame, so at (308, 208) in
// frame 4; after a hit a 70 by 70 one of colour (255, 130, 30) (rand() % 226
// + 30) at (300, 200), drawn there at once, then moving on right (rand() & 1
// of 1) and down (of 2).
// The random numbers are chosen so that any other modulus gives other sides
// and colours.
TEST_F(Game, PressesOnAndBesideTheTarget)
{
    struct { int dx, dy, button; bool warpMotion; int framesAt1; } presses[] = {
        {0, 0, SDL_BUTTON_LEFT, true, 3},         {50, 60, SDL_BUTTON_MIDDLE, false, 3},
        {50, 0, SDL_BUTTON_RIGHT, true, 3},       {0, 60, SDL_BUTTON_WHEELUP, false, 3},
        {25, 30, SDL_BUTTON_WHEELDOWN, false, 3}, {-1, 30, SDL_BUTTON_LEFT, true, 0},
        {25, -1, SDL_BUTTON_LEFT, true, 0},       {51, 30, SDL_BUTTON_LEFT, false, 2},
        {25, 61, SDL_BUTTON_LEFT, false, 2},
    };
    for (const auto& p : presses) {
        ecran = open(800, 600);
        sdl.warpMotion = p.warpMotion;
        sdl.rands = {510, 275, 509, 41, 51, 350, 260, 451, 326, 452, 61, 61, 370, 270, 1, 2};
        const int x = 308 + p.dx, y = 208 + p.dy;
        const std::string under = warp(x, y + 1);
        at(4, press(x, y, p.button));
        leave(6);
        Uint32 first = 0, start = 0;
        SDL_Rect lit = {};
        sdl.look = [&](int frame, SDL_Surface* s) {
            first = frame == 0 ? rgb(s, 320, 230) : first;
            start = frame == 4 ? rgb(s, 300, 200) : start;
            lit = frame == 5 ? box(s, 0xFFE6D7) : lit;
        };
        jouer(ecran, {40, 70, 30, 2, false});
        EXPECT_EQ(count("write 10,10 Score : 1\n"), p.framesAt1) << under;
        EXPECT_EQ(count("Score : 2") + count("warp "), p.framesAt1 ? 1 : 0) << under;
        EXPECT_EQ(count(under), p.framesAt1 ? 1 : 0) << under;
        EXPECT_EQ(first, 0x0014FEu);
        if (p.framesAt1 == 3) {
            EXPECT_EQ(start, 0xFF821Eu) << under;
            EXPECT_EQ(std::tie(lit.x, lit.y, lit.w, lit.h), std::make_tuple(304, 204, 70, 70))
                << under << ": the new target two steps on, lit (its colour brought 5/6 of the way to 255)";
        }
    }
}

// A target taller than wide, starting above a window it spans exactly in
// whole steps, is pulled to the top edge, then bounces off all four edges
// and is never clipped again.
TEST_F(Game, TargetBouncesOffAllFourEdges)
{
    const int w = 40 + 8 * 30, h = 70 + 8 * 20;
    ecran = open(w, h);
    sdl.rands = {0, 200, 0, 0, 30, 120, 270}; // 40 by 70 at (80, -30)
    leave(60);
    std::vector<SDL_Rect> boxes;
    sdl.look = [&](int, SDL_Surface* s) { boxes.push_back(box(s, 0x00C800)); };
    jouer(ecran, {40, 70, 30, 8, false});
    ASSERT_EQ(boxes.size(), 62u);
    EXPECT_EQ(std::tie(boxes[0].x, boxes[0].y, boxes[0].w, boxes[0].h), std::make_tuple(88, 0, 40, 48));
    int edges = 0;
    for (int f = 1; f < 60; ++f) {
        const SDL_Rect& b = boxes[f];
        EXPECT_TRUE(b.w == 40 && b.h == 70) << "frame " << f << ": " << b.w << "x" << b.h;
        edges |= (b.x == 0) | (b.x + 40 == w) << 1 | (b.y == 0) << 2 | (b.y + 70 == h) << 3;
    }
    EXPECT_EQ(edges, 15);
}

} // namespace
