// The modeling system's side of the control file: a record with sensible defaults and a writer
// for every format version from 39 to 53. Tests, the demo and the stand-in program describe a
// solve with it in a few lines.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace luvo {

struct Solver {
  std::string name;
  // Model type codes 1 ... 15 the solver can handle.
  std::vector<int> model_types;
  std::string library;
  // Further library lines after the library line (0, 1 or 2).
  int extra_libraries = 0;
};

struct ModelTypeChoice {
  std::string name;  // written as given, so a test can write a wrong one
  int default_solver = 0;
  int chosen_solver = 0;
};

struct ControlSpec {
  int version = 53;
  int model_type = 4;  // NLP
  int luvo_version = 250;
  int ide_flag = 0;
  int num_rows = 0;
  std::array<int, 7> equ_type_count{};  // =E= =G= =L= =N= =X= =C= =B=
  int num_cols = 0;
  int scale_opt = 0;
  int num_nonzeros = 0;
  int num_nl_nonzeros = 0;
  std::array<int, 7> var_type_count{};
  std::array<int, 7> fixed_type_count{};
  int obj_sense = 0;
  int num_instr = 0;
  int num_const = 0;
  double param28 = 1e-4;   // line 10, first real: relative optimality tolerance
  double param27 = 0;      // line 10, second real: absolute optimality tolerance
  int priority_opt = 0;
  int param21_flag = 0;
  double param21 = 0;
  double param54 = 0;
  int alg_file_type = 0;   // scratch format code
  int opt_file = 0;
  int param50 = 0;
  int relax_flag = 0;
  int threads = 1;
  int marginal_mode = -1;
  int obj_var = 0;
  int param95 = 0;
  std::array<int, 5> integer{};
  std::array<double, 5> real{};
  std::string instr_file, matrix_file, opt_file_name, status_file, solution_file, log_file, dict_file;
  int log_option = 3;
  std::string stamp2 = "14:00:00";
  std::string stamp1 = "12/10/26";
  std::string ext_lib_dir, sys_dir, scr_dir;
  int obj_style = 0;
  int obj_row = 0;
  int obj_cond1 = 0;
  std::string ext_lib_file;
  // Model type lines; empty means the 15 model types with the defaults below. The solver
  // table's model-type count is `table_model_types` when positive, else the number of lines.
  std::vector<ModelTypeChoice> model_type_lines;
  int table_model_types = 0;
  std::vector<Solver> solvers;
  int obj_cond2 = 0;
  int obj_cond3 = 0;
  int scaled_solution = 0;
  int num_ext_nonzeros = 0;
  std::string ext_dll_name;
  std::string ctr_file;  // empty: the file's own path
  std::string scr_ext = "scr";
  std::string scen_file = "scenario_dict.lvx";
  std::string ext_func_file;
};

// The solvers of a default installation: QORAL for every model type it handles, and two host
// solvers for the nonlinear types.
std::vector<Solver> DefaultSolvers();

// A control file for the scratch directory `scratch_dir` (created if missing is the caller's
// business): every file name inside it, system directory `sys_dir`, the default solvers with
// QORAL chosen for every type.
ControlSpec DefaultControl(const std::string& scratch_dir, const std::string& sys_dir);

// Writes the control file at `path` in the layout of `spec.version`. Returns false with `error`
// set when the file cannot be written.
bool WriteControlFile(const std::string& path, const ControlSpec& spec, std::string* error);

// The file's text, as WriteControlFile writes it.
std::string ControlFileText(const ControlSpec& spec, const std::string& path);

}  // namespace luvo

namespace luvo {

// The status file the modeling system leaves before it starts a solver: a placeholder whose
// third line says that the solver did not run, so that a solver that never writes its own
// status file is noticed. The link replaces it.
bool WritePlaceholderStatusFile(const std::string& path, std::string* error);

}  // namespace luvo
