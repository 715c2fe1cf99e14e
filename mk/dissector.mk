# The Wireshark dissector (tools/wireshark/korvanelle.lua) under Debian's tshark, on captures
# the test makes on loopback (tests/wireshark/test_dissector.py).
#   make test-dissector   (part of `make test`) live captures on lo where the machine allows
#                         capturing; elsewhere one line says so and the exchanges are written
#                         with text2pcap instead
.PHONY: test-dissector
TEST_EXTRA += test-dissector

test-dissector: deps
	@scripts/install-deps.sh build dissector
	scripts/preset.sh default --target KorvanelleClient korvanelle korvanelle-server
	/usr/bin/python3 tests/wireshark/test_dissector.py
