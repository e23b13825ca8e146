// End-to-end runs of the built qorallink on control files written by the modeling-system
// stand-in.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>

#include "link/lvostate.h"
#include "outside/luvo/ctrlwriter.h"
#include "outside/luvo/instwriter.h"
#include "outside/luvo/solreader.h"
#include "runtime/platform.h"
#include "tests/testutil/testutil.h"

namespace qlink {
namespace {

using test::ReadFile;
using test::RunProgram;
using test::ScratchDir;

std::string Qorallink() { return test::SysDir() + "qorallink"; }

std::string AuditLine() {
  const auto r = RunProgram(Qorallink(), {"AUDIT"});
  return r.out.substr(0, r.out.size() - 1);
}

// A prepared run: control file, placeholder status file and the instance files of `model`
// (empty unless a test fills it) in a scratch directory.
struct PreparedRun {
  explicit PreparedRun(const std::string& name, int log_option = 2) : dir(name) {
    spec = luvo::DefaultControl(dir.path(), test::SysDir());
    spec.log_option = log_option;
  }
  void WriteFiles() {
    std::string error;
    luvo::DescribeModel(model, &spec);
    EXPECT_TRUE(luvo::WriteControlFile(dir.File("ctrl.scr"), spec, &error)) << error;
    // Some runs name a status file that cannot be written; the link reports those.
    luvo::WritePlaceholderStatusFile(spec.status_file, &error);
    EXPECT_TRUE(luvo::WriteInstance(spec, model, &error)) << error;
  }
  test::RunResult Start(std::vector<std::string> extra_args = {}) {
    WriteFiles();
    return Launch(std::move(extra_args));
  }
  // Runs the link on the files as they are.
  test::RunResult Launch(std::vector<std::string> extra_args = {}) {
    extra_args.insert(extra_args.begin(), dir.File("ctrl.scr"));
    return RunProgram(Qorallink(), extra_args);
  }
  luvo::SolutionFile Solution() {
    luvo::SolutionFile sol;
    std::string error;
    EXPECT_TRUE(luvo::ReadSolutionFile(spec.solution_file, spec.alg_file_type, spec.num_rows, spec.num_cols,
                                       &sol, &error))
        << error;
    return sol;
  }
  ScratchDir dir;
  luvo::ControlSpec spec;
  luvo::ModelSpec model;
};

// Two rows, three columns, a little nonlinear code and a constant pool.
luvo::ModelSpec SmallModel() {
  luvo::ModelSpec m;
  m.rows.resize(2);
  m.rows[0].type = 1;
  m.rows[0].rhs = 1.5;
  m.cols.resize(3);
  m.cols[0].upper = 10;
  m.cols[0].entries = {{1, 1.0, true}, {2, -1.0, false}};
  m.cols[1].type = 2;
  m.cols[1].upper = 5;
  m.cols[1].entries = {{1, 2.5, false}};
  m.cols[2].lower = luvo::kMinusInf;
  m.cols[2].entries = {{2, 1.0, false}};
  m.code = {{18, 0}, {1, 1}, {12, 1}, {3, 1}};
  m.pool = {2.0};
  return m;
}

const char* const kNotice =
    "=CQORAL link for LUVO: the model is passed to the QORAL global MINLP solver,\n"
    "=Cand QORAL's solution and statuses are passed back to LUVO.\n"
    "=CQORAL is used under the terms of its own license.\n"
    "=C\n";

TEST(RunSequence, WithoutArgumentSaysSoAndFails) {
  const auto r = RunProgram(Qorallink(), {});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "*** LUVO/QORAL called with no control file name\n");
}

TEST(RunSequence, AuditPrintsTheAuditLineAndTouchesNothing) {
  ScratchDir dir("audit");
  for (const char* word : {"AUDIT", "audit", "Audit"}) {
    const auto r = RunProgram(Qorallink(), {word}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_GE(r.out.size(), 17u);
    EXPECT_EQ(r.out.substr(0, 16), "LUVO/QORAL      ");
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one line only: " << r.out;
    EXPECT_EQ(r.out, AuditLine() + "\n");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  // release, build, date and platform after the title
  int fields = 0;
  for (std::size_t i = 16; i < AuditLine().size(); ++i) fields += AuditLine()[i] == ' ';
  EXPECT_EQ(fields, 3) << AuditLine();
}

TEST(RunSequence, ControlFileThatCannotBeLoaded) {
  ScratchDir dir("badctrl");
  test::WriteFile(dir.File("short.scr"), "53\n1 0 0\n");
  const struct {
    std::string path;
    std::string msg;
  } cases[] = {{dir.File("missing.scr"), "No such file or directory"},
               {dir.File("short.scr"), "Read beyond end of file for line 2 in line 3"}};
  for (const auto& c : cases) {
    const auto r = RunProgram(Qorallink(), {c.path});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "*** LUVO/QORAL could not load controlfile \"" + c.path + "\"\n*** Msg=" + c.msg + "\n");
  }
}

TEST(RunSequence, WritesTheAuditRecordLogAndListing) {
  PreparedRun run("fullrun");
  const auto r = run.Start({"ignored", "extra"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  const std::string audit = AuditLine();
  EXPECT_EQ(ReadFile(run.spec.log_file), "\n" + audit + "\n\n");
  // The placeholder status file is replaced, not appended to.
  EXPECT_EQ(ReadFile(run.spec.status_file), "=0" + audit + "\n=C\n=C" + audit + "\n=C\n" + kNotice);
}

TEST(RunSequence, ConsoleLoggingAndAnExistingStatusFile) {
  PreparedRun run("console", 3);
  run.WriteFiles();
  test::WriteFile(run.spec.status_file, "earlier\n");
  const auto r = run.Launch();
  EXPECT_EQ(r.exit_code, 0);
  const std::string audit = AuditLine();
  EXPECT_EQ(r.out, "\n" + audit + "\n\n");
  EXPECT_FALSE(test::Exists(run.spec.log_file));
  EXPECT_EQ(ReadFile(run.spec.status_file), "earlier\n=0" + audit + "\n=C\n=C" + audit + "\n=C\n" + kNotice);
}

TEST(RunSequence, StatusFileThatCannotBeOpenedEndsTheRunWithCodeZero) {
  PreparedRun run("nostatus");
  run.spec.status_file = run.dir.File("no-such-dir/status.scr");
  const auto r = run.Start();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(ReadFile(run.spec.log_file),
            "*** Status File open Failed - we are dead\n*** status open failed: No such file or directory\n");
}

TEST(RunSequence, SolverTableInconsistenciesAreLogged) {
  PreparedRun run("procnames");
  for (int k = 1; k <= 15; ++k) run.spec.model_type_lines.push_back({std::string(ModelTypeName(k)), 1, 1});
  run.spec.model_type_lines[2].name = "RMIPX";
  run.spec.model_type_lines[3].chosen_solver = 9;
  const auto r = run.Start();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(ReadFile(run.spec.log_file).rfind("SolveReadControl: system procnames RMIP <> RMIPX\n"
                                              "SolveReadControl: incorrect algchosen\n\n",
                                              0),
            0u);
}

TEST(RunSequence, LogFileInMissingDirectoryFallsBackToStandardOutput) {
  PreparedRun run("nolog");
  run.spec.log_file = run.dir.File("no-such-dir/x.log");
  const auto r = run.Start();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.rfind("*** Log reopend as output\n*** Append\n logfile error: (R=2) FN=\"" + run.spec.log_file + "\"\n", 0),
            0u)
      << r.out;
  EXPECT_NE(ReadFile(run.spec.status_file).find("=0LUVO/QORAL"), std::string::npos);
}

// The stand-in program writes the control file the link then runs on.
TEST(RunSequence, StandInProgramPreparesARun) {
  ScratchDir dir("standin");
  const auto w = RunProgram(QLINK_LUVO, {"control", "--version", "45", "--log-option", "2", dir.File("c.scr")});
  ASSERT_EQ(w.exit_code, 0) << w.err;
  EXPECT_NE(ReadFile(dir.File("lstatus.scr")).find("SOLVER DID NOT"), std::string::npos);
  const auto r = RunProgram(Qorallink(), {dir.File("c.scr")});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(ReadFile(dir.File("qoral.log")), "\n" + AuditLine() + "\n\n");
  EXPECT_EQ(ReadFile(dir.File("lstatus.scr")).rfind("=0LUVO/QORAL", 0), 0u);
}

// Without a solver run every variant reads the model and reports 13/13 with the initial values.
TEST(RunSequence, ReadsTheInstanceAndWritesTheSolutionFileInEveryVariant) {
  for (int format : {0, 1, 2, 3, 4, 5, 10, 2012, 100003}) {
    SCOPED_TRACE(format);
    PreparedRun run("variant" + std::to_string(format));
    run.model = SmallModel();
    run.spec.alg_file_type = format;
    run.spec.obj_var = 3;
    run.spec.obj_row = 2;
    const auto r = run.Start();
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(ReadFile(run.spec.log_file), "\n" + AuditLine() + "\n\n");
    const luvo::SolutionFile sol = run.Solution();
    const std::map<int, double> header = {{1, 13}, {2, 13}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {9, 1}};
    EXPECT_EQ(sol.header, header);
    EXPECT_TRUE(sol.rows.empty());
    EXPECT_TRUE(sol.cols.empty());
    EXPECT_TRUE(sol.trailer.empty());
  }
}

// A model that cannot be read whole is reported in the log and the listing, and the solution
// file says that there is no solution.
TEST(RunSequence, AnInstanceThatCannotBeReadEndsWithNoSolution) {
  enum Fault { kNoMatrix, kNoInstructions, kTruncatedMatrix, kRowOutOfRange };
  const struct {
    Fault fault;
    std::string message;  // start of the first line reported, before the file name
  } cases[] = {
      {kNoMatrix, "*** could not open matrix file "},
      {kNoInstructions, "*** could not open instruction file "},
      {kTruncatedMatrix, "*** error in matrix file "},
      {kRowOutOfRange, "*** error in matrix file "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message + std::to_string(c.fault));
    PreparedRun run("badinst" + std::to_string(c.fault));
    run.model = SmallModel();
    run.spec.alg_file_type = 2;
    if (c.fault == kRowOutOfRange) run.model.cols[1].entries[0].row = 3;
    run.WriteFiles();
    const std::string file = c.fault == kNoInstructions ? run.spec.instr_file : run.spec.matrix_file;
    if (c.fault == kNoMatrix || c.fault == kNoInstructions) std::filesystem::remove(file);
    if (c.fault == kTruncatedMatrix) std::filesystem::resize_file(file, 40);
    const auto r = run.Launch();
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string log = ReadFile(run.spec.log_file);
    EXPECT_EQ(log.rfind(c.message + file, 0), 0u) << log;
    if (c.fault == kNoMatrix || c.fault == kNoInstructions) {
      EXPECT_NE(log.find("\n*** RC=2 No such file or directory\n"), std::string::npos) << log;
    }
    EXPECT_NE(ReadFile(run.spec.status_file).find("=C" + c.message + file), std::string::npos);
    const luvo::SolutionFile sol = run.Solution();
    EXPECT_EQ(sol.header.at(1), 13);
    EXPECT_EQ(sol.header.at(2), 13);
    EXPECT_TRUE(sol.rows.empty());
  }
}

// Ctrl-C only counts: the program goes on with its sequence.
TEST(InterruptHandler, CountsAndDoesNotTerminate) {
  std::atomic<int> count{5};
  count = 0;
  ASSERT_TRUE(platform::InstallInterruptHandler(&count));
  std::raise(SIGINT);
  std::raise(SIGINT);
  EXPECT_EQ(count.load(), 2);
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace
}  // namespace qlink
