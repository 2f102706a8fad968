/* decoder.h: the MP3 decoder and the rate converter, shared inside the audio layer. */
#ifndef ZIMBALO_AUDIO_DECODER_H
#define ZIMBALO_AUDIO_DECODER_H

#include "fmod.h"

#include <mpg123.h>

#include <cstdint>
#include <vector>

namespace zaudio {

constexpr long MIX_RATE = 44100;           /* the mixer's rate, stereo */
constexpr int DECODE_FRAMES = 4 * 1152;    /* four MPEG frames */

/* An open MP3 file and the frames last decoded from it, in the file's own
 * sample rate and channel count. One thread at a time uses it. */
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
 * 44.1 kHz the step is exactly one and the frames pass through unchanged.
 * A plain value: a copy carries on from the same place. */
struct Converter {
    uint64_t step; /* input frames per output frame */
    uint64_t pos;
    int have;      /* how many of prev and cur are loaded */
    bool draining; /* the input is over: cur holds the last frame again */
    float prev[2];
    float cur[2];
};

/* Opens path and decodes its first piece, so that a file holding no audio
 * is refused now rather than heard as silence later. On failure returns the
 * error with the reason in *why, and leaves d closed. */
FMOD_RESULT decoder_open(Decoder* d, const char* path, const char** why);

/* Goes back to the first sample and decodes the first piece. False if the
 * file gives nothing any more, which ends the sound instead of looping on
 * emptiness. */
bool decoder_rewind(Decoder* d);

void decoder_close(Decoder* d);

/* Starts the converter afresh for input at rate. */
void converter_reset(Converter* c, long rate);

/* Writes up to frames converted frames to out. Returns fewer when d has no
 * more input for this pass (d is then at its end); calling again after a
 * rewind carries on. Allocates nothing. */
int converter_run(Converter* c, Decoder* d, short* out, int frames);

/* Marks the true end of the input: the next converter_run hands out the
 * last frames, held for their own duration, and stops for good. */
void converter_drain(Converter* c);

/* Decodes the whole file path into pcm, 44.1 kHz stereo. On failure returns
 * the error with the reason in *why. */
FMOD_RESULT decode_file(const char* path, std::vector<short>* pcm, const char** why);

} /* namespace zaudio */

#endif
