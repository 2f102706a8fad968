// menu_test.cpp: the main menu, the options screen and the decoration they
// share, driven frame by frame through the harness.
#include <gtest/gtest.h>

#include <tuple>

#include "harness.h"

using namespace harness;

namespace {

// On a 1024 by 768 window the buttons' left edges stand at 462 and their
// labels at 100 and 50 above the centre, on it, and 50 below.
const int W = 1024, H = 768, CX = 512, CY = 384;
// A point on the plate of the button whose label stands dy below the centre.
int row(int dy) { return CY + dy + 20; }
std::string warp(int x, int y) { return "warp " + std::to_string(x) + "," + std::to_string(y) + "\n"; }

// Runs the menu, with the squares at their first angles; a failure shows the
// trace.
struct Menu : ::testing::Test {
    SDL_Surface* ecran = open(W, H);
    Menu() { angle = rotateAngle = 0, angle2 = rotateAngle2 = 180; }
    void run(int last) { play([&] { menu(ecran); }, last); }
    void TearDown() override
    {
        if (HasFailure())
            std::cout << sdl.trace;
    }
};

// The first frame: grey buttons on a dark background, the red square below
// the centre and the green one above, each turned 5 degrees, its corners
// clear.
TEST_F(Menu, FirstFrame)
{
    run(0);
    EXPECT_EQ(sdl.trace, "font 100\nmusic\npoll none\nflip 0\n");
    EXPECT_EQ(rgb(ecran, CX - 50, row(-100)), 0x7D7C7Cu);
    EXPECT_EQ(rgb(ecran, CX - 51, row(-100)), 0x303030u);
    EXPECT_EQ(rgb(ecran, CX, CY + 300), 0xFF4D4Du);
    EXPECT_EQ(rgb(ecran, CX, CY - 300), 0x4DFF4Du);
    EXPECT_EQ(rgb(ecran, CX - 26, CY + 274), 0x303030u) << "a corner of the turned square";
    EXPECT_EQ(std::tie(angle, rotateAngle, angle2, rotateAngle2), std::make_tuple(1, 5, 181, 185));
}

// The button under the pointer is lit while the pointer rests on it; a
// press, a key or a move elsewhere puts the light out.
TEST_F(Menu, HighlightFollowsThePointer)
{
    at(1, motion(CX, row(-100)));
    at(5, press(CX, row(-100), SDL_BUTTON_RIGHT));
    at(8, motion(CX, row(-50)));
    at(11, key(SDLK_j));
    at(14, motion(5, 5));
    run(15);
    EXPECT_EQ(count("lit Jouer\n"), 4);
    EXPECT_EQ(count("lit Quitter\n"), 3);
    EXPECT_EQ(count("lit "), 7);
}

// A game with the default settings, "Hardcore" on the options screen, a free
// game and a timed one: each release acts once, whether or not the display
// answers the warp after it with a motion; the free game has no countdown,
// the timed one lasts Hardcore's 10 s, and the menu's music comes back after
// each game. In the end only the menu's font and squares are alive.
TEST_F(Menu, ButtonsActOnceAndSettingsCarry)
{
    for (bool warpMotion : {true, false}) {
        ecran = open(W, H);
        sdl.warpMotion = warpMotion;
        at(1, release(CX, row(-100), SDL_BUTTON_MIDDLE)); // Jouer
        at(4, key(SDLK_ESCAPE));
        at(4, key(SDLK_q));
        at(10, release(CX, row(50), SDL_BUTTON_WHEELDOWN)); // Options
        at(13, release(CX, row(50), SDL_BUTTON_WHEELUP));   // Hardcore
        at(20, release(CX, row(0), SDL_BUTTON_RIGHT));      // Jeu Libre
        at(23, key(SDLK_ESCAPE));
        at(23, key(SDLK_q));
        at(30, release(CX, row(-100)));
        at(33, key(SDLK_ESCAPE));
        at(33, key(SDLK_q));
        size_t alive = 0;
        sdl.look = [&](int, SDL_Surface*) { alive = sdl.alive.size(); };
        run(40);
        EXPECT_EQ(count("font 100\n"), 2);
        EXPECT_EQ(count("wait key"), 3);
        EXPECT_EQ(count("music\n"), 7);
        EXPECT_EQ(count(warp(CX, row(50) + 1)), 1);
        EXPECT_EQ(count("write 10,50 Temps restant : 29 s\n"), 3);
        EXPECT_EQ(count("write 10,50 Temps restant : 9 s\n"), 3);
        EXPECT_EQ(alive, 3u) << "more than the menu's font and squares";
    }
}

// "Quitter", by any button, and a close request in the menu, the options
// screen or a game's end screen end the program with status 0.
TEST_F(Menu, QuitterAndCloseRequestsExit)
{
    const std::vector<std::pair<int, SDL_Event>> scripts[] = {
        {{1, release(CX, row(-50), SDL_BUTTON_WHEELUP)}},
        {{3, quit()}},
        {{1, release(CX, row(50))}, {4, quit()}},
        {{1, release(CX, row(-100))}, {3, key(SDLK_ESCAPE)}, {3, quit()}},
    };
    for (const auto& script : scripts) {
        ecran = open(W, H);
        for (const auto& [frame, event] : script)
            at(frame, event);
        run(10);
        EXPECT_EQ(from("exit"), "exit 0\n");
    }
}

// Without its font no screen can draw: each ends the program with status 1
// (saying why, which the window tests check).
TEST(Screens, MissingFontFails)
{
    const std::function<void(SDL_Surface*)> screens[] = {
        [](SDL_Surface* e) { jouer(e, difficulteParDefaut); }, menu, [](SDL_Surface* e) { option(e); }};
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here));
    for (const auto& screen : screens) {
        SDL_Surface* ecran = open(W, H);
        ASSERT_EQ(chdir("/"), 0);
        play([&] { screen(ecran); });
        ASSERT_EQ(chdir(here), 0);
        EXPECT_EQ(from("exit"), "exit 1\n");
    }
}

// A release over a preset's button, by any mouse button and edges included,
// returns its settings, shows the bare background and moves the pointer a
// pixel down. On a window too short for them the plates of the top buttons
// overlap at its edge, and the upper button wins.
TEST(Options, EachButtonGivesItsPreset)
{
    const auto all = [](const difficult& d) {
        return std::make_tuple(d.min, d.max, d.temps, d.pxPerS, d.libre);
    };
    const difficult facile = {100, 140, 45, 1, false};
    struct { int h, y, button; difficult want; } rows[] = {
        {H, row(-100), SDL_BUTTON_LEFT, facile},
        {H, CY - 50 + 49, SDL_BUTTON_RIGHT, {70, 110, 30, 2, false}},
        {H, CY + 9, SDL_BUTTON_MIDDLE, {40, 70, 15, 4, false}},
        {H, row(50), SDL_BUTTON_WHEELUP, {40, 70, 10, 8, false}},
        {160, 40, SDL_BUTTON_LEFT, facile},
    };
    for (const auto& r : rows) {
        SDL_Surface* ecran = open(W, r.h);
        at(1, release(CX, r.y, r.button));
        EXPECT_EQ(all(option(ecran)), all(r.want)) << r.y;
        EXPECT_EQ(from("flip 1\n"), "flip 1\n" + warp(CX, r.y + 1) + "close font\n");
        EXPECT_EQ(rgb(ecran, CX, r.y), 0x303030u);
        EXPECT_TRUE(sdl.alive.empty());
    }
    EXPECT_EQ(all(difficulteParDefaut), all(presets[1].valeurs));
}

// Only a release chooses, and the button under the pointer is lit.
TEST(Options, ChoosesOnReleaseOnly)
{
    SDL_Surface* ecran = open(W, H);
    at(1, motion(CX, row(-50)));
    at(4, press(CX, row(-50)));
    at(6, key(SDLK_ESCAPE));
    at(7, release(5, 5));
    at(8, motion(CX, row(-50)));
    at(9, release(CX, row(0)));
    EXPECT_EQ(option(ecran).temps, 15);
    EXPECT_EQ(count("lit Moyen\n"), 4);
    EXPECT_EQ(count("lit "), 4);
}

} // namespace
