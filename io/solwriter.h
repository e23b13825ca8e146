// The solution writer: statuses, header values, every row's and column's solution record and
// the trailer, written into the solution file in the instance's storage variant.
#pragma once

#include <cstdint>
#include <string_view>

namespace qlink {

// Texts of the solve and model status codes ("1 Normal Completion", "13 Error No Solution"),
// "" for codes without one.
std::string_view SolveStatusText(int code);
std::string_view ModelStatusText(int code);
// Whether a model status comes with a solution in the solution file.
bool ModelStatusHasSolution(int code);

// Writes the solution file named in the control file from Instance(), Run() and
// SolutionResults(). A file that cannot be opened is reported in the log.
void write_solution();

}  // namespace qlink
