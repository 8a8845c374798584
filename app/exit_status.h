// The process exit statuses of morvel, in one place.
#pragma once

namespace morvel {

enum ExitStatus : int {
    kExitOk = 0,       // the run did what was asked (also --help, --version)
    kExitFailure = 1,  // a message ended the program, or no output was produced
    kExitUsage = 2,    // bad command line, or the dialog is needed but unavailable
};

}  // namespace morvel
