/*
 * KorvanelleClient: read a patient's clinical information, thumbnails and images from a
 * server. The seventeen functions below are the whole interface.
 *
 * Usage: Connect, OpenPatient, walk the document with the getters, fetch thumbnails and
 * images by name, Disconnect. Call the functions from one thread at a time.
 *
 * Text results use the two-call protocol: pass a null buffer to learn the size (the
 * terminating NUL included), then a buffer of at least that size. Byte results work the
 * same way without a terminator. Texts are code page 936 bytes, as the server sends them.
 *
 * Handles (ModID, StudyID, FieldID) are valid until the next successful OpenPatient or
 * Disconnect; 0 means none.
 */
#ifndef KORVANELLE_CLIENT_H
#define KORVANELLE_CLIENT_H

#include <stdint.h>

#if defined(_WIN32)
#  define KORV_CALL __cdecl
#  if defined(KORV_BUILDING_LIBRARY)
#    define KORV_API
#  else
#    define KORV_API __declspec(dllimport)
#  endif
#else
#  define KORV_CALL
#  if defined(KORV_BUILDING_LIBRARY)
#    define KORV_API __attribute__((visibility("default")))
#  else
#    define KORV_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Pointer-sized opaque handles; a ModID may be passed where a StudyID is expected. */
typedef uintptr_t ModID;
typedef uintptr_t StudyID;
typedef uintptr_t FieldID;

/* Field types reported by GetFieldType. */
#define FIELD_TEXT 0
#define FIELD_IMAGE 1

/* Connects to the server (host name or dotted IPv4 address). 1 on success, 0 on failure. */
KORV_API int KORV_CALL Connect(const char* host, int port);
/* Closes the connection and stops the worker thread; does nothing when not connected. */
KORV_API void KORV_CALL Disconnect(void);

/* Asks for the patient's document and waits up to 10 s for it. 1 when it was loaded. */
KORV_API int KORV_CALL OpenPatient(const char* patientId);
KORV_API int KORV_CALL GetPatientName(char* buffer, unsigned int* size);

KORV_API int KORV_CALL GetModalityCount(void);
KORV_API ModID KORV_CALL GetModID(int index);
KORV_API int KORV_CALL GetModName(ModID mod, char* buffer, unsigned int* size);

KORV_API int KORV_CALL GetStudyCount(ModID mod);
KORV_API StudyID KORV_CALL GetStudyID(ModID mod, int index);
KORV_API int KORV_CALL GetStudyName(StudyID study, char* buffer, unsigned int* size);

KORV_API int KORV_CALL GetFieldCount(StudyID study);
KORV_API FieldID KORV_CALL GetFieldID(StudyID study, int index);
KORV_API int KORV_CALL GetFieldName(FieldID field, char* buffer, unsigned int* size);
/* FIELD_TEXT or FIELD_IMAGE; 0 for a handle that designates nothing. */
KORV_API int KORV_CALL GetFieldType(FieldID field);
KORV_API int KORV_CALL GetFieldData(FieldID field, char* buffer, unsigned int* size);

/* Fetches a thumbnail (waits up to 5 s) or an image (up to 10 s) by name. A repeated call
 * for the same name is answered from the library's copy without asking the server again. */
KORV_API int KORV_CALL GetThumbData(const char* name, void* buffer, unsigned int* size);
KORV_API int KORV_CALL GetImageData(const char* name, void* buffer, unsigned int* size);

#ifdef __cplusplus
}
#endif

#endif /* KORVANELLE_CLIENT_H */
