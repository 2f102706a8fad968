# Top-level commands: make (build), make run, make test.
BUILD := build
JOBS := $(shell nproc)

.PHONY: all deps configure run test clean

all: deps configure
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@./scripts/deps.sh

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

run: all
	cd $(BUILD) && ./zimbalo

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
