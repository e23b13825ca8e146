// Internal interface between the dispatcher of the intrinsic evaluator and the rule files: one
// evaluation call with its argument access, guarded result setters and the error report.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "mathlib/mathnew.h"

namespace qlink::mathnew_detail {

// Constants of the guarded arithmetic.
inline constexpr double kBig = kMathBig;
inline constexpr double kTiny = 1e-299;
inline constexpr double kLnBig = 688.47294280522;     // ln BIG
inline constexpr double kLnBig2 = 689.1660899857799;  // ln 2*BIG
inline constexpr double kSqrtBig = 3.16227766016838e+149;
inline constexpr double kCbrtBig = 4.64158883361278e+99;
inline constexpr double kSqrtTiny = 3.16227766016838e-150;
inline constexpr double kCbrtTiny = 2.15443469003188e-100;
inline constexpr double kQrtTiny = 1.77827941003892e-75;
inline constexpr double kTiny23 = 1.8420157493201942e-200;
inline constexpr double kLogHCap = 3.7983e-150;
inline constexpr double kGradCap = 1e10;
inline constexpr double kPi = 3.141592653589793;

// One evaluation of an intrinsic function.
class Call {
 public:
  Call(mathnew_context& context, const double* args) : c_(context), args_(args) {}

  // Argument k, 1-based.
  double x(int k) const { return args_[k - 1]; }
  int num_args() const { return c_.num_args; }
  int mode() const { return c_.mode; }
  mathnew_context& context() { return c_; }

  void value(double v) { c_.result[0] = v; }
  double value() const { return c_.result[0]; }
  // Gradient entry k; written only when the gradient is asked for.
  void grad(int k, double v) {
    if (c_.mode > 0) c_.result[static_cast<std::size_t>(k)] = v;
  }
  double grad(int k) const { return c_.result[static_cast<std::size_t>(k)]; }
  // Hessian entry (i, k); written only when the Hessian is asked for.
  void hess(int i, int k, double v) {
    if (c_.mode > 1) c_.result[static_cast<std::size_t>(hessian_index(i, k))] = v;
  }
  // Hessian entries (i, k) and (k, i).
  void hess_sym(int i, int k, double v) {
    hess(i, k, v);
    hess(k, i, v);
  }
  // Clears the gradient and Hessian entries of arguments `first` ... num_args beyond those the
  // common steps clear.
  void clear_from(int first);

  // Reports an error: composes the message, calls the error callback and records its answer;
  // the answer of the first report of the call becomes the call's result.
  void error(int result_code, int exception_code, std::string_view text);
  bool reported() const { return reported_; }
  int result() const { return result_; }
  // Result and exception code of the first report of the call.
  int first_result_code() const { return first_rc_; }
  int first_exception_code() const { return first_ec_; }

  // v when it is finite; otherwise (an overflow of the double range) +-BIG (BIG for NaN) and,
  // unless the call has reported already, the error (result_code, OVERFLOW, text).
  double guarded(int result_code, double v, std::string_view text);

 private:
  mathnew_context& c_;
  const double* args_;
  bool reported_ = false;
  int result_ = 0;
  int first_rc_ = 0;
  int first_ec_ = 0;
};

// "<name>: <result code> <exception code>: <text>", the parts cut at 65, 71, 72, 80 and 82
// characters as they are joined and the whole at 255.
void compose_message(std::string& message, std::string_view name, int result_code,
                     int exception_code, std::string_view text);

using Rule = void (*)(Call&);
using RuleTable = std::array<Rule, kNumIntrinsicFunctions>;

// Each rule file enters its functions into the dispatch table.
void add_rounding_rules(RuleTable& table);
void add_elementary_rules(RuleTable& table);
void add_power_rules(RuleTable& table);

// Helpers shared by the rule files.
inline double sign_of(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }
// Truncation toward zero; a zero result is +0.
double truncate(double x);
// One-argument rounding: half away from zero.
double round_half_away(double x);

}  // namespace qlink::mathnew_detail
