#include "io/statlibobj.h"

#include <cstring>

#include "runtime/lvocommon.h"
#include "runtime/platform.h"

namespace qlink {

namespace {

void ConsoleLine(std::FILE* console, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), console);
  std::fputc('\n', console);
  std::fflush(console);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Log stream

TLVOLogStream::~TLVOLogStream() {
  if (file_ != nullptr) std::fclose(file_);
}

int TLVOLogStream::LogOpen(int option, int mode, const std::string& name) {
  if (target_ != Target::kClosed) LogClose();
  if (option < 0) option = 0;
  if (option > 4) option = 4;
  const bool deprecated = option == 1;
  if (deprecated) option = 3;
  option_ = option;

  if (option == 0) {
    enabled_ = false;
    file_name_.clear();
    return 0;
  }
  enabled_ = true;
  if (option == 3) {
    file_name_.clear();
    target_ = Target::kConsole;
    if (std::ferror(console_)) ConsoleLine(stderr, "*** gStatusL.LogOpen-2: cannot write to standard output");
  } else {
    file_name_ = Bounded(name);
    file_ = nullptr;
    if (mode == 2) file_ = std::fopen(file_name_.c_str(), "ab");
    if (file_ == nullptr) file_ = std::fopen(file_name_.c_str(), "wb");
    if (file_ == nullptr) {
      const int code = platform::LastErrorCode();
      const std::string failed_name = file_name_;
      option_ = 3;
      file_name_.clear();
      target_ = Target::kConsole;
      ConsoleLine(console_, "*** Log reopend as output");
      LogWriteLn(mode == 2 ? "*** Append" : "*** Open");
      LogWriteLn(" logfile error: (R=" + std::to_string(code) + ") FN=\"" + failed_name + "\"");
      LogWriteLn("*** Msg=" + platform::ErrorText(code));
      LogWriteLn("*** Logging to standard output");
      return 1;
    }
    target_ = Target::kFile;
  }
  if (deprecated) LogWriteLn("--- LogOption value 1 is deprecated, reset to 3");
  return 0;
}

void TLVOLogStream::Emit(std::string_view text) {
  std::FILE* out = target_ == Target::kFile ? file_ : console_;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fputc('\n', out);
  std::fflush(out);
  if (target_ == Target::kFile && option_ == 4) ConsoleLine(console_, text);
}

void TLVOLogStream::LogWriteLn(std::string_view text) {
  if (!enabled_) return;
  if (target_ == Target::kClosed) {
    // A line written while the log is closed still reaches the user, on standard output.
    ConsoleLine(console_, "*** Log reopend as output");
    target_ = Target::kConsole;
    option_ = 3;
  }
  Emit(text);
}

void TLVOLogStream::LogClose() {
  if (target_ == Target::kClosed) return;
  if (enabled_ && option_ == 4) std::fflush(console_);
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  target_ = Target::kClosed;
}

std::string TLVOLogStream::LogRedirectSuffix(const std::string& directory) const {
  if (file_name_.empty()) return {};
  // A log inside `directory` is named relative to it, keeping the separator that ends it.
  if (!directory.empty() && file_name_.size() >= directory.size() &&
      file_name_.compare(0, directory.size(), directory) == 0)
    return " >> \"." + file_name_.substr(directory.size() - 1) + "\"";
  if (option_ == 4) return " | tee -a \"" + file_name_ + "\"";
  return " >> \"" + file_name_ + "\"";
}

// ---------------------------------------------------------------------------------------------
// Status stream

TLVOStatusStream::~TLVOStatusStream() { StatusClose(); }

void TLVOStatusStream::StatusSetFilename(const std::string& name) {
  StatusClose();
  file_name_ = Bounded(name);
  name_assigned_ = true;
}

bool TLVOStatusStream::StatusFileOpen(int mode, std::string* message) {
  StatusClose();
  if (!name_assigned_) {
    *message = "Status filename has not been assigned";
    return false;
  }
  // A status file that the modeling system left as a placeholder ("... SOLVER DID NOT ...")
  // is replaced; any other existing file is appended to in mode 2.
  bool start_anew = true;
  if (std::FILE* in = std::fopen(file_name_.c_str(), "rb")) {
    // Only the start of the third line matters. The read is bounded, so a file without line
    // ends (or a device that never ends) cannot hold the run up.
    constexpr int kMaxBytes = 1 << 16;
    std::string third;
    int line = 1;
    for (int n = 0, ch; n < kMaxBytes && line <= 3 && (ch = std::fgetc(in)) != EOF; ++n) {
      if (ch == '\n') ++line;
      else if (line == 3 && third.size() < 19) third += static_cast<char>(ch);
    }
    std::fclose(in);
    start_anew = third.size() >= 19 && third.compare(5, 14, "SOLVER DID NOT") == 0;
  }
  if (!start_anew && mode == 2) file_ = std::fopen(file_name_.c_str(), "ab");
  if (file_ == nullptr) file_ = std::fopen(file_name_.c_str(), "wb");
  if (file_ == nullptr) {
    *message = "status open failed: " + platform::ErrorText(platform::LastErrorCode());
    return false;
  }
  return true;
}

void TLVOStatusStream::StatusClose() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

void TLVOStatusStream::Record(std::string_view line, std::string_view what) {
  bool ok = file_ != nullptr;
  if (ok) {
    ok = std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fputc('\n', file_) != EOF &&
         std::fflush(file_) == 0;
  }
  if (!ok) {
    std::string report = "*** StatLib.";
    report.append(what);
    ConsoleLine(console_, report);
  }
}

void TLVOStatusStream::StatusWriteLn(std::string_view text) {
  Record(text, "StatusWriteLn " + std::string(text));
}

void TLVOStatusStream::StatusCopyOn() { Record(std::string{edit_symbol_, '1'}, "StatusCopyOn"); }

void TLVOStatusStream::StatusCopyOff() { Record(std::string{edit_symbol_, '2'}, "StatusCopyOff"); }

void TLVOStatusStream::StatusCopyLine(std::string_view text) {
  std::string line{edit_symbol_, 'C'};
  line.append(text);
  Record(line, "StatusCopyLine " + std::string(text));
}

void TLVOStatusStream::StatusAuditLine(std::string_view text) {
  std::string line{edit_symbol_, '0'};
  line.append(text);
  Record(line, "StatusAuditLine " + std::string(text));
}

void TLVOStatusStream::StatusSetEditSymbol(char symbol) {
  Record(std::string{edit_symbol_, '9', symbol}, "StatusSetEditSymbol");
  edit_symbol_ = symbol;
}

void TLVOStatusStream::StatusEquationName(std::string_view name, int number, std::string_view text) {
  std::string line{edit_symbol_, 'E', ' ', '"'};
  line.append(name);
  line += "\" ";
  line += std::to_string(number);
  line += " \"";
  line.append(text);
  line += '"';
  Record(line, "StatusEquationName " + std::string(name));
}

}  // namespace qlink
