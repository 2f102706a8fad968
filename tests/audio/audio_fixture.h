/* audio_fixture.h: shared helpers of the audio tests: fixture files,
 * reference decoding and signal measures. */
#ifndef ZIMBALO_TESTS_AUDIO_FIXTURE_H
#define ZIMBALO_TESTS_AUDIO_FIXTURE_H

#include "audio/fmod.h"

#include <cstddef>
#include <string>
#include <vector>

std::string fixture(const char* name);
/* The path of a fixture MP3 (see FIXTURES in tools/make_music.py), made
 * once per test run in a temporary directory that the run removes. */

const std::string& fixtureDir();
/* That temporary directory. */

const std::string& buildDir();
/* The working directory the tests started in: the build directory, which
 * holds the game's data files. */

/* A decoded file, interleaved, in its own rate and channel count. */
struct Pcm {
    long rate = 0;
    int channels = 0;
    std::vector<short> s;
    size_t frames() const { return channels ? s.size() / size_t(channels) : 0; }
};

Pcm decodeFile(const std::string& path);
/* Decodes path with libmpg123 directly, in gapless mode: the reference that
 * the layer's output is held against. Empty when the file holds no audio. */

std::vector<short> pull(FMOD_SYSTEM* system, size_t frames);
/* The next frames stereo frames of system's mix (null: the newest system). */

double rms(const std::vector<short>& s, size_t from, size_t to);
/* Root mean square of the samples s[from..to). */

double curvature(const std::vector<short>& s, size_t from, size_t to);
/* The largest |x[i] - 2 x[i-1] + x[i-2]| of either channel of stereo s, over
 * the frames i in [from, to): how far a frame strays from the straight line
 * of the two before it. A click or a gap shows as a large value. */

size_t longestSilence(const std::vector<short>& s, size_t from, size_t to);
/* The longest run of frames in [from, to) of stereo s that are zero in
 * both channels. */

size_t zeroCrossings(const std::vector<short>& s, int channel, size_t from,
                     size_t to);
/* Sign changes of one channel of stereo s over frames [from, to). */

#endif
