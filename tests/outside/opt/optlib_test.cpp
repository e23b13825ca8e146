// The option library's parsers: definition files, option files and values.
#include "outside/opt/optlib.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/lvocommon.h"

namespace qlink::optlib {
namespace {

// Groups are listed out of numeric order, so that an option's group position and its group
// number differ.
constexpr const char* kDefinitions = R"(* test definitions
group 10 Interface
group 2 Second
  text The second group.

option 1 iters integer
  default 100
  range 0 1000
  group 2
  text Iteration limit.
option 2 tol real
  default 1e-6
  range 0 1
  group 2
option 3 name string
  default "abc"
  group 10
option 4 extra list
  group 10
option 5 mode enum
  values fast Safe
  default safe
  group 2
option 6 Lo dot
  group 10
option 7 Up dot
  group 10
option 8 big real
  range -inf inf
  group 2
)";

class OptionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::istringstream in(kDefinitions);
    ASSERT_EQ(obj_.ReadDefinitionStream(in), 0) << Texts();
    obj_.SetEndOfLineOnly(true);
  }
  int Read(const std::string& text) {
    std::istringstream in(text);
    return obj_.ReadParameterStream(in);
  }
  const OptionDef& Def(int nr) { return *obj_.Option(nr); }
  int Defined(int nr) { return obj_.ValueOf(Def(nr)).defined; }
  std::string Texts() const {
    std::string s;
    for (const auto& m : obj_.Messages()) s += m.text + "\n";
    return s;
  }
  OptionObject obj_;
};

TEST_F(OptionFileTest, DefinitionsKeepTypesDefaultsAndGroups) {
  const Definitions& d = obj_.Defs();
  ASSERT_EQ(d.Count(), 8);
  EXPECT_EQ(Def(1).type, kTypeInteger);
  EXPECT_EQ(obj_.GetInt(Def(1)), 100);
  EXPECT_DOUBLE_EQ(obj_.GetReal(Def(2)), 1e-6);
  EXPECT_EQ(obj_.GetString(Def(3)), "abc");
  EXPECT_EQ(Def(4).type, kTypeStringList);
  // An enumerated default takes the spelling of the values line.
  EXPECT_EQ(obj_.GetString(Def(5)), "Safe");
  EXPECT_TRUE(Def(6).dot);
  // Group 2 is the second group of the file: position 2, number 2; group 10 is at position 1.
  EXPECT_EQ(Def(1).group_position, 2);
  EXPECT_EQ(Def(3).group_position, 1);
  EXPECT_EQ(d.Groups()[0].number, 10);
  EXPECT_EQ(d.Groups()[1].text, "The second group.");
  EXPECT_EQ(d.ByName("ITERS"), &Def(1));
  EXPECT_EQ(d.ByName("lo"), &Def(6));
  EXPECT_EQ(d.ByName("nothing"), nullptr);
  for (int nr = 1; nr <= 8; ++nr) EXPECT_EQ(Defined(nr), kNotDefined) << nr;
}

// A readable test name: the case number and the case's text, letters and digits only.
std::string CaseName(std::size_t index, std::string_view text) {
  std::string name = "c" + std::to_string(index) + "_";
  for (char c : text.substr(0, 40))
    name += ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) ? c : '_';
  return name;
}

struct BadDefinition {
  const char* text;
  const char* message;
};

class BadDefinitionTest : public ::testing::TestWithParam<BadDefinition> {};

TEST_P(BadDefinitionTest, GivesTheMessageAndNoDefinitions) {
  OptionObject obj;
  std::istringstream in(std::string("group 1 G\n") + GetParam().text);
  EXPECT_NE(obj.ReadDefinitionStream(in), 0);
  ASSERT_GE(obj.MessageCount(), 1);
  EXPECT_EQ(obj.Messages()[0].text, GetParam().message);
  EXPECT_EQ(obj.Defs().Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadDefinitionTest,
    ::testing::Values(
        BadDefinition{"option 1 a boolean\n  group 1\n",
                      "*** Definition file line 2: unknown type \"boolean\" (integer, real, string, list, enum or dot)"},
        BadDefinition{"option 1 a integer\n  group 7\n", "*** Definition file line 2: option \"a\" names the unknown group 7"},
        BadDefinition{"option 1 a integer\n", "*** Definition file line 2: option \"a\" has no group"},
        BadDefinition{"option 1 a integer\n  default 5\n  range 0 3\n  group 1\n",
                      "*** Definition file line 2: default of \"a\" lies outside its range [0, 3]"},
        BadDefinition{"option 1 a integer\n  default 1.5\n  group 1\n", "*** Definition file line 3: integer default expected"},
        BadDefinition{"option 1 a real\n  range 3 1\n  group 1\n",
                      "*** Definition file line 3: lower end of the range is above its upper end"},
        BadDefinition{"option 1 a string\n  range 0 1\n  group 1\n",
                      "*** Definition file line 3: a range is only allowed for integer and real options"},
        BadDefinition{"option 1 a enum\n  group 1\n", "*** Definition file line 2: enum option \"a\" has no \"values\" line"},
        BadDefinition{"option 1 a enum\n  values x y\n  default z\n  group 1\n",
                      "*** Definition file line 2: default of \"a\" is not one of its values"},
        BadDefinition{"option 1 a real\n  group 1\noption 2 A real\n  group 1\n",
                      "*** Definition file line 4: option name \"A\" is already used in line 2"},
        BadDefinition{"option 1 a real\n  group 1\noption 1 b real\n  group 1\n",
                      "*** Definition file line 4: option number 1 is used twice"},
        BadDefinition{"option 1 a real\n  group 1\noption 3 b real\n  group 1\n",
                      "*** Definition file: option number 2 is missing (options are numbered from 1 without gaps)"},
        BadDefinition{"  default 1\n", "*** Definition file line 2: a group has only a \"text\" attribute"},
        BadDefinition{"option 1 a real\n  group 1\n  colour red\n", "*** Definition file line 4: unknown attribute \"colour\""},
        BadDefinition{"opt 1 a real\n", "*** Definition file line 2: \"group\" or \"option\" expected at the start of a line"},
        BadDefinition{"option 0 a real\n", "*** Definition file line 2: positive number expected after \"option\""},
        BadDefinition{"option 1 3a real\n",
                      "*** Definition file line 2: option name expected (a letter, then letters, digits or underscores)"},
        BadDefinition{"group 1 Again\n", "*** Definition file line 2: group 1 is defined twice"},
        BadDefinition{"", "*** Definition file: no options defined"}),
    [](const auto& param_info) {
      std::string_view m = param_info.param.message;
      return CaseName(param_info.index, m.substr(m.find(':') + 2));
    });

TEST(Definitions, AttributeBeforeAnyRecordIsAnError) {
  OptionObject obj;
  std::istringstream in("  text floating\n");
  EXPECT_NE(obj.ReadDefinitionStream(in), 0);
  ASSERT_EQ(obj.MessageCount(), 1);
  EXPECT_EQ(obj.Messages()[0].text, "*** Definition file line 1: attribute line outside an option or group");
}

TEST(Definitions, MissingFileIsAMessage) {
  OptionObject obj;
  EXPECT_NE(obj.ReadDefinition("/nonexistent/dir/optqoral.def"), 0);
  ASSERT_EQ(obj.MessageCount(), 1);
  EXPECT_EQ(obj.Messages()[0].text,
            "*** Cannot open definition file \"/nonexistent/dir/optqoral.def\": No such file or directory");
}

struct BadLine {
  const char* line;
  const char* message;
};

class BadOptionLineTest : public OptionFileTest, public ::testing::WithParamInterface<BadLine> {};

TEST_P(BadOptionLineTest, IsReportedWithItsLineAndNotTaken) {
  EXPECT_EQ(Read(std::string("* first line is a comment\n") + GetParam().line + "\n"), 1);
  ASSERT_EQ(obj_.MessageCount(), 1) << Texts();
  EXPECT_EQ(obj_.Messages()[0].text, GetParam().message);
  for (int nr = 1; nr <= 8; ++nr) EXPECT_EQ(Defined(nr), kNotDefined) << nr;
  EXPECT_TRUE(obj_.DotOptions().empty());
  EXPECT_EQ(obj_.GetInt(Def(1)), 100);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadOptionLineTest,
    ::testing::Values(
        BadLine{"foo 1", "*** Option file line 2: unknown option \"foo\""},
        BadLine{"iters abc", "*** Option file line 2: bad value \"abc\" for \"iters\": an integer is expected"},
        BadLine{"iters 1.5", "*** Option file line 2: bad value \"1.5\" for \"iters\": an integer is expected"},
        BadLine{"iters 2000", "*** Option file line 2: value 2000 for \"iters\" is out of range [0, 1000]"},
        BadLine{"tol -1", "*** Option file line 2: value -1 for \"tol\" is out of range [0, 1]"},
        BadLine{"tol inf", "*** Option file line 2: value inf for \"tol\" is out of range [0, 1]"},
        BadLine{"tol nan", "*** Option file line 2: bad value \"nan\" for \"tol\": a number is expected"},
        BadLine{"tol 1e400", "*** Option file line 2: bad value \"1e400\" for \"tol\": a number is expected"},
        BadLine{"iters", "*** Option file line 2: missing value for \"iters\""},
        BadLine{"iters =", "*** Option file line 2: missing value for \"iters\""},
        BadLine{"iters 5 7", "*** Option file line 2: unexpected text after the value of \"iters\": \"7\""},
        BadLine{"mode medium", "*** Option file line 2: bad value \"medium\" for \"mode\": one of fast, Safe is expected"},
        BadLine{"name 'abc", "*** Option file line 2: missing closing quote in the value of \"name\""},
        BadLine{"extra", "*** Option file line 2: missing value for \"extra\""},
        BadLine{"=5", "*** Option file line 2: option name expected: \"=5\""},
        BadLine{"iters:5", "*** Option file line 2: unexpected character after \"iters\": \":\""},
        BadLine{"x.Lx 5", "*** Option file line 2: unknown suffix \"Lx\" in \"x.Lx\""},
        BadLine{"x.iters 5", "*** Option file line 2: unknown suffix \"iters\" in \"x.iters\""},
        BadLine{"Lo 5", "*** Option file line 2: \"Lo\" is a suffix for model symbols, as in x.Lo"},
        BadLine{"x.Lo abc", "*** Option file line 2: bad value \"abc\" for \"x.Lo\": a number is expected"},
        BadLine{"x.Lo(a,b 5", "*** Option file line 2: missing closing parenthesis in \"x.Lo\""},
        BadLine{"x.Lo('a,b) 5", "*** Option file line 2: missing closing quote in the labels of \"x.Lo\""},
        BadLine{"x.Lo(a,,b) 5", "*** Option file line 2: empty label in \"x.Lo\""},
        BadLine{"x.Up(i1) ", "*** Option file line 2: missing value for \"x.Up(i1)\""}),
    [](const auto& param_info) { return CaseName(param_info.index, param_info.param.line); });

TEST_F(OptionFileTest, ValuesOfEveryType) {
  EXPECT_EQ(Read("ITERS 50\n"
                 "tol = 0.5\n"
                 "name hello  world\n"
                 "mode FAST\n"
                 "big -inf\n"),
            0)
      << Texts();
  EXPECT_EQ(obj_.GetInt(Def(1)), 50);
  EXPECT_DOUBLE_EQ(obj_.GetReal(Def(2)), 0.5);
  EXPECT_EQ(obj_.GetString(Def(3)), "hello  world");
  EXPECT_EQ(obj_.GetString(Def(5)), "fast");
  EXPECT_EQ(obj_.GetReal(Def(8)), kMinusInf);
  for (int nr : {1, 2, 3, 5, 8}) EXPECT_EQ(Defined(nr), kSetFromFile) << nr;
  EXPECT_EQ(Defined(4), kNotDefined);
}

TEST_F(OptionFileTest, NumberForms) {
  struct Case {
    const char* line;
    int nr;
    double value;
  };
  const Case cases[] = {
      {"iters 1e3", 1, 1000}, {"iters +7", 1, 7},    {"iters -0", 1, 0},       {"big +inf", 8, kPlusInf},
      {"big eps", 8, kEps},   {"big 1.5E-7", 8, 1.5e-7}, {"tol=.25", 2, 0.25}, {"big = -3", 8, -3},
  };
  for (const Case& c : cases) {
    obj_.ClearMessages();
    EXPECT_EQ(Read(std::string(c.line) + "\n"), 0) << c.line << ": " << Texts();
    EXPECT_EQ(obj_.GetReal(Def(c.nr)), c.value) << c.line;
  }
}

TEST_F(OptionFileTest, QuotedStringsKeepBlanksAndOtherQuotes) {
  EXPECT_EQ(Read("name \"a 'b' c\"\n"), 0) << Texts();
  EXPECT_EQ(obj_.GetString(Def(3)), "a 'b' c");
  EXPECT_EQ(Read("name '  padded  '\n"), 0) << Texts();
  EXPECT_EQ(obj_.GetString(Def(3)), "  padded  ");
  EXPECT_EQ(Read("name ''\n"), 0) << Texts();
  EXPECT_EQ(obj_.GetString(Def(3)), "");
  EXPECT_EQ(Defined(3), kSetFromFile);
}

TEST_F(OptionFileTest, ListOptionCollectsOneEntryPerLine) {
  EXPECT_EQ(Read("extra first: 1\n"
                 "* comment\n"
                 "extra 'second: ''x'''\n"
                 "EXTRA = 'third: 3'\n"
                 "extra \"fourth: 'y'\"\n"),
            0)
      << Texts();
  const auto& list = obj_.ValueOf(Def(4)).list;
  // Quotes are dropped only when they enclose the whole entry and do not occur inside it.
  EXPECT_EQ(list, (std::vector<std::string>{"first: 1", "'second: ''x'''", "third: 3", "fourth: 'y'"}));
  EXPECT_EQ(Defined(4), kSetFromFile);
  obj_.Reset(Def(4));
  EXPECT_TRUE(obj_.ValueOf(Def(4)).list.empty());
  EXPECT_EQ(Defined(4), kNotDefined);
}

TEST_F(OptionFileTest, DotOptionsWithLabelsQuotesWildcardsAndWords) {
  EXPECT_EQ(Read("x.Lo 5\n"
                 "x.Up(i1,'a b',*) 10\n"
                 "y.lo ( \"j,2\" , k ) = -inf\n"
                 "variables.Up 3\n"
                 "Equations.Lo 1e-3\n"),
            0)
      << Texts();
  const auto& d = obj_.DotOptions();
  ASSERT_EQ(d.size(), 5u);
  EXPECT_EQ(d[0].symbol, "x");
  EXPECT_EQ(d[0].number, 6);
  EXPECT_TRUE(d[0].labels.empty());
  EXPECT_EQ(d[0].value, 5);
  EXPECT_EQ(d[1].number, 7);
  EXPECT_EQ(d[1].labels, (std::vector<std::string>{"i1", "a b", "*"}));
  EXPECT_EQ(d[1].value, 10);
  EXPECT_EQ(d[2].symbol, "y");
  EXPECT_EQ(d[2].labels, (std::vector<std::string>{"j,2", "k"}));
  EXPECT_EQ(d[2].value, kMinusInf);
  // The library passes the words for all variables or equations through as symbol names.
  EXPECT_EQ(d[3].symbol, "variables");
  EXPECT_EQ(d[4].symbol, "Equations");
  EXPECT_EQ(d[4].number, 6);
  // Dot options are no values of their own.
  EXPECT_EQ(Defined(6), kNotDefined);
}

TEST_F(OptionFileTest, EchoQueuesEveryLineBeforeItsErrors) {
  obj_.SetEcho(true);
  EXPECT_EQ(Read("* comment\n\niters 5\nbad 1\n"), 1);
  ASSERT_EQ(obj_.MessageCount(), 5) << Texts();
  const std::vector<std::string> expected = {"    1  * comment", "    2  ", "    3  iters 5", "    4  bad 1",
                                             "*** Option file line 4: unknown option \"bad\""};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(obj_.Messages()[i].text, expected[i]);
  EXPECT_EQ(obj_.Messages()[0].kind, kMessageEcho);
  EXPECT_EQ(obj_.Messages()[4].kind, kMessageError);
}

TEST_F(OptionFileTest, WithoutEndOfLineOnlyOptionsShareLinesAndValuesMayFollow) {
  obj_.SetEndOfLineOnly(false);
  EXPECT_EQ(Read("iters 5 tol 0.25\n"
                 "name\n"
                 "* a comment between name and value\n"
                 "first second\n"),
            1);
  EXPECT_EQ(obj_.GetInt(Def(1)), 5);
  EXPECT_DOUBLE_EQ(obj_.GetReal(Def(2)), 0.25);
  // An unquoted string is one word here; the next word is read as an option name.
  EXPECT_EQ(obj_.GetString(Def(3)), "first");
  ASSERT_EQ(obj_.MessageCount(), 1);
  EXPECT_EQ(obj_.Messages()[0].text, "*** Option file line 4: unknown option \"second\"");
}

TEST_F(OptionFileTest, EndOfLineOnlyEndsEveryOptionWithItsLine) {
  EXPECT_EQ(Read("iters 5 tol 0.25\n"
                 "iters\n"
                 "7\n"),
            3);
  EXPECT_EQ(Defined(1), kNotDefined);
  EXPECT_EQ(Defined(2), kNotDefined);
  ASSERT_EQ(obj_.MessageCount(), 3);
  EXPECT_EQ(obj_.Messages()[0].text, "*** Option file line 1: unexpected text after the value of \"iters\": \"tol 0.25\"");
  EXPECT_EQ(obj_.Messages()[1].text, "*** Option file line 2: missing value for \"iters\"");
  EXPECT_EQ(obj_.Messages()[2].text, "*** Option file line 3: option name expected: \"7\"");
}

TEST_F(OptionFileTest, ValueMissingAtTheEndOfTheFile) {
  obj_.SetEndOfLineOnly(false);
  EXPECT_EQ(Read("tol 0.5 iters"), 1);
  ASSERT_EQ(obj_.MessageCount(), 1);
  EXPECT_EQ(obj_.Messages()[0].text, "*** Option file line 1: missing value for \"iters\"");
  EXPECT_DOUBLE_EQ(obj_.GetReal(Def(2)), 0.5);
}

TEST_F(OptionFileTest, ByteOrderMarkOfTheFirstLineIsSkipped) {
  EXPECT_EQ(Read("\xEF\xBB\xBFiters 5\n"), 0) << Texts();
  EXPECT_EQ(obj_.GetInt(Def(1)), 5);
}

TEST_F(OptionFileTest, GoodLinesAfterBadOnesAreStillTaken) {
  EXPECT_EQ(Read("iters 5000\r\nunknown 1\r\ntol 0.5\r\n"), 2);
  EXPECT_DOUBLE_EQ(obj_.GetReal(Def(2)), 0.5);
  EXPECT_EQ(obj_.GetInt(Def(1)), 100);
}

TEST_F(OptionFileTest, SetResetAndDefinedStates) {
  EXPECT_EQ(obj_.SetInt(Def(1), 7), 0);
  EXPECT_EQ(Defined(1), kSetByCaller);
  // A real option takes an integer; an integer option takes a rounded real.
  EXPECT_EQ(obj_.SetInt(Def(2), 1), 0);
  EXPECT_DOUBLE_EQ(obj_.GetReal(Def(2)), 1.0);
  EXPECT_EQ(obj_.SetReal(Def(1), 2.5), 0);
  EXPECT_EQ(obj_.GetInt(Def(1)), 3);
  EXPECT_EQ(obj_.SetReal(Def(1), -2.5), 1);  // rounds to -3, below the range
  EXPECT_EQ(obj_.GetInt(Def(1)), 3);
  EXPECT_EQ(obj_.SetString(Def(5), "SAFE"), 0);
  EXPECT_EQ(obj_.GetString(Def(5)), "Safe");
  EXPECT_EQ(obj_.SetString(Def(5), "slow"), 1);
  EXPECT_EQ(obj_.SetString(Def(1), "7"), 1);
  EXPECT_EQ(obj_.SetReal(Def(6), 1.0), 1);  // dot options take no value of their own
  EXPECT_EQ(obj_.MessageCount(), 4) << Texts();
  EXPECT_EQ(obj_.Messages()[0].text, "*** Value -3 for option \"iters\" is out of range [0, 1000]");

  EXPECT_EQ(Read("iters 9\n"), 0);
  EXPECT_EQ(Defined(1), kSetFromFile);
  obj_.Reset(Def(1));
  EXPECT_EQ(Defined(1), kNotDefined);
  EXPECT_EQ(obj_.GetInt(Def(1)), 100);
  // Numbers of string options read as 0, strings of number options as empty.
  EXPECT_EQ(obj_.GetReal(Def(3)), 0.0);
  EXPECT_EQ(obj_.GetString(Def(1)), "");
}

TEST_F(OptionFileTest, LongLinesGiveBoundedMessages) {
  const std::string name(100000, 'a');
  EXPECT_EQ(Read(name + " 1\n"), 1);
  ASSERT_EQ(obj_.MessageCount(), 1);
  EXPECT_EQ(obj_.Messages()[0].text.size(), kMaxTextLength);
}

TEST_F(OptionFileTest, MissingOptionFileIsOneError) {
  EXPECT_EQ(obj_.ReadParameterFile("/nonexistent/x.opt"), 1);
  ASSERT_EQ(obj_.MessageCount(), 1);
  EXPECT_EQ(obj_.Messages()[0].text, "*** Cannot open option file \"/nonexistent/x.opt\": No such file or directory");
}

TEST(SplitNameOpt, SolverNameAndOptionFileNumber) {
  struct Case {
    const char* value;
    bool ok;
    const char* name;
    int number;
  };
  const Case cases[] = {
      {"ipopt.3", true, "ipopt", 3}, {"abc.1x", false, "", 0},   {"qoral", true, "qoral", 0},
      {"Sol_2.12", true, "Sol_2", 12}, {"abc.", false, "", 0},   {".3", false, "", 0},
      {"a b.1", false, "", 0},        {"x.1234567890", false, "", 0}, {"", false, "", 0},
      {"a.1.2", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string name = "junk";
    int number = -1;
    EXPECT_EQ(SplitNameOpt(c.value, &name, &number), c.ok) << c.value;
    EXPECT_EQ(name, c.name) << c.value;
    EXPECT_EQ(number, c.number) << c.value;
  }
}

}  // namespace
}  // namespace qlink::optlib
