#include "TextConverter.h"

#include <cerrno>
#include <iconv.h>
#include <memory>

namespace korv::cli {
namespace {

constexpr const char* kCodePage = "CP936";
constexpr const char* kReplacement = "\xEF\xBF\xBD";

struct IconvCloser {
    void operator()(void* cd) const { ::iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle Open(const char* to, const char* from)
{
    const iconv_t cd = ::iconv_open(to, from);
    return IconvHandle(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// Converts all of input. A byte that cannot be converted is skipped after a replacement
// character when replace is set; otherwise the conversion fails.
bool Convert(const IconvHandle& handle, const std::string& input, std::string& output, bool replace)
{
    const auto cd = static_cast<iconv_t>(handle.get());
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char chunk[256];
    while (inLeft > 0) {
        char* out = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t result = ::iconv(cd, &in, &inLeft, &out, &outLeft);
        output.append(chunk, static_cast<std::size_t>(out - chunk));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // EILSEQ, or EINVAL for a sequence cut off at the end: drop one byte and go on.
            if (!replace) {
                return false;
            }
            output += kReplacement;
            ++in;
            --inLeft;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return true;
}

}  // namespace

std::string CTextConverter::ToUtf8(const std::string& cp936)
{
    const IconvHandle handle = Open("UTF-8", kCodePage);
    std::string utf8;
    if (!handle || !Convert(handle, cp936, utf8, true)) {
        return cp936;
    }
    return utf8;
}

std::optional<std::string> CTextConverter::FromUtf8(const std::string& utf8)
{
    const IconvHandle handle = Open(kCodePage, "UTF-8");
    std::string cp936;
    if (!handle || !Convert(handle, utf8, cp936, false)) {
        return std::nullopt;
    }
    return cp936;
}

}  // namespace korv::cli
