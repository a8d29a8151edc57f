# Entry point: `make` builds the plug-in, `make test` builds and runs every test,
# `make preview` renders the preview pictures.
BUILD := build
JOBS ?= 2

.PHONY: all build test preview bench soak clean setup

all: build

setup:
	@scripts/setup

$(BUILD)/CMakeCache.txt: | setup
	cmake --preset default >/dev/null

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# A module is run a second time only if its first run failed: under 32-bit emulation the Wine
# process now and then faults on its way out after its tests ran; a real failure fails twice.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --repeat until-pass:2

preview: build
	scripts/preview --all

clean:
	rm -rf $(BUILD) out

# The frame's cost on the recording device; the figures land in out/bench.json.
bench: build
	@mkdir -p out
	scripts/wine-run $(BUILD)/hostsim.exe $(BUILD)/bench.dll out/bench.json

# Random frames, faults and resets through the real plug-in: make soak SEED=... FRAMES=...
SEED ?= 1
FRAMES ?= 100000
soak: build
	scripts/wine-run $(BUILD)/hostsim.exe $(BUILD)/soak_tests.dll --seed=$(SEED) --frames=$(FRAMES)
