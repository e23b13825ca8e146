// The C entries of the dictionary library (liblvdctlib64.so), interface version 2.
//
// Every API function takes the dictionary object first. Texts are null-terminated; text
// results go into caller buffers of QLINK_STRING_BUFSIZE characters. Symbols and labels count
// from 1, rows and columns from 0. Label tuples are arrays of kMaxDimension (20) entries.
#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "outside/dct/dctlib.h"
#include "outside/opt/apicheck.h"

#define QLINK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using qlink::dctlib::Dictionary;
using qlink::libapi::CopyOut;
using qlink::libapi::In;
using qlink::libapi::Sig;

constexpr int kInterfaceVersion = 2;
constexpr int kBuf = QLINK_STRING_BUFSIZE;

const qlink::libapi::Signature kApi[] = {
    Sig("dctLoadEx", {QLINK_SIG_INT, QLINK_SIG_STRING_IN, QLINK_SIG_STRING_OUT}),
    Sig("dctNUels", {QLINK_SIG_INT}),
    Sig("dctNRows", {QLINK_SIG_INT}),
    Sig("dctNCols", {QLINK_SIG_INT}),
    Sig("dctNSyms", {QLINK_SIG_INT}),
    Sig("dctSymIndex", {QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
    Sig("dctSymDim", {QLINK_SIG_INT, QLINK_SIG_INT}),
    Sig("dctSymType", {QLINK_SIG_INT, QLINK_SIG_INT}),
    Sig("dctSymName", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_STRING_OUT}),
    Sig("dctSymText", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_STRING_OUT}),
    Sig("dctUelIndex", {QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
    Sig("dctUelLabel", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT_OUT, QLINK_SIG_STRING_OUT}),
    Sig("dctRowUels", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT_OUT, QLINK_SIG_INT_ARRAY_OUT, QLINK_SIG_INT_OUT}),
    Sig("dctColUels", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT_OUT, QLINK_SIG_INT_ARRAY_OUT, QLINK_SIG_INT_OUT}),
    Sig("dctFindFirstRowCol", {QLINK_SIG_POINTER, QLINK_SIG_INT, QLINK_SIG_INT_ARRAY_IN, QLINK_SIG_INT_OUT}),
    Sig("dctFindNextRowCol", {QLINK_SIG_INT, QLINK_SIG_POINTER, QLINK_SIG_INT_OUT}),
    Sig("dctFindClose", {QLINK_SIG_VOID, QLINK_SIG_POINTER}),
};

// A dictionary object: the dictionary and the searches opened on it.
struct Object {
  Dictionary dict;
  std::vector<std::unique_ptr<Dictionary::Search>> searches;

  Dictionary::Search* Owned(void* h) {
    for (auto& s : searches)
      if (s.get() == h) return s.get();
    return nullptr;
  }
};


template <typename R, typename F>
R With(void* p, R fallback, F&& f) {
  return qlink::libapi::With<Object>(p, fallback, std::forward<F>(f));
}

int TupleOut(const Dictionary& d, bool rows, int pos, int* sym, int* uels, int* dim) {
  std::vector<int> t;
  int s = 0;
  const bool ok = rows ? d.RowUels(pos, &s, &t) : d.ColUels(pos, &s, &t);
  if (sym != nullptr) *sym = s;
  if (dim != nullptr) *dim = static_cast<int>(t.size());
  if (uels != nullptr) std::copy(t.begin(), t.end(), uels);
  return ok ? 0 : 1;
}

}  // namespace

QLINK_EXPORT void dctXCreate(void** object) {
  if (object == nullptr) return;
  *object = new (std::nothrow) Object();
}
QLINK_EXPORT int dctXCreateD(void** object, const char* dir, char* msg, int msg_len) {
  if (object == nullptr) return 0;
  (void)dir;  // everything the library needs is inside it
  *object = new (std::nothrow) Object();
  CopyOut(msg, msg_len, *object == nullptr ? "Out of memory" : "");
  return *object != nullptr ? 1 : 0;
}
QLINK_EXPORT void dctXFree(void** object) {
  if (object == nullptr) return;
  delete static_cast<Object*>(*object);
  *object = nullptr;
}
QLINK_EXPORT int dctXCheck(const char* name, int param_count, const int* types, char* msg, int msg_len) {
  return qlink::libapi::CheckSignature(kApi, name, param_count, types, msg, msg_len);
}
QLINK_EXPORT int dctXAPIVersion(int api, char* msg, int msg_len) {
  return qlink::libapi::AnswerVersion(kInterfaceVersion, api, msg, msg_len);
}

QLINK_EXPORT int dctLoadEx(void* p, const char* file, char* msg) {
  CopyOut(msg, kBuf, p == nullptr ? "No dictionary object" : "");
  return With(p, 1, [&](Object& o) {
    o.searches.clear();
    std::string why;
    if (o.dict.Load(std::string(In(file)), &why)) return 0;
    CopyOut(msg, kBuf, why);
    return 1;
  });
}
QLINK_EXPORT int dctNUels(void* p) { return With(p, 0, [](Object& o) { return o.dict.LabelCount(); }); }
QLINK_EXPORT int dctNRows(void* p) { return With(p, 0, [](Object& o) { return o.dict.RowCount(); }); }
QLINK_EXPORT int dctNCols(void* p) { return With(p, 0, [](Object& o) { return o.dict.ColumnCount(); }); }
QLINK_EXPORT int dctNSyms(void* p) { return With(p, 0, [](Object& o) { return o.dict.SymbolCount(); }); }
QLINK_EXPORT int dctSymIndex(void* p, const char* name) {
  return With(p, 0, [&](Object& o) { return o.dict.SymbolIndex(In(name)); });
}
QLINK_EXPORT int dctSymDim(void* p, int sym) {
  return With(p, -1, [&](Object& o) {
    const auto* s = o.dict.SymbolAt(sym);
    return s == nullptr ? -1 : s->dim;
  });
}
QLINK_EXPORT int dctSymType(void* p, int sym) {
  return With(p, -1, [&](Object& o) {
    const auto* s = o.dict.SymbolAt(sym);
    return s == nullptr ? -1 : s->type;
  });
}
QLINK_EXPORT int dctSymName(void* p, int sym, char* name) {
  CopyOut(name, kBuf, "");
  return With(p, 1, [&](Object& o) {
    const auto* s = o.dict.SymbolAt(sym);
    if (s == nullptr) return 1;
    CopyOut(name, kBuf, s->name);
    return 0;
  });
}
QLINK_EXPORT int dctSymText(void* p, int sym, char* text) {
  CopyOut(text, kBuf, "");
  return With(p, 1, [&](Object& o) {
    const auto* s = o.dict.SymbolAt(sym);
    if (s == nullptr) return 1;
    CopyOut(text, kBuf, s->text);
    return 0;
  });
}
QLINK_EXPORT int dctUelIndex(void* p, const char* label) {
  return With(p, 0, [&](Object& o) { return o.dict.LabelIndex(In(label)); });
}
QLINK_EXPORT int dctUelLabel(void* p, int uel, int* quote, char* label) {
  CopyOut(label, kBuf, "");
  if (quote != nullptr) *quote = ' ';
  return With(p, 1, [&](Object& o) {
    const auto* l = o.dict.LabelAt(uel);
    if (l == nullptr) return 1;
    CopyOut(label, kBuf, l->text);
    if (quote != nullptr) *quote = static_cast<unsigned char>(l->quote);
    return 0;
  });
}
QLINK_EXPORT int dctRowUels(void* p, int row, int* sym, int* uels, int* dim) {
  if (sym != nullptr) *sym = 0;
  if (dim != nullptr) *dim = 0;
  return With(p, 1, [&](Object& o) { return TupleOut(o.dict, true, row, sym, uels, dim); });
}
QLINK_EXPORT int dctColUels(void* p, int col, int* sym, int* uels, int* dim) {
  if (sym != nullptr) *sym = 0;
  if (dim != nullptr) *dim = 0;
  return With(p, 1, [&](Object& o) { return TupleOut(o.dict, false, col, sym, uels, dim); });
}
// Starts a search over the rows or columns of a symbol; uels holds one label number per index
// position, 0 for any label. Returns the search handle (null for an unknown symbol) and the
// first matching position, -1 when there is none. The handle is released with dctFindClose.
QLINK_EXPORT void* dctFindFirstRowCol(void* p, int sym, const int* uels, int* rowcol) {
  if (rowcol != nullptr) *rowcol = -1;
  return With(p, static_cast<void*>(nullptr), [&](Object& o) -> void* {
    const auto* s = o.dict.SymbolAt(sym);
    if (s == nullptr) return nullptr;
    auto search = std::make_unique<Dictionary::Search>();
    search->sym = sym;
    if (uels != nullptr) search->pattern.assign(uels, uels + s->dim);
    const int pos = o.dict.FindNext(*search);
    if (rowcol != nullptr) *rowcol = pos;
    o.searches.push_back(std::move(search));
    return o.searches.back().get();
  });
}
QLINK_EXPORT int dctFindNextRowCol(void* p, void* handle, int* rowcol) {
  if (rowcol != nullptr) *rowcol = -1;
  return With(p, 0, [&](Object& o) {
    Dictionary::Search* s = o.Owned(handle);
    if (s == nullptr) return 0;
    const int pos = o.dict.FindNext(*s);
    if (rowcol != nullptr) *rowcol = pos;
    return pos >= 0 ? 1 : 0;
  });
}
QLINK_EXPORT void dctFindClose(void* p, void* handle) {
  With(p, 0, [&](Object& o) {
    auto& v = o.searches;
    v.erase(std::remove_if(v.begin(), v.end(), [&](const auto& s) { return s.get() == handle; }), v.end());
    return 0;
  });
}
