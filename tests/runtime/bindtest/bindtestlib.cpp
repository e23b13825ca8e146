// A small library for the binding tests, built in several variants by compile definitions:
//   BT_REFUSE_VERSION  the version entry refuses every interface version but 3
//   BT_NO_FREE         the mandatory free entry is missing
//   BT_NULL_CREATE     the create entry yields no object
//   BT_SKIP_CHECKS     the version entry tells the binding to skip the checks
// Its API: tstAdd (exported only in lower case), tstMul (exported as written), tstLen (string
// parameter, exported only in upper case), tstWrongSig (exported, but the check refuses its
// signature) and tstMissing (neither provided nor exported).
#include <cstring>
#include <string>

#include "runtime/apisig.h"

#define BT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_live = 0;
int g_init = 0;
int g_fini = 0;
std::string g_load_path = "(never set)";

void Put(char* msg, int len, const char* text) {
  if (msg == nullptr || len <= 0) return;
  std::strncpy(msg, text, static_cast<std::size_t>(len - 1));
  msg[len - 1] = '\0';
}
}  // namespace

BT_EXPORT void XCreate(void** object) {
#ifdef BT_NULL_CREATE
  *object = nullptr;
#else
  *object = new int(42);
  ++g_live;
#endif
}

#ifndef BT_NO_FREE
BT_EXPORT void XFree(void** object) {
  delete static_cast<int*>(*object);
  *object = nullptr;
  --g_live;
}
#endif

BT_EXPORT int XAPIVersion(int api, char* msg, int len) {
#ifdef BT_REFUSE_VERSION
  if (api != 3) {
    Put(msg, len, "bindtest serves interface version 3 only");
    return 0;
  }
#endif
  (void)api;
  (void)msg;
  (void)len;
#ifdef BT_SKIP_CHECKS
  return -1;
#else
  return 1;
#endif
}

BT_EXPORT int XCheck(const char* name, int count, const int* types, char* msg, int len) {
  const std::string n = name;
  if (n == "tstAdd" || n == "tstMul")
    return count == 2 && types[0] == QLINK_SIG_INT && types[1] == QLINK_SIG_INT &&
           types[2] == QLINK_SIG_INT;
  if (n == "tstLen") return count == 1 && types[0] == QLINK_SIG_INT && types[1] == QLINK_SIG_STRING_IN;
  if (n == "tstWrongSig") {
    Put(msg, len, "tstWrongSig has another signature here");
    return 0;
  }
  Put(msg, len, ("bindtest lacks " + n).c_str());
  return 0;
}

BT_EXPORT void btSetLoadPath(const char* path) { g_load_path = path; }
BT_EXPORT void btInitialize() { ++g_init; }
BT_EXPORT void btFinalize() { ++g_fini; }

// Observers for the tests (not part of the bound API).
BT_EXPORT int btLiveObjects() { return g_live; }
BT_EXPORT int btInitCount() { return g_init; }
BT_EXPORT const char* btLoadPath() { return g_load_path.c_str(); }

BT_EXPORT int c__tstadd(void*, int a, int b) { return a + b; }
BT_EXPORT int C__tstMul(void*, int a, int b) { return a * b; }
BT_EXPORT int D__TSTLEN(void*, const char* s) { return static_cast<int>(std::strlen(s)); }
BT_EXPORT int C__tstWrongSig(void*, int a, int) { return a; }
