"""Captures of loopback exchanges with the sample server.

A live capture (dumpcap on lo, filtered on the server's port) where the machine lets us
capture; otherwise a relay between the client and the server records every read of either
side, and text2pcap writes those reads as TCP segments. Either way the test's clients talk
to `Capture.port`.
"""

import os
import socket
import subprocess
import threading
import time
import uuid

import wire

# A guard against a hang, never a measure: each wait ends as soon as its event happens.
WAIT_SECONDS = 60


def start_server(server, data, *options):
    """Starts the sample server on a free loopback port; returns (process, port)."""
    proc = subprocess.Popen([server, "--data", data, "--port", "0", *options],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline().strip()
    if not line.startswith("listening on "):
        proc.kill()
        raise RuntimeError("the sample server did not start: %r" % line)
    return proc, int(line.rsplit(":", 1)[1])


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    if proc.stdout:
        proc.stdout.close()


def marker_exchange(port, value):
    """One query whose value marks a point in the capture; waits for its reply."""
    with socket.create_connection(("127.0.0.1", port), timeout=WAIT_SECONDS) as sock:
        sock.sendall(wire.query(b"HISID", value))
        got = b""
        while value not in got:
            chunk = sock.recv(4096)
            if not chunk:
                break
            got += chunk


def live_capture_refusal():
    """None where dumpcap can capture on lo; otherwise why not, in one line."""
    if os.environ.get("KORV_DISSECTOR_CAPTURE") == "text2pcap":
        return "KORV_DISSECTOR_CAPTURE=text2pcap"
    probe = subprocess.run(["dumpcap", "-i", "lo", "-a", "duration:1", "-c", "1",
                            "-f", "tcp port 1", "-w", os.devnull],
                           capture_output=True, text=True)
    if probe.returncode != 0:
        lines = [l for l in probe.stderr.splitlines() if l.strip()]
        return lines[-1] if lines else "dumpcap exited with %d" % probe.returncode
    return None


class LiveCapture:
    """dumpcap on lo writing to a pipe, which it flushes per packet: the test sees when a
    marker has been captured, so everything before it is in the file."""

    def __init__(self, server_port, path):
        self.port = server_port
        self.path = path
        self.markers = []
        self._proc = subprocess.Popen(
            ["dumpcap", "-q", "-i", "lo", "-f", "tcp port %d" % server_port, "-w", "-"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self._bytes = bytearray()
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self._mark()

    def _read(self):
        while True:
            chunk = self._proc.stdout.read1(65536)
            if not chunk:
                return
            with self._lock:
                self._bytes += chunk

    def _mark(self):
        value = ("MARK-" + uuid.uuid4().hex).encode()
        self.markers.append(value)
        deadline = time.monotonic() + WAIT_SECONDS
        # The first marker may go out before the capture has started: send again until one
        # of them is in the file.
        while True:
            marker_exchange(self.port, value)
            for _ in range(10):
                with self._lock:
                    if value in self._bytes:
                        return
                time.sleep(0.05)
            if time.monotonic() > deadline:
                raise RuntimeError("dumpcap captured none of the marker exchanges")

    def finish(self):
        self._mark()
        self._proc.terminate()
        self._proc.wait(timeout=WAIT_SECONDS)
        self._reader.join(WAIT_SECONDS)
        self._proc.stdout.close()
        with open(self.path, "wb") as out:
            out.write(self._bytes)
        return self.path


class RelayCapture:
    """A relay on its own loopback port; each connection's reads become text2pcap input."""

    def __init__(self, server_port, path):
        self.server_port = server_port
        self.path = path
        self.markers = []
        self._listener = socket.create_server(("127.0.0.1", 0))
        self.port = self._listener.getsockname()[1]
        self._connections = []  # per connection: [(direction, bytes), ...]
        self._lock = threading.Lock()
        self._threads = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self._listener.accept()
            except OSError:
                return
            upstream = socket.create_connection(("127.0.0.1", self.server_port))
            record = []
            with self._lock:
                self._connections.append(record)
            for src, dst, direction in ((client, upstream, "I"), (upstream, client, "O")):
                t = threading.Thread(target=self._pump, args=(src, dst, direction, record),
                                     daemon=True)
                t.start()
                self._threads.append(t)

    def _pump(self, src, dst, direction, record):
        while True:
            try:
                chunk = src.recv(65536)
            except OSError:
                chunk = b""
            if not chunk:
                try:
                    dst.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                return
            with self._lock:
                record.append((direction, chunk))
            try:
                dst.sendall(chunk)
            except OSError:
                return

    def finish(self):
        self._listener.close()
        for t in list(self._threads):
            t.join(WAIT_SECONDS)
        parts = []
        for index, record in enumerate(self._connections):
            text = self.path + ".%d.txt" % index
            with open(text, "w") as out:
                for direction, chunk in record:
                    # text2pcap takes at most 64 KiB a packet; loopback segments are that big.
                    for at in range(0, len(chunk), 65000):
                        out.write(direction + "\n")
                        piece = chunk[at:at + 65000]
                        for row in range(0, len(piece), 16):
                            out.write("%06x %s\n" % (row, " ".join(
                                "%02x" % b for b in piece[row:row + 16])))
            part = self.path + ".%d.pcap" % index
            subprocess.run(["text2pcap", "-q", "-D", "-T",
                            "%d,%d" % (40000 + index, self.server_port), text, part],
                           check=True, capture_output=True)
            parts.append(part)
        subprocess.run(["mergecap", "-a", "-w", self.path, *parts], check=True,
                       capture_output=True)
        return self.path


def open_capture(server_port, path, refusal):
    return RelayCapture(server_port, path) if refusal else LiveCapture(server_port, path)
