// game_test.cpp: whole games driven frame by frame through the harness.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "screens.h"

using namespace harness;

namespace {

const int W = 800, H = 600;

difficult settings(int min, int max, int temps, int step, bool libre = false)
{
    return difficult{min, max, temps, step, libre};
}

// The set-up's rand() calls, in order: the colour's three components, the
// width, the height, then x and y. Sides come out as min + value % range,
// corners as value % screen size - side.
void setUp(int r, int v, int b, int side_x, int side_y, int x, int y,
           const difficult& d)
{
    randValues({r, v, b, side_x - d.min, side_y - d.min, x + side_x, y + side_y});
}

int count(const std::string& prefix)
{
    return int(std::count_if(trace().begin(), trace().end(),
                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// The box of the pixels of one colour on the screen, or w = 0 when none.
SDL_Rect box(SDL_Surface* s, int r, int g, int b)
{
    int x0 = s->w, y0 = s->h, x1 = -1, y1 = -1;
    for (int y = 0; y < s->h; ++y)
        for (int x = 0; x < s->w; ++x)
            if (is(pixel(s, x, y), r, g, b)) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    if (x1 < 0)
        return SDL_Rect{0, 0, 0, 0};
    return SDL_Rect{Sint16(x0), Sint16(y0), Uint16(x1 - x0 + 1), Uint16(y1 - y0 + 1)};
}

class Game : public ::testing::Test {
protected:
    void SetUp() override { ecran = open(W, H); }
    SDL_Surface* ecran = nullptr;
};

TEST_F(Game, CountdownStartsOneSecondShortAndEndsAtZero)
{
    const difficult d = settings(70, 110, 30, 2);
    setUp(10, 20, 30, 80, 90, 400, 300, d);
    stall(100, 30000);
    at(102, key(SDLK_a));
    jouer(ecran, d);
    EXPECT_TRUE(traced("write 10,50 Temps restant : 29 s"));
    EXPECT_FALSE(traced("write 10,50 Temps restant : 30 s"));
    // The stall jumps past the deadline: 0 is shown, then the end screen.
    EXPECT_TRUE(traced("write 10,50 Temps restant : 0 s"));
    EXPECT_TRUE(traced("write 370,280 Score : 0"));
    EXPECT_EQ(flips(), 102); // 101 frames and the end screen
    EXPECT_TRUE(traced("wait key 97"));
    EXPECT_EQ(musicSwitches(), 1);
    EXPECT_EQ(liveFonts(), 0);
    EXPECT_EQ(liveSurfaces(), 0);
}

TEST_F(Game, OneSecondGameEndsAtOnce)
{
    at(1, key(SDLK_SPACE));
    jouer(ecran, settings(70, 110, 1, 2));
    EXPECT_EQ(flips(), 2);
    EXPECT_TRUE(traced("write 10,50 Temps restant : 0 s"));
    EXPECT_TRUE(traced("write 370,280 Score : 0"));
}

TEST_F(Game, EscapeEndsBothModesAndTheNextKeyReturns)
{
    for (bool libre : {false, true}) {
        ecran = open(W, H);
        at(5, key(SDLK_ESCAPE));
        at(5, motion(1, 1));      // ignored by the end screen's wait
        at(5, key(SDLK_RETURN));
        jouer(ecran, settings(70, 110, 30, 2, libre));
        EXPECT_EQ(flips(), 7) << libre;
        EXPECT_TRUE(traced("write 370,280 Score : 0")) << libre;
        EXPECT_TRUE(traced("wait key 13")) << libre;
        EXPECT_EQ(count("write 10,50 "), libre ? 0 : 6) << "countdown lines";
        EXPECT_EQ(count("write 10,10 Score : 0"), 6);
    }
}

TEST_F(Game, CloseRequestLeavesWithoutTheEndScreen)
{
    at(3, quit());
    jouer(ecran, settings(70, 110, 30, 2));
    EXPECT_EQ(flips(), 4);
    EXPECT_FALSE(traced("write 370,280 Score : 0"));
    EXPECT_EQ(liveFonts(), 0);
    EXPECT_EQ(liveSurfaces(), 0);
}

TEST_F(Game, CloseRequestOnTheEndScreenExits)
{
    EXPECT_EXIT(
        {
            exitWithoutLeakCheck();
            at(2, key(SDLK_ESCAPE));
            at(2, quit());
            jouer(ecran, settings(70, 110, 30, 2));
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Game, MissingFontSaysSoAndFails)
{
    EXPECT_EXIT(
        {
            exitWithoutLeakCheck();
            if (chdir("/") == 0)
                jouer(ecran, settings(70, 110, 30, 2));
        },
        ::testing::ExitedWithCode(1), "^zimbalo: cannot open game_over.ttf: .+\n$");
}

// Any button and the wheel score once per press, at the far column and row
// too, and the pointer ends one pixel below the press.
TEST_F(Game, EveryButtonScoresOnceOnTheTarget)
{
    const difficult d = settings(40, 70, 30, 2);
    const int buttons[] = {SDL_BUTTON_LEFT, SDL_BUTTON_MIDDLE, SDL_BUTTON_RIGHT,
                           SDL_BUTTON_WHEELUP, SDL_BUTTON_WHEELDOWN};
    for (bool warpMotion : {true, false}) {
        for (int button : buttons) {
            ecran = open(W, H);
            warpQueuesMotion(warpMotion);
            // At frame 4 the target has moved 4 steps of 2 right and down;
            // press on its far corner. The new target, 70 by 70 at (330,
            // 240) and moving up and right, lies under the pointer in the
            // next frame too, where the press must not count again.
            randValues({10, 20, 30, 50 - 40, 60 - 40, 300 + 50, 200 + 60,
                        0, 0, 0, 30, 30, 330 + 70, 240 + 70, 1, 1});
            const int x = 300 + 8 + 50, y = 200 + 8 + 60;
            at(4, press(x, y, button));
            at(12, key(SDLK_ESCAPE));
            at(12, key(SDLK_a));
            jouer(ecran, d);
            EXPECT_TRUE(traced("write 10,10 Score : 1")) << button;
            EXPECT_FALSE(traced("write 10,10 Score : 2")) << button;
            EXPECT_EQ(pointer().x, x);
            EXPECT_EQ(pointer().y, y + 1);
        }
    }
}

TEST_F(Game, PressesBesideTheTargetMiss)
{
    const difficult d = settings(40, 70, 30, 2);
    setUp(10, 20, 30, 50, 60, 300, 200, d);
    at(4, press(300 + 8 + 51, 230));
    at(5, press(320, 210 + 60 + 1));
    at(6, press(300 + 12 - 1, 230));
    at(8, key(SDLK_ESCAPE));
    at(8, key(SDLK_a));
    jouer(ecran, d);
    EXPECT_FALSE(traced("write 10,10 Score : 1"));
    EXPECT_EQ(warps(), 0);
}

// A press that missed stays the kept event: held still, it scores when the
// target slides under it, and only once.
TEST_F(Game, HeldPressCatchesThePassingTarget)
{
    const difficult d = settings(40, 40, 30, 2);
    randValues({10, 20, 30, 0, 0, 140, 140, 40, 40, 40, 0, 0, 500, 500, 1, 1});
    at(1, press(200, 200));
    at(80, key(SDLK_ESCAPE));
    at(80, key(SDLK_a));
    jouer(ecran, d);
    EXPECT_TRUE(traced("warp 200,201"));
    EXPECT_EQ(warps(), 1);
    // Caught at frame 30, when its right edge reaches x = 200.
    EXPECT_EQ(count("write 10,10 Score : 0"), 30);
    EXPECT_EQ(count("write 10,10 Score : 1"), 80 - 30 + 1);
}

TEST_F(Game, HighlightBringsColoursTowardWhite)
{
    const difficult d = settings(50, 50, 30, 1);
    struct { int in, out; } tones[] = {{0, 210}, {30, 215}, {100, 225}, {254, 254}};
    for (const auto& t : tones) {
        ecran = open(W, H);
        randValues({t.in, t.in, t.in, 0, 0, 350, 350});
        at(0, motion(320, 320));
        at(3, key(SDLK_ESCAPE));
        at(3, key(SDLK_a));
        SDL_Color seen[3];
        onFlip([&](int frame, SDL_Surface* s) {
            if (frame < 3)
                seen[frame] = pixel(s, 330, 330);
        });
        jouer(ecran, d);
        EXPECT_TRUE(is(seen[0], t.out, t.out, t.out)) << t.in << " gave " << int(seen[0].r);
        // The pointer rests; the target stays lit while under it.
        EXPECT_TRUE(is(seen[2], t.out, t.out, t.out)) << t.in;
    }

    // Later targets reach 255, which stays 255.
    ecran = open(W, H);
    randValues({0, 0, 0, 0, 0, 350, 350, 225, 225, 225, 0, 0, 350, 350, 1, 0});
    at(0, press(320, 320));
    at(3, key(SDLK_ESCAPE));
    at(3, key(SDLK_a));
    SDL_Color lit = {};
    onFlip([&](int frame, SDL_Surface* s) {
        if (frame == 2)
            lit = pixel(s, 320, 310);
    });
    jouer(ecran, d);
    EXPECT_TRUE(is(lit, 255, 255, 255));
}

// A target that starts left of the window is drawn clipped, pulled to the
// edge by the blit, and moves on from there.
TEST_F(Game, TargetLeftOfTheWindowIsPulledToTheEdge)
{
    const difficult d = settings(50, 50, 30, 2);
    randValues({0, 200, 0, 0, 0, 50 - 30, 300});
    at(2, key(SDLK_ESCAPE));
    at(2, key(SDLK_a));
    SDL_Rect seen[2];
    onFlip([&](int frame, SDL_Surface* s) {
        if (frame < 2)
            seen[frame] = box(s, 0, 200, 0);
    });
    jouer(ecran, d);
    EXPECT_EQ(seen[0].x, 0);
    EXPECT_EQ(seen[0].w, 50 - 28);
    EXPECT_EQ(seen[1].x, 2);
    EXPECT_EQ(seen[1].w, 50);
    EXPECT_TRUE(is(pixel(ecran, 1, 260), 0, 0, 0)) << "black background";
}

// A target taller than wide, on a window whose sides it meets exactly, never
// leaves the window and touches all four edges.
TEST_F(Game, TargetBouncesOffAllFourEdges)
{
    const int w = 40 + 8 * 30, h = 70 + 8 * 20;
    ecran = open(w, h);
    const difficult d = settings(40, 70, 30, 8);
    randValues({0, 200, 0, 0, 30, 8 * 10 + 40, 8 * 5 + 70});
    at(400, key(SDLK_ESCAPE));
    at(400, key(SDLK_a));
    bool left = false, right = false, top = false, bottom = false, whole = true;
    onFlip([&](int frame, SDL_Surface* s) {
        if (frame >= 400)
            return;
        const SDL_Rect b = box(s, 0, 200, 0);
        whole &= b.w == 40 && b.h == 70;
        left |= b.x == 0;
        right |= b.x + b.w == w;
        top |= b.y == 0;
        bottom |= b.y + b.h == h;
    });
    jouer(ecran, d);
    EXPECT_TRUE(whole) << "the target was clipped or changed size";
    EXPECT_TRUE(left && right && top && bottom)
        << left << right << top << bottom;
}

TEST_F(Game, TextsAreWhiteOnBlack)
{
    randValues({0, 200, 0, 0, 0, 500, 400});
    at(1, key(SDLK_ESCAPE));
    at(1, key(SDLK_a));
    SDL_Surface* copy = SDL_CreateRGBSurface(0, W, H, 32, 0, 0, 0, 0);
    onFlip([&](int frame, SDL_Surface* s) {
        if (frame == 0)
            SDL_BlitSurface(s, nullptr, copy, nullptr);
    });
    jouer(ecran, settings(70, 70, 30, 2));
    const SDL_Rect score = box(copy, 255, 255, 255);
    EXPECT_GT(score.w, 0);
    EXPECT_GE(score.x, 10);
    EXPECT_LT(score.x, 14);
    EXPECT_GE(score.y, 10);
    EXPECT_LT(score.y, 10 + 25);
    EXPECT_TRUE(is(pixel(copy, 5, 5), 0, 0, 0));
    EXPECT_TRUE(is(pixel(copy, 440, 340), 0, 200, 0));
    SDL_FreeSurface(copy);
}

} // namespace
