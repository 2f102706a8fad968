/* slow_disk_test.cpp: a slow disk stalls neither SDL's audio callback nor the game's thread. */

#include "audio/mixer.h"

#include <gtest/gtest.h>
#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sys/syscall.h>
#include <unistd.h>

/* While set, every read() takes ZIMBALO_SLOW_DISK_MS milliseconds (50
 * unless set; 0 leaves the disk alone); the music file is the only thing
 * the program reads then. */
static std::atomic<bool> slow{false};
static const char* const delayMs = getenv("ZIMBALO_SLOW_DISK_MS");

/* This program's read() comes before libc's, for libmpg123 too. */
extern "C" ssize_t read(int fd, void* buf, size_t n)
{
    if (slow)
        usleep(useconds_t(1000 * (delayMs ? atoi(delayMs) : 50)));
    return syscall(SYS_read, fd, buf, n);
}

/* A looping stream on SDL's device (the dummy driver), for
 * ZIMBALO_SLOW_DISK_SECONDS seconds (3 unless set): while the disk holds up
 * the decoding, neither the callback nor stopping and releasing the stream
 * ever waits for a read. The bound is half a read, so that a loaded machine
 * cannot fail it; the callback's usual worst case, well under 2 ms, is
 * measured in docs/PERFORMANCE.md. */
TEST(SlowDisk, NeitherTheCallbackNorTheGameWaits)
{
    FMOD_SYSTEM* sys = nullptr;
    ASSERT_EQ(FMOD_System_Create(&sys), FMOD_OK);
    zaudio_offline(0);
    FMOD_RESULT r = FMOD_System_Init(sys, 2, 0, nullptr);
    zaudio_offline(1);
    ASSERT_EQ(r, FMOD_OK) << SDL_GetError();
    FMOD_SOUND* s = nullptr;
    FMOD_CHANNEL* ch = nullptr;
    ASSERT_EQ(FMOD_System_CreateSound(sys, "tone44.mp3", FMOD_CREATESTREAM, 0, &s), FMOD_OK);
    slow = !delayMs || atoi(delayMs) > 0;
    ASSERT_EQ(FMOD_System_PlaySound(sys, FMOD_CHANNEL_FREE, s, false, &ch), FMOD_OK);
    FMOD_Sound_SetLoopCount(s, -1);
    zaudio_longest_callback(1);
    const char* seconds = getenv("ZIMBALO_SLOW_DISK_SECONDS");
    SDL_Delay(Uint32(1000 * (seconds ? atof(seconds) : 3.0)));
    long longest = zaudio_longest_callback(0);
    printf("longest callback: %ld us\n", longest);
    const long halfRead = 500L * (delayMs && atoi(delayMs) > 0 ? atoi(delayMs) : 50);
    EXPECT_LT(longest, halfRead) << "microseconds in one callback";
    Uint32 start = SDL_GetTicks();
    EXPECT_EQ(FMOD_Channel_Stop(ch), FMOD_OK);
    EXPECT_EQ(FMOD_Sound_Release(s), FMOD_OK);
    EXPECT_LT(long(SDL_GetTicks() - start) * 1000, halfRead) << "microseconds to stop and release";
    EXPECT_EQ(FMOD_System_Release(sys), FMOD_OK);
    slow = false;
}
