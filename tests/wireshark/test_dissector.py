"""make test-dissector: tools/wireshark/korvanelle.lua under tshark, on captures this test
makes on loopback: the demo exchange of `korvanelle fetch` with the sample server (small
chunks, shuffled image order), the server's fault modes, and hand-made malformed frames.
Every decoded field is compared with what was sent.

Usage: python3 tests/wireshark/test_dissector.py [BUILD_DIR]   (default build/default)
"""

import math
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import capture  # noqa: E402
import wire  # noqa: E402
from dissection import Dissection, info_column  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(HERE))
# KORV_DISSECTOR_LUA: another copy of the dissector, e.g. one broken on purpose.
LUA = os.environ.get("KORV_DISSECTOR_LUA",
                     os.path.join(ROOT, "tools", "wireshark", "korvanelle.lua"))
DATA = os.path.join(ROOT, "examples", "data")
BUILD = os.path.abspath(os.environ.get("KORV_BUILD_DIR", os.path.join(ROOT, "build", "default")))
SERVER = os.path.join(BUILD, "tools", "korvanelle-server")
CLI = os.path.join(BUILD, "tools", "korvanelle")
CHUNK = 1000
REFUSAL = None  # set in main(): why live capture is not possible, or None


def free_port():
    """A port for a written capture: the dissector finds it by the preference alone."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read(*parts):
    with open(os.path.join(DATA, *parts), "rb") as f:
        return f.read()


def image_names(patient):
    return [n.encode() for n in
            re.findall(r'FieldValue="([^"]+\.png)"', read("patients", patient + ".xml").decode(
                "latin-1"))]


def assemble(chunks):
    """The bytes that (offset, bytes) chunks lay down, each byte once."""
    out = bytearray()
    for offset, data in sorted(chunks):
        if offset > len(out):
            out += b"\0" * (offset - len(out))
        out[offset:offset + len(data)] = data
    return bytes(out)


class CaptureCase(unittest.TestCase):
    """A capture of one exchange with a sample server started with `server_options`."""

    server_options = ()

    @classmethod
    def exchange(cls, port):
        raise NotImplementedError

    @classmethod
    def capture(cls, name, *server_options):
        work = tempfile.mkdtemp(prefix="korv-dissector-")
        cls.addClassCleanup(shutil.rmtree, work, True)
        server, server_port = capture.start_server(SERVER, DATA, *server_options)
        try:
            cap = capture.open_capture(server_port, os.path.join(work, name + ".pcapng"),
                                       REFUSAL)
            result = cls.exchange(cap.port, work)
            path = cap.finish()
        finally:
            capture.stop(server)
        return path, server_port, cap.markers, result

    def assertClean(self, dissection):
        self.assertEqual(dissection.lua_errors, [])

    @staticmethod
    def streams(dissection, markers):
        """The TCP streams of the exchange, without the capture's marker queries."""
        marked = {p.stream for p in dissection.pdus if p.type == wire.MSG_QUERY and
                  p.raw("value_raw") in markers}
        return sorted({p.stream for p in dissection.pdus} - marked)


class DemoExchangeTest(CaptureCase):
    """`korvanelle fetch P10001` against the sample server, chunks of 1000 bytes, images in
    shuffled order: everything the client asked for and the server sent, decoded in full."""

    PATIENT = b"P10001"

    @classmethod
    def exchange(cls, port, work):
        out = os.path.join(work, "out")
        run = subprocess.run([CLI, "--port", str(port), "fetch", cls.PATIENT.decode(), "-o", out],
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise RuntimeError("korvanelle fetch failed: %s" % run.stderr)

    @classmethod
    def setUpClass(cls):
        path, cls.port, markers, _ = cls.capture("demo", "--chunk-size", str(CHUNK),
                                                 "--image-order", "shuffle")
        cls.path = path
        cls.one = Dissection(LUA, path, cls.port)
        cls.two = Dissection(LUA, path, cls.port, two_pass=True)
        streams = cls.streams(cls.one, markers)
        assert len(streams) == 1, "one connection expected, found %r" % streams
        cls.stream = streams[0]
        cls.pdus = [p for p in cls.one.pdus if p.stream == cls.stream]
        cls.names = image_names(cls.PATIENT.decode())

    def of_type(self, msg_type):
        return [p for p in self.pdus if p.type == msg_type]

    def test_no_lua_error_and_nothing_flagged(self):
        self.assertClean(self.one)
        self.assertClean(self.two)
        self.assertEqual([p for p in self.pdus if p.experts], [])

    def test_every_byte_of_both_directions_lies_in_a_frame(self):
        for port in {p.srcport for p in self.pdus}:
            self.assertEqual(self.one.framed_bytes(self.stream, port),
                             self.one.stream_bytes(self.stream, port))
        sent = self.one.stream_bytes(self.stream, self.port)
        self.assertGreater(sent, len(read("images", self.names[0].decode())))

    def test_requests_are_the_ones_the_client_sent(self):
        queries = self.of_type(wire.MSG_QUERY)
        self.assertEqual([(q.get("key"), q.raw("key_raw"), q.raw("value_raw")) for q in queries],
                         [("HISID", b"HISID", self.PATIENT)])
        self.assertEqual(queries[0].int("length"), 4 + 6 + 7)
        for msg_type in (wire.MSG_THUMB_REQUEST, wire.MSG_IMAGE_REQUEST):
            got = self.of_type(msg_type)
            self.assertEqual(sorted(p.raw("name_raw") for p in got), sorted(self.names))
            self.assertEqual([p.get("name") for p in got], [p.raw("name_raw").decode()
                                                           for p in got])
        for p in self.of_type(wire.MSG_IMAGE_REQUEST):
            self.assertEqual((p.int("param1"), p.int("param2"), p.int("param3")), (0, 255, 128))

    def check_chunks(self, replies, expected, request):
        """Chunks of one reply: they rebuild `expected`, carry its size as total, link to
        `request`, and count the bytes arrived in the order they came."""
        self.assertEqual(len(replies), math.ceil(len(expected) / CHUNK))
        self.assertEqual({p.int("total") for p in replies}, {len(expected)})
        self.assertEqual({p.int("request_in") for p in replies}, {request.frame})
        arrived = 0
        for number, p in enumerate(replies, 1):
            arrived += p.int("text_length") if "text_length" in p.fields else p.int(
                "data_length")
            self.assertEqual((p.int("chunk"), p.int("arrived"), p.get("complete")),
                             (number, arrived, "1" if number == len(replies) else "0"))

    def test_reply_text_is_the_patient_file(self):
        expected = read("patients", self.PATIENT.decode() + ".xml")
        replies = self.of_type(wire.MSG_QUERY_REPLY)
        for p in replies:
            self.assertEqual((p.raw("key_raw"), p.raw("value_raw")), (b"HISID", self.PATIENT))
            self.assertEqual(p.int("text_length"), len(p.raw("text_raw")))
        self.assertEqual(assemble((p.int("offset"), p.raw("text_raw")) for p in replies),
                         expected)
        self.check_chunks(replies, expected, self.of_type(wire.MSG_QUERY)[0])
        # Code page 936 shown decoded: the patient's name.
        self.assertIn("\u5f20\u4f1f", "".join(p.get("text") for p in replies))

    def test_thumbnails_are_the_files(self):
        requests = {p.raw("name_raw"): p for p in self.of_type(wire.MSG_THUMB_REQUEST)}
        replies = self.of_type(wire.MSG_THUMB_DATA)
        self.assertEqual(sorted(p.raw("name_raw") for p in replies), sorted(self.names))
        for p in replies:
            name = p.raw("name_raw")
            expected = read("thumbs", name.decode())
            self.assertEqual((p.int("data_length"), p.raw("data")), (len(expected), expected))
            self.assertEqual(p.int("request_in"), requests[name].frame)

    def test_images_are_the_files_in_shuffled_chunks(self):
        requests = {p.raw("name_raw"): p for p in self.of_type(wire.MSG_IMAGE_REQUEST)}
        shuffled = 0
        for name in self.names:
            expected = read("images", name.decode())
            replies = [p for p in self.of_type(wire.MSG_IMAGE_DATA) if p.raw("name_raw") == name]
            for p in replies:
                self.assertEqual(p.int("data_length"), len(p.raw("data")))
                self.assertEqual((p.int("param1"), p.int("param2"), p.int("param3")),
                                 (0, 255, 128))
            offsets = [p.int("offset") for p in replies]
            shuffled += offsets != sorted(offsets)
            self.assertEqual(assemble((p.int("offset"), p.raw("data")) for p in replies),
                             expected)
            self.check_chunks(replies, expected, requests[name])
        self.assertGreater(shuffled, 0, "the server sent every image in order")

    def test_second_pass_shows_the_same_and_links_requests_to_replies(self):
        two = [p for p in self.two.pdus if p.stream == self.stream]
        self.assertEqual([(p.frame, {k: v for k, v in p.fields.items() if k != "reply_in"})
                          for p in two], [(p.frame, p.fields) for p in self.pdus])
        for p in two:
            if p.type in (wire.MSG_QUERY, wire.MSG_THUMB_REQUEST, wire.MSG_IMAGE_REQUEST):
                first = min(r.frame for r in two if r.get("request_in") == str(p.frame))
                self.assertEqual(p.int("reply_in"), first)

    def test_info_column_and_display_filters(self):
        query = self.of_type(wire.MSG_QUERY)[0]
        self.assertEqual(info_column(LUA, self.path, self.port)[query.frame].split(" | ")[0],
                         'MSG_QUERY "HISID"="P10001"')
        name = self.names[0].decode()
        run = subprocess.run(["tshark", "-r", self.path, "-X", "lua_script:" + LUA, "-o",
                              "korvanelle.port:%d" % self.port, "-Y",
                              'korvanelle.type == 6 && korvanelle.name == "%s" && '
                              'korvanelle.offset == 0 && korvanelle.total == %d' % (
                                  name, len(read("images", name))),
                              "-T", "fields", "-e", "frame.number"],
                             capture_output=True, text=True, check=True)
        first = [p for p in self.of_type(wire.MSG_IMAGE_DATA)
                 if p.raw("name_raw") == self.names[0] and p.int("offset") == 0]
        self.assertEqual(run.stdout.split(), [str(first[0].frame)])


class ServerFaultTest(CaptureCase):
    """Each fault mode of the sample server, against a client that asks for one patient, one
    thumbnail and one image in one segment and reads until the server closes."""

    PATIENT = b"P10002"
    NAME = b"P10002_MR_1_1.png"
    FAULTS = ("garbage-short-length", "garbage-no-nul", "garbage-cut-fields", "lying-total",
              "lying-offset", "zero-length-chunk", "other-name", "close-mid-text",
              "close-mid-image")

    @classmethod
    def exchange(cls, port, work):
        with socket.create_connection(("127.0.0.1", port), timeout=capture.WAIT_SECONDS) as s:
            s.sendall(wire.query(b"HISID", cls.PATIENT) + wire.thumb_request(cls.NAME) +
                      wire.image_request(cls.NAME))
            s.shutdown(socket.SHUT_WR)
            got = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    return got
                got += chunk

    @classmethod
    def setUpClass(cls):
        cls.runs = {}
        for fault in cls.FAULTS:
            path, port, markers, received = cls.capture(fault, "--chunk-size", str(CHUNK),
                                                        "--fault", fault)
            d = Dissection(LUA, path, port)
            streams = cls.streams(d, markers)
            assert len(streams) == 1, "%s: one connection expected, found %r" % (fault, streams)
            pdus = [p for p in d.pdus if p.stream == streams[0]]
            cls.runs[fault] = (d, streams[0], port, pdus, received)
        cls.n_text = math.ceil(len(read("patients", "P10002.xml")) / CHUNK)
        cls.n_image = math.ceil(len(read("images", cls.NAME.decode())) / CHUNK)

    def replies(self, fault):
        d, stream, port, pdus, _ = self.runs[fault]
        return [p for p in pdus if p.srcport == port]

    def requests_decoded(self, fault):
        d, stream, port, pdus, _ = self.runs[fault]
        requests = [p for p in pdus if p.srcport != port]
        self.assertEqual([(p.type, p.experts) for p in requests],
                         [(wire.MSG_QUERY, []), (wire.MSG_THUMB_REQUEST, []),
                          (wire.MSG_IMAGE_REQUEST, [])])
        # All three came in one segment, and were split into three frames.
        self.assertEqual(len({p.frame for p in requests}), 1)

    def all_framed(self, fault):
        d, stream, port, pdus, received = self.runs[fault]
        self.assertEqual(d.framed_bytes(stream, port), d.stream_bytes(stream, port))
        self.assertEqual(d.stream_bytes(stream, port), len(received))

    def test_no_lua_error_in_any_fault_mode(self):
        for fault, (d, *_rest) in self.runs.items():
            with self.subTest(fault=fault):
                self.assertClean(d)
                self.requests_decoded(fault)

    def test_broken_fields_flag_every_reply_and_go_on_with_the_next(self):
        for fault, error in (("garbage-no-nul", "no_nul"), ("garbage-cut-fields", "cut_field")):
            with self.subTest(fault=fault):
                self.all_framed(fault)
                replies = self.replies(fault)
                self.assertEqual(len(replies), self.n_text + 1 + self.n_image)
                self.assertEqual({tuple(p.errors()) for p in replies}, {(error,)})
                self.assertEqual([p.type for p in replies],
                                 [2] * self.n_text + [4] + [6] * self.n_image)

    def test_short_length_breaks_the_stream(self):
        self.all_framed("garbage-short-length")
        replies = self.replies("garbage-short-length")
        self.assertEqual(replies[0].errors(), ["short_length"])
        self.assertEqual(replies[0].int("length"), 2)
        # No frame can be told apart after it: whatever follows is flagged as unframed.
        self.assertEqual({tuple(p.errors()) for p in replies[1:]}, {("unframed",)} if
                         replies[1:] else set())

    def test_offsets_past_the_total(self):
        self.all_framed("lying-offset")
        replies = self.replies("lying-offset")
        flagged = [p for p in replies if p.errors()]
        # The chunk that ended at the total now ends one past it, in the text and the image.
        self.assertEqual([(p.type, p.errors()) for p in flagged],
                         [(2, ["bad_offset"]), (6, ["bad_offset"])])
        for p in flagged:
            size = p.int("text_length") if p.type == 2 else p.int("data_length")
            self.assertEqual(p.int("offset") + size, p.int("total") + 1)
            self.assertNotIn("arrived", p.fields)
        self.assertEqual([p.get("complete") for p in replies if p.get("complete") == "1"], [])

    def test_lying_total_never_completes(self):
        self.all_framed("lying-total")
        replies = self.replies("lying-total")
        self.assertEqual([p.experts for p in replies if p.experts], [])
        last_text = [p for p in replies if p.type == 2][-1]
        last_image = [p for p in replies if p.type == 6][-1]
        size_text = len(read("patients", "P10002.xml"))
        self.assertEqual((last_text.int("total"), last_text.int("arrived")),
                         (2 * size_text + 1, size_text))
        size_image = len(read("images", self.NAME.decode()))
        self.assertEqual((last_image.int("total"), last_image.int("arrived")),
                         (size_image + 1, size_image))
        self.assertNotIn("1", [p.get("complete") for p in replies])

    def test_zero_length_chunks_add_nothing(self):
        self.all_framed("zero-length-chunk")
        replies = self.replies("zero-length-chunk")
        self.assertEqual([p for p in replies if p.errors()], [])
        chunked = [p for p in replies if p.type in (2, 6)]
        self.assertEqual(len(chunked), 2 * (self.n_text + self.n_image))
        for empty, full in zip(chunked[0::2], chunked[1::2]):
            length = "text_length" if empty.type == 2 else "data_length"
            self.assertEqual((empty.int(length), empty.int("arrived") + full.int(length)),
                             (0, full.int("arrived")))
        self.assertEqual(chunked[-1].get("complete"), "1")
        thumb = [p for p in replies if p.type == 4]
        self.assertEqual([(p.int("data_length"), [e[:2] for e in p.experts]) for p in thumb],
                         [(0, [("not_found", "note")])])

    def test_replies_for_another_name_have_no_request(self):
        self.all_framed("other-name")
        replies = self.replies("other-name")
        self.assertEqual([p for p in replies if p.errors()], [])
        for p in replies:
            if p.type in (4, 6):
                self.assertEqual([e[:2] for e in p.experts], [("no_request", "warn")])
                self.assertNotIn("request_in", p.fields)
            else:
                self.assertEqual(p.experts, [])

    def test_closed_mid_frame_decodes_what_came_whole(self):
        text = self.replies("close-mid-text")
        # The first text frame was cut: nothing whole came back, and nothing is made up.
        self.assertEqual(text, [])
        image = self.replies("close-mid-image")
        self.assertEqual([p.type for p in image], [2] * self.n_text + [4, 6])
        self.assertEqual([p for p in image if p.experts], [])


class MalformedFramesTest(unittest.TestCase):
    """Hand-made frames written with text2pcap: each fault the library refuses is flagged as
    an expert error, and the frame after it is decoded as usual."""

    PORT = 0  # set in setUpClass

    GOOD = wire.thumb_request(b"good.png")
    CASES = [
        # (frame, expected errors)
        (wire.frame(1, wire.s(b"HISID") + b"P10001"), ["no_nul"]),
        (wire.frame(1, b""), ["no_nul"]),
        (wire.frame(2, wire.s(b"HISID") + wire.s(b"P1") + wire.i32(10)[:3]), ["cut_field"]),
        (wire.frame(2, wire.s(b"HISID") + wire.s(b"P1") + wire.i32(10, 0) + b"<ROOT"),
         ["no_nul"]),
        (wire.query_reply(b"HISID", b"P1", -1, 0, b""), ["bad_total"]),
        (wire.query_reply(b"HISID", b"P1", 256 * 1024 * 1024 + 1, 0, b"x"), ["bad_total"]),
        (wire.query_reply(b"HISID", b"P1", 4, 2, b"abc"), ["bad_offset"]),
        (wire.frame(4, wire.s(b"t.png") + wire.u16(100) + b"0123456789"), ["cut_bytes"]),
        (wire.frame(4, wire.s(b"t.png") + b"\x05"), ["cut_field"]),
        (wire.frame(5, wire.s(b"i.png") + wire.i32(0, 255) + b"\x80\x00"), ["cut_field"]),
        (wire.image_data(b"i.png", 100, 99, b"ab"), ["bad_offset"]),
        (wire.image_data(b"i.png", 100, -1, b"ab"), ["bad_offset"]),
        (wire.frame(6, wire.s(b"i.png") + wire.i32(0, 255, 128, 100, 0)), ["cut_field"]),
        (wire.frame(7, b"\x01\x02"), ["unknown_type"]),
        (wire.frame(0, b""), ["unknown_type"]),
        # Accepted by the library: an empty name, an empty text, "no such image".
        (wire.thumb_request(b""), []),
        (wire.query_reply(b"HISID", b"P1", 0, 0, b""), []),
        (wire.image_data(b"missing.png", 0, 0, b""), []),
    ]
    TRAILING = wire.frame(3, wire.s(b"x.png") + b"junk")
    # (chunk, arrived, complete): a chunk sent twice and one that overlaps add only their new
    # bytes; a chunk of another total starts the reply over.
    CHUNKS = [wire.image_data(b"dup.png", total, offset, data) for total, offset, data in
              ((10, 0, b"abcd"), (10, 0, b"abcd"), (10, 2, b"cdef"), (10, 6, b"ghij"),
               (12, 0, b"ab"))]
    ARRIVED = [(1, 4, "0"), (2, 4, "0"), (3, 6, "0"), (4, 10, "1"), (1, 2, "0")]
    BIG = wire.image_data(b"big.png", 3000, 0, bytes(range(256)) * 11 + b"z" * 184)

    @classmethod
    def setUpClass(cls):
        work = tempfile.mkdtemp(prefix="korv-malformed-")
        cls.addClassCleanup(shutil.rmtree, work, True)
        cls.PORT = free_port()
        # Stream 1: each case followed by a good frame, two cases to a segment; then a frame
        # with trailing bytes, and a big frame whose header and body are split over segments.
        segments = []
        for at in range(0, len(cls.CASES), 2):
            segments.append(b"".join(c[0] + cls.GOOD for c in cls.CASES[at:at + 2]))
        segments.append(cls.TRAILING + cls.BIG[:2])
        segments += [cls.BIG[2:1000], cls.BIG[1000:2500], cls.BIG[2500:] + cls.GOOD]
        # Stream 2: a good frame, then a length word of 2 and a segment after it.
        broken = [cls.GOOD + wire.frame(3, wire.s(b"a.png"), length=2) + cls.GOOD, cls.GOOD]
        # Stream 3: a request, then its chunks; each segment "I" (to the server) or "O".
        follow = [b"I" + wire.image_request(b"dup.png")] + [b"O" + c for c in cls.CHUNKS]
        parts = []
        for index, segs in enumerate((segments, broken, follow)):
            text = os.path.join(work, "s%d.txt" % index)
            with open(text, "w") as out:
                for seg in segs:
                    direction = "O"
                    if seg[:1] in (b"I", b"O") and index == 2:
                        direction, seg = seg[:1].decode(), seg[1:]
                    out.write(direction + "\n" + "".join("%06x %s\n" % (r, " ".join(
                        "%02x" % b for b in seg[r:r + 16])) for r in range(0, len(seg), 16)))
            parts.append(os.path.join(work, "s%d.pcap" % index))
            subprocess.run(["text2pcap", "-q", "-D", "-T", "%d,%d" % (41000 + index, cls.PORT),
                            text, parts[-1]], check=True, capture_output=True)
        cls.path = os.path.join(work, "malformed.pcapng")
        subprocess.run(["mergecap", "-a", "-w", cls.path, *parts], check=True,
                       capture_output=True)
        cls.d = Dissection(LUA, cls.path, cls.PORT)
        cls.streams = sorted({p.stream for p in cls.d.pdus})

    def pdus(self, stream):
        return [p for p in self.d.pdus if p.stream == self.streams[stream]]

    def test_no_lua_error(self):
        self.assertEqual(self.d.lua_errors, [])
        self.assertEqual(len(self.streams), 3)

    def test_chunks_count_each_byte_once_and_a_new_total_starts_over(self):
        request, *chunks = self.pdus(2)
        self.assertEqual([(p.int("chunk"), p.int("arrived"), p.get("complete")) for p in chunks],
                         self.ARRIVED)
        self.assertEqual({p.int("request_in") for p in chunks}, {request.frame})
        self.assertEqual([[e[:2] for e in p.experts] for p in chunks],
                         [[]] * 4 + [[("restart", "warn")]])

    def test_each_fault_is_flagged_and_the_next_frame_decoded(self):
        pdus = self.pdus(0)
        expected = []
        for frame, errors in self.CASES:
            expected += [(len(frame), errors), (len(self.GOOD), [])]
        got = [(p.int("length"), p.errors()) for p in pdus[:len(expected)]]
        self.assertEqual(got, expected)
        for p in pdus[1:len(expected):2]:
            self.assertEqual((p.type, p.raw("name_raw")), (3, b"good.png"))

    def test_accepted_oddities_are_notes(self):
        pdus = self.pdus(0)[2 * len(self.CASES):]
        trailing = pdus[0]
        self.assertEqual((trailing.raw("name_raw"), trailing.raw("trailing")), (b"x.png", b"junk"))
        self.assertEqual([e[:2] for e in trailing.experts], [("trailing", "note")])
        missing = [p for p in self.pdus(0) if p.raw("name_raw") == b"missing.png"]
        # Asked for by nobody in this capture, too.
        self.assertEqual([e[:2] for e in missing[0].experts],
                         [("no_request", "warn"), ("not_found", "note")])

    def test_frame_split_over_segments_is_reassembled(self):
        big = [p for p in self.pdus(0) if p.raw("name_raw") == b"big.png"]
        self.assertEqual(len(big), 1)
        self.assertEqual((big[0].int("data_length"), big[0].raw("data")),
                         (3000, self.BIG[-3000:]))
        self.assertEqual(self.pdus(0)[-1].raw("name_raw"), b"good.png")
        stream, port = self.streams[0], self.pdus(0)[0].srcport
        self.assertEqual(self.d.framed_bytes(stream, port), self.d.stream_bytes(stream, port))

    def test_length_below_the_header_ends_the_framing(self):
        pdus = self.pdus(1)
        self.assertEqual([(p.type, p.errors()) for p in pdus],
                         [(3, []), (3, ["short_length"]), (None, ["unframed"])])
        self.assertEqual(pdus[1].raw("unframed"), wire.s(b"a.png") + self.GOOD)
        self.assertEqual(pdus[2].raw("unframed"), self.GOOD)

    def test_heuristic_finds_the_protocol_on_another_port_only_when_asked(self):
        off = Dissection(LUA, self.path, 1)
        self.assertEqual(off.pdus, [])
        on = Dissection(LUA, self.path, 1, options=("-o", "korvanelle.heuristic:TRUE"))
        self.assertEqual(on.lua_errors, [])
        # Stream 2 starts with a well-formed frame: it is taken from its first frame on.
        self.assertEqual([(p.type, p.errors()) for p in on.pdus if p.stream == self.streams[1]],
                         [(p.type, p.errors()) for p in self.pdus(1)])


class RandomFramesTest(unittest.TestCase):
    """Frames of every type with random fields, many cut short or with a NUL lost, several
    to a segment and split across segments: each is found, flagged exactly when the
    library's rules drop it, and none makes a Lua error."""

    COUNT = 600

    @staticmethod
    def make(rng):
        msg_type = rng.choice([1, 2, 3, 4, 5, 6, 6, 2, 0, 7, 0xFFFF])
        name = bytes(rng.choice(b"abcP0123_.\xd5\xc5") for _ in range(rng.randrange(0, 12)))
        total = rng.choice([0, 1, 2, 10, 100, 5000, -1, 1 << 28, (1 << 28) + 1, 1 << 30,
                            (1 << 30) + 1, -(1 << 31)])
        offset = rng.choice([0, 1, 5, 99, 100, -1, total, max(total - 3, 0)])
        data = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 8)))
        payload = {
            1: wire.s(name) + wire.s(b"P1"),
            2: wire.s(b"HISID") + wire.s(name) + wire.i32(total, offset) + wire.s(data.replace(
                b"\0", b"")),
            3: wire.s(name),
            4: wire.s(name) + wire.u16(len(data)) + data,
            5: wire.s(name) + wire.i32(0, 255, 128),
            6: wire.s(name) + wire.i32(0, 255, 128, total, offset) + wire.u16(len(data)) + data,
        }.get(msg_type, data)
        fault = rng.randrange(4)
        if fault == 0 and payload:
            payload = payload[:rng.randrange(len(payload))]
        elif fault == 1 and b"\0" in payload:
            at = payload.index(b"\0")
            payload = payload[:at] + b"x" + payload[at + 1:]
        elif fault == 2:
            payload += bytes(rng.randrange(256) for _ in range(rng.randrange(1, 4)))
        return msg_type, payload

    @classmethod
    def setUpClass(cls):
        rng = random.Random(25)
        work = tempfile.mkdtemp(prefix="korv-random-")
        cls.addClassCleanup(shutil.rmtree, work, True)
        cls.frames = [cls.make(rng) for _ in range(cls.COUNT)]
        stream = b"".join(wire.frame(t, p) for t, p in cls.frames)
        text = os.path.join(work, "random.txt")
        with open(text, "w") as out:
            at = 0
            while at < len(stream):
                seg = stream[at:at + rng.randrange(1, 200)]
                at += len(seg)
                out.write("O\n" + "".join("%06x %s\n" % (r, " ".join(
                    "%02x" % b for b in seg[r:r + 16])) for r in range(0, len(seg), 16)))
        path = os.path.join(work, "random.pcap")
        port = free_port()
        subprocess.run(["text2pcap", "-q", "-D", "-T", "41000,%d" % port, text, path],
                       check=True, capture_output=True)
        cls.d = Dissection(LUA, path, port)

    def test_every_frame_found_and_flagged_as_the_library_would(self):
        self.assertEqual(self.d.lua_errors, [])
        self.assertEqual(len(self.d.pdus), len(self.frames))
        verdicts = [wire.library_verdict(t, p) for t, p in self.frames]
        got = [(p.type, p.errors()) for p in self.d.pdus]
        self.assertEqual(got, [(t, [v] if v else []) for (t, _), v in zip(self.frames, verdicts)])
        # The sample covers every verdict, so that a check the dissector lacks shows here.
        self.assertEqual(set(verdicts), {None, "no_nul", "cut_field", "cut_bytes", "bad_total",
                                         "bad_offset", "unknown_type"})


def main():
    global REFUSAL
    for program in (SERVER, CLI):
        if not os.access(program, os.X_OK):
            sys.exit("test-dissector: %s is missing; build it first" % program)
    REFUSAL = capture.live_capture_refusal()
    if REFUSAL:
        print("test-dissector: cannot capture on lo (%s): captures written with text2pcap "
              "from the relayed exchanges" % REFUSAL)
    unittest.main(argv=[sys.argv[0]] + sys.argv[1:], verbosity=2)


if __name__ == "__main__":
    main()
