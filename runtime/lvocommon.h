// Types and helpers shared by every subsystem: special values, the compact number format, model
// type names and bounded texts.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace qlink {

// Special values of the modeling system. Infinite bounds are held as these numbers, never as
// floating-point infinities.
inline constexpr double kUndf = 1.0e300;
inline constexpr double kNa = 2.0e300;
inline constexpr double kPlusInf = 3.0e300;
inline constexpr double kMinusInf = 4.0e300;
inline constexpr double kEps = 5.0e300;
inline constexpr double kAcr = 1.0e301;

// Texts in the link's records and messages hold at most this many characters.
inline constexpr std::size_t kMaxTextLength = 255;

// `text` cut to kMaxTextLength characters.
inline std::string Bounded(std::string_view text) {
  return std::string(text.substr(0, kMaxTextLength));
}

// Compact number format: "0" for zero; otherwise 15 significant digits, plain decimal notation
// when 1e-4 <= |x| < 1e15 (judged after rounding), else mantissa, exponent letter, a minus sign
// only for a negative exponent and the exponent without leading zeros. Trailing zeros after the
// point and a bare point are dropped. `exponent_letter` is 'E' in messages and scratch text and
// 'e' in the solver's problem file.
inline constexpr std::size_t kNumberBufferSize = 32;

// Writes the text of `x` at `out`, which must have room for kNumberBufferSize characters, and
// returns the end of what was written. No terminating zero is written.
char* FormatNumberTo(char* out, double x, char exponent_letter = 'E');

void AppendNumber(std::string& out, double x, char exponent_letter = 'E');
std::string FormatNumber(double x, char exponent_letter = 'E');

// Model types of the control file, codes 0 ... 15.
inline constexpr int kNumModelTypes = 15;  // codes 1 ... 15 are real model types
extern const std::array<std::string_view, kNumModelTypes + 1> kModelTypeNames;

// Name of a model type code, "" outside 0 ... 15.
std::string_view ModelTypeName(int code);

// Code of a model type name compared without regard to case; -1 when unknown.
int ModelTypeCode(std::string_view name);

// ASCII comparison without regard to case.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Writes `text` and a line end to standard output and flushes it, so that the line stands
// before anything a child process or a crash leaves there.
void StdoutLine(std::string_view text);

}  // namespace qlink
