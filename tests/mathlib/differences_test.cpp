// Completion of derivatives by finite differences, and the analytic derivatives of every
// implemented rule checked against differences at ordinary points.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "mathlib/mathnew.h"
#include "tests/mathlib/recording.h"

namespace qlink {
namespace {

// ---------------------------------------------------------------------------------------------
// External stand-ins: f(x1, x2) = x1^3 + 2*x2 (values only) and g(x1, x2) = x1^2 * x2 (values and
// gradient). Every call is recorded.

constexpr int kValuesOnly = 65536 + 1;
constexpr int kWithGradient = 65536 + 2;
constexpr int kFailsAway = 65536 + 3;  // fails everywhere except at (1, 1)

struct ExternalCall {
  int mode;
  std::vector<double> args;
};
std::vector<ExternalCall> g_calls;

int ExternalEval(mathnew_context& ctx, int n, const double* a) {
  g_calls.push_back({ctx.mode, std::vector<double>(a, a + ctx.num_args)});
  const double x1 = a[0], x2 = a[1];
  if (n == kValuesOnly) {
    ctx.mode = 0;
    ctx.result[0] = x1 * x1 * x1 + 2 * x2;
    return 0;
  }
  if (n == kWithGradient) {
    if (ctx.mode > 1) ctx.mode = 1;
    ctx.result[0] = x1 * x1 * x2;
    if (ctx.mode > 0) {
      ctx.result[1] = 2 * x1 * x2;
      ctx.result[2] = x1 * x1;
    }
    return 0;
  }
  ctx.mode = 0;
  ctx.result[0] = 5;
  return x1 == 1 && x2 == 1 ? 0 : 1;
}

bool ExternalFlag(int, int position) { return position <= 2; }
std::string_view ExternalName(int) { return "ext"; }

class Differences : public MathFixture {
 protected:
  void SetUp() override {
    MathFixture::SetUp();
    ctx.external_eval = ExternalEval;
    set_external_function_info({ExternalName, ExternalFlag});
    g_calls.clear();
  }
  void TearDown() override { set_external_function_info({}); }

  bool Called(double x1, double x2) const {
    for (const ExternalCall& c : g_calls)
      if (c.args[0] == x1 && c.args[1] == x2) return true;
    return false;
  }
};

TEST_F(Differences, ValueOnlyExternalGetsCentralDifferencesWithRelativeSteps) {
  EXPECT_EQ(Eval(kValuesOnly, {3, 0.5}, 1), 0);
  EXPECT_EQ(ctx.mode, 1);
  EXPECT_EQ(ctx.value(), 28);  // the unperturbed point's value
  EXPECT_NEAR(ctx.gradient(1), 27, 1e-6);
  EXPECT_NEAR(ctx.gradient(2), 2, 1e-8);
  EXPECT_TRUE(Called(3 - 3e-5, 0.5));  // step 1e-5 * |x| above 1
  EXPECT_TRUE(Called(3 + 3e-5, 0.5));
  EXPECT_TRUE(Called(3, 0.5 - 1e-5));  // plain step up to 1
  EXPECT_TRUE(Called(3, 0.5 + 1e-5));

  g_calls.clear();
  ctx.relative_step = false;
  Eval(kValuesOnly, {3, 0.5}, 1);
  EXPECT_TRUE(Called(3 - 1e-5, 0.5));
  EXPECT_TRUE(Called(3 + 1e-5, 0.5));
}

TEST_F(Differences, HessianDifferencesTheKeptAnalyticGradient) {
  EXPECT_EQ(Eval(kWithGradient, {1.5, -2}, 2), 0);
  EXPECT_EQ(ctx.mode, 2);
  EXPECT_EQ(ctx.value(), -4.5);
  EXPECT_EQ(ctx.gradient(1), -6);  // analytic, kept exactly
  EXPECT_EQ(ctx.gradient(2), 2.25);
  EXPECT_NEAR(ctx.hessian(1, 1), -4, 1e-8);
  EXPECT_NEAR(ctx.hessian(1, 2), 3, 1e-8);
  EXPECT_NEAR(ctx.hessian(2, 1), 3, 1e-8);
  EXPECT_NEAR(ctx.hessian(2, 2), 0, 1e-8);
  for (std::size_t i = 1; i < g_calls.size(); ++i) EXPECT_EQ(g_calls[i].mode, 1);
}

TEST_F(Differences, WithoutKeptGradientEverythingIsDifferencedFromValues) {
  ctx.keep_gradient = false;
  EXPECT_EQ(Eval(kWithGradient, {1.5, -2}, 2), 0);
  EXPECT_NEAR(ctx.gradient(1), -6, 1e-7);
  EXPECT_NEAR(ctx.gradient(2), 2.25, 1e-7);
  EXPECT_NEAR(ctx.hessian(1, 1), -4, 1e-4);
  EXPECT_NEAR(ctx.hessian(1, 2), 3, 1e-4);
  EXPECT_NEAR(ctx.hessian(2, 2), 0, 1e-4);
  for (std::size_t i = 1; i < g_calls.size(); ++i) EXPECT_EQ(g_calls[i].mode, 0);
}

TEST_F(Differences, NoSideFails) {
  EXPECT_EQ(Eval(kFailsAway, {1, 1}, 2), 0);
  EXPECT_EQ(ctx.value(), 5);
  EXPECT_EQ(ctx.gradient(1), 1e300);
  EXPECT_EQ(ctx.gradient(2), 1e300);
  EXPECT_EQ(ctx.hessian(1, 1), 1e300);
  EXPECT_EQ(ctx.hessian(2, 1), 1e300);
}

TEST_F(Differences, OneSidedNearDomainLimits) {
  ctx.fd_level = 2;
  // sqrt at 0: only the upper point exists.
  EXPECT_EQ(Eval(kFnSqrt, {0}, 1), 0);
  EXPECT_EQ(ctx.value(), 0);
  EXPECT_NEAR(ctx.gradient(1), std::sqrt(1e-5) / 1e-5, 1e-9);
  // log just above 0: (f(x+h) - f(x)) / h.
  EXPECT_EQ(Eval(kFnLog, {1e-6}, 1), 0);
  EXPECT_NEAR(ctx.gradient(1), (std::log(1.1e-5) - std::log(1e-6)) / 1e-5, 1e-6);
  // Logit just below 1: (f(x) - f(x-h)) / h.
  const double x = 1 - 1e-6;
  EXPECT_EQ(Eval(kFnLogit, {x}, 1), 0);
  const auto logit = [](double p) { return std::log(p / (1 - p)); };
  EXPECT_NEAR(ctx.gradient(1), (logit(x) - logit(x - 1e-5)) / 1e-5, 1e-3);
  // The failed difference points were not reported, and the call's own state is clean.
  EXPECT_TRUE(rec.reports.empty());
  EXPECT_EQ(ctx.last_rc, 0);
  EXPECT_EQ(ctx.current_function, kFnLogit);
}

TEST_F(Differences, ErrorsOfTheCallItselfAreKept) {
  ctx.fd_level = 2;
  EXPECT_EQ(Eval(kFnLog, {0}, 1), 1);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(ctx.message, "log: FUNC SINGULAR: x = 0");
  EXPECT_EQ(ctx.last_rc, 1);
  EXPECT_EQ(ctx.last_ec, 2);
  EXPECT_EQ(ctx.value(), -1e299);
}

TEST_F(Differences, SystemFunctionsGetUndefinedEntries) {
  ctx.fd_level = 2;
  EXPECT_EQ(Eval(kFnSystemEntry109, {1}, 2), 4);
  EXPECT_EQ(ctx.gradient(1), 1e300);
  EXPECT_EQ(ctx.hessian(1, 1), 1e300);
}

TEST_F(Differences, ConstantArgumentsGetZeroEntries) {
  ctx.fd_level = 2;
  EXPECT_EQ(Eval(kFnPower, {2, 3}, 2), 0);
  EXPECT_EQ(ctx.value(), 8);
  EXPECT_NEAR(ctx.gradient(1), 12, 1e-6);
  EXPECT_EQ(ctx.gradient(2), 0);
  EXPECT_NEAR(ctx.hessian(1, 1), 12, 1e-3);
  EXPECT_EQ(ctx.hessian(1, 2), 0);
  EXPECT_EQ(ctx.hessian(2, 1), 0);
  EXPECT_EQ(ctx.hessian(2, 2), 0);
}

TEST_F(Differences, LevelsThatNeedNoDifferences) {
  ctx.fd_level = 1;  // only the Hessian is differenced: a gradient request is analytic
  EXPECT_EQ(Eval(kFnExp, {0.3}, 1), 0);
  EXPECT_EQ(ctx.gradient(1), std::exp(0.3));
  ctx.fd_level = 0;
  ctx.result.fill(7);
  EXPECT_EQ(Eval(kFnExp, {0.3}, 0), 0);
  EXPECT_EQ(ctx.gradient(1), 7);  // value only: the gradient is not touched
}

// ---------------------------------------------------------------------------------------------
// Analytic derivatives against differences.

struct Point {
  int n;
  std::vector<double> args;
};

void PrintTo(const Point& p, std::ostream* os) {
  *os << function_name(p.n) << "(";
  for (std::size_t i = 0; i < p.args.size(); ++i) *os << (i ? "," : "") << p.args[i];
  *os << ")";
}

class AnalyticDerivatives : public ::testing::TestWithParam<Point> {};

TEST_P(AnalyticDerivatives, AgreeWithDifferences) {
  const Point& p = GetParam();
  const int n_args = static_cast<int>(p.args.size());
  mathnew_context analytic, grad_fd, hess_fd;
  mathnew_init(analytic);
  mathnew_init(grad_fd);
  mathnew_init(hess_fd);
  grad_fd.fd_level = 2;
  hess_fd.fd_level = 1;
  for (mathnew_context* c : {&analytic, &grad_fd, &hess_fd}) {
    c->mode = 2;
    c->num_args = n_args;
    ASSERT_EQ(function_eval(*c, p.n, p.args.data()), 0) << c->message;
  }
  const double f = std::fabs(analytic.value());
  for (int i = 1; i <= n_args; ++i) {
    const double g = analytic.gradient(i);
    EXPECT_NEAR(grad_fd.gradient(i), g, 1e-6 * (1 + std::fabs(g) + f)) << "g" << i;
    EXPECT_EQ(hess_fd.gradient(i), g) << "g" << i;
    for (int k = 1; k <= n_args; ++k) {
      const double h = analytic.hessian(i, k);
      EXPECT_NEAR(hess_fd.hessian(i, k), h, 1e-6 * (1 + std::fabs(h) + std::fabs(g)))
          << "H" << i << k;
      EXPECT_NEAR(grad_fd.hessian(i, k), h, 1e-3 * (1 + std::fabs(h) + f)) << "H" << i << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    OrdinaryPoints, AnalyticDerivatives,
    ::testing::Values(
        Point{kFnCeil, {0.4}}, Point{kFnRound, {2.3}}, Point{kFnMod, {7.3, 2.1}},
        Point{kFnFrac, {2.3}}, Point{kFnMin, {1.5, 2.5}}, Point{kFnMax, {-1, 0.5}},
        Point{kFnIfThen, {1, 2.3, 4.5}}, Point{kFnSqr, {1.7}}, Point{kFnExp, {0.3}},
        Point{kFnLog, {2.5}}, Point{kFnLog10, {3.3}}, Point{kFnLog2, {0.7}}, Point{kFnSqrt, {2.2}},
        Point{kFnAbs, {-1.3}}, Point{kFnCos, {0.4}}, Point{kFnSin, {1.1}}, Point{kFnTan, {0.6}},
        Point{kFnArctan, {-0.8}}, Point{kFnArccos, {0.3}}, Point{kFnArcsin, {-0.6}},
        Point{kFnArctan2, {0.7, -1.2}}, Point{kFnArctan2, {1.5, 0.4}}, Point{kFnErrorf, {0.8}},
        Point{kFnEntropy, {1.7}}, Point{kFnSigmoid, {-1.2}}, Point{kFnSigmoid, {0.9}},
        Point{kFnSinh, {0.7}}, Point{kFnCosh, {-1.1}}, Point{kFnTanh, {0.4}},
        Point{kFnLogit, {0.3}}, Point{kFnPower, {1.3, 3}}, Point{kFnPower, {-1.4, -3}},
        Point{kFnPower, {0.8, -2}}, Point{kFnPower, {1.5, -1}}, Point{kFnPower, {2.5, 2}},
        Point{kFnPower, {1.1, 7}}, Point{kFnRPower, {1.7, 2.3}}, Point{kFnRPower, {0.6, -1.4}},
        Point{kFnCvPower, {1.8, 0.7}}, Point{kFnVcPower, {2.1, -1.5}},
        Point{kFnVcPower, {0.7, 2.5}}, Point{kFnSignPower, {-1.6, 2.5}},
        Point{kFnSignPower, {1.6, 0.5}}, Point{kFnDiv, {1.3, -0.7}}, Point{kFnDiv0, {2.2, 1.9}}));

}  // namespace
}  // namespace qlink

namespace qlink {
namespace {

// No rule may produce an infinity or a NaN from finite arguments, wherever they lie, neither
// in its own derivatives nor in differenced ones.
TEST(GuardedArithmetic, FiniteArgumentsGiveFiniteResults) {
  const double extremes[] = {0.0,      -0.0,    1.0,    -1.0,         0.5,     2.0,    -3.0,
                             1e-320,   -1e-320, 1e-300, 1e-150,       -1e-150, 1e-100, 1e-30,
                             1e30,     -1e30,   1e150,  -1e150,       1e300,   -1e300, 1.7e308,
                             -1.7e308, 700.0,   -700.0, 2147483646.0, 99.0,    -99.0,  2.5};
  mathnew_context ctx;
  mathnew_init(ctx);
  int checked = 0;
  // Analytic derivatives, and derivatives differenced from values.
  for (int fd_level : {0, 2})
    for (int n = 0; n < kNumIntrinsicFunctions; ++n) {
      ctx.fd_level = fd_level;
      const FunctionRecord& rec = function_record(n);
      if (is_system_function(n) || rec.min_args > 2) continue;
      const int num_args = rec.min_args == 0 ? 0 : (rec.max_args == 1 ? 1 : 2);
      ctx.mode = 2;
      ctx.num_args = num_args;
      const double probe[2] = {1.0, 1.0};
      if (function_eval(ctx, n, probe) == kMathSystem) continue;  // no rule yet
      for (double a : extremes)
        for (double b : extremes) {
          const double args[2] = {a, b};
          ctx.mode = 2;
          ctx.num_args = num_args;
          function_eval(ctx, n, args);
          ++checked;
          EXPECT_TRUE(std::isfinite(ctx.value()))
              << function_name(n) << "(" << a << "," << b << ")";
          for (int i = 1; i <= num_args; ++i) {
            EXPECT_TRUE(std::isfinite(ctx.gradient(i)))
                << function_name(n) << "(" << a << "," << b << ") g" << i;
            for (int k = 1; k <= num_args; ++k)
              EXPECT_TRUE(std::isfinite(ctx.hessian(i, k)))
                  << function_name(n) << "(" << a << "," << b << ") H" << i << k;
          }
          if (num_args < 2) break;
        }
    }
  EXPECT_GT(checked, 2000);
}

}  // namespace
}  // namespace qlink
