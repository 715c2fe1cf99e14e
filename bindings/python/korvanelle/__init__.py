"""KorvanelleClient from Python (ctypes): read a patient's clinical information,
thumbnails and images from a server.

    import korvanelle
    with korvanelle.connect("127.0.0.1", 7770) as client:
        patient = client.open_patient("P10001")
        png = client.image(next(patient.image_fields()))
"""

from ._library import library_file_name, load_library
from .client import (FIELD_IMAGE, FIELD_TEXT, Client, Field, Node, Patient, connect)
from .errors import (AlreadyConnected, ConnectError, KorvanelleError, LibraryNotFound,
                     NotAvailable, NotConnected, PatientNotFound, RequestTimeout)

__version__ = "1.0.0.1"

__all__ = [
    "connect", "Client", "Patient", "Node", "Field", "FIELD_TEXT", "FIELD_IMAGE",
    "load_library", "library_file_name", "KorvanelleError", "LibraryNotFound",
    "ConnectError", "AlreadyConnected", "NotConnected", "RequestTimeout",
    "PatientNotFound", "NotAvailable",
]
