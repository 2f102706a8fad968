/* mixer.h: the audio layer's inside view, for its tests and benchmarks.
 *
 * The game uses fmod.h only. These calls let a test run the mixer without a
 * sound card and without waiting on a clock: it keeps systems off SDL's
 * audio device and pulls their mixed output itself, sample by sample. All
 * of them are made on the game's thread.
 */
#ifndef ZIMBALO_AUDIO_MIXER_H
#define ZIMBALO_AUDIO_MIXER_H

#include "fmod.h"

#ifdef __cplusplus
extern "C" {
#endif

void zaudio_offline(int offline);
/* While offline is non-zero, FMOD_System_Init leaves SDL's audio device
 * closed: the systems it starts then advance only when pulled with
 * zaudio_mix, so nothing else consumes their output. Systems already
 * started keep what they have. Off by default. */

int zaudio_mix(FMOD_SYSTEM* system, short* out, int frames);
/* Mixes the next frames frames of system into out, which the caller owns
 * and which holds 2 * frames samples (left, right, left, ...), exactly as
 * the device would get them. A null system means the newest one still
 * alive, which lets a test reach the system that the game's music code
 * keeps to itself. Returns frames, or 0 (and writes nothing) when there is
 * no such system or it was never initialised. On a system off the device
 * the call itself decodes the streams, just as far as the frames it mixes
 * need, so the output is the same at every run; on the device's system it
 * takes what the decoding thread has ready, like the device. */

int zaudio_live_sounds(void);
/* The number of sounds made and not yet released, over all systems. */

long zaudio_longest_callback(int reset);
/* The longest run of SDL's audio callback so far, in microseconds of a
 * monotonic clock, measured inside the callback. A non-zero reset starts
 * the count over after returning it. */

#ifdef __cplusplus
}
#endif

#endif
