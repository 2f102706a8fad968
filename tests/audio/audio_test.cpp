/* audio_test.cpp: the mixer, decoding, looping, handles and bad files,
 * driven by pulling samples straight from the mixer. */

#include "audio_fixture.h"
#include "audio/fmod.h"
#include "audio/mixer.h"

#include <gtest/gtest.h>
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>

static const size_t SECOND = 44100;

/* Each test gets a fresh system of four channels, off the audio device. */
class Mixer : public testing::Test {
  protected:
    FMOD_SYSTEM* sys = nullptr;
    int sounds = 0; /* live sounds of other tests' systems */

    void SetUp() override
    {
        sounds = zaudio_live_sounds();
        ASSERT_EQ(FMOD_System_Create(&sys), FMOD_OK);
        ASSERT_EQ(FMOD_System_Init(sys, 4, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    }

    void TearDown() override
    {
        EXPECT_EQ(FMOD_System_Release(sys), FMOD_OK);
        EXPECT_EQ(zaudio_live_sounds(), sounds);
    }

    FMOD_SOUND* open(const char* name, bool stream = true)
    {
        FMOD_SOUND* s = nullptr;
        FMOD_MODE mode = FMOD_2D | FMOD_SOFTWARE | (stream ? FMOD_CREATESTREAM : 0);
        EXPECT_EQ(FMOD_System_CreateSound(sys, fixture(name).c_str(), mode,
                                          nullptr, &s),
                  FMOD_OK);
        return s;
    }

    FMOD_CHANNEL* play(FMOD_SOUND* s, float volume = 1.0f)
    {
        FMOD_CHANNEL* ch = nullptr;
        EXPECT_EQ(FMOD_System_PlaySound(sys, FMOD_CHANNEL_FREE, s, false, &ch),
                  FMOD_OK);
        EXPECT_EQ(FMOD_Channel_SetVolume(ch, volume), FMOD_OK);
        return ch;
    }
};

/* The stereo 44.1 kHz reference of a fixture, checked to be what the tool
 * claims, so that no comparison below can pass on an empty signal. */
static Pcm reference(const char* name, size_t frames)
{
    Pcm ref = decodeFile(fixture(name));
    EXPECT_EQ(ref.rate, 44100);
    EXPECT_EQ(ref.channels, 2);
    EXPECT_EQ(ref.frames(), frames) << "gapless decoding gives the exact length";
    EXPECT_GT(rms(ref.s, 0, ref.s.size()), 5000.0);
    return ref;
}

/* Largest |out[i] - scale * ref[(i + shift) mod n]| over frames [from, to). */
static double maxError(const std::vector<short>& out, const Pcm& ref,
                       double scale, size_t from, size_t to, size_t shift = 0)
{
    double worst = 0;
    size_t n = ref.frames();
    for (size_t i = from; i < to; i++)
        for (size_t c = 0; c < 2; c++) {
            double want = scale * ref.s[2 * ((i + shift) % n) + c];
            worst = std::fmax(worst, std::fabs(out[2 * i + c] - want));
        }
    return worst;
}

TEST_F(Mixer, VolumeScalesTheSignal)
{
    Pcm ref = reference("tone44.mp3", SECOND);
    FMOD_SOUND* s = open("tone44.mp3");
    FMOD_CHANNEL* ch = play(s, 0.2f);
    ASSERT_EQ(FMOD_Sound_SetLoopCount(s, -1), FMOD_OK);
    std::vector<short> out = pull(sys, SECOND);
    /* Rounding to a whole sample is the only error allowed. */
    EXPECT_LE(maxError(out, ref, 0.2, 0, SECOND), 0.5 + 1e-3);
    double ratio = rms(out, 0, out.size()) / rms(ref.s, 0, ref.s.size());
    EXPECT_NEAR(ratio, 0.2, 0.2 * 0.01);

    /* Out of range volumes clamp; the change takes effect at once. */
    ASSERT_EQ(FMOD_Channel_SetVolume(ch, 7.0f), FMOD_OK);
    out = pull(sys, 1000);
    EXPECT_EQ(maxError(out, ref, 1.0, 0, 1000, 0), 0.0);
    ASSERT_EQ(FMOD_Channel_SetVolume(ch, -1.0f), FMOD_OK);
    out = pull(sys, 1000);
    EXPECT_EQ(longestSilence(out, 0, 1000), 1000u);
}

TEST_F(Mixer, StopGivesSilence)
{
    FMOD_CHANNEL* ch = play(open("tone44.mp3"));
    std::vector<short> out = pull(sys, 2000);
    EXPECT_GT(rms(out, 0, out.size()), 5000.0);
    ASSERT_EQ(FMOD_Channel_Stop(ch), FMOD_OK);
    out = pull(sys, 5000);
    EXPECT_EQ(longestSilence(out, 0, 5000), 5000u);
    EXPECT_EQ(FMOD_Channel_Stop(ch), FMOD_ERR_INVALID_HANDLE);
}

/* With a loop count of -1 each pass follows the last with nothing between:
 * the output is the decoded signal repeated, to the sample, and the joint
 * is as smooth as the tone itself. Checked for a stream and a whole sound. */
TEST_F(Mixer, EndlessLoopHasNoSeam)
{
    Pcm ref = reference("tone44.mp3", SECOND);
    double inner = curvature(ref.s, 2, SECOND);
    for (bool stream : {true, false}) {
        SCOPED_TRACE(stream ? "stream" : "whole");
        FMOD_SOUND* s = open("tone44.mp3", stream);
        play(s);
        ASSERT_EQ(FMOD_Sound_SetLoopCount(s, -1), FMOD_OK);
        std::vector<short> out = pull(sys, 5 * SECOND / 2);
        EXPECT_EQ(maxError(out, ref, 1.0, 0, out.size() / 2), 0.0);
        for (size_t joint : {SECOND, 2 * SECOND}) {
            EXPECT_LE(curvature(out, joint - 8, joint + 8), 1.5 * inner);
            EXPECT_EQ(longestSilence(out, joint - 100, joint + 100), 0u);
        }
        ASSERT_EQ(FMOD_Sound_Release(s), FMOD_OK);
    }
}

TEST_F(Mixer, LoopCountIsReadAtTheEndOfEachPass)
{
    Pcm ref = reference("tone44.mp3", SECOND);
    for (bool stream : {true, false}) {
        SCOPED_TRACE(stream ? "stream" : "whole");
        /* 0: one pass, then silence, and the channel is gone. */
        FMOD_SOUND* s = open("tone44.mp3", stream);
        FMOD_CHANNEL* ch = play(s);
        std::vector<short> out = pull(sys, 3 * SECOND / 2);
        EXPECT_EQ(maxError(out, ref, 1.0, 0, SECOND), 0.0);
        EXPECT_EQ(longestSilence(out, SECOND, out.size() / 2), SECOND / 2);
        EXPECT_EQ(FMOD_Channel_SetVolume(ch, 0.5f), FMOD_ERR_INVALID_HANDLE);

        /* 2, set in the middle of the first pass: three passes. */
        ch = play(s);
        pull(sys, SECOND / 2);
        ASSERT_EQ(FMOD_Sound_SetLoopCount(s, 2), FMOD_OK);
        out = pull(sys, 3 * SECOND);
        EXPECT_EQ(maxError(out, ref, 1.0, 0, 5 * SECOND / 2, SECOND / 2), 0.0);
        EXPECT_EQ(longestSilence(out, 5 * SECOND / 2, 3 * SECOND), SECOND / 2);

        /* -1, then 0 during the second pass: it ends with that pass. */
        ch = play(s);
        ASSERT_EQ(FMOD_Sound_SetLoopCount(s, -1), FMOD_OK);
        pull(sys, 3 * SECOND / 2);
        ASSERT_EQ(FMOD_Sound_SetLoopCount(s, 0), FMOD_OK);
        out = pull(sys, SECOND);
        EXPECT_EQ(maxError(out, ref, 1.0, 0, SECOND / 2, SECOND / 2), 0.0);
        EXPECT_EQ(longestSilence(out, SECOND / 2, SECOND), SECOND / 2);
        EXPECT_EQ(FMOD_Sound_SetLoopCount(s, -2), FMOD_ERR_INVALID_PARAM);
        ASSERT_EQ(FMOD_Sound_Release(s), FMOD_OK);
    }
}

/* Two loud channels add up past full scale: the sum saturates instead of
 * wrapping round to the other sign. */
TEST_F(Mixer, ChannelsAddAndClip)
{
    Pcm loud = reference("loud44.mp3", SECOND);
    Pcm tone = reference("tone44.mp3", SECOND);
    FMOD_SOUND* l = open("loud44.mp3", false);
    play(l);
    play(l);
    play(open("tone44.mp3"), 0.5f);
    std::vector<short> out = pull(sys, SECOND);
    size_t clipped = 0, exact = 0;
    for (size_t i = 0; i < 2 * SECOND; i++) {
        double sum = 2.0 * loud.s[i] + 0.5 * tone.s[i];
        if (sum >= 32767.0 || sum <= -32768.0) {
            ASSERT_EQ(out[i], sum > 0 ? 32767 : -32768) << "sample " << i;
            clipped++;
        } else {
            ASSERT_NEAR(out[i], sum, 1.0) << "sample " << i;
            exact++;
        }
    }
    EXPECT_GT(clipped, SECOND / 10);
    EXPECT_GT(exact, SECOND / 10);
}

TEST_F(Mixer, ConvertsRateAndChannels)
{
    struct Case {
        const char* name;
        double freq;
        bool mono;
    };
    for (Case c : {Case{"mono8k.mp3", 440.0, true}, Case{"tone48k.mp3", 480.0, false}}) {
        SCOPED_TRACE(c.name);
        for (bool stream : {true, false}) {
            FMOD_SOUND* s = open(c.name, stream);
            play(s);
            std::vector<short> out = pull(sys, 2 * SECOND);
            /* One second of input is one second of output, give or take
             * the interpolation's last frame. */
            size_t len = 2 * SECOND - longestSilence(out, SECOND / 2, 2 * SECOND);
            EXPECT_NEAR(double(len), double(SECOND), 2.0);
            /* The pitch is kept: two zero crossings per period. */
            for (int ch : {0, 1})
                EXPECT_NEAR(double(zeroCrossings(out, ch, 0, SECOND - 100)),
                            2.0 * c.freq * (SECOND - 100) / SECOND, 4.0);
            EXPECT_GT(rms(out, 0, 2 * (SECOND - 100)), 0.5 * 16384 / std::sqrt(2.0));
            if (c.mono) {
                size_t differ = 0;
                for (size_t i = 0; i < SECOND; i++)
                    differ += out[2 * i] != out[2 * i + 1];
                EXPECT_EQ(differ, 0u);
            }
            ASSERT_EQ(FMOD_Sound_Release(s), FMOD_OK);
        }
    }
}

/* Calls out of place fail, change nothing and leave out-parameters null. */
TEST_F(Mixer, MisuseIsRefused)
{
    FMOD_SOUND* s = open("tone44.mp3", false);
    for (int i = 0; i < 4; i++)
        play(s, 0.1f);
    FMOD_CHANNEL* ch = reinterpret_cast<FMOD_CHANNEL*>(&ch);
    EXPECT_EQ(FMOD_System_PlaySound(sys, FMOD_CHANNEL_FREE, s, false, &ch),
              FMOD_ERR_CHANNEL_ALLOC);
    EXPECT_EQ(ch, nullptr);
    EXPECT_EQ(FMOD_System_PlaySound(sys, 2, s, false, &ch), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(FMOD_System_Create(nullptr), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(FMOD_System_Init(sys, 2, 0, nullptr), FMOD_ERR_INITIALIZATION);
    EXPECT_EQ(FMOD_System_CreateSound(nullptr, "Menu.mp3", 200, nullptr, &s),
              FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(s, nullptr);

    FMOD_SYSTEM* idle = nullptr;
    ASSERT_EQ(FMOD_System_Create(&idle), FMOD_OK);
    EXPECT_EQ(FMOD_System_Init(idle, 0, 0, nullptr), FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(FMOD_System_CreateSound(idle, fixture("tone44.mp3").c_str(), 200,
                                      nullptr, &s),
              FMOD_ERR_INITIALIZATION);
    short frame[2];
    EXPECT_EQ(zaudio_mix(idle, frame, 1), 0);
    EXPECT_EQ(FMOD_System_Release(idle), FMOD_OK);
}

static void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

static std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/* Files that hold nothing playable: an error, no sound, one line on stderr
 * naming the file the first time, and the system works on. */
TEST_F(Mixer, BadFilesAreRefusedWithOneLine)
{
    std::string dir = fixtureDir() + "/bad";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    std::string good = readFile(fixture("tone44.mp3"));
    ASSERT_GT(good.size(), 10000u);
    std::mt19937 rng(1234);
    std::string noise(65536, '\0');
    for (char& c : noise)
        c = char(rng());
    writeFile(dir + "/empty.mp3", "");
    writeFile(dir + "/cut.mp3", good.substr(0, 200));
    writeFile(dir + "/noise.mp3", noise);
    writeFile(dir + "/text.mp3", "ID3 but not really an MP3 file\n");
    ASSERT_EQ(mkdir((dir + "/folder.mp3").c_str(), 0755), 0);

    struct Case {
        const char* name;
        FMOD_RESULT want;
    };
    for (Case c : {Case{"missing.mp3", FMOD_ERR_FILE_NOTFOUND},
                   Case{"empty.mp3", FMOD_ERR_FORMAT}, Case{"cut.mp3", FMOD_ERR_FORMAT},
                   Case{"noise.mp3", FMOD_ERR_FORMAT}, Case{"text.mp3", FMOD_ERR_FORMAT},
                   Case{"folder.mp3", FMOD_ERR_FORMAT}}) {
        for (FMOD_MODE mode : {FMOD_CREATESTREAM, 0u}) {
            SCOPED_TRACE(std::string(c.name) + (mode ? " stream" : " whole"));
            std::string path = dir + "/" + c.name;
            FMOD_SOUND* s = reinterpret_cast<FMOD_SOUND*>(&s);
            testing::internal::CaptureStderr();
            FMOD_RESULT r = FMOD_System_CreateSound(sys, path.c_str(), mode,
                                                    nullptr, &s);
            std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(r, c.want);
            EXPECT_EQ(s, nullptr);
            /* A file is reported once per run, at its first failure. */
            if (mode == FMOD_CREATESTREAM) {
                EXPECT_EQ(err.rfind("zimbalo: cannot play " + path + ": ", 0), 0u) << err;
            }
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'),
                      mode == FMOD_CREATESTREAM ? 1 : 0) << err;
            EXPECT_EQ(zaudio_live_sounds(), sounds);
        }
    }
    FMOD_CHANNEL* ch = play(open("tone44.mp3"));
    EXPECT_GT(rms(pull(sys, 1000), 0, 2000), 5000.0);
    EXPECT_EQ(FMOD_Channel_Stop(ch), FMOD_OK);
    EXPECT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

/* A file cut in the middle plays what it has, then ends or loops. */
TEST_F(Mixer, TruncatedFilePlaysWhatItHas)
{
    std::string good = readFile(fixture("tone44.mp3"));
    std::string path = fixtureDir() + "/half.mp3";
    writeFile(path, good.substr(0, good.size() / 2));
    Pcm ref = reference("tone44.mp3", SECOND);
    for (bool stream : {true, false}) {
        SCOPED_TRACE(stream ? "stream" : "whole");
        FMOD_SOUND* s = nullptr;
        ASSERT_EQ(FMOD_System_CreateSound(sys, path.c_str(),
                                          stream ? FMOD_CREATESTREAM : 0,
                                          nullptr, &s),
                  FMOD_OK);
        FMOD_CHANNEL* ch = play(s);
        std::vector<short> out = pull(sys, SECOND);
        size_t len = SECOND - longestSilence(out, SECOND / 4, SECOND);
        EXPECT_GT(len, SECOND / 3);
        EXPECT_LT(len, 2 * SECOND / 3);
        EXPECT_LT(maxError(out, ref, 1.0, 0, SECOND / 4), 1.0);
        EXPECT_EQ(FMOD_Channel_Stop(ch), FMOD_ERR_INVALID_HANDLE);
        /* Looping it goes round what there is, without end. */
        ch = play(s);
        FMOD_Sound_SetLoopCount(s, -1);
        out = pull(sys, 2 * SECOND);
        EXPECT_LT(longestSilence(out, 0, 2 * SECOND), 100u);
        EXPECT_EQ(FMOD_Channel_Stop(ch), FMOD_OK);
        ASSERT_EQ(FMOD_Sound_Release(s), FMOD_OK);
    }
    remove(path.c_str());
}

/* Without the offline switch the system takes SDL's device (the dummy
 * driver here) and SDL's own audio thread drives the mixer in real time. */
TEST(Device, TheCallbackPlaysTheSound)
{
    int sounds = zaudio_live_sounds();
    zaudio_offline(0);
    FMOD_SYSTEM* sys = nullptr;
    ASSERT_EQ(FMOD_System_Create(&sys), FMOD_OK);
    FMOD_RESULT r = FMOD_System_Init(sys, 2, 0, nullptr);
    zaudio_offline(1);
    ASSERT_EQ(r, FMOD_OK) << SDL_GetError();

    /* SDL's device is single: a second system runs silent, and says so. */
    FMOD_SYSTEM* second = nullptr;
    ASSERT_EQ(FMOD_System_Create(&second), FMOD_OK);
    zaudio_offline(0);
    testing::internal::CaptureStderr();
    r = FMOD_System_Init(second, 2, 0, nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    zaudio_offline(1);
    EXPECT_EQ(r, FMOD_ERR_OUTPUT_INIT);
    EXPECT_EQ(err.rfind("zimbalo: cannot open the audio device: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(FMOD_System_Release(second), FMOD_OK);

    FMOD_SOUND* s = nullptr;
    ASSERT_EQ(FMOD_System_CreateSound(sys, fixture("Menu.mp3").c_str(), 200,
                                      nullptr, &s),
              FMOD_OK);
    FMOD_CHANNEL* ch = nullptr;
    Uint32 start = SDL_GetTicks();
    ASSERT_EQ(FMOD_System_PlaySound(sys, FMOD_CHANNEL_FREE, s, false, &ch), FMOD_OK);
    /* Silent, in case a real sound card is behind SDL. */
    ASSERT_EQ(FMOD_Channel_SetVolume(ch, 0.0f), FMOD_OK);
    while (FMOD_Channel_SetVolume(ch, 0.0f) == FMOD_OK && SDL_GetTicks() - start < 10000)
        SDL_Delay(10);
    Uint32 took = SDL_GetTicks() - start;
    /* The half-second track ended, played at the device's pace. */
    EXPECT_EQ(FMOD_Channel_Stop(ch), FMOD_ERR_INVALID_HANDLE);
    EXPECT_GE(took, 250u); /* SDL fills a buffer or two ahead */
    EXPECT_LT(took, 10000u);
    EXPECT_EQ(FMOD_System_Release(sys), FMOD_OK);
    EXPECT_EQ(zaudio_live_sounds(), sounds);
}
