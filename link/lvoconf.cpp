#include "link/lvoconf.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

#include "runtime/platform.h"

namespace qlink {

int SolverIndex(const SolverTable& table, std::string_view name) {
  for (std::size_t i = 0; i < table.solvers.size(); ++i)
    if (EqualsIgnoreCase(table.solvers[i].name, name)) return static_cast<int>(i) + 1;
  return 0;
}

bool SolverCapable(const SolverTable& table, int solver, int model_type) {
  if (solver < 1 || static_cast<std::size_t>(solver) > table.solvers.size()) return false;
  if (model_type < 1 || model_type > kNumModelTypes) return false;
  return table.solvers[static_cast<std::size_t>(solver) - 1].capable[static_cast<std::size_t>(model_type)];
}

std::string SolverName(const SolverTable& table, int solver) {
  if (solver < 1 || static_cast<std::size_t>(solver) > table.solvers.size()) return "UnknownSolver";
  return table.solvers[static_cast<std::size_t>(solver) - 1].name;
}

namespace {

ExternalFunctionFileLoader& ExtFuncLoader() {
  static ExternalFunctionFileLoader loader;
  return loader;
}

// Reads the control file the way a free-format text reader does: numbers skip blanks and line
// ends and stop at the next blank or line end; a string is the rest of the current line; every
// layout line ends with a skip to the next line. The first failure is kept; later calls then do
// nothing, so the layout code reads straight through and checks once at the end.
class ControlReader {
 public:
  explicit ControlReader(std::string text) : text_(std::move(text)) {}

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  int Int(const char* field) {
    std::string_view token = Token(field);
    if (!ok()) return 0;
    std::string_view digits = token;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty())
      Fail("Invalid numeric input \"" + std::string(token) + "\" for " + field);
    return value;
  }

  double Real(const char* field) {
    std::string_view token = Token(field);
    if (!ok()) return 0;
    std::string_view digits = token;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double value = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty() || !std::isfinite(value))
      Fail("Invalid numeric input \"" + std::string(token) + "\" for " + field);
    return value;
  }

  // A blank-separated word, found like a number.
  std::string Word(const char* field) { return std::string(Token(field)); }

  // Skips the rest of the current line.
  void NextLine() {
    if (!ok()) return;
    while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    if (pos_ < text_.size()) {
      ++pos_;
      ++line_;
    }
  }

  // The rest of the current line (the whole line at a line start), cut to `max_length`; then on
  // to the next line.
  std::string Line(const char* field, std::size_t max_length = kMaxTextLength) {
    if (!ok()) return {};
    if (pos_ >= text_.size()) {
      Fail(std::string("Read beyond end of file for ") + field);
      return {};
    }
    std::size_t end = pos_;
    while (end < text_.size() && text_[end] != '\n') ++end;
    std::size_t stop = end;
    if (stop > pos_ && text_[stop - 1] == '\r') --stop;
    std::string s = text_.substr(pos_, std::min(stop - pos_, max_length));
    pos_ = end;
    NextLine();
    return s;
  }

  void SkipLines(int n, const char* field) {
    for (int i = 0; i < n; ++i) Line(field);
  }

  void Fail(const std::string& what) {
    if (ok()) error_ = what + " in line " + std::to_string(line_);
  }

 private:
  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  std::string_view Token(const char* field) {
    if (!ok()) return {};
    while (pos_ < text_.size() && IsBlank(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    if (pos_ >= text_.size()) {
      Fail(std::string("Read beyond end of file for ") + field);
      return {};
    }
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsBlank(text_[pos_])) ++pos_;
    return std::string_view(text_).substr(start, pos_ - start);
  }

  std::string text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::string error_;
};

void AddTableMessage(SolverTable& table, std::string text) {
  if (table.messages.size() < kMaxSolverTableMessages) {
    table.messages.push_back(std::move(text));
  } else if (table.messages.size() == kMaxSolverTableMessages) {
    table.messages.push_back("SolveReadControl: further messages dropped");
  }
}

// The solver table: T model-type lines, then S solver groups. A table that describes more model
// types than the link knows keeps the first 15 but still reads every line and flag that the
// file holds, so that the fields after the table stay in place.
void ReadSolverTable(ControlReader& in, SolverTable& table) {
  const int num_types = in.Int("the number of model types");
  const int num_solvers = in.Int("the number of solvers");
  in.NextLine();
  if (!in.ok()) return;
  if (num_types < 0 || num_solvers < 0) {
    in.Fail("Invalid solver table size " + std::to_string(num_types) + " " + std::to_string(num_solvers));
    return;
  }
  for (int k = 1; k <= num_types && in.ok(); ++k) {
    const std::string name = in.Word("a model type name");
    const int def = in.Int("a default solver number");
    const int chosen = in.Int("a chosen solver number");
    in.NextLine();
    if (!in.ok() || k > kNumModelTypes) continue;
    const std::string_view expected = ModelTypeName(k);
    if (!EqualsIgnoreCase(name, expected))
      AddTableMessage(table, "SolveReadControl: system procnames " + std::string(expected) + " <> " + name);
    if (def > num_solvers || def < 0)
      AddTableMessage(table, "SolveReadControl: incorrect algdefault");
    else
      table.default_solver[static_cast<std::size_t>(k)] = def;
    if (chosen > num_solvers || chosen < 0)
      AddTableMessage(table, "SolveReadControl: incorrect algchosen");
    else
      table.chosen_solver[static_cast<std::size_t>(k)] = chosen;
  }
  // Solvers are added as their lines are read, so an absurd count ends at the end of the file
  // rather than in a huge allocation.
  for (int i = 1; i <= num_solvers && in.ok(); ++i) {
    SolverEntry entry;
    entry.name = in.Word("a solver name").substr(0, kMaxSolverNameLength);
    in.Int("a solver flag");
    in.Int("a solver flag");
    const int extra_libraries = in.Int("a solver's library count");
    for (int k = 1; k <= num_types && in.ok(); ++k) {
      const int flag = in.Int("a solver capability flag");
      if (k <= kNumModelTypes) entry.capable[static_cast<std::size_t>(k)] = flag != 0;
    }
    in.NextLine();
    in.Line("a solver's library line");
    if (extra_libraries >= 1) in.Line("a solver's further library line");
    if (extra_libraries >= 2) in.Line("a solver's further library line");
    if (in.ok()) table.solvers.push_back(std::move(entry));
  }
}

void ReadLayout(ControlReader& in, ControlFile& c) {
  const int v = c.CtrlVersion = in.Int("the format version");
  in.NextLine();
  // Line 2
  c.ModelType = in.Int("the model type");
  for (int i = 0; i < 3; ++i) in.Int("line 2");
  c.LuvoVersion = in.Int("the release number");
  in.Real("line 2");
  in.Int("line 2");
  in.Real("line 2");
  in.Int("line 2");
  c.IDEFlag = in.Int("the IDE flag");
  in.NextLine();
  // Line 3
  c.NumRows = in.Int("the number of rows");
  for (int i = 0; i < 4; ++i) in.Int("line 3");
  for (int i = 0; i < 5; ++i) c.EquTypeCount[static_cast<std::size_t>(i)] = in.Int("the equation counts");
  if (v >= 40) c.EquTypeCount[5] = in.Int("the =C= count");
  if (v >= 46) c.EquTypeCount[6] = in.Int("the =B= count");
  in.NextLine();
  // Line 4
  c.NumCols = in.Int("the number of columns");
  for (int i = 0; i < 6; ++i) in.Int("line 4");
  c.ScaleOpt = in.Int("the scaling option");
  in.NextLine();
  // Line 5
  c.NumNonzeros = in.Int("the number of nonzeros");
  c.NumNLNonzeros = in.Int("the number of nonlinear nonzeros");
  in.NextLine();
  // Line 6
  for (auto& n : c.VarTypeCount) n = in.Int("the variable counts");
  if (v >= 40)
    for (int i = 0; i < 3; ++i) in.Int("line 6");
  in.NextLine();
  // Line 7
  for (auto& n : c.FixedTypeCount) n = in.Int("the fixed variable counts");
  in.NextLine();
  // Line 8
  c.ObjSense = in.Int("the objective sense");
  in.Int("line 8");
  in.Int("line 8");
  in.NextLine();
  // Line 9
  c.NumInstr = in.Int("the instruction count");
  c.NumConst = in.Int("the constant pool size");
  in.Int("line 9");
  in.NextLine();
  // Line 10
  c.Param28 = in.Real("line 10");
  c.Param27 = in.Real("line 10");
  c.PriorityOpt = in.Int("the priority option");
  in.NextLine();
  // Line 11
  c.Param21Flag = in.Int("line 11");
  c.Param21 = in.Real("line 11");
  in.Int("line 11");
  in.Real("line 11");
  in.NextLine();
  // Line 12
  c.Param54 = in.Real("line 12");
  in.Int("line 12");
  in.Int("line 12");
  in.NextLine();
  // Line 13
  c.AlgFileType = in.Int("the scratch format code");
  c.OptFile = in.Int("the option file flag");
  in.NextLine();
  // Line 14
  in.Real("line 14");
  in.Int("line 14");
  in.Int("line 14");
  c.Param50 = in.Int("line 14");
  in.Real("line 14");
  c.RelaxFlag = in.Int("the relaxation flag");
  if (v >= 43) c.ThreadsRaw = in.Int("the thread count");
  if (v >= 47) in.Int("line 14");
  if (v >= 48) {
    in.Int("line 14");
    in.Real("line 14");
  }
  if (v >= 51) in.Int("line 14");
  if (v >= 53) c.MarginalMode = in.Int("the marginal mode");
  in.NextLine();
  // Line 15
  c.ObjVar = in.Int("the objective variable");
  c.Param95 = in.Int("line 15");
  in.NextLine();
  // Lines 16 and 17
  for (auto& n : c.Integer) n = in.Int("line 16");
  in.NextLine();
  for (auto& r : c.Real) r = in.Real("line 17");
  in.NextLine();
  // Lines 18 to 24
  c.NameInstrFile = in.Line("the instruction file name");
  c.NameMatrixFile = in.Line("the matrix file name");
  c.NameOptFile = in.Line("the option file name");
  c.NameStaFile = in.Line("the status file name");
  c.NameSolFile = in.Line("the solution file name");
  c.NameLogFile = in.Line("the log file name");
  c.NameDictFile = in.Line("the dictionary file name");
  // Line 25
  c.LogOption = in.Int("the log option");
  in.NextLine();
  // Lines 26 to 30
  c.Stamp2 = in.Line("line 26", 8);
  c.Stamp1 = in.Line("line 27", 8);
  c.ExtLibDir = in.Line("the external library directory");
  c.NameSysDir = in.Line("the system directory");
  c.NameScrDir = in.Line("the scratch directory");
  // Lines 31 to 36
  in.Int("line 31");
  in.Int("line 31");
  in.NextLine();
  for (int i = 0; i < 6; ++i) in.Int("line 32");
  in.NextLine();
  in.SkipLines(3, "lines 33 to 35");
  in.Int("line 36");
  c.ObjStyle = in.Int("the objective style");
  c.ObjRow = in.Int("the objective row");
  c.ObjCond1 = in.Int("line 36");
  in.NextLine();
  // Line 37
  c.ExtLibFile = in.Line("the external library file name");
  // Solver table
  ReadSolverTable(in, c.Solvers);
  // After the solver table
  in.SkipLines(2, "the lines after the solver table");
  if (v >= 49) in.SkipLines(1, "the lines after the solver table");
  if (v >= 53) in.SkipLines(2, "the lines after the solver table");
  if (v >= 50)
    for (int i = 0; i < 2; ++i) {
      in.Int("the lines after the solver table");
      in.NextLine();
    }
  in.Line("the lines after the solver table");
  for (int i = 0; i < 23; ++i) in.Int("the lines after the solver table");
  in.NextLine();
  c.ObjCond2 = in.Int("the objective conditions");
  c.ObjCond3 = in.Int("the objective conditions");
  in.Real("the objective conditions");
  in.Int("the objective conditions");
  in.Int("the objective conditions");
  in.NextLine();
  c.ScaledSolution = in.Int("the scaled solution setting");
  in.Int("the scaled solution setting");
  in.Int("the scaled solution setting");
  in.NextLine();
  in.Int("the external nonzeros");
  in.Int("the external nonzeros");
  c.NumExtNonzeros = in.Int("the external nonzeros");
  in.Int("the external nonzeros");
  if (v >= 41) in.Int("the external nonzeros");
  in.NextLine();
  c.ExtDllName = in.Line("the =X= library name");
  in.Line("the line after the =X= library name");
  if (v >= 40) {
    c.NameCtrFile = in.Line("the control file name");
    in.Line("the line after the control file name");
  }
  if (v >= 42) {
    c.NameScrExt = in.Line("the scratch extension");
    in.Real("the line after the scratch extension");
    in.NextLine();
  }
  if (v >= 44) c.NameScenFile = in.Line("the scenario dictionary name");
  if (v >= 45) c.NameExtFFile = in.Line("the external function file name");
  if (v >= 47) in.Line("the line after the external function file name");
  if (v >= 52) {
    in.Real("the last line");
    in.Real("the last line");
    in.NextLine();
  }
}

bool ReadFile(const std::string& path, std::string* text, std::string* message) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *message = platform::ErrorText(platform::LastErrorCode());
    return false;
  }
  char buffer[1 << 16];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
  const bool failed = std::ferror(f) != 0;
  const int code = platform::LastErrorCode();
  std::fclose(f);
  if (failed) {
    *message = platform::ErrorText(code);
    return false;
  }
  return true;
}

}  // namespace

void SetExternalFunctionFileLoader(ExternalFunctionFileLoader loader) { ExtFuncLoader() = std::move(loader); }

namespace {

bool Load(const std::string& path, ControlFile* out, std::string* message, bool load_external_functions) {
  std::string text;
  if (!ReadFile(path, &text, message)) return false;
  ControlReader in(std::move(text));
  ControlFile c;
  ReadLayout(in, c);
  if (!in.ok()) {
    *message = in.error();
    return false;
  }
  // The record always names the control file the program was started with.
  if (c.NameCtrFile != path) c.NameCtrFile = Bounded(path);

  if (load_external_functions && !c.NameExtFFile.empty() && platform::FileExists(c.NameExtFFile)) {
    std::string library = c.ExtLibDir;
    if (!library.empty() && library.back() != platform::kPathSeparator) library += platform::kPathSeparator;
    library += c.ExtLibFile;
    std::string error;
    const auto& loader = ExtFuncLoader();
    const bool loaded =
        loader ? loader(c.LuvoVersion, library, c.NameExtFFile,
                        [](const std::string& line) {
                          std::fputs(line.c_str(), stdout);
                          std::fputc('\n', stdout);
                          std::fflush(stdout);
                        },
                        &error)
               : (error = "external functions are not available in this build", false);
    if (!loaded) {
      *message = Bounded("Could not read External Function File '" + c.NameExtFFile + "': " + error);
      return false;
    }
  }
  *out = std::move(c);
  return true;
}

}  // namespace

bool LoadControlFile(const std::string& path, ControlFile* out, std::string* message) {
  return Load(path, out, message, true);
}

// The second read wants only the solver table; the external functions are loaded already.
bool SolveReadControl(const std::string& path, SolverTable* table, std::string* message) {
  ControlFile c;
  if (!Load(path, &c, message, false)) return false;
  *table = std::move(c.Solvers);
  return true;
}

}  // namespace qlink
