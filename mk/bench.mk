# `make bench`: builds the bench preset (Release) and prints the table of ratios.
# Not part of `make test`: figures belong in benchmarks, never in pass/fail checks.
BENCH_BUILD_DIR := build/bench

.PHONY: bench

bench:
	@scripts/install-deps.sh bench
	scripts/preset.sh bench
	python3 bench/run_bench.py $(BENCH_BUILD_DIR)
