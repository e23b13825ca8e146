#include "runtime/lvocommon.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qlink {

namespace {

// Drops trailing zeros after a decimal point, and the point itself when nothing follows it.
char* TrimFraction(char* begin, char* end) {
  if (std::memchr(begin, '.', static_cast<std::size_t>(end - begin)) == nullptr) return end;
  while (end > begin && end[-1] == '0') --end;
  if (end > begin && end[-1] == '.') --end;
  return end;
}

}  // namespace

char* FormatNumberTo(char* out, double x, char exponent_letter) {
  if (x == 0.0) {
    *out++ = '0';
    return out;
  }
  if (std::isnan(x)) {
    std::memcpy(out, "NaN", 3);
    return out + 3;
  }
  if (std::isinf(x)) {
    if (x < 0) *out++ = '-';
    std::memcpy(out, "Inf", 3);
    return out + 3;
  }
  // Round to 15 significant digits first; the notation is chosen from the rounded value, so
  // 999999999999999.9 becomes 1E15 rather than a 16-digit integer.
  char sci[kNumberBufferSize];
  const auto res = std::to_chars(sci, sci + sizeof sci, x, std::chars_format::scientific, 14);
  const char* p = sci;
  if (*p == '-') {
    *out++ = '-';
    ++p;
  }
  // p: "d.dddddddddddddde[+-]XX"
  const char* e_pos = static_cast<const char*>(std::memchr(p, 'e', static_cast<std::size_t>(res.ptr - p)));
  int exponent = 0;
  std::from_chars(e_pos[1] == '+' ? e_pos + 2 : e_pos + 1, res.ptr, exponent);
  char digits[16] = {};
  int n_digits = 0;
  for (const char* q = p; q < e_pos; ++q)
    if (*q != '.') digits[n_digits++] = *q;

  char* start = out;
  if (exponent >= -4 && exponent < 15) {
    if (exponent < 0) {
      *out++ = '0';
      *out++ = '.';
      for (int i = 0; i < -exponent - 1; ++i) *out++ = '0';
      std::memcpy(out, digits, static_cast<std::size_t>(n_digits));
      out += n_digits;
    } else {
      const int int_digits = exponent + 1;  // at most 15
      std::memcpy(out, digits, static_cast<std::size_t>(int_digits));
      out += int_digits;
      if (int_digits < n_digits) {
        *out++ = '.';
        std::memcpy(out, digits + int_digits, static_cast<std::size_t>(n_digits - int_digits));
        out += n_digits - int_digits;
      }
    }
    return TrimFraction(start, out);
  }
  *out++ = digits[0];
  *out++ = '.';
  std::memcpy(out, digits + 1, static_cast<std::size_t>(n_digits - 1));
  out += n_digits - 1;
  out = TrimFraction(start, out);
  *out++ = exponent_letter;
  if (exponent < 0) {
    *out++ = '-';
    exponent = -exponent;
  }
  return std::to_chars(out, out + 8, exponent).ptr;
}

void AppendNumber(std::string& out, double x, char exponent_letter) {
  char buffer[kNumberBufferSize];
  char* end = FormatNumberTo(buffer, x, exponent_letter);
  out.append(buffer, end);
}

std::string FormatNumber(double x, char exponent_letter) {
  std::string s;
  AppendNumber(s, x, exponent_letter);
  return s;
}

const std::array<std::string_view, kNumModelTypes + 1> kModelTypeNames = {
    "NONE", "LP",   "MIP",  "RMIP", "NLP",   "MCP",   "MPEC",   "RMPEC",
    "CNS",  "DNLP", "RMINLP", "MINLP", "QCP", "MIQCP", "RMIQCP", "EMP"};

std::string_view ModelTypeName(int code) {
  if (code < 0 || code > kNumModelTypes) return {};
  return kModelTypeNames[static_cast<std::size_t>(code)];
}

int ModelTypeCode(std::string_view name) {
  for (int i = 0; i <= kNumModelTypes; ++i)
    if (EqualsIgnoreCase(kModelTypeNames[static_cast<std::size_t>(i)], name)) return i;
  return -1;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return false;
  }
  return true;
}

void StdoutLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace qlink
