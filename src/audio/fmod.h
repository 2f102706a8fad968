/* fmod.h: the game's audio layer, a small streaming music player on SDL audio.
 *
 * The game talks to this layer only through the calls below, whose names and
 * constants follow the FMOD Ex C interface, so that a platform that has that
 * library can link against it instead without touching the music code.
 * Everything here runs on the game's thread except the mixer, which SDL's
 * audio callback drives.
 */
#ifndef ZIMBALO_AUDIO_FMOD_H
#define ZIMBALO_AUDIO_FMOD_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FMOD_SYSTEM FMOD_SYSTEM;
typedef struct FMOD_SOUND FMOD_SOUND;
typedef struct FMOD_CHANNEL FMOD_CHANNEL;
typedef struct FMOD_CREATESOUNDEXINFO FMOD_CREATESOUNDEXINFO;

typedef int FMOD_BOOL;
typedef unsigned int FMOD_MODE;
typedef unsigned int FMOD_INITFLAGS;
typedef int FMOD_CHANNELINDEX;

typedef enum {
    FMOD_OK = 0,
    FMOD_ERR_INVALID_PARAM,  /* a null system or sound, a bad count */
    FMOD_ERR_INITIALIZATION, /* the system was not initialised */
    FMOD_ERR_OUTPUT_INIT,    /* the audio device could not be opened */
    FMOD_ERR_FILE_NOTFOUND,  /* the file could not be opened */
    FMOD_ERR_FORMAT,         /* the file holds no playable audio */
    FMOD_ERR_MEMORY,         /* out of memory */
    FMOD_ERR_CHANNEL_ALLOC   /* every channel is busy */
} FMOD_RESULT;

#define FMOD_INIT_NORMAL   0x00000000u
#define FMOD_2D            0x00000008u
#define FMOD_SOFTWARE      0x00000040u
#define FMOD_CREATESTREAM  0x00000080u
#define FMOD_CHANNEL_FREE  (-1)

FMOD_RESULT FMOD_System_Create(FMOD_SYSTEM** system);
/* Makes a new, silent audio system and stores it in *system. The caller owns
 * it until FMOD_System_Release. Nothing is opened yet. */

FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM* system, int maxchannels,
                             FMOD_INITFLAGS flags, void* extradriverdata);
/* Opens SDL's audio device (44.1 kHz, stereo, 16-bit; SDL must be started)
 * and starts a mixer of maxchannels channels. flags and extradriverdata are
 * accepted and ignored. When no device can be opened the result says so and
 * every later call still works, in silence. */

FMOD_RESULT FMOD_System_Release(FMOD_SYSTEM* system);
/* Stops the mixer, closes the device and frees the system together with
 * every sound still made from it. */

FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM* system, const char* name,
                                    FMOD_MODE mode,
                                    FMOD_CREATESOUNDEXINFO* exinfo,
                                    FMOD_SOUND** sound);
/* Opens the MP3 file name. With FMOD_CREATESTREAM it is decoded a little at
 * a time while it plays; otherwise it is decoded whole now. The caller owns
 * the sound until FMOD_Sound_Release. On failure *sound is null, the result
 * says why, and one line naming the file goes to stderr. */

FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM* system,
                                  FMOD_CHANNELINDEX channelid,
                                  FMOD_SOUND* sound, FMOD_BOOL paused,
                                  FMOD_CHANNEL** channel);
/* Starts sound from its beginning on a free channel (channelid must be
 * FMOD_CHANNEL_FREE) at full volume and stores the channel's handle. The
 * handle stays safe to use after the sound stops or ends: it then refers to
 * nothing and calls on it do nothing. */

FMOD_RESULT FMOD_Sound_SetLoopCount(FMOD_SOUND* sound, int loopcount);
/* -1 repeats for ever, 0 plays once, n repeats n more times. Read at the end
 * of each pass, so it may be set while the sound plays. */

FMOD_RESULT FMOD_Sound_Release(FMOD_SOUND* sound);
/* Stops every channel playing sound and frees it. A null sound is ignored. */

FMOD_RESULT FMOD_Channel_Stop(FMOD_CHANNEL* channel);
/* Stops the channel. A null or stale handle is ignored. */

FMOD_RESULT FMOD_Channel_SetVolume(FMOD_CHANNEL* channel, float volume);
/* Sets the channel's volume, clamped to 0..1. A null or stale handle is
 * ignored. */

#ifdef __cplusplus
}
#endif

#endif
