#include "LibraryLocator.h"

#include "DynamicLibrary.h"

#ifndef KORV_CLI_LIBRARY_RELDIR
#define KORV_CLI_LIBRARY_RELDIR "../src/api"
#endif
#ifndef KORV_CLI_INSTALLED_RELDIR
#define KORV_CLI_INSTALLED_RELDIR "../lib"
#endif

namespace korv::cli {
namespace {

std::string InFolder(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    path += '/';
    path += name;
    return path;
}

}  // namespace

std::string CLibraryLocator::Find(const std::string& fromCommandLine, const char* fromEnvironment)
{
    if (!fromCommandLine.empty()) {
        return fromCommandLine;
    }
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    const std::string fileName = CDynamicLibrary::FileName("KorvanelleClient");
    const std::string executableDir = CDynamicLibrary::ExecutableDir();
    const std::string dir = executableDir.empty() ? std::string(".") : executableDir;
    const std::string besideExecutable = InFolder(dir, fileName);
    if (CDynamicLibrary::FileExists(besideExecutable)) {
        return besideExecutable;
    }
    const std::string buildTree = InFolder(InFolder(dir, KORV_CLI_LIBRARY_RELDIR), fileName);
    if (CDynamicLibrary::FileExists(buildTree)) {
        return buildTree;
    }
    const std::string installed = InFolder(InFolder(dir, KORV_CLI_INSTALLED_RELDIR), fileName);
    return CDynamicLibrary::FileExists(installed) ? installed : buildTree;
}

}  // namespace korv::cli
