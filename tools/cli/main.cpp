// korvanelle: a command-line host of the client library.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ClientApi.h"
#include "CommandLine.h"
#include "CommandRunner.h"
#include "DynamicLibrary.h"
#include "ExitCode.h"
#include "LibraryLocator.h"
#include "Terminal.h"

int main(int argc, char** argv)
{
    using namespace korv::cli;
    CliOptions options;
    std::string error;
    if (!CCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "korvanelle: %s (see korvanelle --help)\n", error.c_str());
        return kExitBadArguments;
    }
    if (options.command == Command::Help) {
        std::fputs(CCommandLine::Usage().c_str(), stdout);
        return kExitOk;
    }
    if (options.command == Command::Version) {
        std::fputs(CCommandLine::VersionText(), stdout);
        return kExitOk;
    }
    const std::string path = CLibraryLocator::Find(options.library, std::getenv("KORVANELLE_LIB"));
    CDynamicLibrary library;
    ClientApi api;
    if (!library.Open(path, error) || !CClientApi::Bind(library, api, error)) {
        std::fprintf(stderr, "korvanelle: cannot use the client library %s: %s\n", path.c_str(),
                     error.c_str());
        return kExitFailure;
    }
    // The progress line only where a person watches both streams, and never with --quiet.
    const std::size_t columns = options.quiet ? 0 : CTerminal::Columns();
    return CCommandRunner(options, api, columns).Run();
}
