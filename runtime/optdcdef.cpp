// The option-library binding of qorallink: its table and typed wrappers over the slots.
#include "runtime/optdcdef.h"

namespace qlink::optbind {
extern LibBinding g_binding;
}  // namespace qlink::optbind

namespace qlink {

namespace {

using optbind::g_binding;

using TextInFn = int (*)(void*, const char*);
using VoidIntFn = void (*)(void*, int);
using IntFn = int (*)(void*);
using VoidFn = void (*)(void*);
using GetMessageFn = void (*)(void*, int, char*, int*);
using GetInfoFn = int (*)(void*, int, int*, int*, int*);
using IntIntFn = int (*)(void*, int);
using DblIntFn = double (*)(void*, int);
using VoidIntTextOutFn = void (*)(void*, int, char*);
using SetIntFn = int (*)(void*, int, int);
using SetDblFn = int (*)(void*, int, double);
using SetStrFn = int (*)(void*, int, const char*);
using IntTextOutFn = int (*)(void*, int, char*);
using ReadFromListFn = int (*)(void*, const char*, int, char*);
using GetDotOptFn = int (*)(void*, int, char*, int*, int*, double*);
using GetDotOptUelFn = int (*)(void*, int, int, char*);

enum : int {
  kReadDefinition,
  kReadParameterFile,
  kEchoSet,
  kEOLOnlySet,
  kMessageCount,
  kGetMessage,
  kClearMessages,
  kGetInfoNr,
  kGetDefinedNr,
  kGetIntNr,
  kGetDblNr,
  kGetStrNr,
  kSetIntNr,
  kSetDblNr,
  kSetStrNr,
  kGetNameNr,
  kResetNr,
  kGetOptGroupNr,
  kGetGroupGrpNr,
  kListCountStr,
  kReadFromListStr,
  kDotOptCount,
  kGetDotOptNr,
  kGetDotOptUel,
  kFunctionCount
};

constexpr int I = QLINK_SIG_INT, IO = QLINK_SIG_INT_OUT, D = QLINK_SIG_DOUBLE,
              DO = QLINK_SIG_DOUBLE_OUT, SI = QLINK_SIG_STRING_IN, SO = QLINK_SIG_STRING_OUT,
              V = QLINK_SIG_VOID;

template <int Index, typename Fn>
ApiFunction Api(const char* name, std::initializer_list<int> types) {
  return MakeApiFunction<g_binding, Index, Fn>(name, types);
}

const ApiFunction kFunctions[kFunctionCount] = {
    Api<kReadDefinition, TextInFn>("optReadDefinition", {I, SI}),
    Api<kReadParameterFile, TextInFn>("optReadParameterFile", {I, SI}),
    Api<kEchoSet, VoidIntFn>("optEchoSet", {V, I}),
    Api<kEOLOnlySet, VoidIntFn>("optEOLOnlySet", {V, I}),
    Api<kMessageCount, IntFn>("optMessageCount", {I}),
    Api<kGetMessage, GetMessageFn>("optGetMessage", {V, I, SO, IO}),
    Api<kClearMessages, VoidFn>("optClearMessages", {V}),
    Api<kGetInfoNr, GetInfoFn>("optGetInfoNr", {I, I, IO, IO, IO}),
    Api<kGetDefinedNr, IntIntFn>("optGetDefinedNr", {I, I}),
    Api<kGetIntNr, IntIntFn>("optGetIntNr", {I, I}),
    Api<kGetDblNr, DblIntFn>("optGetDblNr", {D, I}),
    Api<kGetStrNr, VoidIntTextOutFn>("optGetStrNr", {V, I, SO}),
    Api<kSetIntNr, SetIntFn>("optSetIntNr", {I, I, I}),
    Api<kSetDblNr, SetDblFn>("optSetDblNr", {I, I, D}),
    Api<kSetStrNr, SetStrFn>("optSetStrNr", {I, I, SI}),
    Api<kGetNameNr, IntTextOutFn>("optGetNameNr", {I, I, SO}),
    Api<kResetNr, IntIntFn>("optResetNr", {I, I}),
    Api<kGetOptGroupNr, IntIntFn>("optGetOptGroupNr", {I, I}),
    Api<kGetGroupGrpNr, IntIntFn>("optGetGroupGrpNr", {I, I}),
    Api<kListCountStr, TextInFn>("optListCountStr", {I, SI}),
    Api<kReadFromListStr, ReadFromListFn>("optReadFromListStr", {I, SI, I, SO}),
    Api<kDotOptCount, IntFn>("optDotOptCount", {I}),
    Api<kGetDotOptNr, GetDotOptFn>("optGetDotOptNr", {I, I, SO, IO, IO, DO}),
    Api<kGetDotOptUel, GetDotOptUelFn>("optGetDotOptUel", {I, I, I, SO}),
};

const BindingTable kTable = {
    .file_base = "lvoptlib",
    .create_entry = "XCreate",
    .create_d_entry = nullptr,
    .free_entry = "XFree",
    .check_entry = "XCheck",
    .version_entry = "XAPIVersion",
    .set_load_path_entry = "optSetLoadPath",
    .get_load_path_entry = "optGetLoadPath",
    .initialize_entry = "optInitialize",
    .finalize_entry = "optFinalize",
    .interface_version = kOptInterfaceVersion,
    .string_prefix = "",
    .plain_prefix = "",
    .flavor = BindingFlavor::kLink,
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

LibBinding optbind::g_binding(kTable);

LibBinding& OptBinding() { return g_binding; }

bool opt_library_load(std::string* msg) { return g_binding.LibraryLoad(msg); }
bool opt_object_create(optHandle_t* object, std::string* msg) { return g_binding.ObjectCreate(object, msg); }
int opt_object_free(optHandle_t* object) { return g_binding.ObjectFree(object); }
int opt_library_unload() { return g_binding.LibraryUnload(); }

int optReadDefinition(optHandle_t p, const char* fileName) {
  return Slot<TextInFn>(kReadDefinition)(p, fileName);
}
int optReadParameterFile(optHandle_t p, const char* fileName) {
  return Slot<TextInFn>(kReadParameterFile)(p, fileName);
}
void optEchoSet(optHandle_t p, int on) { Slot<VoidIntFn>(kEchoSet)(p, on); }
void optEOLOnlySet(optHandle_t p, int on) { Slot<VoidIntFn>(kEOLOnlySet)(p, on); }
int optMessageCount(optHandle_t p) { return Slot<IntFn>(kMessageCount)(p); }
void optGetMessage(optHandle_t p, int nr, char* msg, int* kind) {
  Slot<GetMessageFn>(kGetMessage)(p, nr, msg, kind);
}
void optClearMessages(optHandle_t p) { Slot<VoidFn>(kClearMessages)(p); }
int optGetInfoNr(optHandle_t p, int nr, int* defined, int* dataType, int* optType) {
  return Slot<GetInfoFn>(kGetInfoNr)(p, nr, defined, dataType, optType);
}
int optGetDefinedNr(optHandle_t p, int nr) { return Slot<IntIntFn>(kGetDefinedNr)(p, nr); }
int optGetIntNr(optHandle_t p, int nr) { return Slot<IntIntFn>(kGetIntNr)(p, nr); }
double optGetDblNr(optHandle_t p, int nr) { return Slot<DblIntFn>(kGetDblNr)(p, nr); }
void optGetStrNr(optHandle_t p, int nr, char* value) { Slot<VoidIntTextOutFn>(kGetStrNr)(p, nr, value); }
int optSetIntNr(optHandle_t p, int nr, int value) { return Slot<SetIntFn>(kSetIntNr)(p, nr, value); }
int optSetDblNr(optHandle_t p, int nr, double value) { return Slot<SetDblFn>(kSetDblNr)(p, nr, value); }
int optSetStrNr(optHandle_t p, int nr, const char* value) { return Slot<SetStrFn>(kSetStrNr)(p, nr, value); }
int optGetNameNr(optHandle_t p, int nr, char* name) { return Slot<IntTextOutFn>(kGetNameNr)(p, nr, name); }
int optResetNr(optHandle_t p, int nr) { return Slot<IntIntFn>(kResetNr)(p, nr); }
int optGetOptGroupNr(optHandle_t p, int nr) { return Slot<IntIntFn>(kGetOptGroupNr)(p, nr); }
int optGetGroupGrpNr(optHandle_t p, int group) { return Slot<IntIntFn>(kGetGroupGrpNr)(p, group); }
int optListCountStr(optHandle_t p, const char* name) { return Slot<TextInFn>(kListCountStr)(p, name); }
int optReadFromListStr(optHandle_t p, const char* name, int k, char* value) {
  return Slot<ReadFromListFn>(kReadFromListStr)(p, name, k, value);
}
int optDotOptCount(optHandle_t p) { return Slot<IntFn>(kDotOptCount)(p); }
int optGetDotOptNr(optHandle_t p, int k, char* symbol, int* optNr, int* labelCount, double* value) {
  return Slot<GetDotOptFn>(kGetDotOptNr)(p, k, symbol, optNr, labelCount, value);
}
int optGetDotOptUel(optHandle_t p, int k, int pos, char* label) {
  return Slot<GetDotOptUelFn>(kGetDotOptUel)(p, k, pos, label);
}

}  // namespace qlink
