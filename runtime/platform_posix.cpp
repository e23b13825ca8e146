// POSIX implementation of the platform layer.
#include "runtime/platform.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace qlink::platform {

int LastErrorCode() { return errno; }

std::string ErrorText(int code) {
  char buffer[256];
  // The GNU variant returns a pointer that may or may not be the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("Unknown error ") + std::to_string(code);
#else
  if (strerror_r(code, buffer, sizeof buffer) != 0) return "Unknown error " + std::to_string(code);
  return buffer;
#endif
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return {};
  return buffer.data();
}

std::string ExecutableDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), PATH_MAX);
  if (n <= 0) return {};
  std::string path(buffer.data(), static_cast<size_t>(n));
  const auto slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {
std::atomic<int>* g_interrupt_counter = nullptr;

extern "C" void CountInterrupt(int) {
  if (g_interrupt_counter != nullptr) g_interrupt_counter->fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

bool InstallInterruptHandler(std::atomic<int>* counter) {
  g_interrupt_counter = counter;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = CountInterrupt;
  sigemptyset(&action.sa_mask);
  // Restart interrupted reads and waits, so that the run sequence simply goes on.
  action.sa_flags = SA_RESTART;
  return ::sigaction(SIGINT, &action, nullptr) == 0;
}

std::string SharedLibraryFileName(std::string_view base) {
  return "lib" + std::string(base) + "64.so";
}

LibraryHandle OpenLibrary(const std::string& path, std::string* error) {
  ::dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr && error != nullptr) {
    const char* text = ::dlerror();
    *error = text ? text : "unknown error";
  }
  return handle;
}

void* FindSymbol(LibraryHandle handle, const char* name) {
  if (handle == nullptr) return nullptr;
  return ::dlsym(handle, name);
}

void CloseLibrary(LibraryHandle handle) {
  if (handle != nullptr) ::dlclose(handle);
}

void* FindSymbol(LibraryHandle handle, const char* name, std::string* error) {
  if (handle == nullptr) {
    if (error != nullptr) *error = "library not loaded";
    return nullptr;
  }
  ::dlerror();
  void* symbol = ::dlsym(handle, name);
  if (symbol == nullptr && error != nullptr) {
    const char* text = ::dlerror();
    *error = text ? text : "undefined symbol: " + std::string(name);
  }
  return symbol;
}

void SuppressErrorDialogs() {}

}  // namespace qlink::platform
