// The option library as the two deliverables see it: loaded from the system directory through
// the link's binding and through the bridge's binding, with their own entry names.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "runtime/apisig.h"
#include "runtime/optdcdef.h"
#include "runtime/optdcdef_bridge.h"
#include "runtime/platform.h"

namespace qlink {
namespace {

constexpr const char* kDefinitions = R"(group 1 Solver
group 10 Interface
option 1 iters integer
  default 100
  range 0 1000
  group 1
option 2 tol real
  default 0.5
  group 1
option 3 ExtNLPsolver string
  group 10
option 4 secret list
  group 10
option 5 AllowExternal integer
  default 1
  range 0 1
  group 10
option 6 Lo dot
  group 10
option 7 EquClass dot
  group 10
)";

std::string WriteFile(const std::string& name, const std::string& text) {
  const std::string path = std::string(QLINK_TEST_BINARY_DIR) + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

std::string Text(const char* buf) { return std::string(buf); }

std::string Messages(optHandle_t h) {
  std::string s;
  char buf[QLINK_STRING_BUFSIZE];
  int kind = 0;
  for (int i = 1; i <= optMessageCount(h); ++i) {
    optGetMessage(h, i, buf, &kind);
    s += Text(buf) + "\n";
  }
  return s;
}

class LinkBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string msg;
    ASSERT_TRUE(opt.Create(&msg)) << msg;
    for (int i = 0; i < OptBinding().Table().function_count; ++i)
      ASSERT_TRUE(OptBinding().IsBound(i)) << OptBinding().Table().functions[i].name;
    ASSERT_EQ(optReadDefinition(opt.get(), WriteFile("binding.def", kDefinitions).c_str()), 0) << Messages(opt.get());
  }
  TOptObject opt;
};

TEST_F(LinkBindingTest, InformationGroupsAndValues) {
  optHandle_t h = opt.get();
  int defined = -1, type = -1, opt_type = -1;
  ASSERT_EQ(optGetInfoNr(h, 2, &defined, &type, &opt_type), 1);
  EXPECT_EQ(defined, 0);
  EXPECT_EQ(type, kOptDataReal);
  EXPECT_EQ(opt_type, kOptTypeValue);
  ASSERT_EQ(optGetInfoNr(h, 4, &defined, &type, &opt_type), 1);
  EXPECT_EQ(type, kOptDataStringList);
  ASSERT_EQ(optGetInfoNr(h, 6, &defined, &type, &opt_type), 1);
  EXPECT_EQ(opt_type, kOptTypeDot);
  // The link's group of an option: the group number at the option's group position.
  EXPECT_EQ(optGetGroupGrpNr(h, optGetOptGroupNr(h, 1)), 1);
  EXPECT_EQ(optGetGroupGrpNr(h, optGetOptGroupNr(h, 3)), 10);

  char buf[QLINK_STRING_BUFSIZE];
  ASSERT_EQ(optGetNameNr(h, 3, buf), 1);
  EXPECT_EQ(Text(buf), "ExtNLPsolver");

  EXPECT_EQ(optSetIntNr(h, 1, 7), 0);
  EXPECT_EQ(optGetIntNr(h, 1), 7);
  EXPECT_TRUE(OptDefinedIsSet(optGetDefinedNr(h, 1)));
  EXPECT_EQ(optSetDblNr(h, 2, 0.25), 0);
  EXPECT_DOUBLE_EQ(optGetDblNr(h, 2), 0.25);
  EXPECT_EQ(optSetStrNr(h, 3, "localnlp.2"), 0);
  optGetStrNr(h, 3, buf);
  EXPECT_EQ(Text(buf), "localnlp.2");
  EXPECT_EQ(optResetNr(h, 1), 0);
  EXPECT_EQ(optGetIntNr(h, 1), 100);
  EXPECT_EQ(optGetDefinedNr(h, 1), 0);
  EXPECT_EQ(optMessageCount(h), 0) << Messages(h);

  // A value out of range is a message and is not taken.
  EXPECT_NE(optSetIntNr(h, 1, 5000), 0);
  EXPECT_EQ(optGetIntNr(h, 1), 100);
  // An option number outside the definitions is a message, never an access outside them.
  EXPECT_EQ(optGetInfoNr(h, 126, &defined, &type, &opt_type), 0);
  EXPECT_EQ(optGetNameNr(h, 0, buf), 0);
  EXPECT_EQ(Text(buf), "");
  EXPECT_EQ(optMessageCount(h), 3);
  optClearMessages(h);
  EXPECT_EQ(optMessageCount(h), 0);
}

TEST_F(LinkBindingTest, OptionFileWithEchoListsAndDotOptions) {
  optHandle_t h = opt.get();
  optEchoSet(h, 1);
  optEOLOnlySet(h, 1);
  const std::string file = WriteFile("binding.opt",
                                     "tol 0.125\n"
                                     "secret 'a: 1'\n"
                                     "secret b: 'x'\n"
                                     "x.Lo(i1,'a b',*) 5\n"
                                     "equations.EquClass 2\n"
                                     "iters many\n");
  EXPECT_EQ(optReadParameterFile(h, file.c_str()), 1);
  ASSERT_EQ(optMessageCount(h), 7) << Messages(h);
  char buf[QLINK_STRING_BUFSIZE];
  int kind = 0;
  optGetMessage(h, 1, buf, &kind);
  EXPECT_EQ(Text(buf), "    1  tol 0.125");
  EXPECT_EQ(kind, 1);
  optGetMessage(h, 7, buf, &kind);
  EXPECT_EQ(Text(buf), "*** Option file line 6: bad value \"many\" for \"iters\": an integer is expected");
  EXPECT_EQ(kind, 2);
  EXPECT_EQ(optGetDefinedNr(h, 2), 3);
  EXPECT_DOUBLE_EQ(optGetDblNr(h, 2), 0.125);

  ASSERT_EQ(optListCountStr(h, "SECRET"), 2);
  ASSERT_EQ(optReadFromListStr(h, "secret", 2, buf), 0);
  EXPECT_EQ(Text(buf), "b: 'x'");
  EXPECT_NE(optReadFromListStr(h, "secret", 3, buf), 0);

  ASSERT_EQ(optDotOptCount(h), 2);
  int nr = 0, labels = 0;
  double value = 0;
  ASSERT_EQ(optGetDotOptNr(h, 1, buf, &nr, &labels, &value), 0);
  EXPECT_EQ(Text(buf), "x");
  EXPECT_EQ(nr, 6);
  EXPECT_EQ(labels, 3);
  EXPECT_EQ(value, 5);
  const char* expected[] = {"i1", "a b", "*"};
  for (int pos = 1; pos <= 3; ++pos) {
    ASSERT_EQ(optGetDotOptUel(h, 1, pos, buf), 0);
    EXPECT_EQ(Text(buf), expected[pos - 1]);
  }
  EXPECT_NE(optGetDotOptUel(h, 1, 4, buf), 0);
  ASSERT_EQ(optGetDotOptNr(h, 2, buf, &nr, &labels, &value), 0);
  EXPECT_EQ(Text(buf), "equations");
  EXPECT_EQ(nr, 7);
  EXPECT_EQ(labels, 0);
  EXPECT_EQ(value, 2);
  EXPECT_NE(optGetDotOptNr(h, 3, buf, &nr, &labels, &value), 0);
}

TEST(OptionBindings, BridgeNamesReachTheSameLibrary) {
  std::string msg;
  bridgeopt::optHandle_t h = nullptr;
  ASSERT_TRUE(bridgeopt::opt_object_create(&h, &msg)) << msg;
  const LibBinding& b = bridgeopt::OptBinding();
  for (int i = 0; i < b.Table().function_count; ++i) ASSERT_TRUE(b.IsBound(i)) << b.Table().functions[i].name;

  ASSERT_EQ(bridgeopt::optReadDefinition(h, WriteFile("bridge.def", kDefinitions).c_str()), 0);
  bridgeopt::optEOLOnlySet(h, 1);
  bridgeopt::optEchoSet(h, 0);
  const std::string file = WriteFile("bridge.opt", "extnlpsolver localnlp.3\nallowexternal 0\n");
  EXPECT_EQ(bridgeopt::optReadParameterFile(h, file.c_str()), 0);
  bridgeopt::optClearMessages(h);

  EXPECT_NE(bridgeopt::optGetDefinedStr(h, "ExtNLPsolver"), 0);
  EXPECT_EQ(bridgeopt::optGetDefinedStr(h, "iters"), 0);
  char value[QLINK_STRING_BUFSIZE];
  bridgeopt::optGetStrStr(h, "ExtNLPsolver", value);
  EXPECT_EQ(Text(value), "localnlp.3");
  EXPECT_EQ(bridgeopt::optGetIntStr(h, "AllowExternal"), 0);
  EXPECT_EQ(bridgeopt::optGetIntStr(h, "iters"), 100);

  struct Case {
    const char* value;
    int ok;
    const char* name;
    int number;
  };
  for (const Case& c : {Case{"ipopt.3", 1, "ipopt", 3}, Case{"abc.1x", 0, "", 0}, Case{"qoral", 1, "qoral", 0}}) {
    char name[QLINK_STRING_BUFSIZE] = "junk";
    int number = -1;
    EXPECT_EQ(bridgeopt::optGetNameOpt(h, c.value, name, &number) != 0, c.ok != 0) << c.value;
    EXPECT_EQ(Text(name), c.name) << c.value;
    EXPECT_EQ(number, c.number) << c.value;
  }
  EXPECT_EQ(bridgeopt::opt_object_free(&h), 1);
  EXPECT_EQ(h, nullptr);
}

TEST(OptionBindings, LibraryStaysLoadedWhileObjectsLive) {
  std::string msg;
  optHandle_t a = nullptr, b = nullptr;
  ASSERT_TRUE(opt_object_create(&a, &msg)) << msg;
  ASSERT_TRUE(opt_object_create(&b, &msg)) << msg;
  EXPECT_NE(a, b);
  opt_object_free(&a);
  EXPECT_EQ(opt_library_unload(), 0);
  EXPECT_TRUE(OptBinding().IsLoaded());
  opt_object_free(&b);
  EXPECT_EQ(opt_library_unload(), 1);
  EXPECT_FALSE(OptBinding().IsLoaded());
  // Loading again binds again.
  ASSERT_TRUE(opt_object_create(&a, &msg)) << msg;
  EXPECT_EQ(optMessageCount(a), 0);
  opt_object_free(&a);
}

// The library entries themselves: interface version 4 only, and check answers by signature.
TEST(OptionLibraryEntries, VersionAndCheck) {
  std::string error;
  platform::LibraryHandle lib =
      platform::OpenLibrary(std::string(QLINK_SYSDIR) + "/" + platform::SharedLibraryFileName("lvoptlib"), &error);
  ASSERT_NE(lib, nullptr) << error;
  char msg[QLINK_STRING_BUFSIZE];
  for (const char* entry : {"XAPIVersion", "CXAPIVersion"}) {
    auto version = reinterpret_cast<QlinkVersionFn>(platform::FindSymbol(lib, entry));
    ASSERT_NE(version, nullptr) << entry;
    EXPECT_GT(version(4, msg, sizeof msg), 0) << entry;
    EXPECT_EQ(version(3, msg, sizeof msg), 0) << entry;
    EXPECT_EQ(Text(msg), "Client API version 3 does not match library API version 4");
  }
  for (const char* entry : {"XCheck", "CXCheck"}) {
    auto check = reinterpret_cast<QlinkCheckFn>(platform::FindSymbol(lib, entry));
    ASSERT_NE(check, nullptr) << entry;
    const int good[] = {QLINK_SIG_INT, QLINK_SIG_INT};
    const int bad[] = {QLINK_SIG_DOUBLE, QLINK_SIG_INT};
    EXPECT_NE(check("optGetIntNr", 1, good, msg, sizeof msg), 0);
    EXPECT_EQ(check("optGetIntNr", 1, bad, msg, sizeof msg), 0);
    EXPECT_EQ(Text(msg), "optGetIntNr: result type 3 expected, not 1");
    EXPECT_EQ(check("optGetIntNr", 2, good, msg, sizeof msg), 0);
    EXPECT_EQ(check("optNoSuchThing", 1, good, msg, sizeof msg), 0);
    EXPECT_EQ(Text(msg), "function not provided by this library");
  }
  // Functions with text parameters under both names; the others under their API name only.
  for (const char* name : {"optReadDefinition", "CoptReadDefinition", "CoptGetNameOpt", "optGetNameOpt",
                           "optEchoSet", "XCreate", "XFree", "CoptSetLoadPath", "optGetLoadPath"})
    EXPECT_NE(platform::FindSymbol(lib, name), nullptr) << name;
  EXPECT_EQ(platform::FindSymbol(lib, "CoptEchoSet"), nullptr);
  platform::CloseLibrary(lib);
}

}  // namespace
}  // namespace qlink
