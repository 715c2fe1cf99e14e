# The .NET binding (bindings/dotnet) under Mono: Korvanelle.Client.dll, its NUnit tests and
# examples/dotnet-host built with mcs, run against the default build's library and the
# sample server (scripts/test-dotnet.sh). Installs Mono and NUnit when they are missing.
#   make test-dotnet   (part of `make test`)
DOTNET_BUILD := build/dotnet

.PHONY: test-dotnet
TEST_EXTRA += test-dotnet

test-dotnet: deps
	@scripts/install-deps.sh dotnet
	scripts/preset.sh default --target KorvanelleClient korvanelle korvanelle-server
	scripts/test-dotnet.sh build/default/src/api build/default/tools/korvanelle-server \
	  build/default/tools/korvanelle $(DOTNET_BUILD)
