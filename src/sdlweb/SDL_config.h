/* SDL_config.h: how SDL 1.2 is built for the browser (WebAssembly, through
 * Emscripten's C library): SDL's portable core over the C library, with the
 * game's own video, audio and timer back ends from this folder, and no
 * threads, no assembly, no shared objects. Installed as SDL's own
 * SDL_config.h in the web prefix, replacing the platform dispatch that
 * would otherwise fall back to SDL_config_minimal.h. */
#ifndef _SDL_config_h
#define _SDL_config_h

#include "SDL_platform.h"

/* wasm32: 32-bit pointers, little-endian, 64-bit integers. */
#define SIZEOF_VOIDP 4
#define SDL_HAS_64BIT_TYPE 1
#define SDL_BYTEORDER 1234

/* Emscripten's C library (musl) has all of these. */
#define HAVE_LIBC 1
#define HAVE_ALLOCA_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_STDIO_H 1
#define STDC_HEADERS 1
#define HAVE_STDLIB_H 1
#define HAVE_STDARG_H 1
#define HAVE_MALLOC_H 1
#define HAVE_MEMORY_H 1
#define HAVE_STRING_H 1
#define HAVE_STRINGS_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_STDINT_H 1
#define HAVE_CTYPE_H 1
#define HAVE_MATH_H 1
#define HAVE_SIGNAL_H 1

#define HAVE_MALLOC 1
#define HAVE_CALLOC 1
#define HAVE_REALLOC 1
#define HAVE_FREE 1
#define HAVE_ALLOCA 1
#define HAVE_GETENV 1
#define HAVE_PUTENV 1
#define HAVE_UNSETENV 1
#define HAVE_QSORT 1
#define HAVE_ABS 1
#define HAVE_MEMSET 1
#define HAVE_MEMCPY 1
#define HAVE_MEMMOVE 1
#define HAVE_MEMCMP 1
#define HAVE_STRLEN 1
#define HAVE_STRDUP 1
#define HAVE_STRCHR 1
#define HAVE_STRRCHR 1
#define HAVE_STRSTR 1
#define HAVE_STRTOL 1
#define HAVE_STRTOUL 1
#define HAVE_STRTOLL 1
#define HAVE_STRTOULL 1
#define HAVE_STRTOD 1
#define HAVE_ATOI 1
#define HAVE_ATOF 1
#define HAVE_STRCMP 1
#define HAVE_STRNCMP 1
#define HAVE_STRCASECMP 1
#define HAVE_STRNCASECMP 1
#define HAVE_SSCANF 1
#define HAVE_SNPRINTF 1
#define HAVE_VSNPRINTF 1
#define HAVE_SETJMP 1

/* The game's back ends take the places of SDL's dummy video and audio
 * drivers (under their bootstrap names) and of its timer; the CD-ROM and
 * the joystick get SDL's stubs, so that SDL_INIT_EVERYTHING succeeds. */
#define SDL_VIDEO_DRIVER_DUMMY 1
#define SDL_AUDIO_DRIVER_DUMMY 1
#define SDL_CDROM_DUMMY 1
#define SDL_JOYSTICK_DUMMY 1
#define SDL_LOADSO_DUMMY 1
#define SDL_THREADS_DISABLED 1

/* Every fill of a surface (SDL_FillRect of 32-bit pixels) runs through
 * SDL_memset4. SDL's own, where it has no assembly, is a Duff's device,
 * which the compiler cannot turn into WebAssembly's vector stores; this
 * plain loop it can, and it fills a window several times as fast. */
#define SDL_memset4(dst, val, len)					\
	do {								\
		Uint32 *_p = (Uint32 *)(dst), _v = (val);		\
		unsigned _i, _n = (len);				\
		for (_i = 0; _i < _n; _i++)				\
			_p[_i] = _v;					\
	} while (0)

#endif /* _SDL_config_h */
