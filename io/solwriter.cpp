#include "io/solwriter.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "io/gdutils.h"
#include "link/lvostate.h"
#include "runtime/lvocommon.h"
#include "runtime/platform.h"

namespace qlink {

namespace {

// Texts held as short strings of at most 31 characters, indexed by code.
struct StatusText {
  std::uint8_t length;
  char text[31];
  constexpr StatusText(const char* s = "") : length(0), text{} {
    while (s[length] != '\0' && length < 31) {
      text[length] = s[length];
      ++length;
    }
  }
  std::string_view view() const { return {text, length}; }
};
static_assert(sizeof(StatusText) == 32);

constexpr std::array<StatusText, 14> kSolveTexts = {
    StatusText(), "1 Normal Completion", "2 Iteration Interrupt", "3 Resource Interrupt",
    "4 Terminated By Solver", "5 Evaluation Interrupt", "6 Capability Problems", StatusText(),
    "8 User Interrupt", "9 Setup Failure", "10 Solver Failure", "11 Internal Solver Failure",
    "12 Solve Processing Skipped", "13 System Failure"};

constexpr std::array<StatusText, 20> kModelTexts = {
    StatusText(), "1 Optimal", "2 Locally Optimal", "3 Unbounded", "4 Infeasible", "5 Locally Infeasible",
    "6 Intermediate Infeasible", "7 Feasible Solution", "8 Integer Solution", "9 Intermediate Non-Integer",
    "10 Integer Infeasible", StatusText(), "12 Error Unknown", "13 Error No Solution",
    "14 No Solution Returned", "15 Solved Unique", "16 Solved", "17 Solved Singular",
    "18 Unbounded - No Solution", "19 Infeasible - No Solution"};

// The marginals flag: 1 without an objective variable, or when a row in which the objective
// column has an entry carries a marginal other than NA. A model that was not read holds no
// entries, so it gives 0 whenever the control file names an objective variable.
double MarginalsFlag(const ModelInstance& mi, int obj_var) {
  if (obj_var < 1) return 1;
  if (obj_var > mi.n) return 0;
  for (std::int32_t e = mi.col_head[static_cast<std::size_t>(obj_var)]; e != 0; e = mi.jac[e].next_in_col)
    if (mi.row_marginal[static_cast<std::size_t>(mi.jac[e].row)] != kNa) return 1;
  return 0;
}

template <typename V>
auto At(const V& v, std::int32_t k, decltype(v[0]) dflt) {
  return k >= 0 && static_cast<std::size_t>(k) < v.size() ? v[static_cast<std::size_t>(k)] : dflt;
}

}  // namespace

std::string_view SolveStatusText(int code) {
  return code >= 0 && code < static_cast<int>(kSolveTexts.size()) ? kSolveTexts[static_cast<std::size_t>(code)].view()
                                                                 : std::string_view();
}

std::string_view ModelStatusText(int code) {
  return code >= 0 && code < static_cast<int>(kModelTexts.size()) ? kModelTexts[static_cast<std::size_t>(code)].view()
                                                                 : std::string_view();
}

bool ModelStatusHasSolution(int code) {
  return (code >= 1 && code <= 9) || (code >= 15 && code <= 17);
}

void write_solution() {
  RunState& run = Run();
  const ControlFile& c = run.ctrl;
  const ModelInstance& mi = Instance();
  const SolutionValues& sv = SolutionResults();
  std::unique_ptr<TScratchFile> f;
  const int labels = std::max(mi.m, mi.n);
  const int rc = TScratchFile::OpenMod(c.NameSolFile, c.AlgFileType, c.ScaleOpt != 0, c.PriorityOpt != 0, true,
                                       &f, false, labels);
  if (rc != 0) {
    LogWriteLn("*** failed rewrite on solution: " + c.NameSolFile);
    LogWriteLn("*** RC=" + std::to_string(rc) + " " + platform::ErrorText(rc));
    return;
  }
  f->WriteHeaderValue(1, run.SolveStat);
  f->WriteHeaderValue(2, run.ModelStat);
  f->WriteHeaderValue(3, sv.header3);
  f->WriteHeaderValue(4, run.ResUsed);
  f->WriteHeaderValue(5, run.ObjVal);
  f->WriteHeaderValue(6, sv.header6);
  f->WriteHeaderValue(9, MarginalsFlag(mi, c.ObjVar));
  f->WriteHeaderValue(0, 0);

  if (ModelStatusHasSolution(run.ModelStat)) {
    const std::int32_t m = mi.m, n = mi.n;
    const bool have_arrays = mi.row_level.size() > static_cast<std::size_t>(m) &&
                             mi.col_level.size() > static_cast<std::size_t>(n);
    if (have_arrays) {
      const bool scaled = c.ScaleOpt != 0 && f->format().scale_mode == 3 && c.ScaledSolution > 0 &&
                          !mi.row_scale.empty() && !mi.col_scale.empty();
      // The row that matches each column, for the columns' scales.
      std::vector<std::int32_t> matched_row;
      if (scaled) {
        matched_row.assign(static_cast<std::size_t>(n) + 1, 0);
        for (std::int32_t i = 1; i <= m; ++i) {
          const std::int32_t j = mi.row_match[static_cast<std::size_t>(i)];
          if (j >= 1 && j <= n) matched_row[static_cast<std::size_t>(j)] = i;
        }
      }
      for (std::int32_t i = 1; i <= m; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const int st = At(mi.row_status, i, 0), bs = At(mi.row_bstat, i, 3);
        if (scaled) {
          const std::int32_t j = mi.row_match[k];
          const double s = j >= 1 && j <= n ? mi.col_scale[static_cast<std::size_t>(j)] : 1.0;
          f->WriteScaledSolRecord(st, bs, mi.row_level[k], mi.row_marginal[k], s);
        } else {
          f->WriteSolRecord(st, bs, mi.row_level[k], mi.row_marginal[k]);
        }
      }
      f->SwitchToColumns();
      for (std::int32_t j = 1; j <= n; ++j) {
        const auto k = static_cast<std::size_t>(j);
        const int st = At(mi.col_status, j, 0), bs = At(mi.col_bstat, j, 3);
        if (scaled) {
          const std::int32_t i = matched_row[k];
          f->WriteScaledSolRecord(st, bs, mi.col_level[k], mi.col_marginal[k],
                                  i != 0 ? mi.row_scale[static_cast<std::size_t>(i)] : 1.0);
        } else {
          f->WriteSolRecord(st, bs, mi.col_level[k], mi.col_marginal[k]);
        }
      }
    } else {
      for (std::int32_t i = 1; i <= m; ++i) f->WriteSolRecord(0, 3, 0, At(mi.row_marginal, i, 0.0));
      f->SwitchToColumns();
      for (std::int32_t j = 1; j <= n; ++j)
        f->WriteSolRecord(0, 3, At(mi.col_level, j, 0.0), At(mi.col_marginal, j, 0.0));
    }
  }

  std::array<double, 13> trailer = sv.trailer;
  trailer[1] = run.IterCount;
  trailer[5] = run.ObjEst;
  for (int k : {1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12})
    if (trailer[k] != kNa) f->WriteHeaderValue(k, trailer[k]);
  f->WriteHeaderValue(0, 0);
  if (f->CloseMod() != 0 && f->format().variant != 5)
    LogWriteLn("*** could not write solution file " + c.NameSolFile);
}

}  // namespace qlink
