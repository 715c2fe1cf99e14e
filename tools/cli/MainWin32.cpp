// The Windows entry point of korvanelle. The program works in UTF-8 (its arguments, its
// output); Windows hands a narrow main() the arguments in the ANSI code page, and a console
// shows bytes in the OEM code page. This entry takes the arguments as UTF-16, passes them on
// as UTF-8 to the portable main (main.cpp, compiled as KorvCliMain here) and sets the
// console's output code page to UTF-8.
#include <windows.h>

#include <string>
#include <vector>

int KorvCliMain(int argc, char** argv);

namespace {

std::string Utf8(const wchar_t* text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size - 1));
    return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Only a console is affected; redirected output gets the UTF-8 bytes as they are.
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(Utf8(argv[i]));
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    return KorvCliMain(argc, pointers.data());
}
