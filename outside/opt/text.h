// Character classes and small text helpers of the modeling system's file readers (option
// library and dictionary library).
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace qlink::libtext {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsWordStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsWordChar(char c) { return IsWordStart(c) || (c >= '0' && c <= '9') || c == '_'; }

// A name: a letter, then letters, digits and underscores.
inline bool IsWord(std::string_view s) {
  return !s.empty() && IsWordStart(s[0]) && std::all_of(s.begin(), s.end(), IsWordChar);
}

// s without blanks at both ends (and without a line end's carriage return).
inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// ASCII lower case, for comparing names and labels without regard to case.
inline std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

}  // namespace qlink::libtext
