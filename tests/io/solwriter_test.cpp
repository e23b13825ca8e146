// Tests of the solution writer: status texts, the solution file in the text and block-binary
// variants checked byte for byte, the marginals flag, scaled records, a solution file that
// cannot be opened, and the modeling system's reader of what the writer wrote.
#include "io/solwriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "io/gdutils.h"
#include "link/lvostate.h"
#include "outside/luvo/instwriter.h"
#include "outside/luvo/solreader.h"
#include "runtime/lvocommon.h"
#include "tests/io/solution_fixture.h"
#include "tests/testutil/testutil.h"

namespace qlink {
namespace {

using test::ReadFile;
using test::Sol;
using test::SolutionTest;
using test::WriteFile;

// ---------------------------------------------------------------------------------------------
// Status texts.

struct StatusCase {
  int code;
  const char* solve;
  const char* model;
  bool solution;
};

const StatusCase kStatusCases[] = {
    {-1, "", "", false},
    {0, "", "", false},
    {1, "1 Normal Completion", "1 Optimal", true},
    {2, "2 Iteration Interrupt", "2 Locally Optimal", true},
    {3, "3 Resource Interrupt", "3 Unbounded", true},
    {4, "4 Terminated By Solver", "4 Infeasible", true},
    {5, "5 Evaluation Interrupt", "5 Locally Infeasible", true},
    {6, "6 Capability Problems", "6 Intermediate Infeasible", true},
    {7, "", "7 Feasible Solution", true},
    {8, "8 User Interrupt", "8 Integer Solution", true},
    {9, "9 Setup Failure", "9 Intermediate Non-Integer", true},
    {10, "10 Solver Failure", "10 Integer Infeasible", false},
    {11, "11 Internal Solver Failure", "", false},
    {12, "12 Solve Processing Skipped", "12 Error Unknown", false},
    {13, "13 System Failure", "13 Error No Solution", false},
    {14, "", "14 No Solution Returned", false},
    {15, "", "15 Solved Unique", true},
    {16, "", "16 Solved", true},
    {17, "", "17 Solved Singular", true},
    {18, "", "18 Unbounded - No Solution", false},
    {19, "", "19 Infeasible - No Solution", false},
    {20, "", "", false},
    {255, "", "", false},
    {-2147483647 - 1, "", "", false},
};

TEST(StatusTextTest, BothTablesToTheCharacter) {
  for (const StatusCase& c : kStatusCases) {
    EXPECT_EQ(SolveStatusText(c.code), c.solve) << c.code;
    EXPECT_EQ(ModelStatusText(c.code), c.model) << c.code;
    EXPECT_EQ(ModelStatusHasSolution(c.code), c.solution) << c.code;
    // The texts live in 32-byte short strings.
    EXPECT_LT(SolveStatusText(c.code).size(), 32u);
    EXPECT_LT(ModelStatusText(c.code).size(), 32u);
  }
}

// ---------------------------------------------------------------------------------------------
// The text variant, whole files.

// A solved run on 2 rows and 3 columns: header values in several number forms, trailer values
// with NA among them and a value under index 4, which is never written.
void SolvedRun() {
  SetStatus(1, 2);
  RunState& run = qlink::Run();
  run.ResUsed = 0.25;
  run.ObjVal = 123.456;
  run.IterCount = 42;
  run.ObjEst = 1234567890123456789.0;
  SolutionValues& sv = SolutionResults();
  sv.header3 = 7;
  sv.header6 = 1e-5;
  sv.trailer[3] = -0.000123456789012345678;
  sv.trailer[4] = 99;
  sv.trailer[6] = 999999999999999.0;
  sv.trailer[7] = 0.00009999;
  sv.trailer[12] = 3;
  test::MakeInstance(2, 3, {{1, 1}, {2, 1}, {1, 2}, {2, 3}});
}

const char kSolvedHeader[] =
    "1 1\n2 2\n3 7\n4 0.25\n5 123.456\n6 1E-5\n9 1\n0 0\n";
const char kSolvedTrailer[] =
    "1 42\n3 -0.000123456789012346\n5 1.23456789012346E18\n6 999999999999999\n7 9.999E-5\n12 3\n0 0\n";

TEST_F(SolutionTest, TextRunThatStoppedEarly) {
  // Statuses 13 and 13 and the values of a fresh run; no objective variable, so flag 1. Units
  // digits above 5 are text too; digits 2, 3, 5 and 6 do not change what is written.
  for (int code : {0, 6, 9, 10, 110, 20000, 100010}) {
    test::MakeInstance(2, 2, {{1, 1}});
    Format(code);
    write_solution();
    EXPECT_EQ(ReadFile(File("solution")), "1 13\n2 13\n3 0\n4 0\n5 0\n6 0\n9 1\n0 0\n0 0\n") << code;
  }
  EXPECT_EQ(Log(), "");
}

TEST_F(SolutionTest, TextSolvedRunWithSolutionArrays) {
  SolvedRun();
  test::SetSolution({{0, 2, 1.5, 0}, {2, 3, -2, kNa}},
                    {{3, 3, 0, -1}, {0, 2, 1.0 / 3.0, 0}, {0, 3, 1e15, 5}});
  write_solution();
  EXPECT_EQ(ReadFile(File("solution")), std::string(kSolvedHeader) +
                                            "1.5 0 2 0\n"
                                            "-2 2E300 3 2\n"
                                            "0 -1 3 3\n"
                                            "0.333333333333333 0 2 0\n"
                                            "1E15 5 3 0\n" +
                                            kSolvedTrailer);
  EXPECT_EQ(Log(), "");
}

TEST_F(SolutionTest, TextSolvedRunWithoutSolutionArrays) {
  SolvedRun();
  // Rows: status 0, basis 3, level 0 and the row marginal; columns their level and marginal.
  test::SetInstanceValues({-4.5, kNa}, {1, 0, -7.25}, {0, 2, kPlusInf});
  write_solution();
  EXPECT_EQ(ReadFile(File("solution")), std::string(kSolvedHeader) +
                                            "0 -4.5 3 0\n"
                                            "0 2E300 3 0\n"
                                            "1 0 3 0\n"
                                            "0 2 3 0\n"
                                            "-7.25 3E300 3 0\n" +
                                            kSolvedTrailer);
}

// Which model statuses write the rows and columns.
struct ModelStatusCase {
  int model_status;
  bool records;
};
std::ostream& operator<<(std::ostream& os, const ModelStatusCase& c) { return os << "model status " << c.model_status; }

class SolutionByModelStatus : public SolutionTest, public ::testing::WithParamInterface<ModelStatusCase> {};

TEST_P(SolutionByModelStatus, RecordsOnlyWhenTheStatusCarriesASolution) {
  const ModelStatusCase& c = GetParam();
  test::MakeInstance(1, 1);
  test::SetInstanceValues({2}, {3}, {4});
  SetStatus(1, c.model_status);
  write_solution();
  const std::string header = "1 1\n2 " + std::to_string(c.model_status) + "\n3 0\n4 0\n5 0\n6 0\n9 1\n0 0\n";
  EXPECT_EQ(ReadFile(File("solution")), header + (c.records ? "0 2 3 0\n3 4 3 0\n" : "") + "0 0\n");
}

INSTANTIATE_TEST_SUITE_P(Statuses, SolutionByModelStatus,
                         ::testing::Values(ModelStatusCase{1, true}, ModelStatusCase{9, true},
                                           ModelStatusCase{10, false}, ModelStatusCase{11, false},
                                           ModelStatusCase{12, false}, ModelStatusCase{13, false},
                                           ModelStatusCase{14, false}, ModelStatusCase{15, true},
                                           ModelStatusCase{16, true}, ModelStatusCase{17, true},
                                           ModelStatusCase{18, false}, ModelStatusCase{19, false},
                                           ModelStatusCase{0, false}, ModelStatusCase{20, false}));

// ---------------------------------------------------------------------------------------------
// The marginals flag (header index 9).

struct FlagCase {
  const char* name;
  int obj_var;
  std::vector<std::pair<int, int>> entries;  // (row, column) on 3 rows, 3 columns
  std::vector<double> row_marginal;
  double flag;
};

const FlagCase kFlagCases[] = {
    {"no objective variable", 0, {{1, 2}}, {kNa, kNa, kNa}, 1},
    {"objective rows all NA", 2, {{1, 2}, {3, 2}, {2, 1}}, {kNa, 0, kNa}, 0},
    {"one objective row with marginal 0", 2, {{1, 2}, {3, 2}}, {kNa, kNa, 0}, 1},
    {"one objective row with a marginal", 2, {{1, 2}, {3, 2}}, {-2.5, kNa, kNa}, 1},
    {"objective row EPS is not NA", 3, {{2, 3}}, {kNa, kEps, kNa}, 1},
    {"objective column without entries", 3, {{1, 1}, {2, 2}}, {0, 0, 0}, 0},
    {"marginal only in a row without the objective column", 1, {{1, 1}, {2, 2}}, {kNa, 4, 4}, 0},
    {"objective variable beyond the columns read", 4, {{1, 1}}, {0, 0, 0}, 0},
};

TEST_F(SolutionTest, MarginalsFlag) {
  for (const FlagCase& c : kFlagCases) {
    test::MakeInstance(3, 3, c.entries);
    test::SetInstanceValues(c.row_marginal, {}, {});
    Ctrl().ObjVar = c.obj_var;
    write_solution();
    const std::string text = ReadFile(File("solution"));
    const std::string expected = std::string("\n9 ") + (c.flag == 1 ? "1" : "0") + "\n0 0\n";
    EXPECT_NE(text.find(expected), std::string::npos) << c.name << "\n" << text;
  }
}

// ---------------------------------------------------------------------------------------------
// Scaled mode (test::ScaledModel).

const char kScaledHeader[] = "1 1\n2 16\n3 0\n4 1.25\n5 0\n6 -3\n9 1\n0 0\n";
const char kScaledTrailer[] = "1 17\n2 6\n12 0\n0 0\n";

struct ScaleCase {
  int code, scale_opt, scaled_solution;
  const char* records;
};

const ScaleCase kScaleCases[] = {
    // Scaled: each record carries its scale.
    {3000, 1, 1, "0 0 3 0 0.5\n0 2E300 0 0 1\n-1.5 2.5 2 2 4\n7 0 3 3 1\n0 -4 2 0 8\n"},
    {3010, 1, 2, "0 0 3 0 0.5\n0 2E300 0 0 1\n-1.5 2.5 2 2 4\n7 0 3 3 1\n0 -4 2 0 8\n"},
    // Digit 4 is 3 but the run is not scaled: plain records, each with scale 1.
    {3000, 1, 0, "0 0 3 0 1\n0 2E300 0 0 1\n-1.5 2.5 2 2 1\n7 0 3 3 1\n0 -4 2 0 1\n"},
    {3000, 0, 1, "0 0 3 0 1\n0 2E300 0 0 1\n-1.5 2.5 2 2 1\n7 0 3 3 1\n0 -4 2 0 1\n"},
    {3000, 1, -1, "0 0 3 0 1\n0 2E300 0 0 1\n-1.5 2.5 2 2 1\n7 0 3 3 1\n0 -4 2 0 1\n"},
    // Other scale modes: no scale field at all.
    {2000, 1, 1, "0 0 3 0\n0 2E300 0 0\n-1.5 2.5 2 2\n7 0 3 3\n0 -4 2 0\n"},
    {1000, 1, 1, "0 0 3 0\n0 2E300 0 0\n-1.5 2.5 2 2\n7 0 3 3\n0 -4 2 0\n"},
    {13000, 1, 1, "0 0 3 0 0.5\n0 2E300 0 0 1\n-1.5 2.5 2 2 4\n7 0 3 3 1\n0 -4 2 0 8\n"},
};

TEST_F(SolutionTest, TextScaledRecords) {
  for (const ScaleCase& c : kScaleCases) {
    test::ScaledModel();
    Format(c.code, c.scale_opt, c.scaled_solution);
    write_solution();
    EXPECT_EQ(ReadFile(File("solution")), std::string(kScaledHeader) + c.records + kScaledTrailer)
        << c.code << " " << c.scale_opt << " " << c.scaled_solution;
  }
}

TEST_F(SolutionTest, TextWithoutSolutionArraysIsPlainEvenInScaledMode) {
  test::ScaledModel();
  ModelInstance& mi = Instance();
  mi.row_level.clear();
  mi.row_status.clear();
  mi.row_bstat.clear();
  mi.col_status.clear();
  mi.col_bstat.clear();
  Format(3000, 1, 1);
  write_solution();
  EXPECT_EQ(ReadFile(File("solution")), std::string(kScaledHeader) +
                                            "0 0 3 0 1\n0 2E300 3 0 1\n0 2.5 3 0 1\n7 0 3 0 1\n0 -4 3 0 1\n" +
                                            kScaledTrailer);
}

// ---------------------------------------------------------------------------------------------
// Block binary variants, byte for byte.

std::string LE64(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  std::string s;
  for (int i = 0; i < 8; ++i) s += static_cast<char>(bits >> (8 * i));
  return s;
}

// The data bytes of a block-binary solution file, and where each record starts.
struct Payload {
  std::string bytes;
  std::vector<std::pair<std::size_t, std::size_t>> records;  // start, length

  void Value(int index, double v) {
    bytes += static_cast<char>(index);
    bytes += LE64(v);
  }
  // A record; `scale` 1 means none follows.
  void Record(int status, int bstat, double level, double marginal, double scale = 1) {
    const std::size_t start = bytes.size();
    bytes += static_cast<char>(status + 4 * bstat + (level == 0 ? 16 : 0) + (marginal == 0 ? 32 : 0) +
                               (scale == 1 ? 64 : 0));
    if (level != 0) bytes += LE64(level);
    if (marginal != 0) bytes += LE64(marginal);
    if (scale != 1) bytes += LE64(scale);
    records.emplace_back(start, bytes.size() - start);
  }
};

std::size_t WindowFirst(int variant) { return variant == 2 ? 4 : variant == 3 ? 5 : 0; }
std::size_t WindowLength(int variant) { return variant == 2 ? 792 : variant == 3 ? 790 : 800; }

// The payload cut into 800-byte blocks with the variant's framing; the last block padded with
// zeros; an empty payload gives one block.
std::string Blocks(const std::string& data, int variant) {
  const std::size_t first = WindowFirst(variant), len = WindowLength(variant);
  std::string out;
  std::size_t p = 0;
  do {
    std::string block(800, '\0');
    if (variant == 2) {
      block.replace(0, 4, "\x18\x03\x00\x00", 4);
      block.replace(796, 4, "\x18\x03\x00\x00", 4);
    } else if (variant == 3) {
      block[0] = '\xff';
      block.replace(1, 4, "\x16\x03\x00\x00", 4);
      block.replace(795, 4, "\x16\x03\x00\x00", 4);
      block[799] = '\xff';
    }
    const std::size_t take = std::min(len, data.size() - p);
    block.replace(first, take, data, p, take);
    p += take;
    out += block;
  } while (p < data.size());
  return out;
}

// The framing bytes of every block, compared with the literal values.
void ExpectFraming(const std::string& file, int variant) {
  ASSERT_EQ(file.size() % 800, 0u);
  for (std::size_t b = 0; b < file.size(); b += 800) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(file[b + k - 1]); };
    if (variant == 2) {
      for (std::size_t k : {1u, 797u}) {
        EXPECT_EQ(byte(k), 0x18) << b << " " << k;
        EXPECT_EQ(byte(k + 1), 0x03) << b << " " << k;
        EXPECT_EQ(byte(k + 2), 0) << b << " " << k;
        EXPECT_EQ(byte(k + 3), 0) << b << " " << k;
      }
    } else if (variant == 3) {
      EXPECT_EQ(byte(1), 255) << b;
      EXPECT_EQ(byte(800), 255) << b;
      for (std::size_t k : {2u, 796u}) {
        EXPECT_EQ(byte(k), 0x16) << b << " " << k;
        EXPECT_EQ(byte(k + 1), 0x03) << b << " " << k;
        EXPECT_EQ(byte(k + 2), 0) << b << " " << k;
        EXPECT_EQ(byte(k + 3), 0) << b << " " << k;
      }
    }
  }
}

class BinaryVariant : public SolutionTest, public ::testing::WithParamInterface<int> {};

TEST_P(BinaryVariant, RunThatStoppedEarly) {
  const int variant = GetParam();
  Format(variant);
  test::MakeInstance(2, 2);
  write_solution();
  Payload p;
  for (auto [k, v] : std::vector<std::pair<int, double>>{{1, 13}, {2, 13}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {9, 1}, {0, 0}, {0, 0}})
    p.Value(k, v);
  const std::string file = ReadFile(File("solution"));
  EXPECT_EQ(file, Blocks(p.bytes, variant));
  EXPECT_EQ(file.size(), 800u);
  ExpectFraming(file, variant);
}

TEST_P(BinaryVariant, SolvedRunWithSolutionArrays) {
  const int variant = GetParam();
  SolvedRun();
  test::SetSolution({{0, 2, 1.5, 0}, {2, 3, -2, kNa}},
                    {{3, 3, 0, -1}, {0, 2, 1.0 / 3.0, 0}, {0, 3, 1e15, 5}});
  Format(variant);
  write_solution();
  Payload p;
  for (auto [k, v] : std::vector<std::pair<int, double>>{{1, 1}, {2, 2}, {3, 7}, {4, 0.25}, {5, 123.456}, {6, 1e-5}, {9, 1}, {0, 0}})
    p.Value(k, v);
  p.Record(0, 2, 1.5, 0);
  p.Record(2, 3, -2, kNa);
  p.Record(3, 3, 0, -1);
  p.Record(0, 2, 1.0 / 3.0, 0);
  p.Record(0, 3, 1e15, 5);
  for (auto [k, v] : std::vector<std::pair<int, double>>{{1, 42}, {3, -0.000123456789012345678}, {5, 1234567890123456789.0},
                                                          {6, 999999999999999.0}, {7, 0.00009999}, {12, 3}, {0, 0}})
    p.Value(k, v);
  const std::string file = ReadFile(File("solution"));
  EXPECT_EQ(file, Blocks(p.bytes, variant));
  ExpectFraming(file, variant);
}

TEST_P(BinaryVariant, ScaledRecordsCarryScalesOtherThanOne) {
  const int variant = GetParam();
  test::ScaledModel();
  Format(3000 + variant, 1, 1);
  write_solution();
  Payload p;
  for (auto [k, v] : std::vector<std::pair<int, double>>{{1, 1}, {2, 16}, {3, 0}, {4, 1.25}, {5, 0}, {6, -3}, {9, 1}, {0, 0}})
    p.Value(k, v);
  p.Record(0, 3, 0, 0, 0.5);
  p.Record(0, 0, 0, kNa);
  p.Record(2, 2, -1.5, 2.5, 4);
  p.Record(3, 3, 7, 0);
  p.Record(0, 2, 0, -4, 8);
  for (auto [k, v] : std::vector<std::pair<int, double>>{{1, 17}, {2, 6}, {12, 0}, {0, 0}}) p.Value(k, v);
  EXPECT_EQ(ReadFile(File("solution")), Blocks(p.bytes, variant));
}

// 40 rows and 40 columns with levels and marginals: two blocks, one record across the border.
TEST_P(BinaryVariant, RecordAcrossABlockBoundary) {
  const int variant = GetParam();
  SetStatus(1, 1);
  test::MakeInstance(40, 40);
  std::vector<Sol> rows, cols;
  for (int k = 1; k <= 40; ++k) {
    rows.push_back({0, 2, k + 0.5, -k * 1.0});
    cols.push_back({k % 2 == 0 ? 0 : 3, 3, k * 3.0, 1.0 / k});
  }
  test::SetSolution(rows, cols);
  Format(variant);
  write_solution();
  Payload p;
  for (auto [k, v] : std::vector<std::pair<int, double>>{{1, 1}, {2, 1}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {9, 1}, {0, 0}})
    p.Value(k, v);
  for (const Sol& s : rows) p.Record(s.status, s.bstat, s.level, s.marginal);
  for (const Sol& s : cols) p.Record(s.status, s.bstat, s.level, s.marginal);
  p.Value(0, 0);
  const std::size_t window = WindowLength(variant);
  bool crosses = false;
  for (auto [start, len] : p.records) crosses = crosses || (start < window && start + len > window);
  ASSERT_TRUE(crosses) << "the fixture must put a record across the first block's end";
  const std::string file = ReadFile(File("solution"));
  EXPECT_EQ(file.size(), 1600u);
  EXPECT_EQ(file, Blocks(p.bytes, variant));
  ExpectFraming(file, variant);
}

// The scratch layer itself: no payload gives one block; a payload that fills the window
// exactly gives one block, one byte more two.
TEST_P(BinaryVariant, BlockCountAtTheWindowsEdges) {
  const int variant = GetParam();
  const std::size_t window = WindowLength(variant);
  for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, window - 1, window, window + 1, 2 * window}) {
    std::unique_ptr<TScratchFile> f;
    ASSERT_EQ(TScratchFile::OpenMod(File("blocks"), variant, false, false, true, &f), 0);
    // A record of status 0, basis 0, level 0 and marginal 0 is the one byte 16 + 32 + 64.
    for (std::size_t k = 0; k < bytes; ++k) f->WriteSolRecord(0, 0, 0, 0);
    EXPECT_EQ(f->CloseMod(), 0);
    const std::string file = ReadFile(File("blocks"));
    EXPECT_EQ(file, Blocks(std::string(bytes, '\x70'), variant)) << bytes;
    EXPECT_EQ(file.size(), bytes <= window ? 800u : bytes <= 2 * window ? 1600u : 2400u) << bytes;
    ExpectFraming(file, variant);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, BinaryVariant, ::testing::Values(1, 2, 3, 4));

// The record flag byte and the reals that follow it, as literal bytes.
struct FlagByteCase {
  int status, bstat;
  double level, marginal, scale;
  bool scaled;
  std::string bytes;
};

TEST_F(SolutionTest, BinaryRecordLayout) {
  const std::string z(6, '\0');
  const FlagByteCase cases[] = {
      {0, 3, 0, 0, 1, false, "\x7c"},
      {2, 2, 1.5, 0, 1, false, "\x6a" + z + "\xf8\x3f"},
      {3, 3, 0, -2, 1, false, "\x5f" + z + std::string("\x00\xc0", 2)},
      {0, 2, 1, 1, 1, false, "\x48" + z + "\xf0\x3f" + z + "\xf0\x3f"},
      {0, 2, 0, 0, 2, true, "\x38" + z + std::string("\x00\x40", 2)},
      {0, 2, 0, 0, 1, true, "\x78"},
      {3, 2, 0, kNa, 1, true, std::string("\x5b") + LE64(kNa)},
  };
  for (const FlagByteCase& c : cases) {
    std::unique_ptr<TScratchFile> f;
    ASSERT_EQ(TScratchFile::OpenMod(File("record"), 3001, true, false, true, &f), 0);
    if (c.scaled) f->WriteScaledSolRecord(c.status, c.bstat, c.level, c.marginal, c.scale);
    else f->WriteSolRecord(c.status, c.bstat, c.level, c.marginal);
    ASSERT_EQ(f->CloseMod(), 0);
    const std::string file = ReadFile(File("record"));
    ASSERT_EQ(file.size(), 800u);
    EXPECT_EQ(file.substr(0, c.bytes.size()), c.bytes) << c.status << " " << c.bstat << " " << c.level;
    EXPECT_EQ(file.find_first_not_of('\0', c.bytes.size()), std::string::npos);
  }
}

// ---------------------------------------------------------------------------------------------
// A solution file that cannot be opened.

struct OpenFailCase {
  int code;
  bool is_directory;  // the name is an existing directory; else it lies in a missing one
};
std::ostream& operator<<(std::ostream& os, const OpenFailCase& c) {
  return os << "code " << c.code << (c.is_directory ? " directory" : " missing directory");
}

class SolutionOpenFailure : public SolutionTest, public ::testing::WithParamInterface<OpenFailCase> {};

TEST_P(SolutionOpenFailure, ReportedInTheLogAndNothingWritten) {
  const OpenFailCase& c = GetParam();
  const std::string name = c.is_directory ? File("adir") : File("missing/solution");
  if (c.is_directory) std::filesystem::create_directory(name);
  Ctrl().NameSolFile = name;
  Format(c.code);
  SolvedRun();
  test::SetSolution({{0, 2, 1.5, 0}, {2, 3, -2, kNa}}, {{3, 3, 0, -1}, {0, 2, 1, 0}, {0, 3, 1, 5}});
  ::testing::internal::CaptureStdout();
  write_solution();
  const std::string out = ::testing::internal::GetCapturedStdout();
  const int rc = c.code % 10 == 5 ? 5 : c.is_directory ? EISDIR : ENOENT;
  EXPECT_EQ(Log(), "*** failed rewrite on solution: " + name + "\n*** RC=" + std::to_string(rc) + " " +
                       std::strerror(rc) + "\n");
  EXPECT_EQ(out, c.code % 10 == 5 ? "*** OpenMod for " + name + " failed: Cannot open LVX file " + name + "\n" : "");
  EXPECT_EQ(std::filesystem::is_directory(name), c.is_directory);
  EXPECT_FALSE(std::filesystem::exists(File("missing")));
}

INSTANTIATE_TEST_SUITE_P(Variants, SolutionOpenFailure,
                         ::testing::Values(OpenFailCase{0, false}, OpenFailCase{1, false}, OpenFailCase{2, false},
                                           OpenFailCase{3, false}, OpenFailCase{4, false}, OpenFailCase{5, false},
                                           OpenFailCase{3001, true}, OpenFailCase{0, true}));

// The text file is opened again after 10, 100 and 1000 ms. The directory appears after about
// 300 ms, so the third retry succeeds, and says so on standard output.
TEST_F(SolutionTest, TextFileOpenedOnARetry) {
  const std::string name = File("late/solution");
  Ctrl().NameSolFile = name;
  test::MakeInstance(1, 1);
  std::thread maker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::filesystem::create_directory(File("late"));
  });
  ::testing::internal::CaptureStdout();
  write_solution();
  const std::string out = ::testing::internal::GetCapturedStdout();
  maker.join();
  // The directory appears between the attempts at 110 and 1110 ms, so the third retry succeeds;
  // on a heavily loaded machine the attempts may fall late enough for the second one to see it.
  const std::string tail = " Action = ReWrite IORes = " + std::to_string(ENOENT) + " File = " + name + "\n";
  EXPECT_TRUE(out == "*** Retry count succeeded in function TextFileOpenRetry\n*** Count = 3" + tail ||
              out == "*** Retry count succeeded in function TextFileOpenRetry\n*** Count = 2" + tail)
      << out;
  EXPECT_EQ(ReadFile(name), "1 13\n2 13\n3 0\n4 0\n5 0\n6 0\n9 1\n0 0\n0 0\n");
  EXPECT_EQ(Log(), "");
}

// ---------------------------------------------------------------------------------------------
// The modeling system reads back what the writer wrote.

struct RoundTripCase {
  int code, scale_opt, scaled_solution;
  bool scales;  // the records come back with the scaled model's scales
};
std::ostream& operator<<(std::ostream& os, const RoundTripCase& c) {
  return os << "code " << c.code << " scaling " << c.scale_opt << " scaled solution " << c.scaled_solution;
}

class SolutionRoundTrip : public SolutionTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(SolutionRoundTrip, ReaderSeesWhatWasWritten) {
  const RoundTripCase& c = GetParam();
  test::ScaledModel();
  Format(c.code, c.scale_opt, c.scaled_solution);
  write_solution();
  luvo::SolutionFile s;
  std::string error;
  ASSERT_TRUE(luvo::ReadSolutionFile(File("solution"), c.code, 3, 2, &s, &error)) << error;
  EXPECT_EQ(s.header, (std::map<int, double>{{1, 1}, {2, 16}, {3, 0}, {4, 1.25}, {5, 0}, {6, -3}, {9, 1}}));
  EXPECT_EQ(s.trailer, (std::map<int, double>{{1, 17}, {2, 6}, {12, 0}}));
  struct Expected {
    int status, bstat;
    double level, marginal, scale;
  };
  const std::vector<Expected> rows = {{0, 3, 0, 0, 0.5}, {0, 0, 0, kNa, 1}, {2, 2, -1.5, 2.5, 4}};
  const std::vector<Expected> cols = {{3, 3, 7, 0, 1}, {0, 2, 0, -4, 8}};
  auto check = [&](const std::vector<luvo::SolRecord>& got, const std::vector<Expected>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t k = 0; k < want.size(); ++k) {
      EXPECT_EQ(got[k].status, want[k].status) << what << " " << k + 1;
      EXPECT_EQ(got[k].bstat, want[k].bstat) << what << " " << k + 1;
      EXPECT_EQ(got[k].level, want[k].level) << what << " " << k + 1;
      EXPECT_EQ(got[k].marginal, want[k].marginal) << what << " " << k + 1;
      EXPECT_EQ(got[k].scale, c.scales ? want[k].scale : 1.0) << what << " " << k + 1;
    }
  };
  check(s.rows, rows, "row");
  check(s.cols, cols, "column");
}

TEST_P(SolutionRoundTrip, RunThatStoppedEarlyHasNoRecords) {
  const RoundTripCase& c = GetParam();
  test::MakeInstance(3, 2);
  Format(c.code, c.scale_opt, c.scaled_solution);
  write_solution();
  luvo::SolutionFile s;
  std::string error;
  ASSERT_TRUE(luvo::ReadSolutionFile(File("solution"), c.code, 3, 2, &s, &error)) << error;
  EXPECT_EQ(s.header, (std::map<int, double>{{1, 13}, {2, 13}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {9, 1}}));
  EXPECT_TRUE(s.trailer.empty());
  EXPECT_TRUE(s.rows.empty());
  EXPECT_TRUE(s.cols.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Variants, SolutionRoundTrip,
    ::testing::Values(RoundTripCase{0, 0, 0, false}, RoundTripCase{1, 0, 0, false}, RoundTripCase{2, 0, 0, false},
                      RoundTripCase{3, 0, 0, false}, RoundTripCase{4, 0, 0, false}, RoundTripCase{5, 0, 0, false},
                      RoundTripCase{3000, 1, 1, true}, RoundTripCase{3001, 1, 1, true},
                      RoundTripCase{3002, 1, 1, true}, RoundTripCase{3003, 1, 1, true},
                      RoundTripCase{3004, 1, 1, true}, RoundTripCase{3005, 1, 1, true},
                      RoundTripCase{3000, 1, 0, false}, RoundTripCase{3005, 0, 1, false},
                      RoundTripCase{1010, 1, 1, false}));

// A model large enough for many blocks and for more than one fill of the text buffer.
class SolutionLargeRoundTrip : public SolutionTest, public ::testing::WithParamInterface<int> {};

TEST_P(SolutionLargeRoundTrip, EveryRecordComesBack) {
  const int code = GetParam();
  constexpr int kRows = 3000, kCols = 2500;
  SetStatus(1, 1);
  test::MakeInstance(kRows, kCols);
  std::vector<Sol> rows, cols;
  for (int k = 1; k <= kRows; ++k)
    rows.push_back({k % 3 == 0 ? 2 : 0, k % 2 == 0 ? 2 : 3, k % 5 == 0 ? 0 : k * 0.001, k % 7 == 0 ? 0 : -1.0 / k});
  for (int k = 1; k <= kCols; ++k)
    cols.push_back({k % 4 == 0 ? 3 : 0, k % 3 == 0 ? 2 : 3, k % 2 == 0 ? 0 : std::sqrt(k * 1.0), k % 9 == 0 ? 0 : 1e5 * k});
  test::SetSolution(rows, cols);
  Format(code);
  write_solution();
  luvo::SolutionFile s;
  std::string error;
  ASSERT_TRUE(luvo::ReadSolutionFile(File("solution"), code, kRows, kCols, &s, &error)) << error;
  ASSERT_EQ(s.rows.size(), rows.size());
  ASSERT_EQ(s.cols.size(), cols.size());
  // The text variant keeps 15 significant digits, the others every bit.
  const double tol = code == 0 ? 1e-14 : 0;
  auto same = [&](const luvo::SolRecord& got, const Sol& want) {
    return got.status == want.status && got.bstat == want.bstat &&
           std::abs(got.level - want.level) <= tol * std::abs(want.level) &&
           std::abs(got.marginal - want.marginal) <= tol * std::abs(want.marginal) && got.scale == 1;
  };
  for (int k = 0; k < kRows; ++k) ASSERT_TRUE(same(s.rows[static_cast<std::size_t>(k)], rows[static_cast<std::size_t>(k)])) << "row " << k + 1;
  for (int k = 0; k < kCols; ++k) ASSERT_TRUE(same(s.cols[static_cast<std::size_t>(k)], cols[static_cast<std::size_t>(k)])) << "column " << k + 1;
  EXPECT_TRUE(s.trailer.empty());
}

INSTANTIATE_TEST_SUITE_P(Variants, SolutionLargeRoundTrip, ::testing::Values(0, 1, 2, 3, 4, 5));

// A solution file that opens but cannot be written whole.
TEST_F(SolutionTest, FileThatCannotBeWritten) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (int code : {0, 1, 3, 5}) {
    Ctrl().NameSolFile = "/dev/full";
    Format(code);
    SolvedRun();
    test::SetSolution({{0, 2, 1.5, 0}, {2, 3, -2, kNa}}, {{3, 3, 0, -1}, {0, 2, 1, 0}, {0, 3, 1, 5}});
    qlink::Run().log.LogOpen(2, 0, File("log"));
    ::testing::internal::CaptureStdout();
    write_solution();
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (code == 5) {
      EXPECT_EQ(Log(), "") << code;
      // The library's error, under the operation that met it.
      EXPECT_EQ(out.rfind("*** Problems in CloseMod: Write", 0), 0u) << out;
      EXPECT_NE(out.find("/dev/full"), std::string::npos) << out;
    } else {
      EXPECT_EQ(Log(), "*** could not write solution file /dev/full\n") << code;
      EXPECT_EQ(out, "") << code;
    }
  }
}

// The instance as read from the modeling system's matrix file, then written back: the scales
// and matches come from the file.
class SolutionOfAReadInstance : public SolutionTest, public ::testing::WithParamInterface<int> {};

TEST_P(SolutionOfAReadInstance, ScalesAndMarginalsFromTheMatrixFile) {
  // Marginals, scale mode 3, matches.
  const int code = 103010 + GetParam();
  luvo::ModelSpec model;
  // Rows (type, rhs, level, marginal, scale, basis, match): row 1 matches column 2. Nonbasic
  // rows, so that every variant keeps their marginals.
  model.rows = {{0, 1, 0, kNa, 2, 1, 2, 0}, {1, 0, 0, kNa, 3, 1, 0, 0}};
  model.cols.resize(2);
  model.cols[0].level = 1;
  model.cols[0].scale = 5;
  model.cols[0].entries = {{1, 1, false}, {2, 2, false}};
  model.cols[1].level = 2;
  model.cols[1].upper = 10;
  model.cols[1].scale = 7;
  model.cols[1].entries = {{1, 3, false}};
  std::string error;
  ASSERT_TRUE(luvo::WriteMatrixFile(File("matrix"), model, code, true, false, &error)) << error;
  ControlFile& c = Ctrl();
  c.NumRows = 2;
  c.NumCols = 2;
  c.NumNonzeros = 3;
  c.ObjRow = 1;
  c.ObjVar = 1;
  c.NameMatrixFile = File("matrix");
  Format(code, 1, 1);
  ASSERT_EQ(read_model_instance(), 0) << Log();

  // No result: statuses 13 and 13; the objective column's rows have NA marginals, so flag 0.
  write_solution();
  luvo::SolutionFile s;
  ASSERT_TRUE(luvo::ReadSolutionFile(File("solution"), code, 2, 2, &s, &error)) << error;
  EXPECT_EQ(s.header, (std::map<int, double>{{1, 13}, {2, 13}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {9, 0}}));
  EXPECT_TRUE(s.rows.empty());

  // A solution without the result reader's arrays: plain records of the file's values.
  SetStatus(1, 1);
  write_solution();
  ASSERT_TRUE(luvo::ReadSolutionFile(File("solution"), code, 2, 2, &s, &error)) << error;
  ASSERT_EQ(s.rows.size(), 2u);
  ASSERT_EQ(s.cols.size(), 2u);
  for (const luvo::SolRecord* r : {&s.rows[0], &s.rows[1]}) {
    EXPECT_EQ(r->bstat, 3);
    EXPECT_EQ(r->level, 0);
    EXPECT_EQ(r->marginal, kNa);
    EXPECT_EQ(r->scale, 1);
  }
  EXPECT_EQ(s.cols[0].level, 1);
  EXPECT_EQ(s.cols[1].level, 2);
  EXPECT_EQ(s.cols[1].scale, 1);

  // With the arrays, in scaled mode: row 1 carries column 2's scale 7, row 2 none; column 2
  // carries row 1's scale 2, column 1 none. Row 1 now has a marginal: flag 1.
  test::SetSolution({{0, 2, 0.5, -1}, {2, 3, 1.5, kNa}}, {{0, 2, 3, 0}, {3, 3, 4, 0.25}});
  write_solution();
  ASSERT_TRUE(luvo::ReadSolutionFile(File("solution"), code, 2, 2, &s, &error)) << error;
  EXPECT_EQ(s.header.at(9), 1);
  ASSERT_EQ(s.rows.size(), 2u);
  ASSERT_EQ(s.cols.size(), 2u);
  EXPECT_EQ(s.rows[0].scale, 7);
  EXPECT_EQ(s.rows[1].scale, 1);
  EXPECT_EQ(s.cols[0].scale, 1);
  EXPECT_EQ(s.cols[1].scale, 2);
  EXPECT_EQ(s.rows[1].status, 2);
  EXPECT_EQ(s.cols[1].marginal, 0.25);
}

INSTANTIATE_TEST_SUITE_P(Variants, SolutionOfAReadInstance, ::testing::Values(0, 1, 2, 3, 4, 5));

// A file cut short: the reader says what is missing.
struct TruncateCase {
  int code;
  long keep;  // bytes kept; negative: the size minus that many
  const char* error;
};
std::ostream& operator<<(std::ostream& os, const TruncateCase& c) { return os << "code " << c.code << " keep " << c.keep; }

class SolutionTruncated : public SolutionTest, public ::testing::WithParamInterface<TruncateCase> {};

TEST_P(SolutionTruncated, ReaderReportsAClearError) {
  const TruncateCase& c = GetParam();
  SetStatus(1, 1);
  test::MakeInstance(40, 40);
  std::vector<Sol> rows, cols;
  for (int k = 1; k <= 40; ++k) {
    rows.push_back({0, 2, k + 0.5, -k * 1.0});
    cols.push_back({0, 3, k * 3.0, 1.0 / k});
  }
  test::SetSolution(rows, cols);
  qlink::Run().IterCount = 5;
  Format(c.code);
  write_solution();
  const std::string whole = ReadFile(File("solution"));
  luvo::SolutionFile s;
  std::string error;
  ASSERT_TRUE(luvo::ReadSolutionFile(File("solution"), c.code, 40, 40, &s, &error)) << error;
  const std::size_t keep = c.keep >= 0 ? static_cast<std::size_t>(c.keep) : whole.size() - static_cast<std::size_t>(-c.keep);
  ASSERT_LT(keep, whole.size());
  WriteFile(File("solution"), whole.substr(0, keep));
  EXPECT_FALSE(luvo::ReadSolutionFile(File("solution"), c.code, 40, 40, &s, &error));
  EXPECT_NE(error.find(c.error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Variants, SolutionTruncated,
    ::testing::Values(TruncateCase{0, 0, "header without its marker"}, TruncateCase{0, 20, "header without its marker"},
                      TruncateCase{0, 400, "short solution record"}, TruncateCase{0, -4, "trailer without its marker"},
                      TruncateCase{1, 800, "short solution record"}, TruncateCase{2, 800, "short solution record"},
                      TruncateCase{3, -1, "not made of whole blocks"}, TruncateCase{4, 0, "header without its marker"},
                      TruncateCase{5, -10, "cannot read"}, TruncateCase{5, 30, "cannot read"}));

// Files made by hand: what the reader accepts and what it refuses.
struct HandFileCase {
  const char* name;
  int code, rows, cols;
  std::string content;
  const char* error;  // "" when the file is read
  std::map<int, double> header;
};

TEST_F(SolutionTest, ReaderOfHandMadeFiles) {
  std::string v2 = Blocks(std::string("\x01") + LE64(1) + std::string(1, '\0') + LE64(0) + std::string(1, '\0') + LE64(0), 2);
  std::string v2_bad = v2;
  v2_bad[797] = 0x19;
  std::string v3_bad = Blocks(std::string(1, '\0') + LE64(0) + std::string(1, '\0') + LE64(0), 3);
  v3_bad[799] = 0;
  const HandFileCase cases[] = {
      {"header without a model status", 0, 2, 2, "1 1\n0 0\n0 0\n", "", {{1, 1}}},
      {"binary header without a model status", 2, 2, 2, v2, "", {{1, 1}}},
      {"a word that is no number", 0, 2, 2, "1 1\n2 abc\n0 0\n0 0\n", "bad number \"abc\"", {}},
      {"a record with a word that is no number", 0, 1, 0, "2 1\n0 0\n0 1x 3 0\n0 0\n", "bad number \"1x\"", {}},
      {"variant 2 framing broken", 2, 2, 2, v2_bad, "block 1 does not hold the framing of variant 2", {}},
      {"variant 3 framing broken", 3, 2, 2, v3_bad, "block 1 does not hold the framing of variant 3", {}},
  };
  for (const HandFileCase& c : cases) {
    WriteFile(File("hand"), c.content);
    luvo::SolutionFile s;
    std::string error;
    const bool ok = luvo::ReadSolutionFile(File("hand"), c.code, c.rows, c.cols, &s, &error);
    EXPECT_EQ(ok, c.error[0] == '\0') << c.name << ": " << error;
    if (ok) {
      EXPECT_EQ(s.header, c.header) << c.name;
      EXPECT_TRUE(s.rows.empty()) << c.name;
    } else {
      EXPECT_EQ(error, c.error) << c.name;
    }
  }
}

TEST(SolutionReaderTest, MissingFile) {
  luvo::SolutionFile s;
  for (int code : {0, 1, 5}) {
    std::string error;
    EXPECT_FALSE(luvo::ReadSolutionFile("/nonexistent/solution", code, 1, 1, &s, &error)) << code;
    EXPECT_NE(error.find("cannot read /nonexistent/solution"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace qlink
