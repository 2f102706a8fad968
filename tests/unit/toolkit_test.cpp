// toolkit_test.cpp: the drawing toolkit on real surfaces with the real font,
// on SDL's dummy video driver, and the environment start-up sets for SDL.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "fonctions.h"
#include "sys.h"

const SDL_Color white = {255, 255, 255, 0}, grey = {207, 207, 207, 0}, plate = {125, 124, 124, 0};

// Surfaces of SDL's default 32-bit layout, where a pixel reads 0xRRGGBB.
SDL_Surface* surface(int w = 800, int h = 600) { return SDL_CreateRGBSurface(0, w, h, 32, 0, 0, 0, 0); }
auto rect(const SDL_Rect& r) { return std::make_tuple(int(r.x), int(r.y), int(r.w), int(r.h)); }

// The game's font at the menus' size: text 49 pixels high, ascent 40.
TTF_Font* const font = [] {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    return SDL_Init(SDL_INIT_VIDEO) | TTF_Init() ? nullptr : TTF_OpenFont("game_over.ttf", 100);
}();

int width(const std::string& text)
{
    int w = 0;
    TTF_SizeText(font, text.c_str(), &w, nullptr);
    return w;
}

// Each test draws on a blank 800 by 600 surface.
struct Toolkit : ::testing::Test {
    SDL_Surface* ecran = surface();
    void SetUp() override { ASSERT_TRUE(font) << "no game_over.ttf here: " << SDL_GetError(); }
    ~Toolkit() override { SDL_FreeSurface(ecran); }
    Uint32 at(int x, int y) const { return static_cast<Uint32*>(ecran->pixels)[y * 800 + x]; }
};

// A blit writes back the rectangle drawn, pulled inside the window, and
// leaves the whole window as the clip rectangle.
TEST_F(Toolkit, BlitClips)
{
    SDL_Surface* src = surface(100, 40);
    const int cases[][6] = {{-30, 10, 0, 10, 70, 40}, {780, 10, 780, 10, 20, 40}, {900, 10, 900, 10, 0, 0},
                            {-200, 10, 0, 10, 0, 0}, {50, -15, 50, 0, 100, 25}, {50, 590, 50, 590, 100, 10}};
    for (const auto& c : cases) {
        SDL_Rect r = xyToRect(c[0], c[1]);
        advancedBlit(src, ecran, &r);
        EXPECT_EQ(rect(r), std::make_tuple(c[2], c[3], c[4], c[5])) << c[0] << "," << c[1];
    }
    SDL_Rect clip = {10, 10, 5, 5}, r = xyToRect(0, 0);
    SDL_SetClipRect(ecran, &clip);
    advancedBlit(src, ecran, &r);
    EXPECT_EQ(rect(ecran->clip_rect), std::make_tuple(0, 0, 800, 600));
    SDL_FreeSurface(src);
}

// write returns the text's whole size even off the window, keeps 499
// characters of a longer text, and draws nothing when nothing renders.
TEST_F(Toolkit, WriteSizes)
{
    EXPECT_EQ(rect(write(ecran, font, white, 20, 30, "%s", "")), std::make_tuple(20, 30, 0, 0));
    EXPECT_EQ(rect(write(ecran, nullptr, white, 20, 30, "Score")), std::make_tuple(20, 30, 0, 0));
    const Uint32* pixels = static_cast<Uint32*>(ecran->pixels);
    EXPECT_EQ(std::count(pixels, pixels + 800 * 600, 0u), 800 * 600);
    const SDL_Rect r = write(ecran, font, white, 790, 10, "Score : %d", 42);
    EXPECT_EQ(rect(r), std::make_tuple(790, 10, width("Score : 42"), 49));
    EXPECT_EQ(write(ecran, font, white, 0, 0, "%s", std::string(600, 'a').c_str()).w, width(std::string(499, 'a')));
}

// A button's plate is the font's ascent high, two pixels wider than its
// label and a fifth of the text's height below it, recorded as drawn.
TEST_F(Toolkit, ButtonPlates)
{
    const int tw = width("Jouer");
    const int cases[][4] = {{350, 350, tw + 2, 209}, {800 - tw / 2, 800 - tw / 2, tw - tw / 2, 209},
                            {-10, 0, tw - 8, 209}, {-1000, 0, 0, 209}, {100, 100, tw + 2, 590}};
    for (const auto& c : cases) {
        const button b = createButton(c[0], c[3] - 9, grey, plate, font, ecran, "Jouer");
        EXPECT_EQ(std::make_tuple(b.x, b.y, b.w, b.h), std::make_tuple(c[1], c[3], c[2], 40)) << c[0];
    }
    EXPECT_EQ(at(350 + tw + 1, 230), 0x7D7C7Cu);
    EXPECT_EQ(at(350 + tw + 2, 230), 0u);
}

// The frame rate shown is 1000 over the frame's milliseconds, 1 at least.
TEST_F(Toolkit, FrameRate)
{
    const std::pair<int, const char*> cases[] = {{16, "62"}, {1500, "0"}, {0, "1000"}};
    for (const auto& c : cases) {
        SDL_Surface* expected = surface();
        color(ecran, 0, 0, 0);
        afficherFps(ecran, font, 5000 + c.first, 5000);
        write(expected, font, white, 750, 10, "%s", c.second);
        EXPECT_EQ(memcmp(ecran->pixels, expected->pixels, 600 * ecran->pitch), 0) << c.second;
        SDL_FreeSurface(expected);
    }
}

// Start-up centres the window whatever the environment said, takes X11
// unless the player chose a driver, and keeps the player's renderer; with
// no GPU at all it asks sdl12-compat for the software renderer.
TEST(Environment, ThePlayersChoicesWin)
{
    const char* const names[] = {"SDL_VIDEO_WINDOW_POS", "SDL_VIDEODRIVER", "SDL_RENDER_DRIVER",
                                 "SDL_FRAMEBUFFER_ACCELERATION"};
    const auto after = [&](std::vector<const char*> given) {
        std::string seen;
        for (int i = 0; i < 4; ++i)
            given[i] ? setenv(names[i], given[i], 1) : unsetenv(names[i]);
        sysPreparerProcessus();
        for (const char* name : names)
            seen += std::string(getenv(name) ? getenv(name) : "-") + " ";
        return seen;
    };
    EXPECT_EQ(after({"10,10", "dummy", "opengl", "1"}), "center dummy opengl 1 ");
    if (!std::filesystem::exists("/dev/dri")) {
        EXPECT_EQ(after({nullptr, nullptr, nullptr, nullptr}), "center x11 software 0 ");
    }
    setenv("SDL_VIDEODRIVER", "dummy", 1);
}
