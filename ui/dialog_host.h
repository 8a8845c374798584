// The dialog's program: the application's whole life, as in the command-line
// program, with the main dialog, message boxes and a progress window on the
// desktop session. Without a display it can reach, it runs as the
// command-line program would: messages on standard error, and a start that
// needs the dialog says so and ends with status 2.
#pragma once

namespace morvel {

int RunDialogHost(int argc, char** argv);

}  // namespace morvel
