// Binding of a modeling-system library at run time.
//
// A binding is described by a constant BindingTable: the file base name, the names of the
// mandatory and optional entries, the interface version, the entry-name rule, the flavour
// (link: locks and the link's message wording; bridge: no locks, the bridge's wording) and the
// list of API functions with their signatures and stubs. A LibBinding object holds the
// process-wide state of one binding: library path and handle, one slot per API function, the
// object count, the stub indicators and the locks.
//
// A binding module (for example lvxdcdef) is a table and thin typed wrappers. The binding
// object is declared first (the stubs refer to it) and defined after its table, so that the
// function list is built before the binding reads it:
//
//   namespace qlink::lvxbind { extern LibBinding g_binding; }
//   namespace {
//   using qlink::lvxbind::g_binding;
//   enum : int { kOpenRead, kClose, kCount };
//   using OpenReadFn = int (*)(void*, const char*, int*);
//   using CloseFn = int (*)(void*);
//   const qlink::ApiFunction kFunctions[kCount] = {
//       qlink::MakeApiFunction<g_binding, kOpenRead, OpenReadFn>(
//           "lvxOpenRead", {QLINK_SIG_INT, QLINK_SIG_STRING_IN, QLINK_SIG_INT_OUT}),
//       qlink::MakeApiFunction<g_binding, kClose, CloseFn>("lvxClose", {QLINK_SIG_INT}),
//   };
//   const qlink::BindingTable kTable = {.file_base = "lvxcclib", ..., .functions = kFunctions,
//                                       .function_count = kCount};
//   }  // namespace
//   qlink::LibBinding qlink::lvxbind::g_binding(kTable);
//
//   int lvxClose(void* p) { return g_binding.Entry<CloseFn>(kClose)(p); }
//
// The position of a function in the list must equal the index given to MakeApiFunction; the
// LibBinding constructor checks this and aborts on a mismatch.
#pragma once

#include <atomic>
#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "runtime/apisig.h"
#include "runtime/platform.h"

namespace qlink {

// Generic function pointer type of a slot. A slot always holds a pointer to a function of the
// API function's exact type, converted to ApiProc; Entry<Fn>() converts it back before the call.
using ApiProc = void (*)();

struct ApiFunction {
  const char* name = nullptr;  // API name without entry-name prefix, e.g. "lvxOpenRead"
  int param_count = 0;
  int types[QLINK_MAX_API_PARAMS + 1] = {};  // result code, then one code per parameter
  ApiProc stub = nullptr;      // a function of the API function's type that calls StubCalled
  int index = -1;              // position of this function in the binding's list
};

enum class BindingFlavor {
  kLink,    // qorallink: three locks, "Entry not found: ..." and "... could not be loaded from ..."
  kBridge,  // qoralsubs64: no locks, "Could not load symbol ..." and "... could not be loaded: ..."
};

struct BindingTable {
  const char* file_base = nullptr;        // e.g. "lvxcclib"; file name from the platform layer
  const char* create_entry = nullptr;     // mandatory, QlinkCreateFn
  const char* create_d_entry = nullptr;   // mandatory when not null, QlinkCreateDFn
  const char* free_entry = nullptr;       // mandatory, QlinkFreeFn
  const char* check_entry = nullptr;      // mandatory, QlinkCheckFn
  const char* version_entry = nullptr;    // mandatory, QlinkVersionFn
  const char* set_load_path_entry = nullptr;  // optional (null: none), QlinkSetLoadPathFn
  const char* get_load_path_entry = nullptr;  // optional, QlinkGetLoadPathFn
  const char* initialize_entry = nullptr;     // optional, QlinkInitializeFn
  const char* finalize_entry = nullptr;       // optional, QlinkFinalizeFn
  int interface_version = 0;
  // Entry-point name of an API function: string_prefix + name when the function has string
  // parameters (see apisig.h), else plain_prefix + name.
  const char* string_prefix = "";
  const char* plain_prefix = "";
  BindingFlavor flavor = BindingFlavor::kLink;
  // Load first from the directory of the running executable (or the directory set with
  // SetLoadDirectory), then by bare file name. Otherwise only by bare file name.
  bool load_from_program_directory = false;
  // After loading, pass the directory the library came from to the set-load-path entry.
  bool pass_load_directory = false;
  const ApiFunction* functions = nullptr;
  int function_count = 0;
};

// Where stub messages of link-flavoured bindings go: one line without line end. The default
// writes the line and a line feed to standard output and flushes it. qorallink points it at its
// log. Bridge-flavoured bindings always write to standard output.
using BindingMessageSink = void (*)(const std::string& line);
void SetBindingMessageSink(BindingMessageSink sink);  // null restores the default
BindingMessageSink GetBindingMessageSink();

// Error callback of a binding: (API error count, message) -> nonzero to end the process.
using BindingErrorCallback = int (*)(int error_count, const char* message);

// Exit code of a process that called a function the bound library lacks.
inline constexpr int kMissingFunctionExitCode = 123;

class LibBinding {
 public:
  explicit LibBinding(const BindingTable& table);
  LibBinding(const LibBinding&) = delete;
  LibBinding& operator=(const LibBinding&) = delete;
  ~LibBinding() = default;  // a library still loaded at process end is left to the system

  // Library load: loads and binds unless already loaded. On failure returns false with the
  // reason in *msg (at most 255 characters).
  bool LibraryLoad(std::string* msg);
  // Object create: loads if needed, then calls the create entry. True with a non-null *object;
  // false with a null *object and the reason in *msg.
  bool ObjectCreate(void** object, std::string* msg);
  // Object free: calls the free entry with object, sets *object to null and counts the object
  // off. Returns 1. A null *object is left alone.
  int ObjectFree(void** object);
  // Library unload: 0 (and nothing done) while objects are alive; else releases the library if
  // loaded and returns 1.
  int LibraryUnload();

  bool IsLoaded() const;
  int ObjectCount() const;
  // The file name or full path last used for loading.
  std::string LibraryPath() const;
  // Directory tried first by load_from_program_directory bindings instead of the program's
  // own (ending in a separator, or empty for bare file name only). Tests use it.
  void SetLoadDirectory(const std::string& dir);

  // Slot of API function `index`, as its own function type. Never null: before loading, after
  // unloading and for functions the library lacks, it is the stub.
  template <typename Fn>
  Fn Entry(int index) const {
    static_assert(std::is_pointer_v<Fn> && std::is_function_v<std::remove_pointer_t<Fn>>);
    return reinterpret_cast<Fn>(slots_[static_cast<std::size_t>(index)]);
  }
  // Whether the slot of `index` holds the library's entry (not the stub).
  bool IsBound(int index) const;

  // Stub indicators (initially set, set, none).
  void SetScreenIndicator(bool on) { screen_ = on; }
  void SetExitIndicator(bool on) { exit_ = on; }
  void SetErrorCallback(BindingErrorCallback cb) { error_callback_ = cb; }
  int ApiErrorCount() const { return api_error_count_; }

  // Called by the stub of API function `index`: message, count, and the ending rules.
  void StubCalled(int index);

  const BindingTable& Table() const { return table_; }

 private:
  bool LoadLocked(std::string* msg);
  bool TryOpen(const std::string& path, std::string* error);
  bool ResolveAndBind(std::string* msg);
  void ResetSlots(const char* reason);
  void ReleaseLocked();

  const BindingTable& table_;
  std::string path_;
  platform::LibraryHandle handle_ = nullptr;
  std::vector<ApiProc> slots_;
  std::vector<std::string> reasons_;  // why slot i holds its stub
  int object_count_ = 0;
  bool screen_ = true;
  bool exit_ = true;
  BindingErrorCallback error_callback_ = nullptr;
  std::atomic<int> api_error_count_{0};
  std::string load_directory_;
  bool load_directory_set_ = false;
  QlinkCreateFn create_ = nullptr;
  QlinkFreeFn free_ = nullptr;
  QlinkFinalizeFn finalize_ = nullptr;
  mutable std::mutex load_lock_;
  mutable std::mutex count_lock_;
  mutable std::mutex stub_lock_;
};

// The stub of API function I of binding B with function type Fn: reports through B and, when the
// process goes on, yields 0 (or nothing for a void function).
template <LibBinding& B, int I, typename Fn>
struct ApiStub;

template <LibBinding& B, int I, typename R, typename... A>
struct ApiStub<B, I, R (*)(A...)> {
  static R Call(A...) {
    B.StubCalled(I);
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

// An ApiFunction entry of a binding's list: name, signature codes (result first) and the stub.
template <LibBinding& B, int I, typename Fn>
ApiFunction MakeApiFunction(const char* name, std::initializer_list<int> types) {
  ApiFunction f;
  f.name = name;
  f.param_count = static_cast<int>(types.size()) - 1;
  int k = 0;
  for (int t : types) {
    if (k <= QLINK_MAX_API_PARAMS) f.types[k] = t;
    ++k;
  }
  f.stub = reinterpret_cast<ApiProc>(&ApiStub<B, I, Fn>::Call);
  f.index = I;
  return f;
}

// Whether a signature has string parameters (codes 11, 12, 13 among the parameters).
bool HasStringParameters(const ApiFunction& f);

// The entry-point name of f under the binding's rule.
std::string EntryPointName(const BindingTable& table, const ApiFunction& f);

// Owner of one object made through a binding's create operation; the object is freed through
// the binding's free operation when the owner goes out of scope.
template <bool (*CreateObject)(void**, std::string*), int (*FreeObject)(void**)>
class TBindingObject {
 public:
  TBindingObject() = default;
  ~TBindingObject() { Free(); }
  TBindingObject(const TBindingObject&) = delete;
  TBindingObject& operator=(const TBindingObject&) = delete;

  bool Create(std::string* msg) {
    Free();
    return CreateObject(&handle_, msg);
  }
  void Free() {
    if (handle_ != nullptr) FreeObject(&handle_);
  }
  void* get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

}  // namespace qlink
