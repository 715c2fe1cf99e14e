#include "platform/CodePage936.h"

#include <iconv.h>

#include <cstring>
#include <mutex>

namespace {

// One converter for the process, opened on first use. An iconv descriptor keeps state between
// calls, so conversions take turns; character references are rare enough for a lock.
class Utf16ToCp936 {
public:
    Utf16ToCp936() : m_cd(iconv_open("CP936", "UCS-2LE")) {}
    ~Utf16ToCp936()
    {
        if (IsOpen()) {
            iconv_close(m_cd);
        }
    }
    Utf16ToCp936(const Utf16ToCp936&) = delete;
    Utf16ToCp936& operator=(const Utf16ToCp936&) = delete;

    int Convert(char16_t unit, char* out)
    {
        if (!IsOpen()) {
            return 0;
        }
        char input[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        char output[8];
        char* inPtr = input;
        size_t inLeft = sizeof input;
        char* outPtr = output;
        size_t outLeft = sizeof output;

        std::lock_guard<std::mutex> lock(m_mutex);
        const size_t result = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
        // Back to the initial state whatever happened, so a failed unit leaves nothing behind.
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (result == static_cast<size_t>(-1) || inLeft != 0) {
            return 0;
        }
        const size_t written = sizeof output - outLeft;
        if (written == 0 || written > static_cast<size_t>(cp936::kMaxCharBytes)) {
            return 0;
        }
        std::memcpy(out, output, written);
        return static_cast<int>(written);
    }

private:
    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    iconv_t m_cd;
    std::mutex m_mutex;
};

Utf16ToCp936& Converter()
{
    static Utf16ToCp936 converter;
    return converter;
}

}  // namespace

namespace cp936 {

int FromUtf16(char16_t unit, char* out)
{
    if (unit == 0) {
        return 0;
    }
    // ASCII is the same in the code page; no need to take the lock for it.
    if (unit < 0x80) {
        out[0] = static_cast<char>(unit);
        return 1;
    }
    return Converter().Convert(unit, out);
}

}  // namespace cp936
