#include "link/lvoconf.h"

#include <gtest/gtest.h>

#include "outside/luvo/ctrlwriter.h"
#include "tests/testutil/testutil.h"

namespace qlink {
namespace {

using test::ScratchDir;

std::string Fixture(const std::string& name) { return std::string(QLINK_SOURCE_DIR) + "/tests/link/fixtures/" + name; }

ControlFile MustLoad(const std::string& path) {
  ControlFile c;
  std::string message;
  EXPECT_TRUE(LoadControlFile(path, &c, &message)) << message;
  return c;
}

// Loads `text` as a control file and returns the reading error ("" on success).
std::string LoadError(const ScratchDir& dir, const std::string& text, ControlFile* out = nullptr) {
  const std::string path = dir.File("ctrl.scr");
  test::WriteFile(path, text);
  ControlFile c;
  std::string message;
  const bool ok = LoadControlFile(path, &c, &message);
  if (out) *out = c;
  return ok ? std::string() : message.empty() ? std::string("(empty message)") : message;
}

// A file laid out by hand, not by our writer, so that reader and writer cannot agree on a
// wrong layout: every field holds a value of its own.
TEST(ControlFile, ReadsEveryFieldOfVersion53) {
  const std::string path = Fixture("ctrl_v53.txt");
  const ControlFile c = MustLoad(path);
  EXPECT_EQ(c.CtrlVersion, 53);
  EXPECT_EQ(c.ModelType, 11);
  EXPECT_EQ(c.LuvoVersion, 247);
  EXPECT_EQ(c.IDEFlag, 1);
  EXPECT_EQ(c.NumRows, 10);
  EXPECT_EQ(c.EquTypeCount, (std::array<int, 7>{3, 2, 2, 1, 1, 1, 5}));
  EXPECT_EQ(c.NumCols, 20);
  EXPECT_EQ(c.ScaleOpt, 1);
  EXPECT_EQ(c.NumNonzeros, 55);
  EXPECT_EQ(c.NumNLNonzeros, 12);
  EXPECT_EQ(c.VarTypeCount, (std::array<int, 7>{12, 5, 3, 0, 0, 0, 0}));
  EXPECT_EQ(c.FixedTypeCount, (std::array<int, 7>{1, 0, 2, 0, 0, 0, 0}));
  EXPECT_EQ(c.ObjSense, 1);
  EXPECT_EQ(c.NumInstr, 40);
  EXPECT_EQ(c.NumConst, 6);
  EXPECT_EQ(c.Param28, 1000);
  EXPECT_EQ(c.Param27, 2000000);
  EXPECT_EQ(c.PriorityOpt, 1);
  EXPECT_EQ(c.Param21Flag, 1);
  EXPECT_EQ(c.Param21, 0.25);
  EXPECT_EQ(c.Param54, 1e-6);
  EXPECT_EQ(c.AlgFileType, 2);
  EXPECT_EQ(c.OptFile, 1);
  EXPECT_EQ(c.Param50, 500);
  EXPECT_EQ(c.RelaxFlag, 1);
  EXPECT_EQ(c.ThreadsRaw, 4);
  EXPECT_EQ(c.MarginalMode, 2);
  EXPECT_EQ(c.ObjVar, 19);
  EXPECT_EQ(c.Param95, 3);
  EXPECT_EQ(c.Integer, (std::array<int, 5>{1, 2, 3, 4, 5}));
  EXPECT_EQ(c.Real, (std::array<double, 5>{0.5, 1.5, 2.5, 3.5, 4.5}));
  EXPECT_EQ(c.NameInstrFile, "/s/linstr.scr");
  EXPECT_EQ(c.NameMatrixFile, "/s/lmatrix.scr");
  EXPECT_EQ(c.NameOptFile, "/s/qoral.opt");
  EXPECT_EQ(c.NameStaFile, "/s/lstatus.scr");
  EXPECT_EQ(c.NameSolFile, "/s/lsolu.scr");
  EXPECT_EQ(c.NameLogFile, "/s/qoral.log");
  EXPECT_EQ(c.NameDictFile, "/s/ldict.scr");
  EXPECT_EQ(c.LogOption, 4);
  EXPECT_EQ(c.Stamp2, "10:11:12");
  EXPECT_EQ(c.Stamp1, "12/10/26");
  EXPECT_EQ(c.ExtLibDir, "/ext/lib");
  EXPECT_EQ(c.NameSysDir, "/opt/luvo/");
  EXPECT_EQ(c.NameScrDir, "/s/");
  EXPECT_EQ(c.ObjStyle, 1);
  EXPECT_EQ(c.ObjRow, 7);
  EXPECT_EQ(c.ObjCond1, 0);
  EXPECT_EQ(c.ExtLibFile, "extlib.so");
  EXPECT_EQ(c.ObjCond2, 2);
  EXPECT_EQ(c.ObjCond3, 3);
  EXPECT_EQ(c.ScaledSolution, 1);
  EXPECT_EQ(c.NumExtNonzeros, 8);
  EXPECT_EQ(c.ExtDllName, "extdll.so");
  // The file names another control file; the path the program was given wins.
  EXPECT_EQ(c.NameCtrFile, path);
  EXPECT_EQ(c.NameScrExt, "dat");
  EXPECT_EQ(c.NameScenFile, "scen.lvx");
  // It names an external function file that does not exist: nothing to load, no error.
  EXPECT_EQ(c.NameExtFFile, "/s/nonexistent-extfunc.dat");

  const SolverTable& t = c.Solvers;
  ASSERT_EQ(t.solvers.size(), 2u);
  EXPECT_TRUE(t.messages.empty());
  EXPECT_EQ(t.default_solver[11], 1);
  EXPECT_EQ(t.chosen_solver[11], 1);
  EXPECT_EQ(t.chosen_solver[4], 2);
  EXPECT_EQ(t.default_solver[5], 0);
  EXPECT_EQ(SolverName(t, 1), "QORAL");
  EXPECT_EQ(SolverName(t, 2), "IPOPT");
  EXPECT_EQ(SolverName(t, 0), "UnknownSolver");
  EXPECT_EQ(SolverName(t, 3), "UnknownSolver");
  EXPECT_EQ(SolverIndex(t, "ipopt"), 2);
  EXPECT_EQ(SolverIndex(t, "Qoral"), 1);
  EXPECT_EQ(SolverIndex(t, "none"), 0);
  // QORAL's flags: LP MIP RMIP NLP . . . . DNLP RMINLP MINLP QCP MIQCP RMIQCP .
  const bool qoral[16] = {false, true, true, true, true, false, false, false, false,
                          true,  true, true, true, true, true,  false};
  for (int k = 1; k <= 15; ++k) EXPECT_EQ(SolverCapable(t, 1, k), qoral[k]) << "model type " << k;
  EXPECT_TRUE(SolverCapable(t, 2, 4));
  EXPECT_FALSE(SolverCapable(t, 2, 2));
  EXPECT_FALSE(SolverCapable(t, 0, 4));
  EXPECT_FALSE(SolverCapable(t, 3, 4));
  EXPECT_FALSE(SolverCapable(t, 1, 16));
}

TEST(ControlFile, Version39TakesTheDefaultsOfLaterFields) {
  const std::string path = Fixture("ctrl_v39.txt");
  const ControlFile c = MustLoad(path);
  EXPECT_EQ(c.CtrlVersion, 39);
  EXPECT_EQ(c.EquTypeCount[4], 0);
  EXPECT_EQ(c.EquTypeCount[5], 0);
  EXPECT_EQ(c.EquTypeCount[6], 0);
  EXPECT_EQ(c.VarTypeCount, (std::array<int, 7>{2, 2, 2, 0, 0, 0, 0}));
  EXPECT_EQ(c.ThreadsRaw, 1);
  EXPECT_EQ(c.MarginalMode, -1);
  EXPECT_EQ(c.NameCtrFile, path);
  EXPECT_EQ(c.NameScrExt, "scr");
  EXPECT_EQ(c.NameScenFile, "scenario_dict.lvx");
  EXPECT_EQ(c.NameExtFFile, "");
  EXPECT_EQ(c.ObjCond2, 0);
  EXPECT_EQ(c.ScaledSolution, 2);
  EXPECT_EQ(c.ExtDllName, "xdll");
  EXPECT_EQ(c.LogOption, 3);
  EXPECT_EQ(c.NameSysDir, "sys/");
  ASSERT_EQ(c.Solvers.solvers.size(), 1u);
  EXPECT_TRUE(SolverCapable(c.Solvers, 1, 2));
  EXPECT_FALSE(SolverCapable(c.Solvers, 1, 3));  // only two model types in this table
}

// Version 49: one skipped line after the two that follow the solver table, no lines of an
// integer and a string, and the fields of versions 40 to 48.
TEST(ControlFile, Version49HasItsOwnLinesAfterTheSolverTable) {
  const ControlFile c = MustLoad(Fixture("ctrl_v49.txt"));
  EXPECT_EQ(c.EquTypeCount[5], 7);
  EXPECT_EQ(c.EquTypeCount[6], 6);
  EXPECT_EQ(c.ThreadsRaw, 3);
  EXPECT_EQ(c.MarginalMode, -1);
  EXPECT_EQ(c.LogOption, 2);
  EXPECT_EQ(c.ObjCond2, 5);
  EXPECT_EQ(c.ObjCond3, 6);
  EXPECT_EQ(c.NumExtNonzeros, 9);
  EXPECT_EQ(c.NameScrExt, "e49");
  EXPECT_EQ(c.NameScenFile, "sc49.lvx");
  EXPECT_EQ(c.NameExtFFile, "ef49.dat");
}

// The modeling-system stand-in writes every version; the link reads each back field for field.
class ControlFileVersions : public ::testing::TestWithParam<int> {};

TEST_P(ControlFileVersions, RoundTripThroughTheStandIn) {
  const int v = GetParam();
  ScratchDir dir("ctrl-v" + std::to_string(v));
  luvo::ControlSpec spec = luvo::DefaultControl(dir.path(), "/sys/");
  spec.version = v;
  spec.model_type = 13;
  spec.num_rows = 7;
  spec.equ_type_count = {1, 2, 3, 4, 5, 6, 7};
  spec.num_cols = 9;
  spec.threads = 6;
  spec.marginal_mode = 1;
  spec.obj_var = 9;
  spec.obj_row = 7;
  spec.obj_style = 1;
  spec.obj_cond2 = 4;
  spec.num_ext_nonzeros = 11;
  spec.scr_ext = "xyz";
  spec.scen_file = "sc.lvx";
  spec.log_option = 2;
  const std::string path = dir.File("ctrl.scr");
  std::string error;
  ASSERT_TRUE(luvo::WriteControlFile(path, spec, &error)) << error;
  const ControlFile c = MustLoad(path);
  EXPECT_EQ(c.CtrlVersion, v);
  EXPECT_EQ(c.ModelType, 13);
  EXPECT_EQ(c.NumRows, 7);
  EXPECT_EQ(c.EquTypeCount[4], 5);
  EXPECT_EQ(c.EquTypeCount[5], v >= 40 ? 6 : 0);
  EXPECT_EQ(c.EquTypeCount[6], v >= 46 ? 7 : 0);
  EXPECT_EQ(c.NumCols, 9);
  EXPECT_EQ(c.ThreadsRaw, v >= 43 ? 6 : 1);
  EXPECT_EQ(c.MarginalMode, v >= 53 ? 1 : -1);
  EXPECT_EQ(c.ObjVar, 9);
  EXPECT_EQ(c.ObjRow, 7);
  EXPECT_EQ(c.ObjStyle, 1);
  EXPECT_EQ(c.ObjCond2, 4);
  EXPECT_EQ(c.NumExtNonzeros, 11);
  EXPECT_EQ(c.LogOption, 2);
  EXPECT_EQ(c.NameStaFile, dir.File("lstatus.scr"));
  EXPECT_EQ(c.NameScrDir, dir.path());
  EXPECT_EQ(c.NameSysDir, "/sys/");
  EXPECT_EQ(c.NameScrExt, v >= 42 ? "xyz" : "scr");
  EXPECT_EQ(c.NameScenFile, v >= 44 ? "sc.lvx" : "scenario_dict.lvx");
  EXPECT_EQ(c.NameExtFFile, v >= 45 ? dir.File("lextfunc.scr") : "");
  EXPECT_EQ(c.NameCtrFile, path);
  EXPECT_EQ(c.Solvers.solvers.size(), 3u);
  EXPECT_EQ(SolverIndex(c.Solvers, "bonmin"), 3);
  EXPECT_TRUE(c.Solvers.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(AllVersions, ControlFileVersions, ::testing::Range(39, 54));

TEST(ControlFile, MissingFileGivesTheSystemsText) {
  ControlFile c;
  std::string message;
  EXPECT_FALSE(LoadControlFile("/nonexistent/ctrl.scr", &c, &message));
  EXPECT_EQ(message, "No such file or directory");
}

// Every cut of a valid file that loses a field fails with a reading error; none crashes.
TEST(ControlFile, EveryTruncationFailsCleanly) {
  const std::string text = test::ReadFile(Fixture("ctrl_v53.txt"));
  ScratchDir dir("ctrl-trunc");
  for (std::size_t n = 0; n + 1 < text.size(); ++n) {
    const std::string error = LoadError(dir, text.substr(0, n));
    // Dropping only the final line feed keeps every field.
    ASSERT_FALSE(error.empty()) << "prefix of " << n << " characters loaded";
    // A number cut in the middle ("1e-06" to "1e") is malformed rather than missing.
    ASSERT_TRUE(error.find("Read beyond end of file") != std::string::npos ||
                error.find("Invalid numeric input") != std::string::npos)
        << error;
  }
  EXPECT_EQ(LoadError(dir, text.substr(0, text.size() - 1)), "");
}

struct BadFieldCase {
  const char* description;
  const char* from;  // text replaced in the version-53 fixture
  const char* to;
  const char* message;  // expected part of the reading error
};

class ControlFileBadField : public ::testing::TestWithParam<BadFieldCase> {};

TEST_P(ControlFileBadField, FailsWithAReadingError) {
  const BadFieldCase& bad = GetParam();
  std::string text = test::ReadFile(Fixture("ctrl_v53.txt"));
  const auto at = text.find(bad.from);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, std::string(bad.from).size(), bad.to);
  ScratchDir dir("ctrl-bad");
  const std::string error = LoadError(dir, text);
  EXPECT_NE(error.find(bad.message), std::string::npos) << bad.description << ": " << error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ControlFileBadField,
    ::testing::Values(
        BadFieldCase{"word for the version", "53\n11", "fiftythree\n11", "Invalid numeric input \"fiftythree\" for the format version in line 1"},
        BadFieldCase{"real for an integer", "20 9 9", "20.5 9 9", "Invalid numeric input \"20.5\" for the number of columns in line 4"},
        BadFieldCase{"integer overflow", "55 12", "99999999999 12", "Invalid numeric input \"99999999999\" for the number of nonzeros"},
        BadFieldCase{"not a real", "1000 2000000 1", "1000 1e2x 1", "Invalid numeric input \"1e2x\" for line 10"},
        BadFieldCase{"infinite real", "1000 2000000 1", "inf 2000000 1", "Invalid numeric input \"inf\""},
        BadFieldCase{"real out of range", "1000 2000000 1", "1e999 2000000 1", "Invalid numeric input \"1e999\""},
        BadFieldCase{"negative solver count", "15 2 77", "15 -2 77", "Invalid solver table size"},
        // A huge solver count is no reason to allocate: the file simply ends.
        BadFieldCase{"absurd solver count", "15 2 77", "15 2000000000 77", "Invalid numeric input \"skip2\" for a solver flag"},
        BadFieldCase{"absurd model type count", "15 2 77", "2000000000 2 77", "Invalid numeric input \"extra\" for a default solver number"},
        BadFieldCase{"non-number flag in the solver table", "QORAL 0 0 0 1 1", "QORAL 0 0 0 1 x", "Invalid numeric input \"x\" for a solver capability flag"}),
    [](const auto& param_info) {
      std::string name = param_info.param.description;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

TEST(ControlFile, LongLinesAreCutAndWindowsLineEndsAccepted) {
  std::string text = test::ReadFile(Fixture("ctrl_v53.txt"));
  const std::string long_name = "/s/" + std::string(100000, 'a');
  text.replace(text.find("/s/lsolu.scr"), 12, long_name);
  std::string crlf;
  for (char ch : text) {
    if (ch == '\n') crlf += '\r';
    crlf += ch;
  }
  ScratchDir dir("ctrl-long");
  ControlFile c;
  ASSERT_EQ(LoadError(dir, crlf, &c), "");
  EXPECT_EQ(c.NameSolFile, long_name.substr(0, 255));
  EXPECT_EQ(c.NameLogFile, "/s/qoral.log");
  EXPECT_EQ(c.NameScrExt, "dat");
}

TEST(SolverTable, InconsistenciesAreCollectedWithoutStoppingTheLoad) {
  std::string text = test::ReadFile(Fixture("ctrl_v53.txt"));
  text.replace(text.find("MIP 1 1\n"), 8, "MIPX 3 1\n");
  text.replace(text.find("NLP 1 2\n"), 8, "nlp 1 9\n");
  ScratchDir dir("ctrl-table");
  ControlFile c;
  ASSERT_EQ(LoadError(dir, text, &c), "");
  EXPECT_EQ(c.Solvers.messages,
            (std::vector<std::string>{"SolveReadControl: system procnames MIP <> MIPX",
                                      "SolveReadControl: incorrect algdefault",
                                      "SolveReadControl: incorrect algchosen"}));
  EXPECT_EQ(c.Solvers.default_solver[2], 0);  // left unset
  EXPECT_EQ(c.Solvers.chosen_solver[2], 1);
  EXPECT_EQ(c.Solvers.default_solver[4], 1);  // names compare without regard to case
  EXPECT_EQ(c.Solvers.chosen_solver[4], 0);
  EXPECT_EQ(c.NameScrExt, "dat");
}

// A table that describes a 16th model type keeps 15, and the fields after it stay in place.
TEST(SolverTable, SixteenModelTypesAreReadAsFifteen) {
  ScratchDir dir("ctrl-t16");
  luvo::ControlSpec spec = luvo::DefaultControl(dir.path(), "/sys/");
  spec.table_model_types = 16;
  for (int k = 1; k <= 15; ++k) spec.model_type_lines.push_back({std::string(ModelTypeName(k)), 1, 1});
  spec.model_type_lines.push_back({"NEWTYPE", 2, 2});
  spec.solvers[0].model_types.push_back(16);
  spec.scr_ext = "after";
  std::string error;
  ASSERT_TRUE(luvo::WriteControlFile(dir.File("c.scr"), spec, &error)) << error;
  const ControlFile c = MustLoad(dir.File("c.scr"));
  EXPECT_TRUE(c.Solvers.messages.empty());
  EXPECT_EQ(c.Solvers.solvers.size(), 3u);
  EXPECT_EQ(c.Solvers.chosen_solver[15], 1);
  EXPECT_EQ(c.NameScrExt, "after");
}

TEST(ExternalFunctionFile, AnExistingFileGoesToTheLoader) {
  ScratchDir dir("ctrl-ext");
  luvo::ControlSpec spec = luvo::DefaultControl(dir.path(), "/sys/");
  spec.ext_lib_dir = "/usr/ext";
  spec.ext_lib_file = "libfuncs.so";
  spec.luvo_version = 251;
  test::WriteFile(spec.ext_func_file, "functions");
  std::string error;
  ASSERT_TRUE(luvo::WriteControlFile(dir.File("c.scr"), spec, &error));

  // Without a loader an existing file cannot be read, and that is an error, not a silent skip.
  ControlFile c;
  std::string message;
  EXPECT_FALSE(LoadControlFile(dir.File("c.scr"), &c, &message));
  EXPECT_EQ(message.rfind("Could not read External Function File '" + spec.ext_func_file + "'", 0), 0u) << message;

  int seen_version = 0;
  std::string seen_library, seen_file;
  SetExternalFunctionFileLoader([&](int version, const std::string& library, const std::string& file,
                                    const std::function<void(const std::string&)>&, std::string*) {
    seen_version = version;
    seen_library = library;
    seen_file = file;
    return true;
  });
  EXPECT_TRUE(LoadControlFile(dir.File("c.scr"), &c, &message)) << message;
  EXPECT_EQ(seen_version, 251);
  EXPECT_EQ(seen_library, "/usr/ext/libfuncs.so");
  EXPECT_EQ(seen_file, spec.ext_func_file);

  // The second read, for the solver table only, does not load the functions again.
  seen_version = 0;
  SolverTable table;
  EXPECT_TRUE(SolveReadControl(dir.File("c.scr"), &table, &message));
  EXPECT_EQ(seen_version, 0);
  EXPECT_EQ(table.solvers.size(), 3u);

  SetExternalFunctionFileLoader([](int, const std::string&, const std::string&,
                                   const std::function<void(const std::string&)>&, std::string* e) {
    *e = "bad header";
    return false;
  });
  EXPECT_FALSE(LoadControlFile(dir.File("c.scr"), &c, &message));
  EXPECT_EQ(message, "Could not read External Function File '" + spec.ext_func_file + "': bad header");
  SetExternalFunctionFileLoader(nullptr);
}

}  // namespace
}  // namespace qlink
