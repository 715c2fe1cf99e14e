/*
 * A C host of KorvanelleClient: connects, opens a patient, walks the document, fetches
 * the first image field's thumbnail and image, and prints what it got.
 *
 *   korvanelle-c-host [HOST [PORT [PATIENT_ID]]]     (defaults 127.0.0.1 7770 P10001)
 *
 * Texts are printed as the library gives them: code page 936 bytes (pipe them through
 * `iconv -f GBK` on a UTF-8 terminal). Exit status: 0 success, 1 cannot connect,
 * 2 patient not found, 3 thumbnail or image not available, 4 out of memory.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "KorvanelleClient.h"

/* A text by the two-call protocol: learn the size, then fetch into a buffer of that size.
 * Returns a malloc'd NUL-terminated copy (the empty text on failure), or NULL when out of
 * memory. */
static char* text_of(KorvGetFieldDataFn getter, uintptr_t handle)
{
    unsigned int size = 0;
    char* text;
    if (!getter(handle, NULL, &size) || size == 0)
        size = 1;
    text = (char*)malloc(size);
    if (text == NULL)
        return NULL;
    if (!getter(handle, text, &size))
        text[0] = '\0';
    return text;
}

/* Bytes by the same protocol: the first call fetches and tells the size, the second is
 * answered from the library's copy. Returns a malloc'd buffer and its size, or NULL. */
static unsigned char* bytes_of(KorvGetImageDataFn getter, const char* name, unsigned int* size)
{
    unsigned char* bytes;
    *size = 0;
    if (!getter(name, NULL, size) || *size == 0)
        return NULL;
    bytes = (unsigned char*)malloc(*size);
    if (bytes != NULL && !getter(name, bytes, size)) {
        free(bytes);
        bytes = NULL;
    }
    return bytes;
}

static void print_fields(StudyID node, const char* indent, char** first_image)
{
    int count = GetFieldCount(node);
    int i;
    for (i = 0; i < count; ++i) {
        FieldID field = GetFieldID(node, i);
        char* name = text_of(GetFieldName, field);
        char* value = text_of(GetFieldData, field);
        int image = GetFieldType(field) == FIELD_IMAGE;
        if (name != NULL && value != NULL)
            printf("%s%s = %s%s\n", indent, name, value, image ? "  [image]" : "");
        if (image && value != NULL && *first_image == NULL) {
            *first_image = value; /* kept: the name to fetch */
            value = NULL;
        }
        free(name);
        free(value);
    }
}

static void describe(const char* what, const char* name, const unsigned char* bytes,
                     unsigned int size)
{
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    printf("%s %s: %u bytes%s\n", what, name, size,
           size >= 8 && memcmp(bytes, png, 8) == 0 ? ", PNG" : "");
}

int main(int argc, char** argv)
{
    const char* host = argc > 1 ? argv[1] : "127.0.0.1";
    int port = argc > 2 ? atoi(argv[2]) : 7770;
    const char* patient = argc > 3 ? argv[3] : "P10001";
    char name[256];
    unsigned int size = sizeof name;
    char* first_image = NULL;
    unsigned char* bytes;
    int status = 0;
    int opened;
    int m, s;

    printf("KorvanelleClient %s\n", KORVANELLE_VERSION_STRING);
    if (!Connect(host, port)) {
        fprintf(stderr, "cannot connect to %s:%d\n", host, port);
        return 1;
    }
    /* 1 means a reply came; a patient the server does not know leaves an empty document. */
    name[0] = '\0';
    opened = OpenPatient(patient);
    /* A name longer than the buffer fails (0) and leaves the buffer untouched. */
    if (opened && !GetPatientName(name, &size))
        strcpy(name, "(name too long)");
    if (!opened || (GetModalityCount() == 0 && name[0] == '\0')) {
        fprintf(stderr, "patient %s not found\n", patient);
        Disconnect();
        return 2;
    }
    printf("patient %s: %s\n", patient, name);
    for (m = 0; m < GetModalityCount(); ++m) {
        ModID mod = GetModID(m);
        char* mod_name = text_of(GetModName, mod);
        printf("  modality %s\n", mod_name != NULL ? mod_name : "");
        free(mod_name);
        print_fields(mod, "    ", &first_image);
        for (s = 0; s < GetStudyCount(mod); ++s) {
            StudyID study = GetStudyID(mod, s);
            char* study_name = text_of(GetStudyName, study);
            printf("    study %s\n", study_name != NULL ? study_name : "");
            free(study_name);
            print_fields(study, "      ", &first_image);
        }
    }

    if (first_image == NULL) {
        printf("no image fields\n");
    } else {
        bytes = bytes_of(GetThumbData, first_image, &size);
        if (bytes != NULL)
            describe("thumbnail", first_image, bytes, size);
        else
            status = 3;
        free(bytes);
        bytes = bytes_of(GetImageData, first_image, &size);
        if (bytes != NULL)
            describe("image", first_image, bytes, size);
        else
            status = 3;
        free(bytes);
        if (status != 0)
            fprintf(stderr, "%s: thumbnail or image not available\n", first_image);
        free(first_image);
    }
    Disconnect();
    return status;
}
