# The install step against a package source that fails (fake apt-get on the PATH, nothing on
# the machine changed): a failing update, an uninstallable 32-bit wine or required package.
.PHONY: test-install-deps
TEST_EXTRA += test-install-deps

test-install-deps:
	tests/scripts/install-deps-test.sh
