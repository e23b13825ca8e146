// The main sequence of qorallink: argument check, interrupt handler, control file, streams,
// model instance, solve, solution, exit.
#pragma once

namespace qlink {

// Runs one solve as the program's main function does and returns the exit code.
int RunSequence(int argc, const char* const* argv);

}  // namespace qlink
