// toolkit_test.cpp: the drawing toolkit on real surfaces with the real font.
#include <gtest/gtest.h>

#include <string>

#include "fonctions.h"

namespace {

// SDL and the font engine for the whole program, with the game's font open
// at both of the sizes the screens use.
class Toolkit : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_EQ(TTF_Init(), 0);
        big = TTF_OpenFont("game_over.ttf", 100);
        small = TTF_OpenFont("game_over.ttf", 50);
        ASSERT_TRUE(big && small) << TTF_GetError();
    }
    static void TearDownTestSuite()
    {
        TTF_CloseFont(big);
        TTF_CloseFont(small);
        TTF_Quit();
        SDL_Quit();
    }
    void SetUp() override { ecran = surface(800, 600); }
    void TearDown() override { SDL_FreeSurface(ecran); }

    static SDL_Surface* surface(int w, int h)
    {
        return SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0, 0, 0, 0);
    }
    static Uint32 pixel(SDL_Surface* s, int x, int y)
    {
        return static_cast<Uint32*>(s->pixels)[y * s->pitch / 4 + x];
    }
    static Uint32 rgb(SDL_Surface* s, int r, int g, int b)
    {
        return SDL_MapRGB(s->format, r, g, b);
    }
    static bool samePixels(SDL_Surface* a, SDL_Surface* b)
    {
        return a->h == b->h && a->pitch == b->pitch &&
               memcmp(a->pixels, b->pixels, size_t(a->h) * a->pitch) == 0;
    }

    static TTF_Font* big;
    static TTF_Font* small;
    SDL_Surface* ecran = nullptr;
};
TTF_Font* Toolkit::big = nullptr;
TTF_Font* Toolkit::small = nullptr;

const SDL_Color white = {255, 255, 255, 0};

TEST_F(Toolkit, CheckZoneEdgesAreInclusiveAndSigned)
{
    SDL_Rect p = xyToRect(10, 20);
    EXPECT_TRUE(checkZone(15, 25, p, 5, 5));
    EXPECT_TRUE(checkZone(10, 20, p, 5, 5));
    EXPECT_FALSE(checkZone(16, 25, p, 5, 5));
    EXPECT_FALSE(checkZone(15, 26, p, 5, 5));
    EXPECT_FALSE(checkZone(9, 20, p, 5, 5));
    EXPECT_FALSE(checkZone(10, 19, p, 5, 5));

    // Width 0 keeps one column; a negative width keeps none.
    EXPECT_TRUE(checkZone(10, 22, p, 0, 5));
    EXPECT_FALSE(checkZone(11, 22, p, 0, 5));
    EXPECT_FALSE(checkZone(10, 22, p, -1, 5));
    EXPECT_FALSE(checkZone(10, 22, p, 5, -1));

    // The zone's extent comes from width and height, not from w and h.
    SDL_Rect q = xyToRect(0, 0);
    q.w = 0;
    q.h = 500;
    EXPECT_TRUE(checkZone(100, 0, q, 100, 0));
    EXPECT_FALSE(checkZone(0, 1, q, 100, 0));

    // Positions are signed: a zone left of the window still answers.
    SDL_Rect n = xyToRect(-30, -40);
    EXPECT_TRUE(checkZone(-30, -40, n, 10, 10));
    EXPECT_TRUE(checkZone(-20, -30, n, 10, 10));
    EXPECT_FALSE(checkZone(-19, -30, n, 10, 10));
    // No width is large enough to overflow the far edge.
    EXPECT_TRUE(checkZone(5, 5, xyToRect(1, 1), 0x7fffffff, 0x7fffffff));
}

TEST_F(Toolkit, RectanglesKeepTheLow16Bits)
{
    SDL_Rect r = xyToRect(65536 + 5, -32769);
    EXPECT_EQ(r.x, 5);
    EXPECT_EQ(r.y, 32767);
    r = xyToRect(40000, -3);
    EXPECT_EQ(r.x, 40000 - 65536);
    EXPECT_EQ(r.y, -3);

    SDL_Rect w = write(ecran, small, white, 70000, 10, "x");
    EXPECT_EQ(w.x, 70000 - 65536);
}

TEST_F(Toolkit, CircleTruncatesTowardZero)
{
    struct { double angle; int x, y; } cases[] = {
        {0, 0, 300}, {30, 149, 259}, {90, 300, 0},
        {180, 0, -300}, {200, -102, -281}, {270, -300, 0},
    };
    for (const auto& c : cases) {
        SDL_Rect p = trajectoireCirculaire(300, c.angle);
        EXPECT_EQ(p.x, c.x) << "angle " << c.angle;
        EXPECT_EQ(p.y, c.y) << "angle " << c.angle;
    }
}

TEST_F(Toolkit, ColoursWrapModulo256)
{
    color(ecran, 256, 0, 511);
    EXPECT_EQ(pixel(ecran, 0, 0), rgb(ecran, 0, 0, 255));
    EXPECT_EQ(pixel(ecran, 799, 599), rgb(ecran, 0, 0, 255));
    color(ecran, -1, 300, 48);
    EXPECT_EQ(pixel(ecran, 400, 300), rgb(ecran, 255, 44, 48));

    SDL_Color c = rgbToColor(1, 2, 3);
    EXPECT_EQ(c.r, 1);
    EXPECT_EQ(c.g, 2);
    EXPECT_EQ(c.b, 3);
    EXPECT_EQ(c.unused, 0);

    // A colour key of black (given as 256) leaves the background showing.
    SDL_Surface* src = surface(10, 10);
    color(src, 0, 0, 0);
    delColor(src, 256, 512, 0);
    EXPECT_EQ(src->flags & SDL_SRCCOLORKEY, Uint32(SDL_SRCCOLORKEY));
    color(ecran, 9, 9, 9);
    SDL_Rect at = xyToRect(0, 0);
    advancedBlit(src, ecran, &at);
    EXPECT_EQ(pixel(ecran, 5, 5), rgb(ecran, 9, 9, 9));
    SDL_FreeSurface(src);
}

TEST_F(Toolkit, BlitWritesBackTheClippedRectangle)
{
    SDL_Surface* src = surface(100, 40);
    color(src, 200, 100, 50);
    struct { int x, y; Sint16 ex, ey; Uint16 ew, eh; } cases[] = {
        {-30, 10, 0, 10, 70, 40},   // left
        {780, 10, 780, 10, 20, 40}, // right
        {900, 10, 900, 10, 0, 0},   // wholly right: nothing drawn
        {-200, 10, 0, 10, 0, 0},    // wholly left: nothing drawn
        {50, -15, 50, 0, 100, 25},  // top
        {50, 590, 50, 590, 100, 10} // bottom
    };
    for (const auto& c : cases) {
        SDL_Rect r = xyToRect(c.x, c.y);
        advancedBlit(src, ecran, &r);
        EXPECT_EQ(r.x, c.ex) << c.x << "," << c.y;
        EXPECT_EQ(r.y, c.ey) << c.x << "," << c.y;
        EXPECT_EQ(r.w, c.ew) << c.x << "," << c.y;
        EXPECT_EQ(r.h, c.eh) << c.x << "," << c.y;
    }
    EXPECT_EQ(pixel(ecran, 0, 10), rgb(ecran, 200, 100, 50));
    EXPECT_EQ(pixel(ecran, 70, 30), 0u);

    // The whole window is the clip rectangle again afterwards.
    SDL_Rect small_clip = {10, 10, 5, 5};
    SDL_SetClipRect(ecran, &small_clip);
    SDL_Rect r = xyToRect(0, 0);
    advancedBlit(src, ecran, &r);
    EXPECT_EQ(ecran->clip_rect.w, 800);
    EXPECT_EQ(ecran->clip_rect.h, 600);
    color(ecran, 1, 2, 3);
    EXPECT_EQ(pixel(ecran, 799, 599), rgb(ecran, 1, 2, 3));
    SDL_FreeSurface(src);
}

TEST_F(Toolkit, WriteReturnsTheUnclippedText)
{
    int tw = 0, th = 0;
    TTF_SizeText(small, "Score : 42", &tw, &th);
    SDL_Rect r = write(ecran, small, white, 10, 10, "Score : %d", 42);
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 10);
    EXPECT_EQ(r.w, tw);
    EXPECT_EQ(r.h, th);
    EXPECT_EQ(th, TTF_FontHeight(small));

    // The same text drawn from a literal makes the same picture.
    SDL_Surface* other = surface(800, 600);
    write(other, small, white, 10, 10, "Score : 42");
    EXPECT_TRUE(samePixels(ecran, other));
    SDL_FreeSurface(other);

    // Past the right edge the full size still comes back.
    SDL_Rect off = write(ecran, small, white, 790, 10, "Score : %d", 42);
    EXPECT_EQ(off.w, tw);
    EXPECT_EQ(off.x, 790);
}

TEST_F(Toolkit, WriteDrawsNothingWhenNothingRenders)
{
    SDL_Rect r = write(ecran, small, white, 20, 30, "%s", "");
    EXPECT_EQ(r.x, 20);
    EXPECT_EQ(r.y, 30);
    EXPECT_EQ(r.w, 0);
    EXPECT_EQ(r.h, 0);
    r = write(ecran, nullptr, white, 20, 30, "Score");
    EXPECT_EQ(r.w, 0);
    SDL_Surface* blank = surface(800, 600);
    EXPECT_TRUE(samePixels(ecran, blank));
    SDL_FreeSurface(blank);

    // A text longer than the buffer is cut to its first 499 characters.
    std::string longText(600, 'a');
    int w499 = 0, h = 0;
    TTF_SizeText(small, std::string(499, 'a').c_str(), &w499, &h);
    r = write(ecran, small, white, 0, 0, "%s", longText.c_str());
    EXPECT_EQ(r.w, w499);
}

TEST_F(Toolkit, ButtonRecordsThePlateAsDrawn)
{
    const SDL_Color grey = {207, 207, 207, 0}, plate = {125, 124, 124, 0};
    int tw = 0, th = 0;
    TTF_SizeText(big, "Jouer", &tw, &th);
    const int ascent = TTF_FontAscent(big);

    button b = createButton(350, 200, grey, plate, big, ecran, "Jouer");
    EXPECT_EQ(b.x, 350);
    EXPECT_EQ(b.y, 200 + th / 5);
    EXPECT_EQ(b.w, tw + 2);
    EXPECT_EQ(b.h, ascent);
    EXPECT_EQ(b.couleurFond.r, 125);
    EXPECT_EQ(b.couleurTexte.g, 207);
    // The two extra columns at the right show the plate.
    EXPECT_EQ(pixel(ecran, 350 + tw + 1, b.y + ascent / 2), rgb(ecran, 125, 124, 124));
    EXPECT_EQ(pixel(ecran, 350 + tw + 2, b.y + ascent / 2), 0u);

    button right = createButton(800 - tw / 2, 200, grey, plate, big, ecran, "Jouer");
    EXPECT_EQ(right.x, 800 - tw / 2);
    EXPECT_EQ(right.w, tw - tw / 2);

    button left = createButton(-10, 200, grey, plate, big, ecran, "Jouer");
    EXPECT_EQ(left.x, 0);
    EXPECT_EQ(left.w, tw + 2 - 10);

    button gone = createButton(-1000, 200, grey, plate, big, ecran, "Jouer");
    EXPECT_EQ(gone.x, 0);
    EXPECT_EQ(gone.w, 0);

    // An empty label still gets its plate, two pixels wide.
    button empty = createButton(100, 100, grey, plate, big, ecran, "");
    EXPECT_EQ(empty.w, 2);
    EXPECT_EQ(empty.y, 100);
    EXPECT_EQ(pixel(ecran, 101, 100), rgb(ecran, 125, 124, 124));
}

// The plate sits th / 5 below the label, whatever the text height: try every
// point size, which covers the heights 4 (offset 0), 50 and 54 (10) and 56
// (11) among others; this font has no size that is 55 high.
TEST_F(Toolkit, PlateOffsetIsAFifthOfTheTextHeight)
{
    const SDL_Color c = {1, 1, 1, 0};
    bool seen[4] = {};
    const int wanted[4] = {4, 50, 54, 56};
    for (int size = 1; size <= 140; ++size) {
        TTF_Font* f = TTF_OpenFont("game_over.ttf", size);
        ASSERT_TRUE(f);
        const int th = TTF_FontHeight(f);
        button b = createButton(10, 100, c, c, f, ecran, "Hg");
        EXPECT_EQ(b.y, 100 + th / 5) << "size " << size;
        for (int i = 0; i < 4; ++i)
            seen[i] |= th == wanted[i];
        TTF_CloseFont(f);
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(seen[i]) << "no point size gives a text height of " << wanted[i];
}

TEST_F(Toolkit, FpsShowsThousandOverTheFrameTime)
{
    struct { int gap, shown; } cases[] = {
        {16, 62}, {10, 100}, {1000, 1}, {1500, 0}, {0, 1000}};
    SDL_Surface* expected = surface(800, 600);
    SDL_Surface* previous = surface(800, 600);
    for (const auto& c : cases) {
        color(ecran, 0, 0, 0);
        color(expected, 0, 0, 0);
        afficherFps(ecran, small, 5000 + c.gap, 5000);
        write(expected, small, white, 750, 10, "%d", c.shown);
        EXPECT_TRUE(samePixels(ecran, expected)) << "gap " << c.gap;
        EXPECT_FALSE(samePixels(ecran, previous)) << "gap " << c.gap;
        SDL_BlitSurface(ecran, nullptr, previous, nullptr);
    }
    SDL_FreeSurface(expected);
    SDL_FreeSurface(previous);
}

} // namespace
