/*
 * korvanelle_wine_test: a Windows host for KorvanelleClient.dll (32- or 64-bit, built with the
 * DLL's toolchain), run under wine by `make test-win64` and `make test-win32`.
 *
 * Usage: korvanelle_wine_test.exe DLL PORT DATA_DIR [CLOSED_PORT]
 *   DLL          path of KorvanelleClient.dll
 *   PORT         port of the sample server (korvanelle-server) on 127.0.0.1
 *   DATA_DIR     the folder the server serves (examples/data): the expected texts and bytes
 *   CLOSED_PORT  a port on 127.0.0.1 where nothing listens (default: one picked here)
 *
 * It uses the library as a host does: LoadLibraryA and GetProcAddress only. It checks the
 * exports (by name and by ordinal), the version record, and an end-to-end scenario against
 * the server: a refused connection, connect, open a patient, walk modalities, studies and
 * fields against the patient's markup file, the patient's name in code page 936, a
 * thumbnail and a multi-chunk image against the files, disconnect, connect again.
 *
 * One line per check ("ok - ..." or "FAIL - ..."), then "N passed, N failed"; the exit
 * code is 0 only when nothing failed.
 */
#include <winsock2.h>
#include <windows.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "KorvanelleClient.h"

/* ---- checks ------------------------------------------------------------------------- */

static int g_passed;
static int g_failed;

static int Check(int ok, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    fputs(ok ? "ok - " : "FAIL - ", stdout);
    vprintf(format, args);
    fputc('\n', stdout);
    va_end(args);
    fflush(stdout);
    if (ok)
        ++g_passed;
    else
        ++g_failed;
    return ok;
}

static void PrintHex(const char* label, const unsigned char* bytes, size_t count)
{
    size_t i;
    printf("    %s (%lu bytes):", label, (unsigned long)count);
    for (i = 0; i < count && i < 64; ++i)
        printf(" %02X", bytes[i]);
    if (count > 64)
        printf(" ...");
    printf("\n");
}

/* ---- the exports, resolved at run time ------------------------------------------------ */

/* The functions as the header lists them (KORVANELLE_FOR_EACH_FUNCTION), each through its
 * function-pointer type; kExportNames[i] is the i-th name in byte order, which the .def file
 * numbers i + 1 (sorted here, so the list is written once, in the header). */
#define KORV_NAME(name) #name,
static const char* kExportNames[] = {KORVANELLE_FOR_EACH_FUNCTION(KORV_NAME)};
#undef KORV_NAME
enum { kExportCount = (int)(sizeof(kExportNames) / sizeof(kExportNames[0])) };

static struct {
#define KORV_MEMBER(name) Korv##name##Fn name;
    KORVANELLE_FOR_EACH_FUNCTION(KORV_MEMBER)
#undef KORV_MEMBER
} api;

static FARPROC g_byName[kExportCount];

static int CompareNames(const void* left, const void* right)
{
    return strcmp(*(const char* const*)left, *(const char* const*)right);
}

static FARPROC Export(const char* name)
{
    int i;
    for (i = 0; i < kExportCount; ++i) {
        if (strcmp(kExportNames[i], name) == 0)
            return g_byName[i];
    }
    return NULL;
}

static int ResolveExports(HMODULE module)
{
    int i;
    int all = 1;
    for (i = 0; i < kExportCount; ++i) {
        FARPROC byName = GetProcAddress(module, kExportNames[i]);
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(i + 1));
        g_byName[i] = byName;
        all &= Check(byName != NULL && byName == byOrdinal,
                     "export %s by name and by ordinal %d agree", kExportNames[i], i + 1);
    }
    Check(GetProcAddress(module, MAKEINTRESOURCEA(kExportCount + 1)) == NULL,
          "no export with ordinal %d", kExportCount + 1);
    Check(GetProcAddress(module, "_Connect") == NULL && GetProcAddress(module, "Connect@8") == NULL,
          "no decorated export names");
    Check(GetProcAddress(module, "DllMain") == NULL && GetProcAddress(module, "theApp") == NULL,
          "no other exports (DllMain, theApp)");

#define KORV_RESOLVE(name) api.name = (Korv##name##Fn)(void*)Export(#name);
    KORVANELLE_FOR_EACH_FUNCTION(KORV_RESOLVE)
#undef KORV_RESOLVE
    return all;
}

/* The export directory as the loader sees it: module name, ordinal base, counts. The optional
 * header has two layouts (PE32 and PE32+, whose data directories sit at different offsets),
 * so the walk reads the one the magic names; every address in the image is an offset (RVA)
 * from the module's base, whatever the width of that base. */
static void CheckExportDirectory(HMODULE module)
{
    const unsigned char* base = (const unsigned char*)module;
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    const unsigned char* ntBytes = base + dos->e_lfanew;
    const IMAGE_FILE_HEADER* file = (const IMAGE_FILE_HEADER*)(ntBytes + sizeof(DWORD));
    const WORD magic = *(const WORD*)(file + 1);
    const IMAGE_DATA_DIRECTORY* entry;
    const IMAGE_EXPORT_DIRECTORY* dir;
    const char* name;
#if defined(_WIN64)
    const WORD wantMachine = IMAGE_FILE_MACHINE_AMD64;
    const WORD wantMagic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const char* what = "a 64-bit x86-64 DLL (PE32+)";
#else
    const WORD wantMachine = IMAGE_FILE_MACHINE_I386;
    const WORD wantMagic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    const char* what = "a 32-bit x86 DLL (PE32)";
#endif

    Check(dos->e_magic == IMAGE_DOS_SIGNATURE && *(const DWORD*)ntBytes == IMAGE_NT_SIGNATURE,
          "the module starts with the DOS and PE signatures");
    Check(file->Machine == wantMachine && magic == wantMagic &&
              (file->Characteristics & IMAGE_FILE_DLL) != 0,
          "the module is %s (machine 0x%04X, magic 0x%03X)", what, file->Machine, magic);
    if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        const IMAGE_OPTIONAL_HEADER64* optional = (const IMAGE_OPTIONAL_HEADER64*)(file + 1);
        entry = optional->NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_EXPORT
                    ? &optional->DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT]
                    : NULL;
    } else if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        const IMAGE_OPTIONAL_HEADER32* optional = (const IMAGE_OPTIONAL_HEADER32*)(file + 1);
        entry = optional->NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_EXPORT
                    ? &optional->DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT]
                    : NULL;
    } else {
        entry = NULL;
    }
    if (!Check(entry != NULL && entry->VirtualAddress != 0 && entry->Size >= sizeof *dir,
               "the module has an export directory"))
        return;
    dir = (const IMAGE_EXPORT_DIRECTORY*)(base + entry->VirtualAddress);
    name = (const char*)(base + dir->Name);
    Check(strcmp(name, "KorvanelleClient.dll") == 0, "export table names the module \"%s\"", name);
    Check(dir->Base == 1 && dir->NumberOfFunctions == kExportCount &&
              dir->NumberOfNames == kExportCount,
          "export table: ordinal base %lu, %lu functions, %lu names (want 1, %d, %d)",
          (unsigned long)dir->Base, (unsigned long)dir->NumberOfFunctions,
          (unsigned long)dir->NumberOfNames, kExportCount, kExportCount);
    if (dir->NumberOfNames == kExportCount) {
        /* The name table is sorted (the loader's binary search needs it), and each name's
         * ordinal is its place in that order: ordinal = base + index. */
        const DWORD* names = (const DWORD*)(base + dir->AddressOfNames);
        const WORD* ordinals = (const WORD*)(base + dir->AddressOfNameOrdinals);
        int i, inOrder = 1;
        for (i = 0; i < kExportCount; ++i) {
            if (strcmp((const char*)(base + names[i]), kExportNames[i]) != 0 || ordinals[i] != i)
                inOrder = 0;
        }
        Check(inOrder, "export name table: the %d names in byte order, name i has ordinal i + 1",
              kExportCount);
    }
}

/* ---- the version record ---------------------------------------------------------------- */

static void CheckVersionString(const void* info, const char* key, const char* want)
{
    char path[128];
    char* value = NULL;
    UINT length = 0;
    snprintf(path, sizeof path, "\\StringFileInfo\\080403a8\\%s", key);
    if (!VerQueryValueA(info, path, (void**)&value, &length) || value == NULL) {
        Check(0, "version %s = \"%s\" (missing)", key, want);
        return;
    }
    Check(strcmp(value, want) == 0, "version %s = \"%s\" (got \"%s\")", key, want, value);
}

static void CheckVersion(HMODULE module)
{
    char path[MAX_PATH];
    DWORD handle = 0;
    DWORD size;
    void* info;
    VS_FIXEDFILEINFO* fixed = NULL;
    WORD* translation = NULL;
    UINT length = 0;

    if (!Check(GetModuleFileNameA(module, path, sizeof path) > 0, "GetModuleFileNameA"))
        return;
    Check(FindResourceExA(module, (LPCSTR)RT_VERSION, MAKEINTRESOURCEA(VS_VERSION_INFO),
                          MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)) != NULL,
          "version resource in language 0x0804 (Chinese, PRC)");
    size = GetFileVersionInfoSizeA(path, &handle);
    if (!Check(size > 0, "GetFileVersionInfoSizeA: %lu bytes", (unsigned long)size))
        return;
    info = malloc(size);
    if (!Check(info != NULL && GetFileVersionInfoA(path, 0, size, info), "GetFileVersionInfoA")) {
        free(info);
        return;
    }
    if (Check(VerQueryValueA(info, "\\", (void**)&fixed, &length) && fixed != NULL &&
                  length >= sizeof *fixed && fixed->dwSignature == 0xFEEF04BD,
              "fixed version info present")) {
        Check(fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00000001,
              "FILEVERSION 1,0,0,1 (got %lu,%lu,%lu,%lu)",
              (unsigned long)HIWORD(fixed->dwFileVersionMS),
              (unsigned long)LOWORD(fixed->dwFileVersionMS),
              (unsigned long)HIWORD(fixed->dwFileVersionLS),
              (unsigned long)LOWORD(fixed->dwFileVersionLS));
        Check(fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0x00000001,
              "PRODUCTVERSION 1,0,0,1");
        Check(fixed->dwFileType == VFT_DLL, "file type VFT_DLL");
        Check(fixed->dwFileOS == VOS__WINDOWS32, "file OS VOS__WINDOWS32");
    }
    if (Check(VerQueryValueA(info, "\\VarFileInfo\\Translation", (void**)&translation, &length) &&
                  translation != NULL && length >= 4,
              "version Translation present")) {
        Check(translation[0] == 0x0804 && translation[1] == 936,
              "version Translation 0x0804, 936 (got 0x%04X, %u)", translation[0], translation[1]);
    }
    CheckVersionString(info, "FileDescription", "KorvanelleClient DLL");
    CheckVersionString(info, "FileVersion", "1.0.0.1");
    CheckVersionString(info, "InternalName", "KorvanelleClient");
    CheckVersionString(info, "OriginalFilename", "KorvanelleClient.dll");
    CheckVersionString(info, "ProductName", "KorvanelleClient Dynamic Link Library");
    CheckVersionString(info, "ProductVersion", "1.0.0.1");
    free(info);
}

/* ---- files -------------------------------------------------------------------------------- */

typedef struct {
    unsigned char* data;
    size_t size;
} Blob;

static int ReadFileBytes(const char* path, Blob* out)
{
    FILE* file = fopen(path, "rb");
    long size;
    out->data = NULL;
    out->size = 0;
    if (file == NULL)
        return 0;
    if (fseek(file, 0, SEEK_END) != 0 || (size = ftell(file)) < 0 ||
        fseek(file, 0, SEEK_SET) != 0) {
        fclose(file);
        return 0;
    }
    out->data = (unsigned char*)malloc((size_t)size + 1);
    if (out->data == NULL || fread(out->data, 1, (size_t)size, file) != (size_t)size) {
        free(out->data);
        out->data = NULL;
        fclose(file);
        return 0;
    }
    out->data[size] = 0;
    out->size = (size_t)size;
    fclose(file);
    return 1;
}

/* ---- the expected document, read from the patient's markup (code page 936) ------------- */

#define MAX_ITEMS 64

typedef struct {
    char* name;
    char* value;
    int type;
} ExpField;

typedef struct {
    char* name;
    int fieldCount;
    ExpField fields[MAX_ITEMS];
} ExpStudy;

typedef struct {
    char* name;
    int studyCount;
    ExpStudy studies[MAX_ITEMS];
} ExpModality;

typedef struct {
    char* patientName; /* the value of the patient's field named 姓名 */
    int modalityCount;
    ExpModality modalities[MAX_ITEMS];
} ExpDocument;

/* 姓名 ("name") in code page 936. */
static const char kNameField[] = "\xD0\xD5\xC3\xFB";

/* Appends the code page 936 bytes of one character reference. */
static size_t PutCodePoint(unsigned long code, char* out)
{
    wchar_t unit = (wchar_t)code;
    BOOL usedDefault = FALSE;
    int written;
    if (code == 0 || code > 0xFFFF)
        return 0;
    written = WideCharToMultiByte(936, 0, &unit, 1, out, 2, NULL, &usedDefault);
    return written > 0 ? (size_t)written : 0;
}

/* Decodes an attribute value: the five named entities and numeric character references. */
static char* DecodeValue(const char* begin, const char* end)
{
    char* out = (char*)malloc((size_t)(end - begin) * 2 + 1);
    size_t n = 0;
    const char* p = begin;
    while (p < end) {
        const unsigned char c = (unsigned char)*p;
        if (c >= 0x81 && c <= 0xFE && p + 1 < end) {
            out[n++] = p[0];
            out[n++] = p[1];
            p += 2;
            continue;
        }
        if (c == '&') {
            const char* semi = memchr(p, ';', (size_t)(end - p));
            if (semi != NULL) {
                const size_t len = (size_t)(semi - p - 1);
                const char* ent = p + 1;
                if (len == 2 && strncmp(ent, "lt", 2) == 0)
                    out[n++] = '<';
                else if (len == 2 && strncmp(ent, "gt", 2) == 0)
                    out[n++] = '>';
                else if (len == 3 && strncmp(ent, "amp", 3) == 0)
                    out[n++] = '&';
                else if (len == 4 && strncmp(ent, "quot", 4) == 0)
                    out[n++] = '"';
                else if (len == 4 && strncmp(ent, "apos", 4) == 0)
                    out[n++] = '\'';
                else if (len > 2 && ent[0] == '#' && (ent[1] == 'x' || ent[1] == 'X'))
                    n += PutCodePoint(strtoul(ent + 2, NULL, 16), out + n);
                else if (len > 1 && ent[0] == '#')
                    n += PutCodePoint(strtoul(ent + 1, NULL, 10), out + n);
                else
                    goto literal;
                p = semi + 1;
                continue;
            }
        }
    literal:
        out[n++] = *p++;
    }
    out[n] = 0;
    return out;
}

/* The value of attribute `name` in the start tag that begins at tag (up to its '>'). */
static char* TagAttribute(const char* tag, const char* name)
{
    const char* close = strchr(tag, '>');
    const size_t nameLen = strlen(name);
    const char* p = tag;
    while (close != NULL && (p = strstr(p, name)) != NULL && p < close) {
        if ((p[-1] == ' ' || p[-1] == '\t' || p[-1] == '\r' || p[-1] == '\n') &&
            p[nameLen] == '=' && p[nameLen + 1] == '"') {
            const char* begin = p + nameLen + 2;
            const char* end = strchr(begin, '"');
            if (end == NULL || end > close)
                return NULL;
            return DecodeValue(begin, end);
        }
        p += nameLen;
    }
    return NULL;
}

static int StartsWithTag(const char* p, const char* name)
{
    const size_t len = strlen(name);
    return p[0] == '<' && strncmp(p + 1, name, len) == 0 &&
           (p[len + 1] == ' ' || p[len + 1] == '>' || p[len + 1] == '/' || p[len + 1] == '\r' ||
            p[len + 1] == '\n' || p[len + 1] == '\t');
}

/* Reads the shape the sample data has: Modality > Study > Fields > Text|Image > Field. */
static int LoadExpected(const char* text, ExpDocument* doc)
{
    const char* p = text;
    ExpModality* modality = NULL;
    ExpStudy* study = NULL;
    int groupType = 0;
    memset(doc, 0, sizeof *doc);
    while ((p = strchr(p, '<')) != NULL) {
        if (StartsWithTag(p, "Modality")) {
            if (doc->modalityCount == MAX_ITEMS)
                return 0;
            modality = &doc->modalities[doc->modalityCount++];
            modality->name = TagAttribute(p, "Name");
            study = NULL;
        } else if (StartsWithTag(p, "Study") && modality != NULL) {
            if (modality->studyCount == MAX_ITEMS)
                return 0;
            study = &modality->studies[modality->studyCount++];
            study->name = TagAttribute(p, "Name");
        } else if (StartsWithTag(p, "Text")) {
            groupType = FIELD_TEXT;
        } else if (StartsWithTag(p, "Image")) {
            groupType = FIELD_IMAGE;
        } else if (StartsWithTag(p, "Field")) {
            char* name = TagAttribute(p, "FieldName");
            char* value = TagAttribute(p, "FieldValue");
            if (name == NULL)
                return 0;
            if (study != NULL) {
                ExpField* field;
                if (study->fieldCount == MAX_ITEMS)
                    return 0;
                field = &study->fields[study->fieldCount++];
                field->name = name;
                field->value = value != NULL ? value : DecodeValue("", "");
                field->type = groupType;
            } else if (modality == NULL && doc->patientName == NULL &&
                       strcmp(name, kNameField) == 0) {
                doc->patientName = value;
            }
        }
        ++p;
    }
    return doc->patientName != NULL && doc->modalityCount > 0;
}

/* ---- text and byte results ------------------------------------------------------------ */

/* The two-call text protocol: size (NUL included), then the text. NULL when either fails. */
static char* TextOf0(KorvGetPatientNameFn get)
{
    unsigned int size = 0;
    char* buffer;
    if (!get(NULL, &size) || size == 0)
        return NULL;
    buffer = (char*)malloc(size);
    if (!get(buffer, &size)) {
        free(buffer);
        return NULL;
    }
    return buffer;
}

static char* TextOf1(KorvGetModNameFn get, uintptr_t handle)
{
    unsigned int size = 0;
    char* buffer;
    if (!get(handle, NULL, &size) || size == 0)
        return NULL;
    buffer = (char*)malloc(size);
    if (!get(handle, buffer, &size) || strlen(buffer) + 1 != size) {
        free(buffer);
        return NULL;
    }
    return buffer;
}

static int SameText(const char* got, const char* want)
{
    return got != NULL && want != NULL && strcmp(got, want) == 0;
}

static void CheckText(const char* what, const char* got, const char* want)
{
    if (!Check(SameText(got, want), "%s", what)) {
        if (got != NULL)
            PrintHex("got ", (const unsigned char*)got, strlen(got));
        if (want != NULL)
            PrintHex("want", (const unsigned char*)want, strlen(want));
    }
}

static void CheckBytes(const char* what, KorvGetThumbDataFn get, const char* name, const char* path)
{
    Blob want;
    unsigned int size = 0;
    unsigned char* buffer;
    DWORD start;
    if (!Check(ReadFileBytes(path, &want), "%s: read %s", what, path))
        return;
    start = GetTickCount();
    if (Check(get(name, NULL, &size) == 1, "%s %s: size query (%lu ms)", what, name,
              (unsigned long)(GetTickCount() - start))) {
        Check(size == want.size, "%s %s: size %u (file: %lu)", what, name, size,
              (unsigned long)want.size);
        buffer = (unsigned char*)malloc(size + 1);
        if (size > 1) {
            unsigned int small = size - 1;
            Check(get(name, buffer, &small) == 0, "%s %s: a buffer one byte short is refused", what,
                  name);
        }
        start = GetTickCount();
        Check(get(name, buffer, &size) == 1 && size == want.size &&
                  memcmp(buffer, want.data, want.size) == 0,
              "%s %s: %u bytes equal the file (copied from the library's copy in %lu ms)", what,
              name, size, (unsigned long)(GetTickCount() - start));
        free(buffer);
    }
    free(want.data);
}

/* ---- the scenario ------------------------------------------------------------------------ */

static unsigned PickClosedPort(void)
{
    WSADATA data;
    SOCKET s;
    struct sockaddr_in addr;
    int len = sizeof addr;
    unsigned port = 0;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 0;
    s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        memset(&addr, 0, sizeof addr);
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(s, (struct sockaddr*)&addr, sizeof addr) == 0 &&
            getsockname(s, (struct sockaddr*)&addr, &len) == 0)
            port = ntohs(addr.sin_port);
        closesocket(s); /* bound, never listening: connecting to it is refused */
    }
    WSACleanup();
    return port;
}

static void WalkDocument(const ExpDocument* doc)
{
    int m, s, f;
    char what[160];
    const int modalities = api.GetModalityCount();
    if (!Check(modalities == doc->modalityCount, "GetModalityCount = %d (markup: %d)", modalities,
               doc->modalityCount))
        return;
    Check(api.GetModID(modalities) == 0 && api.GetModID(-1) == 0, "GetModID out of range gives 0");
    for (m = 0; m < modalities; ++m) {
        const ExpModality* em = &doc->modalities[m];
        const uintptr_t mod = api.GetModID(m);
        char* text;
        int studies;
        if (!Check(mod != 0, "GetModID(%d) != 0", m))
            continue;
        text = TextOf1(api.GetModName, mod);
        snprintf(what, sizeof what, "modality %d: GetModName = %s", m, em->name);
        CheckText(what, text, em->name);
        free(text);
        studies = api.GetStudyCount(mod);
        if (!Check(studies == em->studyCount, "modality %s: GetStudyCount = %d (markup: %d)",
                   em->name, studies, em->studyCount))
            continue;
        for (s = 0; s < studies; ++s) {
            const ExpStudy* es = &em->studies[s];
            const uintptr_t study = api.GetStudyID(mod, s);
            int fields;
            int namesOk = 1, valuesOk = 1, typesOk = 1;
            if (!Check(study != 0, "modality %s: GetStudyID(%d) != 0", em->name, s))
                continue;
            text = TextOf1(api.GetStudyName, study);
            snprintf(what, sizeof what, "modality %s, study %d: GetStudyName", em->name, s);
            CheckText(what, text, es->name);
            free(text);
            fields = api.GetFieldCount(study);
            if (!Check(fields == es->fieldCount,
                       "modality %s, study %d: GetFieldCount = %d (markup: %d)", em->name, s,
                       fields, es->fieldCount))
                continue;
            for (f = 0; f < fields; ++f) {
                const ExpField* ef = &es->fields[f];
                const uintptr_t field = api.GetFieldID(study, f);
                char* name = TextOf1(api.GetFieldName, field);
                char* value = TextOf1(api.GetFieldData, field);
                const int type = api.GetFieldType(field);
                if (!SameText(name, ef->name)) {
                    namesOk = 0;
                    snprintf(what, sizeof what, "modality %s, study %d, field %d: name", em->name,
                             s, f);
                    CheckText(what, name, ef->name);
                }
                if (!SameText(value, ef->value)) {
                    valuesOk = 0;
                    snprintf(what, sizeof what, "modality %s, study %d, field %d: value", em->name,
                             s, f);
                    CheckText(what, value, ef->value);
                }
                if (type != ef->type)
                    typesOk = 0;
                free(name);
                free(value);
            }
            Check(namesOk && valuesOk && typesOk,
                  "modality %s, study %d: %d fields, names, values (entities decoded, code page "
                  "936) and "
                  "types match the markup",
                  em->name, s, fields);
        }
    }
}

static const char* FindImageOfSize(const ExpDocument* doc, const char* dataDir, size_t minSize,
                                   char* path, size_t pathSize)
{
    int m, s, f;
    for (m = 0; m < doc->modalityCount; ++m) {
        for (s = 0; s < doc->modalities[m].studyCount; ++s) {
            const ExpStudy* es = &doc->modalities[m].studies[s];
            for (f = 0; f < es->fieldCount; ++f) {
                Blob blob;
                if (es->fields[f].type != FIELD_IMAGE)
                    continue;
                snprintf(path, pathSize, "%s/images/%s", dataDir, es->fields[f].value);
                if (ReadFileBytes(path, &blob)) {
                    free(blob.data);
                    if (blob.size >= minSize)
                        return es->fields[f].value;
                }
            }
        }
    }
    return NULL;
}

int main(int argc, char** argv)
{
    const char* dllPath;
    const char* dataDir;
    int port;
    unsigned closedPort;
    HMODULE module;
    DWORD loadError;
    char path[MAX_PATH];
    Blob markup;
    static ExpDocument doc; /* large: not on the stack */
    DWORD start;
    char* name;
    const char* patient = "P10001";
    const char* thumb = "P10001_CT_1_1.png";
    const char* image;

    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc < 4 || argc > 5) {
        fprintf(stderr, "usage: %s DLL PORT DATA_DIR [CLOSED_PORT]\n", argv[0]);
        return 2;
    }
    dllPath = argv[1];
    port = atoi(argv[2]);
    dataDir = argv[3];
    closedPort = argc == 5 ? (unsigned)atoi(argv[4]) : PickClosedPort();

    /* Loading and the export table. */
    module = LoadLibraryA(dllPath);
    loadError = module != NULL ? 0 : GetLastError();
    if (!Check(module != NULL, "LoadLibraryA(%s)", dllPath)) {
        printf("    error %lu\n", (unsigned long)loadError);
        printf("%d passed, %d failed\n", g_passed, g_failed);
        return 1;
    }
    qsort(kExportNames, kExportCount, sizeof(kExportNames[0]), CompareNames);
    CheckExportDirectory(module);
    if (!ResolveExports(module)) {
        printf("%d passed, %d failed\n", g_passed, g_failed);
        return 1;
    }
    CheckVersion(module);

    /* The expected document. */
    snprintf(path, sizeof path, "%s/patients/%s.xml", dataDir, patient);
    if (!Check(ReadFileBytes(path, &markup) && LoadExpected((const char*)markup.data, &doc),
               "read the expected document from %s", path)) {
        printf("%d passed, %d failed\n", g_passed, g_failed);
        return 1;
    }

    /* Nothing connected yet. */
    api.Disconnect();
    Check(1, "Disconnect without a connection does nothing");
    Check(api.GetModalityCount() == 0 && api.OpenPatient(patient) == 0,
          "not connected: GetModalityCount 0, OpenPatient 0");

    /* A refused connection. */
    if (Check(closedPort != 0, "a closed port on 127.0.0.1: %u", closedPort)) {
        start = GetTickCount();
        Check(api.Connect("127.0.0.1", (int)closedPort) == 0,
              "Connect to the closed port %u fails (%lu ms)", closedPort,
              (unsigned long)(GetTickCount() - start));
        Check(GetTickCount() - start < 10000, "the refusal is reported before the 10 s time-out");
    }

    /* Connect, open, walk. */
    start = GetTickCount();
    if (!Check(api.Connect("127.0.0.1", port) == 1, "Connect to 127.0.0.1:%d (%lu ms)", port,
               (unsigned long)(GetTickCount() - start))) {
        printf("%d passed, %d failed\n", g_passed, g_failed);
        return 1;
    }
    Check(api.Connect("127.0.0.1", port) == 0, "a second Connect while connected is refused");
    start = GetTickCount();
    if (Check(api.OpenPatient(patient) == 1, "OpenPatient(%s) (%lu ms)", patient,
              (unsigned long)(GetTickCount() - start))) {
        unsigned int size = 0;
        char small[2];
        name = TextOf0(api.GetPatientName);
        CheckText("GetPatientName: the code page 936 bytes of the markup's name field", name,
                  doc.patientName);
        if (name != NULL)
            PrintHex("patient name", (const unsigned char*)name, strlen(name));
        free(name);
        size = sizeof small;
        Check(api.GetPatientName(small, &size) == 0,
              "GetPatientName with a buffer too small fails");
        WalkDocument(&doc);
    }

    /* A thumbnail (one message) and an image of several chunks. */
    snprintf(path, sizeof path, "%s/thumbs/%s", dataDir, thumb);
    CheckBytes("GetThumbData", api.GetThumbData, thumb, path);
    image = FindImageOfSize(&doc, dataDir, 200000, path, sizeof path);
    if (Check(image != NULL, "an image of the patient larger than 200000 bytes: %s",
              image ? image : "none"))
        CheckBytes("GetImageData", api.GetImageData, image, path);
    {
        unsigned int size = 0;
        Check(api.GetThumbData("no-such-thumb.png", NULL, &size) == 0,
              "GetThumbData of a missing name fails");
    }

    /* Disconnect, then connect again. */
    start = GetTickCount();
    api.Disconnect();
    Check(api.GetModalityCount() == 0, "Disconnect (%lu ms): the getters report nothing",
          (unsigned long)(GetTickCount() - start));
    api.Disconnect();
    Check(1, "a second Disconnect does nothing");
    start = GetTickCount();
    if (Check(api.Connect("127.0.0.1", port) == 1, "Connect again (%lu ms)",
              (unsigned long)(GetTickCount() - start))) {
        if (Check(api.OpenPatient(patient) == 1, "OpenPatient(%s) again", patient)) {
            name = TextOf0(api.GetPatientName);
            CheckText("GetPatientName again", name, doc.patientName);
            free(name);
            Check(api.GetModalityCount() == doc.modalityCount, "GetModalityCount again");
        }
        api.Disconnect();
    }

    Check(FreeLibrary(module), "FreeLibrary");
    free(markup.data);
    printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
