# Front door: `make demo` and `make test` work on a fresh Debian 12 machine.
PRESETS_TEST ?= default asan tsan
# Every build goes through a preset (scripts/preset.sh); these set its parallel jobs.
export CMAKE_BUILD_PARALLEL_LEVEL ?= 2
export CTEST_PARALLEL_LEVEL ?= 2
TEST_TARGETS := $(addprefix test-,$(PRESETS_TEST))

.PHONY: all deps build demo test clean $(TEST_TARGETS)

all: build

deps:
	@scripts/install-deps.sh build

build: deps
	scripts/preset.sh default

# Starts the sample server on a free port, fetches a sample patient into demo-out/.
demo: build
	@scripts/install-deps.sh demo
	scripts/demo.sh build/default

# Further test steps (the Windows DLL under wine, fuzz smoke runs, ...) append their
# targets to TEST_EXTRA in mk/*.mk.
TEST_EXTRA :=
-include mk/*.mk

test: $(TEST_TARGETS) $(TEST_EXTRA)

$(TEST_TARGETS): test-%: deps
	scripts/preset.sh $*
	ctest --preset $*

clean:
	rm -rf build demo-out
