// Shared fixture of the solution writer tests: a fresh run state (statuses 13 and 13, run
// values 0, trailer values NA, as the instance reader leaves them), a small model instance
// built in memory, the log written to a file, and the LVX library of the system directory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "io/gdutils.h"
#include "link/lvostate.h"
#include "runtime/lvocommon.h"
#include "runtime/lvxdcdef.h"
#include "tests/testutil/testutil.h"

namespace qlink::test {

// One row's or column's solution as the model instance holds it.
struct Sol {
  int status = 0, bstat = 3;
  double level = 0, marginal = 0;
};

// Fills Instance() with m rows and n columns and the Jacobian entries at (row, column); every
// field is 0 and there are no solution arrays and no scales.
inline void MakeInstance(int m, int n, const std::vector<std::pair<int, int>>& entries = {}) {
  ModelInstance& mi = Instance();
  mi = ModelInstance{};
  mi.m = m;
  mi.n = n;
  const auto rows = static_cast<std::size_t>(m) + 1, cols = static_cast<std::size_t>(n) + 1;
  mi.row_type.assign(rows, 0);
  mi.row_rhs.assign(rows, 0);
  mi.row_marginal.assign(rows, 0);
  mi.row_basis.assign(rows, 0);
  mi.row_match.assign(rows, 0);
  mi.row_count.assign(rows, 0);
  mi.col_type.assign(cols, 0);
  mi.col_lower.assign(cols, 0);
  mi.col_level.assign(cols, 0);
  mi.col_upper.assign(cols, kPlusInf);
  mi.col_marginal.assign(cols, 0);
  mi.col_head.assign(cols, 0);
  mi.col_tail.assign(cols, 0);
  for (const auto& [i, j] : entries) {
    const std::int32_t e = mi.jac.Add();
    mi.jac[e].row = i;
    mi.jac[e].col = j;
    mi.jac[e].value = 1;
    auto& tail = mi.col_tail[static_cast<std::size_t>(j)];
    if (tail == 0) mi.col_head[static_cast<std::size_t>(j)] = e;
    else mi.jac[tail].next_in_col = e;
    tail = e;
  }
}

// What a model without the result reader's arrays carries back: row marginals, column levels
// and marginals.
inline void SetInstanceValues(const std::vector<double>& row_marginal, const std::vector<double>& col_level,
                              const std::vector<double>& col_marginal) {
  ModelInstance& mi = Instance();
  for (std::size_t k = 0; k < row_marginal.size(); ++k) mi.row_marginal[k + 1] = row_marginal[k];
  for (std::size_t k = 0; k < col_level.size(); ++k) mi.col_level[k + 1] = col_level[k];
  for (std::size_t k = 0; k < col_marginal.size(); ++k) mi.col_marginal[k + 1] = col_marginal[k];
}

// The solution arrays of the result reader (row_level, row_status, row_bstat, col_status,
// col_bstat) and the marginals and column levels, one entry per row and column.
inline void SetSolution(const std::vector<Sol>& rows, const std::vector<Sol>& cols) {
  ModelInstance& mi = Instance();
  mi.row_level.assign(rows.size() + 1, 0);
  mi.row_status.assign(rows.size() + 1, 0);
  mi.row_bstat.assign(rows.size() + 1, 0);
  mi.col_status.assign(cols.size() + 1, 0);
  mi.col_bstat.assign(cols.size() + 1, 0);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    mi.row_status[k + 1] = rows[k].status;
    mi.row_bstat[k + 1] = rows[k].bstat;
    mi.row_level[k + 1] = rows[k].level;
    mi.row_marginal[k + 1] = rows[k].marginal;
  }
  for (std::size_t k = 0; k < cols.size(); ++k) {
    mi.col_status[k + 1] = cols[k].status;
    mi.col_bstat[k + 1] = cols[k].bstat;
    mi.col_level[k + 1] = cols[k].level;
    mi.col_marginal[k + 1] = cols[k].marginal;
  }
}

// Scales and matches for scaled mode: row_match, row_scale and col_scale, one entry each.
inline void SetScales(const std::vector<int>& row_match, const std::vector<double>& row_scale,
                      const std::vector<double>& col_scale) {
  ModelInstance& mi = Instance();
  mi.row_scale.assign(static_cast<std::size_t>(mi.m) + 1, 1);
  mi.col_scale.assign(static_cast<std::size_t>(mi.n) + 1, 1);
  for (std::size_t k = 0; k < row_match.size(); ++k) mi.row_match[k + 1] = row_match[k];
  for (std::size_t k = 0; k < row_scale.size(); ++k) mi.row_scale[k + 1] = row_scale[k];
  for (std::size_t k = 0; k < col_scale.size(); ++k) mi.col_scale[k + 1] = col_scale[k];
}

// A solved run on 3 rows and 2 columns with scales. Row 1 matches column 2, row 3 column 1,
// row 2 nothing; so in scaled mode the rows carry col_scale of column 2 (0.5), 1 and col_scale
// of column 1 (4), the columns row_scale of row 3 (1) and of row 1 (8). Header 3 and 5 and
// trailer 12 are 0, trailer 4 is set (and never written), the objective estimate is NA.
inline void ScaledModel() {
  SetStatus(1, 16);
  RunState& run = qlink::Run();
  run.ResUsed = 1.25;
  run.IterCount = 17;
  SolutionValues& sv = SolutionResults();
  sv.header6 = -3;
  sv.trailer[2] = 6;
  sv.trailer[4] = 99;
  sv.trailer[12] = 0;
  MakeInstance(3, 2, {{1, 1}, {3, 2}});
  SetScales({2, 0, 1}, {8, 3, 1}, {4, 0.5});
  SetSolution({{0, 3, 0, 0}, {0, 0, 0, kNa}, {2, 2, -1.5, 2.5}}, {{3, 3, 7, 0}, {0, 2, 0, -4}});
}

inline std::string CurrentTestName() {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

class SolutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::make_unique<ScratchDir>("sol-" + CurrentTestName());
    LvxBinding().SetLoadDirectory(std::string(QLINK_SYSDIR) + "/");
    RunState& run = qlink::Run();
    run.ctrl = ControlFile{};
    run.ctrl.NameSolFile = File("solution");
    run.log.LogOpen(2, 0, File("log"));
    ResetRunResults();
    MakeInstance(0, 0);
  }
  void TearDown() override {
    qlink::Run().log.LogOpen(0, 0, "");
    Instance() = ModelInstance{};
  }

  std::string File(const std::string& name) const { return dir_->File(name); }
  std::string Log() const { return ReadFile(dir_->File("log")); }
  ControlFile& Ctrl() { return qlink::Run().ctrl; }

  // The control file's settings of the solution file.
  void Format(int code, int scale_opt = 0, int scaled_solution = 0) {
    Ctrl().AlgFileType = code;
    Ctrl().ScaleOpt = scale_opt;
    Ctrl().ScaledSolution = scaled_solution;
  }

  std::unique_ptr<ScratchDir> dir_;
};

}  // namespace qlink::test
