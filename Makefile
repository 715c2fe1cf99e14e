# Front door: `make test` and `make demo` work on a fresh Debian 12 machine.
PRESETS_TEST ?= default asan tsan

.PHONY: all deps build test clean $(addprefix test-,$(PRESETS_TEST))

all: build

deps:
	@scripts/install-deps.sh build

build: deps
	cmake --preset default
	cmake --build --preset default

test: deps $(addprefix test-,$(PRESETS_TEST))

test-%:
	cmake --preset $*
	cmake --build --preset $*
	ctest --preset $*

clean:
	rm -rf build
