#include "io/statlibobj.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/testutil/testutil.h"

namespace qlink {
namespace {

using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

// A console stand-in whose text can be read back.
class Console {
 public:
  Console() : file_(std::tmpfile()) {}
  ~Console() { std::fclose(file_); }
  std::FILE* get() const { return file_; }
  std::string Text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) s.append(buf, n);
    std::fseek(file_, 0, SEEK_END);
    return s;
  }

 private:
  std::FILE* file_;
};

struct LogOptionCase {
  int option;
  int effective;
  const char* file_text;     // what the log file holds afterwards
  const char* console_text;  // what standard output shows
};

class LogOptions : public ::testing::TestWithParam<LogOptionCase> {};

TEST_P(LogOptions, RouteLinesToFileAndConsole) {
  const LogOptionCase& c = GetParam();
  ScratchDir dir("logopt");
  Console console;
  TLVOLogStream log(console.get());
  EXPECT_EQ(log.LogOpen(c.option, 1, dir.File("x.log")), 0);
  EXPECT_EQ(log.option(), c.effective);
  log.LogWriteLn("hello");
  log.LogClose();
  EXPECT_EQ(ReadFile(dir.File("x.log")), c.file_text);
  EXPECT_EQ(console.Text(), c.console_text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogOptions,
    ::testing::Values(LogOptionCase{-5, 0, "", ""}, LogOptionCase{0, 0, "", ""},
                      LogOptionCase{1, 3, "", "--- LogOption value 1 is deprecated, reset to 3\nhello\n"},
                      LogOptionCase{2, 2, "hello\n", ""}, LogOptionCase{3, 3, "", "hello\n"},
                      LogOptionCase{4, 4, "hello\n", "hello\n"}, LogOptionCase{7, 4, "hello\n", "hello\n"}));

TEST(LogStream, AppendModeKeepsEarlierLinesOtherModesStartAnew) {
  ScratchDir dir("logmode");
  Console console;
  TLVOLogStream log(console.get());
  WriteFile(dir.File("x.log"), "old\n");
  log.LogOpen(2, 2, dir.File("x.log"));
  log.LogWriteLn("first");
  log.LogClose();
  // The solver appends its own output while the log is closed.
  WriteFile(dir.File("x.log"), ReadFile(dir.File("x.log")) + "solver output\n");
  log.LogOpen(2, 2, dir.File("x.log"));
  log.LogWriteLn("second");
  log.LogClose();
  EXPECT_EQ(ReadFile(dir.File("x.log")), "old\nfirst\nsolver output\nsecond\n");
  log.LogOpen(2, 0, dir.File("x.log"));
  log.LogWriteLn("new");
  log.LogClose();
  EXPECT_EQ(ReadFile(dir.File("x.log")), "new\n");
  EXPECT_EQ(console.Text(), "");
}

TEST(LogStream, UnopenableFileFallsBackToStandardOutput) {
  for (const int mode : {2, 0}) {
    Console console;
    TLVOLogStream log(console.get());
    EXPECT_EQ(log.LogOpen(4, mode, "/nonexistent-dir/x.log"), 1);
    EXPECT_EQ(log.option(), 3);
    EXPECT_EQ(log.file_name(), "");
    log.LogWriteLn("after");
    EXPECT_EQ(console.Text(), std::string("*** Log reopend as output\n") + (mode == 2 ? "*** Append\n" : "*** Open\n") +
                                  " logfile error: (R=2) FN=\"/nonexistent-dir/x.log\"\n"
                                  "*** Msg=No such file or directory\n"
                                  "*** Logging to standard output\n"
                                  "after\n");
  }
}

TEST(LogStream, LineWrittenWhileClosedGoesToStandardOutput) {
  ScratchDir dir("logclosed");
  Console console;
  TLVOLogStream log(console.get());
  log.LogOpen(2, 1, dir.File("x.log"));
  log.LogClose();
  log.LogWriteLn("late");
  log.LogWriteLn("later");
  EXPECT_EQ(console.Text(), "*** Log reopend as output\nlate\nlater\n");
  EXPECT_EQ(ReadFile(dir.File("x.log")), "");
}

struct RedirectCase {
  int option;
  const char* file;
  const char* directory;
  const char* suffix;
};

class LogRedirect : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(LogRedirect, NamesTheSameLog) {
  const RedirectCase& c = GetParam();
  ScratchDir dir("logredir");
  Console console;
  TLVOLogStream log(console.get());
  // The log file lives in the scratch directory; the case's names are relative to it.
  const std::string file = c.file[0] ? dir.File(c.file) : "";
  std::filesystem::create_directories(dir.File("sub"));
  log.LogOpen(c.option, 1, file);
  std::string suffix = c.suffix;
  const auto at = suffix.find("@");
  if (at != std::string::npos) suffix.replace(at, 1, dir.path());
  EXPECT_EQ(log.LogRedirectSuffix(c.directory[0] == '@' ? dir.path() + (c.directory + 1) : c.directory), suffix);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogRedirect,
    ::testing::Values(RedirectCase{3, "", "@", ""}, RedirectCase{0, "x.log", "@", ""},
                      RedirectCase{2, "x.log", "@", " >> \"./x.log\""},
                      RedirectCase{4, "x.log", "@", " >> \"./x.log\""},
                      RedirectCase{2, "x.log", "/elsewhere/", " >> \"@x.log\""},
                      RedirectCase{4, "x.log", "/elsewhere/", " | tee -a \"@x.log\""},
                      // The directory must start the name; elsewhere in it, it means nothing.
                      RedirectCase{2, "sub/x.log", "sub/", " >> \"@sub/x.log\""},
                      RedirectCase{2, "x.log", "", " >> \"@x.log\""}));

TEST(StatusStream, WritesEveryRecordKind) {
  ScratchDir dir("status");
  Console console;
  TLVOStatusStream status(console.get());
  status.StatusSetFilename(dir.File("st.scr"));
  std::string message;
  ASSERT_TRUE(status.StatusFileOpen(2, &message)) << message;
  status.StatusAuditLine("AUDIT TEXT");
  status.StatusCopyOn();
  status.StatusWriteLn("raw line");
  status.StatusCopyOff();
  status.StatusCopyLine("copied");
  status.StatusEquationName("e1", 3, "abc");
  status.StatusSetEditSymbol('_');
  status.StatusCopyOn();
  status.StatusCopyLine("under");
  status.StatusClose();
  EXPECT_EQ(ReadFile(dir.File("st.scr")),
            "=0AUDIT TEXT\n=1\nraw line\n=2\n=Ccopied\n=E \"e1\" 3 \"abc\"\n=9_\n_1\n_Cunder\n");
  EXPECT_EQ(status.edit_symbol(), '_');
  EXPECT_EQ(console.Text(), "");
}

struct StatusOpenCase {
  const char* description;
  const char* existing;  // nullptr: no file yet
  int mode;
  const char* after;  // the file after writing one copy line "new"
};

class StatusOpen : public ::testing::TestWithParam<StatusOpenCase> {};

TEST_P(StatusOpen, AppendsOrStartsAnew) {
  const StatusOpenCase& c = GetParam();
  ScratchDir dir("statusopen");
  if (c.existing) WriteFile(dir.File("st.scr"), c.existing);
  TLVOStatusStream status;
  status.StatusSetFilename(dir.File("st.scr"));
  std::string message;
  ASSERT_TRUE(status.StatusFileOpen(c.mode, &message)) << message;
  status.StatusCopyLine("new");
  status.StatusClose();
  EXPECT_EQ(ReadFile(dir.File("st.scr")), c.after) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatusOpen,
    ::testing::Values(
        StatusOpenCase{"new file", nullptr, 2, "=Cnew\n"},
        StatusOpenCase{"existing file, append", "a\nb\nc\n", 2, "a\nb\nc\n=Cnew\n"},
        StatusOpenCase{"existing file, other mode", "a\nb\nc\n", 1, "=Cnew\n"},
        StatusOpenCase{"placeholder", "=0 X\n=1\n=C** SOLVER DID NOT RUN\n=2\n", 2, "=Cnew\n"},
        StatusOpenCase{"placeholder text one column late", "=0\n=1\n=C*** SOLVER DID NOT RUN\n", 2,
                       "=0\n=1\n=C*** SOLVER DID NOT RUN\n=Cnew\n"},
        StatusOpenCase{"placeholder text on another line", "=C** SOLVER DID NOT RUN\nx\ny\n", 2,
                       "=C** SOLVER DID NOT RUN\nx\ny\n=Cnew\n"},
        StatusOpenCase{"placeholder without final line end", "1\n2\n12345SOLVER DID NOT", 2, "=Cnew\n"},
        StatusOpenCase{"short file", "only\n", 2, "only\n=Cnew\n"}));

TEST(StatusStream, OpenFailures) {
  TLVOStatusStream status;
  std::string message;
  EXPECT_FALSE(status.StatusFileOpen(2, &message));
  EXPECT_EQ(message, "Status filename has not been assigned");
  status.StatusSetFilename("/nonexistent-dir/st.scr");
  EXPECT_FALSE(status.StatusFileOpen(2, &message));
  EXPECT_EQ(message, "status open failed: No such file or directory");
}

TEST(StatusStream, FailedWritesAreReportedOnTheConsoleAndTheRunGoesOn) {
  Console console;
  TLVOStatusStream status(console.get());
  status.StatusSetFilename("/dev/full");
  std::string message;
  ASSERT_TRUE(status.StatusFileOpen(2, &message)) << message;
  status.StatusWriteLn("raw");
  status.StatusCopyLine("copy");
  status.StatusAuditLine("audit");
  status.StatusEquationName("e7", 1, "t");
  status.StatusCopyOn();
  status.StatusCopyOff();
  status.StatusSetEditSymbol('#');
  status.StatusClose();
  EXPECT_EQ(console.Text(),
            "*** StatLib.StatusWriteLn raw\n*** StatLib.StatusCopyLine copy\n*** StatLib.StatusAuditLine audit\n"
            "*** StatLib.StatusEquationName e7\n*** StatLib.StatusCopyOn\n*** StatLib.StatusCopyOff\n"
            "*** StatLib.StatusSetEditSymbol\n");
}

TEST(StatusStream, WritesWithoutAnOpenFileAreReported) {
  Console console;
  TLVOStatusStream status(console.get());
  status.StatusCopyLine("lost");
  EXPECT_EQ(console.Text(), "*** StatLib.StatusCopyLine lost\n");
}

}  // namespace
}  // namespace qlink
