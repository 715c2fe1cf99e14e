# Line coverage of src/ over the whole ctest suite (gcc --coverage, gcovr).
#   make coverage   prints the summary and writes $(COVERAGE_BUILD)/coverage.txt
COVERAGE_BUILD := build/coverage

.PHONY: coverage

coverage:
	@scripts/install-deps.sh build coverage
	scripts/preset.sh coverage
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	ctest --preset coverage
	gcovr --root . --filter 'src/' --txt $(COVERAGE_BUILD)/coverage.txt --print-summary $(COVERAGE_BUILD)
