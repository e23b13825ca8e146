#include "outside/luvo/ctrlwriter.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace luvo {

namespace {

const char* const kModelTypeNames[16] = {"NONE", "LP",   "MIP",    "RMIP",  "NLP", "MCP",   "MPEC",   "RMPEC",
                                         "CNS",  "DNLP", "RMINLP", "MINLP", "QCP", "MIQCP", "RMIQCP", "EMP"};

// Builds the text line by line; numbers are separated by single blanks.
class Lines {
 public:
  Lines& Int(long long v) {
    Sep();
    text_ += std::to_string(v);
    return *this;
  }
  Lines& Real(double v) {
    Sep();
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    text_.append(buf, r.ptr);
    return *this;
  }
  Lines& Word(const std::string& w) {
    Sep();
    text_ += w;
    return *this;
  }
  void End() {
    text_ += '\n';
    at_start_ = true;
  }
  void Line(const std::string& s) {
    text_ += s;
    End();
  }
  std::string& text() { return text_; }

 private:
  void Sep() {
    if (!at_start_) text_ += ' ';
    at_start_ = false;
  }
  std::string text_;
  bool at_start_ = true;
};

}  // namespace

std::vector<Solver> DefaultSolvers() {
  return {
      {"QORAL", {1, 2, 3, 4, 9, 10, 11, 12, 13, 14}, "qorallink", 0},
      {"IPOPT", {1, 3, 4, 9, 10, 12, 14}, "ipoptlink", 0},
      {"BONMIN", {1, 2, 3, 4, 9, 10, 11, 12, 13, 14}, "bonminlink", 1},
  };
}

ControlSpec DefaultControl(const std::string& scratch_dir, const std::string& sys_dir) {
  ControlSpec c;
  std::string dir = scratch_dir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::string sys = sys_dir;
  if (!sys.empty() && sys.back() != '/') sys += '/';
  c.scr_dir = dir;
  c.sys_dir = sys;
  c.instr_file = dir + "linstr.scr";
  c.matrix_file = dir + "lmatrix.scr";
  c.opt_file_name = dir + "qoral.opt";
  c.status_file = dir + "lstatus.scr";
  c.solution_file = dir + "lsolu.scr";
  c.log_file = dir + "qoral.log";
  c.dict_file = dir + "ldict.scr";
  c.ext_func_file = dir + "lextfunc.scr";
  c.solvers = DefaultSolvers();
  return c;
}

std::string ControlFileText(const ControlSpec& c, const std::string& path) {
  const int v = c.version;
  Lines out;
  out.Int(v).End();
  // Line 2: model type, three unused, release, four unused, IDE flag.
  out.Int(c.model_type).Int(0).Int(0).Int(0).Int(c.luvo_version).Real(0).Int(0).Real(0).Int(0).Int(c.ide_flag).End();
  out.Int(c.num_rows).Int(0).Int(0).Int(0).Int(0);
  for (int i = 0; i < 5; ++i) out.Int(c.equ_type_count[static_cast<size_t>(i)]);
  if (v >= 40) out.Int(c.equ_type_count[5]);
  if (v >= 46) out.Int(c.equ_type_count[6]);
  out.End();
  out.Int(c.num_cols).Int(0).Int(0).Int(0).Int(0).Int(0).Int(0).Int(c.scale_opt).End();
  out.Int(c.num_nonzeros).Int(c.num_nl_nonzeros).End();
  for (int n : c.var_type_count) out.Int(n);
  if (v >= 40) out.Int(0).Int(0).Int(0);
  out.End();
  for (int n : c.fixed_type_count) out.Int(n);
  out.End();
  out.Int(c.obj_sense).Int(0).Int(0).End();
  out.Int(c.num_instr).Int(c.num_const).Int(0).End();
  out.Real(c.param28).Real(c.param27).Int(c.priority_opt).End();
  out.Int(c.param21_flag).Real(c.param21).Int(0).Real(0).End();
  out.Real(c.param54).Int(0).Int(0).End();
  out.Int(c.alg_file_type).Int(c.opt_file).End();
  out.Real(0).Int(0).Int(0).Int(c.param50).Real(0).Int(c.relax_flag);
  if (v >= 43) out.Int(c.threads);
  if (v >= 47) out.Int(0);
  if (v >= 48) out.Int(0).Real(0.00001);
  if (v >= 51) out.Int(0);
  if (v >= 53) out.Int(c.marginal_mode);
  out.End();
  out.Int(c.obj_var).Int(c.param95).End();
  for (int n : c.integer) out.Int(n);
  out.End();
  for (double r : c.real) out.Real(r);
  out.End();
  out.Line(c.instr_file);
  out.Line(c.matrix_file);
  out.Line(c.opt_file_name);
  out.Line(c.status_file);
  out.Line(c.solution_file);
  out.Line(c.log_file);
  out.Line(c.dict_file);
  out.Int(c.log_option).End();
  out.Line(c.stamp2);
  out.Line(c.stamp1);
  out.Line(c.ext_lib_dir);
  out.Line(c.sys_dir);
  out.Line(c.scr_dir);
  out.Int(0).Int(0).End();
  out.Int(0).Int(0).Int(0).Int(0).Int(0).Int(0).End();
  out.Line("");
  out.Line("");
  out.Line("");
  out.Int(0).Int(c.obj_style).Int(c.obj_row).Int(c.obj_cond1).End();
  out.Line(c.ext_lib_file);

  // Solver table.
  std::vector<ModelTypeChoice> types = c.model_type_lines;
  if (types.empty()) {
    for (int k = 1; k <= 15; ++k) {
      ModelTypeChoice t{kModelTypeNames[k], 0, 0};
      for (size_t i = 0; i < c.solvers.size(); ++i) {
        bool capable = false;
        for (int m : c.solvers[i].model_types) capable = capable || m == k;
        if (capable && t.default_solver == 0) t.default_solver = t.chosen_solver = static_cast<int>(i) + 1;
      }
      types.push_back(t);
    }
  }
  const int num_types = c.table_model_types > 0 ? c.table_model_types : static_cast<int>(types.size());
  out.Int(num_types).Int(static_cast<long long>(c.solvers.size())).Int(0).End();
  for (const auto& t : types) out.Word(t.name).Int(t.default_solver).Int(t.chosen_solver).End();
  for (const auto& s : c.solvers) {
    out.Word(s.name).Int(0).Int(0).Int(s.extra_libraries);
    for (int k = 1; k <= num_types; ++k) {
      bool capable = false;
      for (int m : s.model_types) capable = capable || m == k;
      out.Int(capable ? 1 : 0);
    }
    out.End();
    out.Line(s.library + " " + s.library + "aux");
    for (int i = 0; i < s.extra_libraries && i < 2; ++i) out.Line(s.library + "extra" + std::to_string(i + 1));
  }

  // After the solver table.
  out.Line("");
  out.Line("");
  if (v >= 49) out.Line("");
  if (v >= 53) {
    out.Line("");
    out.Line("");
  }
  if (v >= 50) {
    out.Int(0).Word("none").End();
    out.Int(0).Word("none").End();
  }
  out.Line("");
  for (int i = 0; i < 23; ++i) out.Int(0);
  out.End();
  out.Int(c.obj_cond2).Int(c.obj_cond3).Real(0).Int(0).Int(0).End();
  out.Int(c.scaled_solution).Int(0).Int(0).End();
  out.Int(0).Int(0).Int(c.num_ext_nonzeros).Int(0);
  if (v >= 41) out.Int(0);
  out.End();
  out.Line(c.ext_dll_name);
  out.Line("");
  if (v >= 40) {
    out.Line(c.ctr_file.empty() ? path : c.ctr_file);
    out.Line("");
  }
  if (v >= 42) {
    out.Line(c.scr_ext);
    out.Real(0).End();
  }
  if (v >= 44) out.Line(c.scen_file);
  if (v >= 45) out.Line(c.ext_func_file);
  if (v >= 47) out.Line("");
  if (v >= 52) out.Real(0).Real(0).End();
  return std::move(out.text());
}

bool WriteControlFile(const std::string& path, const ControlSpec& spec, std::string* error) {
  const std::string text = ControlFileText(spec, path);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok) {
    if (error) *error = path + ": write failed";
    return false;
  }
  return true;
}

}  // namespace luvo

namespace luvo {

bool WritePlaceholderStatusFile(const std::string& path, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  std::fputs("=0 LUVO\n=1\n=C** SOLVER DID NOT RUN OR DID NOT WRITE ITS STATUS FILE\n=2\n", f);
  return std::fclose(f) == 0;
}

}  // namespace luvo
