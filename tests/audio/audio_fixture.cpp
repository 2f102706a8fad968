/* audio_fixture.cpp: makes the fixture MP3s once per run, and the helpers
 * that the audio tests share. */

#include "audio_fixture.h"
#include "audio/mixer.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

static std::string fixtures;
static std::string startDir;

/* Runs tools/make_music.py --fixture into a fresh temporary directory, and
 * keeps the systems the tests start off SDL's audio device, so that the
 * tests alone consume the mixed output. */
class FixtureEnvironment : public testing::Environment {
  public:
    void SetUp() override
    {
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        startDir = cwd;
        zaudio_offline(1);
        /* The one test that opens the device must not sound on a real
         * card when the tests are run by hand. */
        setenv("SDL_AUDIODRIVER", "dummy", 1);

        char tmpl[] = "/tmp/zimbalo-audio-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        fixtures = tmpl;
        const char* tools = getenv("ZIMBALO_TOOLS");
        std::string cmd = std::string("/usr/bin/python3 ") +
                          (tools ? tools : ZIMBALO_TOOLS_DIR) +
                          "/make_music.py --fixture " + fixtures;
        ASSERT_EQ(system(cmd.c_str()), 0) << "cannot make fixtures: " << cmd;
    }

    void TearDown() override
    {
        if (!fixtures.empty()) {
            EXPECT_EQ(system(("rm -rf " + fixtures).c_str()), 0);
        }
    }
};

static testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new FixtureEnvironment);

std::string fixture(const char* name)
{
    return fixtures + "/" + name;
}

const std::string& fixtureDir()
{
    return fixtures;
}

const std::string& buildDir()
{
    return startDir;
}

Pcm decodeFile(const std::string& path)
{
    Pcm pcm;
    int err = 0;
    mpg123_handle* mh = mpg123_new(NULL, &err);
    if (!mh)
        return pcm;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_format_none(mh);
    const long* rates = NULL;
    size_t nrates = 0;
    mpg123_rates(&rates, &nrates);
    for (size_t i = 0; i < nrates; i++)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO,
                      MPG123_ENC_SIGNED_16);
    int fd = open(path.c_str(), O_RDONLY);
    if (fd >= 0 && mpg123_open_fd(mh, fd) == MPG123_OK) {
        short buf[8192];
        for (;;) {
            size_t got = 0;
            int r = mpg123_read(mh, reinterpret_cast<unsigned char*>(buf),
                                sizeof buf, &got);
            if (r == MPG123_NEW_FORMAT) {
                int enc = 0;
                mpg123_getformat(mh, &pcm.rate, &pcm.channels, &enc);
                continue;
            }
            pcm.s.insert(pcm.s.end(), buf, buf + got / 2);
            if (r != MPG123_OK)
                break;
        }
        mpg123_close(mh);
    }
    if (fd >= 0)
        close(fd);
    mpg123_delete(mh);
    return pcm;
}

std::vector<short> pull(FMOD_SYSTEM* system, size_t frames)
{
    std::vector<short> out(2 * frames, 12345);
    EXPECT_EQ(zaudio_mix(system, out.data(), int(frames)), int(frames));
    return out;
}

double rms(const std::vector<short>& s, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; i++)
        sum += double(s[i]) * s[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

double curvature(const std::vector<short>& s, size_t from, size_t to)
{
    double worst = 0;
    for (size_t i = from < 2 ? 2 : from; i < to; i++)
        for (size_t c = 0; c < 2; c++) {
            double d = double(s[2 * i + c]) - 2.0 * s[2 * (i - 1) + c] +
                       s[2 * (i - 2) + c];
            worst = std::fmax(worst, std::fabs(d));
        }
    return worst;
}

size_t longestSilence(const std::vector<short>& s, size_t from, size_t to)
{
    size_t best = 0, run = 0;
    for (size_t i = from; i < to; i++) {
        run = (s[2 * i] == 0 && s[2 * i + 1] == 0) ? run + 1 : 0;
        if (run > best)
            best = run;
    }
    return best;
}

size_t zeroCrossings(const std::vector<short>& s, int channel, size_t from,
                     size_t to)
{
    size_t n = 0;
    for (size_t i = from + 1; i < to; i++)
        if ((s[2 * (i - 1) + size_t(channel)] < 0) !=
            (s[2 * i + size_t(channel)] < 0))
            n++;
    return n;
}
