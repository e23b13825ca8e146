// The dictionary file as the modeling system writes it and the dictionary library reads it.
#include "outside/dct/dctlib.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "outside/luvo/dctwriter.h"

namespace qlink::dctlib {
namespace {

// x(i,j) and z as variables, e(i) and obj as equations. Labels in order of first use:
// 1 i1, 2 j1, 3 "a b", 4 j2, 5 "it's", 6 I2-b.
class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    luvo::DictionaryWriter w;
    const int x = w.AddVariable("x", 2, "Flows from i to j");
    const int z = w.AddVariable("z", 0);
    const int e = w.AddEquation("e", 1, "Balance");
    const int obj = w.AddEquation("obj", 0, "Objective");
    w.AddColumn(x, {"i1", "j1"});         // column 0
    w.AddColumn(x, {"a b", "j2"});        // column 1
    w.AddColumn(z, {});                   // column 2
    w.AddColumn(x, {"i1", "j2"});         // column 3
    w.AddColumn(x, {"it's", "j1"});       // column 4
    w.AddRow(obj, {});                    // row 0
    w.AddRow(e, {"i1"});                  // row 1
    w.AddRow(e, {"I2-b"});                // row 2
    std::string text, error;
    ASSERT_TRUE(w.Text(&text, &error)) << error;
    std::istringstream in(text);
    ASSERT_TRUE(dict_.Read(in, &error)) << error << "\n" << text;
  }
  std::vector<int> Find(const char* symbol, std::vector<int> pattern) {
    Dictionary::Search s;
    s.sym = dict_.SymbolIndex(symbol);
    s.pattern = std::move(pattern);
    std::vector<int> found;
    for (int pos = dict_.FindNext(s); pos >= 0; pos = dict_.FindNext(s)) found.push_back(pos);
    return found;
  }
  Dictionary dict_;
};

TEST_F(DictionaryTest, SymbolsAndLabels) {
  EXPECT_EQ(dict_.SymbolCount(), 4);
  EXPECT_EQ(dict_.LabelCount(), 6);
  EXPECT_EQ(dict_.ColumnCount(), 5);
  EXPECT_EQ(dict_.RowCount(), 3);
  const int x = dict_.SymbolIndex("X");
  ASSERT_EQ(x, 1);
  EXPECT_EQ(dict_.SymbolAt(x)->dim, 2);
  EXPECT_EQ(dict_.SymbolAt(x)->type, kSymbolVariable);
  EXPECT_EQ(dict_.SymbolAt(x)->text, "Flows from i to j");
  EXPECT_EQ(dict_.SymbolAt(dict_.SymbolIndex("obj"))->type, kSymbolEquation);
  EXPECT_EQ(dict_.SymbolAt(dict_.SymbolIndex("z"))->text, "");
  EXPECT_EQ(dict_.SymbolIndex("y"), 0);
  EXPECT_EQ(dict_.SymbolAt(0), nullptr);
  EXPECT_EQ(dict_.SymbolAt(5), nullptr);

  struct LabelCase {
    const char* text;
    int index;
    char quote;
  };
  for (const LabelCase& c : {LabelCase{"i1", 1, ' '}, LabelCase{"a b", 3, '\''}, LabelCase{"it's", 5, '"'},
                             LabelCase{"I2-b", 6, ' '}}) {
    EXPECT_EQ(dict_.LabelIndex(c.text), c.index) << c.text;
    ASSERT_NE(dict_.LabelAt(c.index), nullptr);
    EXPECT_EQ(dict_.LabelAt(c.index)->text, c.text);
    EXPECT_EQ(dict_.LabelAt(c.index)->quote, c.quote) << c.text;
  }
  EXPECT_EQ(dict_.LabelIndex("I1"), 1);  // without regard to case
  EXPECT_EQ(dict_.LabelIndex("i9"), 0);
  EXPECT_EQ(dict_.LabelAt(7), nullptr);
}

TEST_F(DictionaryTest, RowsAndColumnsOfScalarAndIndexedSymbols) {
  int sym = 0;
  std::vector<int> uels;
  ASSERT_TRUE(dict_.ColUels(1, &sym, &uels));
  EXPECT_EQ(sym, 1);
  EXPECT_EQ(uels, (std::vector<int>{3, 4}));
  ASSERT_TRUE(dict_.ColUels(2, &sym, &uels));
  EXPECT_EQ(sym, 2);
  EXPECT_TRUE(uels.empty());
  ASSERT_TRUE(dict_.RowUels(0, &sym, &uels));
  EXPECT_EQ(sym, 4);
  EXPECT_TRUE(uels.empty());
  ASSERT_TRUE(dict_.RowUels(2, &sym, &uels));
  EXPECT_EQ(sym, 3);
  EXPECT_EQ(uels, (std::vector<int>{6}));
  EXPECT_FALSE(dict_.ColUels(5, &sym, &uels));
  EXPECT_EQ(sym, 0);
  EXPECT_FALSE(dict_.RowUels(-1, &sym, &uels));
}

TEST_F(DictionaryTest, SearchesWithWildcards) {
  EXPECT_EQ(Find("x", {0, 0}), (std::vector<int>{0, 1, 3, 4}));
  EXPECT_EQ(Find("x", {1, 0}), (std::vector<int>{0, 3}));
  EXPECT_EQ(Find("x", {0, 2}), (std::vector<int>{0, 4}));
  EXPECT_EQ(Find("x", {3, 4}), (std::vector<int>{1}));
  EXPECT_EQ(Find("x", {3, 2}), (std::vector<int>{}));
  // Fewer positions than the dimension: the missing ones match anything.
  EXPECT_EQ(Find("x", {}), (std::vector<int>{0, 1, 3, 4}));
  EXPECT_EQ(Find("z", {}), (std::vector<int>{2}));
  EXPECT_EQ(Find("e", {0}), (std::vector<int>{1, 2}));
  EXPECT_EQ(Find("e", {6}), (std::vector<int>{2}));
  EXPECT_EQ(Find("obj", {}), (std::vector<int>{0}));
  EXPECT_EQ(Find("nothing", {}), (std::vector<int>{}));
}

// A readable test name: the case number and the case's text, letters and digits only.
std::string CaseName(std::size_t index, std::string_view text) {
  std::string name = "c" + std::to_string(index) + "_";
  for (char c : text.substr(0, 40))
    name += ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) ? c : '_';
  return name;
}

struct BadFile {
  const char* text;
  const char* message;
};

class BadDictionaryTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadDictionaryTest, IsRefusedWithTheMessage) {
  Dictionary d;
  std::istringstream in(GetParam().text);
  std::string error;
  EXPECT_FALSE(d.Read(in, &error));
  EXPECT_EQ(error, GetParam().message);
  EXPECT_EQ(d.SymbolCount(), 0);
  EXPECT_EQ(d.LabelCount(), 0);
  EXPECT_EQ(d.ColumnCount(), 0);
}

#define HEAD "LUVO-DICTIONARY 1\n"
INSTANTIATE_TEST_SUITE_P(
    Files, BadDictionaryTest,
    ::testing::Values(
        BadFile{"", "Dictionary file ends early: the header \"LUVO-DICTIONARY 1\" expected"},
        BadFile{"LUVO-DICTIONARY 2\n", "Dictionary file line 1: not a dictionary file (header \"LUVO-DICTIONARY 1\" expected)"},
        BadFile{HEAD "LABELS -1\n", "Dictionary file line 2: LABELS and a count expected"},
        BadFile{HEAD "LABELS 2\na\n", "Dictionary file ends early: a label expected"},
        BadFile{HEAD "LABELS 2\na\nA\n", "Dictionary file line 4: label \"A\" is listed twice"},
        BadFile{HEAD "LABELS 1\n'a b\n",
                "Dictionary file line 3: a quoted label must be the whole line, with no quote of the same kind inside"},
        BadFile{HEAD "LABELS 1\n''\n", "Dictionary file line 3: empty label"},
        BadFile{HEAD "LABELS 1\na\nSYMBOLS 1\nx parameter 0\n",
                "Dictionary file line 5: \"variable\" or \"equation\" expected after the symbol name"},
        BadFile{HEAD "LABELS 1\na\nSYMBOLS 1\nx variable 21\n", "Dictionary file line 5: dimension 0 ... 20 expected"},
        BadFile{HEAD "LABELS 1\na\nSYMBOLS 1\n1x variable 0\n", "Dictionary file line 5: symbol name expected"},
        BadFile{HEAD "LABELS 0\nSYMBOLS 2\nx variable 0\nX equation 0\n", "Dictionary file line 5: symbol \"X\" is listed twice"},
        BadFile{HEAD "LABELS 1\na\nSYMBOLS 1\ne equation 1\nCOLUMNS 1\n1 1\n",
                "Dictionary file line 7: symbol \"e\" is an equation, not a variable"},
        BadFile{HEAD "LABELS 1\na\nSYMBOLS 1\nx variable 1\nCOLUMNS 1\n1 2\n",
                "Dictionary file line 7: symbol \"x\" needs 1 label numbers 1 ... 1"},
        BadFile{HEAD "LABELS 1\na\nSYMBOLS 1\nx variable 1\nCOLUMNS 1\n1\n",
                "Dictionary file line 7: symbol \"x\" needs 1 label numbers 1 ... 1"},
        BadFile{HEAD "LABELS 1\na\nSYMBOLS 1\nx variable 1\nCOLUMNS 1\n1 1 1\n",
                "Dictionary file line 7: more label numbers than the 1 of symbol \"x\""},
        BadFile{HEAD "LABELS 1\na\nSYMBOLS 1\nx variable 1\nCOLUMNS 2\n1 1\n1 1\n",
                "Dictionary file line 8: the same symbol and labels are listed twice"},
        BadFile{HEAD "LABELS 0\nSYMBOLS 1\nx variable 0\nCOLUMNS 1\n0\n",
                "Dictionary file line 6: symbol number 1 ... 1 expected"},
        BadFile{HEAD "LABELS 0\nSYMBOLS 1\nx variable 0\nCOLUMNS 1\n1\nROWS 1\n1\n",
                "Dictionary file line 8: symbol \"x\" is a variable, not an equation"},
        BadFile{HEAD "LABELS 0\nSYMBOLS 0\nCOLUMNS 0\nROWS 0\n", "Dictionary file ends early: END expected"},
        BadFile{HEAD "LABELS 0\nSYMBOLS 0\nCOLUMNS 0\nROWS 0\nEND\nmore\n", "Dictionary file line 7: text after END"},
        BadFile{HEAD "LABELS 0\nSYMBOLS 0\nCOLUMNS 999999999\n", "Dictionary file ends early: a column expected"}),
    [](const auto& param_info) {
      std::string_view m = param_info.param.message;
      return CaseName(param_info.index, m.substr(m.find(':') + 2));
    });

TEST(Dictionary, CommentsAndBlankLinesAreSkipped) {
  Dictionary d;
  std::istringstream in("* comment\n\nLUVO-DICTIONARY 1\r\nLABELS 1\n  \"*x\"  \nSYMBOLS 1\nx variable 1\n"
                        "* between\nCOLUMNS 1\n1 1\nROWS 0\nEND\n");
  std::string error;
  ASSERT_TRUE(d.Read(in, &error)) << error;
  EXPECT_EQ(d.LabelAt(1)->text, "*x");
  EXPECT_EQ(d.LabelAt(1)->quote, '"');
}

TEST(Dictionary, MissingFileIsAMessage) {
  Dictionary d;
  std::string error;
  EXPECT_FALSE(d.Load("/nonexistent/dict.txt", &error));
  EXPECT_EQ(error, "Cannot open dictionary file \"/nonexistent/dict.txt\": No such file or directory");
}

TEST(DictionaryWriter, LabelsThatCannotBeWritten) {
  for (const char* label : {"", "a\nb"}) {
    luvo::DictionaryWriter w;
    w.AddColumn(w.AddVariable("x", 1), {label});
    std::string text, error;
    EXPECT_FALSE(w.Text(&text, &error)) << label;
  }
  luvo::DictionaryWriter w;
  w.AddLabel("both'\"", '\'');
  w.AddColumn(w.AddVariable("x", 1), {"both'\""});
  std::string text, error;
  EXPECT_FALSE(w.Text(&text, &error));
}

}  // namespace
}  // namespace qlink::dctlib
