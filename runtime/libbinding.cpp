// Run-time binding of a modeling-system library: load, resolve, check, bind, count, unload.
#include "runtime/libbinding.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "runtime/lvocommon.h"

namespace qlink {

namespace {

void WriteLineToStdout(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::atomic<BindingMessageSink> g_sink{&WriteLineToStdout};

// Takes the lock only for link-flavoured bindings; the bridge's caller serialises its calls.
class OptionalLock {
 public:
  OptionalLock(std::mutex& m, bool use) : lock_(m, std::defer_lock) {
    if (use) lock_.lock();
  }
  void Unlock() {
    if (lock_.owns_lock()) lock_.unlock();
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// An entry point is looked up in lower case, then as given, then in upper case; the first hit
// wins. `error` receives the system's reason of the last failed lookup.
void* ResolveName(platform::LibraryHandle handle, const std::string& name, std::string* error) {
  const std::string candidates[3] = {Lower(name), name, Upper(name)};
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && candidates[i] == candidates[i - 1]) continue;
    if (void* p = platform::FindSymbol(handle, candidates[i].c_str(), error)) return p;
  }
  return nullptr;
}

// Text a library wrote into a message buffer; the buffer is terminated defensively.
std::string BufferText(char* buffer) {
  buffer[QLINK_STRING_BUFSIZE - 1] = '\0';
  return buffer;
}

constexpr const char* kNotLoadedReason = "library is not loaded";

}  // namespace

void SetBindingMessageSink(BindingMessageSink sink) {
  g_sink.store(sink != nullptr ? sink : &WriteLineToStdout);
}

BindingMessageSink GetBindingMessageSink() { return g_sink.load(); }

bool HasStringParameters(const ApiFunction& f) {
  for (int k = 1; k <= f.param_count && k <= QLINK_MAX_API_PARAMS; ++k) {
    const int t = f.types[k];
    if (t == QLINK_SIG_STRING_IN || t == QLINK_SIG_STRING_OUT || t == QLINK_SIG_STRING_ARRAY_OUT)
      return true;
  }
  return false;
}

std::string EntryPointName(const BindingTable& table, const ApiFunction& f) {
  const char* prefix = HasStringParameters(f) ? table.string_prefix : table.plain_prefix;
  return std::string(prefix != nullptr ? prefix : "") + f.name;
}

LibBinding::LibBinding(const BindingTable& table) : table_(table) {
  const int n = table.function_count;
  bool sound = n >= 0 && (n == 0 || table.functions != nullptr) && table.file_base != nullptr;
  for (int i = 0; sound && i < n; ++i) {
    const ApiFunction& f = table.functions[i];
    sound = f.index == i && f.stub != nullptr && f.name != nullptr && f.param_count >= 0 &&
            f.param_count <= QLINK_MAX_API_PARAMS;
  }
  if (!sound) {
    std::fprintf(stderr, "*** Inconsistent binding table for %s\n",
                 table.file_base != nullptr ? table.file_base : "(unnamed)");
    std::abort();
  }
  path_ = platform::SharedLibraryFileName(table.file_base);
  slots_.resize(static_cast<std::size_t>(n));
  reasons_.resize(static_cast<std::size_t>(n));
  ResetSlots(kNotLoadedReason);
}

void LibBinding::ResetSlots(const char* reason) {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    slots_[i] = table_.functions[i].stub;
    reasons_[i] = reason;
  }
}

bool LibBinding::IsBound(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return false;
  OptionalLock lock(load_lock_, table_.flavor == BindingFlavor::kLink);
  return slots_[static_cast<std::size_t>(index)] != table_.functions[index].stub;
}

bool LibBinding::IsLoaded() const {
  OptionalLock lock(load_lock_, table_.flavor == BindingFlavor::kLink);
  return handle_ != nullptr;
}

int LibBinding::ObjectCount() const {
  OptionalLock lock(count_lock_, table_.flavor == BindingFlavor::kLink);
  return object_count_;
}

std::string LibBinding::LibraryPath() const {
  OptionalLock lock(load_lock_, table_.flavor == BindingFlavor::kLink);
  return path_;
}

void LibBinding::SetLoadDirectory(const std::string& dir) {
  OptionalLock lock(load_lock_, table_.flavor == BindingFlavor::kLink);
  load_directory_ = dir;
  load_directory_set_ = true;
}

bool LibBinding::TryOpen(const std::string& path, std::string* error) {
  path_ = path;
  handle_ = platform::OpenLibrary(path, error);
  return handle_ != nullptr;
}

bool LibBinding::LibraryLoad(std::string* msg) {
  OptionalLock lock(load_lock_, table_.flavor == BindingFlavor::kLink);
  return LoadLocked(msg);
}

bool LibBinding::LoadLocked(std::string* msg) {
  if (handle_ != nullptr) return true;
  const bool link = table_.flavor == BindingFlavor::kLink;
  const std::string file = platform::SharedLibraryFileName(table_.file_base);
  std::string dir;
  if (load_directory_set_)
    dir = load_directory_;
  else if (table_.load_from_program_directory)
    dir = platform::ExecutableDirectory();

  if (link) platform::SuppressErrorDialogs();
  std::string error;
  std::string loaded_dir;
  bool ok = false;
  if (!dir.empty()) {
    ok = TryOpen(dir + file, &error);
    if (ok) loaded_dir = dir;
  }
  if (!ok) {
    // The file in the first directory is the one the user meant when it exists; its failure
    // is the one to report if the system's search finds nothing either.
    const std::string first_path = dir + file;
    const std::string first_error = error;
    ok = TryOpen(file, &error);
    if (!ok && !dir.empty() && platform::FileExists(first_path)) {
      path_ = first_path;
      error = first_error;
    }
  }
  if (!ok) {
    if (msg != nullptr) {
      *msg = Bounded(link ? error + " (problem occurred when trying to load " + path_ + ")"
                          : "Could not load shared library " + path_ + ": " + error);
    }
    return false;
  }
  if (!ResolveAndBind(msg)) {
    ReleaseLocked();
    return false;
  }
  if (table_.pass_load_directory && table_.set_load_path_entry != nullptr) {
    std::string ignored;
    if (auto set = reinterpret_cast<QlinkSetLoadPathFn>(
            ResolveName(handle_, table_.set_load_path_entry, &ignored)))
      set(loaded_dir.c_str());
  }
  return true;
}

bool LibBinding::ResolveAndBind(std::string* msg) {
  const bool link = table_.flavor == BindingFlavor::kLink;
  auto mandatory = [&](const char* name, void** out) {
    if (name == nullptr) return true;
    std::string reason;
    *out = ResolveName(handle_, name, &reason);
    if (*out != nullptr) return true;
    if (msg != nullptr) {
      *msg = Bounded(link ? "Entry not found: " + std::string(name) + " in " + path_
                          : "Could not load symbol '" + std::string(name) + "': " + reason);
    }
    return false;
  };
  void* create = nullptr;
  void* create_d = nullptr;
  void* free_entry = nullptr;
  void* check = nullptr;
  void* version = nullptr;
  if (!mandatory(table_.create_entry, &create) || !mandatory(table_.create_d_entry, &create_d) ||
      !mandatory(table_.free_entry, &free_entry) || !mandatory(table_.check_entry, &check) ||
      !mandatory(table_.version_entry, &version))
    return false;
  if (create == nullptr || free_entry == nullptr || check == nullptr || version == nullptr) {
    if (msg != nullptr) *msg = "Binding table lacks a mandatory entry for " + path_;
    return false;
  }
  create_ = reinterpret_cast<QlinkCreateFn>(create);
  free_ = reinterpret_cast<QlinkFreeFn>(free_entry);

  std::string ignored;
  finalize_ = nullptr;
  if (table_.initialize_entry != nullptr) {
    if (auto init = reinterpret_cast<QlinkInitializeFn>(
            ResolveName(handle_, table_.initialize_entry, &ignored)))
      init();
  }
  if (table_.finalize_entry != nullptr)
    finalize_ = reinterpret_cast<QlinkFinalizeFn>(
        ResolveName(handle_, table_.finalize_entry, &ignored));

  char buffer[QLINK_STRING_BUFSIZE] = {};
  const int verdict =
      reinterpret_cast<QlinkVersionFn>(version)(table_.interface_version, buffer, sizeof buffer);
  if (verdict == 0) {
    if (msg != nullptr) {
      std::string reason = BufferText(buffer);
      if (reason.empty())
        reason = "Library refused interface version " + std::to_string(table_.interface_version);
      *msg = Bounded(reason);
    }
    return false;
  }
  const bool check_each = !(link && verdict < 0);
  auto checker = reinterpret_cast<QlinkCheckFn>(check);
  for (int i = 0; i < table_.function_count; ++i) {
    const ApiFunction& f = table_.functions[i];
    const auto slot = static_cast<std::size_t>(i);
    if (check_each) {
      buffer[0] = '\0';
      if (checker(f.name, f.param_count, f.types, buffer, sizeof buffer) == 0) {
        std::string reason = BufferText(buffer);
        slots_[slot] = f.stub;
        reasons_[slot] = reason.empty() ? "not provided by the library" : reason;
        continue;
      }
    }
    const std::string entry = EntryPointName(table_, f);
    if (void* p = ResolveName(handle_, entry, &ignored)) {
      slots_[slot] = reinterpret_cast<ApiProc>(p);
      reasons_[slot].clear();
    } else {
      slots_[slot] = f.stub;
      reasons_[slot] = "Entry not found: " + entry;
    }
  }
  return true;
}

void LibBinding::ReleaseLocked() {
  if (handle_ == nullptr) return;
  if (finalize_ != nullptr) finalize_();
  platform::CloseLibrary(handle_);
  handle_ = nullptr;
  create_ = nullptr;
  free_ = nullptr;
  finalize_ = nullptr;
  ResetSlots(kNotLoadedReason);
}

bool LibBinding::ObjectCreate(void** object, std::string* msg) {
  const bool link = table_.flavor == BindingFlavor::kLink;
  *object = nullptr;
  QlinkCreateFn create = nullptr;
  {
    OptionalLock lock(load_lock_, link);
    std::string reason;
    if (!LoadLocked(&reason)) {
      if (msg != nullptr) *msg = reason.empty() ? "Unknown error" : reason;
      return false;
    }
    create = create_;
  }
  create(object);
  if (*object == nullptr) {
    if (msg != nullptr)
      *msg = link ? "Library is loaded but error while creating object"
                  : "Error while creating object";
    return false;
  }
  OptionalLock lock(count_lock_, link);
  ++object_count_;
  return true;
}

int LibBinding::ObjectFree(void** object) {
  const bool link = table_.flavor == BindingFlavor::kLink;
  if (object == nullptr || *object == nullptr) return 1;
  QlinkFreeFn free_fn = nullptr;
  {
    OptionalLock lock(load_lock_, link);
    free_fn = free_;
  }
  if (free_fn != nullptr) free_fn(object);
  *object = nullptr;
  OptionalLock lock(count_lock_, link);
  if (object_count_ > 0) --object_count_;
  return 1;
}

int LibBinding::LibraryUnload() {
  const bool link = table_.flavor == BindingFlavor::kLink;
  OptionalLock lock(load_lock_, link);
  {
    OptionalLock count(count_lock_, link);
    if (object_count_ > 0) return 0;
  }
  ReleaseLocked();
  return 1;
}

void LibBinding::StubCalled(int index) {
  const bool link = table_.flavor == BindingFlavor::kLink;
  const ApiFunction& f = table_.functions[index];
  std::string message;
  {
    OptionalLock lock(load_lock_, link);
    const std::string& reason = reasons_[static_cast<std::size_t>(index)];
    message = link ? std::string(f.name) + " could not be loaded from " + path_ + ": " + reason
                   : std::string(f.name) + " could not be loaded: " + reason;
  }
  bool end_process = false;
  {
    OptionalLock lock(stub_lock_, link);
    const int count = ++api_error_count_;
    if (screen_) {
      if (link)
        g_sink.load()(message);
      else
        WriteLineToStdout(message);
    }
    if (error_callback_ != nullptr && error_callback_(count, message.c_str()) != 0)
      end_process = true;
  }
  if (end_process || exit_) {
    std::fflush(nullptr);
    std::exit(kMissingFunctionExitCode);
  }
}

}  // namespace qlink
