// The C entries of the option library (liblvoptlib64.so), interface version 4.
//
// Every API function takes the option object first. Functions with text parameters are
// exported twice: under their API name and under "C" + API name; both take null-terminated
// texts, and text results go into caller buffers of QLINK_STRING_BUFSIZE characters. Numbers
// of options, list entries, dot options, labels and messages count from 1.
#include <new>
#include <string>
#include <utility>

#include "outside/opt/apicheck.h"
#include "outside/opt/optlib.h"

#define QLINK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using qlink::libapi::CopyOut;
using qlink::libapi::In;
using qlink::libapi::Sig;
using qlink::optlib::OptionDef;
using qlink::optlib::OptionObject;

constexpr int kInterfaceVersion = 4;
constexpr int kBuf = QLINK_STRING_BUFSIZE;

const qlink::libapi::Signature kApi[] = {
    Sig("optReadDefinition", {QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
    Sig("optReadParameterFile", {QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
    Sig("optEchoSet", {QLINK_SIG_VOID, QLINK_SIG_INT}),
    Sig("optEOLOnlySet", {QLINK_SIG_VOID, QLINK_SIG_INT}),
    Sig("optMessageCount", {QLINK_SIG_INT}),
    Sig("optGetMessage", {QLINK_SIG_VOID, QLINK_SIG_INT, QLINK_SIG_STRING_OUT, QLINK_SIG_INT_OUT}),
    Sig("optClearMessages", {QLINK_SIG_VOID}),
    Sig("optCount", {QLINK_SIG_INT}),
    Sig("optGetInfoNr", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT_OUT, QLINK_SIG_INT_OUT, QLINK_SIG_INT_OUT}),
    Sig("optGetDefinedNr", {QLINK_SIG_INT, QLINK_SIG_INT}),
    Sig("optGetIntNr", {QLINK_SIG_INT, QLINK_SIG_INT}),
    Sig("optGetDblNr", {QLINK_SIG_DOUBLE, QLINK_SIG_INT}),
    Sig("optGetStrNr", {QLINK_SIG_VOID, QLINK_SIG_INT, QLINK_SIG_STRING_OUT}),
    Sig("optSetIntNr", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT}),
    Sig("optSetDblNr", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_DOUBLE}),
    Sig("optSetStrNr", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
    Sig("optGetNameNr", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_STRING_OUT}),
    Sig("optResetNr", {QLINK_SIG_INT, QLINK_SIG_INT}),
    Sig("optGetOptGroupNr", {QLINK_SIG_INT, QLINK_SIG_INT}),
    Sig("optGetGroupGrpNr", {QLINK_SIG_INT, QLINK_SIG_INT}),
    Sig("optListCountStr", {QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
    Sig("optReadFromListStr", {QLINK_SIG_INT, QLINK_SIG_STRING_IN, QLINK_SIG_INT, QLINK_SIG_STRING_OUT}),
    Sig("optDotOptCount", {QLINK_SIG_INT}),
    Sig("optGetDotOptNr", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_STRING_OUT, QLINK_SIG_INT_OUT,
                           QLINK_SIG_INT_OUT, QLINK_SIG_DOUBLE_OUT}),
    Sig("optGetDotOptUel", {QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_INT, QLINK_SIG_STRING_OUT}),
    Sig("optGetDefinedStr", {QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
    Sig("optGetStrStr", {QLINK_SIG_VOID, QLINK_SIG_STRING_IN, QLINK_SIG_STRING_OUT}),
    Sig("optGetIntStr", {QLINK_SIG_INT, QLINK_SIG_STRING_IN}),
    Sig("optGetNameOpt", {QLINK_SIG_INT, QLINK_SIG_STRING_IN, QLINK_SIG_STRING_OUT, QLINK_SIG_INT_OUT}),
};

std::string g_load_path;

template <typename R, typename F>
R With(void* p, R fallback, F&& f) {
  return qlink::libapi::With<OptionObject>(p, fallback, std::forward<F>(f));
}

template <typename F>
void WithVoid(void* p, F&& f) {
  With(p, 0, [&](OptionObject& o) {
    f(o);
    return 0;
  });
}

void Clear(char* buf) { CopyOut(buf, kBuf, ""); }

int ReadDefinition(void* p, const char* fn) {
  return With(p, 1, [&](OptionObject& o) { return o.ReadDefinition(std::string(In(fn))); });
}
int ReadParameterFile(void* p, const char* fn) {
  return With(p, 1, [&](OptionObject& o) { return o.ReadParameterFile(std::string(In(fn))); });
}
void GetMessage(void* p, int nr, char* msg, int* kind) {
  Clear(msg);
  if (kind != nullptr) *kind = 0;
  WithVoid(p, [&](OptionObject& o) {
    if (nr < 1 || nr > o.MessageCount()) return;
    const auto& m = o.Messages()[static_cast<std::size_t>(nr - 1)];
    CopyOut(msg, kBuf, m.text);
    if (kind != nullptr) *kind = m.kind;
  });
}
void GetStrNr(void* p, int nr, char* value) {
  Clear(value);
  WithVoid(p, [&](OptionObject& o) {
    if (const OptionDef* d = o.Option(nr)) CopyOut(value, kBuf, o.GetString(*d));
  });
}
int SetStrNr(void* p, int nr, const char* value) {
  return With(p, 1, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    return d == nullptr ? 1 : o.SetString(*d, In(value));
  });
}
int GetNameNr(void* p, int nr, char* name) {
  Clear(name);
  return With(p, 0, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    if (d == nullptr) return 0;
    CopyOut(name, kBuf, d->name);
    return 1;
  });
}
// Entries of a list option by name; null when the name is not a list option (with a message).
const OptionDef* ListOption(OptionObject& o, const char* name) {
  const OptionDef* d = o.OptionByName(In(name));
  if (d != nullptr && d->type != qlink::optlib::kTypeStringList) {
    o.AddMessage("*** Option \"" + d->name + "\" is not a list option");
    return nullptr;
  }
  return d;
}
int ListCountStr(void* p, const char* name) {
  return With(p, 0, [&](OptionObject& o) {
    const OptionDef* d = ListOption(o, name);
    return d == nullptr ? 0 : static_cast<int>(o.ValueOf(*d).list.size());
  });
}
int ReadFromListStr(void* p, const char* name, int k, char* value) {
  Clear(value);
  return With(p, 1, [&](OptionObject& o) {
    const OptionDef* d = ListOption(o, name);
    if (d == nullptr) return 1;
    const auto& list = o.ValueOf(*d).list;
    if (k < 1 || static_cast<std::size_t>(k) > list.size()) return 1;
    CopyOut(value, kBuf, list[static_cast<std::size_t>(k - 1)]);
    return 0;
  });
}
int GetDotOptNr(void* p, int k, char* symbol, int* number, int* nlabels, double* value) {
  Clear(symbol);
  if (number != nullptr) *number = 0;
  if (nlabels != nullptr) *nlabels = 0;
  if (value != nullptr) *value = 0;
  return With(p, 1, [&](OptionObject& o) {
    if (k < 1 || k > static_cast<int>(o.DotOptions().size())) return 1;
    const auto& d = o.DotOptions()[static_cast<std::size_t>(k - 1)];
    CopyOut(symbol, kBuf, d.symbol);
    if (number != nullptr) *number = d.number;
    if (nlabels != nullptr) *nlabels = static_cast<int>(d.labels.size());
    if (value != nullptr) *value = d.value;
    return 0;
  });
}
int GetDotOptUel(void* p, int k, int pos, char* label) {
  Clear(label);
  return With(p, 1, [&](OptionObject& o) {
    if (k < 1 || k > static_cast<int>(o.DotOptions().size())) return 1;
    const auto& labels = o.DotOptions()[static_cast<std::size_t>(k - 1)].labels;
    if (pos < 1 || static_cast<std::size_t>(pos) > labels.size()) return 1;
    CopyOut(label, kBuf, labels[static_cast<std::size_t>(pos - 1)]);
    return 0;
  });
}
int GetDefinedStr(void* p, const char* name) {
  return With(p, 0, [&](OptionObject& o) {
    const OptionDef* d = o.OptionByName(In(name));
    return d == nullptr ? 0 : o.ValueOf(*d).defined;
  });
}
void GetStrStr(void* p, const char* name, char* value) {
  Clear(value);
  WithVoid(p, [&](OptionObject& o) {
    if (const OptionDef* d = o.OptionByName(In(name))) CopyOut(value, kBuf, o.GetString(*d));
  });
}
int GetIntStr(void* p, const char* name) {
  return With(p, 0, [&](OptionObject& o) {
    const OptionDef* d = o.OptionByName(In(name));
    return d == nullptr ? 0 : o.GetInt(*d);
  });
}
int GetNameOpt(void* p, const char* value, char* name, int* number) {
  Clear(name);
  if (number != nullptr) *number = 0;
  return With(p, 0, [&](OptionObject&) {
    std::string n;
    int k = 0;
    if (!qlink::optlib::SplitNameOpt(In(value), &n, &k)) return 0;
    CopyOut(name, kBuf, n);
    if (number != nullptr) *number = k;
    return 1;
  });
}

}  // namespace

// Library entries shared by both naming rules.
QLINK_EXPORT void XCreate(void** object) {
  if (object == nullptr) return;
  *object = new (std::nothrow) OptionObject();
}
QLINK_EXPORT void XFree(void** object) {
  if (object == nullptr) return;
  delete static_cast<OptionObject*>(*object);
  *object = nullptr;
}
QLINK_EXPORT int XCheck(const char* name, int param_count, const int* types, char* msg, int msg_len) {
  return qlink::libapi::CheckSignature(kApi, name, param_count, types, msg, msg_len);
}
QLINK_EXPORT int CXCheck(const char* name, int param_count, const int* types, char* msg, int msg_len) {
  return XCheck(name, param_count, types, msg, msg_len);
}
QLINK_EXPORT int XAPIVersion(int api, char* msg, int msg_len) {
  return qlink::libapi::AnswerVersion(kInterfaceVersion, api, msg, msg_len);
}
QLINK_EXPORT int CXAPIVersion(int api, char* msg, int msg_len) { return XAPIVersion(api, msg, msg_len); }
QLINK_EXPORT void optSetLoadPath(const char* path) {
  try {
    g_load_path = std::string(In(path));
  } catch (...) {
  }
}
QLINK_EXPORT void optGetLoadPath(char* buffer, int len) { CopyOut(buffer, len, g_load_path); }
QLINK_EXPORT void CoptSetLoadPath(const char* path) { optSetLoadPath(path); }
QLINK_EXPORT void CoptGetLoadPath(char* buffer, int len) { optGetLoadPath(buffer, len); }

// API functions without text parameters: one name.
QLINK_EXPORT void optEchoSet(void* p, int on) { WithVoid(p, [&](OptionObject& o) { o.SetEcho(on != 0); }); }
QLINK_EXPORT void optEOLOnlySet(void* p, int on) {
  WithVoid(p, [&](OptionObject& o) { o.SetEndOfLineOnly(on != 0); });
}
QLINK_EXPORT int optMessageCount(void* p) { return With(p, 0, [](OptionObject& o) { return o.MessageCount(); }); }
QLINK_EXPORT void optClearMessages(void* p) { WithVoid(p, [](OptionObject& o) { o.ClearMessages(); }); }
QLINK_EXPORT int optCount(void* p) { return With(p, 0, [](OptionObject& o) { return o.Defs().Count(); }); }
QLINK_EXPORT int optGetInfoNr(void* p, int nr, int* defined, int* data_type, int* opt_type) {
  if (defined != nullptr) *defined = 0;
  if (data_type != nullptr) *data_type = 0;
  if (opt_type != nullptr) *opt_type = 0;
  return With(p, 0, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    if (d == nullptr) return 0;
    if (defined != nullptr) *defined = o.ValueOf(*d).defined;
    if (data_type != nullptr) *data_type = d->type;
    if (opt_type != nullptr) *opt_type = d->dot ? qlink::optlib::kOptionDot : qlink::optlib::kOptionValue;
    return 1;
  });
}
QLINK_EXPORT int optGetDefinedNr(void* p, int nr) {
  return With(p, 0, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    return d == nullptr ? 0 : o.ValueOf(*d).defined;
  });
}
QLINK_EXPORT int optGetIntNr(void* p, int nr) {
  return With(p, 0, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    return d == nullptr ? 0 : o.GetInt(*d);
  });
}
QLINK_EXPORT double optGetDblNr(void* p, int nr) {
  return With(p, 0.0, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    return d == nullptr ? 0.0 : o.GetReal(*d);
  });
}
QLINK_EXPORT int optSetIntNr(void* p, int nr, int value) {
  return With(p, 1, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    return d == nullptr ? 1 : o.SetInt(*d, value);
  });
}
QLINK_EXPORT int optSetDblNr(void* p, int nr, double value) {
  return With(p, 1, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    return d == nullptr ? 1 : o.SetReal(*d, value);
  });
}
QLINK_EXPORT int optResetNr(void* p, int nr) {
  return With(p, 1, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    if (d == nullptr) return 1;
    o.Reset(*d);
    return 0;
  });
}
QLINK_EXPORT int optGetOptGroupNr(void* p, int nr) {
  return With(p, 0, [&](OptionObject& o) {
    const OptionDef* d = o.Option(nr);
    return d == nullptr ? 0 : d->group_position;
  });
}
QLINK_EXPORT int optGetGroupGrpNr(void* p, int group) {
  return With(p, 0, [&](OptionObject& o) {
    const auto& groups = o.Defs().Groups();
    if (group < 1 || static_cast<std::size_t>(group) > groups.size()) {
      o.AddMessage("*** Group " + std::to_string(group) + " is not defined");
      return 0;
    }
    return groups[static_cast<std::size_t>(group - 1)].number;
  });
}
QLINK_EXPORT int optDotOptCount(void* p) {
  return With(p, 0, [](OptionObject& o) { return static_cast<int>(o.DotOptions().size()); });
}

// API functions with text parameters: the API name and "C" + API name.
#define QLINK_OPT_ENTRY(ret, name, impl, params, args) \
  QLINK_EXPORT ret name params { return impl args; }   \
  QLINK_EXPORT ret C##name params { return impl args; }

QLINK_OPT_ENTRY(int, optReadDefinition, ReadDefinition, (void* p, const char* fn), (p, fn))
QLINK_OPT_ENTRY(int, optReadParameterFile, ReadParameterFile, (void* p, const char* fn), (p, fn))
QLINK_OPT_ENTRY(void, optGetMessage, GetMessage, (void* p, int nr, char* msg, int* kind), (p, nr, msg, kind))
QLINK_OPT_ENTRY(void, optGetStrNr, GetStrNr, (void* p, int nr, char* value), (p, nr, value))
QLINK_OPT_ENTRY(int, optSetStrNr, SetStrNr, (void* p, int nr, const char* value), (p, nr, value))
QLINK_OPT_ENTRY(int, optGetNameNr, GetNameNr, (void* p, int nr, char* name), (p, nr, name))
QLINK_OPT_ENTRY(int, optListCountStr, ListCountStr, (void* p, const char* name), (p, name))
QLINK_OPT_ENTRY(int, optReadFromListStr, ReadFromListStr, (void* p, const char* name, int k, char* value),
                (p, name, k, value))
QLINK_OPT_ENTRY(int, optGetDotOptNr, GetDotOptNr,
                (void* p, int k, char* symbol, int* number, int* nlabels, double* value),
                (p, k, symbol, number, nlabels, value))
QLINK_OPT_ENTRY(int, optGetDotOptUel, GetDotOptUel, (void* p, int k, int pos, char* label), (p, k, pos, label))
QLINK_OPT_ENTRY(int, optGetDefinedStr, GetDefinedStr, (void* p, const char* name), (p, name))
QLINK_OPT_ENTRY(void, optGetStrStr, GetStrStr, (void* p, const char* name, char* value), (p, name, value))
QLINK_OPT_ENTRY(int, optGetIntStr, GetIntStr, (void* p, const char* name), (p, name))
QLINK_OPT_ENTRY(int, optGetNameOpt, GetNameOpt, (void* p, const char* value, char* name, int* number),
                (p, value, name, number))
