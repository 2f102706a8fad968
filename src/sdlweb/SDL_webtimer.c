/* SDL_webtimer.c: SDL's clock and sleep in the browser: ticks from the
 * page's monotonic clock, and a delay that hands control back to the
 * browser (the program is built with Asyncify), so that a loop that calls
 * SDL_Delay every frame lets the page draw, play and take input. */
#include "SDL_config.h"

#include <emscripten.h>

#include "SDL_timer.h"
#include "SDL_timer_c.h"
#include "SDL_systimer.h"

/* The page's clock, in milliseconds, when SDL started. */
static double start_ms;

void SDL_StartTicks(void)
{
	start_ms = emscripten_get_now();
}

Uint32 SDL_GetTicks(void)
{
	return (Uint32)(emscripten_get_now() - start_ms);
}

/* Suspends the program (its whole stack, through Asyncify) and resumes it
 * from a browser timeout: the page's events, drawing and audio run
 * meanwhile. */
void SDL_Delay(Uint32 ms)
{
	emscripten_sleep(ms);
}

/* No timer thread and no alarm signal: SDL_SetTimer and SDL_AddTimer
 * refuse, which the game never calls. */
int SDL_SYS_TimerInit(void)
{
	return 0;
}

void SDL_SYS_TimerQuit(void)
{
}

int SDL_SYS_StartTimer(void)
{
	SDL_SetError("Timers are not available in the browser");
	return -1;
}

void SDL_SYS_StopTimer(void)
{
}
