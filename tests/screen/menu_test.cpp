// menu_test.cpp: the main menu, the options screen and the decoration they
// share, driven frame by frame through the harness.
#include <gtest/gtest.h>

#include <SDL/SDL_rotozoom.h>

#include <sstream>
#include <tuple>

#include "harness.h"

using namespace harness;

int startUp(int argc, char** argv); // the game's main, renamed for the tests

namespace {

// On a 1024 by 768 window the buttons' left edges stand at 462 and their
// labels at 100 and 50 above the centre, on it, and 50 below.
const int W = 1024, H = 768, CX = 512, CY = 384;
// A point on the plate of the button whose label stands dy below the centre.
int row(int dy) { return CY + dy + 20; }

// Both menus' window, with the squares at their first angles, and run() for
// the main menu; a failure shows the trace. The squares' angles are the program's: read before any test runs,
// they are put back before each, as a new run of the game would find them.
const auto startAngles = std::make_tuple(angle, rotateAngle, angle2, rotateAngle2);
struct Menus : ::testing::Test {
    SDL_Surface* ecran = open(W, H);
    Menus() { std::tie(angle, rotateAngle, angle2, rotateAngle2) = startAngles; }
    void run(int last) { play([&] { menu(ecran); }, last); }
    void TearDown() override
    {
        if (HasFailure())
            std::cout << sdl.trace;
    }
};

// The plates in the menus' four rows, top to bottom: their rows and left edge
// from the centre, and the label's colour that shows on them, grey, or black
// when lit. A row is the 50 pixels from its label's top down, from 10 pixels
// left of the buttons to short of the squares' path.
std::string plates(SDL_Surface* s)
{
    std::ostringstream out;
    for (int dy = -100; dy <= 50; dy += 50) {
        const SDL_Rect p = box(s, 0x7D7C7C, {CX - 60, Sint16(CY + dy), 310, 50});
        out << p.y - CY << ".." << p.y + p.h - 1 - CY << " at " << p.x - CX
            << (box(s, 0, p).w ? " black" : box(s, 0xCFCFCF, p).w ? " grey" : "") << "\n";
    }
    return out.str();
}
const std::string fourPlates = "-91..-52 at -50 grey\n-41..-2 at -50 grey\n9..48 at -50 grey\n59..98 at -50 grey\n";

// How many pixels of the 100 by 100 box around (cx, cy) differ from a 50 by
// 50 square of colour turned by spin degrees (counter-clockwise) and centred
// there, its corners clear, on the menus' background.
int unlike(SDL_Surface* screen, Uint32 colour, int spin, int cx, int cy)
{
    SDL_Surface* square = SDL_CreateRGBSurface(0, 50, 50, 32, 0, 0, 0, 0);
    SDL_Surface* want = SDL_CreateRGBSurface(0, 100, 100, 32, 0, 0, 0, 0);
    SDL_FillRect(square, nullptr, colour);
    SDL_FillRect(want, nullptr, 0x303030);
    SDL_Surface* turned = rotozoomSurface(square, spin, 1.0, SMOOTHING_ON);
    SDL_SetColorKey(turned, SDL_SRCCOLORKEY, SDL_MapRGB(turned->format, 0, 0, 0));
    SDL_Rect at = {Sint16(50 - turned->w / 2), Sint16(50 - turned->h / 2), 0, 0};
    SDL_BlitSurface(turned, nullptr, want, &at);
    int n = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            n += rgb(want, x, y) != rgb(screen, cx - 50 + x, cy - 50 + y);
    for (SDL_Surface* s : {square, want, turned})
        SDL_FreeSurface(s);
    return n;
}

// The first frame: grey buttons on their plates in four rows 50 pixels
// apart on a dark background, nothing lit.
TEST_F(Menus, FirstFrame)
{
    run(0);
    EXPECT_EQ(sdl.trace, "font 100\nmusic\npoll none\nflip 0\n");
    EXPECT_EQ(plates(ecran), fourPlates);
}

// The squares over a whole turn, against squares turned and placed here from
// the design's numbers: frame f shows the red square at orbit angle f (0
// below the centre, 90 to its right), 300 pixels out, each offset truncated,
// spun by -5(f + 1) degrees; the green one stands opposite, spun half a turn
// more. The angles then hold where the next frame starts.
TEST_F(Menus, DecorationOverAWholeTurn)
{
    const struct { int frame, x, y; } rows[] = {{0, 0, 300},    {1, 5, 299},    {90, 300, 0},  {180, 0, -300},
                                                 {270, -300, 0}, {359, -5, 299}, {360, 0, 300}};
    int checked = 0;
    sdl.look = [&](int frame, SDL_Surface* s) {
        for (const auto& r : rows)
            if (r.frame == frame) {
                const int spin = 5 * (frame + 1);
                EXPECT_EQ(unlike(s, 0xFF4D4D, -(spin % 360), CX + r.x, CY + r.y), 0) << "red, frame " << frame;
                EXPECT_EQ(unlike(s, 0x4DFF4D, -((spin + 180) % 360), CX - r.x, CY - r.y), 0)
                    << "green, frame " << frame;
                ++checked;
            }
    };
    run(360);
    EXPECT_EQ(checked, 7);
    EXPECT_EQ(std::tie(angle, rotateAngle, angle2, rotateAngle2), std::make_tuple(1, 5, 181, 185));
}

// A game with the default settings, "Hardcore" on the options screen, a free
// game and a timed one: each release acts once, whether or not the display
// answers the warp after it with a motion; the free game has no countdown,
// the timed one lasts Hardcore's 10 s, and the menu's music comes back after
// each game. In the end only the menu's font and squares are alive.
TEST_F(Menus, ButtonsActOnceAndSettingsCarry)
{
    for (bool warpMotion : {true, false}) {
        ecran = open(W, H);
        sdl.warpMotion = warpMotion;
        at(1, release(CX, row(-100), SDL_BUTTON_MIDDLE)); // Jouer
        leave(4);
        at(10, release(CX, row(50), SDL_BUTTON_WHEELDOWN)); // Options
        at(13, release(CX, row(50), SDL_BUTTON_WHEELUP));   // Hardcore
        at(20, release(CX, row(0), SDL_BUTTON_RIGHT));      // Jeu Libre
        leave(23);
        at(30, release(CX, row(-100)));
        leave(33);
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
TEST_F(Menus, QuitterAndCloseRequestsExit)
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

// Start-up whose font engine cannot start ends the program: one line
// naming it, status 1.
TEST(Screens, FontEngineRefusedFails)
{
    open(W, H);
    sdl.fontEngineFails = true;
    testing::internal::CaptureStderr();
    play([] { startUp(0, nullptr); });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(from("exit"), "exit 1\n");
    EXPECT_EQ(err.rfind("zimbalo: cannot start SDL_ttf: ", 0), 0u) << err;
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

// Only a release chooses, and the button under the pointer is lit. The
// screen opens on the four plates in the menu's rows, and its first frame
// draws the squares where the menu's first frame does.
TEST_F(Menus, OptionsChooseOnReleaseOnly)
{
    SDL_FillRect(ecran, nullptr, 0x303030); // as the menu leaves it
    std::string looks[2];
    sdl.look = [&](int frame, SDL_Surface* s) {
        if (frame < 2)
            looks[frame] = plates(s);
        if (frame == 1) {
            EXPECT_EQ(unlike(s, 0xFF4D4D, -5, CX, CY + 300) + unlike(s, 0x4DFF4D, -185, CX, CY - 300), 0);
        }
    };
    at(1, motion(CX, row(-50)));
    at(4, press(CX, row(-50)));
    at(6, key(SDLK_ESCAPE));
    at(7, release(5, 5));
    at(8, motion(CX, row(-50)));
    at(9, release(CX, row(0)));
    EXPECT_EQ(option(ecran).temps, 15);
    EXPECT_EQ(count("lit Moyen\n"), 4);
    EXPECT_EQ(count("lit "), 4);
    EXPECT_EQ(looks[0], fourPlates);
    EXPECT_EQ(looks[1], "-91..-52 at -50 grey\n-41..-2 at -50 black\n9..48 at -50 grey\n59..98 at -50 grey\n");
}

} // namespace
