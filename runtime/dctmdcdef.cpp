// The dictionary-library binding of qorallink: its table and typed wrappers over the slots.
#include "runtime/dctmdcdef.h"

namespace qlink::dctbind {
extern LibBinding g_binding;
}  // namespace qlink::dctbind

namespace qlink {

namespace {

using dctbind::g_binding;

using LoadFn = int (*)(void*, const char*, char*);
using IntFn = int (*)(void*);
using TextInFn = int (*)(void*, const char*);
using IntIntFn = int (*)(void*, int);
using IntTextOutFn = int (*)(void*, int, char*);
using UelLabelFn = int (*)(void*, int, int*, char*);
using TupleFn = int (*)(void*, int, int*, int*, int*);
using FindFirstFn = void* (*)(void*, int, const int*, int*);
using FindNextFn = int (*)(void*, void*, int*);
using FindCloseFn = void (*)(void*, void*);

enum : int {
  kLoadEx,
  kNUels,
  kSymIndex,
  kSymDim,
  kSymType,
  kSymName,
  kSymText,
  kUelIndex,
  kUelLabel,
  kRowUels,
  kColUels,
  kFindFirstRowCol,
  kFindNextRowCol,
  kFindClose,
  kFunctionCount
};

constexpr int I = QLINK_SIG_INT, IO = QLINK_SIG_INT_OUT, SI = QLINK_SIG_STRING_IN,
              SO = QLINK_SIG_STRING_OUT, V = QLINK_SIG_VOID, P = QLINK_SIG_POINTER,
              IAI = QLINK_SIG_INT_ARRAY_IN, IAO = QLINK_SIG_INT_ARRAY_OUT;

template <int Index, typename Fn>
ApiFunction Api(const char* name, std::initializer_list<int> types) {
  return MakeApiFunction<g_binding, Index, Fn>(name, types);
}

const ApiFunction kFunctions[kFunctionCount] = {
    Api<kLoadEx, LoadFn>("dctLoadEx", {I, SI, SO}),
    Api<kNUels, IntFn>("dctNUels", {I}),
    Api<kSymIndex, TextInFn>("dctSymIndex", {I, SI}),
    Api<kSymDim, IntIntFn>("dctSymDim", {I, I}),
    Api<kSymType, IntIntFn>("dctSymType", {I, I}),
    Api<kSymName, IntTextOutFn>("dctSymName", {I, I, SO}),
    Api<kSymText, IntTextOutFn>("dctSymText", {I, I, SO}),
    Api<kUelIndex, TextInFn>("dctUelIndex", {I, SI}),
    Api<kUelLabel, UelLabelFn>("dctUelLabel", {I, I, IO, SO}),
    Api<kRowUels, TupleFn>("dctRowUels", {I, I, IO, IAO, IO}),
    Api<kColUels, TupleFn>("dctColUels", {I, I, IO, IAO, IO}),
    Api<kFindFirstRowCol, FindFirstFn>("dctFindFirstRowCol", {P, I, IAI, IO}),
    Api<kFindNextRowCol, FindNextFn>("dctFindNextRowCol", {I, P, IO}),
    Api<kFindClose, FindCloseFn>("dctFindClose", {V, P}),
};

const BindingTable kTable = {
    .file_base = "lvdctlib",
    .create_entry = "dctXCreate",
    .create_d_entry = "dctXCreateD",
    .free_entry = "dctXFree",
    .check_entry = "dctXCheck",
    .version_entry = "dctXAPIVersion",
    .set_load_path_entry = nullptr,
    .get_load_path_entry = nullptr,
    .initialize_entry = "dctInitialize",
    .finalize_entry = "dctFinalize",
    .interface_version = kDctInterfaceVersion,
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

LibBinding dctbind::g_binding(kTable);

LibBinding& DctBinding() { return g_binding; }

bool dct_library_load(std::string* msg) { return g_binding.LibraryLoad(msg); }
bool dct_object_create(dctHandle_t* object, std::string* msg) { return g_binding.ObjectCreate(object, msg); }
int dct_object_free(dctHandle_t* object) { return g_binding.ObjectFree(object); }
int dct_library_unload() { return g_binding.LibraryUnload(); }

int dctLoadEx(dctHandle_t p, const char* fileName, char* msg) { return Slot<LoadFn>(kLoadEx)(p, fileName, msg); }
int dctNUels(dctHandle_t p) { return Slot<IntFn>(kNUels)(p); }
int dctSymIndex(dctHandle_t p, const char* name) { return Slot<TextInFn>(kSymIndex)(p, name); }
int dctSymDim(dctHandle_t p, int sym) { return Slot<IntIntFn>(kSymDim)(p, sym); }
int dctSymType(dctHandle_t p, int sym) { return Slot<IntIntFn>(kSymType)(p, sym); }
int dctSymName(dctHandle_t p, int sym, char* name) { return Slot<IntTextOutFn>(kSymName)(p, sym, name); }
int dctSymText(dctHandle_t p, int sym, char* text) { return Slot<IntTextOutFn>(kSymText)(p, sym, text); }
int dctUelIndex(dctHandle_t p, const char* label) { return Slot<TextInFn>(kUelIndex)(p, label); }
int dctUelLabel(dctHandle_t p, int uel, int* quote, char* label) {
  return Slot<UelLabelFn>(kUelLabel)(p, uel, quote, label);
}
int dctRowUels(dctHandle_t p, int row, int* sym, int* uels, int* dim) {
  return Slot<TupleFn>(kRowUels)(p, row, sym, uels, dim);
}
int dctColUels(dctHandle_t p, int col, int* sym, int* uels, int* dim) {
  return Slot<TupleFn>(kColUels)(p, col, sym, uels, dim);
}
void* dctFindFirstRowCol(dctHandle_t p, int sym, const int* uels, int* rowcol) {
  return Slot<FindFirstFn>(kFindFirstRowCol)(p, sym, uels, rowcol);
}
int dctFindNextRowCol(dctHandle_t p, void* handle, int* rowcol) {
  return Slot<FindNextFn>(kFindNextRowCol)(p, handle, rowcol);
}
void dctFindClose(dctHandle_t p, void* handle) { Slot<FindCloseFn>(kFindClose)(p, handle); }

}  // namespace qlink
