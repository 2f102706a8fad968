/* fmod.cpp: the audio layer: MP3 decoding with libmpg123, a mixer, SDL audio. */

#include "fmod.h"
#include "mixer.h"

#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

/*
 * Threads. The game's thread makes every call of fmod.h; SDL's audio thread
 * runs device_callback, which mixes. They share the channels and the
 * streams' decoders, and SDL's audio lock guards both: SDL holds it around
 * each callback, and the game's thread takes it (SDL_LockAudio) only to flip
 * a few fields, never across file reading or decoding. The callback
 * allocates nothing and frees nothing: every buffer it writes was made
 * before, and a sound is freed only once no channel refers to it.
 *
 * Handles. FMOD_SYSTEM is a real pointer that the caller owns. Sound and
 * channel handles are numbers disguised as pointers and never dereferenced:
 * a sound handle is a key of the table of live sounds, a channel handle is
 * a slot index plus the generation of the play that took the slot. A
 * handle that outlived its object therefore finds nothing, instead of
 * memory that has been reused.
 *
 * Streams. A stream keeps its file open and decodes into a fixed buffer from
 * inside the callback, as the mixer needs the samples; at the end of a pass
 * the callback seeks back to the first sample and goes on decoding, so the
 * next pass follows the last sample of the previous one with no gap. The
 * decoder runs in gapless mode, which drops the encoder's delay and padding
 * and so gives the exact length of the original recording.
 */

/* On a machine without a sound card, ALSA writes its own complaints to
 * stderr when SDL tries it, at start-up and when the device is opened. The
 * layer says in one line of its own that there is no device, so ALSA is
 * told to keep quiet before SDL starts. The library stays loaded, and with
 * it the silent handler, for SDL to find when it loads ALSA itself. */
typedef void (*alsa_error_handler)(const char*, int, const char*, int, const char*, ...);
static void alsa_quiet(const char*, int, const char*, int, const char*, ...) {}
static const bool alsa_silenced = [] {
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY);
    if (!alsa)
        return false;
    typedef int (*set_handler)(alsa_error_handler);
    set_handler set = reinterpret_cast<set_handler>(dlsym(alsa, "snd_lib_error_set_handler"));
    return set && set(alsa_quiet) == 0;
}();

static const long MIX_RATE = 44100;
static const int MIX_BLOCK = 1024;          /* frames mixed per step */
static const int DECODE_FRAMES = 4 * 1152;  /* four MPEG frames */
static const int MAX_CHANNELS = 4096;       /* fits the handle's index bits */
static const int INDEX_BITS = 12;
static const uint64_t ONE = uint64_t(1) << 32; /* 1.0 in 32.32 fixed point */

/* ---- Decoding ---- */

/* The layer's own types stay out of the program's namespace, where a
 * "Sound" or "Channel" of another file would silently clash with them. */
namespace {

/* An open MP3 file and the frames last decoded from it, in the file's own
 * sample rate and channel count. */
struct Decoder {
    mpg123_handle* mh;
    int fd;
    long rate;
    int channels;
    bool ended; /* the pass is over: no more frames until a rewind */
    int len;    /* frames in buf */
    int pos;    /* next frame of buf to hand out */
    short buf[DECODE_FRAMES * 2];
};

/* Turns a stream of frames at any rate, mono or stereo, into 44.1 kHz
 * stereo by linear interpolation. The output frame sits at pos (32.32)
 * between the input frames prev and cur; the state survives running out of
 * input, so that input from the next pass carries on seamlessly. At
 * 44.1 kHz the step is exactly one and the frames pass through unchanged. */
struct Converter {
    uint64_t step; /* input frames per output frame */
    uint64_t pos;
    int have;      /* how many of prev and cur are loaded */
    bool draining; /* the input is over: cur holds the last frame again */
    float prev[2];
    float cur[2];
};

} /* namespace */

static bool mpg123_ready = false;

/* Decodes the next piece of the file into d->buf. Returns false when the
 * pass has ended (end of file, or data that cannot be decoded). Called from
 * the callback for a playing stream, so it must not allocate: mpg123_read
 * decodes into the buffer we give it. */
static bool decoder_fill(Decoder* d)
{
    d->pos = 0;
    d->len = 0;
    /* A format change hands out no data; a few in a row are possible at the
     * start of a file, but a bounded count keeps a broken file from
     * spinning the callback. */
    for (int tries = 0; tries < 8 && !d->ended; tries++) {
        size_t got = 0;
        int r = mpg123_read(d->mh, reinterpret_cast<unsigned char*>(d->buf),
                            sizeof d->buf, &got);
        if (r == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(d->mh, &rate, &channels, &encoding);
            if (rate <= 0 || channels < 1 || channels > 2)
                d->ended = true;
            d->rate = rate;
            d->channels = channels;
        } else if (r != MPG123_OK) {
            d->ended = true; /* MPG123_DONE, or an error: the pass ends */
        }
        if (got > 0 && d->channels > 0) {
            d->len = int(got / (2 * size_t(d->channels)));
            if (d->len > 0)
                return true;
        }
    }
    d->ended = true;
    return false;
}

/* Hands out the next frame as a stereo pair. */
static inline bool decoder_next(Decoder* d, float fr[2])
{
    if (d->pos == d->len && (d->ended || !decoder_fill(d)))
        return false;
    const short* p = d->buf + d->pos * d->channels;
    d->pos++;
    fr[0] = p[0];
    fr[1] = d->channels == 2 ? p[1] : p[0];
    return true;
}

/* Goes back to the first sample and decodes the first piece. False if the
 * file gives nothing any more, which ends the sound instead of looping on
 * emptiness. */
static bool decoder_rewind(Decoder* d)
{
    d->ended = false;
    d->pos = d->len = 0;
    if (mpg123_seek(d->mh, 0, SEEK_SET) < 0) {
        d->ended = true;
        return false;
    }
    return decoder_fill(d);
}

static void decoder_close(Decoder* d)
{
    if (d->mh) {
        mpg123_close(d->mh);
        mpg123_delete(d->mh);
        d->mh = NULL;
    }
    if (d->fd >= 0) {
        close(d->fd);
        d->fd = -1;
    }
}

/* Opens path and decodes its first piece, so that a file holding no audio
 * is refused now rather than heard as silence later. On failure returns the
 * error with the reason in *why, and leaves d closed. */
static FMOD_RESULT decoder_open(Decoder* d, const char* path, const char** why)
{
    d->mh = NULL;
    d->rate = 0;
    d->channels = 0;
    d->ended = false;
    d->len = d->pos = 0;
    /* O_NONBLOCK so that a named pipe cannot hang the game in open(). */
    d->fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (d->fd < 0) {
        *why = strerror(errno);
        return FMOD_ERR_FILE_NOTFOUND;
    }
    struct stat st;
    if (fstat(d->fd, &st) != 0) {
        *why = strerror(errno);
        decoder_close(d);
        return FMOD_ERR_FILE_NOTFOUND;
    }
    if (!S_ISREG(st.st_mode) || st.st_size == 0) {
        *why = S_ISDIR(st.st_mode)   ? "is a directory"
             : S_ISREG(st.st_mode) ? "empty file"
                                   : "not a regular file";
        decoder_close(d);
        return FMOD_ERR_FORMAT;
    }
    fcntl(d->fd, F_SETFL, fcntl(d->fd, F_GETFL) & ~O_NONBLOCK);

    if (!mpg123_ready) {
        mpg123_init(); /* needed by old versions of the library only */
        mpg123_ready = true;
    }
    int err = MPG123_OK;
    d->mh = mpg123_new(NULL, &err);
    if (!d->mh) {
        *why = "cannot start the MP3 decoder";
        decoder_close(d);
        return FMOD_ERR_MEMORY;
    }
    /* Quiet: the library must not print on its own; we say one line per
     * file. Gapless: exact length, hence seamless loops. */
    mpg123_param(d->mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    /* Take every rate as it is, in 16 bits: the converter resamples with
     * interpolation, better than the library's own nearest-sample one. */
    mpg123_format_none(d->mh);
    const long* rates = NULL;
    size_t nrates = 0;
    mpg123_rates(&rates, &nrates);
    for (size_t i = 0; i < nrates; i++)
        mpg123_format(d->mh, rates[i], MPG123_MONO | MPG123_STEREO,
                      MPG123_ENC_SIGNED_16);
    if (mpg123_open_fd(d->mh, d->fd) != MPG123_OK || !decoder_fill(d)) {
        *why = "no MPEG audio found";
        decoder_close(d);
        return FMOD_ERR_FORMAT;
    }
    return FMOD_OK;
}

/* Starts the converter afresh for input at rate. The step is set here
 * only: a file whose rate changes midway (which no encoder makes on its
 * own) plays its later part at the wrong speed, but plays. */
static void converter_reset(Converter* c, long rate)
{
    c->step = (uint64_t(rate) << 32) / uint64_t(MIX_RATE);
    if (c->step == 0)
        c->step = 1;
    c->pos = 0;
    c->have = 0;
    c->draining = false;
}

/* Writes up to frames converted frames to out. Returns fewer when d has no
 * more input for this pass; calling again after a rewind carries on. */
static int converter_run(Converter* c, Decoder* d, short* out, int frames)
{
    int n = 0;
    for (;;) {
        /* Load the two input frames around pos. */
        while (c->have < 2 || c->pos >= ONE) {
            if (c->have == 2) { /* slide one frame on */
                if (c->draining)
                    return n; /* past the last frame: all done */
                c->prev[0] = c->cur[0];
                c->prev[1] = c->cur[1];
                c->have = 1;
                c->pos -= ONE;
                continue;
            }
            float* dst = c->have == 0 ? c->prev : c->cur;
            if (!decoder_next(d, dst))
                return n;
            c->have++;
        }
        if (n == frames)
            return n;
        float t = float(c->pos) * (1.0f / 4294967296.0f);
        for (int k = 0; k < 2; k++) {
            float v = c->prev[k] + (c->cur[k] - c->prev[k]) * t;
            out[2 * n + k] = short(lrintf(v));
        }
        n++;
        c->pos += c->step;
    }
}

/* At the true end of the input the last frame has no successor to
 * interpolate towards: it is held for its own duration instead, so that a
 * second of input makes a second of output at any rate. converter_run then
 * hands out those last frames and stops for good. */
static void converter_drain(Converter* c)
{
    if (c->have == 1) {
        c->cur[0] = c->prev[0];
        c->cur[1] = c->prev[1];
        c->have = 2;
    }
    c->draining = true;
}

/* ---- Sounds, channels, systems ---- */

namespace {

struct Sound {
    FMOD_SYSTEM* system;
    uintptr_t id; /* the handle given out */
    bool stream;
    std::atomic<int> loopcount;
    /* A sound decoded whole: 44.1 kHz stereo. */
    std::vector<short> pcm;
    /* A stream: its decoder and converter, used by the one channel that
     * plays it (playing, or -1) and by nothing else. */
    Decoder dec;
    Converter conv;
    int playing;
    bool started; /* played before: the decoder needs a rewind */
};

struct Channel {
    uint64_t gen; /* the play that holds the slot; 0 when free */
    Sound* sound;
    float volume;
    bool paused;
    size_t pos;   /* next frame of pcm, for a sound decoded whole */
    int passes;   /* passes played to their end */
};

} /* namespace */

struct FMOD_SYSTEM {
    bool initialised;
    bool device; /* holds SDL's audio device */
    std::vector<Channel> channels; /* sized once by FMOD_System_Init */
    float acc[MIX_BLOCK * 2];
    short tmp[MIX_BLOCK * 2];
};

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

/* Frees the channel's slot. Audio lock held, or from the callback. */
static void channel_end(Channel* ch)
{
    if (ch->sound && ch->sound->stream)
        ch->sound->playing = -1;
    ch->sound = NULL;
    ch->gen = 0;
}

/* True if the loop count asks for another pass after ch->passes. */
static bool another_pass(const Channel* ch)
{
    int lc = ch->sound->loopcount.load(std::memory_order_relaxed);
    return lc < 0 || ch->passes <= lc;
}

/* Renders up to frames frames of the channel's sound into out, going round
 * the loop as its loop count asks. Returns fewer when the sound has ended.
 * Runs in the callback. */
static int channel_render(Channel* ch, short* out, int frames)
{
    Sound* s = ch->sound;
    int n = 0;
    if (s->stream) {
        while (n < frames) {
            n += converter_run(&s->conv, &s->dec, out + 2 * n, frames - n);
            if (n == frames)
                break;
            if (s->conv.draining)
                return n; /* the last pass is out: the sound has ended */
            /* The decoder ran dry: the end of a pass. */
            ch->passes++;
            if (!another_pass(ch) || !decoder_rewind(&s->dec))
                converter_drain(&s->conv);
        }
        return n;
    }
    size_t total = s->pcm.size() / 2;
    while (n < frames) {
        if (ch->pos == total) {
            ch->passes++;
            if (total == 0 || !another_pass(ch))
                return n;
            ch->pos = 0;
        }
        size_t k = total - ch->pos;
        if (k > size_t(frames - n))
            k = size_t(frames - n);
        memcpy(out + 2 * n, &s->pcm[2 * ch->pos], k * 2 * sizeof(short));
        ch->pos += k;
        n += int(k);
    }
    return n;
}

/* Mixes frames frames of every playing channel into out, saturating. Audio
 * lock held (the callback holds it). */
static void mix(FMOD_SYSTEM* sys, short* out, int frames)
{
    while (frames > 0) {
        int n = frames < MIX_BLOCK ? frames : MIX_BLOCK;
        for (int i = 0; i < 2 * n; i++)
            sys->acc[i] = 0.0f;
        for (Channel& ch : sys->channels) {
            if (!ch.sound || ch.paused)
                continue;
            int got = channel_render(&ch, sys->tmp, n);
            float v = ch.volume;
            for (int i = 0; i < 2 * got; i++)
                sys->acc[i] += float(sys->tmp[i]) * v;
            if (got < n)
                channel_end(&ch);
        }
        for (int i = 0; i < 2 * n; i++) {
            float a = sys->acc[i];
            out[i] = a >= 32767.0f ? 32767
                   : a <= -32768.0f ? -32768
                   : short(lrintf(a));
        }
        out += 2 * n;
        frames -= n;
    }
}

static void device_callback(void* userdata, Uint8* stream, int len)
{
    mix(static_cast<FMOD_SYSTEM*>(userdata), reinterpret_cast<short*>(stream),
        len / 4);
}

/* Frees a sound: first off every channel, under the lock, so that the
 * callback has let go of it before its memory goes. */
static void sound_free(Sound* s)
{
    SDL_LockAudio();
    for (Channel& ch : s->system->channels)
        if (ch.sound == s)
            channel_end(&ch);
    SDL_UnlockAudio();
    if (s->stream)
        decoder_close(&s->dec);
    sounds.erase(s->id);
    delete s;
}

/* ---- The interface ---- */

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
    system->channels.assign(size_t(maxchannels), Channel());
    system->initialised = true;
    if (offline)
        return FMOD_OK;

    const char* why = "another audio system has it";
    if (!device_owner) {
        SDL_AudioSpec want;
        memset(&want, 0, sizeof want);
        want.freq = int(MIX_RATE);
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 2048; /* 46 ms: music needs no short latency */
        want.callback = device_callback;
        want.userdata = system;
        /* No "obtained" spec: SDL then converts to whatever the card
         * takes, and the mixer always sees the format it asked for. */
        if (SDL_OpenAudio(&want, NULL) == 0) {
            device_owner = system;
            system->device = true;
            SDL_PauseAudio(0);
            return FMOD_OK;
        }
        why = SDL_GetError();
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
        SDL_CloseAudio(); /* waits for the callback to return */
        device_owner = NULL;
        system->device = false;
    }
    std::vector<Sound*> own;
    for (auto& kv : sounds)
        if (kv.second->system == system)
            own.push_back(kv.second);
    for (Sound* s : own)
        sound_free(s);
    delete system;
    return FMOD_OK;
}

/* Says once per run that a file cannot be played: the game asks for the
 * same track again at every switch, and one line tells the player enough. */
static void report_unplayable(const char* name, const char* why)
{
    static std::set<std::string> reported;
    if (reported.insert(name).second)
        fprintf(stderr, "zimbalo: cannot play %s: %s\n", name, why);
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
    s->stream = (mode & FMOD_CREATESTREAM) != 0;
    s->loopcount = 0;
    s->playing = -1;
    s->started = false;
    const char* why = "";
    FMOD_RESULT r = decoder_open(&s->dec, name, &why);
    if (r != FMOD_OK) {
        report_unplayable(name, why);
        delete s;
        return r;
    }
    converter_reset(&s->conv, s->dec.rate);
    if (!s->stream) {
        /* Decode it all now; the callback then only copies. */
        short piece[2 * 4096];
        int n;
        try {
            for (;;) {
                n = converter_run(&s->conv, &s->dec, piece, 4096);
                s->pcm.insert(s->pcm.end(), piece, piece + 2 * n);
                if (n < 4096 && s->conv.draining)
                    break;
                if (n < 4096)
                    converter_drain(&s->conv);
            }
            s->pcm.shrink_to_fit();
        } catch (const std::bad_alloc&) {
            report_unplayable(name, "out of memory");
            decoder_close(&s->dec);
            delete s;
            return FMOD_ERR_MEMORY;
        }
        decoder_close(&s->dec);
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

    if (s->stream) {
        /* One decoder, one channel: take it off the old one, and go back
         * to the start while the callback cannot see it. */
        SDL_LockAudio();
        if (s->playing >= 0)
            channel_end(&system->channels[size_t(s->playing)]);
        SDL_UnlockAudio();
        if (s->started)
            decoder_rewind(&s->dec);
        s->started = true;
        converter_reset(&s->conv, s->dec.rate);
    }

    SDL_LockAudio();
    size_t i = 0;
    while (i < system->channels.size() && system->channels[i].sound)
        i++;
    if (i == system->channels.size()) {
        SDL_UnlockAudio();
        return FMOD_ERR_CHANNEL_ALLOC;
    }
    Channel& ch = system->channels[i];
    ch.gen = next_gen++;
    ch.sound = s;
    ch.volume = 1.0f;
    ch.paused = paused != 0;
    ch.pos = 0;
    ch.passes = 0;
    if (s->stream)
        s->playing = int(i);
    uintptr_t handle = uintptr_t(ch.gen << INDEX_BITS) | i;
    SDL_UnlockAudio();
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
        channel_end(ch);
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
    SDL_LockAudio();
    mix(system, out, frames);
    SDL_UnlockAudio();
    return frames;
}

int zaudio_live_sounds(void)
{
    return int(sounds.size());
}

} /* extern "C" */
