# The Windows builds: MinGW cross builds (presets win64 and win32), their PE tables, then the
# host test program and korvanelle.exe under wine against the Linux sample server. Installs
# the cross compilers and wine (scripts/install-deps.sh win64 win32) when they are missing.
#   make test-win64       the 64-bit DLL under wine64: runs on every x86-64 machine
#   make test-win32       the 32-bit DLL: built and its tables checked everywhere; wine runs
#                         only where the kernel executes i386 programs (probed), otherwise
#                         one line says so and the step passes
#   make test-win-no-i386 the "cannot execute i386" path forced (KORV_FORCE_NO_I386=1):
#                         the decision and install-deps.sh's package list, no build
#   make bench-win        LoadText and CPatientDoc::Load timed inside Windows builds under
#                         wine (not part of `make test`)
.PHONY: test-win64 test-win32 test-win-no-i386 bench-win
TEST_EXTRA += test-win-no-i386 test-win64 test-win32

test-win-no-i386:
	tests/win32/check-no-i386-path.sh

test-win64: deps
	tests/win32/run-wine-test.sh win64

test-win32: deps
	tests/win32/run-wine-test.sh win32

bench-win:
	bench/run_bench_win.sh
