# Fuzzers (fuzz/, clang with libFuzzer, ASan and UBSan) and the long soak run.
#   make fuzz [FUZZ_SECONDS=60]   runs each fuzzer for FUZZ_SECONDS on a scratch corpus
#   make test-fuzz-smoke          (part of `make test`) every committed corpus file, then a
#                                 short run of each fuzzer
#   make soak [SOAK_CYCLES=1000]  the soak test's long form on the default build
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 10
FUZZ_BUILD := build/fuzz
FUZZ_TARGETS := markup document loader transport reply
FUZZ_FLAGS := -max_len=4096 -timeout=10 -print_final_stats=1
SOAK_CYCLES ?= 1000

.PHONY: fuzz fuzz-build test-fuzz-smoke soak

fuzz-build:
	@scripts/install-deps.sh build fuzz
	scripts/preset.sh fuzz

# New inputs go to the scratch corpus (the first folder); the committed seeds stay as they are.
fuzz: fuzz-build
	@set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  $(FUZZ_BUILD)/fuzz/fuzz_$$t $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SECONDS) \
	    -artifact_prefix=$(FUZZ_BUILD)/fuzz_$$t- $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t; \
	done

test-fuzz-smoke: fuzz-build
	@set -e; for t in $(FUZZ_TARGETS); do \
	  echo "fuzz smoke: $$t"; \
	  $(FUZZ_BUILD)/fuzz/fuzz_$$t fuzz/corpus/$$t/*; \
	  rm -rf $(FUZZ_BUILD)/smoke/$$t && mkdir -p $(FUZZ_BUILD)/smoke/$$t; \
	  $(FUZZ_BUILD)/fuzz/fuzz_$$t $(FUZZ_FLAGS) -max_total_time=$(FUZZ_SMOKE_SECONDS) \
	    -artifact_prefix=$(FUZZ_BUILD)/smoke/fuzz_$$t- $(FUZZ_BUILD)/smoke/$$t fuzz/corpus/$$t; \
	done

TEST_EXTRA += test-fuzz-smoke

soak: build
	KORV_SOAK_CYCLES=$(SOAK_CYCLES) ctest --preset default -L soak
