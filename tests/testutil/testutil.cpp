#include "tests/testutil/testutil.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qlink::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& name) {
  fs::path p = fs::path(QLINK_TEST_BINARY_DIR) / "scratch" / (name + "-" + std::to_string(::getpid()));
  fs::remove_all(p);
  fs::create_directories(p);
  path_ = p.string() + "/";
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool Exists(const std::string& path) { return fs::exists(path); }

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd) {
  char out_name[] = "/tmp/qlink-test-out-XXXXXX";
  char err_name[] = "/tmp/qlink-test-err-XXXXXX";
  const int out_fd = ::mkstemp(out_name);
  const int err_fd = ::mkstemp(err_name);
  RunResult result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in_fd = ::open("/dev/null", O_RDONLY);
    ::dup2(in_fd, 0);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ::close(out_fd);
  ::close(err_fd);
  result.out = ReadFile(out_name);
  result.err = ReadFile(err_name);
  ::unlink(out_name);
  ::unlink(err_name);
  return result;
}

std::string SysDir() { return std::string(QLINK_SYSDIR) + "/"; }

}  // namespace qlink::test
