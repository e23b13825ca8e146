// The error model: message composition and its cuts, the default callback, result codes,
// MathLastRC/MathLastEC, system functions, unknown numbers and argument counts.
#include <gtest/gtest.h>

#include "mathlib/mathnew.h"
#include "mathlib/mathnew_rules.h"
#include "tests/mathlib/recording.h"

namespace qlink {
namespace {

using ErrorModel = MathFixture;

TEST(ErrorCodes, Names) {
  EXPECT_EQ(result_code_name(0), "OK");
  EXPECT_EQ(result_code_name(1), "FUNC");
  EXPECT_EQ(result_code_name(2), "GRAD");
  EXPECT_EQ(result_code_name(3), "HESS");
  EXPECT_EQ(result_code_name(4), "SYSTEM");
  EXPECT_EQ(result_code_name(5), "");
  EXPECT_EQ(exception_code_name(0), "ERROR");
  EXPECT_EQ(exception_code_name(1), "DOMAIN");
  EXPECT_EQ(exception_code_name(2), "SINGULAR");
  EXPECT_EQ(exception_code_name(3), "OVERFLOW");
  EXPECT_EQ(exception_code_name(4), "SIGLOSS");
  EXPECT_EQ(exception_code_name(-1), "");
}

TEST(ErrorCodes, DefaultCallbackForgivesOnlyOverflows) {
  for (int rc = 1; rc <= 4; ++rc)
    for (int ec = 0; ec <= 4; ++ec)
      EXPECT_EQ(default_error_callback(rc, ec, "", nullptr), ec == 3 ? 0 : rc) << rc << "," << ec;
}

TEST(ErrorCodes, MessageCuts) {
  std::string msg;
  mathnew_detail::compose_message(msg, "sqrt", 1, 1, "x < 0");
  EXPECT_EQ(msg, "sqrt: FUNC DOMAIN: x < 0");
  // A name of 64 characters loses the blank of its separator (cut at 65).
  const std::string name64(64, 'n');
  mathnew_detail::compose_message(msg, name64, 4, 3, "t");
  EXPECT_EQ(msg, name64 + ":SYSTEM OVERFLOW: t");
  // A name of 70 characters is cut to 65 before the codes are added.
  mathnew_detail::compose_message(msg, std::string(70, 'n'), 2, 2, "t");
  EXPECT_EQ(msg, std::string(65, 'n') + "GRAD SINGULAR: t");
  // The whole text is cut at 255 characters.
  mathnew_detail::compose_message(msg, "exp", 1, 3, std::string(300, 'x'));
  EXPECT_EQ(msg.size(), 255u);
  EXPECT_EQ(msg.substr(0, 20), "exp: FUNC OVERFLOW: ");
}

TEST(ErrorCodes, InitialContext) {
  mathnew_context ctx;
  ctx.mode = 2;
  ctx.fd_level = 2;
  ctx.message = "old";
  ctx.force_error_count = 7;
  ctx.relative_step = false;
  ctx.error_callback = nullptr;
  ctx.fd_step = 1;
  mathnew_init(ctx);
  EXPECT_EQ(ctx.mode, 0);
  EXPECT_EQ(ctx.num_args, 0);
  EXPECT_EQ(ctx.current_function, 0);
  EXPECT_EQ(ctx.message, "");
  EXPECT_EQ(ctx.last_rc, 0);
  EXPECT_EQ(ctx.last_ec, 0);
  EXPECT_EQ(ctx.error_callback, &default_error_callback);
  EXPECT_EQ(ctx.callback_data, nullptr);
  EXPECT_EQ(ctx.force_error_count, 0u);
  EXPECT_TRUE(ctx.relative_step);
  EXPECT_TRUE(ctx.keep_gradient);
  EXPECT_EQ(ctx.fd_step, 1e-5);
  EXPECT_EQ(ctx.fd_level, 0);
}

TEST_F(ErrorModel, ReportReachesTheCallbackAndItsAnswerIsTheResult) {
  EXPECT_EQ(Eval(kFnSqrt, {-1}), 1);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].result_code, 1);
  EXPECT_EQ(rec.reports[0].exception_code, 1);
  EXPECT_EQ(rec.reports[0].message, "sqrt: FUNC DOMAIN: x < 0");
  EXPECT_EQ(ctx.message, "sqrt: FUNC DOMAIN: x < 0");
  EXPECT_EQ(ctx.last_rc, 1);
  EXPECT_EQ(ctx.last_ec, 1);
  EXPECT_EQ(ctx.current_function, kFnSqrt);

  rec.answer = 0;  // a callback that forgives everything
  EXPECT_EQ(Eval(kFnLog, {0}), 0);
  EXPECT_EQ(ctx.last_rc, 0);
  EXPECT_EQ(ctx.last_ec, 2);
  EXPECT_EQ(ctx.value(), -1e299);
}

TEST_F(ErrorModel, OverflowUnderTheDefaultCallbackIsSuccess) {
  set_error_callback(ctx, nullptr);
  EXPECT_EQ(ctx.error_callback, &default_error_callback);
  EXPECT_EQ(Eval(kFnExp, {1000}), 0);
  EXPECT_EQ(ctx.value(), 1e299);
  EXPECT_EQ(ctx.message, "exp: FUNC OVERFLOW: x too large");
}

TEST_F(ErrorModel, MathLastRCAndECReadTheLastErrorWithoutResetting) {
  Eval(kFnSqrt, {-4});
  EXPECT_EQ(Eval(kFnMathLastRC, {}), 0);
  EXPECT_EQ(ctx.value(), 1);
  EXPECT_EQ(Eval(kFnMathLastEC, {}), 0);
  EXPECT_EQ(ctx.value(), 1);
  EXPECT_EQ(Eval(kFnMathLastRC, {}), 0);  // still there
  EXPECT_EQ(ctx.value(), 1);

  // An overflow is answered with 0: the exception code is kept but MathLastEC reads 0.
  Eval(kFnExp, {1000});
  EXPECT_EQ(ctx.last_ec, 3);
  Eval(kFnMathLastEC, {});
  EXPECT_EQ(ctx.value(), 0);

  // A call without error clears the codes.
  Eval(kFnSqrt, {-4});
  Eval(kFnSqrt, {4});
  EXPECT_EQ(ctx.last_rc, 0);
  EXPECT_EQ(ctx.last_ec, 0);
  Eval(kFnMathLastRC, {});
  EXPECT_EQ(ctx.value(), 0);
}

TEST_F(ErrorModel, CommonStepsClearTheFirstTwoArgumentsEntries) {
  ctx.result.fill(7.0);
  Eval(kFnPower, {3, 0}, 2);  // value 1, every derivative 0
  EXPECT_EQ(ctx.value(), 1);
  EXPECT_EQ(ctx.gradient(1), 0);
  EXPECT_EQ(ctx.gradient(2), 0);
  for (int i = 1; i <= 2; ++i)
    for (int k = 1; k <= 2; ++k) EXPECT_EQ(ctx.hessian(i, k), 0) << i << k;
  // A third argument's entries are cleared by the function itself.
  ctx.result.fill(7.0);
  Eval(kFnIfThen, {1, 5, 6}, 2);
  EXPECT_EQ(ctx.gradient(3), 0);
  EXPECT_EQ(ctx.hessian(3, 3), 0);
  EXPECT_EQ(ctx.hessian(1, 3), 0);
}

TEST_F(ErrorModel, SystemFunctionsAreNotEvaluated) {
  for (int n = 0; n < kNumIntrinsicFunctions; ++n) {
    if (!is_system_function(n)) continue;
    rec.reports.clear();
    const int args = function_record(n).min_args;
    EXPECT_EQ(Eval(n, std::vector<double>(static_cast<std::size_t>(args), 1.0)), 4) << n;
    ASSERT_EQ(rec.reports.size(), 1u) << n;
    EXPECT_EQ(rec.reports[0].exception_code, 0);
    EXPECT_EQ(rec.reports[0].message, std::string(function_name(n)) +
                                          ": SYSTEM ERROR: function not implemented in mathnew");
  }
  EXPECT_EQ(ctx.last_rc, 4);
  Eval(kFnMapval, {0});
  EXPECT_EQ(ctx.message, "mapval: SYSTEM ERROR: function not implemented in mathnew");
}

TEST_F(ErrorModel, PlaceholderReturnsZero) {
  EXPECT_EQ(Eval(kFnUnknown, {5}), 0);
  EXPECT_EQ(ctx.value(), 0);
  EXPECT_TRUE(rec.reports.empty());
}

TEST_F(ErrorModel, FunctionsWithoutRulesYet) {
  EXPECT_EQ(Eval(kFnGamma, {2}), 4);
  EXPECT_EQ(ctx.message, "Gamma: SYSTEM ERROR: function not implemented in mathnew");
}

TEST_F(ErrorModel, UnknownNumbers) {
  ctx.mode = 0;
  ctx.num_args = 1;
  const double x = 1;
  EXPECT_EQ(mathnew_eval(ctx, 130, &x), 4);
  EXPECT_EQ(ctx.message,
            " unknown*: SYSTEM ERROR: unknown function index (index=130): can/should not happen");
  EXPECT_EQ(ctx.current_function, kFnUnknown);
  // Through function_eval when no external evaluation is installed.
  EXPECT_EQ(Eval(2 * 65536 + 3, {1}), 4);
  EXPECT_EQ(
      ctx.message,
      " unknown*: SYSTEM ERROR: unknown function index (index=131075): can/should not happen");
}

TEST_F(ErrorModel, ArgumentCounts) {
  EXPECT_EQ(Eval(kFnSqrt, {1, 2}), 4);
  EXPECT_EQ(ctx.message, "sqrt: SYSTEM ERROR: wrong number of arguments (2)");
  EXPECT_EQ(Eval(kFnMin, {1}), 4);
  EXPECT_EQ(Eval(kFnMin, std::vector<double>(20, 1.0)), 0);
  // More than 20 arguments never reach an evaluator.
  std::vector<double> many(21, 1.0);
  EXPECT_EQ(Eval(kFnMin, many), 4);
  EXPECT_EQ(ctx.message, "min: SYSTEM ERROR: wrong number of arguments (21)");
  ctx.num_args = -1;
  EXPECT_EQ(function_eval(ctx, kFnExp, many.data()), 4);
}

}  // namespace
}  // namespace qlink
