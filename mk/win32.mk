# The Windows DLL: cross build with MinGW (win32 preset), export/import table check and the
# host test program under wine against the Linux sample server. Installs the cross
# compiler and wine (scripts/install-deps.sh win32) when they are missing.
.PHONY: test-win32
TEST_EXTRA += test-win32

test-win32: deps
	tests/win32/run-wine-test.sh
