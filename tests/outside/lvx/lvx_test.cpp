// Tests of the LVX library of the system directory, used through qorallink's LVX binding.
// Hand-made files follow the published format (outside/lvx/FORMAT.md), not the library's code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "runtime/lvocommon.h"
#include "runtime/lvxdcdef.h"
#include "runtime/platform.h"

namespace qlink {
namespace {

namespace fs = std::filesystem;

const std::string kSysdir = std::string(QLINK_SYSDIR) + "/";

struct Record {
  std::vector<int> keys;
  double values[kLvxValueCount] = {};
  int first_changed = 0;
};

class LvxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LvxBinding().SetLoadDirectory(kSysdir);
    std::string msg;
    ASSERT_TRUE(lvx.Create(&msg)) << msg;
    p = lvx.get();
    dir = fs::path(QLINK_TEST_BINARY_DIR) /
          ("tmp_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    lvx.Free();
    EXPECT_EQ(lvx_library_unload(), 1);
  }

  std::string Path(const std::string& name) const { return (dir / name).string(); }

  std::string LastText() const {
    char text[QLINK_STRING_BUFSIZE] = {};
    lvxErrorStr(p, lvxGetLastError(p), text);
    return text;
  }

  void RegisterLabels(int n, const char* prefix = "l") {
    ASSERT_TRUE(lvxUELRegisterRawStart(p));
    for (int i = 1; i <= n; ++i)
      ASSERT_TRUE(lvxUELRegisterRaw(p, (prefix + std::to_string(i)).c_str())) << LastText();
    ASSERT_TRUE(lvxUELRegisterDone(p));
  }

  // Reads all records of symbol `name`.
  std::vector<Record> ReadAll(const std::string& name) {
    std::vector<Record> out;
    int sym = 0, count = 0, dim = 0, kind = 0;
    char text[QLINK_STRING_BUFSIZE];
    EXPECT_TRUE(lvxFindSymbol(p, name.c_str(), &sym)) << name;
    EXPECT_TRUE(lvxSymbolInfo(p, sym, text, &dim, &kind));
    EXPECT_TRUE(lvxDataReadRawStart(p, sym, &count));
    int keys[kLvxMaxDim];
    Record r;
    while (lvxDataReadRaw(p, keys, r.values, &r.first_changed)) {
      r.keys.assign(keys, keys + dim);
      out.push_back(r);
    }
    EXPECT_TRUE(lvxDataReadDone(p));
    return out;
  }

  TLvxObject lvx;
  lvxHandle_t p = nullptr;
  fs::path dir;
};

TEST_F(LvxTest, EveryFunctionIsBoundFromTheSystemDirectory) {
  const LibBinding& b = LvxBinding();
  EXPECT_EQ(b.LibraryPath(), kSysdir + "liblvxcclib64.so");
  for (int i = 0; i < b.Table().function_count; ++i)
    EXPECT_TRUE(b.IsBound(i)) << b.Table().functions[i].name;
  // The directory the library came from was passed to its load-path entry.
  std::string error;
  platform::LibraryHandle h = platform::OpenLibrary(b.LibraryPath(), &error);
  ASSERT_NE(h, nullptr) << error;
  auto get = reinterpret_cast<QlinkGetLoadPathFn>(platform::FindSymbol(h, "lvxGetLoadPath"));
  ASSERT_NE(get, nullptr);
  char path[QLINK_STRING_BUFSIZE] = {};
  get(path, sizeof path);
  EXPECT_EQ(std::string(path), kSysdir);
  platform::CloseLibrary(h);
}

TEST_F(LvxTest, VersionAndCheckEntries) {
  std::string error;
  platform::LibraryHandle h = platform::OpenLibrary(kSysdir + "liblvxcclib64.so", &error);
  ASSERT_NE(h, nullptr) << error;
  auto version = reinterpret_cast<QlinkVersionFn>(platform::FindSymbol(h, "D__XAPIVersion"));
  auto check = reinterpret_cast<QlinkCheckFn>(platform::FindSymbol(h, "D__XCheck"));
  ASSERT_NE(version, nullptr);
  ASSERT_NE(check, nullptr);
  char msg[QLINK_STRING_BUFSIZE];
  for (int v : {0, 10, 12, -11}) {
    msg[0] = '\0';
    EXPECT_EQ(version(v, msg, sizeof msg), 0) << v;
    EXPECT_NE(std::string(msg).find("interface version 11"), std::string::npos) << msg;
  }
  EXPECT_GT(version(11, msg, sizeof msg), 0);

  const int good[] = {QLINK_SIG_INT, QLINK_SIG_STRING_IN, QLINK_SIG_INT_OUT};
  const int other_result[] = {QLINK_SIG_VOID, QLINK_SIG_STRING_IN, QLINK_SIG_INT_OUT};
  const int char_pointer[] = {QLINK_SIG_INT, QLINK_SIG_CHARPTR, QLINK_SIG_INT_OUT};
  EXPECT_EQ(check("lvxOpenRead", 2, good, msg, sizeof msg), 1);
  const struct {
    const char* name;
    int count;
    const int* types;
    const char* reason;
  } refused[] = {{"lvxOpenRead", 2, other_result, "different signature"},
                 {"lvxOpenRead", 2, char_pointer, "different signature"},
                 {"lvxOpenRead", 1, good, "different signature"},
                 {"lvxNoSuchThing", 2, good, "does not provide lvxNoSuchThing"}};
  for (const auto& c : refused) {
    msg[0] = '\0';
    EXPECT_EQ(check(c.name, c.count, c.types, msg, sizeof msg), 0) << c.name;
    EXPECT_NE(std::string(msg).find(c.reason), std::string::npos) << msg;
  }
  platform::CloseLibrary(h);
}

// ---------------------------------------------------------------------------------------------
// Round trips

struct RoundTrip {
  int kind;
  int dim;
  bool compress;
};

class LvxRoundTrip : public LvxTest, public ::testing::WithParamInterface<RoundTrip> {};

// Ascending tuples: each next tuple raises the key at a varying position and gives the later
// positions arbitrary keys, so the first changed position is known.
std::vector<Record> MakeRecords(int dim, int labels, int count) {
  std::vector<Record> out;
  if (dim == 0) count = 1;
  std::vector<int> keys(static_cast<std::size_t>(dim), 1);
  unsigned seed = 12345u + static_cast<unsigned>(dim);
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  const double samples[] = {0.0, 1.5, -2.25, 1e-300, 1.7976931348623157e308, -0.001, 123456789.0};
  for (int r = 0; r < count; ++r) {
    Record rec;
    if (r == 0) {
      for (int& k : keys) k = 1 + static_cast<int>(next() % static_cast<unsigned>(labels - 1));
      rec.first_changed = 1;
    } else {
      int pos = dim - 1 - static_cast<int>(next() % static_cast<unsigned>(std::min(dim, 3)));
      while (pos >= 0 && keys[static_cast<std::size_t>(pos)] == labels) --pos;  // one that can rise
      if (pos < 0) break;
      ++keys[static_cast<std::size_t>(pos)];
      for (int k = pos + 1; k < dim; ++k)
        keys[static_cast<std::size_t>(k)] = 1 + static_cast<int>(next() % static_cast<unsigned>(labels));
      rec.first_changed = pos + 1;
    }
    rec.keys = keys;
    for (int v = 0; v < kLvxValueCount; ++v) rec.values[v] = samples[(r + 2 * v) % 7];
    out.push_back(rec);
  }
  return out;
}

TEST_P(LvxRoundTrip, RecordsComeBackInOrderWithChangedPositions) {
  const RoundTrip c = GetParam();
  const int labels = 6;
  const std::vector<Record> written = MakeRecords(c.dim, labels, 300);
  const std::string file = Path("rt.lvx");
  int err = -1;
  ASSERT_TRUE(lvxOpenWriteEx(p, file.c_str(), "RoundTrip", c.compress ? 1 : 0, &err));
  EXPECT_EQ(err, 0);
  RegisterLabels(labels);
  ASSERT_TRUE(lvxDataWriteRawStart(p, "sym", "explanatory text", c.dim, c.kind, 42)) << LastText();
  for (const Record& r : written) ASSERT_TRUE(lvxDataWriteRaw(p, r.keys.data(), r.values)) << LastText();
  ASSERT_TRUE(lvxDataWriteDone(p));
  // A second symbol after the first, to see that symbols are kept apart.
  ASSERT_TRUE(lvxDataWriteRawStart(p, "other", "", 1, kLvxParameter, 0));
  const int key[] = {3};
  const double val[kLvxValueCount] = {7.0};
  ASSERT_TRUE(lvxDataWriteRaw(p, key, val));
  ASSERT_TRUE(lvxDataWriteDone(p));
  EXPECT_EQ(lvxErrorCount(p), 0) << LastText();
  ASSERT_EQ(lvxClose(p), 0);

  ASSERT_TRUE(lvxOpenRead(p, file.c_str(), &err)) << err;
  char name[QLINK_STRING_BUFSIZE], text[QLINK_STRING_BUFSIZE];
  int sym = 0, dim = -1, kind = -1, count = -1, user = -1;
  ASSERT_TRUE(lvxFindSymbol(p, "SYM", &sym));  // names are found regardless of case
  ASSERT_TRUE(lvxSymbolInfo(p, sym, name, &dim, &kind));
  EXPECT_STREQ(name, "sym");
  EXPECT_EQ(dim, c.dim);
  EXPECT_EQ(kind, c.kind);
  ASSERT_TRUE(lvxSymbolInfoX(p, sym, &count, &user, text));
  EXPECT_EQ(count, static_cast<int>(written.size()));
  EXPECT_EQ(user, 42);
  EXPECT_STREQ(text, "explanatory text");
  char version[QLINK_STRING_BUFSIZE], producer[QLINK_STRING_BUFSIZE];
  ASSERT_TRUE(lvxFileVersion(p, version, producer));
  EXPECT_STREQ(producer, "RoundTrip");

  const std::vector<Record> read = ReadAll("sym");
  ASSERT_EQ(read.size(), written.size());
  // Sets and parameters keep the level; the other four reals read as 0.
  const int kept = c.kind >= kLvxVariable ? kLvxValueCount : 1;
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].keys, written[i].keys) << i;
    EXPECT_EQ(read[i].first_changed, written[i].first_changed) << i;
    for (int v = 0; v < kLvxValueCount; ++v)
      EXPECT_EQ(read[i].values[v], v < kept ? written[i].values[v] : 0.0) << i << " " << v;
  }
  const std::vector<Record> other = ReadAll("other");
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].keys, std::vector<int>{3});
  EXPECT_EQ(other[0].values[0], 7.0);
  EXPECT_EQ(lvxErrorCount(p), 0) << LastText();
  EXPECT_EQ(lvxClose(p), 0);
}

std::vector<RoundTrip> AllRoundTrips() {
  std::vector<RoundTrip> out;
  for (int kind = 0; kind <= kLvxEquation; ++kind)
    for (int dim = 0; dim <= kLvxMaxDim; ++dim)
      for (bool compress : {false, true}) out.push_back({kind, dim, compress});
  return out;
}

INSTANTIATE_TEST_SUITE_P(KindsDimsCompression, LvxRoundTrip, ::testing::ValuesIn(AllRoundTrips()),
                         [](const auto& i) {
                           return "kind" + std::to_string(i.param.kind) + "_dim" +
                                  std::to_string(i.param.dim) +
                                  (i.param.compress ? "_z" : "_plain");
                         });

TEST_F(LvxTest, CompressionMakesRepetitiveDataSmaller) {
  std::uintmax_t sizes[2] = {};
  for (int compress = 0; compress < 2; ++compress) {
    const std::string file = Path("c" + std::to_string(compress) + ".lvx");
    int err = 0;
    ASSERT_TRUE(lvxOpenWriteEx(p, file.c_str(), "ScratchLvx", compress, &err));
    RegisterLabels(100);
    ASSERT_TRUE(lvxDataWriteRawStart(p, "x", "", 2, kLvxVariable, 0));
    const double v[kLvxValueCount] = {1, 2, 3, 4, 5};
    for (int i = 1; i <= 100; ++i)
      for (int j = 1; j <= 100; ++j) {
        const int k[] = {i, j};
        ASSERT_TRUE(lvxDataWriteRaw(p, k, v));
      }
    ASSERT_TRUE(lvxDataWriteDone(p));
    ASSERT_EQ(lvxClose(p), 0);
    sizes[compress] = fs::file_size(file);
  }
  EXPECT_LT(sizes[1] * 5, sizes[0]);
}

// ---------------------------------------------------------------------------------------------
// Special values

TEST_F(LvxTest, SpecialValuesAndEpsAsZero) {
  double sv[kLvxSvCount];
  ASSERT_TRUE(lvxGetSpecialValues(p, sv));
  EXPECT_EQ(sv[kLvxSvUndf], kUndf);
  EXPECT_EQ(sv[kLvxSvNa], kNa);
  EXPECT_EQ(sv[kLvxSvPlusInf], kPlusInf);
  EXPECT_EQ(sv[kLvxSvMinusInf], kMinusInf);
  EXPECT_EQ(sv[kLvxSvEps], kEps);

  const std::string file = Path("sv.lvx");
  int err = 0;
  ASSERT_TRUE(lvxOpenWrite(p, file.c_str(), "sv", &err));
  RegisterLabels(1);
  ASSERT_TRUE(lvxDataWriteRawStart(p, "v", "", 1, kLvxVariable, 0));
  const double inf = std::numeric_limits<double>::infinity();
  const double written[kLvxValueCount] = {kEps, kUndf, -inf, inf, kAcr};
  const int key[] = {1};
  ASSERT_TRUE(lvxDataWriteRaw(p, key, written));
  ASSERT_TRUE(lvxDataWriteDone(p));
  ASSERT_TRUE(lvxDataWriteRawStart(p, "w", "", 0, kLvxParameter, 0));
  const double na[kLvxValueCount] = {kNa};
  ASSERT_TRUE(lvxDataWriteRaw(p, key, na));
  ASSERT_TRUE(lvxDataWriteDone(p));
  ASSERT_EQ(lvxClose(p), 0);

  const struct {
    const char* label;
    std::function<void(double*)> adjust;
    double expected[kLvxValueCount];
    double expected_na;
  } cases[] = {
      // Infinities are stored as the modeling system's infinities; ACR is an ordinary number.
      {"system values", [](double*) {}, {kEps, kUndf, kMinusInf, kPlusInf, kAcr}, kNa},
      {"EPS read as 0", [](double* s) { s[kLvxSvEps] = 0; }, {0, kUndf, kMinusInf, kPlusInf, kAcr}, kNa},
      {"all mapped", [](double* s) { for (int i = 0; i < kLvxSvCount; ++i) s[i] = -(i + 1); },
       {-5, -1, -4, -3, kAcr}, -2},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(lvxOpenRead(p, file.c_str(), &err));
    double s[kLvxSvCount];
    lvxGetSpecialValues(p, s);
    c.adjust(s);
    ASSERT_TRUE(lvxSetReadSpecialValues(p, s));
    const std::vector<Record> v = ReadAll("v");
    ASSERT_EQ(v.size(), 1u);
    for (int i = 0; i < kLvxValueCount; ++i) EXPECT_EQ(v[0].values[i], c.expected[i]) << c.label << i;
    const std::vector<Record> w = ReadAll("w");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].values[0], c.expected_na) << c.label;
    EXPECT_EQ(lvxClose(p), 0);
  }
}

// ---------------------------------------------------------------------------------------------
// Labels

TEST_F(LvxTest, RawLabelsAreNumberedInOrderOfRegistration) {
  const std::string file = Path("labels.lvx");
  int err = 0;
  ASSERT_TRUE(lvxOpenWrite(p, file.c_str(), "labels", &err));
  RegisterLabels(3, "a");
  ASSERT_TRUE(lvxDataWriteRawStart(p, "x", "", 1, kLvxParameter, 0));
  for (int k = 1; k <= 3; ++k) {
    const double v[kLvxValueCount] = {static_cast<double>(k)};
    ASSERT_TRUE(lvxDataWriteRaw(p, &k, v));
  }
  ASSERT_TRUE(lvxDataWriteDone(p));
  // A second registration continues the numbering.
  RegisterLabels(2, "b");
  ASSERT_TRUE(lvxDataWriteRawStart(p, "y", "", 1, kLvxParameter, 0));
  const int k5 = 5;
  const double v5[kLvxValueCount] = {5};
  ASSERT_TRUE(lvxDataWriteRaw(p, &k5, v5));
  ASSERT_TRUE(lvxDataWriteDone(p));
  ASSERT_EQ(lvxClose(p), 0);

  ASSERT_TRUE(lvxOpenRead(p, file.c_str(), &err));
  int symbols = 0, labels = 0;
  ASSERT_TRUE(lvxSystemInfo(p, &symbols, &labels));
  EXPECT_EQ(symbols, 2);
  EXPECT_EQ(labels, 5);
  const char* expected[] = {"a1", "a2", "a3", "b1", "b2"};
  char label[QLINK_STRING_BUFSIZE];
  for (int i = 1; i <= 5; ++i) {
    ASSERT_TRUE(lvxUELGet(p, i, label));
    EXPECT_STREQ(label, expected[i - 1]);
  }
  EXPECT_FALSE(lvxUELGet(p, 6, label));
  EXPECT_FALSE(lvxUELGet(p, 0, label));
  const std::vector<Record> y = ReadAll("y");
  ASSERT_EQ(y.size(), 1u);
  EXPECT_EQ(y[0].keys, std::vector<int>{5});
  lvxClose(p);
}

// ---------------------------------------------------------------------------------------------
// Writing errors: the bad call fails with a clear text, and the file keeps everything else.

struct WriteError {
  const char* label;
  // Runs after labels l1..l3 are registered and symbol "x" (dimension 2, parameter) has the
  // records (1,1) and (2,2).
  std::function<int(lvxHandle_t)> bad_call;
  const char* text;
};

class LvxWriteErrors : public LvxTest, public ::testing::WithParamInterface<WriteError> {};

int WriteKeys(lvxHandle_t p, int a, int b) {
  const int k[] = {a, b};
  const double v[kLvxValueCount] = {9};
  return lvxDataWriteRaw(p, k, v);
}

TEST_P(LvxWriteErrors, AreReportedAndCorruptNothing) {
  const WriteError& c = GetParam();
  const std::string file = Path("werr.lvx");
  int err = 0;
  ASSERT_TRUE(lvxOpenWrite(p, file.c_str(), "errors", &err));
  RegisterLabels(3);
  ASSERT_TRUE(lvxDataWriteRawStart(p, "x", "", 2, kLvxParameter, 0));
  ASSERT_TRUE(WriteKeys(p, 1, 1));
  ASSERT_TRUE(WriteKeys(p, 2, 2));
  EXPECT_EQ(c.bad_call(p), 0);
  EXPECT_EQ(lvxErrorCount(p), 1);
  EXPECT_NE(LastText().find(c.text), std::string::npos) << LastText();
  // Going on after the error: a good record and a finished symbol.
  lvxDataWriteDone(p);
  if (lvxDataWriteRawStart(p, "after", "", 1, kLvxParameter, 0)) {
    const int k = 1;
    const double v[kLvxValueCount] = {1};
    lvxDataWriteRaw(p, &k, v);
    lvxDataWriteDone(p);
  }
  EXPECT_EQ(lvxClose(p), 0);
  // The error count belongs to the object and goes on counting; reading adds nothing to it.
  const int errors_after_writing = lvxErrorCount(p);

  ASSERT_TRUE(lvxOpenRead(p, file.c_str(), &err)) << LastText();
  const std::vector<Record> x = ReadAll("x");
  ASSERT_EQ(x.size(), 2u);  // the rejected record is not in the file
  EXPECT_EQ(x[0].keys, (std::vector<int>{1, 1}));
  EXPECT_EQ(x[1].keys, (std::vector<int>{2, 2}));
  EXPECT_EQ(ReadAll("after").size(), 1u);
  EXPECT_EQ(lvxErrorCount(p), errors_after_writing) << LastText();
  lvxClose(p);
}

INSTANTIATE_TEST_SUITE_P(
    Lvx, LvxWriteErrors,
    ::testing::Values(
        WriteError{"OutOfOrder", [](lvxHandle_t p) { return WriteKeys(p, 1, 3); }, "ascending"},
        WriteError{"OutOfOrderSecondKey", [](lvxHandle_t p) { return WriteKeys(p, 2, 1); },
                   "ascending"},
        WriteError{"RepeatedKeys", [](lvxHandle_t p) { return WriteKeys(p, 2, 2); },
                   "repeats the keys"},
        WriteError{"KeyZero", [](lvxHandle_t p) { return WriteKeys(p, 3, 0); },
                   "key 0 at position 2 is not a registered label (labels 1..3)"},
        WriteError{"KeyBeyondLabels", [](lvxHandle_t p) { return WriteKeys(p, 4, 1); },
                   "key 4 at position 1 is not a registered label"},
        WriteError{"SameNameTwice",
                   [](lvxHandle_t p) {
                     lvxDataWriteDone(p);
                     return lvxDataWriteRawStart(p, "X", "", 1, kLvxSet, 0);
                   },
                   "Symbol X written twice"},
        WriteError{"DimensionTooLarge",
                   [](lvxHandle_t p) {
                     lvxDataWriteDone(p);
                     return lvxDataWriteRawStart(p, "big", "", 21, kLvxSet, 0);
                   },
                   "dimension 21 out of 0..20"},
        WriteError{"BadKind",
                   [](lvxHandle_t p) {
                     lvxDataWriteDone(p);
                     return lvxDataWriteRawStart(p, "k", "", 1, 4, 0);
                   },
                   "kind 4 out of 0..3"},
        WriteError{"StartInsideSymbol",
                   [](lvxHandle_t p) { return lvxDataWriteRawStart(p, "y", "", 1, kLvxSet, 0); },
                   "DataWriteRawStart: not allowed now"},
        WriteError{"DuplicateLabel",
                   [](lvxHandle_t p) {
                     lvxDataWriteDone(p);
                     lvxUELRegisterRawStart(p);
                     const int rc = lvxUELRegisterRaw(p, "l2");
                     lvxUELRegisterDone(p);
                     return rc;
                   },
                   "Label l2 registered twice"},
        WriteError{"EmptyLabel",
                   [](lvxHandle_t p) {
                     lvxDataWriteDone(p);
                     lvxUELRegisterRawStart(p);
                     const int rc = lvxUELRegisterRaw(p, "");
                     lvxUELRegisterDone(p);
                     return rc;
                   },
                   "Label must have 1 to 255 characters"},
        WriteError{"ReadWhileWriting",
                   [](lvxHandle_t p) {
                     int n = 0;
                     return lvxDataReadRawStart(p, 1, &n);
                   },
                   "no file open for reading"}),
    [](const auto& i) { return std::string(i.param.label); });

TEST_F(LvxTest, ScalarTakesOneRecord) {
  const std::string file = Path("scalar.lvx");
  int err = 0;
  ASSERT_TRUE(lvxOpenWrite(p, file.c_str(), "s", &err));
  ASSERT_TRUE(lvxDataWriteRawStart(p, "s", "", 0, kLvxParameter, 0));
  const double one[kLvxValueCount] = {1}, two[kLvxValueCount] = {2};
  ASSERT_TRUE(lvxDataWriteRaw(p, nullptr, one));
  EXPECT_FALSE(lvxDataWriteRaw(p, nullptr, two));
  EXPECT_EQ(lvxErrorCount(p), 1);
  ASSERT_TRUE(lvxDataWriteDone(p));
  ASSERT_EQ(lvxClose(p), 0);
  ASSERT_TRUE(lvxOpenRead(p, file.c_str(), &err));
  const std::vector<Record> s = ReadAll("s");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].values[0], 1.0);
  EXPECT_EQ(s[0].first_changed, 1);
  lvxClose(p);
}

TEST_F(LvxTest, CloseFinishesAnOpenSymbolAndCountsIt) {
  const std::string file = Path("unfinished.lvx");
  int err = 0;
  ASSERT_TRUE(lvxOpenWriteEx(p, file.c_str(), "u", 1, &err));
  RegisterLabels(2);
  ASSERT_TRUE(lvxDataWriteRawStart(p, "x", "", 1, kLvxParameter, 0));
  const double v[kLvxValueCount] = {3};
  for (int k = 1; k <= 2; ++k) ASSERT_TRUE(lvxDataWriteRaw(p, &k, v));
  EXPECT_EQ(lvxClose(p), 0);
  EXPECT_EQ(lvxErrorCount(p), 1);
  EXPECT_NE(LastText().find("symbol x was not finished"), std::string::npos) << LastText();
  ASSERT_TRUE(lvxOpenRead(p, file.c_str(), &err));
  EXPECT_EQ(ReadAll("x").size(), 2u);
  lvxClose(p);
}

TEST_F(LvxTest, SettingsAndOpenFailure) {
  EXPECT_EQ(lvxAutoConvert(p, 0), 1);
  EXPECT_EQ(lvxAutoConvert(p, 0), 0);
  lvxStoreDomainSetsSet(p, 0);
  int err = 0;
  const std::string missing = Path("no-such-file.lvx");
  EXPECT_FALSE(lvxOpenRead(p, missing.c_str(), &err));
  EXPECT_EQ(err, ENOENT);
  EXPECT_EQ(lvxGetLastError(p), ENOENT);
  EXPECT_EQ(lvxErrorCount(p), 1);
  EXPECT_EQ(LastText(), "Cannot open " + missing + ": " + platform::ErrorText(ENOENT));
  EXPECT_FALSE(lvxOpenWrite(p, Path("no-dir/x.lvx").c_str(), "x", &err));
  EXPECT_EQ(err, ENOENT);
  EXPECT_NE(lvxClose(p), 0);  // nothing open
}

// ---------------------------------------------------------------------------------------------
// Reading untrusted files. The files are built byte by byte after FORMAT.md.

class Bytes {
 public:
  Bytes& U8(unsigned v) { data_.push_back(static_cast<char>(v)); return *this; }
  Bytes& U32(std::uint32_t v) { for (int i = 0; i < 4; ++i) U8((v >> (8 * i)) & 0xFF); return *this; }
  Bytes& U64(std::uint64_t v) { for (int i = 0; i < 8; ++i) U8((v >> (8 * i)) & 0xFF); return *this; }
  Bytes& Str(const std::string& s) { U8(static_cast<unsigned>(s.size())); data_ += s; return *this; }
  Bytes& Raw(const std::string& s) { data_ += s; return *this; }
  Bytes& Double(double d) { std::uint64_t u; std::memcpy(&u, &d, 8); return U64(u); }
  const std::string& str() const { return data_; }
  std::size_t size() const { return data_.size(); }

 private:
  std::string data_;
};

Bytes Header(std::uint32_t version = 1, std::uint32_t flags = 0) {
  Bytes b;
  b.Raw(std::string("QLVX\r\n\x1a\n", 8)).U32(version).U32(flags).Str("hand");
  return b;
}

Bytes& Labels(Bytes& b, std::initializer_list<const char*> labels) {
  b.U8('L').U32(static_cast<std::uint32_t>(labels.size()));
  for (const char* l : labels) b.Str(l);
  return b;
}

// A parameter "p" of dimension `dim` with `records` claimed and the given record data.
Bytes& Symbol(Bytes& b, int dim, std::uint32_t records, const std::string& data,
              std::uint64_t length = UINT64_MAX, const char* name = "p") {
  b.U8('S').Str(name).Str("text").U8(static_cast<unsigned>(dim)).U8(1).U32(0).U32(records);
  b.U64(length == UINT64_MAX ? data.size() : length).Raw(data);
  return b;
}

Bytes& End(Bytes& b, std::uint32_t labels, std::uint32_t symbols) {
  return b.U8('E').U32(labels).U32(symbols);
}

// Record data of a parameter: changed position, keys (each < 128, one byte), a double level.
std::string Rec(int pos, std::initializer_list<int> keys, double level) {
  Bytes b;
  b.U8(static_cast<unsigned>(pos));
  for (int k : keys) b.U8(static_cast<unsigned>(k));
  b.U8(1).Double(level);
  return b.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

TEST_F(LvxTest, HandMadeFileIsRead) {
  Bytes b = Header();
  Labels(b, {"i", "j", "k"});
  Symbol(b, 2, 3, Rec(0, {1, 2}, 1.0) + Rec(1, {3}, 2.0) + Rec(0, {2, 1}, 3.0));
  End(b, 3, 1);
  const std::string file = Path("hand.lvx");
  WriteBytes(file, b.str());
  int err = 0;
  ASSERT_TRUE(lvxOpenRead(p, file.c_str(), &err)) << LastText();
  const std::vector<Record> r = ReadAll("p");
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[1].keys, (std::vector<int>{1, 3}));
  EXPECT_EQ(r[1].first_changed, 2);
  EXPECT_EQ(r[2].keys, (std::vector<int>{2, 1}));
  EXPECT_EQ(r[2].first_changed, 1);
  EXPECT_EQ(r[2].values[0], 3.0);
  EXPECT_EQ(lvxErrorCount(p), 0);
  lvxClose(p);
}

struct BadFile {
  const char* label;
  std::function<std::string()> bytes;
  bool fails_at_open;  // else the file opens and reading symbol "p" fails
  const char* text;
};

class LvxBadFiles : public LvxTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(LvxBadFiles, GiveAClearErrorAndNoCrash) {
  const BadFile& c = GetParam();
  const std::string file = Path("bad.lvx");
  WriteBytes(file, c.bytes());
  int err = 0;
  const int opened = lvxOpenRead(p, file.c_str(), &err);
  if (c.fails_at_open) {
    EXPECT_FALSE(opened);
    EXPECT_NE(err, 0);
  } else {
    ASSERT_TRUE(opened) << LastText();
    ReadAll("p");
    lvxClose(p);
  }
  EXPECT_GE(lvxErrorCount(p), 1);
  EXPECT_NE(LastText().find(c.text), std::string::npos) << LastText();
}

std::string Good3() { return Rec(0, {1, 2}, 1.0) + Rec(1, {3}, 2.0) + Rec(0, {2, 1}, 3.0); }

std::string FileWith(const std::string& data, std::uint32_t records = 3, int dim = 2) {
  Bytes b = Header();
  Labels(b, {"i", "j", "k"});
  Symbol(b, dim, records, data);
  End(b, 3, 1);
  return b.str();
}

INSTANTIATE_TEST_SUITE_P(
    Lvx, LvxBadFiles,
    ::testing::Values(
        BadFile{"Empty", [] { return std::string(); }, true, "not an LVX file"},
        BadFile{"Foreign", [] { return std::string("$NL CODE\n1 2 3\n"); }, true, "not an LVX file"},
        BadFile{"NewerVersion", [] { Bytes b = Header(2); End(b, 0, 0); return b.str(); }, true,
                "format version 2 is not supported"},
        BadFile{"UnknownFlags", [] { Bytes b = Header(1, 6); End(b, 0, 0); return b.str(); }, true,
                "unknown flags"},
        BadFile{"NoEndBlock", [] { Bytes b = Header(); Labels(b, {"a"}); return b.str(); }, true,
                "ends before its end block"},
        BadFile{"AbsurdLabelCount",
                [] { Bytes b = Header(); b.U8('L').U32(0xFFFFFFFFu).Str("a"); End(b, 1, 0); return b.str(); },
                true, "label count 4294967295 exceeds the file"},
        BadFile{"AbsurdDataLength",
                [] { Bytes b = Header(); Labels(b, {"a"}); Symbol(b, 1, 1, "", 1ull << 62); return b.str(); },
                true, "ends inside the records of symbol p"},
        BadFile{"AbsurdRecordCount", [] { return FileWith(Good3(), 0xFFFFFFF0u); }, true,
                "bad record count"},
        BadFile{"DimensionOutOfRange", [] { return FileWith(Good3(), 3, 25); }, true,
                "dimension 25"},
        BadFile{"SymbolTwice",
                [] {
                  Bytes b = Header();
                  Labels(b, {"a"});
                  Symbol(b, 1, 1, Rec(0, {1}, 1.0));
                  Symbol(b, 1, 1, Rec(0, {1}, 1.0), UINT64_MAX, "P");
                  End(b, 1, 2);
                  return b.str();
                },
                true, "has symbol P twice"},
        BadFile{"EndCountsWrong", [] { Bytes b = Header(); Labels(b, {"a"}); End(b, 2, 0); return b.str(); },
                true, "does not match"},
        BadFile{"TrailingBytes", [] { return FileWith(Good3()) + "x"; }, true, "data after its end"},
        BadFile{"UnknownBlock", [] { Bytes b = Header(); b.U8('Z'); return b.str(); }, true,
                "unknown block 90"},
        BadFile{"FirstRecordNotAtZero", [] { return FileWith(Rec(1, {2}, 1.0) + Good3()); }, false,
                "bad changed-key position 1"},
        BadFile{"PositionBeyondDimension", [] { return FileWith(Rec(0, {1, 2}, 1.0) + Rec(2, {}, 1.0) + Rec(0, {3, 3}, 1.0)); },
                false, "bad changed-key position 2"},
        BadFile{"KeyZero", [] { return FileWith(Rec(0, {0, 1}, 1.0) + Good3()); }, false,
                "key 0 at position 1 names no label"},
        BadFile{"KeyBeyondLabels", [] { return FileWith(Rec(0, {1, 4}, 1.0) + Good3()); }, false,
                "key 4 at position 2 names no label"},
        BadFile{"Unsorted", [] { return FileWith(Rec(0, {2, 2}, 1.0) + Rec(1, {1}, 1.0) + Rec(0, {3, 1}, 1.0)); },
                false, "not in ascending order"},
        BadFile{"UnknownValueTag",
                [] { Bytes b; b.U8(0).U8(1).U8(1).U8(9); return FileWith(b.str() + Rec(0, {2, 2}, 1.0) + Rec(0, {3, 3}, 1.0)); },
                false, "unknown value tag 9"},
        BadFile{"DataEndsEarly", [] { return FileWith(Rec(0, {1, 2}, 1.0) + Rec(1, {3}, 2.0), 3); }, false,
                "record data ends early"},
        BadFile{"DataAfterLastRecord", [] { return FileWith(Good3() + "\x01", 3); }, false,
                "has data after its last record"},
        BadFile{"KeyTooLong",
                [] { return FileWith(std::string("\x00\xff\xff\xff\xff\x7f\x01", 7) + Good3()); },
                false, "key too large"}),
    [](const auto& i) { return std::string(i.param.label); });

// Every cut of a valid file, plain and compressed, fails with a text and never passes for whole.
TEST_F(LvxTest, EveryTruncationIsRejected) {
  for (int compress = 0; compress < 2; ++compress) {
    const std::string file = Path("whole.lvx");
    int err = 0;
    ASSERT_TRUE(lvxOpenWriteEx(p, file.c_str(), "t", compress, &err));
    RegisterLabels(4);
    ASSERT_TRUE(lvxDataWriteRawStart(p, "x", "t", 2, kLvxVariable, 0));
    const double v[kLvxValueCount] = {1.25, kEps, 0, kPlusInf, 1};
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j) {
        const int k[] = {i, j};
        ASSERT_TRUE(lvxDataWriteRaw(p, k, v));
      }
    ASSERT_TRUE(lvxDataWriteDone(p));
    ASSERT_EQ(lvxClose(p), 0);
    std::ifstream in(file, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t n = 0; n < whole.size(); ++n) {
      const std::string cut = Path("cut.lvx");
      WriteBytes(cut, whole.substr(0, n));
      const int errors_before = lvxErrorCount(p);
      EXPECT_FALSE(lvxOpenRead(p, cut.c_str(), &err)) << compress << " " << n;
      EXPECT_EQ(lvxErrorCount(p), errors_before + 1);
      EXPECT_FALSE(LastText().empty());
    }
  }
}

// A flipped byte inside compressed record data is detected by the stream's checksum at the
// latest; the reader reports it instead of passing wrong records on silently.
TEST_F(LvxTest, CorruptCompressedDataIsDetected) {
  const std::string file = Path("z.lvx");
  int err = 0;
  ASSERT_TRUE(lvxOpenWriteEx(p, file.c_str(), "z", 1, &err));
  RegisterLabels(50);
  ASSERT_TRUE(lvxDataWriteRawStart(p, "p", "", 2, kLvxParameter, 0));
  for (int i = 1; i <= 50; ++i)
    for (int j = 1; j <= 50; ++j) {
      const int k[] = {i, j};
      const double v[kLvxValueCount] = {i * 0.5 + j};
      ASSERT_TRUE(lvxDataWriteRaw(p, k, v));
    }
  ASSERT_TRUE(lvxDataWriteDone(p));
  ASSERT_EQ(lvxClose(p), 0);
  std::ifstream in(file, std::ios::binary);
  std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The compressed data follow the symbol header; flip bytes in its middle and near its end.
  const std::size_t data_begin = whole.find("p") + 1 + 1 + 0 + 2 + 4 + 4 + 8;
  const std::size_t data_end = whole.size() - 9;
  for (std::size_t at : {data_begin + (data_end - data_begin) / 2, data_end - 2}) {
    std::string bad = whole;
    bad[at] = static_cast<char>(bad[at] ^ 0x5A);
    WriteBytes(Path("zbad.lvx"), bad);
    const int errors_before = lvxErrorCount(p);
    ASSERT_TRUE(lvxOpenRead(p, Path("zbad.lvx").c_str(), &err));
    ReadAll("p");
    EXPECT_EQ(lvxErrorCount(p), errors_before + 1) << at;
    EXPECT_FALSE(LastText().empty());
    lvxClose(p);
  }
}

// ---------------------------------------------------------------------------------------------
// The dump tool

TEST_F(LvxTest, DumpToolPrintsEverything) {
  const std::string file = Path("dump.lvx");
  int err = 0;
  ASSERT_TRUE(lvxOpenWrite(p, file.c_str(), "QoralSolutions", &err));
  ASSERT_TRUE(lvxUELRegisterRawStart(p));
  ASSERT_TRUE(lvxUELRegisterRaw(p, "seattle"));
  ASSERT_TRUE(lvxUELRegisterRaw(p, "new-york"));
  ASSERT_TRUE(lvxUELRegisterDone(p));
  ASSERT_TRUE(lvxDataWriteRawStart(p, "x", "shipments", 2, kLvxVariable, 0));
  const int k[] = {1, 2};
  const double v[kLvxValueCount] = {2.5, kEps, 0, kPlusInf, 1};
  ASSERT_TRUE(lvxDataWriteRaw(p, k, v));
  ASSERT_TRUE(lvxDataWriteDone(p));
  ASSERT_TRUE(lvxDataWriteRawStart(p, "z", "", 0, kLvxParameter, 0));
  const double z[kLvxValueCount] = {kNa};
  ASSERT_TRUE(lvxDataWriteRaw(p, nullptr, z));
  ASSERT_TRUE(lvxDataWriteDone(p));
  ASSERT_EQ(lvxClose(p), 0);

  const std::string command = kSysdir + "lvxdump '" + file + "' 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(out,
            "File     " + file +
                "\nFormat   LVX format 1\nProducer QoralSolutions\n"
                "\nLabels (2)\n       1  seattle\n       2  new-york\n"
                "\nSymbols (2)\n"
                "\nx(2) variable \"shipments\", 1 records, user information 0\n"
                "  'seattle'.'new-york'  level 2.5  marginal EPS  lower 0  upper +INF  scale 1\n"
                "\nz(0) parameter \"\", 1 records, user information 0\n"
                "  (scalar)  NA\n");

  // A broken file: exit code 1 and the library's text.
  WriteBytes(Path("broken.lvx"), "nothing");
  pipe = popen((kSysdir + "lvxdump '" + Path("broken.lvx") + "' 2>&1").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  out.clear();
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 1);
  EXPECT_NE(out.find("not an LVX file"), std::string::npos) << out;
}

}  // namespace
}  // namespace qlink
