/* layer.h: sounds, channels, systems and the mixer's calls, shared inside the audio layer. */
#ifndef ZIMBALO_AUDIO_LAYER_H
#define ZIMBALO_AUDIO_LAYER_H

#include "fmod.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

/*
 * Threads. The game's thread makes every call of fmod.h. SDL's audio thread
 * runs the device callback, which mixes what is ready and nothing else: it
 * reads no file, decodes nothing, allocates nothing and frees nothing. A
 * system on the device also has a feeder thread, which decodes each playing
 * stream about half a second ahead into a ring of frames that the channel
 * playing it reads (mixer.cpp).
 *
 * Locks. SDL's audio lock, which SDL holds around each callback, guards the
 * channels; the game's thread takes it (SDL_LockAudio) only to flip a few
 * fields, never across file reading or decoding. Each system's feeder has a
 * mutex of its own for the game's requests (play this, this is released),
 * which nobody holds while reading or decoding and which the callback never
 * takes. A ring passes frames from the feeder to the callback through
 * atomic counters alone.
 */

namespace zaudio {

constexpr int MIX_BLOCK = 1024; /* frames mixed per step */

struct Stream; /* a streamed sound's decoder, as the feeder sees it */
struct Feed;   /* the frames decoded ahead for one play of a stream */
struct Feeder; /* a system's feeder: its streams, feeds and thread */

struct Sound {
    FMOD_SYSTEM* system;
    uintptr_t id; /* the handle given out */
    std::atomic<int> loopcount;
    /* A sound decoded whole: 44.1 kHz stereo. */
    std::vector<short> pcm;
    /* A stream: null for a sound decoded whole. Plays on one channel at a
     * time: playing, or -1 (audio lock). */
    Stream* stream;
    int playing;
};

struct Channel {
    uint64_t gen; /* the play that holds the slot; 0 when free */
    Sound* sound;
    Feed* feed;   /* the stream's frames for this play; null if whole */
    float volume;
    bool paused;
    size_t pos;   /* next frame of pcm, for a sound decoded whole */
    int passes;   /* passes played to their end */
    int tail;     /* a stream's last frames being played, or -1 */
};

/* ---- mixer.cpp ---- */

/* Gives the system its feeder, without a thread: zaudio_mix then decodes
 * what it mixes. False when out of memory. */
bool feeder_new(FMOD_SYSTEM* sys);

/* Opens SDL's audio device for sys, starts its feeder's thread and the
 * device. On failure returns false with the reason in *why. */
bool device_open(FMOD_SYSTEM* sys, const char** why);

/* Closes the device, if sys has it. Waits for the callback to return. */
void device_close(FMOD_SYSTEM* sys);

/* Stops the feeder's thread (once its read in progress returns) and frees
 * every stream and feed of sys. No channel may refer to them any more. */
void feeder_free(FMOD_SYSTEM* sys);

/* Opens the stream path for sys. On failure returns the error with the
 * reason in *why. */
FMOD_RESULT stream_open(FMOD_SYSTEM* sys, const char* path, Stream** stream,
                        const char** why);

/* Hands the stream back to the feeder, which frees it once its read in
 * progress, if any, returns. No channel may play it any more. */
void stream_release(FMOD_SYSTEM* sys, Stream* stream);

/* A new, empty feed, for a channel about to play a stream (null when out
 * of memory); feed_delete frees one that was never handed to stream_play. */
Feed* feed_new();
void feed_delete(Feed* feed);

/* Asks the feeder to fill feed from the stream's first sample on. */
void stream_play(FMOD_SYSTEM* sys, Stream* stream, Feed* feed);

/* Frees the channel's slot. Audio lock held, or from the callback. */
void channel_end(Channel* ch);

/* Mixes the next frames frames of sys into out, as zaudio_mix does. */
void mixer_pull(FMOD_SYSTEM* sys, short* out, int frames);

/* The longest run of the device callback so far, in microseconds. */
long longest_callback(bool reset);

} /* namespace zaudio */

/* FMOD_SYSTEM is a real pointer that the caller owns. */
struct FMOD_SYSTEM {
    bool initialised;
    bool device; /* holds SDL's audio device */
    std::vector<zaudio::Channel> channels; /* sized once by FMOD_System_Init */
    zaudio::Feeder* feeder;
    float acc[zaudio::MIX_BLOCK * 2];
    short tmp[zaudio::MIX_BLOCK * 2];
};

#endif
