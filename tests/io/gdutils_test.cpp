// Tests of the model instance reader and the scratch file layer: the scratch format code, the
// record layouts of the text, block-binary and LVX variants (with files laid out byte by byte
// here, independent of the modeling system's writers), round trips through those writers, the
// derived data of the instance, bad input, the instruction-file writer and the retried opening
// of text files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <iterator>
#include <vector>

#include "io/gdutils.h"
#include "link/lvostate.h"
#include "outside/luvo/instwriter.h"
#include "outside/lvx/lvxfile.h"
#include "runtime/lvocommon.h"
#include "runtime/lvxdcdef.h"
#include "runtime/platform.h"
#include "tests/testutil/testutil.h"

namespace qlink {
namespace {

using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// NaN equals NaN here: a value that must pass through unmapped.
bool Same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }
#define EXPECT_SAME(a, b) EXPECT_PRED2(Same, a, b)

// ---------------------------------------------------------------------------------------------
// Byte strings of the binary layouts.

class Bytes {
 public:
  Bytes& U8(int b) {
    s_.push_back(static_cast<char>(static_cast<unsigned char>(b & 0xFF)));
    return *this;
  }
  Bytes& I16(int v) { return U8(v).U8(v >> 8); }
  Bytes& I32(std::int64_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) U8(static_cast<int>(u >> (8 * i)));
    return *this;
  }
  Bytes& F64(double v) {
    const auto u = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) U8(static_cast<int>(u >> (8 * i)));
    return *this;
  }
  Bytes& Add(const Bytes& b) {
    s_ += b.s_;
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

struct Window {
  std::size_t first, last;  // 0-based, exclusive end
};
Window WindowOf(int variant) {
  if (variant == 2) return {4, 796};
  if (variant == 3) return {5, 795};
  return {0, 800};
}

void PutLE32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// `payload` laid into 800-byte blocks of `variant`: the data windows padded with zero bytes and
// the framing bytes of variants 2 and 3.
std::string Blocked(int variant, const std::string& payload) {
  const Window w = WindowOf(variant);
  const std::size_t len = w.last - w.first;
  std::string out;
  std::size_t pos = 0;
  do {
    std::string block(800, '\0');
    if (variant == 2) PutLE32(block, 0, 792), PutLE32(block, 796, 792);
    if (variant == 3) {
      block[0] = static_cast<char>(255);
      PutLE32(block, 1, 790);
      PutLE32(block, 795, 790);
      block[799] = static_cast<char>(255);
    }
    if (pos < payload.size()) block.replace(w.first, std::min(len, payload.size() - pos), payload, pos, len);
    pos += len;
    out += block;
  } while (pos < payload.size());
  return out;
}

// The file position just after the last nonzero byte of the data windows of `file`.
std::size_t DataEnd(int variant, const std::string& file) {
  const Window w = WindowOf(variant);
  for (std::size_t b = file.size() / 800; b-- > 0;)
    for (std::size_t i = w.last; i-- > w.first;)
      if (file[b * 800 + i] != '\0') return b * 800 + i + 1;
  return 0;
}

// Checks that `file` is whole blocks of `variant` with the framing bytes as written; returns the
// concatenated data windows.
std::string Unblocked(int variant, const std::string& file) {
  EXPECT_EQ(file.size() % 800, 0u) << "size " << file.size();
  EXPECT_GT(file.size(), 0u);
  const Window w = WindowOf(variant);
  std::string data;
  std::string frame(800, '\0');
  if (variant == 2) PutLE32(frame, 0, 792), PutLE32(frame, 796, 792);
  if (variant == 3) {
    frame[0] = static_cast<char>(255);
    PutLE32(frame, 1, 790);
    PutLE32(frame, 795, 790);
    frame[799] = static_cast<char>(255);
  }
  for (std::size_t b = 0; b + 800 <= file.size(); b += 800) {
    EXPECT_EQ(file.substr(b, w.first), frame.substr(0, w.first)) << "block at " << b;
    EXPECT_EQ(file.substr(b + w.last, 800 - w.last), frame.substr(w.last)) << "block at " << b;
    data += file.substr(b + w.first, w.last - w.first);
  }
  return data;
}

// ---------------------------------------------------------------------------------------------
// LVX files written through the library's own API.

struct LvxRecord {
  std::vector<int> keys;
  double value;
};
struct LvxSymbol {
  std::string name;
  int dim;
  std::vector<LvxRecord> records;
};

void WriteLvxFile(const std::string& path, int labels, const std::vector<LvxSymbol>& symbols) {
  lvxlib::LvxFile f;
  int err = 0;
  ASSERT_TRUE(f.OpenWrite(path.c_str(), "test", true, &err)) << err;
  f.LabelRegisterRawStart();
  for (int i = 1; i <= labels; ++i) f.LabelRegisterRaw(std::to_string(i).c_str());
  f.LabelRegisterDone();
  for (const LvxSymbol& s : symbols) {
    f.DataWriteRawStart(s.name.c_str(), "", s.dim, 1, 0);
    for (const LvxRecord& r : s.records) {
      int keys[lvxlib::kMaxDim] = {};
      std::copy(r.keys.begin(), r.keys.end(), keys);
      const double values[lvxlib::kValueCount] = {r.value, 0, 0, 0, 0};
      f.DataWriteRaw(keys, values);
    }
    f.DataWriteDone();
  }
  const int errors = f.ErrorCount();
  const std::string text = errors != 0 ? f.ErrorText(f.LastError()) : "";
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(errors, 0) << text;
}

// ---------------------------------------------------------------------------------------------
// The run state: control file, log and listing in files of a scratch directory.

std::string TestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "-" + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LvxBinding().SetLoadDirectory(std::string(QLINK_SYSDIR) + "/");
    dir_ = std::make_unique<ScratchDir>(TestName());
    ControlFile& c = qlink::Run().ctrl;
    c = ControlFile{};
    c.NameInstrFile = File("instr.scr");
    c.NameMatrixFile = File("matrix.scr");
    qlink::Run().log.LogOpen(2, 0, File("log.txt"));
    qlink::Run().status.StatusSetFilename(File("status.txt"));
    std::string message;
    ASSERT_TRUE(qlink::Run().status.StatusFileOpen(0, &message)) << message;
  }
  void TearDown() override {
    qlink::Run().log.LogOpen(0, 0, "");
    qlink::Run().status.StatusClose();
  }

  std::string File(const std::string& name) const { return dir_->File(name); }
  std::string Log() const { return ReadFile(File("log.txt")); }
  std::string Listing() const { return ReadFile(File("status.txt")); }

  static void Control(int m, int n, int instr, int pool, int code, int scale = 0, int priority = 0,
                      int obj_row = 0, int obj_var = 0) {
    ControlFile& c = qlink::Run().ctrl;
    c.NumRows = m;
    c.NumCols = n;
    c.NumInstr = instr;
    c.NumConst = pool;
    c.AlgFileType = code;
    c.ScaleOpt = scale;
    c.PriorityOpt = priority;
    c.ObjRow = obj_row;
    c.ObjVar = obj_var;
  }

  // The log and the listing both carry `text` as a line (the listing's copy lines start "=C").
  void ExpectReported(const std::string& text) const {
    EXPECT_NE(Log().find(text + "\n"), std::string::npos) << "log:\n" << Log();
    EXPECT_NE(Listing().find("=C" + text + "\n"), std::string::npos) << "listing:\n" << Listing();
  }

  std::unique_ptr<ScratchDir> dir_;
};

// The entries of a column list and a row list as (row or column, value, nonlinear) triples.
struct Entry {
  int index;
  double value;
  bool nonlinear;
  bool operator==(const Entry& o) const {
    return index == o.index && Same(value, o.value) && nonlinear == o.nonlinear;
  }
};
std::ostream& operator<<(std::ostream& os, const Entry& e) {
  return os << "(" << e.index << ", " << e.value << (e.nonlinear ? ", nl)" : ")");
}

std::vector<Entry> ColumnList(const ModelInstance& mi, int j) {
  std::vector<Entry> out;
  for (std::int32_t e = mi.col_head[static_cast<std::size_t>(j)]; e != 0; e = mi.jac[e].next_in_col) {
    EXPECT_EQ(mi.jac[e].col, j);
    out.push_back({mi.jac[e].row, mi.jac[e].value, mi.jac[e].nonlinear != 0});
    if (out.size() > static_cast<std::size_t>(mi.jac.size())) break;
  }
  if (!out.empty()) {
    std::int32_t last = mi.col_head[static_cast<std::size_t>(j)];
    while (mi.jac[last].next_in_col != 0) last = mi.jac[last].next_in_col;
    EXPECT_EQ(mi.col_tail[static_cast<std::size_t>(j)], last);
  }
  return out;
}

std::vector<Entry> RowList(const ModelInstance& mi, int i, bool nonlinear_only) {
  std::vector<Entry> out;
  const auto k = static_cast<std::size_t>(i);
  std::int32_t e = nonlinear_only ? mi.row_nl_head[k] : mi.row_head[k];
  std::int32_t last = 0;
  while (e != 0 && out.size() <= static_cast<std::size_t>(mi.jac.size())) {
    EXPECT_EQ(mi.jac[e].row, i);
    out.push_back({mi.jac[e].col, mi.jac[e].value, mi.jac[e].nonlinear != 0});
    last = e;
    e = nonlinear_only ? mi.jac[e].next_nl_in_row : mi.jac[e].next_in_row;
  }
  EXPECT_EQ(nonlinear_only ? mi.row_nl_tail[k] : mi.row_tail[k], last) << "row " << i;
  return out;
}

// ---------------------------------------------------------------------------------------------
// The scratch format code.

struct DecodeCase {
  int code;
  bool scaling, priority;
  int variant;
  bool marginals, row_extra;
  int scale_mode, digit5;
  bool scales, priorities, match;
};

TEST(ScratchFormatCode, EachDigitAndTheDerivedFlags) {
  const DecodeCase cases[] = {
      // code   scal   prio  var  marg   extra  mode d5 scales priors match
      {0, false, false, 0, false, false, 0, 0, false, false, false},
      {1, false, false, 1, false, false, 0, 0, false, false, false},
      {2, false, false, 2, false, false, 0, 0, false, false, false},
      {3, false, false, 3, false, false, 0, 0, false, false, false},
      {4, false, false, 4, false, false, 0, 0, false, false, false},
      {5, false, false, 5, false, false, 0, 0, false, false, false},
      {6, false, false, 0, false, false, 0, 0, false, false, false},
      {9, false, false, 0, false, false, 0, 0, false, false, false},
      {17, false, false, 0, true, false, 0, 0, false, false, false},
      {10, false, false, 0, true, false, 0, 0, false, false, false},
      {90, false, false, 0, true, false, 0, 0, false, false, false},
      {100, false, false, 0, false, true, 0, 0, false, false, false},
      {1000, false, false, 0, false, false, 1, 0, false, false, false},
      {1000, true, false, 0, false, false, 1, 0, true, false, false},
      {2000, false, false, 0, false, false, 2, 0, true, true, false},
      {3000, false, false, 0, false, false, 3, 0, true, true, false},
      {4000, true, false, 0, false, false, 4, 0, false, false, false},
      {9000, true, true, 0, false, false, 9, 0, false, true, false},
      {0, true, false, 0, false, false, 0, 0, false, false, false},
      {0, false, true, 0, false, false, 0, 0, false, true, false},
      {1003, false, true, 3, false, false, 1, 0, false, true, false},
      {10000, false, false, 0, false, false, 0, 1, false, false, false},
      {100000, false, false, 0, false, false, 0, 0, false, false, true},
      {123415, false, false, 5, true, true, 3, 2, true, true, true},
      {902104, true, false, 4, false, true, 2, 0, true, true, true},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code) + (c.scaling ? " scaling" : "") + (c.priority ? " priority" : ""));
    const ScratchFormat f = DecodeScratchFormat(c.code, c.scaling, c.priority);
    EXPECT_EQ(f.code, c.code);
    EXPECT_EQ(f.variant, c.variant);
    EXPECT_EQ(f.has_marginals, c.marginals);
    EXPECT_EQ(f.has_row_extra, c.row_extra);
    EXPECT_EQ(f.scale_mode, c.scale_mode);
    EXPECT_EQ(f.digit5, c.digit5);
    EXPECT_EQ(f.has_scales, c.scales);
    EXPECT_EQ(f.has_priorities, c.priorities);
    EXPECT_EQ(f.has_match, c.match);
  }
}

TEST(SpecialValues, NaNAndInfinitiesMapOntoTheSystemValues) {
  EXPECT_EQ(MapSpecial(kNaN), 1.0e300);
  EXPECT_EQ(MapSpecial(-kNaN), 1.0e300);
  EXPECT_EQ(MapSpecial(kInf), 3.0e300);
  EXPECT_EQ(MapSpecial(-kInf), 4.0e300);
  for (double x : {0.0, -0.0, 1.5, -2.0e300, 5.0e300, std::numeric_limits<double>::denorm_min()})
    EXPECT_EQ(std::bit_cast<std::uint64_t>(MapSpecial(x)), std::bit_cast<std::uint64_t>(x)) << x;
}

// ---------------------------------------------------------------------------------------------
// Binary records read through the scratch layer, case by case. Every case is followed by a
// sentinel record, so that a record read with a byte too many or too few shows.

class BinaryRecords : public ReaderTest {
 protected:
  std::unique_ptr<TScratchFile> Open(const std::string& payload, int code, bool scaling, bool priority) {
    const std::string path = File("rec" + std::to_string(++count_) + ".scr");
    WriteFile(path, Blocked(code % 10, payload));
    std::unique_ptr<TScratchFile> f;
    EXPECT_EQ(TScratchFile::OpenMod(path, code, scaling, priority, false, &f), 0);
    return f;
  }
  int count_ = 0;
};

struct RowCase {
  const char* what;
  int code;
  Bytes bytes;
  ScratchRow want;
};

ScratchRow RowOf(int type, double rhs, double level, double marginal, double scale, int basis, int match) {
  ScratchRow r;
  r.type = type, r.rhs = rhs, r.level = level, r.marginal = marginal, r.scale = scale;
  r.basis = static_cast<std::uint8_t>(basis), r.match = match;
  return r;
}

void ExpectRow(const ScratchRow& got, const ScratchRow& want) {
  EXPECT_EQ(got.type, want.type);
  EXPECT_SAME(got.rhs, want.rhs);
  EXPECT_SAME(got.level, want.level);
  EXPECT_SAME(got.marginal, want.marginal);
  EXPECT_SAME(got.scale, want.scale);
  EXPECT_EQ(got.basis, want.basis);
  EXPECT_EQ(got.match, want.match);
}

TEST_F(BinaryRecords, RowFlagByteAndGByte) {
  constexpr int kAll = 100111;  // marginals, row extra, match: every row has a G byte
  constexpr int kPlain = 1;
  const RowCase cases[] = {
      {"defaults", kAll, Bytes().U8(0x00).U8(0x00), RowOf(0, 0, 0, 0, 1, 0, 0)},
      {"type 1, rhs code 1", kAll, Bytes().U8(0x01 | 1 << 3).U8(0), RowOf(1, 1, 0, 0, 1, 0, 0)},
      {"type 2, rhs code 2", kAll, Bytes().U8(0x02 | 2 << 3).U8(0), RowOf(2, -1, 0, 0, 1, 0, 0)},
      {"type 3, rhs real", kAll, Bytes().U8(0x03 | 3 << 3).F64(-7.5).U8(0), RowOf(3, -7.5, 0, 0, 1, 0, 0)},
      {"bit 7: type 4", kAll, Bytes().U8(0x80).U8(0), RowOf(4, 0, 0, 0, 1, 0, 0)},
      {"bit 7: type 5", kAll, Bytes().U8(0x81).U8(0), RowOf(5, 0, 0, 0, 1, 0, 0)},
      {"bit 7: type 6", kAll, Bytes().U8(0x82).U8(0), RowOf(6, 0, 0, 0, 1, 0, 0)},
      {"level real", kAll, Bytes().U8(0x20).F64(11).U8(0), RowOf(0, 0, 11, 0, 1, 0, 0)},
      {"basis 1 brings the marginal", kAll, Bytes().U8(0x04).F64(2.5).U8(0), RowOf(0, 0, 0, 2.5, 1, 1, 0)},
      {"scale real", kAll, Bytes().U8(0x40).F64(4).U8(0), RowOf(0, 0, 0, 0, 4, 0, 0)},
      {"rhs, level, marginal, scale in order", kAll,
       Bytes().U8(0x04 | 3 << 3 | 0x20 | 0x40).F64(1.25).F64(2).F64(3).F64(4).U8(0), RowOf(0, 1.25, 2, 3, 4, 1, 0)},
      {"extra: one byte", kAll, Bytes().U8(0).U8(0x01).U8(0xFF), RowOf(0, 0, 0, 0, 1, 0, 0)},
      {"extra: two bytes", kAll, Bytes().U8(0).U8(0x02).I16(-300), RowOf(0, 0, 0, 0, 1, 0, 0)},
      {"extra: four bytes", kAll, Bytes().U8(0).U8(0x03).I32(-70000), RowOf(0, 0, 0, 0, 1, 0, 0)},
      {"match code 1 is -1", kAll, Bytes().U8(0).U8(1 << 2), RowOf(0, 0, 0, 0, 1, 0, -1)},
      {"match code 2 is 0", kAll, Bytes().U8(0).U8(2 << 2), RowOf(0, 0, 0, 0, 1, 0, 0)},
      {"match code 3: int32", kAll, Bytes().U8(0).U8(3 << 2).I32(40000), RowOf(0, 0, 0, 0, 1, 0, 40000)},
      {"extra before match", kAll, Bytes().U8(0).U8(0x02 | 3 << 2).I16(5).I32(-3), RowOf(0, 0, 0, 0, 1, 0, -3)},
      {"no marginals: basis 1 reads none", kPlain, Bytes().U8(0x04), RowOf(0, 0, 0, 0, 1, 1, 0)},
      {"no G byte without extra and match", kPlain, Bytes().U8(0x82 | 1 << 3), RowOf(6, 1, 0, 0, 1, 0, 0)},
      {"G byte for match alone", 100001, Bytes().U8(0).U8(1 << 2), RowOf(0, 0, 0, 0, 1, 0, -1)},
      {"G byte for extra alone", 101, Bytes().U8(0).U8(0x01).U8(0x7F), RowOf(0, 0, 0, 0, 1, 0, 0)},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.what);
    const bool g = c.code / 100 % 10 != 0 || c.code / 100000 % 10 != 0;
    Bytes sentinel;
    sentinel.U8(0x03 | 3 << 3).F64(9.25);
    if (g) sentinel.U8(0);
    std::unique_ptr<TScratchFile> f = Open(Bytes().Add(c.bytes).Add(sentinel).str(), c.code, true, false);
    ASSERT_TRUE(f);
    ScratchRow r, s;
    ASSERT_TRUE(f->ReadRow(&r)) << f->error();
    ExpectRow(r, c.want);
    ASSERT_TRUE(f->ReadRow(&s)) << f->error();
    ExpectRow(s, RowOf(3, 9.25, 0, 0, 1, 0, 0));
    EXPECT_TRUE(f->AtEnd());
  }
}

struct ColumnCase {
  const char* what;
  int code;
  bool priority;
  Bytes bytes;
  ScratchColumn want;
};

ScratchColumn ColOf(int count, double lower, double level, double upper, int type, int sos, double priority = 1,
                    double marginal = 0, double scale = 1, int basis = 0) {
  ScratchColumn c;
  c.count = count, c.lower = lower, c.level = level, c.upper = upper, c.type = type, c.sos = sos;
  c.priority = priority, c.marginal = marginal, c.scale = scale, c.basis = static_cast<std::uint8_t>(basis);
  return c;
}

void ExpectColumn(const ScratchColumn& got, const ScratchColumn& want) {
  EXPECT_EQ(got.count, want.count);
  EXPECT_SAME(got.lower, want.lower);
  EXPECT_SAME(got.level, want.level);
  EXPECT_SAME(got.upper, want.upper);
  EXPECT_EQ(got.type, want.type);
  EXPECT_EQ(got.sos, want.sos);
  EXPECT_SAME(got.priority, want.priority);
  EXPECT_SAME(got.marginal, want.marginal);
  EXPECT_SAME(got.scale, want.scale);
  EXPECT_EQ(got.basis, want.basis);
}

TEST_F(BinaryRecords, ColumnBytesCodesAndOptionalReals) {
  constexpr int kPlain = 1;
  constexpr int kAll = 2011;  // marginals, scale mode 2: scales and priorities
  const ColumnCase cases[] = {
      {"lower 0, upper 0", kPlain, false, Bytes().U8(0x00).U8(0x00).U8(0).U8(0).U8(0), ColOf(0, 0, 0, 0, 0, 0)},
      {"lower 1, upper 1", kPlain, false, Bytes().U8(0x10).U8(0x01).U8(0).U8(0).U8(0), ColOf(0, 1, 0, 1, 0, 0)},
      {"lower -1, upper -1", kPlain, false, Bytes().U8(0x20).U8(0x02).U8(0).U8(0).U8(0), ColOf(0, -1, 0, -1, 0, 0)},
      {"lower -INF, upper +INF", kPlain, false, Bytes().U8(0x30).U8(0x03).U8(0).U8(0).U8(0),
       ColOf(0, kMinusInf, 0, kPlusInf, 0, 0)},
      {"lower, level, upper reals in order", kPlain, false,
       Bytes().U8(0x70).U8(0x04 | 0x20).U8(0).U8(0).F64(1).F64(2).F64(3).U8(0), ColOf(0, 1, 2, 3, 0, 0)},
      {"lower code 4: lower = upper", kPlain, false, Bytes().U8(0x40).U8(0x04).U8(2).U8(0).F64(5).U8(0),
       ColOf(0, 5, 0, 5, 2, 0)},
      {"level rule 1 after lower code 4", kPlain, false, Bytes().U8(0x41).U8(0x04).U8(0).U8(0).F64(5).U8(0),
       ColOf(0, 5, 5, 5, 0, 0)},
      {"level rule 2", kPlain, false, Bytes().U8(0x12).U8(0x03).U8(0).U8(0).U8(0), ColOf(0, 1, kPlusInf, kPlusInf, 0, 0)},
      {"level rule over the level real", kPlain, false, Bytes().U8(0x21).U8(0x21).U8(0).U8(0).F64(7).U8(0),
       ColOf(0, -1, -1, 1, 0, 0)},
      {"count width 0", kPlain, false, Bytes().U8(0 << 2).U8(0x03).U8(0).U8(100).U8(0), ColOf(100, 0, 0, kPlusInf, 0, 0)},
      {"count width 1", kPlain, false, Bytes().U8(1 << 2).U8(0x03).U8(0).I16(300).U8(0), ColOf(300, 0, 0, kPlusInf, 0, 0)},
      {"count width 2", kPlain, false, Bytes().U8(2 << 2).U8(0x03).U8(0).I32(70000).U8(0),
       ColOf(70000, 0, 0, kPlusInf, 0, 0)},
      {"sos width 0, negative", kPlain, false, Bytes().U8(0).U8(0x03 | 0 << 3).U8(3).U8(0).U8(0xFE),
       ColOf(0, 0, 0, kPlusInf, 3, -2)},
      {"sos width 1, negative", kPlain, false, Bytes().U8(0).U8(0x03 | 1 << 3).U8(4).U8(0).I16(-300),
       ColOf(0, 0, 0, kPlusInf, 4, -300)},
      {"sos width 2, negative", kPlain, false, Bytes().U8(0).U8(0x03 | 2 << 3).U8(3).U8(0).I32(-70000),
       ColOf(0, 0, 0, kPlusInf, 3, -70000)},
      {"type byte 6", kPlain, false, Bytes().U8(0).U8(0x03).U8(6).U8(0).U8(0), ColOf(0, 0, 0, kPlusInf, 6, 0)},
      {"basis without marginals", kPlain, false, Bytes().U8(0).U8(0x43).U8(0).U8(0).U8(0),
       ColOf(0, 0, 0, kPlusInf, 0, 0, 1, 0, 1, 1)},
      {"continuous, basis 0: scale only", kAll, false, Bytes().U8(0).U8(0x03).U8(0).U8(0).U8(0).F64(0.5),
       ColOf(0, 0, 0, kPlusInf, 0, 0, 1, 0, 0.5, 0)},
      {"continuous, basis 1: marginal, scale", kAll, false,
       Bytes().U8(0).U8(0x43).U8(0).U8(0).U8(0).F64(-4).F64(0.5), ColOf(0, 0, 0, kPlusInf, 0, 0, 1, -4, 0.5, 1)},
      {"integer: priority, marginal, scale", kAll, false,
       Bytes().U8(0).U8(0x43).U8(2).U8(0).U8(0).F64(3).F64(-4).F64(0.25), ColOf(0, 0, 0, kPlusInf, 2, 0, 3, -4, 0.25, 1)},
      {"everything", kAll, false,
       Bytes().U8(0x70 | 1 << 2).U8(0x04 | 1 << 3 | 0x20 | 0x40).U8(1).I16(-2).F64(0.5).F64(0.75).F64(1).I16(1000)
           .F64(8).F64(9).F64(10),
       ColOf(-2, 0.5, 0.75, 1, 1, 1000, 8, 9, 10, 1)},
      {"priority flag alone: binary column", kPlain, true, Bytes().U8(0).U8(0x01).U8(1).U8(0).U8(0).F64(6),
       ColOf(0, 0, 0, 1, 1, 0, 6)},
      {"priority flag alone: continuous column", kPlain, true, Bytes().U8(0).U8(0x01).U8(0).U8(0).U8(0),
       ColOf(0, 0, 0, 1, 0, 0)},
  };
  for (const ColumnCase& c : cases) {
    SCOPED_TRACE(c.what);
    const bool scales = c.code == kAll;
    Bytes sentinel;
    sentinel.U8(0x70).U8(0x03).U8(0).U8(0).F64(0.125).U8(0);
    if (scales) sentinel.F64(1.5);
    std::unique_ptr<TScratchFile> f = Open(Bytes().Add(c.bytes).Add(sentinel).str(), c.code, false, c.priority);
    ASSERT_TRUE(f);
    ScratchColumn col, s;
    ASSERT_TRUE(f->ReadColumn(&col)) << f->error();
    ExpectColumn(col, c.want);
    ASSERT_TRUE(f->ReadColumn(&s)) << f->error();
    ExpectColumn(s, ColOf(0, 0.125, 0, kPlusInf, 0, 0, 1, 0, scales ? 1.5 : 1));
    EXPECT_TRUE(f->AtEnd());
  }
}

TEST_F(BinaryRecords, JacobianEntryByte) {
  struct Case {
    const char* what;
    Bytes bytes;
    int row;
    double value;
    bool nonlinear;
  } const cases[] = {
      {"value code 0", Bytes().U8(0x00).U8(5), 5, 0, false},
      {"value code 1", Bytes().U8(0x04).U8(5), 5, 1, false},
      {"value code 2", Bytes().U8(0x08).U8(5), 5, -1, false},
      {"value code 3: real", Bytes().U8(0x0C).U8(5).F64(-2.5), 5, -2.5, false},
      {"nonlinear flag", Bytes().U8(0x14).U8(7), 7, 1, true},
      {"row width 1", Bytes().U8(0x01 | 0x0C).I16(300).F64(0.5), 300, 0.5, false},
      {"row width 2", Bytes().U8(0x02 | 0x10).I32(70000), 70000, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<TScratchFile> f = Open(Bytes().Add(c.bytes).U8(0x0C).U8(2).F64(0.75).str(), 1, false, false);
    ASSERT_TRUE(f);
    std::int32_t row = 0;
    double v = 99;
    bool nl = !c.nonlinear;
    ASSERT_TRUE(f->ReadJac(&row, &v, &nl)) << f->error();
    EXPECT_EQ(row, c.row);
    EXPECT_EQ(v, c.value);
    EXPECT_EQ(nl, c.nonlinear);
    ASSERT_TRUE(f->ReadJac(&row, &v, &nl)) << f->error();
    EXPECT_EQ(row, 2);
    EXPECT_EQ(v, 0.75);
    EXPECT_FALSE(nl);
  }
}

TEST_F(BinaryRecords, CompactIntegersOfInstructions) {
  struct Case {
    int width;
    Bytes bytes;
    std::int32_t value;
  } const cases[] = {
      {0, Bytes().U8(0xFF), -1},
      {0, Bytes().U8(0x7F), 127},
      {0, Bytes().U8(0x80), -128},
      {0, Bytes().U8(0x00), 0},
      {1, Bytes().U8(0xFF).U8(0xFF), -1},
      {1, Bytes().U8(0x00).U8(0x80), -32768},
      {1, Bytes().U8(0xFF).U8(0x7F), 32767},
      {1, Bytes().U8(0x80).U8(0x00), 128},
      {2, Bytes().U8(0xFF).U8(0xFF).U8(0xFF).U8(0xFF), -1},
      {2, Bytes().U8(0x00).U8(0x00).U8(0x00).U8(0x80), std::numeric_limits<std::int32_t>::min()},
      {2, Bytes().U8(0x78).U8(0x56).U8(0x34).U8(0x12), 0x12345678},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("width " + std::to_string(c.width) + " value " + std::to_string(c.value));
    std::unique_ptr<TScratchFile> f =
        Open(Bytes().U8(22).U8(c.width).Add(c.bytes).U8(3).U8(0).U8(9).str(), 1, false, false);
    ASSERT_TRUE(f);
    std::uint8_t op = 0;
    std::int32_t operand = 0;
    ASSERT_TRUE(f->ReadInstr(&op, &operand)) << f->error();
    EXPECT_EQ(op, 22);
    EXPECT_EQ(operand, c.value);
    ASSERT_TRUE(f->ReadInstr(&op, &operand)) << f->error();
    EXPECT_EQ(op, 3);
    EXPECT_EQ(operand, 9);
  }
  std::unique_ptr<TScratchFile> f = Open(Bytes().U8(22).U8(3).U8(1).U8(0).U8(0).U8(0).str(), 1, false, false);
  ASSERT_TRUE(f);
  std::uint8_t op = 0;
  std::int32_t operand = 0;
  EXPECT_FALSE(f->ReadInstr(&op, &operand));
  EXPECT_NE(f->error().find("width code 3"), std::string::npos) << f->error();
}

TEST_F(BinaryRecords, SpecialValuesInRealsAreMapped) {
  std::unique_ptr<TScratchFile> f =
      Open(Bytes().F64(kNaN).F64(kInf).F64(-kInf).F64(-kNaN).F64(5.0e300).str(), 1, false, false);
  ASSERT_TRUE(f);
  double v[5];
  for (double& x : v) ASSERT_TRUE(f->ReadReal(&x)) << f->error();
  EXPECT_EQ(v[0], kUndf);
  EXPECT_EQ(v[1], kPlusInf);
  EXPECT_EQ(v[2], kMinusInf);
  EXPECT_EQ(v[3], kUndf);
  EXPECT_EQ(v[4], kEps);
}

TEST_F(ReaderTest, TextRealsAndTheirSpecialValues) {
  const struct {
    const char* token;
    bool ok;
    double value;
  } cases[] = {
      {"1.5", true, 1.5},          {"+1.5", true, 1.5},        {"-2.25E-3", true, -2.25e-3},
      {"1e-400", true, 0},         {"nan", true, kUndf},       {"NaN", true, kUndf},
      {"-nan", true, kUndf},       {"inf", true, kPlusInf},    {"Inf", true, kPlusInf},
      {"-inf", true, kMinusInf},   {"1e400", true, kPlusInf},  {"-1e400", true, kMinusInf},
      {"5e300", true, kEps},       {"3E300", true, kPlusInf},  {"0", true, 0},
      {"abc", false, 0},           {"1.5x", false, 0},         {"+", false, 0},
      {"--1", false, 0},           {"1e400x", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    WriteFile(File("reals.scr"), std::string("  ") + c.token + " \n7\n");
    std::unique_ptr<TScratchFile> f;
    ASSERT_EQ(TScratchFile::OpenMod(File("reals.scr"), 0, false, false, false, &f), 0);
    double v = -1;
    ASSERT_EQ(f->ReadReal(&v), c.ok) << f->error();
    if (!c.ok) {
      EXPECT_NE(f->error().find(std::string("bad number \"") + c.token + "\" in line 1"), std::string::npos) << f->error();
      continue;
    }
    EXPECT_EQ(v, c.value);
    ASSERT_TRUE(f->ReadReal(&v)) << f->error();
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(f->AtEnd());
  }
}

// ---------------------------------------------------------------------------------------------
// Whole hand-laid instances, one small model per variant.

// What every fixture below holds (rows 1..3 and columns 1..3 of a model; the binary fixture adds
// rows for a column whose entries cross block boundaries).
void ExpectFixtureRowsAndColumns(const ModelInstance& mi, bool text) {
  // Rows: the objective row; an =B= row with everything; a row with match -1.
  EXPECT_EQ(mi.row_type[1], 3);
  EXPECT_EQ(mi.row_rhs[1], 0);
  EXPECT_EQ(mi.row_marginal[1], 0);
  EXPECT_EQ(mi.row_basis[1], 0);
  EXPECT_EQ(mi.row_match[1], 0);
  EXPECT_EQ(mi.row_scale[1], 1);
  EXPECT_EQ(mi.row_type[2], 6);
  EXPECT_EQ(mi.row_rhs[2], 12.5);
  EXPECT_EQ(mi.row_marginal[2], -1.5);
  EXPECT_EQ(mi.row_basis[2], 1);
  EXPECT_EQ(mi.row_match[2], 3);
  EXPECT_EQ(mi.row_scale[2], 2);
  EXPECT_EQ(mi.row_type[3], 1);
  EXPECT_EQ(mi.row_rhs[3], -1);
  // The text layout carries a row marginal whatever the basis flag; the binary one only with
  // basis flag 1.
  EXPECT_EQ(mi.row_marginal[3], text ? 0.5 : 0);
  EXPECT_EQ(mi.row_basis[3], 0);
  EXPECT_EQ(mi.row_match[3], -1);
  EXPECT_EQ(mi.row_scale[3], 1);
  EXPECT_TRUE(mi.row_level.empty());
  EXPECT_TRUE(mi.row_status.empty());
  EXPECT_TRUE(mi.row_bstat.empty());
  EXPECT_TRUE(mi.col_status.empty());
  EXPECT_TRUE(mi.col_bstat.empty());

  // Column 1: continuous, lower 0, upper +INF, level 2.5, basis 1 with its marginal.
  EXPECT_EQ(mi.col_type[1], 0);
  EXPECT_EQ(mi.col_lower[1], 0);
  EXPECT_EQ(mi.col_level[1], 2.5);
  EXPECT_EQ(mi.col_upper[1], kPlusInf);
  EXPECT_EQ(mi.col_marginal[1], 0.75);
  EXPECT_EQ(mi.col_basis[1], 1);
  EXPECT_EQ(mi.col_priority[1], 1);
  EXPECT_EQ(mi.col_scale[1], 1.25);
  EXPECT_EQ(mi.col_bound_class[1], 2);
  EXPECT_EQ(mi.col_sos[1], 2);  // sign class of lower 0
  // Column 2: integer, fixed at 7 (the level follows the lower bound), SOS -300, priority 4.5,
  // basis 0: the marginal is 0.
  EXPECT_EQ(mi.col_type[2], 2);
  EXPECT_EQ(mi.col_lower[2], 7);
  EXPECT_EQ(mi.col_level[2], 7);
  EXPECT_EQ(mi.col_upper[2], 7);
  EXPECT_EQ(mi.col_marginal[2], 0);
  EXPECT_EQ(mi.col_basis[2], 0);
  EXPECT_EQ(mi.col_sos[2], -300);
  EXPECT_EQ(mi.col_priority[2], 4.5);
  EXPECT_EQ(mi.col_scale[2], 0.5);
  EXPECT_EQ(mi.col_bound_class[2], 4);
  EXPECT_TRUE(ColumnList(mi, 2).empty());
  // Column 3: binary, level at the upper bound, priority 2.
  EXPECT_EQ(mi.col_type[3], 1);
  EXPECT_EQ(mi.col_lower[3], 0);
  EXPECT_EQ(mi.col_level[3], 1);
  EXPECT_EQ(mi.col_upper[3], 1);
  EXPECT_EQ(mi.col_priority[3], 2);
  EXPECT_EQ(mi.col_scale[3], 3);
  EXPECT_EQ(mi.col_sos[3], 0);
  EXPECT_EQ(mi.col_bound_class[3], 1);
  EXPECT_EQ(mi.num_fixed, 1);
}

// The instruction code of the fixtures: row 2 is positions 1..5, row 1 positions 6..8.
void ExpectFixtureCode(const ModelInstance& mi) {
  const std::vector<std::pair<int, int>> want = {{18, 0}, {1, 1}, {2, 2}, {21, 0x10A}, {3, 2}, {18, 0}, {1, 3}, {3, 1}};
  ASSERT_EQ(mi.code.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_EQ(mi.code[k].opcode, want[k].first) << "position " << k + 1;
    EXPECT_EQ(mi.code[k].operand, want[k].second) << "position " << k + 1;
  }
  EXPECT_EQ(mi.row_code_start[2], 1);
  EXPECT_EQ(mi.row_code_end[2], 5);
  EXPECT_EQ(mi.row_code_start[1], 6);
  EXPECT_EQ(mi.row_code_end[1], 8);
  EXPECT_EQ(mi.row_code_start[3], 0);
  EXPECT_EQ(mi.row_code_end[3], 0);
  for (int fn = 0; fn < 128; ++fn) EXPECT_EQ(mi.function_use_count[static_cast<std::size_t>(fn)], fn == 10 ? 1 : 0) << fn;
}

TEST_F(ReaderTest, TextFixture) {
  WriteFile(File("instr.scr"),
            "$NL CODE\n"
            "18 0\n1 1\n2 2\n21 266\n3 2\n"
            "18 0\n1 3\n3 1\n"
            "$VARIABLE RELOCATION TABLE\n"
            "0\n"
            "$CONSTANT POOL\n"
            "4\n"
            "1.5\n"
            "-2.25E-3\n"
            "NaN\n"
            "Inf\n");
  // Rows: type rhs basis level marginal extra scale match. Columns: count lower level upper
  // basis type sos marginal scale, a priority line for non-continuous columns, the entries.
  WriteFile(File("matrix.scr"),
            "* a header line, skipped\n"
            "3 0 0 0 0 0 1 0\n"
            "6 12.5 1 -8 -1.5 -100 2 3\n"
            "1 -1 0 99 0.5 7 1 -1\n"
            "3 0 2.5 inf 1 0 0 0.75 1.25\n"
            "1 4 0\n"
            "3 -1 1\n"
            "2 1 0\n"
            "0 7 7 7 0 2 -300 9 0.5\n"
            "4.5\n"
            "2 0 1 1 0 1 0 0 3\n"
            "2\n"
            "1 1.5 0\n"
            "3 3.5 1\n"
            "0 -inf NaN 0 0 0 0 0 1\n");
  Control(3, 4, 8, 4, 102110, 1, 0, 1, 3);
  ASSERT_EQ(read_model_instance(), 0) << Log();
  const ModelInstance& mi = Instance();
  ExpectFixtureRowsAndColumns(mi, true);
  ExpectFixtureCode(mi);
  EXPECT_EQ(ColumnList(mi, 1), (std::vector<Entry>{{1, 4, false}, {3, -1, true}, {2, 1, false}}));
  EXPECT_EQ(mi.pool, (std::vector<double>{1.5, -2.25e-3, kUndf, kPlusInf}));
  EXPECT_EQ(ColumnList(mi, 3), (std::vector<Entry>{{1, 1.5, false}, {3, 3.5, true}}));
  // Column 4: lower -INF, upper 0, the NaN level arrives as UNDF.
  EXPECT_EQ(mi.col_lower[4], kMinusInf);
  EXPECT_EQ(mi.col_level[4], kUndf);
  EXPECT_EQ(mi.col_upper[4], 0);
  EXPECT_EQ(mi.col_bound_class[4], 3);
  EXPECT_EQ(mi.col_sos[4], 1);
  EXPECT_EQ(mi.obj_row_nonzeros, 2);
  EXPECT_EQ(mi.obj_var_coef, 1.5);
  EXPECT_EQ(Log(), "");
}

class BinaryFixture : public ReaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(BinaryFixture, ReadsEveryFieldAcrossBlockBoundaries) {
  const int variant = GetParam();
  // Instructions: opcode, width code, operand; then the relocation count, the pool count and
  // 120 pool reals, which cross the block boundaries at different offsets in each variant.
  Bytes in;
  in.U8(18).U8(0).U8(0).U8(1).U8(1).I16(1).U8(2).U8(2).I32(2).U8(21).U8(1).I16(0x10A).U8(3).U8(0).U8(2);
  in.U8(18).U8(0).U8(0).U8(1).U8(0).U8(3).U8(3).U8(0).U8(1);
  in.I32(0).I32(120);
  for (int k = 1; k <= 120; ++k) in.F64(k * 1.5 + 0.1);
  WriteFile(File("instr.scr"), Blocked(variant, in.str()));

  constexpr int m = 100;
  Bytes mx;
  for (int k = 1; k <= 5; ++k) mx.F64(k);  // the header reals, ignored
  // Row 1: =N=. Row 2: =B=, rhs real, basis 1 with marginal, scale, extra byte, match int32.
  // Row 3: =G=, rhs -1, level real (dropped), match -1. Rows 4..100: defaults.
  mx.U8(0x03).U8(0x00);
  mx.U8(0x80 | 0x02 | 3 << 3 | 0x04 | 0x40).F64(12.5).F64(-1.5).F64(2).U8(0x01 | 3 << 2).U8(0x9C).I32(3);
  mx.U8(0x01 | 2 << 3 | 0x20).F64(99).U8(1 << 2);
  for (int i = 4; i <= m; ++i) mx.U8(0x00).U8(0x00);
  // Column 1: level real, basis 1, marginal, scale; entries in rows 1, 3, 2.
  mx.U8(0x00).U8(0x03 | 0x20 | 0x40).U8(0).U8(3).F64(2.5).U8(0).F64(0.75).F64(1.25);
  mx.U8(0x0C).U8(1).F64(4).U8(0x08 | 0x10).U8(3).U8(0x04).U8(2);
  // Column 2: integer, lower code 4, upper real 7, level rule 1, SOS -300, priority 4.5, scale.
  mx.U8(0x01 | 4 << 4).U8(0x04 | 1 << 3).U8(2).U8(0).F64(7).I16(-300).F64(4.5).F64(0.5);
  // Column 3: binary, level rule 2, 100 entries with reals, every third nonlinear.
  mx.U8(0x02).U8(0x01).U8(1).U8(m).U8(0).F64(2).F64(3);
  for (int i = 1; i <= m; ++i) mx.U8(0x0C | (i % 3 == 0 ? 0x10 : 0)).U8(i).F64(i + 0.5);
  WriteFile(File("matrix.scr"), Blocked(variant, mx.str()));
  ASSERT_GT(mx.str().size(), 800u);

  Control(m, 3, 8, 120, variant + 102110, 1, 0, 1, 3);
  ASSERT_EQ(read_model_instance(), 0) << Log();
  const ModelInstance& mi = Instance();
  ExpectFixtureRowsAndColumns(mi, false);
  ExpectFixtureCode(mi);
  EXPECT_EQ(ColumnList(mi, 1), (std::vector<Entry>{{1, 4, false}, {3, -1, true}, {2, 1, false}}));
  ASSERT_EQ(mi.pool.size(), 120u);
  for (int k = 1; k <= 120; ++k) EXPECT_EQ(mi.pool[static_cast<std::size_t>(k - 1)], k * 1.5 + 0.1) << k;
  std::vector<Entry> col3;
  for (int i = 1; i <= m; ++i) col3.push_back({i, i + 0.5, i % 3 == 0});
  EXPECT_EQ(ColumnList(mi, 3), col3);
  for (int i = 4; i <= m; ++i) {
    EXPECT_EQ(mi.row_type[static_cast<std::size_t>(i)], 0);
    EXPECT_EQ(mi.row_count[static_cast<std::size_t>(i)], 1);
  }
  EXPECT_EQ(RowList(mi, 2, false), (std::vector<Entry>{{1, 1, false}, {3, 2.5, false}}));
  EXPECT_EQ(RowList(mi, 3, true), (std::vector<Entry>{{1, -1, true}, {3, 3.5, true}}));
  EXPECT_EQ(mi.obj_row_nonzeros, 2);
  EXPECT_EQ(mi.obj_var_coef, 1.5);
  EXPECT_EQ(Log(), "");
}

INSTANTIATE_TEST_SUITE_P(Variants, BinaryFixture, ::testing::Values(1, 2, 3, 4),
                         [](const auto& p) { return "variant" + std::to_string(p.param); });

class LvxFixture : public ReaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(LvxFixture, ReadsTheSymbolsWithTheirDefaults) {
  const int dim = GetParam();  // keys of the "variable" symbol: 2 (all linear) or 3
  WriteLvxFile(File("instr.scr"), 300,
               {{"solve", 4,
                 {{{1, 1, 18, 1}, 0}, {{2, 1, 1, 2}, 0}, {{3, 1, 2, 3}, 0}, {{4, 1, 21, 0x10B}, 0},
                  {{5, 1, 3, 3}, 0}, {{6, 1, 18, 1}, 0}, {{7, 1, 1, 4}, 0}, {{8, 1, 3, 2}, 0}}},
                {"scalar", 1, {{{1}, 1.5}, {{2}, kPlusInf}, {{3}, kEps}, {{4}, kMinusInf}}}});
  auto var = [dim](int j, int attr, bool nl = false) {
    return dim == 3 ? std::vector<int>{j, attr, nl ? 2 : 1} : std::vector<int>{j, attr};
  };
  WriteLvxFile(File("matrix.scr"), 40,
               {{"equation", 2,
                 {{{1, 1}, 3},
                  {{2, 1}, 6}, {{2, 2}, 12.5}, {{2, 3}, 99}, {{2, 4}, -1.5}, {{2, 5}, 2}, {{2, 6}, 3}, {{2, 7}, 1},
                  {{3, 1}, 1}, {{3, 2}, -1}, {{3, 6}, -1}, {{4, 1}, 2}, {{4, 2}, kEps}}},
                {"variable", dim,
                 {{var(1, 1), 0}, {var(1, 3), 2.5}, {var(1, 7), 0.75}, {var(1, 8), 1.25}, {var(1, 9), 3},
                  {var(1, 10), 1}, {var(1, 33), 4}, {var(1, 34), 1}, {var(1, 35, true), -1},
                  {var(2, 1), 2}, {var(2, 2), 7}, {var(2, 3), 7}, {var(2, 4), 7}, {var(2, 5), -300},
                  {var(2, 6), 4.5}, {var(2, 8), 0.5},
                  {var(3, 1), 1}, {var(3, 3), 1}, {var(3, 6), 2}, {var(3, 8), 3}, {var(3, 9), 2},
                  {var(3, 33), 1.5}, {var(3, 35, true), 3.5},
                  {var(4, 1), 0}, {var(4, 2), -5}, {var(4, 3), kEps},
                  {var(5, 1), 4}, {var(5, 5), 2.6}}}});
  Control(4, 5, 8, 4, 5, 1, 0, 1, 3);
  ASSERT_EQ(read_model_instance(), 0) << Log();
  const ModelInstance& mi = Instance();
  ExpectFixtureCode(mi);
  EXPECT_EQ(mi.pool, (std::vector<double>{1.5, kPlusInf, 0, kMinusInf}));
  // Rows 1..3 as in the other fixtures, except that the LVX variant keeps the row marginal
  // whatever the basis flag (row 3 has none here).
  ExpectFixtureRowsAndColumns(mi, false);
  EXPECT_EQ(mi.row_type[4], 2);
  EXPECT_EQ(mi.row_rhs[4], 0);  // EPS is read as 0
  // Column 1 has a nonlinear entry only with three keys.
  EXPECT_EQ(ColumnList(mi, 1), (std::vector<Entry>{{1, 4, false}, {2, 1, false}, {3, -1, dim == 3}}));
  EXPECT_EQ(ColumnList(mi, 3), (std::vector<Entry>{{1, 1.5, false}, {3, 3.5, dim == 3}}));
  // Without an upper bound record a binary column has upper 1 and any other +INF.
  EXPECT_EQ(mi.col_upper[3], 1);
  EXPECT_EQ(mi.col_upper[4], kPlusInf);
  EXPECT_EQ(mi.col_upper[5], kPlusInf);
  EXPECT_EQ(mi.col_lower[4], -5);
  EXPECT_EQ(mi.col_level[4], 0);
  EXPECT_EQ(mi.col_scale[4], 1);
  EXPECT_EQ(mi.col_priority[4], 1);
  EXPECT_EQ(mi.col_type[5], 4);
  EXPECT_EQ(mi.col_sos[5], 3);  // integer attributes are rounded
  EXPECT_EQ(mi.row_nl_head[2], 0);
  EXPECT_EQ(RowList(mi, 3, true).size(), dim == 3 ? 2u : 0u);
  EXPECT_EQ(mi.obj_row_nonzeros, 2);
  EXPECT_EQ(mi.obj_var_coef, 1.5);
  EXPECT_EQ(Log(), "");
}

INSTANTIATE_TEST_SUITE_P(Keys, LvxFixture, ::testing::Values(2, 3),
                         [](const auto& p) { return std::to_string(p.param) + "keys"; });

TEST_F(ReaderTest, LvxReadingLeavesNoProblemReportOnStandardOutput) {
  WriteLvxFile(File("matrix.scr"), 40,
               {{"equation", 2, {{{1, 1}, 0}}}, {"variable", 2, {{{1, 1}, 0}, {{1, 9}, 1}, {{1, 33}, 2}}}});
  WriteLvxFile(File("instr.scr"), 20, {{"solve", 4, {{{1, 1, 18, 1}, 0}, {{2, 1, 3, 2}, 0}}}, {"scalar", 1, {}}});
  Control(1, 1, 2, 0, 5);
  ::testing::internal::CaptureStdout();
  const int rc = read_model_instance();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0) << Log();
  EXPECT_EQ(out, "");
  EXPECT_TRUE(Instance().pool.empty());
}

TEST_F(ReaderTest, LvxFileHasNoFreeStandingIntegers) {
  WriteLvxFile(File("instr.scr"), 20, {{"solve", 4, {{{1, 1, 18, 1}, 0}}}, {"scalar", 1, {{{1}, 2}}}});
  std::unique_ptr<TScratchFile> f;
  ASSERT_EQ(TScratchFile::OpenMod(File("instr.scr"), 5, false, false, false, &f), 0);
  std::int32_t v = 0;
  EXPECT_FALSE(f->ReadInt(&v));
  EXPECT_NE(f->error().find("ReadInt"), std::string::npos) << f->error();
}

// ---------------------------------------------------------------------------------------------
// Round trips through the modeling system's writers.

luvo::ModelSpec RichModel() {
  luvo::ModelSpec s;
  auto row = [&s](int type, double rhs, double level, double marginal, double scale, int basis, int match, int extra) {
    luvo::RowSpec r;
    r.type = type, r.rhs = rhs, r.level = level, r.marginal = marginal, r.scale = scale;
    r.basis = basis, r.match = match, r.extra = extra;
    s.rows.push_back(r);
  };
  row(3, 0, 1.25, 2.5, 2, 1, 0, 0);
  row(0, 1, 0, -3, 0.5, 0, 2, 5);
  row(1, -1, 0, 7, 1, 1, -1, 300);
  row(2, 12.75, -4, 0, 4, 0, 40000, -70000);
  row(4, kInf, 0, 0, 1, 1, 0, 0);
  row(5, kNaN, 2, 0, 1, 0, -200, 1);
  row(6, kEps, 0, -0.5, 1, 1, 0, 0);
  while (s.rows.size() < 300) row(static_cast<int>(s.rows.size() % 3), 0.5 * static_cast<double>(s.rows.size()), 0, 0, 1, 0, 0, 0);

  auto col = [&s](int type, double lower, double level, double upper, double marginal, double priority,
                  double scale, int basis, int sos, std::vector<luvo::EntrySpec> entries) {
    luvo::ColSpec c;
    c.type = type, c.lower = lower, c.level = level, c.upper = upper, c.marginal = marginal;
    c.priority = priority, c.scale = scale, c.basis = basis, c.sos = sos, c.entries = std::move(entries);
    s.cols.push_back(c);
  };
  col(0, 0, 3.5, kPlusInf, 4, 1, 3, 1, 0, {{3, 1, true}, {1, -1, false}, {2, 0, false}, {200, 2.5, true}});
  col(1, 0, 1, 1, 6, 5, 1, 0, 0, {{1, 2.5, false}, {4, 1e-7, true}});
  col(2, -1, -1, 10, -0.5, 2.5, 0.25, 1, 0, {{5, -1, false}});
  col(0, kMinusInf, kNaN, kPlusInf, 0, 9, 1, 0, 0, {});
  col(0, 5, 5, 5, 0, 1, 1, 0, 0, {{7, 3e300, false}});
  col(3, 0, 0, 7.5, 0, 3, 1, 0, 300, {{5, -2.25, true}});
  col(4, 0, 2, 8, 1.5, 1, 1, 1, 70000, {{6, 1, false}});
  col(5, 1, 0, 100, 0, 4, 2, 0, -2, {});
  col(0, -1, 0, 0, 0, 1, 1, 0, 0, {{2, kNaN, false}});
  std::vector<luvo::EntrySpec> many;
  for (int i = 300; i >= 8; --i) many.push_back({i, i + 0.125, i % 7 == 0});
  col(6, -kInf, 0, 0, 0, 6, 1, 0, -40000, many);
  col(0, 2, 0, kInf, 0, 1, 1, 0, 0, {{1, 8, false}});

  s.code = {{18, 0}, {1, 1}, {2, 1}, {20, 10}, {3, 2}, {18, 0}, {1, 3}, {21, 0x10A}, {2, 2}, {4, 0},
            {3, 1}, {18, 40000}, {22, 300}, {20, 200}, {3, 3}};
  s.pool = {2.0, -0.5, 1e-20, kPlusInf};
  return s;
}

TEST(DescribeModel, CountsForTheControlFile) {
  luvo::ModelSpec s;
  for (int type : {0, 0, 2, 6, 3}) s.rows.push_back(luvo::RowSpec{type});
  auto col = [&s](int type, double lower, double upper, std::vector<luvo::EntrySpec> entries) {
    luvo::ColSpec c;
    c.type = type, c.lower = lower, c.upper = upper, c.entries = std::move(entries);
    s.cols.push_back(c);
  };
  col(0, 0, kPlusInf, {{1, 1, true}, {2, 3, false}});
  col(1, 1, 1, {{5, 1, false}});
  col(2, 3, 3, {});
  col(6, 0, 9, {{4, 2, true}});
  col(0, -2, -2, {});
  s.code = {{18, 0}, {1, 1}, {2, 1}, {3, 1}};
  s.pool = {1, 2};
  luvo::ControlSpec control;
  control.num_nonzeros = 99;  // replaced, not added to
  control.equ_type_count.fill(5);
  luvo::DescribeModel(s, &control);
  EXPECT_EQ(control.num_rows, 5);
  EXPECT_EQ(control.num_cols, 5);
  EXPECT_EQ(control.equ_type_count, (std::array<int, 7>{2, 0, 1, 1, 0, 0, 1}));
  EXPECT_EQ(control.var_type_count, (std::array<int, 7>{2, 1, 1, 0, 0, 0, 1}));
  EXPECT_EQ(control.fixed_type_count, (std::array<int, 7>{1, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(control.num_nonzeros, 4);
  EXPECT_EQ(control.num_nl_nonzeros, 2);
  EXPECT_EQ(control.num_instr, 4);
  EXPECT_EQ(control.num_const, 2);
}

struct RoundTripCase {
  int code;
  bool scaling, priority;
};

class RoundTrip : public ReaderTest, public ::testing::WithParamInterface<std::tuple<int, RoundTripCase>> {};

// What the reader makes of a value that the writer wrote.
double Arrives(double x, bool lvx) {
  if (lvx) return x == kEps ? 0 : std::isinf(x) ? (x > 0 ? kPlusInf : kMinusInf) : x;
  return std::isnan(x) ? kUndf : std::isinf(x) ? (x > 0 ? kPlusInf : kMinusInf) : x;
}

TEST_P(RoundTrip, WrittenModelReadsBackEqual) {
  const int variant = std::get<0>(GetParam());
  const RoundTripCase rt = std::get<1>(GetParam());
  const int code = rt.code + variant;
  const luvo::ModelSpec model = RichModel();
  luvo::ControlSpec control = luvo::DefaultControl(dir_->path(), dir_->path());
  control.alg_file_type = code;
  control.scale_opt = rt.scaling;
  control.priority_opt = rt.priority;
  luvo::DescribeModel(model, &control);
  std::string error;
  ASSERT_TRUE(luvo::WriteInstance(control, model, &error)) << error;
  if (variant >= 1 && variant <= 4) {
    Unblocked(variant, ReadFile(control.matrix_file));
    Unblocked(variant, ReadFile(control.instr_file));
  }
  Control(control.num_rows, control.num_cols, control.num_instr, control.num_const, code, rt.scaling, rt.priority, 1, 2);
  qlink::Run().ctrl.NameInstrFile = control.instr_file;
  qlink::Run().ctrl.NameMatrixFile = control.matrix_file;
  ASSERT_EQ(read_model_instance(), 0) << Log();
  const ModelInstance& mi = Instance();

  const bool lvx = variant == 5, text = variant == 0;
  const bool marginals = code / 10 % 10 != 0, match = code / 100000 % 10 != 0;
  const int mode = code / 1000 % 10;
  const bool scales = mode == 2 || mode == 3 || (mode == 1 && rt.scaling);
  const bool priorities = mode == 2 || mode == 3 || rt.priority;
  ASSERT_EQ(mi.m, 300);
  ASSERT_EQ(mi.n, static_cast<int>(model.cols.size()));
  EXPECT_EQ(mi.row_scale.size(), rt.scaling ? 301u : 0u);
  EXPECT_EQ(mi.col_scale.size(), rt.scaling ? model.cols.size() + 1 : 0u);
  EXPECT_EQ(mi.scales_unsupported, rt.scaling && mode == 0);
  for (int i = 1; i <= mi.m; ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const luvo::RowSpec& r = model.rows[static_cast<std::size_t>(i - 1)];
    const auto k = static_cast<std::size_t>(i);
    EXPECT_EQ(mi.row_type[k], r.type);
    EXPECT_SAME(mi.row_rhs[k], Arrives(r.rhs, lvx));
    const bool marginal_kept = lvx || (marginals && (text || r.basis != 0));
    EXPECT_EQ(mi.row_marginal[k], marginal_kept ? r.marginal : 0);
    EXPECT_EQ(mi.row_basis[k], r.basis);
    EXPECT_EQ(mi.row_match[k], lvx || match ? r.match : 0);
    if (rt.scaling) {
      EXPECT_EQ(mi.row_scale[k], lvx || scales ? r.scale : 1);
    }
  }
  for (int j = 1; j <= mi.n; ++j) {
    SCOPED_TRACE("column " + std::to_string(j));
    const luvo::ColSpec& c = model.cols[static_cast<std::size_t>(j - 1)];
    const auto k = static_cast<std::size_t>(j);
    EXPECT_EQ(mi.col_type[k], c.type);
    EXPECT_SAME(mi.col_lower[k], Arrives(c.lower, lvx));
    EXPECT_SAME(mi.col_level[k], Arrives(c.level, lvx));
    EXPECT_SAME(mi.col_upper[k], Arrives(c.upper, lvx));
    EXPECT_EQ(mi.col_marginal[k], lvx || (marginals && c.basis != 0) ? c.marginal : 0);
    EXPECT_EQ(mi.col_basis[k], c.basis);
    EXPECT_EQ(mi.col_priority[k], lvx || (priorities && c.type != 0) ? c.priority : 1);
    if (rt.scaling) {
      EXPECT_EQ(mi.col_scale[k], lvx || scales ? c.scale : 1);
    }
    if (c.type != 0) {
      EXPECT_EQ(mi.col_sos[k], c.sos);
    }
    std::vector<luvo::EntrySpec> order = c.entries;
    // The LVX file keeps a column's entries in key order.
    if (lvx) std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.row < b.row; });
    std::vector<Entry> want;
    for (const luvo::EntrySpec& e : order) want.push_back({e.row, Arrives(e.value, lvx), e.nonlinear});
    EXPECT_EQ(ColumnList(mi, j), want);
  }
  // Row lists follow from the column lists: ascending columns.
  std::vector<std::vector<Entry>> rows(301);
  int entries = 0;
  for (int j = 1; j <= mi.n; ++j)
    for (const Entry& e : ColumnList(mi, j)) rows[static_cast<std::size_t>(e.index)].push_back({j, e.value, e.nonlinear}), ++entries;
  EXPECT_EQ(mi.jac.size(), entries);
  for (int i = 1; i <= mi.m; ++i) {
    const auto& all = rows[static_cast<std::size_t>(i)];
    std::vector<Entry> nl;
    std::copy_if(all.begin(), all.end(), std::back_inserter(nl), [](const Entry& e) { return e.nonlinear; });
    EXPECT_EQ(RowList(mi, i, false), all) << "row " << i;
    EXPECT_EQ(RowList(mi, i, true), nl) << "row " << i;
    EXPECT_EQ(mi.row_count[static_cast<std::size_t>(i)], static_cast<int>(all.size())) << "row " << i;
  }
  ASSERT_EQ(mi.code.size(), model.code.size());
  for (std::size_t p = 0; p < model.code.size(); ++p) {
    EXPECT_EQ(mi.code[p].opcode, model.code[p].opcode) << "position " << p + 1;
    EXPECT_EQ(mi.code[p].operand, model.code[p].operand) << "position " << p + 1;
  }
  ASSERT_EQ(mi.pool.size(), model.pool.size());
  for (std::size_t p = 0; p < model.pool.size(); ++p) EXPECT_EQ(mi.pool[p], Arrives(model.pool[p], lvx));
  EXPECT_EQ(mi.obj_row_nonzeros, 3);
  EXPECT_EQ(mi.obj_var_coef, 2.5);
  EXPECT_EQ(Log(), "");
}

const RoundTripCase kRoundTrips[] = {
    {0, false, false},      {10, false, false},    {110, false, false},   {1010, true, false},
    {1000, false, false},   {2010, true, false},   {3000, false, false},  {100100, false, false},
    {0, false, true},       {103110, true, true},  {0, true, false},      {10010, true, true},
    {1000, true, true},     {100000, true, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, RoundTrip,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3, 4, 5), ::testing::ValuesIn(kRoundTrips)),
                         [](const auto& p) {
                           const RoundTripCase& c = std::get<1>(p.param);
                           return "v" + std::to_string(std::get<0>(p.param)) + "_code" + std::to_string(c.code) +
                                  (c.scaling ? "_scaling" : "") + (c.priority ? "_priority" : "");
                         });

class SmallRoundTrip : public ReaderTest, public ::testing::WithParamInterface<int> {
 protected:
  int WriteAndRead(const luvo::ModelSpec& model, int code) {
    luvo::ControlSpec control = luvo::DefaultControl(dir_->path(), dir_->path());
    control.alg_file_type = code;
    luvo::DescribeModel(model, &control);
    std::string error;
    EXPECT_TRUE(luvo::WriteInstance(control, model, &error)) << error;
    Control(control.num_rows, control.num_cols, control.num_instr, control.num_const, code, 0, 0, 1, 1);
    qlink::Run().ctrl.NameInstrFile = control.instr_file;
    qlink::Run().ctrl.NameMatrixFile = control.matrix_file;
    return read_model_instance();
  }
};

TEST_P(SmallRoundTrip, NoInstructionCodeOpensNoInstructionFile) {
  luvo::ModelSpec model;
  model.rows.resize(1);
  model.cols.resize(1);
  model.cols[0].entries = {{1, 2, false}};
  model.pool = {1.0};  // without code no instruction file is written or read
  const std::string instr = dir_->path() + "linstr.scr";
  ASSERT_EQ(WriteAndRead(model, GetParam()), 0) << Log();
  EXPECT_FALSE(test::Exists(instr));
  EXPECT_TRUE(Instance().code.empty());
  EXPECT_TRUE(Instance().pool.empty());
  EXPECT_EQ(Instance().row_code_start[1], 0);
  // Objective row with only the objective column.
  EXPECT_EQ(Instance().obj_row_nonzeros, 1);
  EXPECT_EQ(Instance().obj_var_coef, 2);
}

TEST_P(SmallRoundTrip, EmptyPool) {
  luvo::ModelSpec model;
  model.rows.resize(2);
  model.cols.resize(1);
  model.code = {{18, 0}, {1, 1}, {3, 2}};
  ASSERT_EQ(WriteAndRead(model, GetParam()), 0) << Log();
  EXPECT_EQ(Instance().code.size(), 3u);
  EXPECT_TRUE(Instance().pool.empty());
  EXPECT_EQ(Instance().row_code_start[2], 1);
  EXPECT_EQ(Instance().row_code_end[2], 3);
  EXPECT_EQ(Instance().obj_row_nonzeros, 0);
}

TEST_P(SmallRoundTrip, PoolHasTheControlFilesSize) {
  luvo::ModelSpec model;
  model.rows.resize(1);
  model.cols.resize(1);
  model.code = {{18, 0}, {2, 2}, {3, 1}};
  model.pool = {1.5, -2};
  luvo::ControlSpec control = luvo::DefaultControl(dir_->path(), dir_->path());
  control.alg_file_type = GetParam();
  luvo::DescribeModel(model, &control);
  std::string error;
  ASSERT_TRUE(luvo::WriteInstance(control, model, &error)) << error;
  // The file holds two entries, the control file counts four: entries 3 and 4 are 0.
  Control(1, 1, 3, 4, GetParam());
  qlink::Run().ctrl.NameInstrFile = control.instr_file;
  qlink::Run().ctrl.NameMatrixFile = control.matrix_file;
  ASSERT_EQ(read_model_instance(), 0) << Log();
  EXPECT_EQ(Instance().pool, (std::vector<double>{1.5, -2, 0, 0}));
}

// Files larger than what the reader buffers at once: items cross the buffer refills.
TEST_P(SmallRoundTrip, LargeColumn) {
  constexpr int m = 120000;
  luvo::ModelSpec model;
  model.rows.resize(m);
  model.cols.resize(2);
  for (int i = 1; i <= m; ++i) model.cols[0].entries.push_back({i, i + 0.5, i % 5 == 0});
  model.cols[1].entries = {{m, -3, false}};
  model.cols[1].lower = -1;
  ASSERT_EQ(WriteAndRead(model, GetParam()), 0) << Log();
  const ModelInstance& mi = Instance();
  ASSERT_EQ(mi.jac.size(), m + 1);
  int i = 0;
  bool ok = true;
  for (std::int32_t e = mi.col_head[1]; e != 0; e = mi.jac[e].next_in_col) {
    ++i;
    ok = ok && mi.jac[e].row == i && mi.jac[e].value == i + 0.5 && (mi.jac[e].nonlinear != 0) == (i % 5 == 0);
  }
  EXPECT_TRUE(ok);
  EXPECT_EQ(i, m);
  EXPECT_EQ(ColumnList(mi, 2), (std::vector<Entry>{{m, -3, false}}));
  EXPECT_EQ(mi.col_lower[2], -1);
  EXPECT_EQ(mi.row_count[static_cast<std::size_t>(m)], 2);
}

INSTANTIATE_TEST_SUITE_P(Variants, SmallRoundTrip, ::testing::Values(0, 1, 2, 3, 4, 5),
                         [](const auto& p) { return "variant" + std::to_string(p.param); });

// ---------------------------------------------------------------------------------------------
// Derived data.

TEST_F(ReaderTest, DerivedDataAndInitialRunResults) {
  qlink::Run().SolveStat = qlink::Run().ModelStat = 1;
  qlink::Run().ObjVal = qlink::Run().ResUsed = 7;
  qlink::Run().IterCount = qlink::Run().ObjEst = 3;
  SolutionResults().header3 = SolutionResults().header6 = 9;
  SolutionResults().trailer.fill(4);

  luvo::ModelSpec s;
  s.rows.resize(4);
  s.rows[1].type = 3;  // the objective row 2
  struct Bounds {
    int type;
    double lower, upper;
    int bound_class, sign_class;  // -1: not continuous
  } const bounds[] = {
      {0, kMinusInf, kPlusInf, 0, 0},  // free
      {0, 1, 2, 1, 0},                 // both finite, lower neither -INF nor 0
      {0, 0, kPlusInf, 2, 2},          // lower only, lower 0
      {0, kMinusInf, 3, 3, 1},         // upper only
      {0, 5, 5, 4, 0},                 // fixed at 5
      {0, 0, 0, 4, 2},                 // fixed at 0: sign class 2 whatever the upper
      {0, -3, 0, 1, 1},                // upper 0
      {0, 0, 4, 1, 2},
      {0, kMinusInf, 0, 3, 1},
      {0, 2, kPlusInf, 2, 0},
      {2, 0, 10, 1, -1},
      {1, 0, 0, 4, -1},
  };
  for (const Bounds& b : bounds) {
    luvo::ColSpec c;
    c.type = b.type, c.lower = b.lower, c.upper = b.upper, c.level = b.lower == kMinusInf ? 0 : b.lower;
    c.sos = 11;
    s.cols.push_back(c);
  }
  // Entries arrive column by column; column 3's entries come in rows 4, 2, 1.
  s.cols[0].entries = {{2, 1.5, false}, {1, 2, true}};
  s.cols[2].entries = {{4, 3, true}, {2, -7, false}, {1, 4, true}};
  s.cols[4].entries = {{2, 0.5, true}, {3, 1, false}};
  s.code = {{1, 1}, {3, 3},                                  // before any Header: start 1
            {18, 0}, {1, 2}, {20, 10}, {20, 0x20A}, {3, 1},  // row 1: positions 3..7
            {18, 0}, {21, 127}, {22, 0x180}, {22, 64}, {21, 0}, {3, 4}};
  luvo::ControlSpec control = luvo::DefaultControl(dir_->path(), dir_->path());
  luvo::DescribeModel(s, &control);
  std::string error;
  ASSERT_TRUE(luvo::WriteInstance(control, s, &error)) << error;
  Control(4, static_cast<int>(s.cols.size()), control.num_instr, 0, 0, 0, 0, 2, 3);
  qlink::Run().ctrl.NameInstrFile = control.instr_file;
  qlink::Run().ctrl.NameMatrixFile = control.matrix_file;
  ASSERT_EQ(read_model_instance(), 0) << Log();
  const ModelInstance& mi = Instance();

  EXPECT_EQ(RowList(mi, 1, false), (std::vector<Entry>{{1, 2, true}, {3, 4, true}}));
  EXPECT_EQ(RowList(mi, 2, false), (std::vector<Entry>{{1, 1.5, false}, {3, -7, false}, {5, 0.5, true}}));
  EXPECT_EQ(RowList(mi, 2, true), (std::vector<Entry>{{5, 0.5, true}}));
  EXPECT_EQ(RowList(mi, 3, true), std::vector<Entry>{});
  EXPECT_EQ(RowList(mi, 4, false), (std::vector<Entry>{{3, 3, true}}));
  EXPECT_EQ(ColumnList(mi, 3), (std::vector<Entry>{{4, 3, true}, {2, -7, false}, {1, 4, true}}));
  EXPECT_EQ(mi.row_count, (std::vector<std::int32_t>{0, 2, 3, 1, 1}));
  EXPECT_EQ(mi.row_code_start, (std::vector<std::int32_t>{0, 3, 0, 1, 8}));
  EXPECT_EQ(mi.row_code_end, (std::vector<std::int32_t>{0, 7, 0, 2, 13}));
  std::array<std::int32_t, 128> uses{};
  uses[10] = 2;  // 10 and 0x20A
  uses[127] = 1;
  uses[64] = 1;
  uses[0] = 1;
  EXPECT_EQ(mi.function_use_count, uses);  // 0x180 has the low byte 128: not counted

  std::array<std::int32_t, 3> signs{};
  int fixed = 0;
  for (std::size_t j = 0; j < std::size(bounds); ++j) {
    SCOPED_TRACE("column " + std::to_string(j + 1));
    EXPECT_EQ(mi.col_bound_class[j + 1], bounds[j].bound_class);
    EXPECT_EQ(mi.col_sos[j + 1], bounds[j].sign_class < 0 ? 11 : bounds[j].sign_class);
    if (bounds[j].sign_class >= 0) ++signs[static_cast<std::size_t>(bounds[j].sign_class)];
    fixed += bounds[j].bound_class == 4;
  }
  EXPECT_EQ(mi.sign_class_count, signs);
  EXPECT_EQ(mi.num_fixed, fixed);
  EXPECT_EQ(mi.obj_row_nonzeros, 3);
  EXPECT_EQ(mi.obj_var_coef, -7);
  EXPECT_FALSE(mi.scales_unsupported);
  EXPECT_TRUE(mi.row_scale.empty());
  EXPECT_TRUE(mi.col_scale.empty());

  EXPECT_EQ(qlink::Run().SolveStat, 13);
  EXPECT_EQ(qlink::Run().ModelStat, 13);
  EXPECT_EQ(qlink::Run().ObjVal, 0);
  EXPECT_EQ(qlink::Run().ResUsed, 0);
  EXPECT_EQ(qlink::Run().IterCount, kNa);
  EXPECT_EQ(qlink::Run().ObjEst, kNa);
  EXPECT_EQ(SolutionResults().header3, 0);
  EXPECT_EQ(SolutionResults().header6, 0);
  for (int t : {1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12}) EXPECT_EQ(SolutionResults().trailer[static_cast<std::size_t>(t)], kNa) << t;
  const SpecialValues& sv = mi.specials;
  EXPECT_EQ(sv.undf, 1e300);
  EXPECT_EQ(sv.na, 2e300);
  EXPECT_EQ(sv.plusinf, 3e300);
  EXPECT_EQ(sv.minusinf, 4e300);
  EXPECT_EQ(sv.eps, 5e300);
  EXPECT_EQ(sv.acr, 1e301);
  EXPECT_EQ(sv.infinity, 3e300);
}

TEST_F(ReaderTest, ScalingOnWithoutScaleModeIsUnsupported) {
  WriteFile(File("matrix.scr"), "h\n0 0 0 0\n0 0 0 1 0 0 0\n");
  Control(1, 1, 0, 0, 0, 1);
  ASSERT_EQ(read_model_instance(), 0) << Log();
  EXPECT_TRUE(Instance().scales_unsupported);
  EXPECT_EQ(Instance().row_scale, (std::vector<double>{1, 1}));
  EXPECT_EQ(Instance().col_scale, (std::vector<double>{1, 1}));
  Control(1, 1, 0, 0, 1000, 1);
  ASSERT_EQ(read_model_instance(), 3);  // mode 1 with scaling: the records carry a scale
  Control(1, 1, 0, 0, 1000, 0);
  ASSERT_EQ(read_model_instance(), 0) << Log();
  EXPECT_FALSE(Instance().scales_unsupported);
}

// ---------------------------------------------------------------------------------------------
// Bad input: return code 3 and a message that names the file and the problem.

const char kGoodInstr[] =
    "$NL CODE\n18 0\n1 1\n3 1\n$VARIABLE RELOCATION TABLE\n0\n$CONSTANT POOL\n1\n2.5\n";
// Rows: type rhs basis level. Columns: count lower level upper basis type sos; entries.
const char kGoodMatrix[] =
    "*\n0 1 0 0\n3 0 0 0\n"
    "1 0 0 10 0 0 0\n1 2 0\n"
    "1 -1 0 1 0 0 0\n2 1 1\n";

struct BadTextCase {
  const char* what;
  std::string instr, matrix;
  int pool;  // the control file's pool count
  bool instruction_file;  // the message names the instruction file, else the matrix file
  const char* reason;
};

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  const std::size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? s : s.replace(at, from.size(), to);
}

TEST_F(ReaderTest, BadTextInput) {
  const std::string gi = kGoodInstr, gm = kGoodMatrix;
  const BadTextCase cases[] = {
      {"pool count above the control file's", Replace(gi, "POOL\n1\n2.5\n", "POOL\n2\n2.5\n3\n"), gm, 1, true,
       "the constant pool holds 2 entries, more than the 1 of the control file"},
      {"negative pool count", Replace(gi, "POOL\n1\n2.5\n", "POOL\n-1\n"), gm, 1, true, "negative pool count -1"},
      {"store for a row that does not exist", Replace(gi, "3 1\n", "3 3\n"), gm, 1, true,
       "instruction 3 stores row 3, which does not exist (rows 1..2)"},
      {"store for row 0", Replace(gi, "3 1\n", "3 0\n"), gm, 1, true, "stores row 0"},
      {"truncated instruction file", "$NL CODE\n18 0\n1 1\n3", gm, 1, true, "instruction 3: unexpected end of file"},
      {"truncated pool", Replace(gi, "2.5\n", ""), gm, 1, true, "pool entry 1: unexpected end of file"},
      {"data after the pool", gi + "7\n", gm, 1, true, "data beyond the constant pool"},
      {"opcode out of range", Replace(gi, "1 1\n", "256 1\n"), gm, 1, true, "opcode 256"},
      {"bad operand", Replace(gi, "1 1\n", "1 x\n"), gm, 1, true, "bad integer \"x\""},
      {"entry count beyond the rows", gi, Replace(gm, "1 0 0 10", "3 0 0 10"), 1, false,
       "column 1 announces 3 entries (rows 1..2)"},
      {"negative entry count", gi, Replace(gm, "1 0 0 10", "-1 0 0 10"), 1, false, "column 1 announces -1 entries"},
      {"Jacobian row beyond the rows", gi, Replace(gm, "1 2 0\n", "3 2 0\n"), 1, false,
       "column 1 has an entry in row 3 (rows 1..2)"},
      {"Jacobian row 0", gi, Replace(gm, "2 1 1\n", "0 1 1\n"), 1, false, "column 2 has an entry in row 0"},
      {"row type 7", gi, Replace(gm, "3 0 0 0", "7 0 0 0"), 1, false, "row 2 has type 7"},
      {"column type 9", gi, Replace(gm, "1 -1 0 1 0 0 0", "1 -1 0 1 0 9 0"), 1, false, "column 2 has type 9"},
      {"bad number", gi, Replace(gm, "0 1 0 0", "0 1x 0 0"), 1, false, "row 1: bad number \"1x\""},
      {"truncated in a row", gi, "*\n0 1 0 0\n3 0 0", 1, false, "row 2: unexpected end of file"},
      {"truncated in a column", gi, "*\n0 1 0 0\n3 0 0 0\n1 0 0 10 0 0 0\n1 2 0\n1 -1 0 1 0", 1, false,
       "column 2: unexpected end of file"},
      {"truncated in the entries", gi, "*\n0 1 0 0\n3 0 0 0\n1 0 0 10 0 0 0\n1 2 0\n1 -1 0 1 0 0 0\n", 1, false,
       "column 2, entry 1: unexpected end of file"},
      {"data after the last column", gi, gm + "5\n", 1, false, "data beyond the last column"},
  };
  for (const BadTextCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(File("instr.scr"), c.instr);
    WriteFile(File("matrix.scr"), c.matrix);
    WriteFile(File("log.txt"), "");
    Control(2, 2, 3, c.pool, 0);
    qlink::Run().log.LogOpen(2, 0, File("log.txt"));
    EXPECT_EQ(read_model_instance(), 3);
    const std::string name = c.instruction_file ? "instruction file " + File("instr.scr") : "matrix file " + File("matrix.scr");
    const std::string log = Log();
    EXPECT_NE(log.find("*** error in " + name + ": "), std::string::npos) << log;
    EXPECT_NE(log.find(c.reason), std::string::npos) << log;
    EXPECT_NE(Listing().find(log.substr(0, log.size() - 1)), std::string::npos);
  }
  // The good files read.
  WriteFile(File("instr.scr"), gi);
  WriteFile(File("matrix.scr"), gm);
  Control(2, 2, 3, 1, 0);
  EXPECT_EQ(read_model_instance(), 0);
}

TEST_F(ReaderTest, NegativeCountsInTheControlFile) {
  const struct {
    int m, n, instr, pool;
    const char* what;
  } cases[] = {{-1, 0, 0, 0, "rows"}, {0, -1, 0, 0, "columns"}, {0, 0, -1, 0, "instructions"}, {0, 0, 0, -2, "pool entries"}};
  for (const auto& c : cases) {
    Control(c.m, c.n, c.instr, c.pool, 1);
    EXPECT_EQ(read_model_instance(), 3) << c.what;
    ExpectReported(std::string("*** negative number of ") + c.what + " in the control file");
  }
}

TEST_F(ReaderTest, CountsTooLargeForTheFile) {
  WriteFile(File("matrix.scr"), Blocked(1, Bytes().F64(0).str()));
  Control(2000000000, 0, 0, 0, 1);
  EXPECT_EQ(read_model_instance(), 3);
  EXPECT_NE(Log().find("*** error in matrix file " + File("matrix.scr") + ": the file is too short"), std::string::npos)
      << Log();
  WriteFile(File("instr.scr"), Blocked(1, Bytes().I32(0).str()));
  for (const auto& [instr, pool] : {std::pair{2000000000, 0}, std::pair{1, 2000000000}}) {
    Control(0, 0, instr, pool, 1);
    EXPECT_EQ(read_model_instance(), 3);
    EXPECT_NE(Log().find("*** error in instruction file " + File("instr.scr") + ": the file is too short for " +
                         std::to_string(instr) + " instructions and " + std::to_string(pool) + " pool entries"),
              std::string::npos)
        << Log();
  }
}

class BadBinary : public ReaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(BadBinary, CodesAndTruncation) {
  const int variant = GetParam();
  auto header = [] {
    Bytes b;
    for (int k = 0; k < 5; ++k) b.F64(0);
    return b;
  };
  // One row, one column with one entry.
  const Bytes row = Bytes().U8(0x00);
  struct Case {
    const char* what;
    Bytes column;
    const char* reason;
  } const cases[] = {
      {"width code 3 of a row index", Bytes().U8(0).U8(0x03).U8(0).U8(1).U8(0).U8(0x03).U8(1), "width code 3"},
      {"width code 3 of an entry count", Bytes().U8(3 << 2).U8(0x03).U8(0).U8(1).U8(0).U8(0x00).U8(1), "width code 3"},
      {"width code 3 of a SOS number", Bytes().U8(0).U8(0x03 | 3 << 3).U8(0).U8(1).U8(0).U8(0x00).U8(1), "width code 3"},
      {"lower code 5", Bytes().U8(5 << 4).U8(0x03).U8(0).U8(1).U8(0).U8(0x00).U8(1), "lower bound code 5"},
      {"lower code 6", Bytes().U8(6 << 4).U8(0x03).U8(0).U8(1).U8(0).U8(0x00).U8(1), "lower bound code 6"},
      {"upper code 5", Bytes().U8(0).U8(0x05).U8(0).U8(1).U8(0).U8(0x00).U8(1), "upper bound code 5"},
      {"upper code 7", Bytes().U8(0).U8(0x07).U8(0).U8(1).U8(0).U8(0x00).U8(1), "upper bound code 7"},
      {"entry count beyond the rows", Bytes().U8(0).U8(0x03).U8(0).U8(2).U8(0).U8(0x00).U8(1).U8(0x00).U8(1),
       "column 1 announces 2 entries (rows 1..1)"},
      {"entry in row 2", Bytes().U8(0).U8(0x03).U8(0).U8(1).U8(0).U8(0x00).U8(2), "column 1 has an entry in row 2"},
      {"trailing data", Bytes().U8(0).U8(0x03).U8(0).U8(1).U8(0).U8(0x00).U8(1).U8(7), "data beyond the last column"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(File("matrix.scr"), Blocked(variant, Bytes().Add(header()).Add(row).Add(c.column).str()));
    WriteFile(File("log.txt"), "");
    qlink::Run().log.LogOpen(2, 0, File("log.txt"));
    Control(1, 1, 0, 0, variant);
    EXPECT_EQ(read_model_instance(), 3);
    EXPECT_NE(Log().find("*** error in matrix file " + File("matrix.scr") + ": "), std::string::npos) << Log();
    EXPECT_NE(Log().find(c.reason), std::string::npos) << Log();
  }

  // A whole instance written by the modeling system's writer, cut short: at every cut inside the
  // data the reader reports a truncated file; a file cut in the padding after the data reads.
  const luvo::ModelSpec model = RichModel();
  luvo::ControlSpec control = luvo::DefaultControl(dir_->path(), dir_->path());
  control.alg_file_type = variant;
  luvo::DescribeModel(model, &control);
  std::string error;
  ASSERT_TRUE(luvo::WriteInstance(control, model, &error)) << error;
  const std::string matrix = ReadFile(control.matrix_file), instr = ReadFile(control.instr_file);
  Control(control.num_rows, control.num_cols, control.num_instr, control.num_const, variant);
  qlink::Run().ctrl.NameInstrFile = control.instr_file;
  qlink::Run().ctrl.NameMatrixFile = control.matrix_file;
  const std::size_t data_end = DataEnd(variant, matrix);
  for (std::size_t cut : {data_end - 1, data_end - 9, matrix.size() / 2, std::size_t{900}}) {
    SCOPED_TRACE("matrix cut at " + std::to_string(cut));
    WriteFile(control.matrix_file, matrix.substr(0, cut));
    EXPECT_EQ(read_model_instance(), 3);
    EXPECT_NE(Log().find("*** error in matrix file " + control.matrix_file + ": "), std::string::npos) << Log();
    EXPECT_NE(Log().find("unexpected end of file"), std::string::npos) << Log();
  }
  WriteFile(control.matrix_file, matrix.substr(0, data_end));
  EXPECT_EQ(read_model_instance(), 0) << Log();
  WriteFile(control.instr_file, instr.substr(0, DataEnd(variant, instr) - 1));
  EXPECT_EQ(read_model_instance(), 3);
  EXPECT_NE(Log().find("*** error in instruction file " + control.instr_file + ": pool entry 4: unexpected end of file"),
            std::string::npos)
      << Log();
}

INSTANTIATE_TEST_SUITE_P(Variants, BadBinary, ::testing::Values(1, 2, 3, 4),
                         [](const auto& p) { return "variant" + std::to_string(p.param); });

// Damaged files, byte by byte and cut short: the reader ends with a return code and, for bad
// data, a message naming the file; never a crash or a read out of bounds.
class DamagedFiles : public ReaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(DamagedFiles, GiveAReturnCodeNeverACrash) {
  const int variant = GetParam();
  const luvo::ModelSpec model = RichModel();
  luvo::ControlSpec control = luvo::DefaultControl(dir_->path(), dir_->path());
  control.alg_file_type = variant + 102110;
  control.scale_opt = 1;
  luvo::DescribeModel(model, &control);
  std::string error;
  ASSERT_TRUE(luvo::WriteInstance(control, model, &error)) << error;
  const std::string matrix = ReadFile(control.matrix_file), instr = ReadFile(control.instr_file);
  Control(control.num_rows, control.num_cols, control.num_instr, control.num_const, control.alg_file_type, 1, 0, 1, 2);
  qlink::Run().ctrl.NameInstrFile = control.instr_file;
  qlink::Run().ctrl.NameMatrixFile = control.matrix_file;
  std::uint32_t x = 12345u + static_cast<std::uint32_t>(variant);
  auto next = [&x] {
    x = x * 1103515245u + 12345u;
    return x >> 8;
  };
  int bad = 0;
  for (int round = 0; round < 240; ++round) {
    const bool in_instr = round % 3 == 0;
    const std::string& whole = in_instr ? instr : matrix;
    const std::string& path = in_instr ? control.instr_file : control.matrix_file;
    std::string damaged = whole;
    if (round % 5 == 4) {
      damaged.resize(next() % damaged.size());
    } else {
      for (int k = 0; k <= round % 4; ++k) damaged[next() % damaged.size()] = static_cast<char>(next());
    }
    SCOPED_TRACE("round " + std::to_string(round));
    WriteFile(path, damaged);
    WriteFile(File("log.txt"), "");
    qlink::Run().log.LogOpen(2, 0, File("log.txt"));
    ::testing::internal::CaptureStdout();
    const int rc = read_model_instance();
    ::testing::internal::GetCapturedStdout();
    WriteFile(path, whole);
    // An LVX file whose structure is damaged cannot be opened.
    const int cannot_open = in_instr ? 1 : 2;
    ASSERT_TRUE(rc == 0 || rc == 3 || (variant == 5 && rc == cannot_open)) << rc;
    if (rc == 3) {
      EXPECT_EQ(Log().rfind("*** error in " + std::string(in_instr ? "instruction file " : "matrix file ") + path + ": ", 0),
                0u)
          << Log();
    }
    bad += rc != 0;
  }
  EXPECT_GT(bad, 100);
  ASSERT_EQ(read_model_instance(), 0) << Log();
}

INSTANTIATE_TEST_SUITE_P(Variants, DamagedFiles, ::testing::Values(0, 1, 2, 3, 4, 5),
                         [](const auto& p) { return "variant" + std::to_string(p.param); });

TEST_F(ReaderTest, BadLvxInput) {
  using Symbols = std::vector<LvxSymbol>;
  const LvxSymbol good_rows{"equation", 2, {{{1, 1}, 0}, {{2, 1}, 1}}};
  const LvxSymbol good_cols{"variable", 2, {{{1, 1}, 0}, {{1, 9}, 1}, {{1, 33}, 1}, {{2, 1}, 0}}};
  struct Case {
    const char* what;
    Symbols symbols;
    const char* reason;
  } const cases[] = {
      {"rows start with row 2", {{"equation", 2, {{{2, 1}, 0}}}, good_cols}, "Row data does not start with row 1 but 2"},
      {"row 2 missing", {{"equation", 2, {{{1, 1}, 0}, {{3, 1}, 0}}}, good_cols},
       "ReadRow: no LVX row data for row 2 (next row in the file: 3)"},
      {"rows beyond the rows read", {{"equation", 2, {{{1, 1}, 0}, {{2, 1}, 0}, {{3, 1}, 0}}}, good_cols},
       "LVX row data for row 3 beyond the rows read"},
      {"unknown row attribute", {{"equation", 2, {{{1, 1}, 0}, {{1, 8}, 0}, {{2, 1}, 0}}}, good_cols},
       "ReadRowUnknown LVX row record 8"},
      {"columns start with column 2", {good_rows, {"variable", 2, {{{2, 1}, 0}}}},
       "Column data does not start with column 1 but 2"},
      {"unknown column attribute", {good_rows, {"variable", 2, {{{1, 1}, 0}, {{1, 11}, 3}, {{2, 1}, 0}}}},
       "ReadColumnUnknown LVX column record 11"},
      {"fewer entries than the count", {good_rows, {"variable", 2, {{{1, 1}, 0}, {{1, 9}, 2}, {{1, 33}, 1}, {{2, 1}, 0}}}},
       "ReadJac: column 1 has fewer Jacobian entries than its count"},
      {"entry row beyond the rows", {good_rows, {"variable", 2, {{{1, 1}, 0}, {{1, 9}, 1}, {{1, 35}, 1}, {{2, 1}, 0}}}},
       "column 1 has an entry in row 3 (rows 1..2)"},
      {"column data beyond the columns",
       {good_rows, {"variable", 2, {{{1, 1}, 0}, {{2, 1}, 0}, {{3, 1}, 0}}}},
       "ReadDone: LVX column data beyond the columns read"},
      {"no rows", {good_cols}, "ReadRow: no LVX row data for row 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteLvxFile(File("matrix.scr"), 40, c.symbols);
    WriteFile(File("log.txt"), "");
    qlink::Run().log.LogOpen(2, 0, File("log.txt"));
    Control(2, 2, 0, 0, 5);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(read_model_instance(), 3);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(Log().find("*** error in matrix file " + File("matrix.scr") + ": "), std::string::npos) << Log();
    EXPECT_NE(Log().find(c.reason), std::string::npos) << Log();
    // Closing the file shows the LVX object's message; the reader's own range check leaves none.
    if (std::string(c.what) == "entry row beyond the rows") {
      EXPECT_EQ(out, "");
    } else {
      EXPECT_EQ(out.rfind("*** Problems in CloseMod: ", 0), 0u) << out;
      EXPECT_NE(out.find(c.reason), std::string::npos) << out;
    }
  }
  // Instruction files.
  const struct {
    const char* what;
    Symbols symbols;
    int count, pool;
    const char* reason;
  } instr_cases[] = {
      {"a position missing", {{"solve", 4, {{{1, 1, 18, 1}, 0}, {{3, 1, 3, 2}, 0}}}}, 3, 0,
       "ReadNLInstr: no instruction at position 2"},
      {"more instructions than counted", {{"solve", 4, {{{1, 1, 18, 1}, 0}, {{2, 1, 3, 2}, 0}}}}, 1, 0,
       "instruction data beyond position 1"},
      {"pool beyond the control count", {{"solve", 4, {{{1, 1, 18, 1}, 0}}}, {"scalar", 1, {{{1}, 1}, {{2}, 2}}}}, 1,
       1, "the constant pool holds 2 entries, more than the 1"},
      {"pool index missing", {{"solve", 4, {{{1, 1, 18, 1}, 0}}}, {"scalar", 1, {{{2}, 1}}}}, 1, 1,
       "ReadConstPool: no pool entry 1"},
  };
  WriteLvxFile(File("matrix.scr"), 40, {good_rows, good_cols});
  for (const auto& c : instr_cases) {
    SCOPED_TRACE(c.what);
    WriteLvxFile(File("instr.scr"), 40, c.symbols);
    WriteFile(File("log.txt"), "");
    qlink::Run().log.LogOpen(2, 0, File("log.txt"));
    Control(2, 2, c.count, c.pool, 5);
    EXPECT_EQ(read_model_instance(), 3);
    EXPECT_NE(Log().find("*** error in instruction file " + File("instr.scr") + ": "), std::string::npos) << Log();
    EXPECT_NE(Log().find(c.reason), std::string::npos) << Log();
  }
}

TEST_F(ReaderTest, TruncatedLvxFileCannotBeOpened) {
  WriteLvxFile(File("matrix.scr"), 40,
               {{"equation", 2, {{{1, 1}, 0}, {{2, 1}, 1}}}, {"variable", 2, {{{1, 1}, 0}, {{2, 1}, 0}}}});
  const std::string whole = ReadFile(File("matrix.scr"));
  for (std::size_t cut : {whole.size() - 1, whole.size() / 2, std::size_t{3}}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    WriteFile(File("matrix.scr"), whole.substr(0, cut));
    WriteFile(File("log.txt"), "");
    qlink::Run().log.LogOpen(2, 0, File("log.txt"));
    Control(2, 2, 0, 0, 5);
    ::testing::internal::CaptureStdout();
    const int rc = read_model_instance();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 2);
    EXPECT_EQ(out, "*** OpenMod for " + File("matrix.scr") + " failed: Cannot open LVX file " + File("matrix.scr") + "\n");
    ExpectReported("*** could not open matrix file " + File("matrix.scr"));
    ExpectReported("*** RC=5 " + platform::ErrorText(5));
  }
}

TEST_F(ReaderTest, FilesThatCannotBeOpened) {
  // Binary variants open without retries; the text variant is covered by the retry tests.
  WriteFile(File("matrix.scr"), Blocked(1, Bytes().F64(0).F64(0).F64(0).F64(0).F64(0).str()));
  Control(0, 0, 1, 0, 1);
  qlink::Run().ctrl.NameInstrFile = File("missing-instr.scr");
  EXPECT_EQ(read_model_instance(), 1);
  ExpectReported("*** could not open instruction file " + File("missing-instr.scr"));
  ExpectReported("*** RC=" + std::to_string(ENOENT) + " " + platform::ErrorText(ENOENT));

  Control(0, 0, 0, 0, 2);
  qlink::Run().ctrl.NameMatrixFile = File("missing-matrix.scr");
  EXPECT_EQ(read_model_instance(), 2);
  ExpectReported("*** could not open matrix file " + File("missing-matrix.scr"));

  // A directory is no file.
  std::filesystem::create_directory(File("dir.scr"));
  for (int code : {0, 4}) {
    Control(0, 0, 0, 0, code);
    qlink::Run().ctrl.NameMatrixFile = File("dir.scr");
    EXPECT_EQ(read_model_instance(), 2) << code;
  }
  ExpectReported("*** could not open matrix file " + File("dir.scr"));
  ExpectReported("*** RC=" + std::to_string(EISDIR) + " " + platform::ErrorText(EISDIR));

  // The instruction file is read first.
  Control(0, 0, 1, 0, 3);
  qlink::Run().ctrl.NameInstrFile = File("missing-instr.scr");
  EXPECT_EQ(read_model_instance(), 1);
}

// ---------------------------------------------------------------------------------------------
// The instruction-file writer of the scratch layer.

class InstructionWriter : public ReaderTest {
 protected:
  // Writes code and pool through the scratch layer; returns the file.
  std::string Write(int code, const std::vector<std::pair<int, std::int32_t>>& instrs, const std::vector<double>& pool) {
    std::unique_ptr<TScratchFile> f;
    EXPECT_EQ(TScratchFile::OpenMod(File("instr.scr"), code, false, false, true, &f, true), 0);
    if (!f) return {};
    f->WriteCodeHeader();
    for (const auto& [op, operand] : instrs) f->WriteInstr(static_cast<std::uint8_t>(op), operand);
    f->WriteRelocHeader();
    f->WritePoolHeader(static_cast<std::int32_t>(pool.size()));
    for (double v : pool) f->WriteReal(v);
    EXPECT_EQ(f->CloseMod(), 0);
    return ReadFile(File("instr.scr"));
  }
};

TEST_F(InstructionWriter, TextFile) {
  EXPECT_EQ(Write(0, {{18, 0}, {1, 126}, {2, -5}, {22, 40000}}, {1.5, 0, -1.23456789012345678e-7}),
            "$NL CODE\n"
            "18 0\n1 126\n2 -5\n22 40000\n"
            "$VARIABLE RELOCATION TABLE\n"
            "0\n"
            "$CONSTANT POOL\n"
            "3\n"
            "1.5\n0\n-1.23456789012346E-7\n");
  EXPECT_EQ(Write(0, {}, {}), "$NL CODE\n$VARIABLE RELOCATION TABLE\n0\n$CONSTANT POOL\n0\n");
}

TEST_F(InstructionWriter, BinaryFiles) {
  for (int variant = 1; variant <= 4; ++variant) {
    SCOPED_TRACE("variant " + std::to_string(variant));
    Bytes want;
    want.U8(18).U8(0).U8(0).U8(1).U8(1).I16(127).U8(22).U8(2).I32(40000);
    want.I32(0).I32(2).F64(1.5).F64(-kInf);
    EXPECT_EQ(Write(variant, {{18, 0}, {1, 127}, {22, 40000}}, {1.5, -kInf}), Blocked(variant, want.str()));
    // Enough data for several blocks: the windows, the framing and the padding of the last one.
    std::vector<double> pool;
    Bytes many;
    many.I32(0).I32(250);
    for (int k = 0; k < 250; ++k) pool.push_back(k + 0.5), many.F64(k + 0.5);
    const std::string file = Write(variant, {}, pool);
    EXPECT_EQ(file, Blocked(variant, many.str()));
    EXPECT_EQ(Unblocked(variant, file).substr(0, many.str().size()), many.str());
  }
}

TEST_F(InstructionWriter, OperandWidthCodes) {
  const struct {
    std::int32_t operand;
    Bytes bytes;  // width code and operand
  } cases[] = {
      {0, Bytes().U8(0).U8(0)},
      {126, Bytes().U8(0).U8(126)},
      {127, Bytes().U8(1).I16(127)},
      {-1, Bytes().U8(0).U8(0xFF)},
      {-128, Bytes().U8(0).U8(0x80)},
      {-129, Bytes().U8(1).I16(-129)},
      {32766, Bytes().U8(1).I16(32766)},
      {32767, Bytes().U8(2).I32(32767)},
      {-32768, Bytes().U8(1).I16(-32768)},
      {-32769, Bytes().U8(2).I32(-32769)},
      {std::numeric_limits<std::int32_t>::max(), Bytes().U8(2).I32(std::numeric_limits<std::int32_t>::max())},
      {std::numeric_limits<std::int32_t>::min(), Bytes().U8(2).I32(std::numeric_limits<std::int32_t>::min())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("operand " + std::to_string(c.operand));
    EXPECT_EQ(Write(1, {{5, c.operand}}, {}), Blocked(1, Bytes().U8(5).Add(c.bytes).I32(0).I32(0).str()));
  }
}

TEST_F(InstructionWriter, TextReals) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {1, "1"},
      {-2.5, "-2.5"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {1e-4, "0.0001"},
      {-1.5e-4, "-0.00015"},
      {9.99999999999999e-5, "9.99999999999999E-5"},
      {1e-10, "1E-10"},
      {999999999999999.0, "999999999999999"},
      {999999999999999.9, "1E15"},
      {1e15, "1E15"},
      {123456789012345678.0, "1.23456789012346E17"},
      {3e300, "3E300"},
      {-4.25e-300, "-4.25E-300"},
      {100, "100"},
      {12345.678900, "12345.6789"},
  };
  std::vector<double> pool;
  std::string want = "$NL CODE\n$VARIABLE RELOCATION TABLE\n0\n$CONSTANT POOL\n" + std::to_string(std::size(cases)) + "\n";
  for (const auto& c : cases) pool.push_back(c.value), want += std::string(c.text) + "\n";
  EXPECT_EQ(Write(0, {}, pool), want);
}

TEST_F(InstructionWriter, WhatItWritesReadsBack) {
  const std::vector<std::pair<int, std::int32_t>> code = {
      {18, 0}, {1, 126}, {2, 127}, {1, 32766}, {2, 32767}, {20, -1}, {21, -129}, {22, -32769}, {3, 1}, {18, 0},
      {24, 1000000}, {3, 2}};
  const std::vector<double> pool = {1.5, -1.0 / 3, 1e-20, 3e300, kNaN, kInf, 0.1};
  for (int variant = 0; variant <= 4; ++variant) {
    SCOPED_TRACE("variant " + std::to_string(variant));
    Write(variant, code, pool);
    WriteFile(File("matrix.scr"), variant == 0 ? "h\n0 0 0 0\n0 0 0 0\n"
                                               : Blocked(variant, Bytes().F64(0).F64(0).F64(0).F64(0).F64(0)
                                                                      .U8(0).U8(0).str()));
    Control(2, 0, static_cast<int>(code.size()), static_cast<int>(pool.size()), variant);
    ASSERT_EQ(read_model_instance(), 0) << Log();
    const ModelInstance& mi = Instance();
    ASSERT_EQ(mi.code.size(), code.size());
    for (std::size_t k = 0; k < code.size(); ++k) {
      EXPECT_EQ(mi.code[k].opcode, code[k].first);
      EXPECT_EQ(mi.code[k].operand, code[k].second);
    }
    const std::vector<double> want = {1.5, -1.0 / 3, 1e-20, 3e300, kUndf, kPlusInf, 0.1};
    ASSERT_EQ(mi.pool.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k)
      if (variant == 0 && k == 1) {
        EXPECT_NEAR(mi.pool[k], want[k], 1e-15);  // text: 15 digits
      } else {
        EXPECT_EQ(mi.pool[k], want[k]) << k;
      }
    EXPECT_EQ(mi.row_code_start[1], 1);
    EXPECT_EQ(mi.row_code_end[1], 9);
    EXPECT_EQ(mi.row_code_start[2], 10);
    EXPECT_EQ(mi.row_code_end[2], 12);
    // The low bytes of -1, -129 and -32769 are 255, 127 and 255: only -129 counts.
    std::array<std::int32_t, 128> uses{};
    uses[127] = 1;
    EXPECT_EQ(mi.function_use_count, uses);
  }
}

// ---------------------------------------------------------------------------------------------
// The retried opening of a text scratch file.

TEST_F(ReaderTest, TextFileAppearingLateIsOpenedWithARetryNotice) {
  const std::string name = File("late.scr");
  ::testing::internal::CaptureStdout();
  std::thread later([&name] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WriteFile(name, "h\n");
  });
  std::unique_ptr<TScratchFile> f;
  const int rc = TScratchFile::OpenMod(name, 0, false, false, false, &f);
  later.join();
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 0);
  ASSERT_TRUE(f);
  // The retry number depends on the scheduling (2 when the file appears between the attempts
  // at 10 and 110 ms); the lines do not.
  const std::regex want("\\*\\*\\* Retry count succeeded in function TextFileOpenRetry\n"
                        "\\*\\*\\* Count = ([123]) Action = Reset IORes = " + std::to_string(ENOENT) +
                        " File = " + std::regex_replace(name, std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&") + "\n");
  EXPECT_TRUE(std::regex_match(out, want)) << out;
  EXPECT_TRUE(f->SkipLine());
}

TEST_F(ReaderTest, TextFileForWritingIsRetriedToo) {
  const std::string sub = File("later");
  const std::string name = sub + "/sol.scr";
  ::testing::internal::CaptureStdout();
  std::thread later([&sub] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::filesystem::create_directory(sub);
  });
  std::unique_ptr<TScratchFile> f;
  const int rc = TScratchFile::OpenMod(name, 0, false, false, true, &f, true);
  later.join();
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 0);
  EXPECT_NE(out.find("*** Retry count succeeded in function TextFileOpenRetry\n*** Count = "), std::string::npos) << out;
  EXPECT_NE(out.find(" Action = ReWrite IORes = " + std::to_string(ENOENT) + " File = " + name + "\n"), std::string::npos)
      << out;
  f->WriteCodeHeader();
  EXPECT_EQ(f->CloseMod(), 0);
  EXPECT_EQ(ReadFile(name), "$NL CODE\n");
}

TEST_F(ReaderTest, TextFileThatNeverAppearsFailsAfterFourAttempts) {
  ::testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  Control(0, 0, 1, 0, 0);
  qlink::Run().ctrl.NameInstrFile = File("never.scr");
  const int rc = read_model_instance();
  const auto waited = std::chrono::steady_clock::now() - start;
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out, "");
  EXPECT_GE(waited, std::chrono::milliseconds(1100));  // 10 + 100 + 1000 ms between the attempts
  ExpectReported("*** could not open instruction file " + File("never.scr"));
  ExpectReported("*** RC=" + std::to_string(ENOENT) + " " + platform::ErrorText(ENOENT));
}

}  // namespace
}  // namespace qlink
