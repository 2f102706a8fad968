/* slow_disk.cpp: what a slow disk costs SDL's audio callback and the game's
 * thread. A looping stream plays on SDL's device (the dummy driver, which
 * calls the callback in real time) while every read() of this program takes
 * DELAY_MS milliseconds; prints the callback's longest run and the time that
 * stopping and releasing the stream take, in microseconds. Neither should
 * ever wait for a read: the decoding runs ahead on a thread of its own.
 * usage: slow_disk [SECONDS [DELAY_MS]] (3 and 50), where tone44.mp3 is
 * (tools/make_music.py --fixture DIR writes it). */

#include "audio/mixer.h"

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sys/syscall.h>
#include <unistd.h>

static std::atomic<bool> slow{false};
static int delayMs = 50;

/* This program's read() comes before libc's, for libmpg123 too; while the
 * stream plays, the music file is the only thing the program reads. */
extern "C" ssize_t read(int fd, void* buf, size_t n)
{
    if (slow)
        usleep(useconds_t(1000 * delayMs));
    return syscall(SYS_read, fd, buf, n);
}

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    delayMs = argc > 2 ? std::atoi(argv[2]) : 50;
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    FMOD_SYSTEM* sys = nullptr;
    FMOD_SOUND* s = nullptr;
    FMOD_CHANNEL* ch = nullptr;
    FMOD_System_Create(&sys);
    if (FMOD_System_Init(sys, 2, 0, nullptr) != FMOD_OK ||
        FMOD_System_CreateSound(sys, "tone44.mp3", FMOD_CREATESTREAM, 0, &s) != FMOD_OK)
        return std::fprintf(stderr, "slow_disk: no audio device, or no tone44.mp3 here\n"), 1;
    slow = delayMs > 0;
    FMOD_System_PlaySound(sys, FMOD_CHANNEL_FREE, s, false, &ch);
    FMOD_Sound_SetLoopCount(s, -1);
    zaudio_longest_callback(1);
    SDL_Delay(Uint32(1000 * seconds));
    const long longest = zaudio_longest_callback(0);
    const Uint32 start = SDL_GetTicks();
    FMOD_Channel_Stop(ch);
    FMOD_Sound_Release(s);
    const long stop = long(SDL_GetTicks() - start) * 1000;
    slow = false;
    FMOD_System_Release(sys);
    std::printf("reads of %d ms for %.0f s: longest callback %ld us, stop and release %ld us\n",
                delayMs, seconds, longest, stop);
    return 0;
}
