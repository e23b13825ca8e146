// The control file: the positional text file in which the modeling system describes one solve
// (instance sizes, limits, file names, log settings and its table of solvers).
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/lvocommon.h"

namespace qlink {

// Equation types in the order of the control file's counts: =E= =G= =L= =N= =X= =C= =B=.
inline constexpr int kNumEquTypes = 7;
// Variable types: continuous, binary, integer, SOS1, SOS2, semi-continuous, semi-integer.
inline constexpr int kNumVarTypes = 7;

// Longest solver name kept from the solver table.
inline constexpr std::size_t kMaxSolverNameLength = 63;
// Solver-table messages kept; one more note says that further ones were dropped.
inline constexpr std::size_t kMaxSolverTableMessages = 1000;

struct SolverEntry {
  std::string name;
  // capable[t] for model type codes t = 1 ... 15; index 0 unused.
  std::array<bool, kNumModelTypes + 1> capable{};
};

struct SolverTable {
  // Per model type code 1 ... 15: the default and the chosen solver number, 0 when unset.
  std::array<int, kNumModelTypes + 1> default_solver{};
  std::array<int, kNumModelTypes + 1> chosen_solver{};
  std::vector<SolverEntry> solvers;  // solver number i is solvers[i - 1]
  // Inconsistencies found while reading; they do not stop the load.
  std::vector<std::string> messages;
};

// 1-based number of the solver named `name` (compared without regard to case), 0 when unknown.
int SolverIndex(const SolverTable& table, std::string_view name);
// Whether solver `solver` can solve models of type `model_type`; false for unknown numbers.
bool SolverCapable(const SolverTable& table, int solver, int model_type);
// The solver's name, or "UnknownSolver" outside 1 ... number of solvers.
std::string SolverName(const SolverTable& table, int solver);

// The fields of the control file that the link uses. Fields a file of an older format version
// does not hold keep the defaults given here.
struct ControlFile {
  int CtrlVersion = 0;
  int ModelType = 0;
  int LuvoVersion = 0;
  int IDEFlag = 0;
  int NumRows = 0;
  std::array<int, kNumEquTypes> EquTypeCount{};
  int NumCols = 0;
  int ScaleOpt = 0;
  int NumNonzeros = 0;
  int NumNLNonzeros = 0;
  std::array<int, kNumVarTypes> VarTypeCount{};
  std::array<int, kNumVarTypes> FixedTypeCount{};
  int ObjSense = 0;  // 0 minimize, nonzero maximize
  int NumInstr = 0;
  int NumConst = 0;
  // Values the modeling system hands to the solver options under parameter numbers.
  double Param28 = 0;  // line 10, first real
  double Param27 = 0;  // line 10, second real
  int PriorityOpt = 0;  // line 10: branching priorities are carried by the column records
  int Param21Flag = 0;
  double Param21 = 0;
  double Param54 = 0;
  int AlgFileType = 0;  // scratch format code of the instance files
  int OptFile = 0;
  int Param50 = 0;
  int RelaxFlag = 0;
  int ThreadsRaw = 1;
  int MarginalMode = -1;
  int ObjVar = 0;
  int Param95 = 0;
  std::array<int, 5> Integer{};  // Integer1 ... Integer5
  std::array<double, 5> Real{};  // Real1 ... Real5
  std::string NameInstrFile;     // first scratch file of the instance
  std::string NameMatrixFile;    // second scratch file of the instance
  std::string NameOptFile;
  std::string NameStaFile;
  std::string NameSolFile;
  std::string NameLogFile;
  std::string NameDictFile;
  int LogOption = 0;
  std::string Stamp2;  // line 26, at most 8 characters
  std::string Stamp1;  // line 27, at most 8 characters
  std::string ExtLibDir;
  std::string NameSysDir;
  std::string NameScrDir;
  int ObjStyle = 0;
  int ObjRow = 0;
  int ObjCond1 = 0;
  std::string ExtLibFile;
  SolverTable Solvers;
  int ObjCond2 = 0;
  int ObjCond3 = 0;
  int ScaledSolution = 0;  // the solution writer's scaled-solution setting
  int NumExtNonzeros = 0;
  std::string ExtDllName;  // library of the =X= rows, for the statistics headers
  std::string NameCtrFile;
  std::string NameScrExt = "scr";
  std::string NameScenFile = "scenario_dict.lvx";
  std::string NameExtFFile;
};

// Loads the external function file named in a control file. Receives the modeling system's
// release number, the path of the external function library (directory of line 28 and file
// name of line 37), the external function file's name, and a callback that writes a message
// line. Returns false with `error` set when the file exists but cannot be read.
using ExternalFunctionFileLoader =
    std::function<bool(int luvo_version, const std::string& library_path, const std::string& file_name,
                       const std::function<void(const std::string&)>& message, std::string* error)>;

// Installs the loader used by LoadControlFile; without one, an existing external function file
// cannot be read and fails the load.
void SetExternalFunctionFileLoader(ExternalFunctionFileLoader loader);

// Reads the control file at `path` into `out`. On failure returns false and sets `message` to
// the reason: the system's text when the file cannot be opened, the reading error otherwise.
bool LoadControlFile(const std::string& path, ControlFile* out, std::string* message);

// Reads the control file again, only for its solver table.
bool SolveReadControl(const std::string& path, SolverTable* table, std::string* message);

}  // namespace qlink
