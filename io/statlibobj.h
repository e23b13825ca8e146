// The log stream and the status stream through which the link reports to the modeling system:
// the log carries the progress lines the user sees, the status file the records the modeling
// system reads back (among them the lines it copies into the user's listing).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace qlink {

class TLVOLogStream {
 public:
  // `console` receives standard-output logging and the stream's own notices.
  explicit TLVOLogStream(std::FILE* console = stdout) : console_(console) {}
  ~TLVOLogStream();
  TLVOLogStream(const TLVOLogStream&) = delete;
  TLVOLogStream& operator=(const TLVOLogStream&) = delete;

  // Opens the log for `option` (below 0 is 0, 1 is 3, above 4 is 4): 0 no logging, 2 the file
  // `name`, 3 standard output, 4 the file and standard output. Mode 2 appends to an existing
  // file, any other mode starts it anew. Returns 1 when the file could not be opened and
  // logging fell back to standard output, else 0.
  int LogOpen(int option, int mode, const std::string& name);
  void LogWriteLn(std::string_view text);
  void LogClose();
  // Text to append to a command line so that a child process's output reaches this log.
  std::string LogRedirectSuffix(const std::string& directory) const;

  bool enabled() const { return enabled_; }
  int option() const { return option_; }
  const std::string& file_name() const { return file_name_; }

 private:
  enum class Target { kClosed, kFile, kConsole };
  void Emit(std::string_view text);

  std::FILE* console_;
  std::FILE* file_ = nullptr;
  Target target_ = Target::kClosed;
  bool enabled_ = true;
  int option_ = 3;
  std::string file_name_;
};

class TLVOStatusStream {
 public:
  explicit TLVOStatusStream(std::FILE* console = stdout) : console_(console) {}
  ~TLVOStatusStream();
  TLVOStatusStream(const TLVOStatusStream&) = delete;
  TLVOStatusStream& operator=(const TLVOStatusStream&) = delete;

  void StatusSetFilename(const std::string& name);
  // Opens the status file; mode 2 appends unless the file is a placeholder that says the
  // solver did not run. Returns false with `message` set on failure.
  bool StatusFileOpen(int mode, std::string* message);
  void StatusClose();

  void StatusWriteLn(std::string_view text);
  void StatusCopyOn();
  void StatusCopyOff();
  void StatusCopyLine(std::string_view text);
  void StatusAuditLine(std::string_view text);
  void StatusSetEditSymbol(char symbol);
  void StatusEquationName(std::string_view name, int number, std::string_view text);

  bool is_open() const { return file_ != nullptr; }
  const std::string& file_name() const { return file_name_; }
  char edit_symbol() const { return edit_symbol_; }

 private:
  // Writes one record; on failure reports `what` on the console.
  void Record(std::string_view line, std::string_view what);

  std::FILE* console_;
  std::FILE* file_ = nullptr;
  bool name_assigned_ = false;
  std::string file_name_ = "unknown file name";
  char edit_symbol_ = '=';
};

}  // namespace qlink
