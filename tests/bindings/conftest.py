"""The sample server and the library under test, for the Python package's tests.

KORVANELLE_SERVER and KORVANELLE_LIB name the server program and the library; by default
those of build/default are used.
"""

import os
import re
import subprocess
import sys

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DATA = os.path.join(ROOT, "examples", "data")

try:
    import korvanelle  # noqa: F401  the installed package (make test installs it first)
except ImportError:
    sys.path.insert(0, os.path.join(ROOT, "bindings", "python"))  # else the source tree


def _default(env, relative):
    return os.environ.get(env) or os.path.join(ROOT, "build", "default", relative)


@pytest.fixture(scope="session")
def library_path():
    path = _default("KORVANELLE_LIB", os.path.join("src", "api", "libKorvanelleClient.so"))
    if not os.path.exists(path):
        pytest.fail("the library %s is missing: build it first" % path)
    return path


def _start(args):
    server = _default("KORVANELLE_SERVER", os.path.join("tools", "korvanelle-server"))
    process = subprocess.Popen([server, "--data", DATA, "--port", "0"] + args,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = process.stdout.readline()
    match = re.match(r"listening on .*:(\d+)$", line.strip())
    if not match:
        process.kill()
        pytest.fail("the sample server did not start: %r" % line)
    return process, int(match.group(1))


@pytest.fixture(scope="session")
def server_port():
    process, port = _start([])
    yield port
    process.terminate()
    process.wait()


@pytest.fixture
def client(library_path, server_port):
    import korvanelle

    with korvanelle.connect("127.0.0.1", server_port, library=library_path) as connected:
        yield connected
