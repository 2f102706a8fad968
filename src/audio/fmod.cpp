/* fmod.cpp: the audio layer's public calls (fmod.h, mixer.h): handles, sounds, systems. */

#include "fmod.h"
#include "mixer.h"

#include "decoder.h"
#include "layer.h"

#include <SDL.h>

#include <cstdio>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

/*
 * Handles. Sound and channel handles are numbers disguised as pointers and
 * never dereferenced: a sound handle is a key of the table of live sounds,
 * a channel handle is a slot index plus the generation of the play that
 * took the slot. A handle that outlived its object therefore finds
 * nothing, instead of memory that has been reused.
 */

using zaudio::Channel;
using zaudio::Sound;

static const int MAX_CHANNELS = 4096; /* fits the handle's index bits */
static const int INDEX_BITS = 12;

/* Live objects, touched by the game's thread only. */
static std::vector<FMOD_SYSTEM*> systems;
static std::map<uintptr_t, Sound*> sounds;
static uintptr_t next_sound_id = 1;
static uint64_t next_gen = 1;
static FMOD_SYSTEM* device_owner = NULL;
static bool offline = false;

static Sound* find_sound(FMOD_SOUND* handle)
{
    auto it = sounds.find(reinterpret_cast<uintptr_t>(handle));
    return it == sounds.end() ? NULL : it->second;
}

/* Call with the audio lock held: the callback frees channels that end. */
static Channel* find_channel(FMOD_CHANNEL* handle)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(handle);
    uint64_t gen = v >> INDEX_BITS;
    size_t index = v & ((uintptr_t(1) << INDEX_BITS) - 1);
    if (gen == 0)
        return NULL;
    for (FMOD_SYSTEM* sys : systems)
        if (index < sys->channels.size() && sys->channels[index].gen == gen)
            return &sys->channels[index];
    return NULL;
}

/* Frees a sound: first off every channel, under the lock, so that the
 * callback has let go of it before its memory goes. A stream goes to the
 * feeder, which frees it once any read of it in progress returns. */
static void sound_free(Sound* s)
{
    SDL_LockAudio();
    for (Channel& ch : s->system->channels)
        if (ch.sound == s)
            zaudio::channel_end(&ch);
    SDL_UnlockAudio();
    if (s->stream)
        zaudio::stream_release(s->system, s->stream);
    sounds.erase(s->id);
    delete s;
}

/* Says once per run that a file cannot be played: the game asks for the
 * same track again at every switch, and one line tells the player enough. */
static void report_unplayable(const char* name, const char* why)
{
    static std::set<std::string> reported;
    if (reported.insert(name).second)
        fprintf(stderr, "zimbalo: cannot play %s: %s\n", name, why);
}

extern "C" {

FMOD_RESULT FMOD_System_Create(FMOD_SYSTEM** system)
{
    if (!system)
        return FMOD_ERR_INVALID_PARAM;
    *system = new (std::nothrow) FMOD_SYSTEM();
    if (!*system)
        return FMOD_ERR_MEMORY;
    systems.push_back(*system);
    return FMOD_OK;
}

FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM* system, int maxchannels,
                             FMOD_INITFLAGS, void*)
{
    if (!system || maxchannels < 1 || maxchannels > MAX_CHANNELS)
        return FMOD_ERR_INVALID_PARAM;
    if (system->initialised)
        return FMOD_ERR_INITIALIZATION;
    if (!zaudio::feeder_new(system))
        return FMOD_ERR_MEMORY;
    system->channels.assign(size_t(maxchannels), Channel());
    system->initialised = true;
    if (offline)
        return FMOD_OK;

    const char* why = "another audio system has it";
    if (!device_owner && zaudio::device_open(system, &why)) {
        device_owner = system;
        return FMOD_OK;
    }
    fprintf(stderr, "zimbalo: cannot open the audio device: %s\n", why);
    return FMOD_ERR_OUTPUT_INIT;
}

FMOD_RESULT FMOD_System_Release(FMOD_SYSTEM* system)
{
    size_t i = 0;
    while (i < systems.size() && systems[i] != system)
        i++;
    if (!system || i == systems.size())
        return FMOD_ERR_INVALID_PARAM;
    systems.erase(systems.begin() + long(i));
    if (system->device) {
        zaudio::device_close(system);
        device_owner = NULL;
    }
    std::vector<Sound*> own;
    for (auto& kv : sounds)
        if (kv.second->system == system)
            own.push_back(kv.second);
    for (Sound* s : own)
        sound_free(s);
    zaudio::feeder_free(system);
    delete system;
    return FMOD_OK;
}

FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM* system, const char* name,
                                    FMOD_MODE mode, FMOD_CREATESOUNDEXINFO*,
                                    FMOD_SOUND** sound)
{
    if (sound)
        *sound = NULL;
    if (!system || !name || !sound)
        return FMOD_ERR_INVALID_PARAM;
    if (!system->initialised)
        return FMOD_ERR_INITIALIZATION;

    Sound* s = new (std::nothrow) Sound();
    if (!s) {
        report_unplayable(name, "out of memory");
        return FMOD_ERR_MEMORY;
    }
    s->system = system;
    s->loopcount = 0;
    s->stream = NULL;
    s->playing = -1;
    const char* why = "";
    /* A stream is decoded as it plays; anything else whole, now, and the
     * callback then only copies it. */
    FMOD_RESULT r = (mode & FMOD_CREATESTREAM)
                        ? zaudio::stream_open(system, name, &s->stream, &why)
                        : zaudio::decode_file(name, &s->pcm, &why);
    if (r != FMOD_OK) {
        report_unplayable(name, why);
        delete s;
        return r;
    }
    s->id = next_sound_id++;
    sounds[s->id] = s;
    *sound = reinterpret_cast<FMOD_SOUND*>(s->id);
    return FMOD_OK;
}

FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM* system,
                                  FMOD_CHANNELINDEX channelid,
                                  FMOD_SOUND* sound, FMOD_BOOL paused,
                                  FMOD_CHANNEL** channel)
{
    if (channel)
        *channel = NULL;
    if (!system || channelid != FMOD_CHANNEL_FREE)
        return FMOD_ERR_INVALID_PARAM;
    if (!system->initialised)
        return FMOD_ERR_INITIALIZATION;
    Sound* s = find_sound(sound);
    if (!s || s->system != system)
        return FMOD_ERR_INVALID_HANDLE;
    /* A stream's play gets a ring of its own, made here since the
     * callback allocates nothing. */
    zaudio::Feed* feed = NULL;
    if (s->stream && !(feed = zaudio::feed_new()))
        return FMOD_ERR_MEMORY;

    SDL_LockAudio();
    /* One decoder, one channel: a stream is taken off its old one. */
    if (s->playing >= 0)
        zaudio::channel_end(&system->channels[size_t(s->playing)]);
    size_t i = 0;
    while (i < system->channels.size() && system->channels[i].sound)
        i++;
    if (i == system->channels.size()) {
        SDL_UnlockAudio();
        zaudio::feed_delete(feed);
        return FMOD_ERR_CHANNEL_ALLOC;
    }
    Channel& ch = system->channels[i];
    ch.gen = next_gen++;
    ch.sound = s;
    ch.feed = feed;
    ch.volume = 1.0f;
    ch.paused = paused != 0;
    ch.pos = 0;
    ch.passes = 0;
    ch.tail = -1;
    if (s->stream)
        s->playing = int(i);
    uintptr_t handle = uintptr_t(ch.gen << INDEX_BITS) | i;
    SDL_UnlockAudio();
    /* The feeder starts the stream over from its first sample into the
     * new ring; until it has, the channel plays silence. */
    if (feed)
        zaudio::stream_play(system, s->stream, feed);
    if (channel)
        *channel = reinterpret_cast<FMOD_CHANNEL*>(handle);
    return FMOD_OK;
}

FMOD_RESULT FMOD_Sound_SetLoopCount(FMOD_SOUND* sound, int loopcount)
{
    Sound* s = find_sound(sound);
    if (!s)
        return FMOD_ERR_INVALID_HANDLE;
    if (loopcount < -1)
        return FMOD_ERR_INVALID_PARAM;
    s->loopcount.store(loopcount, std::memory_order_relaxed);
    return FMOD_OK;
}

FMOD_RESULT FMOD_Sound_Release(FMOD_SOUND* sound)
{
    Sound* s = find_sound(sound);
    if (!s)
        return sound ? FMOD_ERR_INVALID_HANDLE : FMOD_OK;
    sound_free(s);
    return FMOD_OK;
}

FMOD_RESULT FMOD_Channel_Stop(FMOD_CHANNEL* channel)
{
    SDL_LockAudio();
    Channel* ch = find_channel(channel);
    if (ch)
        zaudio::channel_end(ch);
    SDL_UnlockAudio();
    return ch ? FMOD_OK : FMOD_ERR_INVALID_HANDLE;
}

FMOD_RESULT FMOD_Channel_SetVolume(FMOD_CHANNEL* channel, float volume)
{
    if (!(volume > 0.0f)) /* also catches NaN */
        volume = 0.0f;
    if (volume > 1.0f)
        volume = 1.0f;
    SDL_LockAudio();
    Channel* ch = find_channel(channel);
    if (ch)
        ch->volume = volume;
    SDL_UnlockAudio();
    return ch ? FMOD_OK : FMOD_ERR_INVALID_HANDLE;
}

/* ---- The inside view (mixer.h) ---- */

void zaudio_offline(int off)
{
    offline = off != 0;
}

int zaudio_mix(FMOD_SYSTEM* system, short* out, int frames)
{
    if (!system && !systems.empty())
        system = systems.back();
    if (!system || !system->initialised || !out || frames <= 0)
        return 0;
    zaudio::mixer_pull(system, out, frames);
    return frames;
}

int zaudio_live_sounds(void)
{
    return int(sounds.size());
}

long zaudio_longest_callback(int reset)
{
    return zaudio::longest_callback(reset != 0);
}

} /* extern "C" */
