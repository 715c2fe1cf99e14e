# One house style for C and C++ (.clang-format, .editorconfig).
#   make format        reformats every tracked C/C++ file
#   make test-format   (part of `make test`) fails when a file is out of style
.PHONY: format test-format
TEST_EXTRA += test-format

format:
	@scripts/install-deps.sh format
	scripts/format.sh

test-format:
	@scripts/install-deps.sh format
	scripts/format.sh --check
