# Top-level commands: make (build), make run, make test.
BUILD := build
JOBS := $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all deps test-deps configure run test bench fuzz mutants install uninstall package windows web serve-web clean

all: deps configure
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@./scripts/deps.sh

test-deps:
	@./scripts/deps.sh --tests

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

run: all
	cd $(BUILD) && ./zimbalo

# Says what each long step does; the other platforms' libraries build
# beside the rest.
test:
	@./scripts/test.sh $(BUILD) $(JOBS)

install: all
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	DESTDIR="$(DESTDIR)" cmake --build $(BUILD) --target uninstall

package: deps
	cmake -S . -B $(BUILD)/package -C dist/deb.cmake
	cmake --build $(BUILD)/package -j $(JOBS)
	cd $(BUILD)/package && SOURCE_DATE_EPOCH=$$(git -C $(CURDIR) log -1 --format=%ct 2>/dev/null || echo 0) cpack -G DEB

# The Windows release, cross-built from Debian's sources of SDL 1.2, FreeType
# and mpg123: build/windows/zimbalo-VERSION-win64.zip and -setup.exe.
windows:
	@./scripts/deps.sh --windows
	@./scripts/windows.sh $(BUILD)

# The game in the browser, built to WebAssembly: build/web/site, the folder
# to publish, which serve-web serves, and nothing else, on
# http://127.0.0.1:8000/ for a player to open.
web:
	@./scripts/deps.sh --web
	@./scripts/web.sh $(BUILD)

serve-web: web
	cd $(BUILD)/web/site && /usr/bin/python3 -m http.server --bind 127.0.0.1 8000

# Frame rates against the floor at two window sizes, then on sdl12-compat
# against the classic library, the Windows release under Wine and the page in
# chromium, Firefox and WebKitGTK against the Linux build (skipped offline),
# and where a frame of the page's menu goes in chromium; then the page's
# Lighthouse performance score, the frame and audio benchmarks, and the
# audio callback with a slow disk and without; docs/PERFORMANCE.md explains
# the figures.
bench: test-deps configure
	cmake --build $(BUILD) -j $(JOBS) --target bench
	bench/fps 1920x1080
	bench/fps 3840x2160
	-bench/fps 1920x1080 --compat
	-bench/fps 3840x2160 --compat
	-./scripts/windows.sh $(BUILD) >/dev/null && bench/fps 1920x1080 --windows
	-./scripts/web.sh $(BUILD) >/dev/null && for engine in chromium firefox webkit; do \
	    bench/fps 1280x720 --web $$engine; done; bench/fps 1280x720 --profile --seconds 8
	-sh scripts/lighthouse.sh $(BUILD)/lighthouse && bench/page_audit $(BUILD)
	cd $(BUILD) && SDL_VIDEODRIVER=dummy ./bench/frames_bench
	cd $(BUILD) && SDL_AUDIODRIVER=dummy ./bench/audio_bench
	cd $(BUILD) && b=$$PWD && d=$$(mktemp -d) && cd $$d && \
		/usr/bin/python3 $(CURDIR)/tools/make_music.py --fixture . >/dev/null && \
		$$b/bench/slow_disk 10 50 && $$b/bench/slow_disk 10 0; rm -rf $$d

# The long fuzz: FUZZ_EVENTS generated events through each screen (three
# screens), then an hour of frames in the soak; docs/RELIABILITY.md.
FUZZ_EVENTS ?= 3400000
fuzz: test-deps configure
	cmake --build $(BUILD) -j $(JOBS) --target tests
	cd $(BUILD) && SDL_VIDEODRIVER=dummy ZIMBALO_FUZZ_EVENTS=$(FUZZ_EVENTS) \
		ZIMBALO_SOAK_FRAMES=360000 ./tests/fuzz/fuzz_tests

# Applies each fault of scripts/mutants.txt to a copy of the sources and
# reports which test kills it; with MODE=mechanical, a sample of SIZE
# mutants made by fixed operators from src/, drawn with SEED.
# docs/TESTING.md keeps the figures.
mutants: test-deps
	/usr/bin/python3 scripts/mutants.py $(if $(ONLY),--only $(ONLY)) \
		$(if $(filter mechanical,$(MODE)),--mechanical) $(if $(SEED),--seed $(SEED)) \
		$(if $(SIZE),--size $(SIZE))

clean:
	rm -rf $(BUILD)
