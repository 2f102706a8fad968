/* SDL_webdevice.h: the device records of the browser's video and audio
 * drivers, made alike. */
#ifndef SDL_webdevice_h
#define SDL_webdevice_h

#include "SDL_stdinc.h"
#include "SDL_error.h"

/* Allocates a zeroed driver record of `size` bytes and its zeroed private
 * part of `hidden_size` bytes, which *hidden then points to. Returns the
 * record, or NULL, with SDL's out-of-memory error set and nothing left
 * allocated. The driver frees both in its DeleteDevice. */
static void *web_device_new(size_t size, size_t hidden_size, void **hidden)
{
	void *device = SDL_calloc(1, size);

	*hidden = device ? SDL_calloc(1, hidden_size) : NULL;
	if (!*hidden) {
		SDL_free(device);
		SDL_OutOfMemory();
		return NULL;
	}
	return device;
}

#endif
