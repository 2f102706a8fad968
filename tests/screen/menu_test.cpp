// menu_test.cpp: the main menu, the options screen and their decoration,
// driven frame by frame through the harness.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "screens.h"

using namespace harness;

namespace {

// A 1024 by 768 window: the centre is (512, 384), the buttons' left edges
// stand at 462 and their labels at cy - 100, - 50, 0 and + 50.
const int W = 1024, H = 768, CX = 512, CY = 384;
enum Row { Top = -100, Second = -50, Third = 0, Fourth = 50 };

// A point well inside the plate of the button whose label is at row.
int rowY(int row) { return CY + row + 20; }

enum Look { Normal, Hovered, Unclear };

// How the label of the button at row is drawn: black or light grey pixels
// on its plate.
Look lookOf(SDL_Surface* s, int row, int cx = CX)
{
    int black = 0, grey = 0;
    for (int y = CY + row + 9; y < CY + row + 49; ++y)
        for (int x = cx - 50; x < cx + 50; ++x) {
            const SDL_Color c = pixel(s, x, y);
            black += is(c, 0, 0, 0);
            grey += is(c, 207, 207, 207);
        }
    if (black > 0 && grey == 0)
        return Hovered;
    if (grey > 0 && black == 0)
        return Normal;
    return Unclear;
}

class Menu : public ::testing::Test {
protected:
    void SetUp() override
    {
        ecran = open(W, H);
        angle = rotateAngle = 0;
        angle2 = rotateAngle2 = 180;
    }
    // Runs the menu until the flip of frame last.
    void run(int last)
    {
        stopAfter(last);
        try {
            menu(ecran);
            FAIL() << "the menu returned";
        } catch (const Stop&) {
        }
    }
    int count(const std::string& prefix)
    {
        return int(std::count_if(trace().begin(), trace().end(), [&](const std::string& l) {
            return l.rfind(prefix, 0) == 0;
        }));
    }
    SDL_Surface* ecran = nullptr;
};

TEST_F(Menu, FirstFrameShowsButtonsAndDecoration)
{
    Look looks[4];
    onFlip([&](int, SDL_Surface* s) {
        const int rows[] = {Top, Second, Third, Fourth};
        for (int i = 0; i < 4; ++i)
            looks[i] = lookOf(s, rows[i]);
    });
    run(0);
    for (Look l : looks)
        EXPECT_EQ(l, Normal);
    EXPECT_TRUE(is(pixel(ecran, 5, 5), 48, 48, 48));
    EXPECT_TRUE(is(pixel(ecran, CX - 50, rowY(Top)), 125, 124, 124));
    EXPECT_TRUE(is(pixel(ecran, CX - 51, rowY(Top)), 48, 48, 48));
    // Red below the centre, green above, each centred on its orbit point,
    // turned by 5 degrees so that a corner pokes out to the right.
    EXPECT_TRUE(is(pixel(ecran, CX, CY + 300), 255, 77, 77));
    EXPECT_TRUE(is(pixel(ecran, CX, CY - 300), 77, 255, 77));
    EXPECT_TRUE(is(pixel(ecran, CX - 20, CY + 300 - 20), 255, 77, 77));
    EXPECT_TRUE(is(pixel(ecran, CX + 20, CY + 300 + 20), 255, 77, 77));
    EXPECT_EQ(angle, 1);
    EXPECT_EQ(rotateAngle, 5);
    EXPECT_EQ(angle2, 181);
    EXPECT_EQ(rotateAngle2, 185);
    // Entry: the font, then the menu's music, and nothing drawn before.
    ASSERT_GE(trace().size(), 3u);
    EXPECT_EQ(trace()[0], "font 100");
    EXPECT_EQ(trace()[1], "music");
    EXPECT_EQ(trace()[2], "poll none");
}

TEST_F(Menu, HighlightFollowsThePointerAndRests)
{
    std::vector<Look> jouer, quitter;
    onFlip([&](int, SDL_Surface* s) {
        jouer.push_back(lookOf(s, Top));
        quitter.push_back(lookOf(s, Second));
    });
    at(1, motion(CX, rowY(Top)));
    at(5, press(CX, rowY(Top), SDL_BUTTON_RIGHT));
    at(8, motion(CX, rowY(Second)));
    at(11, key(SDLK_j));
    at(14, motion(5, 5));
    run(15);
    for (int f = 1; f <= 4; ++f)
        EXPECT_EQ(jouer[f], Hovered) << "frame " << f;
    for (int f = 5; f <= 7; ++f)
        EXPECT_EQ(jouer[f], Normal) << "a press drops the highlight, frame " << f;
    for (int f = 8; f <= 10; ++f) {
        EXPECT_EQ(quitter[f], Hovered) << "frame " << f;
        EXPECT_EQ(jouer[f], Normal) << "frame " << f;
    }
    for (int f = 11; f <= 15; ++f)
        EXPECT_EQ(quitter[f], Normal) << "frame " << f;
}

// A release over "Options", by any button, opens the options screen; a
// release over "Hardcore" there brings its settings back, which the next
// timed game uses.
TEST_F(Menu, OptionsThenHardcoreThenJouer)
{
    for (int button : {SDL_BUTTON_MIDDLE, SDL_BUTTON_WHEELDOWN}) {
        ecran = open(W, H);
        at(1, release(CX, rowY(Fourth), button));
        // The options screen draws its set-up (flip 1) and its frames.
        at(3, motion(CX, rowY(Fourth)));
        at(5, release(CX, rowY(Fourth), button));
        at(8, release(CX, rowY(Top)));
        at(12, key(SDLK_ESCAPE));
        at(12, key(SDLK_q));
        run(20);
        EXPECT_EQ(count("font 100"), 2) << button;
        EXPECT_EQ(count("close font"), 2) << "the options screen's and the game's";
        EXPECT_TRUE(traced("warp " + std::to_string(CX) + "," + std::to_string(rowY(Fourth) + 1)));
        EXPECT_TRUE(traced("write 10,50 Temps restant : 9 s")) << button;
        EXPECT_FALSE(traced("write 10,50 Temps restant : 29 s"));
        EXPECT_EQ(count("music"), 3) << "menu, game, menu";
    }
}

TEST_F(Menu, JeuLibreThenJouerKeepTheSettings)
{
    at(1, release(CX, rowY(Third)));
    at(4, key(SDLK_ESCAPE));
    at(4, key(SDLK_q));
    at(8, release(CX, rowY(Top)));
    at(11, key(SDLK_ESCAPE));
    at(11, key(SDLK_q));
    run(15);
    const auto& t = trace();
    const auto second = std::find(t.begin(), t.end(), "poll release 512," + std::to_string(rowY(Top)));
    ASSERT_NE(second, t.end());
    EXPECT_EQ(std::count_if(t.begin(), second, [](const std::string& l) {
                  return l.rfind("write 10,50", 0) == 0;
              }), 0) << "the free game has no countdown";
    EXPECT_TRUE(std::find(second, t.end(), "write 10,50 Temps restant : 29 s") != t.end());
    EXPECT_EQ(count("music"), 5);
    EXPECT_EQ(count("wait key"), 2);
}

// After a game the kept release must not start another one, whether or
// not the display answers the pointer warp with a motion event.
TEST_F(Menu, AReleaseIsActedOnOnce)
{
    for (bool warpMotion : {true, false}) {
        ecran = open(W, H);
        warpQueuesMotion(warpMotion);
        at(1, release(CX, rowY(Top)));
        at(3, key(SDLK_ESCAPE));
        at(3, key(SDLK_q));
        at(20, release(CX, rowY(Fourth)));
        at(23, release(CX, rowY(Fourth))); // "Hardcore" on the options screen
        run(30);
        EXPECT_EQ(count("wait key"), 1) << warpMotion;
        EXPECT_EQ(count("font 100"), 2) << "one visit to the options screen";
        EXPECT_EQ(pointer().y, rowY(Fourth) + 1);
    }
}

TEST_F(Menu, ReleaseOutsideChangesNothing)
{
    std::vector<Look> looks;
    onFlip([&](int, SDL_Surface* s) { looks.push_back(lookOf(s, Top)); });
    at(1, motion(CX, rowY(Top)));
    at(2, release(CX + 300, rowY(Top)));
    at(3, release(CX - 51, rowY(Top)));
    run(6);
    EXPECT_EQ(looks[1], Hovered);
    for (int f = 2; f <= 6; ++f)
        EXPECT_EQ(looks[f], Normal) << f;
    EXPECT_EQ(count("font"), 1);
    EXPECT_EQ(warps(), 0);
}

TEST_F(Menu, OddWidthDropsTheHalfPixel)
{
    ecran = open(1365, 767);
    run(0);
    const int cx = 682, cy = 383;
    EXPECT_TRUE(is(pixel(ecran, cx - 50, cy - 100 + 20), 125, 124, 124));
    EXPECT_TRUE(is(pixel(ecran, cx - 51, cy - 100 + 20), 48, 48, 48));
    EXPECT_EQ(lookOf(ecran, Top - 1, cx), Normal);
}

// The squares move one step in every frame that draws them, whichever
// screen draws it, and stand still through a game.
TEST_F(Menu, AnglesCarryAcrossScreens)
{
    at(10, release(CX, rowY(Fourth)));
    at(30, release(CX, rowY(Second)));
    at(40, release(CX, rowY(Top)));
    at(45, key(SDLK_ESCAPE));
    at(45, key(SDLK_q));
    std::vector<int> angles, spins;
    onFlip([&](int, SDL_Surface*) {
        angles.push_back(angle);
        spins.push_back(rotateAngle);
        EXPECT_LT(angle, 360);
        EXPECT_LT(rotateAngle, 360);
        EXPECT_EQ((angle + 180) % 360, angle2);
        EXPECT_EQ((rotateAngle + 180) % 360, rotateAngle2);
    });
    angle = 350;
    angle2 = 170;
    run(500);
    int still = 0;
    for (size_t f = 1; f < angles.size(); ++f) {
        const int step = (angles[f] - angles[f - 1] + 360) % 360;
        EXPECT_TRUE(step == 0 || step == 1) << "flip " << f;
        EXPECT_EQ((spins[f] - spins[f - 1] + 360) % 360, 5 * step) << "flip " << f;
        still += step == 0;
    }
    // Still: the options set-up, its last frame, and every game frame with
    // the end screen.
    const int gameFlips = count("write 10,10 Score");
    EXPECT_EQ(still, 2 + gameFlips + 1);
    EXPECT_GT(gameFlips, 0);
}

TEST_F(Menu, ManyVisitsLeakNothing)
{
    int frame = 1;
    for (int i = 0; i < 100; ++i) {
        at(frame, release(CX, rowY(Fourth)));
        at(frame + 2, release(CX, rowY(Top + 50 * (i % 4))));
        frame += 4;
    }
    for (int i = 0; i < 50; ++i) {
        at(frame, release(CX, rowY(i % 2 ? Top : Third)));
        at(frame + 2, key(SDLK_ESCAPE));
        at(frame + 2, key(SDLK_q));
        frame += 5;
    }
    int surfaces = -1, fonts = -1;
    onFlip([&](int f, SDL_Surface*) {
        if (f == 0) {
            surfaces = liveSurfaces();
            fonts = liveFonts();
        }
    });
    run(frame + 5);
    EXPECT_EQ(count("wait key"), 50);
    EXPECT_EQ(count("font 100"), 101);
    EXPECT_EQ(liveSurfaces(), surfaces);
    EXPECT_EQ(liveFonts(), fonts);
    EXPECT_EQ(fonts, 1);
    EXPECT_EQ(surfaces, 2) << "the menu's two squares";
}

TEST_F(Menu, QuitterAndCloseRequestsExit)
{
    EXPECT_EXIT(
        {
            exitWithoutLeakCheck();
            at(1, release(CX, rowY(Second), SDL_BUTTON_WHEELUP));
            run(5);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            exitWithoutLeakCheck();
            at(3, quit());
            run(5);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            exitWithoutLeakCheck();
            at(1, release(CX, rowY(Fourth)));
            at(4, key(SDLK_ESCAPE));
            at(5, quit());
            run(10);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Menu, MissingFontSaysSoAndFails)
{
    EXPECT_EXIT(
        {
            exitWithoutLeakCheck();
            if (chdir("/") == 0)
                run(5);
        },
        ::testing::ExitedWithCode(1), "^zimbalo: cannot open game_over.ttf: .+\n$");
}

// The options screen on its own: its set-up frame, the highlight, and a
// choice on release only, by the button under the release.
TEST(Options, ChoosesThePresetUnderTheRelease)
{
    SDL_Surface* ecran = open(W, H);
    std::vector<Look> moyen;
    onFlip([&](int, SDL_Surface* s) { moyen.push_back(lookOf(s, Second)); });
    at(1, motion(CX, rowY(Second)));
    at(4, press(CX, rowY(Second)));
    at(6, key(SDLK_ESCAPE));
    at(7, release(5, 5));
    at(8, motion(CX, rowY(Second)));
    at(9, release(CX, rowY(Third), SDL_BUTTON_RIGHT));
    const difficult d = option(ecran);
    EXPECT_EQ(d.min, 40);
    EXPECT_EQ(d.temps, 15);
    EXPECT_EQ(d.pxPerS, 4);
    EXPECT_FALSE(d.libre);
    // Flip 0 is the set-up; frame n flips as flip n.
    EXPECT_EQ(moyen[0], Normal) << "set-up";
    EXPECT_EQ(moyen[1], Hovered) << "frame 1";
    EXPECT_EQ(moyen[3], Hovered) << "frame 3, resting";
    EXPECT_EQ(moyen[4], Normal) << "frame 4, pressed";
    EXPECT_EQ(moyen[8], Hovered) << "frame 8";
    // The last flip shows the background alone, then the pointer moves.
    EXPECT_TRUE(is(pixel(ecran, CX, rowY(Third)), 48, 48, 48));
    EXPECT_EQ(pointer().y, rowY(Third) + 1);
    const auto& t = trace();
    ASSERT_GE(t.size(), 3u);
    EXPECT_EQ(t[t.size() - 3], "flip 9");
    EXPECT_EQ(t[t.size() - 2], "warp 512,405");
    EXPECT_EQ(t.back(), "close font");
    EXPECT_EQ(liveSurfaces(), 0);
    EXPECT_EQ(liveFonts(), 0);
}

} // namespace
