/* SDL_ttf.h: the part of SDL_ttf 2.0's interface that the game calls, for
 * builds without the library; ../ttf.cpp draws it over FreeType. */
#ifndef ZIMBALO_STANDIN_SDL_TTF_H
#define ZIMBALO_STANDIN_SDL_TTF_H

#include <SDL/SDL.h>

#ifdef __cplusplus
extern "C" {
#endif

/* An open font at one point size; only ttf.cpp sees inside. */
typedef struct _TTF_Font TTF_Font;

/* Starts FreeType. Returns 0, or -1 with the reason in TTF_GetError().
 * Each success counts: fonts open only after one. */
extern int TTF_Init(void);

/* Opens a TrueType file at ptsize points (72 dpi, so a point is a pixel),
 * from 1 to 16383. The caller owns the font and closes it with
 * TTF_CloseFont; NULL with the reason in TTF_GetError() on failure. The
 * file is read whole at once. */
extern TTF_Font* TTF_OpenFont(const char* file, int ptsize);

/* Frees a font from TTF_OpenFont; NULL is ignored. */
extern void TTF_CloseFont(TTF_Font* font);

/* Pixels from the top of a line to its baseline. */
extern int TTF_FontAscent(const TTF_Font* font);

/* Draws a Latin-1 text in colour fg on a new 32-bit ARGB surface as wide as
 * the text and as tall as the font's line: every pixel has fg's colour and
 * the glyphs' coverage as alpha, and SDL_SRCALPHA is on. The caller owns
 * the surface and frees it with SDL_FreeSurface. NULL, with the reason in
 * TTF_GetError(), for an empty text, one wider than 16383 pixels, a glyph
 * the font cannot draw, or a failure. */
extern SDL_Surface* TTF_RenderText_Blended(TTF_Font* font, const char* text,
                                           SDL_Color fg);

/* SDL_ttf reports its errors through SDL's. */
#define TTF_SetError SDL_SetError
#define TTF_GetError SDL_GetError

#ifdef __cplusplus
}
#endif

#endif
