// The LVX binding of qorallink: its table and typed wrappers over the slots.
#include "runtime/lvxdcdef.h"

namespace qlink::lvxbind {
extern LibBinding g_binding;
}  // namespace qlink::lvxbind

namespace qlink {

namespace {

using lvxbind::g_binding;

using OpenReadFn = int (*)(void*, const char*, int*);
using OpenWriteFn = int (*)(void*, const char*, const char*, int*);
using OpenWriteExFn = int (*)(void*, const char*, const char*, int, int*);
using IntFn = int (*)(void*);
using IntIntFn = int (*)(void*, int);
using DoublesOutFn = int (*)(void*, double*);
using DoublesInFn = int (*)(void*, const double*);
using FindSymbolFn = int (*)(void*, const char*, int*);
using SymbolInfoFn = int (*)(void*, int, char*, int*, int*);
using SymbolInfoXFn = int (*)(void*, int, int*, int*, char*);
using ReadRawStartFn = int (*)(void*, int, int*);
using ReadRawFn = int (*)(void*, int*, double*, int*);
using VoidIntFn = void (*)(void*, int);
using TextInFn = int (*)(void*, const char*);
using WriteRawStartFn = int (*)(void*, const char*, const char*, int, int, int);
using WriteRawFn = int (*)(void*, const int*, const double*);
using IntTextOutFn = int (*)(void*, int, char*);
using TwoIntsOutFn = int (*)(void*, int*, int*);
using TwoTextsOutFn = int (*)(void*, char*, char*);

enum : int {
  kOpenRead,
  kOpenWrite,
  kOpenWriteEx,
  kClose,
  kAutoConvert,
  kGetSpecialValues,
  kSetReadSpecialValues,
  kFindSymbol,
  kSymbolInfo,
  kSymbolInfoX,
  kDataReadRawStart,
  kDataReadRaw,
  kDataReadDone,
  kStoreDomainSetsSet,
  kUELRegisterRawStart,
  kUELRegisterRaw,
  kUELRegisterDone,
  kDataWriteRawStart,
  kDataWriteRaw,
  kDataWriteDone,
  kErrorCount,
  kGetLastError,
  kErrorStr,
  kSystemInfo,
  kUELGet,
  kFileVersion,
  kFunctionCount
};

constexpr int I = QLINK_SIG_INT, IO = QLINK_SIG_INT_OUT, SI = QLINK_SIG_STRING_IN,
              SO = QLINK_SIG_STRING_OUT, V = QLINK_SIG_VOID, IAI = QLINK_SIG_INT_ARRAY_IN,
              IAO = QLINK_SIG_INT_ARRAY_OUT, DAI = QLINK_SIG_DOUBLE_ARRAY_IN,
              DAO = QLINK_SIG_DOUBLE_ARRAY_OUT;

template <int Index, typename Fn>
ApiFunction Api(const char* name, std::initializer_list<int> types) {
  return MakeApiFunction<g_binding, Index, Fn>(name, types);
}

const ApiFunction kFunctions[kFunctionCount] = {
    Api<kOpenRead, OpenReadFn>("lvxOpenRead", {I, SI, IO}),
    Api<kOpenWrite, OpenWriteFn>("lvxOpenWrite", {I, SI, SI, IO}),
    Api<kOpenWriteEx, OpenWriteExFn>("lvxOpenWriteEx", {I, SI, SI, I, IO}),
    Api<kClose, IntFn>("lvxClose", {I}),
    Api<kAutoConvert, IntIntFn>("lvxAutoConvert", {I, I}),
    Api<kGetSpecialValues, DoublesOutFn>("lvxGetSpecialValues", {I, DAO}),
    Api<kSetReadSpecialValues, DoublesInFn>("lvxSetReadSpecialValues", {I, DAI}),
    Api<kFindSymbol, FindSymbolFn>("lvxFindSymbol", {I, SI, IO}),
    Api<kSymbolInfo, SymbolInfoFn>("lvxSymbolInfo", {I, I, SO, IO, IO}),
    Api<kSymbolInfoX, SymbolInfoXFn>("lvxSymbolInfoX", {I, I, IO, IO, SO}),
    Api<kDataReadRawStart, ReadRawStartFn>("lvxDataReadRawStart", {I, I, IO}),
    Api<kDataReadRaw, ReadRawFn>("lvxDataReadRaw", {I, IAO, DAO, IO}),
    Api<kDataReadDone, IntFn>("lvxDataReadDone", {I}),
    Api<kStoreDomainSetsSet, VoidIntFn>("lvxStoreDomainSetsSet", {V, I}),
    Api<kUELRegisterRawStart, IntFn>("lvxUELRegisterRawStart", {I}),
    Api<kUELRegisterRaw, TextInFn>("lvxUELRegisterRaw", {I, SI}),
    Api<kUELRegisterDone, IntFn>("lvxUELRegisterDone", {I}),
    Api<kDataWriteRawStart, WriteRawStartFn>("lvxDataWriteRawStart", {I, SI, SI, I, I, I}),
    Api<kDataWriteRaw, WriteRawFn>("lvxDataWriteRaw", {I, IAI, DAI}),
    Api<kDataWriteDone, IntFn>("lvxDataWriteDone", {I}),
    Api<kErrorCount, IntFn>("lvxErrorCount", {I}),
    Api<kGetLastError, IntFn>("lvxGetLastError", {I}),
    Api<kErrorStr, IntTextOutFn>("lvxErrorStr", {I, I, SO}),
    Api<kSystemInfo, TwoIntsOutFn>("lvxSystemInfo", {I, IO, IO}),
    Api<kUELGet, IntTextOutFn>("lvxUELGet", {I, I, SO}),
    Api<kFileVersion, TwoTextsOutFn>("lvxFileVersion", {I, SO, SO}),
};

const BindingTable kTable = {
    .file_base = "lvxcclib",
    .create_entry = "XCreate",
    .create_d_entry = "D__XCreateD",
    .free_entry = "XFree",
    .check_entry = "D__XCheck",
    .version_entry = "D__XAPIVersion",
    .set_load_path_entry = "lvxSetLoadPath",
    .get_load_path_entry = "lvxGetLoadPath",
    .initialize_entry = "C__lvxInitialize",
    .finalize_entry = "C__lvxFinalize",
    .interface_version = kLvxInterfaceVersion,
    .string_prefix = "D__",
    .plain_prefix = "C__",
    .flavor = BindingFlavor::kLink,
    .load_from_program_directory = true,
    .pass_load_directory = true,
    .functions = kFunctions,
    .function_count = kFunctionCount,
};

template <typename Fn>
Fn Slot(int index) {
  return g_binding.Entry<Fn>(index);
}

}  // namespace

LibBinding lvxbind::g_binding(kTable);

LibBinding& LvxBinding() { return g_binding; }

bool lvx_library_load(std::string* msg) { return g_binding.LibraryLoad(msg); }
bool lvx_object_create(lvxHandle_t* object, std::string* msg) {
  return g_binding.ObjectCreate(object, msg);
}
int lvx_object_free(lvxHandle_t* object) { return g_binding.ObjectFree(object); }
int lvx_library_unload() { return g_binding.LibraryUnload(); }

int lvxOpenRead(lvxHandle_t p, const char* fileName, int* errNr) {
  return Slot<OpenReadFn>(kOpenRead)(p, fileName, errNr);
}
int lvxOpenWrite(lvxHandle_t p, const char* fileName, const char* producer, int* errNr) {
  return Slot<OpenWriteFn>(kOpenWrite)(p, fileName, producer, errNr);
}
int lvxOpenWriteEx(lvxHandle_t p, const char* fileName, const char* producer, int compress,
                   int* errNr) {
  return Slot<OpenWriteExFn>(kOpenWriteEx)(p, fileName, producer, compress, errNr);
}
int lvxClose(lvxHandle_t p) { return Slot<IntFn>(kClose)(p); }
int lvxAutoConvert(lvxHandle_t p, int value) { return Slot<IntIntFn>(kAutoConvert)(p, value); }
int lvxGetSpecialValues(lvxHandle_t p, double* values) {
  return Slot<DoublesOutFn>(kGetSpecialValues)(p, values);
}
int lvxSetReadSpecialValues(lvxHandle_t p, const double* values) {
  return Slot<DoublesInFn>(kSetReadSpecialValues)(p, values);
}
int lvxFindSymbol(lvxHandle_t p, const char* name, int* symNr) {
  return Slot<FindSymbolFn>(kFindSymbol)(p, name, symNr);
}
int lvxSymbolInfo(lvxHandle_t p, int symNr, char* name, int* dim, int* kind) {
  return Slot<SymbolInfoFn>(kSymbolInfo)(p, symNr, name, dim, kind);
}
int lvxSymbolInfoX(lvxHandle_t p, int symNr, int* recordCount, int* userInfo, char* text) {
  return Slot<SymbolInfoXFn>(kSymbolInfoX)(p, symNr, recordCount, userInfo, text);
}
int lvxDataReadRawStart(lvxHandle_t p, int symNr, int* recordCount) {
  return Slot<ReadRawStartFn>(kDataReadRawStart)(p, symNr, recordCount);
}
int lvxDataReadRaw(lvxHandle_t p, int* keys, double* values, int* firstChanged) {
  return Slot<ReadRawFn>(kDataReadRaw)(p, keys, values, firstChanged);
}
int lvxDataReadDone(lvxHandle_t p) { return Slot<IntFn>(kDataReadDone)(p); }
void lvxStoreDomainSetsSet(lvxHandle_t p, int value) {
  Slot<VoidIntFn>(kStoreDomainSetsSet)(p, value);
}
int lvxUELRegisterRawStart(lvxHandle_t p) { return Slot<IntFn>(kUELRegisterRawStart)(p); }
int lvxUELRegisterRaw(lvxHandle_t p, const char* label) {
  return Slot<TextInFn>(kUELRegisterRaw)(p, label);
}
int lvxUELRegisterDone(lvxHandle_t p) { return Slot<IntFn>(kUELRegisterDone)(p); }
int lvxDataWriteRawStart(lvxHandle_t p, const char* name, const char* text, int dim, int kind,
                         int userInfo) {
  return Slot<WriteRawStartFn>(kDataWriteRawStart)(p, name, text, dim, kind, userInfo);
}
int lvxDataWriteRaw(lvxHandle_t p, const int* keys, const double* values) {
  return Slot<WriteRawFn>(kDataWriteRaw)(p, keys, values);
}
int lvxDataWriteDone(lvxHandle_t p) { return Slot<IntFn>(kDataWriteDone)(p); }
int lvxErrorCount(lvxHandle_t p) { return Slot<IntFn>(kErrorCount)(p); }
int lvxGetLastError(lvxHandle_t p) { return Slot<IntFn>(kGetLastError)(p); }
int lvxErrorStr(lvxHandle_t p, int errNr, char* text) {
  return Slot<IntTextOutFn>(kErrorStr)(p, errNr, text);
}
int lvxSystemInfo(lvxHandle_t p, int* symbolCount, int* labelCount) {
  return Slot<TwoIntsOutFn>(kSystemInfo)(p, symbolCount, labelCount);
}
int lvxUELGet(lvxHandle_t p, int labelNr, char* label) {
  return Slot<IntTextOutFn>(kUELGet)(p, labelNr, label);
}
int lvxFileVersion(lvxHandle_t p, char* fileVersion, char* producer) {
  return Slot<TwoTextsOutFn>(kFileVersion)(p, fileVersion, producer);
}

std::string TLvxObject::LastErrorText() const {
  if (get() == nullptr) return {};
  const int code = lvxGetLastError(get());
  if (code == 0) return {};
  char text[QLINK_STRING_BUFSIZE] = {};
  lvxErrorStr(get(), code, text);
  text[QLINK_STRING_BUFSIZE - 1] = '\0';
  return text;
}

}  // namespace qlink
