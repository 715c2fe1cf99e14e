"""Exceptions raised by the binding."""

__all__ = [
    "KorvanelleError", "LibraryNotFound", "ConnectError", "AlreadyConnected",
    "NotConnected", "RequestTimeout", "PatientNotFound", "NotAvailable",
]

# The library's own failure texts for Connect (code page 936 in the library, decoded here).
# The library keeps the last one internally and does not export it; the binding names the
# one that matches what it observed (see ConnectError).
TEXT_NOT_CLOSED = "(KorvanelleClient.dll)Error:连接未关闭"
TEXT_CONNECT_FAILED = "(KorvanelleClient.dll)Error:连接失败"
TEXT_CONNECT_TIMEOUT = "(KorvanelleClient.dll)Error:连接超时"


class KorvanelleError(Exception):
    """Base of every error the binding raises."""


class LibraryNotFound(KorvanelleError, OSError):
    """The library could not be loaded."""


class ConnectError(KorvanelleError, ConnectionError):
    """Connect returned 0. library_text is the library's failure text for the case."""

    def __init__(self, message, library_text):
        super().__init__("%s [%s]" % (message, library_text))
        self.library_text = library_text


class AlreadyConnected(ConnectError):
    """A connection already exists in this process (one per process)."""


class NotConnected(KorvanelleError):
    """The client was closed, or never connected."""


class RequestTimeout(KorvanelleError, TimeoutError):
    """No complete reply within the library's time-out (10 s for a patient)."""


class PatientNotFound(KorvanelleError, LookupError):
    """The server answered with no usable document (no name and no modalities)."""


class NotAvailable(KorvanelleError, LookupError):
    """The thumbnail or image was not supplied (no such name, or no answer in time)."""
