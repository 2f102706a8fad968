/* SDL_rotozoom.h: the part of SDL_gfx 2.0's rotozoom interface that the
 * game calls, for builds without the library; ../rotozoom.cpp draws it. */
#ifndef ZIMBALO_STANDIN_SDL_ROTOZOOM_H
#define ZIMBALO_STANDIN_SDL_ROTOZOOM_H

#include <SDL/SDL.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SMOOTHING_OFF 0 /* nearest pixel (not drawn by this stand-in) */
#define SMOOTHING_ON 1  /* bilinear interpolation */

/* Turns a 32-bit surface by angle degrees counter-clockwise, sampling it
 * bilinearly, onto a new 32-bit surface with src's masks that holds all of
 * it, black where nothing of src lands, with SDL_SRCALPHA on at alpha 255.
 * src stays the caller's; the caller owns the result and frees it with
 * SDL_FreeSurface. Only a non-empty src, a finite angle and zoom 1.0 with
 * SMOOTHING_ON are drawn: anything else, or a failure, gives NULL with the
 * reason in SDL_GetError(). */
extern SDL_Surface* rotozoomSurface(SDL_Surface* src, double angle, double zoom,
                                   int smooth);

#ifdef __cplusplus
}
#endif

#endif
