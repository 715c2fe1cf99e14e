# make test-stress [KORV_STRESS_RUNS=5]: the default and tsan suites, run several times while
# the machine is kept busy (scripts/stress-test.sh). Not part of `make test`.
.PHONY: test-stress
test-stress:
	scripts/stress-test.sh
