/* audio_test.cpp: the audio layer, heard through its mixer's output from short
 * MP3 fixtures, and the game's music switch on top of it. */

#include "audio/mixer.h"
#include "fonctions.h"

#include <gtest/gtest.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

typedef std::vector<short> Pcm; /* interleaved stereo frames at 44.1 kHz */
static const size_t SEC = 44100;

/* The tests work in a fresh directory holding the fixtures: the tones that
 * tools/make_music.py writes (Menu.mp3 and Jouer.mp3 among them, since the
 * game's music code opens its tracks by name from there). The systems the
 * tests start stay off SDL's audio device, but for the device test's, so
 * that the tests alone consume what they mix. */
class Fixtures : public testing::Environment {
    char dir[32] = "/tmp/zimbalo-audio-XXXXXX";
    void SetUp() override {
        const char* tools = getenv("ZIMBALO_TOOLS");
        ASSERT_TRUE(mkdtemp(dir) && chdir(dir) == 0);
        ASSERT_EQ(system(("/usr/bin/python3 " + std::string(tools ? tools : ZIMBALO_TOOLS_DIR) +
                          "/make_music.py --fixture .").c_str()), 0);
        zaudio_offline(1);
    }
    void TearDown() override { EXPECT_EQ(system(("rm -rf " + std::string(dir)).c_str()), 0); }
};
static testing::Environment* const fixtures = testing::AddGlobalTestEnvironment(new Fixtures);

/* The next frames frames of sys's mix; a null sys is the newest system alive. */
static Pcm pull(FMOD_SYSTEM* sys, size_t frames) {
    Pcm out(2 * frames, 12345); /* a sample left unwritten shows */
    EXPECT_EQ(zaudio_mix(sys, out.data(), int(frames)), int(frames));
    return out;
}

/* A 44.1 kHz stereo file decoded by libmpg123 alone, gapless: what the layer
 * must play, sample for sample. */
static Pcm reference(const char* name, size_t frames = SEC) {
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    Pcm pcm(2 * frames + 2); /* room for a frame too many */
    size_t got = 0;
    mpg123_open_fixed(mh, name, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_getformat(mh, nullptr, nullptr, nullptr); /* or the read stops at the format */
    mpg123_read(mh, reinterpret_cast<unsigned char*>(pcm.data()), 2 * pcm.size(), &got);
    mpg123_delete(mh);
    EXPECT_EQ(got, 4 * frames) << name << " is not the length it was made at";
    pcm.resize(2 * frames);
    return pcm;
}

/* The largest gap between out and scale times ref, looped, from its frame at
 * on; with a scale of 0, the loudest sample of out. */
static double gap(const Pcm& out, const Pcm& ref, double scale, size_t at = 0) {
    double worst = 0;
    for (size_t i = 0; i < out.size(); i++)
        worst = std::max(worst, std::fabs(out[i] - scale * ref[(i + 2 * at) % ref.size()]));
    return worst;
}

/* The files this process has open. */
static long open_files() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

/* Each test gets a fresh system of four channels; releasing it at the end
 * must free whatever sounds the test left, and close their files. */
struct Mixer : testing::Test {
    FMOD_SYSTEM* sys = [] { FMOD_SYSTEM* s = nullptr; return FMOD_System_Create(&s), s; }();
    const int live = zaudio_live_sounds();
    const long files = open_files();
    void SetUp() override { ASSERT_EQ(FMOD_System_Init(sys, 4, 0, nullptr), FMOD_OK); }
    void TearDown() override {
        EXPECT_TRUE(!FMOD_System_Release(sys) && zaudio_live_sounds() == live);
        EXPECT_EQ(open_files(), files);
    }
    FMOD_SOUND* open(const char* name, FMOD_MODE mode = FMOD_CREATESTREAM) {
        FMOD_SOUND* s = nullptr;
        EXPECT_EQ(FMOD_System_CreateSound(sys, name, mode, nullptr, &s), FMOD_OK) << name;
        return s;
    }
    FMOD_CHANNEL* play(FMOD_SOUND* s, float volume = 1, bool paused = false) {
        FMOD_CHANNEL* ch = nullptr;
        EXPECT_EQ(FMOD_System_PlaySound(sys, FMOD_CHANNEL_FREE, s, paused, &ch), FMOD_OK);
        EXPECT_EQ(FMOD_Channel_SetVolume(ch, volume), FMOD_OK);
        return ch;
    }
};

/* Each channel is scaled by its volume, clamped to 0..1 (7 plays as 1, -1 as
 * 0), and the sum saturates at full scale instead of wrapping round to the
 * other sign. Rounding is the only error allowed. */
TEST_F(Mixer, VolumesScaleAndClampAndTheSumSaturates) {
    const Pcm loud = reference("loud44.mp3"), tone = reference("tone44.mp3");
    FMOD_SOUND* l = open("loud44.mp3", 0);
    play(l, 7.0f), play(l, 1.0f), play(open("tone44.mp3"), 0.5f), play(open("tone44.mp3"), -1.0f);
    const Pcm out = pull(sys, SEC);
    for (size_t i = 0; i < out.size(); i++)
        ASSERT_NEAR(out[i], std::clamp(2.0 * loud[i] + 0.5 * tone[i], -32768.0, 32767.0), 0.501) << i;
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 32767); /* so the sum did saturate */
}

/* Every file plays as its reference, streamed or decoded whole: at 44.1 kHz it
 * is the decoded file to the sample, and at any other rate, mono or stereo,
 * the tone it was made from, at its pitch in both channels. A pass flows into
 * the next without a gap; the loop count, read at the end of each pass, may
 * change while the sound plays; once it ends, the channel is gone. A file
 * that holds no MP3 is refused, and left closed. */
TEST_F(Mixer, PlaysEveryFileAsOftenAsTheLoopCountSays) {
    std::ofstream("bad.mp3") << "no MPEG audio here";
    const struct { const char* file; double hz; int loops, then; size_t at, passes; } cases[] = {
        {"tone44.mp3", 0, 0, 0, 0, 1}, {"tone44.mp3", 0, 0, 2, SEC / 2, 3},
        {"tone44.mp3", 0, -1, 0, 5 * SEC / 2, 3}, {"mono8k.mp3", 440, 0, 0, 0, 1},
        {"tone48k.mp3", 480, 0, 0, 0, 1}};
    for (FMOD_MODE mode : {FMOD_CREATESTREAM, 0u}) {
        FMOD_SOUND* bad = nullptr;
        EXPECT_EQ(FMOD_System_CreateSound(sys, "bad.mp3", mode, nullptr, &bad), FMOD_ERR_FORMAT);
        for (auto c : cases) {
            SCOPED_TRACE(testing::Message() << c.file << (mode ? " stream, " : " whole, ") << c.at);
            Pcm ref = c.hz ? Pcm(2 * SEC) : reference(c.file);
            for (size_t i = 0; c.hz && i < ref.size(); i++)
                ref[i] = short(16384 * std::sin(2 * M_PI * c.hz * double(i / 2) / SEC));
            const size_t slack = c.hz ? 4 : 0, tolerance = c.hz ? 2000 : 0;
            FMOD_SOUND* s = open(c.file, mode);
            EXPECT_EQ(FMOD_Sound_SetLoopCount(s, c.loops), FMOD_OK);
            FMOD_CHANNEL* ch = play(s);
            EXPECT_LE(gap(pull(sys, c.at), ref, 1.0), tolerance);
            EXPECT_EQ(FMOD_Sound_SetLoopCount(s, c.then), FMOD_OK);
            EXPECT_LE(gap(pull(sys, c.passes * SEC - slack - c.at), ref, 1.0, c.at), tolerance);
            pull(sys, 2 * slack); /* at another rate the last frame is held a little longer */
            EXPECT_EQ(gap(pull(sys, SEC / 2), ref, 0.0), 0.0);
            EXPECT_EQ(FMOD_Channel_SetVolume(ch, 1), FMOD_ERR_INVALID_HANDLE);
        }
    }
}

/* However a play ends (stopped, its stream played anew, which starts it over,
 * or its sound released while it plays), its handle goes stale: calls on it
 * fail and reach nothing, not even the play that took its channel next. A
 * play asked for paused holds its channel in silence throughout. */
TEST_F(Mixer, EndedPlaysLeaveStaleHandles) {
    const Pcm ref = reference("tone44.mp3");
    play(open("loud44.mp3"), 1, true); /* paused: silent throughout */
    FMOD_SOUND* s = open("tone44.mp3");
    FMOD_CHANNEL* stopped = play(s);
    pull(sys, 1000);
    EXPECT_EQ(FMOD_Channel_Stop(stopped), FMOD_OK);
    EXPECT_EQ(gap(pull(sys, 1000), ref, 0.0), 0.0);
    FMOD_CHANNEL* replaced = play(s);
    pull(sys, 1000);
    FMOD_CHANNEL* ch = play(s);
    for (FMOD_CHANNEL* old : {stopped, replaced})
        EXPECT_EQ(FMOD_Channel_SetVolume(old, 0), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(gap(pull(sys, 2000), ref, 1.0), 0.0);
    EXPECT_EQ(FMOD_Sound_Release(s), FMOD_OK);
    EXPECT_EQ(gap(pull(sys, 1000), ref, 0.0), 0.0);
    EXPECT_EQ(FMOD_Channel_Stop(ch), FMOD_ERR_INVALID_HANDLE);
    EXPECT_EQ(FMOD_System_PlaySound(sys, FMOD_CHANNEL_FREE, s, 0, &ch), FMOD_ERR_INVALID_HANDLE);
}

/* Off the offline switch a system plays on SDL's device, here its disk
 * driver, from SDL's audio thread: a pull of the test's own must leave that
 * thread free to go on, and the second of tone it plays there ends. */
struct Device : Mixer {
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "disk", 1), setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        setenv("SDL_DISKAUDIODELAY", "5", 1);
        zaudio_offline(0), Mixer::SetUp(), zaudio_offline(1);
    }
};
TEST_F(Device, SdlsAudioThreadPlaysOnAfterAPull) {
    pull(sys, 100);
    FMOD_CHANNEL* ch = play(open("tone44.mp3"));
    for (const Uint32 start = SDL_GetTicks(); SDL_GetTicks() - start < 5000;)
        if (FMOD_Channel_SetVolume(ch, 1) == FMOD_ERR_INVALID_HANDLE)
            return;
        else
            SDL_Delay(10);
    ADD_FAILURE() << "the tone still plays after 5 s";
}

/* The game's music switch, on the system initFMOD keeps to itself (the newest
 * alive). Here Menu.mp3 and Jouer.mp3 are two half-second tones an octave
 * apart. Each switch starts the other track from its beginning, looping, at a
 * fifth of full volume, and frees the one before; a missing track is reported
 * once, and the game goes on in silence until the next switch. */
TEST(Music, SwitchesAlternateLoopAtAFifthAndFreeTheOldTrack) {
    const Pcm tracks[2] = {reference("Menu.mp3", SEC / 2), reference("Jouer.mp3", SEC / 2)};
    const int live = zaudio_live_sounds();
    initFMOD();
    for (int k = 0; k < 8; k++) {
        SCOPED_TRACE(k);
        ASSERT_TRUE(k != 4 || rename("Menu.mp3", "Menu.away") == 0);
        testing::internal::CaptureStderr();
        jouerMusique();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  k == 4 ? "zimbalo: cannot play Menu.mp3: No such file or directory\n" : "");
        const bool silent = k >= 4 && k % 2 == 0;
        EXPECT_EQ(zaudio_live_sounds(), live + !silent);
        /* A track and a half: the loop goes on past the end. */
        EXPECT_LE(gap(pull(nullptr, 3 * SEC / 4), tracks[k % 2], silent ? 0.0 : 0.2), 0.501);
    }
    EXPECT_EQ(rename("Menu.away", "Menu.mp3"), 0);
}
