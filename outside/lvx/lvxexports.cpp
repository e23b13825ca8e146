// The exported C entries of the data-exchange library liblvxcclib64.so: object create and free,
// the check and version entries, the load path, and the API functions under their "C__" and
// "D__" names ("D__" for functions with string parameters). No exception leaves an entry.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "outside/lvx/lvxfile.h"
#include "runtime/apisig.h"

namespace {

using qlink::lvxlib::LvxFile;

constexpr int kInterfaceVersion = 11;

std::string g_load_path;

LvxFile* Obj(void* p) { return static_cast<LvxFile*>(p); }

// Copies text into a caller's buffer of QLINK_STRING_BUFSIZE characters.
void CopyOut(char* out, const std::string& text, int size = QLINK_STRING_BUFSIZE) {
  if (out == nullptr || size <= 0) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// Runs an entry's body; an exception (out of memory) yields `fallback`.
template <typename F>
auto Guard(int fallback, F&& body) -> int {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

// The published signatures: result code first, then the parameter codes (the object is implied).
struct Signature {
  const char* name;
  int count;
  int types[QLINK_MAX_API_PARAMS + 1];
};

constexpr int I = QLINK_SIG_INT, IO = QLINK_SIG_INT_OUT, SI = QLINK_SIG_STRING_IN,
              SO = QLINK_SIG_STRING_OUT, V = QLINK_SIG_VOID, IAI = QLINK_SIG_INT_ARRAY_IN,
              IAO = QLINK_SIG_INT_ARRAY_OUT, DAI = QLINK_SIG_DOUBLE_ARRAY_IN,
              DAO = QLINK_SIG_DOUBLE_ARRAY_OUT;

constexpr Signature kSignatures[] = {
    {"lvxOpenRead", 2, {I, SI, IO}},
    {"lvxOpenWrite", 3, {I, SI, SI, IO}},
    {"lvxOpenWriteEx", 4, {I, SI, SI, I, IO}},
    {"lvxClose", 0, {I}},
    {"lvxAutoConvert", 1, {I, I}},
    {"lvxGetSpecialValues", 1, {I, DAO}},
    {"lvxSetReadSpecialValues", 1, {I, DAI}},
    {"lvxFindSymbol", 2, {I, SI, IO}},
    {"lvxSymbolInfo", 4, {I, I, SO, IO, IO}},
    {"lvxSymbolInfoX", 4, {I, I, IO, IO, SO}},
    {"lvxDataReadRawStart", 2, {I, I, IO}},
    {"lvxDataReadRaw", 3, {I, IAO, DAO, IO}},
    {"lvxDataReadDone", 0, {I}},
    {"lvxStoreDomainSetsSet", 1, {V, I}},
    {"lvxUELRegisterRawStart", 0, {I}},
    {"lvxUELRegisterRaw", 1, {I, SI}},
    {"lvxUELRegisterDone", 0, {I}},
    {"lvxDataWriteRawStart", 5, {I, SI, SI, I, I, I}},
    {"lvxDataWriteRaw", 2, {I, IAI, DAI}},
    {"lvxDataWriteDone", 0, {I}},
    {"lvxErrorCount", 0, {I}},
    {"lvxGetLastError", 0, {I}},
    {"lvxErrorStr", 2, {I, I, SO}},
    {"lvxSystemInfo", 2, {I, IO, IO}},
    {"lvxUELGet", 2, {I, I, SO}},
    {"lvxFileVersion", 2, {I, SO, SO}},
};

}  // namespace

#define LVX_EXPORT extern "C" __attribute__((visibility("default")))

LVX_EXPORT void XCreate(void** object) {
  if (object == nullptr) return;
  *object = new (std::nothrow) LvxFile();
}

LVX_EXPORT int D__XCreateD(void** object, const char* dir, char* msg, int msg_len) {
  if (object == nullptr) return 0;
  if (dir != nullptr) g_load_path = dir;
  *object = new (std::nothrow) LvxFile();
  if (*object == nullptr) CopyOut(msg, "Out of memory creating an LVX object", msg_len);
  return *object != nullptr ? 1 : 0;
}

LVX_EXPORT void XFree(void** object) {
  if (object == nullptr) return;
  delete Obj(*object);
  *object = nullptr;
}

LVX_EXPORT int D__XAPIVersion(int api, char* msg, int msg_len) {
  if (api == kInterfaceVersion) {
    CopyOut(msg, "", msg_len);
    return 1;
  }
  CopyOut(msg,
          "LVX library serves interface version " + std::to_string(kInterfaceVersion) +
              ", the caller asked for version " + std::to_string(api),
          msg_len);
  return 0;
}

LVX_EXPORT int D__XCheck(const char* name, int count, const int* types, char* msg, int msg_len) {
  return Guard(0, [&] {
    const std::string wanted = name != nullptr ? name : "";
    for (const Signature& s : kSignatures) {
      if (wanted != s.name) continue;
      bool same = count == s.count && types != nullptr;
      for (int k = 0; same && k <= count; ++k) same = types[k] == s.types[k];
      if (same) return 1;
      CopyOut(msg, "the LVX library has " + wanted + " with a different signature", msg_len);
      return 0;
    }
    CopyOut(msg, "the LVX library does not provide " + wanted, msg_len);
    return 0;
  });
}

LVX_EXPORT void lvxSetLoadPath(const char* path) {
  try {
    g_load_path = path != nullptr ? path : "";
  } catch (...) {
  }
}

LVX_EXPORT void lvxGetLoadPath(char* buffer, int buffer_len) {
  try {
    CopyOut(buffer, g_load_path, buffer_len);
  } catch (...) {
  }
}

LVX_EXPORT void C__lvxInitialize() {}
LVX_EXPORT void C__lvxFinalize() {}

LVX_EXPORT int D__lvxOpenRead(void* p, const char* file_name, int* err) {
  return Guard(0, [&] { return Obj(p)->OpenRead(file_name, err) ? 1 : 0; });
}

LVX_EXPORT int D__lvxOpenWrite(void* p, const char* file_name, const char* producer, int* err) {
  return Guard(0, [&] { return Obj(p)->OpenWrite(file_name, producer, false, err) ? 1 : 0; });
}

LVX_EXPORT int D__lvxOpenWriteEx(void* p, const char* file_name, const char* producer,
                                 int compress, int* err) {
  return Guard(0,
               [&] { return Obj(p)->OpenWrite(file_name, producer, compress != 0, err) ? 1 : 0; });
}

LVX_EXPORT int C__lvxClose(void* p) {
  return Guard(qlink::lvxlib::kErrWrite, [&] { return Obj(p)->Close(); });
}

LVX_EXPORT int C__lvxAutoConvert(void* p, int value) { return Obj(p)->AutoConvert(value); }

LVX_EXPORT int C__lvxGetSpecialValues(void* p, double* values) {
  Obj(p)->GetSpecialValues(values);
  return 1;
}

LVX_EXPORT int C__lvxSetReadSpecialValues(void* p, const double* values) {
  return Obj(p)->SetReadSpecialValues(values) ? 1 : 0;
}

LVX_EXPORT int D__lvxFindSymbol(void* p, const char* name, int* number) {
  return Guard(0, [&] { return Obj(p)->FindSymbol(name != nullptr ? name : "", number) ? 1 : 0; });
}

LVX_EXPORT int D__lvxSymbolInfo(void* p, int number, char* name, int* dim, int* kind) {
  return Guard(0, [&] {
    std::string text;
    const bool ok = Obj(p)->SymbolInfo(number, &text, dim, kind);
    CopyOut(name, text);
    return ok ? 1 : 0;
  });
}

LVX_EXPORT int D__lvxSymbolInfoX(void* p, int number, int* records, int* user_info, char* text) {
  return Guard(0, [&] {
    std::string s;
    const bool ok = Obj(p)->SymbolInfoX(number, records, user_info, &s);
    CopyOut(text, s);
    return ok ? 1 : 0;
  });
}

LVX_EXPORT int C__lvxDataReadRawStart(void* p, int number, int* records) {
  return Guard(0, [&] { return Obj(p)->DataReadRawStart(number, records) ? 1 : 0; });
}

LVX_EXPORT int C__lvxDataReadRaw(void* p, int* keys, double* values, int* first_changed) {
  return Guard(0, [&] { return Obj(p)->DataReadRaw(keys, values, first_changed) ? 1 : 0; });
}

LVX_EXPORT int C__lvxDataReadDone(void* p) {
  return Guard(0, [&] { return Obj(p)->DataReadDone() ? 1 : 0; });
}

LVX_EXPORT void C__lvxStoreDomainSetsSet(void* p, int value) { Obj(p)->StoreDomainSets(value); }

LVX_EXPORT int C__lvxUELRegisterRawStart(void* p) {
  return Guard(0, [&] { return Obj(p)->LabelRegisterRawStart() ? 1 : 0; });
}

LVX_EXPORT int D__lvxUELRegisterRaw(void* p, const char* label) {
  return Guard(0, [&] { return Obj(p)->LabelRegisterRaw(label) ? 1 : 0; });
}

LVX_EXPORT int C__lvxUELRegisterDone(void* p) {
  return Guard(0, [&] { return Obj(p)->LabelRegisterDone() ? 1 : 0; });
}

LVX_EXPORT int D__lvxDataWriteRawStart(void* p, const char* name, const char* text, int dim,
                                       int kind, int user_info) {
  return Guard(0,
               [&] { return Obj(p)->DataWriteRawStart(name, text, dim, kind, user_info) ? 1 : 0; });
}

LVX_EXPORT int C__lvxDataWriteRaw(void* p, const int* keys, const double* values) {
  return Guard(0, [&] { return Obj(p)->DataWriteRaw(keys, values) ? 1 : 0; });
}

LVX_EXPORT int C__lvxDataWriteDone(void* p) {
  return Guard(0, [&] { return Obj(p)->DataWriteDone() ? 1 : 0; });
}

LVX_EXPORT int C__lvxErrorCount(void* p) { return Obj(p)->ErrorCount(); }

LVX_EXPORT int C__lvxGetLastError(void* p) { return Obj(p)->LastError(); }

LVX_EXPORT int D__lvxErrorStr(void* p, int code, char* text) {
  return Guard(0, [&] {
    CopyOut(text, p != nullptr ? Obj(p)->ErrorText(code) : qlink::lvxlib::ErrorCodeText(code));
    return 1;
  });
}

LVX_EXPORT int C__lvxSystemInfo(void* p, int* symbols, int* labels) {
  return Obj(p)->SystemInfo(symbols, labels) ? 1 : 0;
}

LVX_EXPORT int D__lvxUELGet(void* p, int number, char* label) {
  return Guard(0, [&] {
    std::string s;
    const bool ok = Obj(p)->LabelGet(number, &s);
    CopyOut(label, s);
    return ok ? 1 : 0;
  });
}

LVX_EXPORT int D__lvxFileVersion(void* p, char* version, char* producer) {
  return Guard(0, [&] {
    std::string v, prod;
    const bool ok = Obj(p)->FileVersion(&v, &prod);
    CopyOut(version, v);
    CopyOut(producer, prod);
    return ok ? 1 : 0;
  });
}
