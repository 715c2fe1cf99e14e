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
