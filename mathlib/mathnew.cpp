// The evaluation context, the error model, the dispatch of intrinsic and external calls, and
// the completion of missing derivatives by finite differences.
#include "mathlib/mathnew.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mathlib/mathnew_rules.h"
#include "runtime/lvocommon.h"

namespace qlink {

using mathnew_detail::Call;

namespace {

constexpr std::string_view kResultCodeNames[] = {"OK", "FUNC", "GRAD", "HESS", "SYSTEM"};
constexpr std::string_view kExceptionCodeNames[] = {"ERROR", "DOMAIN", "SINGULAR", "OVERFLOW",
                                                    "SIGLOSS"};

// Appends `part` and cuts the text at `limit` characters.
void AppendCut(std::string& text, std::string_view part, std::size_t limit) {
  text.append(part);
  if (text.size() > limit) text.resize(limit);
}

}  // namespace

void mathnew_detail::compose_message(std::string& message, std::string_view name, int result_code,
                                     int exception_code, std::string_view text) {
  message.clear();
  AppendCut(message, name, 65);
  AppendCut(message, ": ", 65);
  AppendCut(message, result_code_name(result_code), 71);
  AppendCut(message, " ", 72);
  AppendCut(message, exception_code_name(exception_code), 80);
  AppendCut(message, ": ", 82);
  AppendCut(message, text, kMaxTextLength);
}

namespace {

const mathnew_detail::RuleTable& Rules() {
  static const mathnew_detail::RuleTable table = [] {
    mathnew_detail::RuleTable t{};
    mathnew_detail::add_rounding_rules(t);
    mathnew_detail::add_elementary_rules(t);
    mathnew_detail::add_power_rules(t);
    return t;
  }();
  return table;
}

bool ArgumentCountFits(int n, int num_args) {
  const FunctionRecord& rec = function_record(n);
  if (num_args < rec.min_args) return false;
  return rec.max_args == 0 || num_args <= rec.max_args;
}

// Reports a call that cannot be evaluated at all (result code SYSTEM).
int ReportSystem(mathnew_context& context, const double* args, std::string_view text) {
  Call call(context, args);
  call.error(kMathSystem, kMathError, text);
  return call.result();
}

// One evaluation at the current arguments, by the intrinsic evaluator or the external hook.
int Dispatch(mathnew_context& context, int n, const double* args) {
  if (n >= kFirstExternalFunction && context.external_eval != nullptr)
    return context.external_eval(context, n, args);
  return mathnew_eval(context, n, args);
}

}  // namespace

std::string_view result_code_name(int code) {
  return code >= 0 && code <= 4 ? kResultCodeNames[code] : std::string_view();
}

std::string_view exception_code_name(int code) {
  return code >= 0 && code <= 4 ? kExceptionCodeNames[code] : std::string_view();
}

int default_error_callback(int result_code, int exception_code, std::string_view /*message*/,
                           void* /*data*/) {
  return exception_code == kMathOverflow ? 0 : result_code;
}

void mathnew_init(mathnew_context& context) {
  context.result.fill(0.0);
  context.message.clear();
  context.message.reserve(kMaxTextLength + 1);
  context.last_ec = 0;
  context.last_rc = 0;
  context.current_function = 0;
  context.mode = 0;
  context.num_args = 0;
  context.error_callback = default_error_callback;
  context.callback_data = nullptr;
  context.force_error_count = 0;
  context.relative_step = true;
  context.keep_gradient = true;
  context.fd_step = 1e-5;
  context.fd_level = 0;
}

void set_error_callback(mathnew_context& context, MathErrorCallback callback) {
  context.error_callback = callback != nullptr ? callback : default_error_callback;
}

namespace mathnew_detail {

void Call::error(int result_code, int exception_code, std::string_view text) {
  compose_message(c_.message, function_name(c_.current_function), result_code, exception_code,
                  text);
  const MathErrorCallback callback =
      c_.error_callback != nullptr ? c_.error_callback : default_error_callback;
  const int answer = callback(result_code, exception_code, c_.message, c_.callback_data);
  c_.last_rc = static_cast<std::uint8_t>(answer);
  c_.last_ec = static_cast<std::uint8_t>(exception_code);
  if (!reported_) {
    reported_ = true;
    result_ = answer;
    first_rc_ = result_code;
    first_ec_ = exception_code;
  }
}

double Call::guarded(int result_code, double v, std::string_view text) {
  if (std::isfinite(v)) return v;
  if (!reported_) error(result_code, kMathOverflow, text);
  return v < 0 ? -kBig : kBig;
}

void Call::clear_from(int first) {
  const int n = std::min(c_.num_args, kMaxFunctionArgs);
  if (c_.mode > 0)
    for (int k = first; k <= n; ++k) c_.result[static_cast<std::size_t>(k)] = 0.0;
  if (c_.mode > 1)
    for (int i = 1; i <= n; ++i)
      for (int k = 1; k <= n; ++k)
        if (i >= first || k >= first)
          c_.result[static_cast<std::size_t>(hessian_index(i, k))] = 0.0;
}

// Adding +0 turns a truncation to -0 (of a small negative x) into 0.
double truncate(double x) { return std::trunc(x) + 0.0; }

double round_half_away(double x) { return truncate(x > 0 ? x + 0.5 : x - 0.5); }

}  // namespace mathnew_detail

int mathnew_eval(mathnew_context& context, int n, const double* args) {
  if (n < 0 || n >= kNumIntrinsicFunctions) {
    context.current_function = kFnUnknown;
    context.last_rc = 0;
    context.last_ec = 0;
    context.result[0] = 0.0;
    std::string text = "unknown function index (index=";
    text += std::to_string(n);
    text += "): can/should not happen";
    return ReportSystem(context, args, text);
  }
  context.current_function = static_cast<std::uint8_t>(n);
  if (n == kFnMathLastRC) {
    context.result[0] = context.last_rc;
    return 0;
  }
  if (n == kFnMathLastEC) {
    context.result[0] = context.last_rc != 0 ? context.last_ec : 0;
    return 0;
  }
  context.last_rc = 0;
  context.last_ec = 0;
  context.result[0] = 0.0;
  if (context.mode > 0) context.result[1] = context.result[2] = 0.0;
  if (context.mode > 1) {
    context.result[hessian_index(1, 1)] = context.result[hessian_index(1, 2)] = 0.0;
    context.result[hessian_index(2, 1)] = context.result[hessian_index(2, 2)] = 0.0;
  }
  if (is_system_function(n))
    return ReportSystem(context, args, "function not implemented in mathnew");
  if (n == kFnUnknown) return 0;
  if (!ArgumentCountFits(n, context.num_args) || context.num_args > kMaxFunctionArgs) {
    std::string text = "wrong number of arguments (";
    text += std::to_string(context.num_args);
    text += ")";
    return ReportSystem(context, args, text);
  }
  const mathnew_detail::Rule rule = Rules()[static_cast<std::size_t>(n)];
  if (rule == nullptr) return ReportSystem(context, args, "function not implemented in mathnew");
  Call call(context, args);
  rule(call);
  return call.result();
}

namespace {

// Finite-difference completion of one call. Difference evaluations are made silently: they
// go through the default callback, and the error state of the call itself (message, codes,
// current function) is restored afterwards, so the caller sees the errors of its own point only.
class Differencer {
 public:
  Differencer(mathnew_context& context, int n, const double* args)
      : c_(context), n_(n), num_args_(context.num_args), system_(is_system_function(n)) {
    std::copy(args, args + num_args_, x_.begin());
    for (int k = 1; k <= num_args_; ++k) variable_[k] = argument_is_variable(n, k);
  }

  // Gradient entries 1 ... num_args by differences of values.
  void DifferenceGradient(std::array<double, kMaxFunctionArgs + 1>& g) {
    for (int k = 1; k <= num_args_; ++k) g[k] = GradientEntry(k);
  }

  // Hessian entries by differences of derivatives: of the analytic gradient when `analytic`,
  // else of differenced gradients; `g0` is the gradient at the unperturbed point.
  void DifferenceHessian(bool analytic, const std::array<double, kMaxFunctionArgs + 1>& g0,
                         std::array<double, kMathResultSize>& h) {
    for (int i = 1; i <= num_args_; ++i)
      for (int k = 1; k <= i; ++k) {
        double entry = 0.0;
        if (variable_[i] && variable_[k])
          entry = system_ ? kMathUndefined : HessianEntry(analytic, g0, i, k);
        h[static_cast<std::size_t>(hessian_index(i, k))] = entry;
        h[static_cast<std::size_t>(hessian_index(k, i))] = entry;
      }
  }

 private:
  double Step(double xk) const {
    double h = c_.fd_step;
    if (c_.relative_step && std::fabs(xk) > 1) h *= std::fabs(xk);
    return h;
  }

  // Value at the current x_; false when the evaluation reported an error.
  bool Value(double& f) {
    c_.mode = 0;
    c_.num_args = num_args_;
    const bool ok = Dispatch(c_, n_, x_.data()) == 0;
    f = c_.result[0];
    return ok;
  }

  // Combines derivative estimates at x_k - h and x_k + h as the step rule says.
  template <typename AtPoint, typename AtCentre>
  double Combine(int k, AtPoint at_point, AtCentre at_centre) {
    const double xk = x_[k - 1];
    const double h = Step(xk);
    double fm = 0.0, fp = 0.0;
    x_[k - 1] = xk - h;
    const bool ok_minus = at_point(fm);
    x_[k - 1] = xk + h;
    const bool ok_plus = at_point(fp);
    x_[k - 1] = xk;
    if (ok_minus && ok_plus) return Finite((fp - fm) / (2 * h));
    if (!ok_minus && !ok_plus) return kMathUndefined;
    double f0 = 0.0;
    if (!at_centre(f0)) return kMathUndefined;
    return Finite(ok_minus ? (f0 - fm) / h : (fp - f0) / h);
  }

  // A difference quotient beyond the double range is no derivative: undefined.
  static double Finite(double d) { return std::isfinite(d) ? d : kMathUndefined; }

  // First derivative with respect to x_k at x_ by differences of values.
  double FirstDerivative(int k) {
    return Combine(
        k, [this](double& f) { return Value(f); },
        [this](double& f) {
          Value(f);
          return true;
        });
  }

  double GradientEntry(int k) {
    if (!variable_[k]) return 0.0;
    if (system_) return kMathUndefined;
    return FirstDerivative(k);
  }

  // Derivative with respect to x_i at x_: analytic or differenced.
  bool Derivative(bool analytic, int i, double& d) {
    if (analytic) {
      c_.mode = 1;
      c_.num_args = num_args_;
      const bool ok = Dispatch(c_, n_, x_.data()) == 0;
      d = c_.result[static_cast<std::size_t>(i)];
      return ok;
    }
    d = FirstDerivative(i);
    return d != kMathUndefined;
  }

  double HessianEntry(bool analytic, const std::array<double, kMaxFunctionArgs + 1>& g0, int i,
                      int k) {
    return Combine(
        k, [&](double& d) { return Derivative(analytic, i, d); },
        [&](double& d) {
          d = g0[static_cast<std::size_t>(i)];
          return d != kMathUndefined;
        });
  }

  mathnew_context& c_;
  int n_;
  int num_args_;
  bool system_;
  std::array<double, kMaxFunctionArgs> x_{};
  std::array<bool, kMaxFunctionArgs + 1> variable_{};
};

}  // namespace

int function_eval(mathnew_context& context, int n, const double* args) {
  if (context.num_args < 0 || context.num_args > kMaxFunctionArgs) {
    context.current_function = n >= 0 && n < kNumIntrinsicFunctions
                                   ? static_cast<std::uint8_t>(n)
                                   : static_cast<std::uint8_t>(kFnUnknown);
    context.result[0] = 0.0;
    std::string text = "wrong number of arguments (";
    text += std::to_string(context.num_args);
    text += ")";
    return ReportSystem(context, args, text);
  }
  const int requested = std::clamp(context.mode, 0, 2);
  context.mode = requested;
  if (2 - context.fd_level < requested) context.mode = std::max(0, 2 - context.fd_level);

  const int rc = Dispatch(context, n, args);
  const double value = context.result[0];
  const int reached = context.mode;
  if (reached >= requested) {
    context.mode = requested;
    return rc;
  }

  // Keep the error state of this call while the difference evaluations run.
  char message[kMaxTextLength + 1];
  const std::size_t message_length = context.message.copy(message, kMaxTextLength);
  const std::uint8_t last_rc = context.last_rc, last_ec = context.last_ec,
                     current = context.current_function;
  const MathErrorCallback callback = context.error_callback;
  void* const callback_data = context.callback_data;
  context.error_callback = default_error_callback;
  context.callback_data = nullptr;

  const int num_args = context.num_args;
  Differencer differencer(context, n, args);
  std::array<double, kMaxFunctionArgs + 1> gradient{};
  for (int k = 1; k <= num_args; ++k) gradient[k] = context.result[static_cast<std::size_t>(k)];
  const bool analytic_hessian = reached == 1 && context.keep_gradient;
  if (reached == 0 || !analytic_hessian) differencer.DifferenceGradient(gradient);
  std::array<double, kMathResultSize> hessian{};
  if (requested == 2 && num_args >= 1)
    differencer.DifferenceHessian(analytic_hessian, gradient, hessian);

  for (int k = 1; k <= num_args; ++k) context.result[static_cast<std::size_t>(k)] = gradient[k];
  if (requested == 2)
    for (int i = 1; i <= num_args; ++i)
      for (int k = 1; k <= num_args; ++k) {
        const auto idx = static_cast<std::size_t>(hessian_index(i, k));
        context.result[idx] = hessian[idx];
      }
  context.result[0] = value;
  context.mode = requested;
  context.num_args = num_args;
  context.error_callback = callback;
  context.callback_data = callback_data;
  context.message.assign(message, message_length);
  context.last_rc = last_rc;
  context.last_ec = last_ec;
  context.current_function = current;
  return rc;
}

}  // namespace qlink
