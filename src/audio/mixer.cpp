/* mixer.cpp: channels, the feeder thread that decodes streams ahead, the mix, SDL's callback. */

#include "decoder.h"
#include "layer.h"
#include "sys.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

/*
 * Streams. Each play of a stream gets a feed: a ring of half a second of
 * mixer frames, which the feeder fills from the stream's decoder and the
 * channel empties. A channel whose ring is empty plays silence for that
 * stretch and carries on from where it was once frames arrive; it never
 * waits. The feeder runs a little ahead of what is heard, so at the end of
 * a pass it cannot know yet whether the loop count will ask for another
 * one: it goes straight on into the next pass, and notes in the ring where
 * the pass ended (a seam) together with the last frames that the sound
 * ends with if no pass follows. The channel reads the loop count when it
 * reaches the seam, as the sound is heard, and either goes on reading the
 * ring or plays those last frames and ends.
 *
 * Lifetimes. Once made, streams and feeds are freed by the feeding code
 * only (and, after its thread has ended, by FMOD_System_Release). The
 * game's thread hands it a stream that was released, and a feed is freed
 * once no stream fills it any more and its channel has let go of it for
 * good (abandoned). A release therefore never waits for a slow read in
 * progress: the stream is freed when the read returns.
 *
 * A system off the device has no feeder thread: zaudio_mix runs the same
 * feeding code before each block it mixes, filling each ring with exactly
 * what the block needs, so that tests get the same output at every run.
 */

namespace zaudio {

static const int RING_FRAMES = int(MIX_RATE / 2); /* half a second */
/* Pass ends waiting in one ring. A file whose passes are shorter than a
 * sixteenth of the ring (31 ms) fills them before the ring and so plays
 * with gaps on the device; no music is that short. */
static const int SEAMS = 16;
static const int MAX_TAIL = 8;     /* last frames: 44100 / 8000, MPEG's lowest rate, rounded up */
static const int FEED_PIECE = 1024; /* frames the feeder decodes per stream and turn */

namespace {

/* Where a pass ends in a ring, and how the sound ends if no pass follows. */
struct Seam {
    uint64_t at; /* frames of the ring before the seam */
    bool last;   /* the file gives nothing more: no pass can follow */
    int length;  /* frames in tail */
    short tail[2 * MAX_TAIL];
};

} /* namespace */

/* One play of a stream: the feeder writes, the channel reads. Each counter
 * is stored by one side only; the other side's load of it (acquire) makes
 * the frames or seams it counts visible. */
struct Feed {
    std::atomic<uint64_t> written{0};       /* frames written (feeder) */
    std::atomic<uint64_t> seams_written{0}; /* seams written (feeder) */
    alignas(64) std::atomic<uint64_t> read{0}; /* frames taken (channel) */
    std::atomic<uint64_t> seams_read{0};    /* seams passed (channel) */
    std::atomic<bool> abandoned{false};     /* the channel has let go for good */
    Seam seams[SEAMS];
    short frames[2 * RING_FRAMES];
};

struct Stream {
    Decoder dec;
    Converter conv;
    /* Set by the game's thread, under the feeder's lock. */
    Feed* next;    /* a play to start, not yet taken by the feeder */
    bool released; /* the sound is gone: free the stream */
    /* The feeder's own. */
    Feed* feeding; /* the feed it fills, or null */
    bool restart;  /* feeding was just taken: start from the first sample */
    bool started;  /* decoded from before: a restart needs a rewind */
    bool over;     /* the file gave nothing more: nothing until a restart */
};

struct Feeder {
    std::mutex lock;
    std::condition_variable wake;
    /* Under lock. */
    bool mail = false; /* a play or a release waits for the feeder */
    bool quit = false;
    std::vector<Stream*> streams; /* every stream not yet freed */
    std::vector<Feed*> retired;   /* filled no more; their channel may still read */
    /* The feeder's own. */
    std::vector<Stream*> work;    /* the streams it fills this turn */
    std::vector<Stream*> dead_streams;
    std::vector<Feed*> dead_feeds;
    std::thread thread; /* only on a system that holds the device */
};

static void retire(Feeder* fd, Feed* f)
{
    if (f)
        fd->retired.push_back(f);
}

/* Takes the game's requests and sorts out what can be freed. Lock held. */
static void take_mail(Feeder* fd)
{
    fd->mail = false;
    fd->work.clear();
    size_t keep = 0;
    for (Stream* st : fd->streams) {
        if (st->next) {
            retire(fd, st->feeding);
            st->feeding = st->next;
            st->next = NULL;
            st->restart = true;
        }
        if (st->feeding && (st->released ||
                            st->feeding->abandoned.load(std::memory_order_acquire))) {
            retire(fd, st->feeding);
            st->feeding = NULL;
        }
        if (st->released) {
            fd->dead_streams.push_back(st);
            continue;
        }
        fd->streams[keep++] = st;
        if (st->feeding)
            fd->work.push_back(st);
    }
    fd->streams.resize(keep);
    keep = 0;
    for (Feed* f : fd->retired) {
        if (f->abandoned.load(std::memory_order_acquire))
            fd->dead_feeds.push_back(f);
        else
            fd->retired[keep++] = f;
    }
    fd->retired.resize(keep);
}

/* Frees what take_mail found dead, outside the lock. */
static void bury(Feeder* fd)
{
    for (Stream* st : fd->dead_streams) {
        decoder_close(&st->dec);
        delete st;
    }
    fd->dead_streams.clear();
    for (Feed* f : fd->dead_feeds)
        delete f;
    fd->dead_feeds.clear();
}

/* Decodes up to most frames of the stream into its feed's ring, as far as
 * the ring has room. Returns false when it could do nothing: no room, the
 * channel gone, or the file over. */
static bool stream_fill(Stream* st, int most)
{
    Feed* f = st->feeding;
    if (st->restart) {
        st->restart = false;
        if (st->started)
            decoder_rewind(&st->dec);
        st->started = true;
        st->over = false;
        converter_reset(&st->conv, st->dec.rate);
    }
    if (st->over || f->abandoned.load(std::memory_order_relaxed))
        return false;
    uint64_t w = f->written.load(std::memory_order_relaxed);
    uint64_t sw = f->seams_written.load(std::memory_order_relaxed);
    uint64_t room = RING_FRAMES - (w - f->read.load(std::memory_order_acquire));
    if (room == 0 || sw - f->seams_read.load(std::memory_order_acquire) == SEAMS)
        return false;
    size_t at = size_t(w % RING_FRAMES);
    int want = int(std::min({uint64_t(most), room, uint64_t(RING_FRAMES - at)}));
    int n = converter_run(&st->conv, &st->dec, f->frames + 2 * at, want);
    f->written.store(w + uint64_t(n), std::memory_order_release);
    if (n < want) {
        /* The decoder ran dry: a pass ends here. What a last pass ends
         * with comes from a copy of the converter, drained; the converter
         * itself carries on into the next pass. */
        Seam& seam = f->seams[sw % SEAMS];
        seam.at = w + uint64_t(n);
        Converter end = st->conv;
        converter_drain(&end);
        seam.length = converter_run(&end, &st->dec, seam.tail, MAX_TAIL);
        seam.last = !decoder_rewind(&st->dec);
        st->over = seam.last;
        f->seams_written.store(sw + 1, std::memory_order_release);
    }
    return true;
}

/* The feeder's thread: a turn decodes a piece of each stream, then takes
 * the game's requests. When every ring is full it sleeps until a request
 * comes or 10 ms pass, by which time a channel has taken 441 frames; with
 * no stream to fill, until a request comes. */
static void feeder_run(Feeder* fd)
{
    std::unique_lock<std::mutex> hold(fd->lock);
    while (!fd->quit) {
        take_mail(fd);
        hold.unlock();
        bury(fd);
        bool busy = false;
        for (Stream* st : fd->work)
            busy |= stream_fill(st, FEED_PIECE);
        hold.lock();
        if (busy || fd->mail || fd->quit)
            continue;
        if (fd->work.empty())
            fd->wake.wait(hold);
        else
            fd->wake.wait_for(hold, std::chrono::milliseconds(10));
    }
}

/* The same feeding, driven by zaudio_mix on a system without a feeder
 * thread: fills each ring with at least frames frames, if it can. */
static void feed_now(Feeder* fd, int frames)
{
    {
        std::lock_guard<std::mutex> hold(fd->lock);
        take_mail(fd);
    }
    bury(fd);
    for (Stream* st : fd->work) {
        Feed* f = st->feeding;
        for (;;) {
            uint64_t ahead = f->written.load(std::memory_order_relaxed) -
                             f->read.load(std::memory_order_relaxed);
            if (ahead >= uint64_t(frames) || !stream_fill(st, frames - int(ahead)))
                break;
        }
    }
}

/* ---- Channels and the mix ---- */

/* True if the loop count asks for another pass after ch->passes. */
static bool another_pass(const Channel* ch)
{
    int lc = ch->sound->loopcount.load(std::memory_order_relaxed);
    return lc < 0 || ch->passes <= lc;
}

/* Copies up to frames frames of the channel's feed to out, crossing seams
 * as the loop count asks. Returns fewer when the sound has ended. */
static int stream_render(Channel* ch, short* out, int frames)
{
    Feed* f = ch->feed;
    int n = 0;
    while (n < frames) {
        uint64_t sr = f->seams_read.load(std::memory_order_relaxed);
        const Seam* seam = sr != f->seams_written.load(std::memory_order_acquire)
                               ? &f->seams[sr % SEAMS] : NULL;
        if (ch->tail >= 0) {
            /* The last pass: its last frames, then the end. */
            int k = std::min(seam->length - ch->tail, frames - n);
            memcpy(out + 2 * n, seam->tail + 2 * ch->tail, size_t(k) * 2 * sizeof(short));
            ch->tail += k;
            n += k;
            if (ch->tail == seam->length)
                return n;
            continue;
        }
        uint64_t r = f->read.load(std::memory_order_relaxed);
        uint64_t end = f->written.load(std::memory_order_acquire);
        if (seam && seam->at < end)
            end = seam->at;
        if (r == end) {
            if (!seam || seam->at != r) {
                /* The feeder is behind: silence, until it catches up. */
                memset(out + 2 * n, 0, size_t(frames - n) * 2 * sizeof(short));
                return frames;
            }
            ch->passes++;
            if (seam->last || !another_pass(ch))
                ch->tail = 0;
            else
                f->seams_read.store(sr + 1, std::memory_order_release);
            continue;
        }
        size_t at = size_t(r % RING_FRAMES);
        size_t k = size_t(std::min({end - r, uint64_t(frames - n), uint64_t(RING_FRAMES - at)}));
        memcpy(out + 2 * n, f->frames + 2 * at, k * 2 * sizeof(short));
        f->read.store(r + k, std::memory_order_release);
        n += int(k);
    }
    return n;
}

/* Renders up to frames frames of the channel's sound into out, going round
 * the loop as its loop count asks. Returns fewer when the sound has ended. */
static int channel_render(Channel* ch, short* out, int frames)
{
    if (ch->feed)
        return stream_render(ch, out, frames);
    const Sound* s = ch->sound;
    size_t total = s->pcm.size() / 2;
    int n = 0;
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

void channel_end(Channel* ch)
{
    if (ch->feed)
        ch->feed->abandoned.store(true, std::memory_order_release);
    if (ch->sound && ch->sound->stream)
        ch->sound->playing = -1;
    ch->feed = NULL;
    ch->sound = NULL;
    ch->gen = 0;
}

/* Mixes frames frames of every playing channel into out, saturating. With
 * sync, feeds the rings first, block by block; without, takes what the
 * feeder's thread has put in them. */
static void mix(FMOD_SYSTEM* sys, short* out, int frames, Feeder* sync)
{
    while (frames > 0) {
        int n = frames < MIX_BLOCK ? frames : MIX_BLOCK;
        if (sync)
            feed_now(sync, n);
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

void mixer_pull(FMOD_SYSTEM* sys, short* out, int frames)
{
    Feeder* fd = sys->feeder;
    if (fd->thread.joinable()) {
        SDL_LockAudio();
        mix(sys, out, frames, NULL);
        SDL_UnlockAudio();
    } else {
        /* No thread but the caller's touches this system's channels. */
        mix(sys, out, frames, fd);
    }
}

/* ---- The device ---- */

static std::atomic<long> longest_ns{0};

/* SDL holds its audio lock around this. Timed with a monotonic clock. */
static void device_callback(void* userdata, Uint8* stream, int len)
{
    timespec start, stop;
    clock_gettime(CLOCK_MONOTONIC, &start);
    FMOD_SYSTEM* sys = static_cast<FMOD_SYSTEM*>(userdata);
    mix(sys, reinterpret_cast<short*>(stream), len / 4,
        sys->feeder->thread.joinable() ? NULL : sys->feeder);
    clock_gettime(CLOCK_MONOTONIC, &stop);
    long ns = long(stop.tv_sec - start.tv_sec) * 1000000000L +
              long(stop.tv_nsec - start.tv_nsec);
    long seen = longest_ns.load(std::memory_order_relaxed);
    while (ns > seen &&
           !longest_ns.compare_exchange_weak(seen, ns, std::memory_order_relaxed)) {
    }
}

long longest_callback(bool reset)
{
    long ns = reset ? longest_ns.exchange(0) : longest_ns.load();
    return ns / 1000;
}

bool feeder_new(FMOD_SYSTEM* sys)
{
    sys->feeder = new (std::nothrow) Feeder();
    return sys->feeder != NULL;
}

bool device_open(FMOD_SYSTEM* sys, const char** why)
{
    SDL_AudioSpec want;
    memset(&want, 0, sizeof want);
    want.freq = int(MIX_RATE);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 2048; /* 46 ms: music needs no short latency */
    want.callback = device_callback;
    want.userdata = sys;
    /* No "obtained" spec: SDL then converts to whatever the card takes,
     * and the mixer always sees the format it asked for. */
    if (SDL_OpenAudio(&want, NULL) != 0) {
        *why = SDL_GetError();
        return false;
    }
    /* Where no thread can start (a browser without shared memory), the
     * device's callback feeds the rings itself, as zaudio_mix does. */
    try {
        if (sysFilsDisponibles())
            sys->feeder->thread = std::thread(feeder_run, sys->feeder);
    } catch (const std::system_error&) {
    }
    sys->device = true;
    SDL_PauseAudio(0);
    return true;
}

void device_close(FMOD_SYSTEM* sys)
{
    if (sys->device) {
        SDL_CloseAudio(); /* waits for the callback to return */
        sys->device = false;
    }
}

void feeder_free(FMOD_SYSTEM* sys)
{
    Feeder* fd = sys->feeder;
    if (!fd)
        return;
    if (fd->thread.joinable()) {
        {
            std::lock_guard<std::mutex> hold(fd->lock);
            fd->quit = true;
        }
        fd->wake.notify_one();
        fd->thread.join();
    }
    for (Stream* st : fd->streams) {
        delete st->next;
        delete st->feeding;
        decoder_close(&st->dec);
        delete st;
    }
    for (Feed* f : fd->retired)
        delete f;
    bury(fd);
    delete fd;
    sys->feeder = NULL;
}

FMOD_RESULT stream_open(FMOD_SYSTEM* sys, const char* path, Stream** stream,
                        const char** why)
{
    Stream* st = new (std::nothrow) Stream();
    if (!st) {
        *why = "out of memory";
        return FMOD_ERR_MEMORY;
    }
    FMOD_RESULT r = decoder_open(&st->dec, path, why);
    if (r != FMOD_OK) {
        delete st;
        return r;
    }
    converter_reset(&st->conv, st->dec.rate);
    std::lock_guard<std::mutex> hold(sys->feeder->lock);
    sys->feeder->streams.push_back(st);
    *stream = st;
    return FMOD_OK;
}

void stream_release(FMOD_SYSTEM* sys, Stream* stream)
{
    {
        std::lock_guard<std::mutex> hold(sys->feeder->lock);
        stream->released = true;
        sys->feeder->mail = true;
    }
    sys->feeder->wake.notify_one();
}

Feed* feed_new()
{
    return new (std::nothrow) Feed;
}

void feed_delete(Feed* feed)
{
    delete feed;
}

void stream_play(FMOD_SYSTEM* sys, Stream* stream, Feed* feed)
{
    {
        std::lock_guard<std::mutex> hold(sys->feeder->lock);
        retire(sys->feeder, stream->next); /* replayed before it started */
        stream->next = feed;
        sys->feeder->mail = true;
    }
    sys->feeder->wake.notify_one();
}

} /* namespace zaudio */
