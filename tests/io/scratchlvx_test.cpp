// Tests of the LVX variant of the scratch files: TScratchLvx's reading and writing state
// machines and messages, the solution file it writes (read back with the LVX library and with
// the modeling system's reader), and how the scratch layer reports LVX failures.
#include "io/scratchlvx.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "io/gdutils.h"
#include "io/solwriter.h"
#include "link/lvostate.h"
#include "outside/luvo/solreader.h"
#include "outside/lvx/lvxfile.h"
#include "runtime/lvocommon.h"
#include "runtime/lvxdcdef.h"
#include "tests/io/solution_fixture.h"
#include "tests/testutil/testutil.h"

namespace qlink {
namespace {

using test::ReadFile;
using test::SolutionTest;

struct Rec {
  std::vector<int> keys;
  double value = 0;
  bool operator==(const Rec& o) const { return keys == o.keys && value == o.value; }
};

std::ostream& operator<<(std::ostream& os, const Rec& r) {
  os << "(";
  for (std::size_t k = 0; k < r.keys.size(); ++k) os << (k ? "," : "") << r.keys[k];
  return os << ")=" << r.value;
}

struct Symbol {
  std::string name;
  int dim = 0;
  std::vector<Rec> records;
};

// Writes an LVX file with the labels "1" ... "40" and the given parameters.
void WriteLvx(const std::string& path, const std::vector<Symbol>& symbols) {
  lvxlib::LvxFile f;
  int err = 0;
  ASSERT_TRUE(f.OpenWrite(path.c_str(), "test", false, &err)) << err;
  ASSERT_TRUE(f.LabelRegisterRawStart());
  for (int i = 1; i <= 40; ++i) ASSERT_TRUE(f.LabelRegisterRaw(std::to_string(i).c_str()));
  ASSERT_TRUE(f.LabelRegisterDone());
  for (const Symbol& s : symbols) {
    ASSERT_TRUE(f.DataWriteRawStart(s.name.c_str(), "", s.dim, 1, 0));
    for (const Rec& r : s.records) {
      int keys[lvxlib::kMaxDim] = {};
      for (std::size_t k = 0; k < r.keys.size(); ++k) keys[k] = r.keys[k];
      const double v[lvxlib::kValueCount] = {r.value, 0, 0, 0, 0};
      ASSERT_TRUE(f.DataWriteRaw(keys, v)) << f.ErrorText(f.LastError());
    }
    ASSERT_TRUE(f.DataWriteDone());
  }
  ASSERT_EQ(f.Close(), 0);
}

// A symbol of an LVX file as the library reads it (special values as stored).
struct ReadSymbol {
  bool found = false;
  int dim = 0;
  std::string text;
  std::vector<Rec> records;
};

ReadSymbol ReadLvxSymbol(const std::string& path, const char* name) {
  lvxlib::LvxFile f;
  int err = 0;
  ReadSymbol out;
  EXPECT_TRUE(f.OpenRead(path.c_str(), &err)) << f.ErrorText(err);
  int sym = 0, kind = 0, count = 0, user = 0, first = 0;
  if (!f.FindSymbol(name, &sym)) return out;
  out.found = true;
  std::string sym_name;
  EXPECT_TRUE(f.SymbolInfo(sym, &sym_name, &out.dim, &kind));
  EXPECT_TRUE(f.SymbolInfoX(sym, &count, &user, &out.text));
  EXPECT_TRUE(f.DataReadRawStart(sym, &count));
  int keys[lvxlib::kMaxDim];
  double v[lvxlib::kValueCount];
  while (f.DataReadRaw(keys, v, &first)) out.records.push_back({std::vector<int>(keys, keys + out.dim), v[0]});
  EXPECT_EQ(f.ErrorCount(), 0) << f.ErrorText(f.LastError());
  EXPECT_EQ(static_cast<std::size_t>(count), out.records.size());
  f.DataReadDone();
  f.Close();
  return out;
}

// A model file: rows 1 (type EPS, that is 0) and 2 (type 1); column 1 with one Jacobian entry
// in row 1, column 2 without; two instructions; a pool of one entry.
std::vector<Symbol> ModelSymbols() {
  return {
      {"equation", 2, {{{1, 1}, kEps}, {{2, 1}, 1}, {{2, 2}, 4.5}}},
      {"variable", 2, {{{1, 1}, kEps}, {{1, 9}, 1}, {{1, 33}, 2.5}, {{2, 1}, 2}, {{2, 4}, 9}}},
      {"solve", 4, {{{1, 1, 18, 1}, 0}, {{2, 1, 3, 2}, 0}}},
      {"scalar", 1, {{{1}, 3.5}}},
  };
}

class LvxTest : public SolutionTest {
 protected:
  void SetUp() override {
    SolutionTest::SetUp();
    model_ = File("model.lvx");
    WriteLvx(model_, ModelSymbols());
  }
  std::string model_;
};

// ---------------------------------------------------------------------------------------------
// Reading.

TEST_F(LvxTest, ReadsAWholeModel) {
  TScratchLvx x;
  ASSERT_EQ(x.CreateForReading(model_), 0) << x.message();
  ScratchRow r;
  ASSERT_EQ(x.ReadRow(&r), 0) << x.message();
  EXPECT_EQ(r.type, 0);
  ASSERT_EQ(x.ReadRow(&r), 0) << x.message();
  EXPECT_EQ(r.type, 1);
  EXPECT_EQ(r.rhs, 4.5);
  ScratchColumn c;
  ASSERT_EQ(x.ReadColumn(&c), 0) << x.message();
  EXPECT_EQ(c.type, 0);
  EXPECT_EQ(c.count, 1);
  EXPECT_EQ(c.upper, kPlusInf);
  std::int32_t row = 0;
  double value = 0;
  bool nl = true;
  ASSERT_EQ(x.ReadJac(&row, &value, &nl), 0) << x.message();
  EXPECT_EQ(row, 1);
  EXPECT_EQ(value, 2.5);
  EXPECT_FALSE(nl);
  ASSERT_EQ(x.ReadColumn(&c), 0) << x.message();
  EXPECT_EQ(c.type, 2);
  EXPECT_EQ(c.upper, 9);
  std::uint8_t op = 0;
  std::int32_t operand = -1;
  ASSERT_EQ(x.ReadNLInstr(&op, &operand), 0) << x.message();
  EXPECT_EQ(op, 18);
  EXPECT_EQ(operand, 0);
  ASSERT_EQ(x.ReadNLInstr(&op, &operand), 0) << x.message();
  EXPECT_EQ(op, 3);
  EXPECT_EQ(operand, 1);
  std::int32_t count = 0;
  ASSERT_EQ(x.PoolCount(&count), 0) << x.message();
  EXPECT_EQ(count, 1);
  ASSERT_EQ(x.ReadConstPool(&value), 0) << x.message();
  EXPECT_EQ(value, 3.5);
  EXPECT_EQ(x.ReadDone(), 0) << x.message();
  EXPECT_EQ(x.message(), "");
}

TEST_F(LvxTest, JacobianEntriesWithThreeKeys) {
  // The third key minus 1 is the nonlinear flag.
  WriteLvx(File("nl.lvx"), {{"equation", 2, {{{1, 1}, 2}, {{2, 1}, 1}}},
                            {"variable", 3, {{{1, 1, 1}, 1}, {{1, 9, 1}, 2}, {{1, 33, 2}, 4}, {{1, 34, 1}, -1}}}});
  TScratchLvx x;
  ASSERT_EQ(x.CreateForReading(File("nl.lvx")), 0) << x.message();
  ScratchRow r;
  ASSERT_EQ(x.ReadRow(&r), 0) << x.message();
  ASSERT_EQ(x.ReadRow(&r), 0) << x.message();
  ScratchColumn c;
  ASSERT_EQ(x.ReadColumn(&c), 0) << x.message();
  EXPECT_EQ(c.type, 1);
  EXPECT_EQ(c.upper, 1);  // a binary column without an upper bound record
  EXPECT_EQ(c.count, 2);
  std::int32_t row = 0;
  double value = 0;
  bool nl = false;
  ASSERT_EQ(x.ReadJac(&row, &value, &nl), 0) << x.message();
  EXPECT_EQ(row, 1);
  EXPECT_EQ(value, 4);
  EXPECT_TRUE(nl);
  ASSERT_EQ(x.ReadJac(&row, &value, &nl), 0) << x.message();
  EXPECT_EQ(row, 2);
  EXPECT_EQ(value, -1);
  EXPECT_FALSE(nl);
  EXPECT_EQ(x.ReadDone(), 0) << x.message();
}

enum class Op { kRow, kCol, kJac, kInstr, kPoolCount, kPool, kDone, kWRow, kWCol, kWDone };

int Do(TScratchLvx& x, Op op) {
  ScratchRow r;
  ScratchColumn c;
  std::int32_t i = 0;
  double v = 0;
  bool b = false;
  std::uint8_t o = 0;
  switch (op) {
    case Op::kRow: return x.ReadRow(&r);
    case Op::kCol: return x.ReadColumn(&c);
    case Op::kJac: return x.ReadJac(&i, &v, &b);
    case Op::kInstr: return x.ReadNLInstr(&o, &i);
    case Op::kPoolCount: return x.PoolCount(&i);
    case Op::kPool: return x.ReadConstPool(&v);
    case Op::kDone: return x.ReadDone();
    case Op::kWRow: return x.WriteRowSol(0, 3, 1, 2, 1);
    case Op::kWCol: return x.WriteColumnSol(0, 3, 1, 2, 1);
    case Op::kWDone: return x.WriteDone();
  }
  return -1;
}

struct StateCase {
  const char* name;
  bool writing;          // opened with CreateForWriting, else CreateForReading of the model
  std::vector<Op> ops;   // all but the last succeed; the last fails with `message`
  const char* message;   // "" when every operation succeeds
};

using enum Op;

const StateCase kStateCases[] = {
    // Reading in order.
    {"rows columns instructions pool", false, {kRow, kRow, kCol, kJac, kCol, kInstr, kInstr, kPoolCount, kPool, kDone}, ""},
    {"done at once", false, {kDone}, ""},
    {"instructions and pool only", false, {kInstr, kInstr, kPoolCount, kPool, kDone}, ""},
    {"columns without rows", false, {kCol, kJac, kCol, kDone}, ""},
    // Reading out of order.
    {"jacobian first", false, {kJac}, "ReadJac: Calling out of context"},
    {"jacobian beyond the count", false, {kRow, kRow, kCol, kJac, kJac}, "ReadJac: Calling out of context"},
    {"jacobian of a column without entries", false, {kRow, kRow, kCol, kJac, kCol, kJac}, "ReadJac: Calling out of context"},
    {"pool count first", false, {kPoolCount}, "ReadConstPool: Calling out of context"},
    {"pool first", false, {kPool}, "ReadConstPool: Calling out of context"},
    {"pool before its count", false, {kInstr, kInstr, kPool}, "ReadConstPool: Calling out of context"},
    {"pool after rows", false, {kRow, kPoolCount}, "ReadConstPool: Calling out of context"},
    {"instructions after rows", false, {kRow, kInstr}, "ReadNLInstr: Calling out of context"},
    {"instructions with entries pending", false, {kRow, kRow, kCol, kInstr}, "ReadNLInstr: Calling out of context"},
    {"instructions after the pool", false, {kInstr, kInstr, kPoolCount, kInstr}, "ReadNLInstr: Calling out of context"},
    {"row after columns", false, {kRow, kRow, kCol, kRow}, "ReadRow: Calling out of context"},
    {"row after instructions", false, {kInstr, kRow}, "ReadRow: Calling out of context"},
    {"row after done", false, {kDone, kRow}, "ReadRow: Calling out of context"},
    {"column after instructions", false, {kInstr, kCol}, "ReadColumn: Calling out of context"},
    {"column with entries pending", false, {kRow, kRow, kCol, kCol}, "ReadColumn: Calling out of context"},
    {"done after rows", false, {kRow, kDone}, "ReadDone: Calling out of context"},
    {"done with entries pending", false, {kRow, kRow, kCol, kDone}, "ReadDone: Calling out of context"},
    {"done after instructions", false, {kInstr, kInstr, kDone}, "ReadDone: Calling out of context"},
    {"done twice", false, {kDone, kDone}, "ReadDone: Calling out of context"},
    {"writing a reader's rows", false, {kWRow}, "WriteRowSol: Calling out of context"},
    {"writing a reader's columns", false, {kRow, kWCol}, "WriteColumnSol: Calling out of context"},
    {"finishing a reader as a writer", false, {kWDone}, "WriteDone: Calling out of context"},
    // Writing in order.
    {"rows then columns", true, {kWRow, kWRow, kWCol, kWCol, kWCol, kWDone}, ""},
    {"columns only", true, {kWCol, kWDone}, ""},
    {"rows only", true, {kWRow, kWDone}, ""},
    {"header only", true, {kWDone}, ""},
    // Writing out of order.
    {"row after columns", true, {kWRow, kWCol, kWRow}, "WriteRowSol: Calling out of context"},
    {"row after done", true, {kWDone, kWRow}, "WriteRowSol: Calling out of context"},
    {"column after done", true, {kWRow, kWDone, kWCol}, "WriteColumnSol: Calling out of context"},
    {"done twice", true, {kWCol, kWDone, kWDone}, "WriteDone: Calling out of context"},
    {"reading a writer's rows", true, {kRow}, "ReadRow: Calling out of context"},
    {"reading a writer's columns", true, {kWRow, kCol}, "ReadColumn: Calling out of context"},
    {"reading a writer's instructions", true, {kInstr}, "ReadNLInstr: Calling out of context"},
    {"reading a writer's pool", true, {kPoolCount}, "ReadConstPool: Calling out of context"},
    {"finishing a writer as a reader", true, {kWRow, kDone}, "ReadDone: Calling out of context"},
};

TEST_F(LvxTest, StateMachines) {
  const Op all[] = {kRow, kCol, kJac, kInstr, kPoolCount, kPool, kDone, kWRow, kWCol, kWDone};
  for (const StateCase& c : kStateCases) {
    SCOPED_TRACE(std::string(c.writing ? "writing: " : "reading: ") + c.name);
    TScratchLvx x;
    ASSERT_EQ(c.writing ? x.CreateForWriting(File("out.lvx"), 10) : x.CreateForReading(model_), 0) << x.message();
    const bool fails = c.message[0] != '\0';
    for (std::size_t k = 0; k < c.ops.size(); ++k) {
      const bool last = k + 1 == c.ops.size();
      ASSERT_EQ(Do(x, c.ops[k]), last && fails ? 1 : 0) << "operation " << k + 1 << ": " << x.message();
    }
    EXPECT_EQ(x.message(), c.message);
    if (!fails) continue;
    // The message stays; every later operation fails at once.
    for (Op op : all) {
      EXPECT_EQ(Do(x, op), 1);
      EXPECT_EQ(x.message(), c.message);
    }
    EXPECT_EQ(x.CreateForReading(model_), 1);
    EXPECT_EQ(x.WriteHeader(1, 1), 1);
    EXPECT_EQ(x.message(), c.message);
  }
}

// Bad data in a model file.
struct BadDataCase {
  const char* name;
  Symbol symbol;  // replaces the model's symbol of the same name
  std::vector<Op> ops;
  const char* message;
};

TEST_F(LvxTest, BadData) {
  const BadDataCase cases[] = {
      {"rows start late", {"equation", 2, {{{2, 1}, 1}}}, {kRow}, "Row data does not start with row 1 but 2"},
      {"columns start late", {"variable", 2, {{{3, 1}, 1}}}, {kRow, kRow, kCol},
       "Column data does not start with column 1 but 3"},
      {"unknown row attribute", {"equation", 2, {{{1, 1}, 1}, {{1, 8}, 1}}}, {kRow},
       "ReadRowUnknown LVX row record 8"},
      {"unknown column attribute", {"variable", 2, {{{1, 1}, 1}, {{1, 11}, 1}}}, {kCol},
       "ReadColumnUnknown LVX column record 11"},
  };
  for (const BadDataCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Symbol> symbols = ModelSymbols();
    for (Symbol& s : symbols)
      if (s.name == c.symbol.name) s = c.symbol;
    WriteLvx(File("bad.lvx"), symbols);
    TScratchLvx x;
    ASSERT_EQ(x.CreateForReading(File("bad.lvx")), 0) << x.message();
    for (std::size_t k = 0; k < c.ops.size(); ++k)
      ASSERT_EQ(Do(x, c.ops[k]), k + 1 == c.ops.size() ? 1 : 0) << x.message();
    EXPECT_EQ(x.message(), c.message);
  }
}

TEST_F(LvxTest, CannotOpenTheFile) {
  TScratchLvx r;
  EXPECT_EQ(r.CreateForReading(File("none.lvx")), 1);
  EXPECT_EQ(r.message(), "Cannot open LVX file " + File("none.lvx"));
  EXPECT_EQ(r.ReadDone(), 1);
  EXPECT_EQ(r.message(), "Cannot open LVX file " + File("none.lvx"));
  TScratchLvx w;
  EXPECT_EQ(w.CreateForWriting(File("missing/sol.lvx"), 3), 1);
  EXPECT_EQ(w.message(), "Cannot open LVX file " + File("missing/sol.lvx"));
  EXPECT_EQ(w.WriteDone(), 1);
}

TEST_F(LvxTest, LibraryErrorsNameTheOperation) {
  // Keys are the labels registered at creation (here 22, for the header slots): row 23 has none.
  TScratchLvx x;
  ASSERT_EQ(x.CreateForWriting(File("sol.lvx"), 0), 0) << x.message();
  for (int i = 1; i <= 22; ++i) ASSERT_EQ(x.WriteRowSol(0, 3, 0, 0, 1), 0) << x.message();
  EXPECT_EQ(x.WriteRowSol(0, 3, 0, 0, 1), 1);
  EXPECT_EQ(x.message().rfind("WriteRowSol: ", 0), 0u) << x.message();
  EXPECT_NE(x.message().find("23"), std::string::npos) << x.message();
}

TEST_F(LvxTest, LibraryThatCannotBeLoaded) {
  test::ScratchDir empty("lvx-empty-" + test::CurrentTestName());
  ASSERT_EQ(lvx_library_unload(), 1);
  LvxBinding().SetLoadDirectory(empty.path());
  TScratchLvx x;
  EXPECT_EQ(x.CreateForWriting(File("sol.lvx"), 3), 1);
  EXPECT_EQ(x.message().rfind("Could not create LVX object, Msg: ", 0), 0u) << x.message();
  EXPECT_GT(x.message().size(), std::string("Could not create LVX object, Msg: ").size());
  ::testing::internal::CaptureStdout();
  std::unique_ptr<TScratchFile> f;
  EXPECT_EQ(TScratchFile::OpenMod(model_, 5, false, false, false, &f), 5);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("*** OpenMod for " + model_ + " failed: Could not create LVX object, Msg: ", 0), 0u) << out;
  EXPECT_EQ(f, nullptr);
  LvxBinding().SetLoadDirectory(std::string(QLINK_SYSDIR) + "/");
}

// ---------------------------------------------------------------------------------------------
// The scratch layer's LVX failures.

TEST_F(LvxTest, OpenModFailureOnStandardOutput) {
  for (bool writing : {false, true}) {
    const std::string name = writing ? File("missing/sol.lvx") : File("none.lvx");
    std::unique_ptr<TScratchFile> f;
    ::testing::internal::CaptureStdout();
    const int rc = TScratchFile::OpenMod(name, 3015, true, true, writing, &f, false, 4);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "*** OpenMod for " + name + " failed: Cannot open LVX file " + name + "\n");
    EXPECT_EQ(rc, kOpenModLvxFailed);
    EXPECT_EQ(rc, 5);
    EXPECT_EQ(f, nullptr);
  }
}

TEST_F(LvxTest, InstructionFileCannotBeWritten) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string name = File("instr.lvx");
  EXPECT_EXIT(
      {
        ::dup2(2, 1);  // the message goes to standard output
        std::unique_ptr<TScratchFile> f;
        TScratchFile::OpenMod(name, 5, false, false, true, &f, true);
      },
      [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; },
      "\\*\\*\\* Cannot write LVX instruction scratch file with filetype 5");
  EXPECT_FALSE(test::Exists(name));
}

TEST_F(LvxTest, CloseModReportsTheHeldMessage) {
  std::unique_ptr<TScratchFile> f;
  ASSERT_EQ(TScratchFile::OpenMod(File("sol.lvx"), 5, false, false, true, &f, false, 2), 0);
  f->WriteHeaderValue(1, 1);
  f->WriteHeaderValue(0, 0);
  f->WriteHeaderValue(13, 1);  // slot 23
  ::testing::internal::CaptureStdout();
  EXPECT_NE(f->CloseMod(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "*** Problems in CloseMod: HT Record number 23 out of 1..22\n");
}

TEST_F(LvxTest, CloseModAfterACompleteReadIsQuiet) {
  std::unique_ptr<TScratchFile> f;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(TScratchFile::OpenMod(model_, 5, false, false, false, &f), 0);
  ScratchRow r;
  ScratchColumn c;
  std::int32_t row = 0;
  double v = 0;
  bool nl = false;
  EXPECT_TRUE(f->ReadMatrixHeader());
  EXPECT_TRUE(f->ReadRow(&r));
  EXPECT_TRUE(f->ReadRow(&r));
  EXPECT_TRUE(f->ReadColumn(&c));
  EXPECT_TRUE(f->ReadJac(&row, &v, &nl));
  EXPECT_TRUE(f->ReadColumn(&c));
  EXPECT_TRUE(f->ReadDone()) << f->error();
  EXPECT_EQ(f->CloseMod(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST_F(LvxTest, CloseModWithoutReadDoneFinishesTheRead) {
  std::unique_ptr<TScratchFile> f;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(TScratchFile::OpenMod(model_, 5, false, false, false, &f), 0);
  std::uint8_t op = 0;
  std::int32_t operand = 0;
  EXPECT_TRUE(f->ReadInstr(&op, &operand));
  EXPECT_TRUE(f->ReadInstr(&op, &operand));
  std::int32_t count = 0;
  EXPECT_TRUE(f->ReadPoolCount(&count));
  double v = 0;
  EXPECT_TRUE(f->ReadReal(&v));
  EXPECT_EQ(f->CloseMod(), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

// ---------------------------------------------------------------------------------------------
// Writing the solution.

// The slot of a header value: index k before the first marker, k + 10 after it.
struct SlotCase {
  bool after_marker;
  int index;
  int slot;  // 0: refused with the message
  const char* message;
};

TEST_F(LvxTest, HeaderSlots) {
  const SlotCase cases[] = {
      {false, 1, 1, ""},    {false, 9, 9, ""},   {false, 12, 12, ""}, {false, 22, 22, ""},
      {true, 1, 11, ""},    {true, 2, 12, ""},   {true, 12, 22, ""},
      {false, 23, 0, "HT Record number 23 out of 1..22"}, {false, -1, 0, "HT Record number -1 out of 1..22"},
      {true, 13, 0, "HT Record number 23 out of 1..22"},  {true, -10, 0, "HT Record number 0 out of 1..22"},
      {true, -11, 0, "HT Record number -1 out of 1..22"},
  };
  for (const SlotCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.index) + (c.after_marker ? " after the marker" : ""));
    TScratchLvx x;
    ASSERT_EQ(x.CreateForWriting(File("slots.lvx"), 0), 0) << x.message();
    if (c.after_marker) {
      ASSERT_EQ(x.WriteHeader(0, 0), 0);
    }
    EXPECT_EQ(x.WriteHeader(c.index, 7.5), c.slot == 0 ? 1 : 0);
    EXPECT_EQ(x.message(), c.message);
    if (c.slot == 0) continue;
    ASSERT_EQ(x.WriteDone(), 0) << x.message();
    // The defaults: slots 1 and 2 hold 13, slot 9 holds 0 (written as EPS), the rest NA.
    std::map<int, double> want = {{1, 13}, {2, 13}, {9, kEps}};
    want[c.slot] = 7.5;
    std::map<int, double> got;
    for (const Rec& r : ReadLvxSymbol(File("slots.lvx"), "option").records) got[r.keys.at(0)] = r.value;
    EXPECT_EQ(got, want);
  }
}

TEST_F(LvxTest, SolutionFileAsStored) {
  test::ScaledModel();
  Format(3005, 1, 1);
  write_solution();
  const std::string path = File("solution");
  const std::string raw = ReadFile(path);
  ASSERT_GT(raw.size(), 16u);
  EXPECT_EQ(raw[12] & 1, 1) << "record data compressed";
  {
    lvxlib::LvxFile f;
    int err = 0;
    ASSERT_TRUE(f.OpenRead(path.c_str(), &err)) << f.ErrorText(err);
    std::string version, producer;
    f.FileVersion(&version, &producer);
    EXPECT_EQ(producer, "ScratchLvx");
    int symbols = 0, labels = 0;
    f.SystemInfo(&symbols, &labels);
    EXPECT_EQ(symbols, 3);
    f.Close();
  }
  const ReadSymbol equ = ReadLvxSymbol(path, "equations");
  const ReadSymbol var = ReadLvxSymbol(path, "variables");
  const ReadSymbol opt = ReadLvxSymbol(path, "option");
  EXPECT_EQ(equ.text, "Equation Solution");
  EXPECT_EQ(var.text, "Variable Solution");
  EXPECT_EQ(opt.text, "HTRecord");
  EXPECT_EQ(equ.dim, 2);
  EXPECT_EQ(var.dim, 2);
  EXPECT_EQ(opt.dim, 1);
  // Attribute 1 (status, EPS for 0) always; 2 basis, 3 level, 4 marginal when nonzero; 5 scale
  // when not 1.
  EXPECT_EQ(equ.records, (std::vector<Rec>{{{1, 1}, kEps},
                                           {{1, 2}, 3},
                                           {{1, 5}, 0.5},
                                           {{2, 1}, kEps},
                                           {{2, 4}, kNa},
                                           {{3, 1}, 2},
                                           {{3, 2}, 2},
                                           {{3, 3}, -1.5},
                                           {{3, 4}, 2.5},
                                           {{3, 5}, 4}}));
  EXPECT_EQ(var.records, (std::vector<Rec>{{{1, 1}, 3},
                                           {{1, 2}, 3},
                                           {{1, 3}, 7},
                                           {{2, 1}, kEps},
                                           {{2, 2}, 2},
                                           {{2, 4}, -4},
                                           {{2, 5}, 8}}));
  // Header values 1-6 and 9 in slots 1-9 (0 as EPS), trailer values in slots 11-22; trailer
  // index 4 (slot 14) is never written, NA values are left out.
  EXPECT_EQ(opt.records, (std::vector<Rec>{{{1}, 1},
                                           {{2}, 16},
                                           {{3}, kEps},
                                           {{4}, 1.25},
                                           {{5}, kEps},
                                           {{6}, -3},
                                           {{9}, 1},
                                           {{11}, 17},
                                           {{12}, 6},
                                           {{22}, kEps}}));

  luvo::SolutionFile s;
  std::string error;
  ASSERT_TRUE(luvo::ReadSolutionFile(path, 3005, 3, 2, &s, &error)) << error;
  EXPECT_EQ(s.header, (std::map<int, double>{{1, 1}, {2, 16}, {3, 0}, {4, 1.25}, {5, 0}, {6, -3}, {9, 1}}));
  EXPECT_EQ(s.trailer, (std::map<int, double>{{1, 17}, {2, 6}, {12, 0}}));
  ASSERT_EQ(s.rows.size(), 3u);
  ASSERT_EQ(s.cols.size(), 2u);
  EXPECT_EQ(s.rows[0].bstat, 3);
  EXPECT_EQ(s.rows[0].scale, 0.5);
  EXPECT_EQ(s.rows[1].marginal, kNa);
  EXPECT_EQ(s.rows[2].level, -1.5);
  EXPECT_EQ(s.cols[1].scale, 8);
  EXPECT_EQ(s.lvx_option.size(), opt.records.size());
}

// The modeling system's reader refuses solution symbols of the wrong dimension.
TEST_F(LvxTest, ReaderRefusesSymbolsOfAnotherDimension) {
  const struct {
    Symbol symbol;
    const char* error;
  } cases[] = {
      {{"option", 0, {{{}, 1}}}, "symbol option has 0 keys, not 1"},
      {{"option", 2, {{{1, 1}, 1}}}, "symbol option has 2 keys, not 1"},
      {{"equations", 1, {{{1}, 1}}}, "symbol equations has 1 keys, not 2"},
      {{"variables", 3, {{{1, 1, 1}, 1}}}, "symbol variables has 3 keys, not 2"},
  };
  for (const auto& c : cases) {
    WriteLvx(File("hand.lvx"), {c.symbol});
    luvo::SolutionFile s;
    std::string error;
    EXPECT_FALSE(luvo::ReadSolutionFile(File("hand.lvx"), 5, 1, 1, &s, &error)) << c.symbol.name;
    EXPECT_EQ(error, c.error);
  }
}

TEST_F(LvxTest, RunThatStoppedEarly) {
  test::MakeInstance(3, 2);
  Format(5);
  write_solution();
  const std::string path = File("solution");
  EXPECT_FALSE(ReadLvxSymbol(path, "equations").found);
  EXPECT_FALSE(ReadLvxSymbol(path, "variables").found);
  EXPECT_EQ(ReadLvxSymbol(path, "option").records,
            (std::vector<Rec>{{{1}, 13}, {{2}, 13}, {{3}, kEps}, {{4}, kEps}, {{5}, kEps}, {{6}, kEps}, {{9}, 1}}));
  EXPECT_EQ(Log(), "");
}

TEST_F(LvxTest, EveryRowAndColumnHasAStatusRecord) {
  // Status 0, basis 0, level 0, marginal 0 in every record: only the attribute-1 records.
  SetStatus(1, 1);
  test::MakeInstance(3, 2);
  test::SetSolution({{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}, {{0, 0, 0, 0}, {0, 0, 0, 0}});
  Format(5);
  write_solution();
  EXPECT_EQ(ReadLvxSymbol(File("solution"), "equations").records,
            (std::vector<Rec>{{{1, 1}, kEps}, {{2, 1}, kEps}, {{3, 1}, kEps}}));
  EXPECT_EQ(ReadLvxSymbol(File("solution"), "variables").records,
            (std::vector<Rec>{{{1, 1}, kEps}, {{2, 1}, kEps}}));
}

}  // namespace
}  // namespace qlink
