// The option-library binding of qoralsubs64: the bridge's entry names, no locks.
#include "runtime/optdcdef_bridge.h"

namespace qlink::bridgeopt {

extern LibBinding g_binding;

namespace {

using TextInFn = int (*)(void*, const char*);
using VoidIntFn = void (*)(void*, int);
using VoidFn = void (*)(void*);
using TextInTextOutFn = void (*)(void*, const char*, char*);
using GetNameOptFn = int (*)(void*, const char*, char*, int*);

enum : int {
  kReadDefinition,
  kEOLOnlySet,
  kEchoSet,
  kReadParameterFile,
  kClearMessages,
  kGetDefinedStr,
  kGetStrStr,
  kGetNameOpt,
  kGetIntStr,
  kFunctionCount
};

constexpr int I = QLINK_SIG_INT, IO = QLINK_SIG_INT_OUT, SI = QLINK_SIG_STRING_IN,
              SO = QLINK_SIG_STRING_OUT, V = QLINK_SIG_VOID;

template <int Index, typename Fn>
ApiFunction Api(const char* name, std::initializer_list<int> types) {
  return MakeApiFunction<g_binding, Index, Fn>(name, types);
}

const ApiFunction kFunctions[kFunctionCount] = {
    Api<kReadDefinition, TextInFn>("optReadDefinition", {I, SI}),
    Api<kEOLOnlySet, VoidIntFn>("optEOLOnlySet", {V, I}),
    Api<kEchoSet, VoidIntFn>("optEchoSet", {V, I}),
    Api<kReadParameterFile, TextInFn>("optReadParameterFile", {I, SI}),
    Api<kClearMessages, VoidFn>("optClearMessages", {V}),
    Api<kGetDefinedStr, TextInFn>("optGetDefinedStr", {I, SI}),
    Api<kGetStrStr, TextInTextOutFn>("optGetStrStr", {V, SI, SO}),
    Api<kGetNameOpt, GetNameOptFn>("optGetNameOpt", {I, SI, SO, IO}),
    Api<kGetIntStr, TextInFn>("optGetIntStr", {I, SI}),
};

const BindingTable kTable = {
    .file_base = "lvoptlib",
    .create_entry = "XCreate",
    .create_d_entry = nullptr,
    .free_entry = "XFree",
    .check_entry = "CXCheck",
    .version_entry = "CXAPIVersion",
    .set_load_path_entry = "CoptSetLoadPath",
    .get_load_path_entry = "CoptGetLoadPath",
    .initialize_entry = nullptr,
    .finalize_entry = nullptr,
    .interface_version = 4,
    .string_prefix = "C",
    .plain_prefix = "",
    .flavor = BindingFlavor::kBridge,
    .load_from_program_directory = false,
    .pass_load_directory = false,
    .functions = kFunctions,
    .function_count = kFunctionCount,
};

template <typename Fn>
Fn Slot(int index) {
  return g_binding.Entry<Fn>(index);
}

}  // namespace

LibBinding g_binding(kTable);

LibBinding& OptBinding() { return g_binding; }

bool opt_library_load(std::string* msg) { return g_binding.LibraryLoad(msg); }
bool opt_object_create(optHandle_t* object, std::string* msg) { return g_binding.ObjectCreate(object, msg); }
int opt_object_free(optHandle_t* object) { return g_binding.ObjectFree(object); }
int opt_library_unload() { return g_binding.LibraryUnload(); }

int optReadDefinition(optHandle_t p, const char* fileName) {
  return Slot<TextInFn>(kReadDefinition)(p, fileName);
}
void optEOLOnlySet(optHandle_t p, int on) { Slot<VoidIntFn>(kEOLOnlySet)(p, on); }
void optEchoSet(optHandle_t p, int on) { Slot<VoidIntFn>(kEchoSet)(p, on); }
int optReadParameterFile(optHandle_t p, const char* fileName) {
  return Slot<TextInFn>(kReadParameterFile)(p, fileName);
}
void optClearMessages(optHandle_t p) { Slot<VoidFn>(kClearMessages)(p); }
int optGetDefinedStr(optHandle_t p, const char* name) { return Slot<TextInFn>(kGetDefinedStr)(p, name); }
void optGetStrStr(optHandle_t p, const char* name, char* value) {
  Slot<TextInTextOutFn>(kGetStrStr)(p, name, value);
}
int optGetIntStr(optHandle_t p, const char* name) { return Slot<TextInFn>(kGetIntStr)(p, name); }
int optGetNameOpt(optHandle_t p, const char* value, char* name, int* optFileNr) {
  return Slot<GetNameOptFn>(kGetNameOpt)(p, value, name, optFileNr);
}

}  // namespace qlink::bridgeopt
