// The command-line host's exit codes; --help lists them.
#pragma once

namespace korv::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,
    kExitBadArguments = 2,
    kExitCannotConnect = 3,
    kExitPatientNotFound = 4,
    kExitNotAvailable = 5,
};

}  // namespace korv::cli
