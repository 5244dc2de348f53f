// The program's command line, read before any window-system connection is made: --help and
// --version answer without a display, --folder moves the program into the folder of its files.
#pragma once

#include <optional>

namespace vantel {

// Takes the program's own options out of argc/argv and acts on them; what is left (Qt's own
// options, such as -platform or -style) is for the application object. Returns the exit status
// when the program is to end here (after --help, --version, a usage error or a folder that cannot
// be used), nothing when it is to start.
std::optional<int> TakeCommandLine(int &argc, char **argv);

}  // namespace vantel
