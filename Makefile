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

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

preview: build
	scripts/preview --all

clean:
	rm -rf $(BUILD) out
