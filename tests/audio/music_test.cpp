/* music_test.cpp: the game's track switching (initFMOD, jouerMusique) on the
 * audio layer, and the two shipped tracks. */

#include "audio_fixture.h"
#include "audio/fmod.h"
#include "audio/mixer.h"
#include "fonctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

/* The game's music code keeps its system to itself and can start it only
 * once per process: the suite does that once, in the fixture directory,
 * where Menu.mp3 and Jouer.mp3 are two different tones. Pulling from the
 * newest system reaches it. */
class Music : public testing::Test {
  protected:
    static Pcm menu, jouer;

    static void SetUpTestSuite()
    {
        ASSERT_EQ(chdir(fixtureDir().c_str()), 0);
        menu = decodeFile("Menu.mp3");
        jouer = decodeFile("Jouer.mp3");
        initFMOD();
    }

    static void TearDownTestSuite()
    {
        ASSERT_EQ(chdir(buildDir().c_str()), 0);
    }

    /* Largest |out - 0.2 ref| over the first frames frames of out, which
     * start at frame from of ref, looped. */
    static double errorAgainst(const std::vector<short>& out, const Pcm& ref,
                               size_t frames, size_t from = 0)
    {
        double worst = 0;
        for (size_t i = 0; i < 2 * frames; i++) {
            double want = 0.2 * ref.s[(i + 2 * from) % ref.s.size()];
            worst = std::fmax(worst, std::fabs(out[i] - want));
        }
        return worst;
    }
};

Pcm Music::menu;
Pcm Music::jouer;

/* Menu first, then game, then menu again; each switch starts the new track
 * from its first sample at a fifth of full volume, looping, and keeps one
 * sound alive. */
TEST_F(Music, SwitchesAlternateFromTheStart)
{
    ASSERT_EQ(menu.frames(), 22050u);
    ASSERT_EQ(jouer.frames(), 22050u);
    int before = zaudio_live_sounds();
    const Pcm* order[] = {&menu, &jouer, &menu, &jouer};
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(k);
        jouerMusique();
        EXPECT_EQ(zaudio_live_sounds(), before + 1);
        /* A track and a half: the loop carries on past the end. */
        std::vector<short> out = pull(nullptr, 33075);
        EXPECT_LE(errorAgainst(out, *order[k], 33075), 0.5 + 1e-3);
        EXPECT_GT(errorAgainst(out, *order[(k + 1) % 4], 33075), 1000.0);
    }
}

/* A track that cannot be opened leaves silence, one line on stderr and no
 * sound; the next switch plays its own track. */
TEST_F(Music, AMissingTrackIsSilentUntilTheNextSwitch)
{
    /* The previous test left the game track playing: next is the menu. */
    ASSERT_EQ(rename("Menu.mp3", "Menu.away"), 0);
    int before = zaudio_live_sounds();
    testing::internal::CaptureStderr();
    jouerMusique();
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(rename("Menu.away", "Menu.mp3"), 0);
    EXPECT_EQ(err, "zimbalo: cannot play Menu.mp3: No such file or directory\n");
    EXPECT_EQ(zaudio_live_sounds(), before - 1);
    std::vector<short> out = pull(nullptr, 5000);
    EXPECT_EQ(longestSilence(out, 0, 5000), 5000u);

    jouerMusique();
    EXPECT_EQ(zaudio_live_sounds(), before);
    out = pull(nullptr, 5000);
    EXPECT_LE(errorAgainst(out, jouer, 5000), 0.5 + 1e-3);

    /* A directory in place of a track is no better than a missing one, and
     * the track, reported once already, is not reported again. */
    ASSERT_EQ(rename("Menu.mp3", "Menu.away"), 0);
    ASSERT_EQ(mkdir("Menu.mp3", 0755), 0);
    testing::internal::CaptureStderr();
    jouerMusique();
    err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(rmdir("Menu.mp3"), 0);
    ASSERT_EQ(rename("Menu.away", "Menu.mp3"), 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(longestSilence(pull(nullptr, 5000), 0, 5000), 5000u);
    jouerMusique();
    EXPECT_LE(errorAgainst(pull(nullptr, 5000), jouer, 5000), 0.5 + 1e-3);
}

/* Every switch frees what it replaces: a thousand switches hold one sound
 * and, outside the sanitizers (which keep freed memory aside), no more heap
 * than two. */
TEST_F(Music, AThousandSwitchesHoldOneSound)
{
    int before = zaudio_live_sounds();
    jouerMusique();
    jouerMusique();
    pull(nullptr, 512);
#if !defined(__SANITIZE_ADDRESS__)
    size_t heap = mallinfo2().uordblks;
#endif
    int worst = 0;
    for (int i = 0; i < 1000; i++) {
        jouerMusique();
        pull(nullptr, 512);
        worst = std::max(worst, zaudio_live_sounds());
    }
    EXPECT_EQ(worst, before);
    EXPECT_EQ(zaudio_live_sounds(), before);
#if !defined(__SANITIZE_ADDRESS__)
    size_t grown = mallinfo2().uordblks - heap;
    EXPECT_LT(grown, 64u * 1024u) << "heap grew by " << grown << " bytes";
#endif
    /* An even count of switches: the same track as before them. */
    EXPECT_LE(errorAgainst(pull(nullptr, 2000), jouer, 2000, 512), 0.5 + 1e-3);
}

/* The shipped tracks, as the game finds them in its data directory, with
 * the tempo each was written at. */
struct Track {
    const char* file;
    int bpm;
};

static void PrintTo(const Track& t, std::ostream* os)
{
    *os << t.file;
}

class Tracks : public testing::TestWithParam<Track> {};

/* The largest curvature within 8 frames of frame at, reading s round its
 * end as a loop does. */
static double bendAround(const std::vector<short>& s, size_t at)
{
    size_t n = s.size() / 2;
    std::vector<short> window;
    for (size_t i = at + n - 10; i < at + n + 8; i++) {
        window.push_back(s[2 * (i % n)]);
        window.push_back(s[2 * (i % n) + 1]);
    }
    return curvature(window, 2, 18);
}

TEST_P(Tracks, FitTheGame)
{
    std::string path = buildDir() + "/" + GetParam().file;
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_LE(st.st_size, 1500000);

    Pcm pcm = decodeFile(path);
    ASSERT_EQ(pcm.rate, 44100);
    ASSERT_EQ(pcm.channels, 2);
    size_t n = pcm.frames();
    EXPECT_GE(n, 30u * 44100u);
    EXPECT_LE(n, 90u * 44100u);
    /* A whole number of bars of four beats, so that the loop keeps time. */
    size_t bar = 4u * 60u * 44100u / size_t(GetParam().bpm);
    ASSERT_EQ(n % bar, 0u);

    /* Loud: peaks within 1 dB of full scale. */
    int peak = 0;
    for (short v : pcm.s)
        peak = std::max(peak, std::abs(int(v)));
    EXPECT_GE(peak, 29205);

    /* The end flows into the start: the loop's joint is a downbeat like
     * any other, bending the wave no more than the sharpest of them (a
     * click would), and nothing falls silent there. */
    double sharpest = 0;
    for (size_t b = 1; b < n / bar; b++)
        sharpest = std::max(sharpest, bendAround(pcm.s, b * bar));
    EXPECT_GT(sharpest, 0.0);
    EXPECT_LE(bendAround(pcm.s, 0), sharpest);
    std::vector<short> joint(pcm.s.end() - 2 * 64, pcm.s.end());
    joint.insert(joint.end(), pcm.s.begin(), pcm.s.begin() + 2 * 64);
    EXPECT_LT(longestSilence(joint, 0, 128), 4u);

    /* Streamed by the layer with a loop count of -1, the second pass
     * starts right after the first, sample for sample. */
    FMOD_SYSTEM* sys = nullptr;
    ASSERT_EQ(FMOD_System_Create(&sys), FMOD_OK);
    ASSERT_EQ(FMOD_System_Init(sys, 1, 0, nullptr), FMOD_OK);
    FMOD_SOUND* s = nullptr;
    ASSERT_EQ(FMOD_System_CreateSound(sys, path.c_str(), 200, nullptr, &s), FMOD_OK);
    ASSERT_EQ(FMOD_System_PlaySound(sys, FMOD_CHANNEL_FREE, s, false, nullptr), FMOD_OK);
    ASSERT_EQ(FMOD_Sound_SetLoopCount(s, -1), FMOD_OK);
    std::vector<short> out = pull(sys, n + 4410);
    size_t differ = 0;
    for (size_t i = 0; i < out.size(); i++)
        differ += out[i] != pcm.s[i % pcm.s.size()];
    EXPECT_EQ(differ, 0u);
    EXPECT_EQ(FMOD_System_Release(sys), FMOD_OK);
}

INSTANTIATE_TEST_SUITE_P(Shipped, Tracks,
                         testing::Values(Track{"Menu.mp3", 90}, Track{"Jouer.mp3", 140}),
                         [](const testing::TestParamInfo<Track>& info) {
                             return std::string(info.param.file).substr(
                                 0, std::string(info.param.file).find('.'));
                         });
