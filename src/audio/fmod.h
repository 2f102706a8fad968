/* fmod.h: the game's audio layer, a small streaming music player on SDL audio.
 *
 * The game talks to this layer only through the calls below, whose names and
 * constants follow the FMOD Ex C interface, so that a platform that has that
 * library can link against it instead without touching the music code.
 * Every call is made on the game's thread. Behind them, SDL's audio
 * callback mixes, and a decoding thread of the layer decodes the streams a
 * little ahead of it, so that neither a slow disk nor decoding can make the
 * callback late. Calls that fail return an error and change nothing; none
 * of them stops the game, so a caller may ignore every result.
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
    FMOD_ERR_CHANNEL_ALLOC,  /* every channel is busy */
    FMOD_ERR_INVALID_HANDLE  /* a null, stale or released sound or channel */
} FMOD_RESULT;

#define FMOD_INIT_NORMAL   0x00000000u
#define FMOD_2D            0x00000008u
#define FMOD_SOFTWARE      0x00000040u
#define FMOD_CREATESTREAM  0x00000080u
#define FMOD_CHANNEL_FREE  (-1)

FMOD_RESULT FMOD_System_Create(FMOD_SYSTEM** system);
/* Makes a new, silent audio system and stores it in *system (null on
 * failure). The caller owns it until FMOD_System_Release. Nothing is opened
 * yet. */

FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM* system, int maxchannels,
                             FMOD_INITFLAGS flags, void* extradriverdata);
/* Starts a mixer of maxchannels channels (1 to 4096) and opens SDL's audio
 * device for it: 44.1 kHz, stereo, signed 16-bit, playing at once, with the
 * system's decoding thread. SDL's audio device is single, so only one system
 * at a time can have it. flags and extradriverdata are accepted and ignored.
 * When the device cannot be opened, one line goes to stderr, the result is
 * FMOD_ERR_OUTPUT_INIT, and every later call still works, in silence. Called
 * once per system. */

FMOD_RESULT FMOD_System_Release(FMOD_SYSTEM* system);
/* Stops the mixer, closes the device if this system has it, and frees the
 * system together with every sound still made from it. It waits for the
 * decoding thread to end, and so for a read of a file that is in progress.
 * Handles to those sounds and channels go stale: calls on them are then
 * ignored. */

FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM* system, const char* name,
                                    FMOD_MODE mode,
                                    FMOD_CREATESOUNDEXINFO* exinfo,
                                    FMOD_SOUND** sound);
/* Opens the MP3 file name and decodes its beginning. With FMOD_CREATESTREAM
 * the rest is decoded while it plays, about half a second ahead of what is
 * heard, and a stream plays on one channel at a time; when the disk cannot
 * keep up, the channel plays silence until the sound arrives and then
 * carries on from where it was. Otherwise the file is decoded whole now. Any
 * sample rate and mono or stereo are converted to the mixer's 44.1 kHz
 * stereo. The other mode bits and exinfo are ignored. The caller owns the
 * sound until FMOD_Sound_Release; the handle is an identifier, not a
 * pointer, so using it after the release is harmless. On failure *sound is
 * null, the result says why, and one line naming the file goes to stderr. A
 * new sound plays once (loop count 0). */

FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM* system,
                                  FMOD_CHANNELINDEX channelid,
                                  FMOD_SOUND* sound, FMOD_BOOL paused,
                                  FMOD_CHANNEL** channel);
/* Starts sound from its beginning on a free channel (channelid must be
 * FMOD_CHANNEL_FREE) at full volume and stores the channel's handle in
 * *channel (null on failure). A stream already playing is taken off its old
 * channel first; a stream's channel is silent until the decoding thread has
 * its first frames, almost at once unless the disk is slow. A paused channel
 * holds its place and outputs nothing. The handle stays safe to use after
 * the sound stops, ends or is released: it then refers to nothing and calls
 * on it do nothing. */

FMOD_RESULT FMOD_Sound_SetLoopCount(FMOD_SOUND* sound, int loopcount);
/* -1 repeats for ever, 0 plays once, n repeats n more times. Read at the end
 * of each pass, as that end is heard (a stream is decoded ahead on the
 * chance that the count asks for another pass), so it may be set while the
 * sound plays, up to the last sample of a pass; a pass that ends flows into
 * the next one without a gap. */

FMOD_RESULT FMOD_Sound_Release(FMOD_SOUND* sound);
/* Stops every channel playing sound and frees it with all its memory. A
 * stream's decoder is freed by the decoding thread once a read of the file
 * in progress returns: the call itself never waits for the disk. A null or
 * already released sound is ignored. */

FMOD_RESULT FMOD_Channel_Stop(FMOD_CHANNEL* channel);
/* Stops the channel at once, without waiting for a read of the file in
 * progress. A null or stale handle is ignored. */

FMOD_RESULT FMOD_Channel_SetVolume(FMOD_CHANNEL* channel, float volume);
/* Sets the channel's volume, clamped to 0..1, from the next mixed sample
 * on. A null or stale handle is ignored. */

#ifdef __cplusplus
}
#endif

#endif
