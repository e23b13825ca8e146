// The link's definition file optqoral.def as installed in the system directory: the option
// numbers, types and groups the link relies on, read through the link's option binding, and the
// users' reference generated from it.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "outside/luvo/optwriter.h"
#include "outside/opt/optlib.h"
#include "runtime/lvocommon.h"
#include "runtime/optdcdef.h"

namespace qlink {
namespace {

const std::string kDefFile = std::string(QLINK_SYSDIR) + "/optqoral.def";

std::string Messages(optHandle_t h) {
  std::string s;
  char buf[QLINK_STRING_BUFSIZE];
  int kind = 0;
  for (int i = 1; i <= optMessageCount(h); ++i) {
    optGetMessage(h, i, buf, &kind);
    s += std::string(buf) + "\n";
  }
  return s;
}

class OptQoralDefTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string msg;
    ASSERT_TRUE(opt.Create(&msg)) << msg;
    ASSERT_EQ(optReadDefinition(opt.get(), kDefFile.c_str()), 0) << Messages(opt.get());
    ASSERT_EQ(optMessageCount(opt.get()), 0) << Messages(opt.get());
  }
  // The link addresses option k + 1 as its index k.
  int Type(int index) {
    int defined = 0, type = 0, opt_type = 0;
    EXPECT_EQ(optGetInfoNr(opt.get(), index + 1, &defined, &type, &opt_type), 1) << index;
    return type;
  }
  int OptType(int index) {
    int defined = 0, type = 0, opt_type = 0;
    optGetInfoNr(opt.get(), index + 1, &defined, &type, &opt_type);
    return opt_type;
  }
  std::string Name(int index) {
    char buf[QLINK_STRING_BUFSIZE];
    optGetNameNr(opt.get(), index + 1, buf);
    return buf;
  }
  // The link's group of an index: the group number of the option's group, minus 1.
  int Group(int index) {
    int g = optGetOptGroupNr(opt.get(), index + 1);
    if (g < 0) g = 0;
    return optGetGroupGrpNr(opt.get(), g) - 1;
  }
  TOptObject opt;
};

TEST_F(OptQoralDefTest, TypesOfTheIndicesTheLinkUses) {
  constexpr int kReal = kOptDataReal, kInt = kOptDataInteger, kString = kOptDataString;
  struct Use {
    int first, last;
    std::set<int> types;
  };
  const Use uses[] = {
      {21, 21, {kReal}},         {27, 28, {kReal}},         {31, 31, {kString}},      {33, 33, {kReal}},
      {37, 37, {kReal}},         {38, 42, {kInt, kReal}},   {50, 50, {kInt, kReal}},  {54, 54, {kReal}},
      {58, 58, {kReal}},         {77, 77, {kReal}},         {87, 91, {kInt, kReal}},  {95, 95, {kInt, kReal}},
      {100, 100, {kInt, kReal}}, {103, 103, {kReal}},       {109, 115, {kString}},    {117, 117, {kString}},
      {119, 121, {kString}},     {122, 122, {kOptDataStringList}}, {123, 123, {kString}},
  };
  for (const Use& u : uses)
    for (int k = u.first; k <= u.last; ++k) EXPECT_TRUE(u.types.count(Type(k))) << "index " << k << " " << Name(k);
  // 125 options, numbered 1 ... 125.
  int defined = 0, type = 0, opt_type = 0;
  EXPECT_EQ(optGetInfoNr(opt.get(), 125, &defined, &type, &opt_type), 1);
  EXPECT_EQ(optGetInfoNr(opt.get(), 126, &defined, &type, &opt_type), 0);
}

TEST_F(OptQoralDefTest, NamedOptionsAndDotOptions) {
  EXPECT_EQ(Name(58), "NLPSOL");
  EXPECT_EQ(Name(120), "ExtNLPsolver");
  EXPECT_EQ(Name(122), "secret");
  const char* suffixes[] = {"Lo", "Up", "Prior", "EquClass"};
  for (int k = 105; k <= 108; ++k) {
    EXPECT_EQ(Name(k), suffixes[k - 105]);
    EXPECT_EQ(OptType(k), kOptTypeDot) << k;
  }
  for (int k = 0; k < 125; ++k) {
    if (k < 105 || k > 108) {
      EXPECT_EQ(OptType(k), kOptTypeValue) << k;
    }
  }
  // Options the bridge and the IIS report look up by name.
  for (const char* name : {"ExtMINLPsolver", "AllowExternal", "CompIIS"}) {
    bool found = false;
    for (int k = 0; k < 125 && !found; ++k) found = Name(k) == name;
    EXPECT_TRUE(found) << name;
  }
}

TEST_F(OptQoralDefTest, InterfaceGroupHoldsOnlyWhatQoralDoesNotNeed) {
  // QORAL needs the files it writes and reads and the control file it passes to the bridge.
  for (int k : {109, 110, 111, 112, 113, 114, 115, 100, 103, 58, 27, 28})
    EXPECT_NE(Group(k), 9) << "index " << k << " " << Name(k);
  // The link's own options and what only the bridge reads.
  for (int k : {31, 37, 60, 77, 105, 106, 107, 108, 117, 119, 120, 121, 122, 124})
    EXPECT_EQ(Group(k), 9) << "index " << k << " " << Name(k);
}

TEST_F(OptQoralDefTest, LuvoParametersAndInterfaceValuesAreAccepted) {
  optHandle_t h = opt.get();
  // What the link sets before the option file: LUVO parameters and scratch names.
  EXPECT_EQ(optSetDblNr(h, 22, 1e20), 0);
  EXPECT_EQ(optSetDblNr(h, 28, 0), 0);
  EXPECT_EQ(optSetDblNr(h, 29, 0.1), 0);
  for (int k = 38; k <= 42; ++k) EXPECT_EQ(optSetIntNr(h, k + 1, -7), 0) << k;
  EXPECT_EQ(optSetIntNr(h, 51, 1000000), 0);
  EXPECT_EQ(optSetDblNr(h, 55, 1e10), 0);
  for (int k = 87; k <= 91; ++k) EXPECT_EQ(optSetDblNr(h, k + 1, -2.5), 0) << k;
  EXPECT_EQ(optSetIntNr(h, 96, 0), 0);
  EXPECT_EQ(optSetIntNr(h, 101, 8), 0);
  for (double marginals : {0.0, 1.0}) EXPECT_EQ(optSetDblNr(h, 104, marginals), 0);
  for (int k : {109, 110, 111, 112, 113, 114, 115, 117})
    EXPECT_EQ(optSetStrNr(h, k + 1, "/tmp/scratch/file.scr"), 0) << k;
  EXPECT_EQ(optMessageCount(h), 0) << Messages(h);
  EXPECT_TRUE(OptDefinedIsSet(optGetDefinedNr(h, 104)));
}

TEST_F(OptQoralDefTest, UserOptionFileFromTheWriter) {
  luvo::OptionFileWriter w;
  w.Comment("written by the test")
      .SetNumber("optca", 0)
      .SetNumber("OPTCR", 0.001)
      .SetNumber("ResLim", kPlusInf)
      .SetString("ExtNLPsolver", "localnlp.2")
      .SetString("secret", "Heur_Extra: 'yes'")
      .SetString("secret", "say \"hi\"")
      .SetDot("x", "Lo", {"i1", "a b", "*"}, 5)
      .SetDot("equations", "EquClass", {}, 2)
      .Line("NoSuchOption 1");
  const std::string file = std::string(QLINK_TEST_BINARY_DIR) + "/user.opt";
  std::string error;
  ASSERT_TRUE(w.Write(file, &error)) << error;

  optHandle_t h = opt.get();
  optEchoSet(h, 1);
  optEOLOnlySet(h, 1);
  EXPECT_EQ(optReadParameterFile(h, file.c_str()), 1) << Messages(h);
  // Ten echoed lines and one error.
  ASSERT_EQ(optMessageCount(h), 11) << Messages(h);
  char buf[QLINK_STRING_BUFSIZE];
  int kind = 0;
  optGetMessage(h, 11, buf, &kind);
  EXPECT_EQ(std::string(buf), "*** Option file line 10: unknown option \"NoSuchOption\"");

  EXPECT_EQ(optGetDblNr(h, 28), 0.0);
  EXPECT_EQ(optGetDefinedNr(h, 28), 3);
  EXPECT_DOUBLE_EQ(optGetDblNr(h, 29), 0.001);
  EXPECT_EQ(optGetDblNr(h, 55), kPlusInf);
  optGetStrNr(h, 121, buf);
  EXPECT_EQ(std::string(buf), "localnlp.2");
  ASSERT_EQ(optListCountStr(h, "secret"), 2);
  optReadFromListStr(h, "secret", 1, buf);
  EXPECT_EQ(std::string(buf), "Heur_Extra: 'yes'");
  optReadFromListStr(h, "secret", 2, buf);
  EXPECT_EQ(std::string(buf), "say \"hi\"");
  ASSERT_EQ(optDotOptCount(h), 2);
  int nr = 0, labels = 0;
  double value = 0;
  optGetDotOptNr(h, 1, buf, &nr, &labels, &value);
  EXPECT_EQ(nr, 106);
  EXPECT_EQ(labels, 3);
  optGetDotOptUel(h, 1, 2, buf);
  EXPECT_EQ(std::string(buf), "a b");
  optGetDotOptNr(h, 2, buf, &nr, &labels, &value);
  EXPECT_EQ(std::string(buf), "equations");
  EXPECT_EQ(nr, 109);
  EXPECT_EQ(value, 2);
}

// Every option is described, and the generated reference shows every group and option.
TEST(OptQoralReference, EveryOptionIsDescribedAndListed) {
  optlib::OptionObject obj;
  ASSERT_EQ(obj.ReadDefinition(kDefFile), 0);
  std::ifstream in(QLINK_OPTIONS_REFERENCE);
  ASSERT_TRUE(in) << QLINK_OPTIONS_REFERENCE;
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string ref = ss.str();
  for (const auto& g : obj.Defs().Groups()) EXPECT_NE(ref.find("\n## " + g.title + "\n"), std::string::npos) << g.title;
  for (const auto& d : obj.Defs().Options()) {
    EXPECT_FALSE(d.text.empty()) << d.name;
    EXPECT_LE(d.text.size(), 160u) << d.name;
    const std::string shown = (d.dot ? "`." : "`") + d.name + "` | ";
    EXPECT_NE(ref.find(shown), std::string::npos) << d.name;
  }
  EXPECT_NE(ref.find("## Writing an option file"), std::string::npos);
}

}  // namespace
}  // namespace qlink
