/*
 * KorvanelleClient: read a patient's clinical information, thumbnails and images from a
 * server. The seventeen functions below are the whole interface; this header is their
 * manual.
 *
 * Copyright 2026 The KorvanelleClient authors. Licensed under the Apache License 2.0.
 *
 * ---------------------------------------------------------------------------------------
 * USAGE
 *
 *   Connect(host, port);              one connection per process
 *   OpenPatient("P10001");            load that patient's document
 *   GetPatientName / GetModalityCount / GetModID / ... walk the document (no network)
 *   GetThumbData(name, ...) / GetImageData(name, ...)   fetch bytes by name
 *   Disconnect();                     always, also after any failure, and before unloading
 *
 * RESULTS
 *
 *   Every function returns 1 on success and 0 on failure, or a count or a handle (0 when
 *   there is none); Disconnect returns nothing. No function reports why it failed: the
 *   reason of a failed Connect is kept inside the library and is not exported. Nothing is
 *   ever written through a pointer when a function returns 0.
 *
 * NOT CONNECTED
 *
 *   "Connected" means Connect has succeeded and Disconnect has not been called since. When
 *   not connected, every function except Connect and Disconnect returns 0 at once, sends
 *   nothing and writes nothing: buffer and size are left as they were.
 *
 * TEXT RESULTS (GetPatientName, GetModName, GetStudyName, GetFieldName, GetFieldData)
 *
 *   The two-call protocol, with L the length of the text in bytes:
 *   - size is null: returns 0.
 *   - buffer is null: stores L + 1 (the terminating NUL included) in *size, returns 1.
 *   - *size <= L (too short for the text and its NUL): returns 0; buffer and *size are
 *     left untouched.
 *   - otherwise: copies the L bytes and a NUL into buffer, stores L + 1 in *size,
 *     returns 1. A size of exactly L + 1 is enough.
 *   A handle that designates nothing yields the empty text (L = 0): the call succeeds
 *   with *size = 1 and buffer[0] = 0. So 1 does not mean that the handle was valid.
 *
 * BYTE RESULTS (GetThumbData, GetImageData)
 *
 *   The same protocol without a terminator, with n the number of bytes:
 *   - size is null: returns 0.
 *   - buffer is null: fetches the bytes, stores n in *size, returns 1.
 *   - *size < n: returns 0; buffer and *size are left untouched.
 *   - otherwise: copies the n bytes into buffer, stores n in *size, returns 1.
 *   The library keeps the last thumbnail and the last image it received, each with its
 *   name. Asking again for the same name (typically the second call, with the buffer) is
 *   answered from that copy without asking the server. Asking for another name drops
 *   the copy of the same kind.
 *
 * THREADING
 *
 *   Call the functions from one thread at a time: no two calls may overlap. Any thread
 *   may make the calls, provided the host orders them (a lock or a single thread). No
 *   function calls back into the host. While connected the library runs one worker
 *   thread of its own, which owns the socket; it is started by Connect and ended by
 *   Disconnect.
 *
 * CONNECTION LIFE CYCLE
 *
 *   - One connection and one current patient document per process (per loaded copy of
 *     the library). Connect while connected returns 0 and leaves the existing connection
 *     as it was.
 *   - The library does not notice that the server has closed the connection. After the
 *     server drops, the library stays "connected": OpenPatient, GetThumbData and
 *     GetImageData return 0 at the end of their time-outs, the getters go on reading the
 *     document already loaded, and Connect returns 0. To recover, the host MUST call
 *     Disconnect, then Connect again. A host that sees a request time out and suspects
 *     the server should do exactly that.
 *   - Disconnect ends everything: the connection, the worker thread, the document, the
 *     held thumbnail and image. Call it before unloading the library (dlclose,
 *     FreeLibrary): unloading does not stop the worker thread.
 *
 * TIME-OUTS (how long each call can block the calling thread)
 *
 *   Connect       up to 10 s for the connection attempt (plus, in theory, up to 10 s for
 *                 the worker thread to start); a failed or timed-out attempt then tears
 *                 down, which adds up to 10 s plus the time the worker thread needs to
 *                 end (a host-name lookup in progress finishes first).
 *   Disconnect    up to 10 s for the worker to close the socket, plus the time it needs
 *                 to end; immediate when not connected.
 *   OpenPatient   10 s.
 *   GetThumbData  5 s; a thumbnail the server does not have is reported at once.
 *   GetImageData  10 s; an image the server does not have costs the full 10 s (the
 *                 server's "no such image" answer ends nothing on its own).
 *   The twelve getters never touch the network and never wait for a reply; they only
 *   wait, very briefly, while a reply that has just arrived swaps in its document.
 *   The repeated call answered from the library's copy returns without waiting.
 *
 * LATE REPLIES AND HANDLE LIFETIME
 *
 *   - A handle (ModID, StudyID, FieldID) identifies one entry of the document that was
 *     current when the handle was issued. It designates that entry until the document is
 *     replaced. Handles are never reused: a handle from an earlier document never
 *     designates an entry of a later one; it designates nothing (empty text, count 0,
 *     handle 0, type 0). Always obtain new handles after OpenPatient.
 *   - The document is replaced (a) when OpenPatient returns 1; (b) when the reply to an
 *     OpenPatient that returned 0 (timed out) arrives later and no newer OpenPatient was
 *     made since: the request is not withdrawn; (c) by Disconnect (it is dropped).
 *   - Each request accepts only its own reply. A thumbnail or image call accepts only the
 *     answer to its own request and only the bytes of the name it asked for. A patient
 *     reply echoes the identifier it answers (the sample server does): one that names an
 *     identifier asked for earlier on this connection, not the current one, is dropped.
 *     A server that echoes nothing cannot be matched this way: there, a late reply still
 *     completing when a newer OpenPatient is made answers that newer call, so a host
 *     talking to such a server should check GetPatientName after OpenPatient.
 *   - So after OpenPatient returned 0, the document may change under the host at any
 *     time to the patient that was asked for. Do not present what the getters return
 *     then as the earlier patient: call OpenPatient again (or Disconnect).
 *   - An OpenPatient for another patient drops a patient text still being received for
 *     the earlier one; a repeated OpenPatient for the same patient lets it complete.
 *   - Reads never see a document half replaced: each getter call sees the old document
 *     whole or the new one whole. A walk made of many calls can straddle a replacement
 *     in case (b); after it, stale handles designate nothing.
 *
 * TEXT ENCODING
 *
 *   Every text, in and out, is code page 936 (GBK) bytes whatever the host's locale or
 *   ANSI code page: patient identifiers, thumbnail and image names, and everything the
 *   getters return. The library passes them on byte for byte (no conversion, no
 *   normalisation); names are compared byte for byte and case-sensitively. The patient
 *   name is the value of the field named "\xD0\xD5\xC3\xFB" (code page 936 for the two
 *   characters meaning "name"). Convert at the host's edge, e.g. with iconv("GBK") or
 *   MultiByteToWideChar(936, ...).
 *
 * LIMITS
 *
 *   - One patient reply's text: at most 256 MiB. One image: at most 1 GiB in 64-bit
 *     builds, 512 MiB in 32-bit builds. A reply that announces more is dropped, so the
 *     call fails at the end of its time-out.
 *   - A thumbnail arrives in a single protocol message: it is below 64 KiB.
 *   - A document whose tree would need more than 64 times the size of its text plus
 *     16 MiB is refused as unusable: it leaves an empty document (counts 0, empty texts) and
 *     OpenPatient returns 1, as for any reply without a usable document.
 *   - Counts and indices are signed 32-bit; sizes are unsigned 32-bit.
 *
 * DYNAMIC LOADING
 *
 *   Hosts that load the library at run time (dlopen/dlsym, LoadLibrary/GetProcAddress)
 *   use the function-pointer types KorvConnectFn ... KorvGetImageDataFn below, and
 *   KORVANELLE_FOR_EACH_FUNCTION to list the seventeen names. The library exports these
 *   seventeen names and nothing else: on Windows KorvanelleClient.dll, __cdecl,
 *   undecorated, ordinals 1 to 17 in the byte order of the names; on Linux
 *   libKorvanelleClient.so.1.
 * ---------------------------------------------------------------------------------------
 */
#ifndef KORVANELLE_CLIENT_H
#define KORVANELLE_CLIENT_H

#include <stdint.h>

/* KORVANELLE_VERSION_MAJOR, _MINOR, _PATCH, _BUILD, _STRING and _NUMBER of this header. */
#include "KorvanelleClientVersion.h"

#if defined(_WIN32)
#define KORV_CALL __cdecl
#if defined(KORV_BUILDING_LIBRARY)
/* Marked as well as named in the .def file, so that link-time optimisation keeps them. */
#define KORV_API __declspec(dllexport)
#else
#define KORV_API __declspec(dllimport)
#endif
#else
#define KORV_CALL
#if defined(KORV_BUILDING_LIBRARY)
#define KORV_API __attribute__((visibility("default")))
#else
#define KORV_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Pointer-sized opaque handles; 0 means none. A ModID may be passed where a StudyID is
 * expected (a modality is a node with fields and children, like a study). */
typedef uintptr_t ModID;
typedef uintptr_t StudyID;
typedef uintptr_t FieldID;

/* Field types reported by GetFieldType. */
#define FIELD_TEXT 0
#define FIELD_IMAGE 1

/* ---- Connection ----------------------------------------------------------------------- */

/* Connects to the server at host (a host name or a dotted IPv4 address, as ASCII) and TCP
 * port, and starts the library's worker thread.
 * Returns 1 when connected. Returns 0 when a connection already exists (it is left as it
 * was, even when the server has dropped it: call Disconnect first), when the worker
 * thread cannot be created or started, when the server refuses, and when the attempt
 * does not end within 10 s (an unreachable host, a name that does not resolve). After
 * every 0 except the first case, nothing is left running. A null host connects to "".
 * Blocks up to 10 s for the attempt; a failure then adds the teardown (see TIME-OUTS). */
KORV_API int KORV_CALL Connect(const char* host, int port);

/* Closes the connection, ends the worker thread and drops the document and the held
 * thumbnail and image. Does nothing when not connected; safe to call twice. The only way
 * to recover from a dropped server. Blocks up to 10 s plus the worker thread's end. */
KORV_API void KORV_CALL Disconnect(void);

/* ---- Patient document ------------------------------------------------------------------ */

/* Asks the server for the patient's document (key "HISID", value patientId in code page
 * 936) and waits up to 10 s for it.
 * Returns 1 when a complete reply arrived and was loaded; the document then replaces the
 * previous one. 1 does not mean that the patient exists: a reply without a usable
 * document (empty, no "ROOT" element, malformed, or too large to build) leaves an empty
 * document (counts 0, empty texts); check GetModalityCount and GetPatientName.
 * Returns 0 when not connected, when patientId is null (nothing is sent; the call still
 * waits the 10 s), or when no complete reply came in 10 s. After 0 the previous document
 * stays readable until a late reply replaces it (see LATE REPLIES). */
KORV_API int KORV_CALL OpenPatient(const char* patientId);

/* The patient's name: the value of the field "\xD0\xD5\xC3\xFB" (code page 936 for
 * "name") among the patient element's own fields; else, modality by modality, in the
 * first study of each (later studies are not searched). Text protocol (see TEXT RESULTS); the empty text when there is
 * no such field or no document. 0 when not connected or size is null. No network. */
KORV_API int KORV_CALL GetPatientName(char* buffer, unsigned int* size);

/* The number of modalities (the document's top-level nodes, whatever their tag), 0 when
 * there is no document or when not connected. No network. */
KORV_API int KORV_CALL GetModalityCount(void);

/* The handle of the modality at index (0 to GetModalityCount() - 1); 0 when index is
 * out of range, when there is no document or when not connected. No network. */
KORV_API ModID KORV_CALL GetModID(int index);

/* The name of a modality (its "name" attribute). Text protocol; the empty text when mod
 * designates no modality (0, a stale handle, or a StudyID). 0 when not connected or
 * size is null. No network. */
KORV_API int KORV_CALL GetModName(ModID mod, char* buffer, unsigned int* size);

/* The number of studies (child nodes) of a modality; 0 when mod designates nothing or
 * when not connected. No network. */
KORV_API int KORV_CALL GetStudyCount(ModID mod);

/* The handle of the study at index (0 to GetStudyCount(mod) - 1) of a modality; 0 when
 * index is out of range, mod designates nothing, or when not connected. No network. */
KORV_API StudyID KORV_CALL GetStudyID(ModID mod, int index);

/* The name of a study; also accepts a ModID (then the modality's name). Text protocol;
 * the empty text when study designates nothing. 0 when not connected or size is null.
 * No network. */
KORV_API int KORV_CALL GetStudyName(StudyID study, char* buffer, unsigned int* size);

/* The number of fields of a study, or of a modality when given a ModID; 0 when study
 * designates nothing or when not connected. No network. */
KORV_API int KORV_CALL GetFieldCount(StudyID study);

/* The handle of the field at index (0 to GetFieldCount(study) - 1); 0 when index is out
 * of range, study designates nothing, or when not connected. No network. */
KORV_API FieldID KORV_CALL GetFieldID(StudyID study, int index);

/* The name of a field. Text protocol; the empty text when field designates nothing. 0
 * when not connected or size is null. No network. */
KORV_API int KORV_CALL GetFieldName(FieldID field, char* buffer, unsigned int* size);

/* FIELD_IMAGE (1) for a field whose value names a thumbnail and an image, FIELD_TEXT (0)
 * for a text field. Also 0 when field designates nothing and when not connected: use
 * GetFieldName to tell a text field from nothing. No network. */
KORV_API int KORV_CALL GetFieldType(FieldID field);

/* The value of a field: the text itself, or for a FIELD_IMAGE field the name to pass to
 * GetThumbData and GetImageData. Text protocol; the empty text when field designates
 * nothing. 0 when not connected or size is null. No network. */
KORV_API int KORV_CALL GetFieldData(FieldID field, char* buffer, unsigned int* size);

/* ---- Thumbnails and images -------------------------------------------------------------- */

/* The bytes of the thumbnail called name (as GetFieldData gives it). Byte protocol (see
 * BYTE RESULTS). A name equal to the last thumbnail received is answered from the
 * library's copy at once; any other name is asked of the server, waiting up to 5 s.
 * Returns 1 with the size (null buffer) or the bytes. Returns 0 when not connected (at
 * once, nothing sent), when the server has no such thumbnail (reported at once), when no
 * answer came in 5 s, when size is null, or when *size is below the thumbnail's size;
 * buffer and *size are then untouched. A null size or a short buffer still fetches the
 * thumbnail, so a corrected second call is answered from the copy. A null name asks for
 * the empty name. */
KORV_API int KORV_CALL GetThumbData(const char* name, void* buffer, unsigned int* size);

/* The bytes of the image called name, as GetThumbData does, but waiting up to 10 s; the
 * image may come in many pieces, in any order. An image the server does not have costs
 * the full 10 s and returns 0. Same results and same copy rules as GetThumbData. */
KORV_API int KORV_CALL GetImageData(const char* name, void* buffer, unsigned int* size);

/* ---- For hosts that load the library at run time ---------------------------------------- */

typedef int(KORV_CALL* KorvConnectFn)(const char* host, int port);
typedef void(KORV_CALL* KorvDisconnectFn)(void);
typedef int(KORV_CALL* KorvOpenPatientFn)(const char* patientId);
typedef int(KORV_CALL* KorvGetPatientNameFn)(char* buffer, unsigned int* size);
typedef int(KORV_CALL* KorvGetModalityCountFn)(void);
typedef ModID(KORV_CALL* KorvGetModIDFn)(int index);
typedef int(KORV_CALL* KorvGetModNameFn)(ModID mod, char* buffer, unsigned int* size);
typedef int(KORV_CALL* KorvGetStudyCountFn)(ModID mod);
typedef StudyID(KORV_CALL* KorvGetStudyIDFn)(ModID mod, int index);
typedef int(KORV_CALL* KorvGetStudyNameFn)(StudyID study, char* buffer, unsigned int* size);
typedef int(KORV_CALL* KorvGetFieldCountFn)(StudyID study);
typedef FieldID(KORV_CALL* KorvGetFieldIDFn)(StudyID study, int index);
typedef int(KORV_CALL* KorvGetFieldNameFn)(FieldID field, char* buffer, unsigned int* size);
typedef int(KORV_CALL* KorvGetFieldTypeFn)(FieldID field);
typedef int(KORV_CALL* KorvGetFieldDataFn)(FieldID field, char* buffer, unsigned int* size);
typedef int(KORV_CALL* KorvGetThumbDataFn)(const char* name, void* buffer, unsigned int* size);
typedef int(KORV_CALL* KorvGetImageDataFn)(const char* name, void* buffer, unsigned int* size);

/* X(name) once for each of the seventeen functions, in declaration order; for example
 *   #define DECLARE(name) Korv##name##Fn p##name;
 *   KORVANELLE_FOR_EACH_FUNCTION(DECLARE)
 * declares the pointers pConnect ... pGetImageData. */
/* clang-format off */
#define KORVANELLE_FOR_EACH_FUNCTION(X) \
    X(Connect) X(Disconnect) X(OpenPatient) X(GetPatientName) X(GetModalityCount) \
    X(GetModID) X(GetModName) X(GetStudyCount) X(GetStudyID) X(GetStudyName) \
    X(GetFieldCount) X(GetFieldID) X(GetFieldName) X(GetFieldType) X(GetFieldData) \
    X(GetThumbData) X(GetImageData)
/* clang-format on */

#ifdef __cplusplus
}
#endif

#endif /* KORVANELLE_CLIENT_H */
