/* SDL_webaudio.c: SDL 1.2's audio driver for the browser: a Web Audio
 * ScriptProcessorNode asks for each block of sound, which SDL's callback
 * mixes into memory, 16-bit stereo, and the node plays as two channels of
 * floats. No thread: the browser calls the node between the program's
 * sleeps (SDL_Delay), on the program's one thread. It takes the place of
 * SDL's dummy audio driver, under its bootstrap name. */
#include "SDL_config.h"
#include "SDL_webdevice.h"

#include <emscripten.h>

#include "SDL_audio.h"
#include "SDL_audio_c.h"
#include "SDL_sysaudio.h"

struct SDL_PrivateAudioData {
	Uint8 *mix; /* one block in the device's format */
	int mix_len;
};

/* The open device, for the node's calls; NULL when none is. */
static SDL_AudioDevice *web_device;

/* Connects a ScriptProcessorNode of `frames` frames a block and two output
 * channels to the page's AudioContext: Module.zimbaloAudio, which the page
 * makes in a click handler since browsers start sound only after a gesture,
 * or else a new one at `rate` (which may stay silent until the page
 * resumes it). Returns the context's sample rate, 0 when the page has no
 * Web Audio. Each block comes from SDL_WebAudioFill, 16-bit interleaved,
 * and is split into the node's two outputs. */
EM_JS(int, web_audio_open, (int rate, int frames), {
	var ctx = Module.zimbaloAudio;
	if (!ctx) {
		var Context = typeof AudioContext != 'undefined' ? AudioContext :
			typeof webkitAudioContext != 'undefined' ? webkitAudioContext : null;
		if (!Context) return 0;
		try {
			ctx = new Context({ sampleRate: rate });
		} catch (e) {
			return 0;
		}
		Module.zimbaloAudio = ctx;
	}
	var node = ctx.createScriptProcessor(frames, 0, 2);
	node.onaudioprocess = function(e) {
		var left = e.outputBuffer.getChannelData(0);
		var right = e.outputBuffer.getChannelData(1);
		var n = left.length;
		var p = _SDL_WebAudioFill(n) >> 1;
		var i;
		if (!p) {
			left.fill(0);
			right.fill(0);
			return;
		}
		for (i = 0; i < n; i++) {
			left[i] = HEAP16[p + 2 * i] / 32768;
			right[i] = HEAP16[p + 2 * i + 1] / 32768;
		}
	};
	node.connect(ctx.destination);
	Module.zimbaloAudioNode = node;
	if (ctx.state == 'suspended' && ctx.resume) ctx.resume().catch(function() {});
	return ctx.sampleRate;
});

EM_JS(void, web_audio_close, (void), {
	var node = Module.zimbaloAudioNode;
	if (!node) return;
	node.onaudioprocess = null;
	node.disconnect();
	Module.zimbaloAudioNode = null;
});

/* One block of `frames` frames for the node, mixed by the program's SDL
 * callback as SDL's audio thread would: silence while the device is paused,
 * converted when SDL converts. Returns the block, or NULL when no device is
 * open or the node asks for more than a block. */
EMSCRIPTEN_KEEPALIVE Uint8 *SDL_WebAudioFill(int frames)
{
	SDL_AudioDevice *audio = web_device;
	Uint8 *stream;
	int len;

	if (!audio || frames * 4 > audio->hidden->mix_len)
		return NULL;
	len = frames * 4;
	if (audio->convert.needed) {
		int got;

		stream = audio->convert.buf;
		SDL_memset(stream, audio->convert.src_format == AUDIO_U8 ? 0x80 : 0,
			   audio->convert.len);
		if (audio->enabled && !audio->paused)
			audio->spec.callback(audio->spec.userdata, stream, audio->convert.len);
		SDL_ConvertAudio(&audio->convert);
		got = audio->convert.len_cvt < len ? audio->convert.len_cvt : len;
		SDL_memcpy(audio->hidden->mix, audio->convert.buf, got);
		SDL_memset(audio->hidden->mix + got, 0, len - got);
	} else {
		SDL_memset(audio->hidden->mix, audio->spec.silence, len);
		if (audio->enabled && !audio->paused)
			audio->spec.callback(audio->spec.userdata, audio->hidden->mix, len);
	}
	return audio->hidden->mix;
}

/* 16-bit stereo at the context's rate, in blocks of a power of two frames
 * (as the node takes) near what was asked; SDL converts whatever else the
 * program asked for. Returns 1: the node drives the callback, SDL starts no
 * thread. */
static int WEBAUD_OpenAudio(SDL_AudioDevice *this, SDL_AudioSpec *spec)
{
	int frames = 256, rate;

	while (frames < spec->samples && frames < 16384)
		frames *= 2;
	rate = web_audio_open(spec->freq, frames);
	if (rate <= 0) {
		SDL_SetError("The browser has no Web Audio");
		return -1;
	}
	spec->freq = rate;
	spec->format = AUDIO_S16SYS;
	spec->channels = 2;
	spec->samples = (Uint16)frames;
	SDL_CalculateAudioSpec(spec);

	this->hidden->mix_len = (int)spec->size;
	this->hidden->mix = SDL_malloc(spec->size);
	if (!this->hidden->mix) {
		web_audio_close();
		SDL_OutOfMemory();
		return -1;
	}
	web_device = this;
	return 1;
}

static void WEBAUD_CloseAudio(SDL_AudioDevice *this)
{
	web_audio_close();
	web_device = NULL;
	SDL_free(this->hidden->mix);
	this->hidden->mix = NULL;
	this->hidden->mix_len = 0;
}

/* The callback never runs while the program does (one thread): nothing to
 * lock. SDL's own lock would fail, having no mutex without threads. */
static void WEBAUD_LockAudio(SDL_AudioDevice *this)
{
}

static void WEBAUD_UnlockAudio(SDL_AudioDevice *this)
{
}

/* Always there, so that SDL_Init(SDL_INIT_AUDIO) succeeds: opening the
 * device is what fails without Web Audio. */
static int WEBAUD_Available(void)
{
	return 1;
}

static void WEBAUD_DeleteDevice(SDL_AudioDevice *device)
{
	SDL_free(device->hidden);
	SDL_free(device);
}

static SDL_AudioDevice *WEBAUD_CreateDevice(int devindex)
{
	void *hidden;
	SDL_AudioDevice *device = web_device_new(sizeof *device, sizeof *device->hidden, &hidden);

	if (!device)
		return NULL;
	device->hidden = hidden;

	device->OpenAudio = WEBAUD_OpenAudio;
	device->CloseAudio = WEBAUD_CloseAudio;
	device->LockAudio = WEBAUD_LockAudio;
	device->UnlockAudio = WEBAUD_UnlockAudio;
	device->free = WEBAUD_DeleteDevice;
	return device;
}

AudioBootStrap DUMMYAUD_bootstrap = {
	"web", "The browser's Web Audio",
	WEBAUD_Available, WEBAUD_CreateDevice
};
