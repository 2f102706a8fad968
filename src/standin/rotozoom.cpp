/* rotozoom.cpp: SDL_gfx's smoothed rotation of a 32-bit surface, drawing the
 * same pixels as SDL_gfx 2.0.25 does for the game's turning squares. */
#include <SDL/SDL_rotozoom.h>

#include <algorithm>
#include <cmath>
#include <cstring>

/* Angles closer to 0 than this are not turned, only copied. */
static const double NO_TURN = 0.001;

/* M_PI's value, which a strict C++ library need not define. */
static const double PI = 3.14159265358979323846;

/* Whether s's rows hold its 32-bit pixels: an SDL whose 16-bit pitch
 * wrapped, or a surface made by hand, may not. */
static bool rowsHold(const SDL_Surface* s)
{
    return s->pixels && s->w > 0 && s->h > 0 && s->pitch >= 4 * s->w;
}

/* A new surface as SDL_gfx makes it: 32 bits with src's masks, two spare
 * rows below the h that it reports (its clip rectangle still covers them). */
static SDL_Surface* createLike(const SDL_Surface* src, int w, int h)
{
    const SDL_PixelFormat* f = src->format;
    SDL_Surface* dst = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h + 2, 32, f->Rmask,
                                            f->Gmask, f->Bmask, f->Amask);
    if (dst && !rowsHold(dst)) {
        SDL_FreeSurface(dst);
        SDL_SetError("rotozoomSurface: the turned surface is too large");
        return NULL;
    }
    if (dst)
        dst->h = h;
    return dst;
}

/* One byte of each pixel, interpolated as SDL_gfx does: along x on both
 * rows in 16.16 fixed point, cut to a byte, then along y. */
static Uint8 blend(const Uint8* c00, const Uint8* c01, const Uint8* c10,
                   const Uint8* c11, int i, int ex, int ey)
{
    const int t1 = ((((c01[i] - c00[i]) * ex) >> 16) + c00[i]) & 0xff;
    const int t2 = ((((c11[i] - c10[i]) * ex) >> 16) + c10[i]) & 0xff;
    return Uint8((((t2 - t1) * ey) >> 16) + t1);
}

/* Samples src for every pixel of dst, walking it backwards through the
 * turn in 16.16 fixed point from dst's centre (cx, cy). A pixel is drawn
 * only where all four neighbours lie in src, so src's last row and column
 * are never a sample's top-left corner. SDL_gfx sums in an int; 64 bits
 * give the same pixels without overflow for the widest surfaces. */
static void turn(const SDL_Surface* src, SDL_Surface* dst, long long cx, long long cy,
                 int isin, int icos)
{
    const long long xd = (src->w - dst->w) * 32768LL; /* half the difference, 16.16 */
    const long long yd = (src->h - dst->h) * 32768LL;
    const long long ax = cx * 65536 - icos * cx;
    const long long ay = cy * 65536 - isin * cx;
    const Uint8* const in = static_cast<const Uint8*>(src->pixels);
    for (int y = 0; y < dst->h; y++) {
        Uint8* out = static_cast<Uint8*>(dst->pixels) + y * dst->pitch;
        long long sdx = ax + isin * (cy - y) + xd;
        long long sdy = ay - icos * (cy - y) + yd;
        for (int x = 0; x < dst->w; x++, out += 4, sdx += icos, sdy += isin) {
            const long long dx = sdx >> 16, dy = sdy >> 16;
            if (dx < 0 || dy < 0 || dx >= src->w - 1 || dy >= src->h - 1)
                continue;
            const Uint8* c00 = in + dy * src->pitch + dx * 4;
            const Uint8* c10 = c00 + src->pitch;
            for (int i = 0; i < 4; i++)
                out[i] = blend(c00, c00 + 4, c10, c10 + 4, i, sdx & 0xffff, sdy & 0xffff);
        }
    }
}

SDL_Surface* rotozoomSurface(SDL_Surface* src, double angle, double zoom, int smooth)
{
    /* Stricter than SDL_gfx: an empty surface is refused, and so is an
     * infinite angle, whose sine is not a number: the turn's size would be
     * that NaN cast to int, which is undefined. */
    if (!src || !src->format || src->format->BitsPerPixel != 32 || !rowsHold(src) ||
        zoom != 1.0 || smooth != SMOOTHING_ON || !std::isfinite(angle)) {
        SDL_SetError("rotozoomSurface: only non-empty 32-bit surfaces, unzoomed, smoothed "
                     "and by a finite angle");
        return NULL;
    }
    SDL_Surface* dst;
    if (std::fabs(angle) > NO_TURN) {
        /* The smallest even size that holds the turned corners of a box of
         * src's size rounded down to even; at least 2 by 2. The rounding up
         * sees sin and cos's last bits: turned by 90 degrees a 50 by 50
         * square stays 50 by 50, by 180 or 270 it grows to 52 by 52. */
        const double radians = angle * (PI / 180.0);
        const double s = std::sin(radians), c = std::cos(radians);
        const double hx = src->w / 2, hy = src->h / 2;
        const int halfw = std::max(int(std::ceil(std::max(std::fabs(c * hx + s * hy),
                                                          std::fabs(c * hx - s * hy)))), 1);
        const int halfh = std::max(int(std::ceil(std::max(std::fabs(s * hx + c * hy),
                                                          std::fabs(s * hx - c * hy)))), 1);
        dst = createLike(src, 2 * halfw, 2 * halfh);
        if (!dst)
            return NULL;
        SDL_LockSurface(src);
        turn(src, dst, halfw, halfh, int(s * 65536.0), int(c * 65536.0));
        SDL_UnlockSurface(src);
    } else {
        /* Unturned and unzoomed, the smoothed zoom samples each pixel at
         * its own place: a copy. */
        dst = createLike(src, src->w, src->h);
        if (!dst)
            return NULL;
        SDL_LockSurface(src);
        for (int y = 0; y < src->h; y++)
            std::memcpy(static_cast<Uint8*>(dst->pixels) + y * dst->pitch,
                        static_cast<const Uint8*>(src->pixels) + y * src->pitch,
                        size_t(src->w) * 4);
        SDL_UnlockSurface(src);
    }
    SDL_SetAlpha(dst, SDL_SRCALPHA, 255);
    return dst;
}
