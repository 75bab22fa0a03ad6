// kvsh, the command-line client of the link library: the whole program but main().
#pragma once

namespace kvsh {

// Runs kvsh with the process's arguments; returns the exit status.
int Main(int argc, char** argv);

}  // namespace kvsh
