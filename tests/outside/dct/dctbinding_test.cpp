// The dictionary library as qorallink sees it: loaded from the system directory through its
// binding, answering the look-ups and searches that dot options, the IIS report and the
// solution-pool export make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outside/luvo/dctwriter.h"
#include "runtime/apisig.h"
#include "runtime/dctmdcdef.h"
#include "runtime/platform.h"

namespace qlink {
namespace {

std::string Path(const char* name) { return std::string(QLINK_TEST_BINARY_DIR) + "/" + name; }

class DctBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    luvo::DictionaryWriter w;
    const int x = w.AddVariable("x", 2, "Flows");
    const int z = w.AddVariable("z", 0, "Total");
    const int bal = w.AddEquation("bal", 1, "Balance");
    w.AddColumn(x, {"i1", "a b"});
    w.AddColumn(z, {});
    w.AddColumn(x, {"i2", "a b"});
    w.AddRow(bal, {"i2"});
    std::string error;
    ASSERT_TRUE(w.Write(Path("binding.dct"), &error)) << error;

    std::string msg;
    ASSERT_TRUE(dct.Create(&msg)) << msg;
    for (int i = 0; i < DctBinding().Table().function_count; ++i)
      ASSERT_TRUE(DctBinding().IsBound(i)) << DctBinding().Table().functions[i].name;
    char buf[QLINK_STRING_BUFSIZE];
    ASSERT_EQ(dctLoadEx(dct.get(), Path("binding.dct").c_str(), buf), 0) << buf;
  }

  // The display name of a column or row as the IIS report forms it.
  std::string DisplayName(bool row, int pos) {
    int sym = 0, dim = 0;
    int uels[kDctMaxDim];
    const int rc = row ? dctRowUels(dct.get(), pos, &sym, uels, &dim) : dctColUels(dct.get(), pos, &sym, uels, &dim);
    if (rc != 0) return (row ? "???e" : "???x") + std::to_string(pos + 1);
    char buf[QLINK_STRING_BUFSIZE];
    dctSymName(dct.get(), sym, buf);
    std::string s = buf;
    for (int k = 0; k < dim; ++k) {
      int quote = 0;
      dctUelLabel(dct.get(), uels[k], &quote, buf);
      s += k == 0 ? "(" : ",";
      if (quote != ' ') s += static_cast<char>(quote);
      s += buf;
      if (quote != ' ') s += static_cast<char>(quote);
    }
    return dim > 0 ? s + ")" : s;
  }

  std::vector<int> Search(int sym, const std::vector<int>& pattern) {
    int first = -2;
    std::vector<int> found;
    void* h = dctFindFirstRowCol(dct.get(), sym, pattern.data(), &first);
    for (int pos = first; pos >= 0;) {
      found.push_back(pos);
      if (dctFindNextRowCol(dct.get(), h, &pos) == 0) {
        EXPECT_LT(pos, 0);
      }
    }
    dctFindClose(dct.get(), h);
    return found;
  }

  TDctObject dct;
};

TEST_F(DctBindingTest, DisplayNamesOfScalarAndIndexedSymbols) {
  EXPECT_EQ(DisplayName(false, 0), "x(i1,'a b')");
  EXPECT_EQ(DisplayName(false, 1), "z");
  EXPECT_EQ(DisplayName(true, 0), "bal(i2)");
  EXPECT_EQ(DisplayName(false, 3), "???x4");
  EXPECT_EQ(DisplayName(true, 1), "???e2");
}

TEST_F(DctBindingTest, LookUpsAndSearches) {
  dctHandle_t h = dct.get();
  const int x = dctSymIndex(h, "X");
  ASSERT_EQ(x, 1);
  EXPECT_EQ(dctSymDim(h, x), 2);
  EXPECT_EQ(dctSymType(h, x), kDctVariable);
  EXPECT_EQ(dctSymType(h, dctSymIndex(h, "bal")), kDctEquation);
  EXPECT_EQ(dctSymIndex(h, "nothing"), 0);
  EXPECT_EQ(dctSymType(h, 0), -1);
  char buf[QLINK_STRING_BUFSIZE];
  ASSERT_EQ(dctSymText(h, 2, buf), 0);
  EXPECT_EQ(std::string(buf), "Total");
  EXPECT_EQ(dctNUels(h), 3);
  const int ab = dctUelIndex(h, "A B");
  EXPECT_EQ(ab, 2);
  EXPECT_EQ(dctUelIndex(h, "i3"), 0);

  EXPECT_EQ(Search(x, {0, ab}), (std::vector<int>{0, 2}));
  EXPECT_EQ(Search(x, {dctUelIndex(h, "i2"), 0}), (std::vector<int>{2}));
  EXPECT_EQ(Search(x, {dctUelIndex(h, "i2"), dctUelIndex(h, "i1")}), (std::vector<int>{}));
  EXPECT_EQ(Search(dctSymIndex(h, "z"), {}), (std::vector<int>{1}));
  EXPECT_EQ(Search(dctSymIndex(h, "bal"), {0}), (std::vector<int>{0}));

  int pos = 7;
  EXPECT_EQ(dctFindFirstRowCol(h, 99, nullptr, &pos), nullptr);
  EXPECT_LT(pos, 0);
  // A handle the object does not know is ignored.
  int dummy = 0;
  EXPECT_EQ(dctFindNextRowCol(h, &dummy, &pos), 0);
  dctFindClose(h, &dummy);
}

TEST_F(DctBindingTest, BadFileLeavesAMessageAndAnEmptyDictionary) {
  char buf[QLINK_STRING_BUFSIZE];
  EXPECT_NE(dctLoadEx(dct.get(), Path("does-not-exist.dct").c_str(), buf), 0);
  EXPECT_EQ(std::string(buf), "Cannot open dictionary file \"" + Path("does-not-exist.dct") + "\": No such file or directory");
  EXPECT_EQ(dctNUels(dct.get()), 0);
  EXPECT_EQ(dctSymIndex(dct.get(), "x"), 0);
}

TEST(DctLibraryEntries, VersionTwoOnly) {
  std::string error;
  platform::LibraryHandle lib =
      platform::OpenLibrary(std::string(QLINK_SYSDIR) + "/" + platform::SharedLibraryFileName("lvdctlib"), &error);
  ASSERT_NE(lib, nullptr) << error;
  auto version = reinterpret_cast<QlinkVersionFn>(platform::FindSymbol(lib, "dctXAPIVersion"));
  ASSERT_NE(version, nullptr);
  char msg[QLINK_STRING_BUFSIZE];
  EXPECT_GT(version(2, msg, sizeof msg), 0);
  EXPECT_EQ(version(4, msg, sizeof msg), 0);
  EXPECT_EQ(std::string(msg), "Client API version 4 does not match library API version 2");
  for (const char* name : {"dctXCreate", "dctXCreateD", "dctXFree", "dctXCheck"})
    EXPECT_NE(platform::FindSymbol(lib, name), nullptr) << name;
  platform::CloseLibrary(lib);
}

}  // namespace
}  // namespace qlink
