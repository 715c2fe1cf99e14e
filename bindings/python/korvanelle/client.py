"""The connection and the patient as Python objects."""

import ctypes
import threading
import time

from . import errors
from ._library import load_library

__all__ = ["Client", "connect", "Patient", "Node", "Field", "FIELD_TEXT", "FIELD_IMAGE"]

FIELD_TEXT = 0
FIELD_IMAGE = 1
ENCODING = "gbk"  # the library's texts are code page 936 bytes

# The library's functions must not run at the same time (ctypes releases the GIL during a
# call), so every call sequence of every Client holds this lock.
_calls = threading.RLock()

# Connect's own time-out; a failure that took about this long was a time-out.
_CONNECT_TIMEOUT_S = 10.0


def _decode(raw):
    return raw.decode(ENCODING, errors="replace")


def _encode(text):
    """str -> code page 936 bytes; bytes pass as they are.

    A NUL is refused: the library would read the text only up to it, and answer for a
    shorter identifier or name than the one asked for.
    """
    if isinstance(text, (bytes, bytearray)):
        raw = bytes(text)
    else:
        try:
            raw = str(text).encode(ENCODING)
        except UnicodeEncodeError as error:
            raise ValueError("%r cannot be written in code page 936" % (text,)) from error
    if b"\0" in raw:
        raise ValueError("%r holds a NUL, which ends the text for the library" % (text,))
    return raw


class Field:
    """One field: name, value and type; raw_* keep the library's code page 936 bytes."""

    __slots__ = ("raw_name", "raw_value", "type")

    def __init__(self, raw_name, raw_value, field_type):
        self.raw_name = raw_name
        self.raw_value = raw_value
        self.type = field_type

    name = property(lambda self: _decode(self.raw_name))
    value = property(lambda self: _decode(self.raw_value))
    is_image = property(lambda self: self.type == FIELD_IMAGE)

    def __repr__(self):
        return "Field(%r, %r%s)" % (self.name, self.value, ", image" if self.is_image else "")


class Node:
    """A modality or a study: a name, fields and (for a modality) studies."""

    __slots__ = ("raw_name", "fields", "studies")

    def __init__(self, raw_name, fields, studies=()):
        self.raw_name = raw_name
        self.fields = list(fields)
        self.studies = list(studies)

    name = property(lambda self: _decode(self.raw_name))

    def __repr__(self):
        return "Node(%r, %d fields, %d studies)" % (self.name, len(self.fields), len(self.studies))


class Patient:
    """A patient's document as read right after OpenPatient: a copy, not live handles."""

    __slots__ = ("id", "raw_name", "modalities")

    def __init__(self, patient_id, raw_name, modalities):
        self.id = patient_id
        self.raw_name = raw_name
        self.modalities = list(modalities)

    name = property(lambda self: _decode(self.raw_name))

    def image_fields(self):
        """Every image field, modalities' and studies', in document order."""
        for modality in self.modalities:
            for node in [modality] + modality.studies:
                for field in node.fields:
                    if field.is_image:
                        yield field

    def __repr__(self):
        return "Patient(%r, %r, %d modalities)" % (self.id, self.name, len(self.modalities))


class Client:
    """One connection (the library allows one per process). Use as a context manager:

        with korvanelle.connect(host, port) as client: ...

    Disconnect runs on leaving the block, and by close().
    """

    def __init__(self, host="127.0.0.1", port=7770, library=None):
        self._lib = load_library(library)
        self._connected = False
        started = time.monotonic()
        with _calls:
            if self._lib.Connect(_encode(host), int(port)):
                self._connected = True
                Client._open_count += 1
                return
        elapsed = time.monotonic() - started
        where = "%s:%s" % (host, port)
        if Client._open_count > 0:
            raise errors.AlreadyConnected(
                "a connection is already open in this process; close it first",
                errors.TEXT_NOT_CLOSED)
        if elapsed >= _CONNECT_TIMEOUT_S - 0.5:
            raise errors.ConnectError("no answer from %s within 10 s" % where,
                                      errors.TEXT_CONNECT_TIMEOUT)
        raise errors.ConnectError("cannot connect to %s" % where, errors.TEXT_CONNECT_FAILED)

    # Clients of this binding that are connected now (the library's limit is one).
    _open_count = 0

    def close(self):
        """Disconnect: ends the connection; safe to call twice."""
        with _calls:
            if self._connected:
                self._connected = False
                Client._open_count -= 1
                self._lib.Disconnect()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    @property
    def connected(self):
        return self._connected

    def _check(self):
        if not self._connected:
            raise errors.NotConnected("the client is closed")

    # -- texts and bytes by the two-call protocols --------------------------------------

    def _text(self, getter, *handle):
        size = ctypes.c_uint(0)
        if not getter(*handle, None, ctypes.byref(size)) or size.value == 0:
            return b""
        buffer = ctypes.create_string_buffer(size.value)
        if not getter(*handle, buffer, ctypes.byref(size)):
            return b""
        return buffer.raw[: size.value - 1]

    def _bytes(self, getter, name, what):
        with _calls:
            return self._locked_bytes(getter, name, what)

    def _locked_bytes(self, getter, name, what):
        self._check()
        raw = name.raw_value if isinstance(name, Field) else _encode(name)
        size = ctypes.c_uint(0)
        if not getter(raw, None, ctypes.byref(size)):
            raise errors.NotAvailable("%s %s not available" % (what, _decode(raw)))
        buffer = ctypes.create_string_buffer(size.value)
        # Answered from the library's copy of the same name.
        if not getter(raw, buffer, ctypes.byref(size)):
            raise errors.NotAvailable("%s %s not available" % (what, _decode(raw)))
        return buffer.raw[: size.value]

    def _fields(self, node):
        lib = self._lib
        fields = []
        for index in range(lib.GetFieldCount(node)):
            handle = lib.GetFieldID(node, index)
            fields.append(Field(self._text(lib.GetFieldName, handle),
                                self._text(lib.GetFieldData, handle),
                                lib.GetFieldType(handle)))
        return fields

    # -- the patient ------------------------------------------------------------------------

    def open_patient(self, patient_id):
        """Loads the patient (waits up to 10 s) and returns it as a Patient.

        RequestTimeout: no reply in 10 s. PatientNotFound: the reply held no usable
        document (no name and no modalities).
        """
        with _calls:
            return self._locked_open_patient(patient_id)

    def _locked_open_patient(self, patient_id):
        self._check()
        lib = self._lib
        if not lib.OpenPatient(_encode(patient_id)):
            raise errors.RequestTimeout("no reply for patient %s within 10 s" % (patient_id,))
        modalities = []
        for index in range(lib.GetModalityCount()):
            mod = lib.GetModID(index)
            studies = [Node(self._text(lib.GetStudyName, study), self._fields(study))
                       for study in (lib.GetStudyID(mod, j) for j in range(lib.GetStudyCount(mod)))]
            modalities.append(Node(self._text(lib.GetModName, mod), self._fields(mod), studies))
        raw_name = self._text(lib.GetPatientName)
        if not raw_name and not modalities:
            raise errors.PatientNotFound("patient %s not found" % (patient_id,))
        if isinstance(patient_id, (bytes, bytearray)):
            patient_id = _decode(bytes(patient_id))
        return Patient(patient_id, raw_name, modalities)

    def thumbnail(self, name):
        """The thumbnail's bytes (waits up to 5 s). name: str, bytes or an image Field."""
        return self._bytes(self._lib.GetThumbData, name, "thumbnail")

    def image(self, name):
        """The image's bytes (waits up to 10 s; a missing image costs the 10 s)."""
        return self._bytes(self._lib.GetImageData, name, "image")


def connect(host="127.0.0.1", port=7770, library=None):
    """Connects (waits up to 10 s) and returns a Client; use it in a with block."""
    return Client(host, port, library)
