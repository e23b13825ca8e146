// Helpers for the C entries of the modeling system's libraries: the table of published API
// signatures that the check entry answers from, the version entry's answer, and copying texts
// into callers' buffers.
#pragma once

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "runtime/apisig.h"

namespace qlink::libapi {

struct Signature {
  const char* name;
  int param_count;
  int types[QLINK_MAX_API_PARAMS + 1];
};

// Builds a Signature from the result code and the parameter codes.
inline Signature Sig(const char* name, std::initializer_list<int> types) {
  Signature s{name, static_cast<int>(types.size()) - 1, {}};
  int k = 0;
  for (int t : types)
    if (k <= QLINK_MAX_API_PARAMS) s.types[k++] = t;
  return s;
}

// Copies text into buf of `size` characters (including the terminating zero), cut when longer.
inline void CopyOut(char* buf, int size, std::string_view text) {
  if (buf == nullptr || size <= 0) return;
  const std::size_t n = text.size() < static_cast<std::size_t>(size - 1) ? text.size()
                                                                          : static_cast<std::size_t>(size - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
}

// A caller's text of any length (null taken as empty).
inline std::string_view In(const char* s) { return s == nullptr ? std::string_view() : std::string_view(s); }

// Runs f on the library object behind p; `fallback` for a null object or when f throws (out of
// memory), so that no exception leaves a C entry.
template <typename Object, typename R, typename F>
R With(void* p, R fallback, F&& f) {
  if (p == nullptr) return fallback;
  try {
    return f(*static_cast<Object*>(p));
  } catch (...) {
    return fallback;
  }
}

// The check entry: nonzero when `name` is published with exactly this signature.
template <std::size_t N>
int CheckSignature(const Signature (&table)[N], const char* name, int param_count,
                   const int* types, char* msg, int msg_len) {
  for (const Signature& s : table) {
    if (name == nullptr || std::strcmp(s.name, name) != 0) continue;
    if (param_count != s.param_count || types == nullptr) {
      char text[QLINK_STRING_BUFSIZE];
      std::snprintf(text, sizeof text, "%s has %d parameters, not %d", s.name, s.param_count, param_count);
      CopyOut(msg, msg_len, text);
      return 0;
    }
    for (int k = 0; k <= param_count; ++k) {
      if (types[k] != s.types[k]) {
        char text[QLINK_STRING_BUFSIZE];
        if (k == 0)
          std::snprintf(text, sizeof text, "%s: result type %d expected, not %d", s.name, s.types[0], types[0]);
        else
          std::snprintf(text, sizeof text, "%s: parameter %d has type %d, not %d", s.name, k, s.types[k], types[k]);
        CopyOut(msg, msg_len, text);
        return 0;
      }
    }
    CopyOut(msg, msg_len, "");
    return 1;
  }
  CopyOut(msg, msg_len, "function not provided by this library");
  return 0;
}

// The version entry: 1 (check every function) for the library's own interface version, else 0
// with the reason.
inline int AnswerVersion(int served, int asked, char* msg, int msg_len) {
  if (asked == served) {
    CopyOut(msg, msg_len, "");
    return 1;
  }
  char text[QLINK_STRING_BUFSIZE];
  std::snprintf(text, sizeof text, "Client API version %d does not match library API version %d", asked, served);
  CopyOut(msg, msg_len, text);
  return 0;
}

}  // namespace qlink::libapi
