"""Runs tshark with the dissector over a capture and returns what it decoded, PDU by PDU."""

import json
import subprocess

SEVERITY = {"8388608": "error", "6291456": "warn", "4194304": "note", "2097152": "chat"}


class Pdu:
    def __init__(self, packet, obj):
        self.frame = packet["frame"]
        self.stream = packet["stream"]
        self.srcport = packet["srcport"]
        self.fields = {}
        self.experts = []  # (name without "korvanelle.expert.", severity, message)
        self.lua_errors = []
        for key, value in obj.items():
            if key.startswith("korvanelle.") and not key.endswith("_tree"):
                self.fields[key[len("korvanelle."):]] = value
        _collect(obj, self.experts, self.lua_errors)

    def get(self, name, default=None):
        return self.fields.get(name, default)

    def int(self, name):
        return int(self.fields[name])

    def raw(self, name):
        value = self.fields.get(name, "")
        return bytes.fromhex(value.replace(":", "")) if value else b""

    @property
    def type(self):
        return int(self.fields["type"]) if "type" in self.fields else None

    def errors(self):
        return sorted(e[0] for e in self.experts if e[1] == "error")

    def __repr__(self):
        return "Pdu(frame %d, type %s, experts %s)" % (self.frame, self.type, self.experts)


def _collect(node, experts, lua_errors, ours=True):
    """Gathers the dissector's expert infos (inside its own tree) and every trace of a Lua
    error (anywhere)."""
    if isinstance(node, list):
        for item in node:
            _collect(item, experts, lua_errors, ours)
        return
    if isinstance(node, str):
        if "Lua Error" in node:
            lua_errors.append(node)
        return
    if not isinstance(node, dict):
        return
    for key, value in node.items():
        if "Lua Error" in key or (key.startswith("_ws.lua") and key != "_ws.lua.fake"):
            lua_errors.append("%s: %s" % (key, value))
        if key == "_ws.expert" and ours:
            for info in value if isinstance(value, list) else [value]:
                names = [k for k in info if k.startswith("korvanelle.expert.")]
                for name in names:
                    experts.append((name[len("korvanelle.expert."):],
                                    SEVERITY.get(info.get("_ws.expert.severity"), "?"),
                                    info.get("_ws.expert.message", "")))
                if not names:
                    lua_errors.append("expert of another protocol: %r" % info)
        else:
            _collect(value, experts, lua_errors, ours)


class Dissection:
    def __init__(self, lua, pcap, port, two_pass=False, options=()):
        args = ["tshark", "-r", pcap, "-X", "lua_script:" + lua, "-o",
                "korvanelle.port:%d" % port, "-T", "json", "--no-duplicate-keys", *options]
        if two_pass:
            args.append("-2")
        run = subprocess.run(args, capture_output=True)
        self.stderr = run.stderr.decode(errors="replace")
        if run.returncode != 0:
            raise RuntimeError("tshark failed (%d): %s" % (run.returncode, self.stderr))
        self.packets = []
        self.pdus = []
        self.lua_errors = [l for l in self.stderr.splitlines()
                           if "lua" in l.lower() or "error" in l.lower()]
        for entry in json.loads(run.stdout):
            layers = entry["_source"]["layers"]
            tcp = layers.get("tcp", {})
            packet = {"frame": int(layers["frame"]["frame.number"]),
                      "stream": int(tcp.get("tcp.stream", -1)),
                      "srcport": int(tcp.get("tcp.srcport", 0)),
                      "tcp_len": int(tcp.get("tcp.len", 0))}
            self.packets.append(packet)
            found = layers.get("korvanelle", [])
            for obj in found if isinstance(found, list) else [found]:
                pdu = Pdu(packet, obj)
                self.pdus.append(pdu)
                self.lua_errors += pdu.lua_errors
            _collect({k: v for k, v in layers.items() if k != "korvanelle"}, [],
                     self.lua_errors, ours=False)

    def stream_bytes(self, stream, srcport):
        """TCP payload bytes of one direction, as TCP counts them."""
        return sum(p["tcp_len"] for p in self.packets
                   if p["stream"] == stream and p["srcport"] == srcport)

    def framed_bytes(self, stream, srcport):
        """Bytes of that direction that the dissector put into frames or unframed spans."""
        total = 0
        for pdu in self.pdus:
            if pdu.stream == stream and pdu.srcport == srcport:
                if "length" in pdu.fields and pdu.int("length") >= 4:
                    total += pdu.int("length")
                else:
                    total += len(pdu.raw("unframed")) + (4 if "length" in pdu.fields else 0)
        return total


def info_column(lua, pcap, port):
    """Frame number -> the Info column, as tshark's one-line summary shows it."""
    run = subprocess.run(["tshark", "-r", pcap, "-X", "lua_script:" + lua, "-o",
                          "korvanelle.port:%d" % port, "-T", "fields", "-e", "frame.number",
                          "-e", "_ws.col.Info"], capture_output=True, check=True)
    rows = {}
    for line in run.stdout.decode().splitlines():
        number, _, info = line.partition("\t")
        rows[int(number)] = info
    return rows
