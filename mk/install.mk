# The integrator's kit, as an integrator uses it (scripts/test-install.sh): cmake --install
# into a temporary prefix, the example hosts built out of tree with find_package and with
# pkg-config and run against the sample server, the README example compiled as printed,
# the SONAME and the export list of the installed library, and the Python package
# installed offline into a venv with its pytest tests, and the .NET binding's NUnit tests
# under Mono against the installed library.
.PHONY: test-install
TEST_EXTRA += test-install

test-install: deps
	@scripts/install-deps.sh build install dotnet
	scripts/preset.sh default --target KorvanelleClient korvanelle korvanelle-server
	scripts/test-install.sh build/default
