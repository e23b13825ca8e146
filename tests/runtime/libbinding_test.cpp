// Tests of the run-time binding mechanism against the bindtest libraries (bindtest/), which sit
// next to this test program, so the bindings find them through the program-directory rule.
#include "runtime/libbinding.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>
#include <string>

#include "runtime/platform.h"

namespace qlink {
namespace {

using AddFn = int (*)(void*, int, int);
using LenFn = int (*)(void*, const char*);
using OneFn = int (*)(void*, int);

enum : int { kAdd, kMul, kLen, kWrongSig, kMissing, kCount };

// The function list of a binding; the stubs belong to the binding B.
template <LibBinding& B>
const ApiFunction* FunctionsOf() {
  static const ApiFunction list[kCount] = {
      MakeApiFunction<B, kAdd, AddFn>("tstAdd", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT}),
      MakeApiFunction<B, kMul, AddFn>("tstMul", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT}),
      MakeApiFunction<B, kLen, LenFn>("tstLen", {QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
      MakeApiFunction<B, kWrongSig, AddFn>("tstWrongSig",
                                           {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT}),
      MakeApiFunction<B, kMissing, OneFn>("tstMissing", {QLINK_SIG_INT, QLINK_SIG_INT}),
  };
  return list;
}

BindingTable MakeTable(const char* base, BindingFlavor flavor, const ApiFunction* functions) {
  BindingTable t;
  t.file_base = base;
  t.create_entry = "XCreate";
  t.free_entry = "XFree";
  t.check_entry = "XCheck";
  t.version_entry = "XAPIVersion";
  t.set_load_path_entry = "btSetLoadPath";
  t.initialize_entry = "btInitialize";
  t.finalize_entry = "btFinalize";
  t.interface_version = 7;
  t.string_prefix = "D__";
  t.plain_prefix = "C__";
  t.flavor = flavor;
  t.load_from_program_directory = true;
  t.pass_load_directory = true;
  t.functions = functions;
  t.function_count = kCount;
  return t;
}

#define TEST_BINDING(var, base, flavor)                                      \
  extern LibBinding var;                                                     \
  const BindingTable var##_table = MakeTable(base, flavor, FunctionsOf<var>()); \
  LibBinding var(var##_table)

}  // namespace

// Bindings at namespace scope (not in the unnamed namespace) so that they can be declared
// before their tables.
namespace bindtest {
TEST_BINDING(g_full, "bindtest", BindingFlavor::kLink);
TEST_BINDING(g_refuse, "bindtestrefuse", BindingFlavor::kLink);
TEST_BINDING(g_nofree, "bindtestnofree", BindingFlavor::kLink);
TEST_BINDING(g_nullcreate, "bindtestnullcreate", BindingFlavor::kLink);
TEST_BINDING(g_skip, "bindtestskip", BindingFlavor::kLink);
TEST_BINDING(g_missing, "bindtestmissing", BindingFlavor::kLink);
TEST_BINDING(g_junk, "bindtestjunk", BindingFlavor::kLink);
TEST_BINDING(g_arch, "bindtestarch", BindingFlavor::kLink);
TEST_BINDING(b_full, "bindtest", BindingFlavor::kBridge);
TEST_BINDING(b_nofree, "bindtestnofree", BindingFlavor::kBridge);
TEST_BINDING(b_nullcreate, "bindtestnullcreate", BindingFlavor::kBridge);
TEST_BINDING(b_missing, "bindtestmissing", BindingFlavor::kBridge);
}  // namespace bindtest

namespace {

using namespace bindtest;

std::string Dir() { return platform::ExecutableDirectory(); }
std::string FileOf(const char* base) { return platform::SharedLibraryFileName(base); }

// The system's own text for loading `path`, found independently of the binding.
std::string SystemLoadError(const std::string& path) {
  std::string error;
  platform::LibraryHandle h = platform::OpenLibrary(path, &error);
  if (h != nullptr) {
    platform::CloseLibrary(h);
    return "(loaded)";
  }
  return error;
}

// An observer function of the bindtest library, through a handle of our own.
template <typename Fn>
Fn Observer(const char* name) {
  std::string error;
  platform::LibraryHandle h = platform::OpenLibrary(Dir() + FileOf("bindtest"), &error);
  Fn f = reinterpret_cast<Fn>(platform::FindSymbol(h, name));
  platform::CloseLibrary(h);  // the binding keeps the library loaded
  return f;
}

struct ChildResult {
  int exit_code = -1;
  std::string out;
};

// Runs body in a child process with standard output captured; the child's exit code is what
// body returns unless it ends the process itself.
ChildResult RunInChild(const std::function<int()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 1);
    close(fds[1]);
    const int rc = body();
    std::fflush(stdout);
    _exit(rc);
  }
  close(fds[1]);
  ChildResult result;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(LibBinding, ObjectCountKeepsLibraryUntilLastFree) {
  void* a = nullptr;
  void* b = nullptr;
  std::string msg;
  ASSERT_TRUE(g_full.ObjectCreate(&a, &msg)) << msg;
  ASSERT_TRUE(g_full.ObjectCreate(&b, &msg)) << msg;
  EXPECT_NE(a, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(g_full.ObjectCount(), 2);
  auto live = Observer<int (*)()>("btLiveObjects");
  ASSERT_NE(live, nullptr);
  EXPECT_EQ(live(), 2);

  EXPECT_EQ(g_full.ObjectFree(&a), 1);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(live(), 1);
  EXPECT_EQ(g_full.LibraryUnload(), 0);
  EXPECT_TRUE(g_full.IsLoaded());
  EXPECT_TRUE(g_full.IsBound(kAdd));

  EXPECT_EQ(g_full.ObjectFree(&b), 1);
  EXPECT_EQ(g_full.ObjectCount(), 0);
  EXPECT_EQ(g_full.LibraryUnload(), 1);
  EXPECT_FALSE(g_full.IsLoaded());
  // After unloading every slot is the stub again, never a dangling library address.
  for (int i = 0; i < kCount; ++i) EXPECT_FALSE(g_full.IsBound(i)) << i;
  // A second unload of an unloaded library is harmless.
  EXPECT_EQ(g_full.LibraryUnload(), 1);
}

TEST(LibBinding, FreeingNullHandleDoesNotCountDown) {
  void* a = nullptr;
  std::string msg;
  ASSERT_TRUE(g_full.ObjectCreate(&a, &msg)) << msg;
  void* none = nullptr;
  EXPECT_EQ(g_full.ObjectFree(&none), 1);
  EXPECT_EQ(g_full.ObjectCount(), 1);
  EXPECT_EQ(g_full.LibraryUnload(), 0);
  g_full.ObjectFree(&a);
  EXPECT_EQ(g_full.LibraryUnload(), 1);
}

TEST(LibBinding, ResolvesNamesInLowerUnchangedAndUpperCase) {
  std::string msg;
  ASSERT_TRUE(g_full.LibraryLoad(&msg)) << msg;
  void* obj = nullptr;
  ASSERT_TRUE(g_full.ObjectCreate(&obj, &msg));
  // C__tstAdd is exported only as c__tstadd, C__tstMul as written, D__tstLen only as D__TSTLEN.
  EXPECT_EQ(g_full.Entry<AddFn>(kAdd)(obj, 2, 3), 5);
  EXPECT_EQ(g_full.Entry<AddFn>(kMul)(obj, 2, 3), 6);
  EXPECT_EQ(g_full.Entry<LenFn>(kLen)(obj, "abcd"), 4);
  EXPECT_FALSE(g_full.IsBound(kWrongSig));  // the check refuses its signature
  EXPECT_FALSE(g_full.IsBound(kMissing));
  g_full.ObjectFree(&obj);
  EXPECT_EQ(g_full.LibraryUnload(), 1);
}

TEST(LibBinding, LoadsFromProgramDirectoryAndPassesIt) {
  std::string msg;
  ASSERT_TRUE(g_full.LibraryLoad(&msg)) << msg;
  EXPECT_EQ(g_full.LibraryPath(), Dir() + FileOf("bindtest"));
  auto load_path = Observer<const char* (*)()>("btLoadPath");
  auto inits = Observer<int (*)()>("btInitCount");
  ASSERT_NE(load_path, nullptr);
  EXPECT_EQ(std::string(load_path()), Dir());
  EXPECT_GE(inits(), 1);
  EXPECT_EQ(g_full.LibraryUnload(), 1);
}

TEST(LibBinding, SkippedChecksBindEveryExportedName) {
  std::string msg;
  ASSERT_TRUE(g_skip.LibraryLoad(&msg)) << msg;
  EXPECT_TRUE(g_skip.IsBound(kWrongSig));  // not asked: bound directly
  EXPECT_EQ(g_skip.Entry<AddFn>(kWrongSig)(nullptr, 9, 1), 9);
  EXPECT_FALSE(g_skip.IsBound(kMissing));  // no such export
  EXPECT_EQ(g_skip.LibraryUnload(), 1);
}

struct LoadFailure {
  const char* label;
  LibBinding* binding;
  std::function<std::string()> expected;
};

class LoadFailures : public ::testing::TestWithParam<LoadFailure> {};

TEST_P(LoadFailures, FailWithMessageAndStayUnloaded) {
  const LoadFailure& c = GetParam();
  std::string msg;
  EXPECT_FALSE(c.binding->LibraryLoad(&msg));
  EXPECT_EQ(msg, c.expected());
  EXPECT_FALSE(c.binding->IsLoaded());
  // Object creation fails with the same message and a null handle.
  void* obj = reinterpret_cast<void*>(1);
  std::string create_msg;
  EXPECT_FALSE(c.binding->ObjectCreate(&obj, &create_msg));
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(create_msg, msg);
  EXPECT_EQ(c.binding->ObjectCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    LibBinding, LoadFailures,
    ::testing::Values(
        LoadFailure{"VersionRefused", &g_refuse,
                    [] { return std::string("bindtest serves interface version 3 only"); }},
        LoadFailure{"MissingMandatoryEntry", &g_nofree,
                    [] { return "Entry not found: XFree in " + Dir() + FileOf("bindtestnofree"); }},
        LoadFailure{"NoSuchFile", &g_missing,
                    [] {
                      const std::string f = FileOf("bindtestmissing");
                      return SystemLoadError(f) + " (problem occurred when trying to load " + f +
                             ")";
                    }},
        // A file that exists in the program directory but is no library: its own failure is
        // reported, with its full path.
        LoadFailure{"NotALibrary", &g_junk,
                    [] {
                      const std::string p = Dir() + FileOf("bindtestjunk");
                      return SystemLoadError(p) + " (problem occurred when trying to load " + p +
                             ")";
                    }},
        LoadFailure{"BridgeNoSuchFile", &b_missing,
                    [] {
                      const std::string f = FileOf("bindtestmissing");
                      return "Could not load shared library " + f + ": " + SystemLoadError(f);
                    }},
        LoadFailure{"BridgeMissingMandatoryEntry", &b_nofree,
                    [] {
                      std::string error;
                      platform::LibraryHandle h =
                          platform::OpenLibrary(Dir() + FileOf("bindtestnofree"), &error);
                      platform::FindSymbol(h, "XFREE", &error);  // the last of the three lookups
                      platform::CloseLibrary(h);
                      return "Could not load symbol 'XFree': " + error;
                    }}),
    [](const auto& i) { return std::string(i.param.label); });

// A library built for another architecture: here a copy of bindtest marked as 32-bit ELF.
TEST(LibBinding, WrongArchitectureGivesSystemText) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(QLINK_TEST_BINARY_DIR) / "arch";
  fs::create_directories(dir);
  const fs::path copy = dir / FileOf("bindtestarch");
  fs::copy_file(Dir() + FileOf("bindtest"), copy, fs::copy_options::overwrite_existing);
  {
    std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4);  // EI_CLASS
    f.put(1);    // ELFCLASS32
  }
  g_arch.SetLoadDirectory(dir.string() + "/");
  std::string msg;
  EXPECT_FALSE(g_arch.LibraryLoad(&msg));
  const std::string system_text = SystemLoadError(copy.string());
  EXPECT_NE(system_text, "(loaded)");
  EXPECT_EQ(msg, system_text + " (problem occurred when trying to load " + copy.string() + ")");
}

// Objects created and freed from several threads keep an exact count.
TEST(LibBinding, CountsObjectsAcrossThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 200; ++i) {
        void* obj = nullptr;
        std::string msg;
        if (g_full.ObjectCreate(&obj, &msg)) g_full.ObjectFree(&obj);
      }
    });
  void* kept = nullptr;
  std::string msg;
  ASSERT_TRUE(g_full.ObjectCreate(&kept, &msg));
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(g_full.ObjectCount(), 1);
  EXPECT_EQ(g_full.LibraryUnload(), 0);
  g_full.ObjectFree(&kept);
  EXPECT_EQ(g_full.LibraryUnload(), 1);
}

TEST(LibBinding, NullObjectFromCreateEntry) {
  const struct {
    LibBinding* binding;
    const char* message;
  } cases[] = {{&g_nullcreate, "Library is loaded but error while creating object"},
               {&b_nullcreate, "Error while creating object"}};
  for (const auto& c : cases) {
    void* obj = nullptr;
    std::string msg;
    EXPECT_FALSE(c.binding->ObjectCreate(&obj, &msg));
    EXPECT_EQ(msg, c.message);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(c.binding->ObjectCount(), 0);
    EXPECT_TRUE(c.binding->IsLoaded());
    EXPECT_EQ(c.binding->LibraryUnload(), 1);
  }
}

std::string g_logged;
void CollectLine(const std::string& line) {
  g_logged += line;
  std::printf("LOG: %s\n", line.c_str());
}
int g_callback_count = -1;
std::string g_callback_message;
int CallbackYes(int count, const char* message) {
  g_callback_count = count;
  g_callback_message = message;
  std::printf("callback %d\n", count);
  return 1;
}
int CallbackNo(int count, const char*) {
  g_callback_count = count;
  return 0;
}

struct StubCase {
  const char* label;
  LibBinding* binding;
  bool load;
  bool screen;
  bool exit;
  BindingErrorCallback callback;
  bool use_sink;
  int expected_exit;
  std::function<std::string()> expected_out;
};

class StubCalls : public ::testing::TestWithParam<StubCase> {};

TEST_P(StubCalls, ReportCountAndEnd) {
  const StubCase& c = GetParam();
  const ChildResult r = RunInChild([&] {
    std::string msg;
    if (c.load && !c.binding->LibraryLoad(&msg)) return 90;
    c.binding->SetScreenIndicator(c.screen);
    c.binding->SetExitIndicator(c.exit);
    c.binding->SetErrorCallback(c.callback);
    if (c.use_sink) SetBindingMessageSink(&CollectLine);
    const int result = c.binding->Entry<OneFn>(kMissing)(nullptr, 5);
    // Only reached when the process goes on.
    if (result != 0) return 91;
    if (c.binding->ApiErrorCount() != 1) return 92;
    if (c.callback != nullptr && g_callback_count != 1) return 93;
    return 0;
  });
  EXPECT_EQ(r.exit_code, c.expected_exit);
  EXPECT_EQ(r.out, c.expected_out());
}

std::string FullMessage() {
  return "tstMissing could not be loaded from " + Dir() + FileOf("bindtest") +
         ": bindtest lacks tstMissing";
}

INSTANTIATE_TEST_SUITE_P(
    LibBinding, StubCalls,
    ::testing::Values(
        StubCase{"DefaultsEndProcess", &g_full, true, true, true, nullptr, false, 123,
                 [] { return FullMessage() + "\n"; }},
        StubCase{"MessageGoesToSink", &g_full, true, true, true, nullptr, true, 123,
                 [] { return "LOG: " + FullMessage() + "\n"; }},
        StubCase{"NoExitGoesOn", &g_full, true, true, false, nullptr, false, 0,
                 [] { return FullMessage() + "\n"; }},
        StubCase{"SilentNoExit", &g_full, true, false, false, nullptr, false, 0,
                 [] { return std::string(); }},
        StubCase{"CallbackEnds", &g_full, true, false, false, &CallbackYes, false, 123,
                 [] { return std::string("callback 1\n"); }},
        StubCase{"CallbackGoesOn", &g_full, true, false, false, &CallbackNo, false, 0,
                 [] { return std::string(); }},
        StubCase{"BeforeLoading", &g_full, false, true, true, nullptr, false, 123,
                 [] {
                   // The path is the one last used for loading (none yet: the file name).
                   return "tstMissing could not be loaded from " + g_full.LibraryPath() +
                          ": library is not loaded\n";
                 }},
        StubCase{"BridgeWording", &b_full, true, true, true, nullptr, false, 123,
                 [] { return std::string("tstMissing could not be loaded: bindtest lacks tstMissing\n"); }},
        // The bridge writes to standard output whatever the link's sink is.
        StubCase{"BridgeIgnoresSink", &b_full, true, true, true, nullptr, true, 123,
                 [] { return std::string("tstMissing could not be loaded: bindtest lacks tstMissing\n"); }}),
    [](const auto& i) { return std::string(i.param.label); });

TEST(LibBinding, StubOfRefusedSignatureGivesCheckReason) {
  const ChildResult r = RunInChild([] {
    std::string msg;
    if (!g_full.LibraryLoad(&msg)) return 90;
    g_full.Entry<AddFn>(kWrongSig)(nullptr, 1, 2);
    return 0;
  });
  EXPECT_EQ(r.exit_code, kMissingFunctionExitCode);
  EXPECT_EQ(r.out, "tstWrongSig could not be loaded from " + Dir() + FileOf("bindtest") +
                       ": tstWrongSig has another signature here\n");
}

TEST(LibBinding, EntryPointNameRule) {
  const ApiFunction* f = FunctionsOf<g_full>();
  EXPECT_EQ(EntryPointName(g_full_table, f[kAdd]), "C__tstAdd");
  EXPECT_EQ(EntryPointName(g_full_table, f[kLen]), "D__tstLen");
  // A plain character pointer is no string parameter.
  ApiFunction charptr = f[kLen];
  charptr.types[1] = QLINK_SIG_CHARPTR;
  EXPECT_EQ(EntryPointName(g_full_table, charptr), "C__tstLen");
  for (int code : {QLINK_SIG_STRING_OUT, QLINK_SIG_STRING_ARRAY_OUT}) {
    charptr.types[1] = code;
    EXPECT_TRUE(HasStringParameters(charptr)) << code;
  }
}

}  // namespace
}  // namespace qlink
