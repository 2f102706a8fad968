/* SDL_webvideo.c: SDL 1.2's video driver for the browser: the screen is a
 * surface in the program's memory, in the X11 desktop's 32-bit format so
 * that every blit computes what it computes on Linux, copied to the page's
 * canvas (Module.canvas) on each update; the mouse and the keyboard come
 * from a queue that the page fills from its DOM events. It takes the place
 * of SDL's dummy driver, under its bootstrap name. */
#include "SDL_config.h"
#include "SDL_webdevice.h"

#include <emscripten.h>

#include "SDL_video.h"
#include "SDL_mouse.h"
#include "SDL_sysvideo.h"
#include "SDL_pixels_c.h"
#include "SDL_events_c.h"

/* The X11 desktop's format: 32 bits, 0x00RRGGBB. */
#define WEB_RMASK 0x00FF0000
#define WEB_GMASK 0x0000FF00
#define WEB_BMASK 0x000000FF

struct SDL_PrivateVideoData {
	Uint32 *pixels;  /* the screen surface's pixels */
	Uint32 *shown;   /* the pixels as the canvas last showed them */
	Uint32 *canvas;  /* the same in the canvas's RGBA order, opaque */
	int w, h;
};

/* The window manager's cursor: the browser's own, shown or hidden. */
struct WMcursor {
	int unused;
};

/* --- The page's side --------------------------------------------------- */

/* Defines Module.zimbaloEvent(type, a, b, c), which queues one event in
 * SDL's terms for PumpEvents (type 1: motion to canvas pixel (a, b); 2 and
 * 3: button a pressed and released at (b, c); 4 and 5: SDL key a pressed
 * and released, with character b), and Module.zimbaloDomEvent(event),
 * which translates a DOM mousemove, mousedown, mouseup, wheel, keydown or
 * keyup event into those, scaling CSS pixels to canvas pixels, and returns
 * whether it took the event (so that the page may prevent its default);
 * given {type: 'blur'}, it releases every key held, and given {type:
 * 'escape'}, it presses and releases Escape. A touch screen's first finger
 * (touchstart, touchmove, touchend, touchcancel) is the mouse's left
 * button, and a finger lifted is also a press of Return, since a touch
 * screen has no keys for the screens that wait for one. */
EM_JS(void, web_install_events, (void), {
	if (Module.zimbaloEvent) return;
	var queue = [];
	Module.zimbaloQueue = queue;
	Module.zimbaloEvent = function(type, a, b, c) {
		queue.push(type | 0, a | 0, b | 0, c | 0);
	};
	var named = {
		Backspace: 8, Tab: 9, Clear: 12, Enter: 13, Pause: 19, Escape: 27,
		Delete: 127, ArrowUp: 273, ArrowDown: 274, ArrowRight: 275,
		ArrowLeft: 276, Insert: 277, Home: 278, End: 279, PageUp: 280,
		PageDown: 281, NumLock: 300, CapsLock: 301, ScrollLock: 302,
		AltGraph: 313, PrintScreen: 316, ContextMenu: 319
	};
	var coded = {
		ShiftRight: 303, ShiftLeft: 304, ControlRight: 305, ControlLeft: 306,
		AltRight: 307, AltLeft: 308, MetaRight: 309, MetaLeft: 310,
		OSRight: 312, OSLeft: 311, NumpadDecimal: 266, NumpadDivide: 267,
		NumpadMultiply: 268, NumpadSubtract: 269, NumpadAdd: 270,
		NumpadEnter: 271, NumpadEqual: 272
	};
	/* The keys down, by the physical key (e.code), with the SDL key each
	 * went down as: a key comes up as the key it went down as, whatever
	 * Shift or the layout did to its name meanwhile, and all come up when
	 * the page loses the keyboard (a 'blur'), since their real release
	 * will never reach it. */
	var held = {};
	for (var i = 0; i < 10; i++) coded['Numpad' + i] = 256 + i;
	for (var f = 1; f <= 15; f++) named['F' + f] = 281 + f;
	/* SDL's key for a DOM key: by position for the keypad and the
	 * modifiers, by name for the named keys, and for a character key the
	 * character itself, in lower case, up to Latin-1 (as X11's keysyms);
	 * anything else is SDL's unknown key, which SDL still reports. */
	function sym(e) {
		if (e.code in coded) return coded[e.code];
		if (e.key in named) return named[e.key];
		if (e.key && e.key.length == 1) {
			var c = e.key.toLowerCase().charCodeAt(0);
			if (c < 256) return c;
		}
		return 0;
	}
	/* The canvas pixel under a point of the page. The page shows the
	 * canvas whole, at its own shape and centred (object-fit: contain), in
	 * an element of any shape; a point outside the picture counts as its
	 * nearest edge. (A canvas not shown, of no size, gives NaN, which the
	 * event's | 0 makes 0.) */
	function at(e) {
		var canvas = Module.canvas;
		var r = canvas.getBoundingClientRect();
		var w = canvas.width, h = canvas.height;
		var s = Math.min(r.width / w, r.height / h);
		var x = (e.clientX - r.left - (r.width - w * s) / 2) / s;
		var y = (e.clientY - r.top - (r.height - h * s) / 2) / s;
		return [Math.max(0, Math.min(w - 1, Math.floor(x))),
			Math.max(0, Math.min(h - 1, Math.floor(y)))];
	}
	/* A press and release of a key, unless that key is held down. */
	function stroke(code) {
		if (code in held) return;
		Module.zimbaloEvent(4, named[code], named[code], 0);
		Module.zimbaloEvent(5, named[code], 0, 0);
	}
	var finger = null;  /* the touch that is the mouse, while it lasts */
	function touch(e) {
		for (var i = 0; i < e.changedTouches.length; i++) {
			var t = e.changedTouches[i];
			if (e.type == 'touchstart' ? finger !== null : t.identifier !== finger)
				continue;
			var p = at(t);
			if (e.type == 'touchmove') {
				Module.zimbaloEvent(1, p[0], p[1], 0);
			} else if (e.type == 'touchstart') {
				finger = t.identifier;
				Module.zimbaloEvent(2, 1, p[0], p[1]);
			} else {
				finger = null;
				Module.zimbaloEvent(3, 1, p[0], p[1]);
				if (e.type == 'touchend') stroke('Enter');
			}
		}
		return true;
	}
	Module.zimbaloDomEvent = function(e) {
		var p;
		switch (e.type) {
		case 'mousemove':
			p = at(e);
			Module.zimbaloEvent(1, p[0], p[1], 0);
			return true;
		case 'mousedown':
		case 'mouseup':
			if (e.button > 2) return false;
			p = at(e);
			Module.zimbaloEvent(e.type == 'mousedown' ? 2 : 3,
				[1, 2, 3][e.button], p[0], p[1]);
			return true;
		case 'wheel':
			if (!e.deltaY) return false;
			p = at(e);
			var b = e.deltaY < 0 ? 4 : 5;
			Module.zimbaloEvent(2, b, p[0], p[1]);
			Module.zimbaloEvent(3, b, p[0], p[1]);
			return true;
		case 'keydown':
			if (e.repeat || e.code in held) return true;
			var u = e.key && e.key.length == 1 ? e.key.charCodeAt(0) : 0;
			held[e.code] = sym(e);
			Module.zimbaloEvent(4, held[e.code], u, 0);
			return true;
		case 'keyup':
			if (!(e.code in held)) return false;
			Module.zimbaloEvent(5, held[e.code], 0, 0);
			delete held[e.code];
			return true;
		case 'blur':
			for (var code in held) Module.zimbaloEvent(5, held[code], 0, 0);
			held = {};
			return true;
		case 'escape':
			stroke('Escape');
			return true;
		case 'touchstart':
		case 'touchmove':
		case 'touchend':
		case 'touchcancel':
			return touch(e);
		}
		return false;
	};
});

/* Moves up to max queued events (4 ints each) into out; returns how many. */
EM_JS(int, web_take_events, (int *out, int max), {
	var queue = Module.zimbaloQueue;
	if (!queue) return 0;
	var n = Math.min(queue.length >> 2, max);
	var words = queue.splice(0, n * 4);
	HEAP32.set(words, out >> 2);
	return n;
});

/* The canvas's size in canvas pixels; 0 when the page has no canvas. */
EM_JS(int, web_canvas_size, (int *w, int *h), {
	var canvas = Module.canvas;
	if (!canvas) return 0;
	HEAP32[w >> 2] = canvas.width;
	HEAP32[h >> 2] = canvas.height;
	return 1;
});

/* Sizes the canvas to a new screen, which clears it to opaque black. The
 * context is desynchronized: chromium then draws the canvas's changes
 * straight to the screen instead of compositing the whole page again,
 * which took a millisecond of each frame of the menus; other engines take
 * it as a hint. */
EM_JS(void, web_canvas_resize, (int w, int h), {
	var canvas = Module.canvas;
	canvas.width = w;
	canvas.height = h;
	Module.zimbaloContext = canvas.getContext('2d', { alpha: false, desynchronized: true });
});

/* Draws the part (x, y, w, h) of rgba, a whole canvas of width cw and
 * height ch in RGBA, on the canvas. The ImageData over rgba is made once
 * and kept: a new one at every put was a third of the upload's cost. It is
 * made again for a new screen, or when the memory grows, which detaches
 * the buffer it views. */
EM_JS(void, web_canvas_put, (const void *rgba, int cw, int ch, int x, int y, int w, int h), {
	var image = Module.zimbaloImage;
	if (!image || image.data.buffer !== HEAPU8.buffer || image.data.byteOffset !== rgba ||
	    image.width !== cw || image.height !== ch) {
		var pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, cw * ch * 4);
		image = Module.zimbaloImage = new ImageData(pixels, cw, ch);
	}
	Module.zimbaloContext.putImageData(image, 0, 0, x, y, w, h);
});

EM_JS(void, web_set_title, (const char *title), {
	document.title = UTF8ToString(title);
});

EM_JS(void, web_show_cursor, (int shown), {
	if (Module.canvas) Module.canvas.style.cursor = shown ? 'default' : 'none';
});

/* --- The driver --------------------------------------------------------- */

/* The page can call Module.zimbaloEvent as soon as the program is loaded,
 * before main: the queue keeps what comes until SDL starts reading it. */
static void __attribute__((constructor)) web_video_load(void)
{
	web_install_events();
}

static int WEB_VideoInit(SDL_VideoDevice *this, SDL_PixelFormat *vformat)
{
	int w, h;

	if (!web_canvas_size(&w, &h)) {
		SDL_SetError("The page has no canvas (Module.canvas)");
		return -1;
	}
	vformat->BitsPerPixel = 32;
	vformat->BytesPerPixel = 4;
	vformat->Rmask = WEB_RMASK;
	vformat->Gmask = WEB_GMASK;
	vformat->Bmask = WEB_BMASK;
	this->info.current_w = w;
	this->info.current_h = h;
	/* Nothing is accelerated; SDL blits in software. */
	this->info.hw_available = 0;
	this->info.wm_available = 1;
	return 0;
}

/* Any size, in the desktop's format only: SDL converts from any other
 * depth through a shadow surface, as it does on an X11 desktop. */
static SDL_Rect **WEB_ListModes(SDL_VideoDevice *this, SDL_PixelFormat *format,
				Uint32 flags)
{
	if (format->BitsPerPixel != 32)
		return NULL;
	return (SDL_Rect **)-1;
}

static void web_free_screen(SDL_VideoDevice *this)
{
	SDL_free(this->hidden->pixels);
	SDL_free(this->hidden->shown);
	SDL_free(this->hidden->canvas);
	this->hidden->pixels = NULL;
	this->hidden->shown = NULL;
	this->hidden->canvas = NULL;
	this->hidden->w = this->hidden->h = 0;
}

/* A software surface of the size asked for, and a canvas of that size. */
static SDL_Surface *WEB_SetVideoMode(SDL_VideoDevice *this, SDL_Surface *current,
				     int width, int height, int bpp, Uint32 flags)
{
	size_t bytes = (size_t)width * (size_t)height * 4, i;

	web_free_screen(this);
	current->pixels = NULL;
	if (width <= 0 || height <= 0) {
		SDL_SetError("Invalid video mode %dx%d", width, height);
		return NULL;
	}
	/* The format first: it fails with nothing to undo. */
	if (!SDL_ReallocFormat(current, 32, WEB_RMASK, WEB_GMASK, WEB_BMASK, 0))
		return NULL;
	/* Black, all three, as the canvas is once resized. */
	this->hidden->pixels = SDL_calloc(1, bytes);
	this->hidden->shown = SDL_calloc(1, bytes);
	this->hidden->canvas = SDL_malloc(bytes);
	if (!this->hidden->pixels || !this->hidden->shown || !this->hidden->canvas) {
		web_free_screen(this);
		SDL_OutOfMemory();
		return NULL;
	}
	for (i = 0; i < (size_t)width * (size_t)height; i++)
		this->hidden->canvas[i] = 0xFF000000u;
	web_canvas_resize(width, height);

	current->flags = (flags & (SDL_FULLSCREEN | SDL_NOFRAME)) | SDL_SWSURFACE;
	this->hidden->w = current->w = width;
	this->hidden->h = current->h = height;
	current->pitch = (Uint16)(width * 4);
	current->pixels = this->hidden->pixels;
	return current;
}

/* The screen is the only surface and it lives in ordinary memory. */
static int WEB_AllocHWSurface(SDL_VideoDevice *this, SDL_Surface *surface)
{
	return -1;
}

static void WEB_FreeHWSurface(SDL_VideoDevice *this, SDL_Surface *surface)
{
}

static int WEB_LockHWSurface(SDL_VideoDevice *this, SDL_Surface *surface)
{
	return 0;
}

static void WEB_UnlockHWSurface(SDL_VideoDevice *this, SDL_Surface *surface)
{
}

/* Pixels compared at a time, and rows drawn at a time. */
#define WEB_SPAN 64
#define WEB_BAND 32

/* Whether n pixels differ: without a branch, so that it vectorises. */
static Uint32 web_differ(const Uint32 *a, const Uint32 *b, int n)
{
	Uint32 diff = 0;
	int i;

	for (i = 0; i < n; i++)
		diff |= a[i] ^ b[i];
	return diff;
}

/* Compares one row's pixels [x, x + w) with those shown, WEB_SPAN at a
 * time, and converts each span that changed to the canvas's RGBA; widens
 * [*left, *right) over them. */
static void web_convert_row(const Uint32 *in, Uint32 *shown, Uint32 *out, int x, int w,
			    int *left, int *right)
{
	int col, i;

	for (col = x; col < x + w; col += WEB_SPAN) {
		int n = x + w - col < WEB_SPAN ? x + w - col : WEB_SPAN;

		/* A whole span in a loop of constant length, unrolled. */
		if (!(n == WEB_SPAN ? web_differ(in + col, shown + col, WEB_SPAN)
				    : web_differ(in + col, shown + col, n)))
			continue;
		for (i = col; i < col + n; i++) {
			Uint32 p = in[i];
			shown[i] = p;
			/* 0x00RRGGBB to the bytes R, G, B, 255. */
			out[i] = 0xFF000000u | ((p & 0xFF) << 16) | (p & 0xFF00) |
				 ((p >> 16) & 0xFF);
		}
		if (col < *left)
			*left = col;
		if (col + n > *right)
			*right = col + n;
	}
}

/* Copies each rectangle to the canvas, WEB_BAND rows at a time, drawing
 * only what changed since the last update: a frame of the game mostly
 * redraws the same pixels, and the browser's putImageData of a whole
 * window is most of a frame's time in a browser that paints in software. */
static void WEB_UpdateRects(SDL_VideoDevice *this, int numrects, SDL_Rect *rects)
{
	struct SDL_PrivateVideoData *screen = this->hidden;
	int i;

	if (!screen->pixels)
		return;
	for (i = 0; i < numrects; i++) {
		int x = rects[i].x, y = rects[i].y, w = rects[i].w, h = rects[i].h;
		int band, row;

		if (x < 0) { w += x; x = 0; }
		if (y < 0) { h += y; y = 0; }
		if (x + w > screen->w) w = screen->w - x;
		if (y + h > screen->h) h = screen->h - y;
		if (w <= 0 || h <= 0)
			continue;
		for (band = y; band < y + h; band += WEB_BAND) {
			int end = band + WEB_BAND < y + h ? band + WEB_BAND : y + h;
			int left = x + w, right = x;

			for (row = band; row < end; row++) {
				size_t at = (size_t)row * screen->w;
				web_convert_row(screen->pixels + at, screen->shown + at,
						screen->canvas + at, x, w, &left, &right);
			}
			if (left < right)
				web_canvas_put(screen->canvas, screen->w, screen->h,
					       left, band, right - left, end - band);
		}
	}
}

/* A 32-bit screen has no palette. */
static int WEB_SetColors(SDL_VideoDevice *this, int firstcolor, int ncolors,
			 SDL_Color *colors)
{
	return 0;
}

static void WEB_VideoQuit(SDL_VideoDevice *this)
{
	if (this->screen && this->screen->pixels == this->hidden->pixels)
		this->screen->pixels = NULL;
	web_free_screen(this);
}

static void WEB_SetCaption(SDL_VideoDevice *this, const char *title, const char *icon)
{
	if (title)
		web_set_title(title);
}

/* SDL's cursors are shown as the browser's arrow, so that SDL never draws
 * one into the screen, as it does not on X11. */
static WMcursor *WEB_CreateWMCursor(SDL_VideoDevice *this, Uint8 *data, Uint8 *mask,
				    int w, int h, int hot_x, int hot_y)
{
	WMcursor *cursor = SDL_malloc(sizeof *cursor);

	if (!cursor)
		SDL_OutOfMemory();
	return cursor;
}

static void WEB_FreeWMCursor(SDL_VideoDevice *this, WMcursor *cursor)
{
	SDL_free(cursor);
}

static int WEB_ShowWMCursor(SDL_VideoDevice *this, WMcursor *cursor)
{
	web_show_cursor(cursor != NULL);
	return 1;
}

/* Hands the page's queued events to SDL. */
static void WEB_PumpEvents(SDL_VideoDevice *this)
{
	int events[64 * 4];
	int n, i;

	do {
		n = web_take_events(events, 64);
		for (i = 0; i < n; i++) {
			const int *e = events + i * 4;
			SDL_keysym key;

			switch (e[0]) {
			case 1:
				SDL_PrivateMouseMotion(0, 0, (Sint16)e[1], (Sint16)e[2]);
				break;
			case 2:
			case 3:
				/* Where the pointer is now, as SDL reads a button's
				 * position (a 0 coordinate keeps the last one). */
				SDL_PrivateMouseMotion(0, 0, (Sint16)e[2], (Sint16)e[3]);
				SDL_PrivateMouseButton(e[0] == 2 ? SDL_PRESSED : SDL_RELEASED,
						       (Uint8)e[1], 0, 0);
				break;
			case 4:
			case 5:
				SDL_memset(&key, 0, sizeof key);
				key.sym = (SDLKey)e[1];
				key.unicode = (Uint16)e[2];
				SDL_PrivateKeyboard(e[0] == 4 ? SDL_PRESSED : SDL_RELEASED, &key);
				break;
			}
		}
	} while (n == 64);
}

/* The keys come already translated to SDL's; nothing to set up. */
static void WEB_InitOSKeymap(SDL_VideoDevice *this)
{
}

static int WEB_Available(void)
{
	return 1;
}

static void WEB_DeleteDevice(SDL_VideoDevice *device)
{
	SDL_free(device->hidden);
	SDL_free(device);
}

static SDL_VideoDevice *WEB_CreateDevice(int devindex)
{
	void *hidden;
	SDL_VideoDevice *device = web_device_new(sizeof *device, sizeof *device->hidden, &hidden);

	if (!device)
		return NULL;
	device->hidden = hidden;

	device->VideoInit = WEB_VideoInit;
	device->ListModes = WEB_ListModes;
	device->SetVideoMode = WEB_SetVideoMode;
	device->SetColors = WEB_SetColors;
	device->UpdateRects = WEB_UpdateRects;
	device->VideoQuit = WEB_VideoQuit;
	device->AllocHWSurface = WEB_AllocHWSurface;
	device->LockHWSurface = WEB_LockHWSurface;
	device->UnlockHWSurface = WEB_UnlockHWSurface;
	device->FreeHWSurface = WEB_FreeHWSurface;
	device->SetCaption = WEB_SetCaption;
	device->CreateWMCursor = WEB_CreateWMCursor;
	device->FreeWMCursor = WEB_FreeWMCursor;
	device->ShowWMCursor = WEB_ShowWMCursor;
	/* No WarpWMCursor: SDL_WarpMouse then posts a motion event. */
	device->InitOSKeymap = WEB_InitOSKeymap;
	device->PumpEvents = WEB_PumpEvents;
	device->free = WEB_DeleteDevice;
	return device;
}

VideoBootStrap DUMMY_bootstrap = {
	"web", "The browser's canvas",
	WEB_Available, WEB_CreateDevice
};
