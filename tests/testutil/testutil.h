// Helpers shared by the test suites: scratch directories, files, and running the built programs.
#pragma once

#include <string>
#include <vector>

namespace qlink::test {

// A fresh directory below the test binary directory, removed with its contents at destruction.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // The directory, ending in a separator.
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
bool Exists(const std::string& path);

struct RunResult {
  int exit_code = -1;  // the exit code, or 128 + signal number
  std::string out;     // standard output
  std::string err;     // standard error
};

// Runs `program` with `args` (each passed as one argument, no shell) in directory `cwd`
// (empty: the current one), with standard input from /dev/null.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd = "");

// The system directory of the build under test.
std::string SysDir();

}  // namespace qlink::test
