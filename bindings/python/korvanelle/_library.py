"""Finding, loading and typing the KorvanelleClient library (ctypes)."""

import ctypes
import ctypes.util
import os
import sys

__all__ = ["load_library", "library_file_name"]

# Handles (ModID, StudyID, FieldID) are uintptr_t; size_t has the same width on every
# platform the library is built for.
HANDLE = ctypes.c_size_t
_TEXT_OUT = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_uint)]
_BYTES_OUT = [ctypes.c_char_p, ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint)]

# The seventeen functions: name -> (result type, argument types).
PROTOTYPES = {
    "Connect": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_int]),
    "Disconnect": (None, []),
    "OpenPatient": (ctypes.c_int, [ctypes.c_char_p]),
    "GetPatientName": (ctypes.c_int, [ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint)]),
    "GetModalityCount": (ctypes.c_int, []),
    "GetModID": (HANDLE, [ctypes.c_int]),
    "GetModName": (ctypes.c_int, [HANDLE, ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint)]),
    "GetStudyCount": (ctypes.c_int, [HANDLE]),
    "GetStudyID": (HANDLE, [HANDLE, ctypes.c_int]),
    "GetStudyName": (ctypes.c_int, [HANDLE, ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint)]),
    "GetFieldCount": (ctypes.c_int, [HANDLE]),
    "GetFieldID": (HANDLE, [HANDLE, ctypes.c_int]),
    "GetFieldName": (ctypes.c_int, [HANDLE, ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint)]),
    "GetFieldType": (ctypes.c_int, [HANDLE]),
    "GetFieldData": (ctypes.c_int, [HANDLE, ctypes.c_void_p, ctypes.POINTER(ctypes.c_uint)]),
    "GetThumbData": (ctypes.c_int, _BYTES_OUT),
    "GetImageData": (ctypes.c_int, _BYTES_OUT),
}


def library_file_name():
    """The library's file name on this platform."""
    if sys.platform == "win32":
        return "KorvanelleClient.dll"
    if sys.platform == "darwin":
        return "libKorvanelleClient.1.dylib"
    return "libKorvanelleClient.so.1"


def _candidates(path):
    if path:
        yield os.fspath(path)
        return
    env = os.environ.get("KORVANELLE_LIB")
    if env:
        yield env
        return
    name = library_file_name()
    folders = [os.path.join(sys.prefix, "lib"), os.path.join(sys.base_prefix, "lib"),
               "/usr/local/lib", "/usr/lib"]
    multiarch = getattr(sys.implementation, "_multiarch", None)
    if multiarch:
        folders += ["/usr/local/lib/" + multiarch, "/usr/lib/" + multiarch]
    seen = set()
    for folder in folders:
        candidate = os.path.join(folder, name)
        if candidate not in seen and os.path.isfile(candidate):
            seen.add(candidate)
            yield candidate
    found = ctypes.util.find_library("KorvanelleClient")
    if found:
        yield found
    # Last: the loader's own search path (LD_LIBRARY_PATH, the system's folders).
    yield name


_loaded = {}


def load_library(path=None):
    """Loads the library and declares the seventeen prototypes.

    path: a file to load; else $KORVANELLE_LIB; else the installed prefix (see README).
    The same file is loaded once per process; the library keeps one connection per process.
    """
    from .errors import LibraryNotFound

    tried = []
    for candidate in _candidates(path):
        key = os.path.abspath(candidate) if os.sep in candidate else candidate
        if key in _loaded:
            return _loaded[key]
        try:
            lib = ctypes.CDLL(candidate)
        except OSError as error:
            tried.append("%s (%s)" % (candidate, error))
            continue
        missing = [name for name in PROTOTYPES if not hasattr(lib, name)]
        if missing:
            tried.append("%s (lacks %s)" % (candidate, ", ".join(missing)))
            continue
        for name, (restype, argtypes) in PROTOTYPES.items():
            function = getattr(lib, name)
            function.restype = restype
            function.argtypes = argtypes
        _loaded[key] = lib
        return lib
    raise LibraryNotFound("cannot load the KorvanelleClient library; tried: " + "; ".join(tried))
