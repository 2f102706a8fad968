/* decoder.cpp: MP3 decoding with libmpg123, and the conversion to 44.1 kHz stereo. */

#include "decoder.h"
#include "sys.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace zaudio {

static const uint64_t ONE = uint64_t(1) << 32; /* 1.0 in 32.32 fixed point */

/* Set by the game's thread, which opens every file. */
static bool mpg123_ready = false;

/* Decodes the next piece of the file into d->buf. Returns false when the
 * pass has ended (end of file, or data that cannot be decoded). Runs while
 * a stream plays, so it must not allocate: mpg123_read decodes into the
 * buffer we give it. */
static bool decoder_fill(Decoder* d)
{
    d->pos = 0;
    d->len = 0;
    /* A format change hands out no data; a few in a row are possible at the
     * start of a file, but a bounded count keeps a broken file from
     * spinning the decoding thread. */
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

bool decoder_rewind(Decoder* d)
{
    d->ended = false;
    d->pos = d->len = 0;
    if (mpg123_seek(d->mh, 0, SEEK_SET) < 0) {
        d->ended = true;
        return false;
    }
    return decoder_fill(d);
}

void decoder_close(Decoder* d)
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

FMOD_RESULT decoder_open(Decoder* d, const char* path, const char** why)
{
    d->mh = NULL;
    d->rate = 0;
    d->channels = 0;
    d->ended = false;
    d->len = d->pos = 0;
    d->fd = sysOuvrirFichier(path);
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
     * file. Gapless: the decoder drops the encoder's delay and padding and
     * so gives the exact length of the original recording, which makes
     * loops seamless. */
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

/* The step is set here only: a file whose rate changes midway (which no
 * encoder makes on its own) plays its later part at the wrong speed, but
 * plays. */
void converter_reset(Converter* c, long rate)
{
    c->step = (uint64_t(rate) << 32) / uint64_t(MIX_RATE);
    if (c->step == 0)
        c->step = 1;
    c->pos = 0;
    c->have = 0;
    c->draining = false;
}

int converter_run(Converter* c, Decoder* d, short* out, int frames)
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
 * second of input makes a second of output at any rate. */
void converter_drain(Converter* c)
{
    if (c->have == 1) {
        c->cur[0] = c->prev[0];
        c->cur[1] = c->prev[1];
        c->have = 2;
    }
    c->draining = true;
}

FMOD_RESULT decode_file(const char* path, std::vector<short>* pcm, const char** why)
{
    std::unique_ptr<Decoder> d(new (std::nothrow) Decoder);
    if (!d) {
        *why = "out of memory";
        return FMOD_ERR_MEMORY;
    }
    FMOD_RESULT r = decoder_open(d.get(), path, why);
    if (r != FMOD_OK)
        return r;
    Converter c;
    converter_reset(&c, d->rate);
    short piece[2 * 4096];
    try {
        for (;;) {
            int n = converter_run(&c, d.get(), piece, 4096);
            pcm->insert(pcm->end(), piece, piece + 2 * n);
            if (n < 4096 && c.draining)
                break;
            if (n < 4096)
                converter_drain(&c);
        }
        pcm->shrink_to_fit();
    } catch (const std::bad_alloc&) {
        *why = "out of memory";
        r = FMOD_ERR_MEMORY;
    }
    decoder_close(d.get());
    return r;
}

} /* namespace zaudio */
