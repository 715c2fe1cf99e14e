"""Frames of the protocol as the tests write and read them, laid out by hand from the frame
and payload tables (little-endian integers, strings ended by one NUL), independently of the
dissector under test and of the C++ codecs."""

import struct

MSG_QUERY, MSG_QUERY_REPLY, MSG_THUMB_REQUEST = 1, 2, 3
MSG_THUMB_DATA, MSG_IMAGE_REQUEST, MSG_IMAGE_DATA = 4, 5, 6


def frame(msg_type, payload, length=None):
    """A frame; length overrides the length word (for broken frames)."""
    if length is None:
        length = len(payload) + 4
    return struct.pack("<HH", length, msg_type) + payload


def s(text):
    return text + b"\0"


def i32(*values):
    return struct.pack("<%di" % len(values), *values)


def u16(value):
    return struct.pack("<H", value)


def query(key, value):
    return frame(MSG_QUERY, s(key) + s(value))


def query_reply(key, value, total, offset, text):
    return frame(MSG_QUERY_REPLY, s(key) + s(value) + i32(total, offset) + s(text))


def thumb_request(name):
    return frame(MSG_THUMB_REQUEST, s(name))


def thumb_data(name, data):
    return frame(MSG_THUMB_DATA, s(name) + u16(len(data)) + data)


def image_request(name, p1=0, p2=255, p3=128):
    return frame(MSG_IMAGE_REQUEST, s(name) + i32(p1, p2, p3))


def image_data(name, total, offset, data, params=(0, 255, 128)):
    return frame(MSG_IMAGE_DATA,
                 s(name) + i32(*params) + i32(total, offset) + u16(len(data)) + data)


def split_frames(stream):
    """The whole frames at the start of a byte stream, by their length words."""
    frames, pos = [], 0
    while pos + 4 <= len(stream):
        length = struct.unpack_from("<H", stream, pos)[0]
        if length < 4 or pos + length > len(stream):
            break
        frames.append(stream[pos:pos + length])
        pos += length
    return frames


# The library's limits on a reply's total.
MAX_TEXT_TOTAL = 256 << 20
MAX_IMAGE_TOTAL = 1024 << 20


def library_verdict(msg_type, payload):
    """Why the client library drops this message (the dissector's expert name), or None.
    Walks the fields like its decoders, then checks a chunk like its reply assembly."""
    pos = 0

    def string():
        nonlocal pos
        nul = payload.find(b"\0", pos)
        if nul < 0:
            raise Refused("no_nul")
        text, pos = payload[pos:nul], nul + 1
        return text

    def fixed(fmt, size):
        nonlocal pos
        if len(payload) - pos < size:
            raise Refused("cut_field")
        value = struct.unpack_from(fmt, payload, pos)[0]
        pos += size
        return value

    def data(count):
        nonlocal pos
        if len(payload) - pos < count:
            raise Refused("cut_bytes")
        pos += count

    try:
        if msg_type in (MSG_QUERY, MSG_QUERY_REPLY):
            string(), string()
            if msg_type == MSG_QUERY_REPLY:
                total, offset = fixed("<i", 4), fixed("<i", 4)
                return chunk_verdict(total, offset, len(string()), MAX_TEXT_TOTAL)
        elif msg_type == MSG_THUMB_REQUEST:
            string()
        elif msg_type == MSG_THUMB_DATA:
            string()
            data(fixed("<H", 2))
        elif msg_type in (MSG_IMAGE_REQUEST, MSG_IMAGE_DATA):
            string()
            for _ in range(3):
                fixed("<i", 4)
            if msg_type == MSG_IMAGE_DATA:
                total, offset, length = fixed("<i", 4), fixed("<i", 4), fixed("<H", 2)
                data(length)
                # A total below 2 is the server's "no such image", not a fault.
                return None if total < 2 else chunk_verdict(total, offset, length,
                                                            MAX_IMAGE_TOTAL)
        else:
            return "unknown_type"
    except Refused as refused:
        return refused.reason
    return None


class Refused(Exception):
    def __init__(self, reason):
        super().__init__(reason)
        self.reason = reason


def chunk_verdict(total, offset, length, limit):
    if total < 0:
        return "bad_total"
    if offset < 0 or offset + length > total:
        return "bad_offset"
    if total > limit:
        return "bad_total"
    return None
