// A C++ host of KorvanelleClient: the same walk as the C host, with a small RAII wrapper
// around the connection and the two-call protocols, and texts converted from code page 936
// to UTF-8 for the terminal.
//
//   korvanelle-cpp-host [HOST [PORT [PATIENT_ID]]]     (defaults 127.0.0.1 7770 P10001)
//
// Exit status: 0 success, 1 cannot connect, 2 patient not found, 3 thumbnail or image not
// available.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "KorvanelleClient.h"

namespace {

// Code page 936 bytes to UTF-8; the bytes unchanged when they cannot be converted.
std::string ToUtf8(const std::string& cp936)
{
#if defined(_WIN32)
    const int wide =
        MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), w.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
#else
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return cp936;
    std::string in = cp936;
    std::string out(in.size() * 3 / 2 + 4, '\0');
    char* src = in.data();
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t result = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1))
        return cp936;
    out.resize(out.size() - dstLeft);
    return out;
#endif
}

// The two-call text protocol.
template <typename Getter>
std::string Text(Getter getter)
{
    unsigned int size = 0;
    if (!getter(nullptr, &size) || size == 0)
        return {};
    std::string text(size, '\0');
    if (!getter(text.data(), &size))
        return {};
    text.resize(size - 1);
    return text;
}

std::string Text(KorvGetFieldDataFn getter, std::uintptr_t handle)
{
    return Text([&](char* buffer, unsigned int* size) { return getter(handle, buffer, size); });
}

// The two-call byte protocol; nothing when the server did not supply the bytes.
std::optional<std::vector<unsigned char>> Bytes(KorvGetImageDataFn getter, const std::string& name)
{
    unsigned int size = 0;
    if (!getter(name.c_str(), nullptr, &size))
        return std::nullopt;
    std::vector<unsigned char> bytes(size);
    if (!getter(name.c_str(), bytes.data(), &size))
        return std::nullopt;
    return bytes;
}

// One connection per process; Disconnect runs whatever happens after Connect succeeded.
class Connection {
public:
    Connection(const char* host, int port) : m_connected(Connect(host, port) != 0) {}
    ~Connection()
    {
        if (m_connected)
            Disconnect();
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    explicit operator bool() const { return m_connected; }

private:
    bool m_connected;
};

void PrintFields(StudyID node, const char* indent, std::string& firstImage)
{
    for (int i = 0; i < GetFieldCount(node); ++i) {
        const FieldID field = GetFieldID(node, i);
        const std::string value = Text(GetFieldData, field);
        const bool image = GetFieldType(field) == FIELD_IMAGE;
        std::printf("%s%s = %s%s\n", indent, ToUtf8(Text(GetFieldName, field)).c_str(),
                    ToUtf8(value).c_str(), image ? "  [image]" : "");
        if (image && firstImage.empty())
            firstImage = value;  // code page 936, as the library wants it back
    }
}

bool Describe(const char* what, KorvGetImageDataFn getter, const std::string& name)
{
    const auto bytes = Bytes(getter, name);
    if (!bytes)
        return false;
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const bool isPng = bytes->size() >= 8 && std::equal(png, png + 8, bytes->begin());
    std::printf("%s %s: %zu bytes%s\n", what, ToUtf8(name).c_str(), bytes->size(),
                isPng ? ", PNG" : "");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* host = argc > 1 ? argv[1] : "127.0.0.1";
    const int port = argc > 2 ? std::atoi(argv[2]) : 7770;
    const char* patient = argc > 3 ? argv[3] : "P10001";

    std::printf("KorvanelleClient %s\n", KORVANELLE_VERSION_STRING);
    Connection connection(host, port);
    if (!connection) {
        std::fprintf(stderr, "cannot connect to %s:%d\n", host, port);
        return 1;
    }
    const bool opened = OpenPatient(patient) != 0;
    const std::string name = Text(GetPatientName);
    if (!opened || (GetModalityCount() == 0 && name.empty())) {
        std::fprintf(stderr, "patient %s not found\n", patient);
        return 2;
    }
    std::printf("patient %s: %s\n", patient, ToUtf8(name).c_str());
    std::string firstImage;
    for (int m = 0; m < GetModalityCount(); ++m) {
        const ModID mod = GetModID(m);
        std::printf("  modality %s\n", ToUtf8(Text(GetModName, mod)).c_str());
        PrintFields(mod, "    ", firstImage);
        for (int s = 0; s < GetStudyCount(mod); ++s) {
            const StudyID study = GetStudyID(mod, s);
            std::printf("    study %s\n", ToUtf8(Text(GetStudyName, study)).c_str());
            PrintFields(study, "      ", firstImage);
        }
    }
    if (firstImage.empty()) {
        std::printf("no image fields\n");
        return 0;
    }
    const bool thumb = Describe("thumbnail", GetThumbData, firstImage);
    const bool image = Describe("image", GetImageData, firstImage);
    if (!thumb || !image) {
        std::fprintf(stderr, "%s: thumbnail or image not available\n", ToUtf8(firstImage).c_str());
        return 3;
    }
    return 0;
}
