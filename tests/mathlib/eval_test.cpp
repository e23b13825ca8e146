// Evaluations by rule: values, gradients and Hessians at ordinary points and at each guard's
// threshold on both sides, with the reported texts.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "mathlib/mathnew.h"
#include "tests/mathlib/recording.h"

namespace qlink {
namespace {

constexpr double B = 1e299;  // the overflow replacement
const double kE = std::exp(1.0);
const double kPi = std::acos(-1.0);
const double kLn2 = std::log(2.0);
const double kLn10 = std::log(10.0);

struct H {
  int i, k;
  double v;
};

struct EvalCase {
  const char* label;
  int n;
  std::vector<double> args;
  int mode;
  double value;
  std::vector<double> grad = {};  // gradient entries 1, 2, ...; empty: not checked
  std::vector<H> hess = {};       // Hessian entries, checked at (i, k) and (k, i)
  int rc = 0;                     // result with a callback that answers like the default one
  const char* message = nullptr;  // first report, or none
};

void PrintTo(const EvalCase& c, std::ostream* os) { *os << c.label; }

// Equal within a relative 1e-12; an expected 0 must be met exactly.
::testing::AssertionResult Close(double actual, double expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  if (expected != 0 && std::fabs(actual - expected) <= 1e-12 * std::fabs(expected))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << actual << " instead of " << expected;
}

class Rules : public MathFixture, public ::testing::WithParamInterface<EvalCase> {};

TEST_P(Rules, Evaluate) {
  const EvalCase& c = GetParam();
  ctx.result.fill(7.0);  // stale entries from an earlier call
  EXPECT_EQ(Eval(c.n, c.args, c.mode), c.rc);
  EXPECT_TRUE(Close(ctx.value(), c.value)) << "value";
  for (std::size_t k = 0; k < c.grad.size(); ++k)
    EXPECT_TRUE(Close(ctx.gradient(static_cast<int>(k) + 1), c.grad[k])) << "g" << k + 1;
  for (const H& h : c.hess) {
    EXPECT_TRUE(Close(ctx.hessian(h.i, h.k), h.v)) << "H" << h.i << h.k;
    EXPECT_TRUE(Close(ctx.hessian(h.k, h.i), h.v)) << "H" << h.k << h.i;
  }
  if (c.message == nullptr) {
    EXPECT_TRUE(rec.reports.empty()) << rec.reports.front().message;
  } else {
    ASSERT_FALSE(rec.reports.empty());
    EXPECT_EQ(rec.reports.front().message, c.message);
  }
}

// clang-format off
const EvalCase kRounding[] = {
    {"ceil up", kFnCeil, {2.1}, 2, 3, {0}, {{1, 1, 0}}},
    {"ceil negative", kFnCeil, {-2.1}, 0, -2},
    {"ceil integer", kFnCeil, {3}, 0, 3},
    {"ceil zero", kFnCeil, {0}, 0, 0},
    {"ceil small negative", kFnCeil, {-0.5}, 0, 0},
    {"floor", kFnFloor, {2.9}, 0, 2},
    {"floor negative", kFnFloor, {-2.1}, 0, -3},
    {"floor negative integer", kFnFloor, {-3}, 0, -3},
    {"round half up", kFnRound, {2.5}, 1, 3, {0}},
    {"round half away from zero", kFnRound, {-2.5}, 0, -3},
    {"round below half", kFnRound, {2.4999}, 0, 2},
    {"round 2 places", kFnRound, {1234.5678, 2}, 0, 1234.57},
    {"round 1.005 to 2 places scales first", kFnRound, {1.005, 2}, 0, 1.0},
    {"round -2 places", kFnRound, {-1250, -2}, 0, -1300},
    {"round 0 places", kFnRound, {-7.5, 0}, 0, -8},
    {"round 99 places", kFnRound, {1.5, 99}, 0, 1.5},
    {"round |i| = 100", kFnRound, {1.5, 100}, 0, 0, {}, {}, 1, "round: FUNC DOMAIN: round(x,i): |i| >= 100"},
    {"round |i| = -100", kFnRound, {1.5, -100}, 0, 0, {}, {}, 1, "round: FUNC DOMAIN: round(x,i): |i| >= 100"},
    {"round i nearly integer", kFnRound, {1.2345, 2.00009}, 0, 1.23},
    {"round i not integer", kFnRound, {1.2345, 2.00011}, 0, 0, {}, {}, 1, "round: FUNC DOMAIN: round(x,i): i not integer"},
    {"round huge x", kFnRound, {1e300, 50}, 0, 1e300},
    {"mod", kFnMod, {7, 3}, 2, 1, {1, -2}, {{1, 1, 0}, {1, 2, 0}, {2, 2, 0}}},
    {"mod negative dividend", kFnMod, {-7, 3}, 1, -1, {1, 2}},
    {"mod negative divisor", kFnMod, {7, -3}, 1, 1, {1, 2}},
    {"mod tiny divisor allowed", kFnMod, {5e-30, 2e-30}, 0, 1e-30},
    {"mod divisor below 1e-30", kFnMod, {1, 9.9e-31}, 0, 0, {}, {}, 1, "mod: FUNC DOMAIN: x < 1e-30"},
    {"mod divisor 0", kFnMod, {1, 0}, 0, 0, {}, {}, 1, "mod: FUNC DOMAIN: x < 1e-30"},
    {"trunc", kFnTrunc, {-2.7}, 1, -2, {0}},
    {"sign negative", kFnSign, {-3}, 0, -1},
    {"sign zero", kFnSign, {0}, 0, 0},
    {"sign tiny", kFnSign, {1e-300}, 0, 1},
    {"min tie picks x", kFnMin, {3, 3}, 1, 3, {1, 0}},
    {"max tie picks x", kFnMax, {3, 3}, 1, 3, {1, 0}},
    {"min second", kFnMin, {2, 1}, 1, 1, {0, 1}},
    {"max second", kFnMax, {1, 2}, 1, 2, {0, 1}},
    {"min of three, third smallest", kFnMin, {5, 4, 1}, 1, 1, {0, 0, 0}},
    {"max of three", kFnMax, {1, 7, 3}, 1, 7, {0, 1, 0}},
    {"frac", kFnFrac, {-2.75}, 2, -0.75, {1}, {{1, 1, 0}}},
    {"frac zero", kFnFrac, {0}, 1, 0, {1}},
    {"PI", kFnPi, {}, 0, kPi},
    {"bool_not 0", kFnBoolNot, {0}, 0, 1},
    {"bool_not 2", kFnBoolNot, {2}, 1, 0, {0}},
    {"bool_and", kFnBoolAnd, {1, -1}, 0, 1},
    {"bool_and false", kFnBoolAnd, {1, 0}, 0, 0},
    {"bool_or", kFnBoolOr, {0, 0}, 0, 0},
    {"bool_or true", kFnBoolOr, {0, 0.5}, 0, 1},
    {"bool_xor both", kFnBoolXor, {1, 1}, 0, 0},
    {"bool_xor one", kFnBoolXor, {1, 0}, 0, 1},
    {"bool_imp false premise", kFnBoolImp, {0, 0}, 0, 1},
    {"bool_imp broken", kFnBoolImp, {1, 0}, 0, 0},
    {"bool_imp kept", kFnBoolImp, {1, 3}, 0, 1},
    {"bool_eqv", kFnBoolEqv, {0, 0}, 0, 1},
    {"bool_eqv differs", kFnBoolEqv, {2, 0}, 0, 0},
    {"rel_eq", kFnRelEq, {1, 1}, 1, 1, {0, 0}},
    {"rel_gt", kFnRelGt, {2, 1}, 0, 1},
    {"rel_gt equal", kFnRelGt, {1, 1}, 0, 0},
    {"rel_ge equal", kFnRelGe, {1, 1}, 0, 1},
    {"rel_lt", kFnRelLt, {1, 2}, 0, 1},
    {"rel_le", kFnRelLe, {2, 1}, 0, 0},
    {"rel_ne", kFnRelNe, {1, 2}, 0, 1},
    {"IfThen true", kFnIfThen, {1, 5, 7}, 2, 5, {0, 1, 0}, {{3, 3, 0}}},
    {"IfThen false", kFnIfThen, {0, 5, 7}, 1, 7, {0, 0, 1}},
    {"MathOVal", kFnMathOVal, {}, 0, B},
};

const EvalCase kElementary[] = {
    {"sqr", kFnSqr, {3}, 2, 9, {6}, {{1, 1, 2}}},
    {"sqr at SQRTBIG", kFnSqr, {-3.16227766016838e149}, 1, 3.16227766016838e149 * 3.16227766016838e149, {-2 * 3.16227766016838e149}},
    {"sqr above SQRTBIG", kFnSqr, {-3.2e149}, 2, B, {-B}, {{1, 1, 2}}, 0, "sqr: FUNC OVERFLOW: |x| too large"},
    {"exp", kFnExp, {1}, 2, kE, {kE}, {{1, 1, kE}}},
    {"exp below LNBIG", kFnExp, {688.47}, 0, std::exp(688.47)},
    {"exp above LNBIG", kFnExp, {688.473}, 2, B, {B}, {{1, 1, B}}, 0, "exp: FUNC OVERFLOW: x too large"},
    {"exp 700", kFnExp, {700}, 0, B, {}, {}, 0, "exp: FUNC OVERFLOW: x too large"},
    {"log", kFnLog, {kE}, 2, 1, {1 / kE}, {{1, 1, -1 / (kE * kE)}}},
    {"log negative", kFnLog, {-1}, 2, 0, {0}, {{1, 1, 0}}, 1, "log: FUNC DOMAIN: x < 0"},
    {"log 0", kFnLog, {0}, 2, -B, {B}, {{1, 1, -B}}, 1, "log: FUNC SINGULAR: x = 0"},
    {"log tiny", kFnLog, {1e-300}, 0, -B, {}, {}, 1, "log: FUNC SINGULAR: x tiny"},
    {"log at TINY", kFnLog, {1e-299}, 0, -B, {}, {}, 1, "log: FUNC SINGULAR: x tiny"},
    {"log above TINY", kFnLog, {2e-299}, 2, std::log(2e-299), {1 / 2e-299}, {{1, 1, -1 / (3.7983e-150 * 3.7983e-150)}}},
    {"log Hessian below cap", kFnLog, {3.79e-150}, 2, std::log(3.79e-150), {1 / 3.79e-150}, {{1, 1, -1 / (3.7983e-150 * 3.7983e-150)}}},
    {"log Hessian above cap", kFnLog, {3.8e-150}, 2, std::log(3.8e-150), {1 / 3.8e-150}, {{1, 1, -1 / 3.8e-150 / 3.8e-150}}},
    {"log10", kFnLog10, {100}, 2, 2, {1 / (100 * kLn10)}, {{1, 1, -1 / (1e4 * kLn10)}}},
    {"log10 0", kFnLog10, {0}, 2, -B / kLn10, {B / kLn10}, {{1, 1, -B / kLn10}}, 1, "log10: FUNC SINGULAR: x = 0"},
    {"log2", kFnLog2, {8}, 2, 3, {1 / (8 * kLn2)}, {{1, 1, -1 / (64 * kLn2)}}},
    {"log2 negative", kFnLog2, {-1}, 0, 0, {}, {}, 1, "log2: FUNC DOMAIN: x < 0"},
    {"sqrt", kFnSqrt, {4}, 2, 2, {0.25}, {{1, 1, -1.0 / 32}}},
    {"sqrt negative", kFnSqrt, {-1}, 2, 0, {0}, {{1, 1, 0}}, 1, "sqrt: FUNC DOMAIN: x < 0"},
    {"sqrt 0 value only", kFnSqrt, {0}, 0, 0},
    {"sqrt 0 gradient", kFnSqrt, {0}, 1, 0, {1e10}, {}, 2, "sqrt: GRAD SINGULAR: x tiny"},
    {"sqrt below TINY23", kFnSqrt, {1.8e-200}, 2, std::sqrt(1.8e-200), {1e10}, {{1, 1, -1e10}}, 2, "sqrt: GRAD SINGULAR: x tiny"},
    {"sqrt above TINY23", kFnSqrt, {1.85e-200}, 2, std::sqrt(1.85e-200), {0.5 / std::sqrt(1.85e-200)}, {{1, 1, -0.25 / std::sqrt(1.85e-200) / 1.85e-200}}},
    {"abs", kFnAbs, {-2}, 2, 2, {-1}, {{1, 1, 0}}},
    {"abs at 1e-100", kFnAbs, {-1e-100}, 1, 1e-100, {1}, {}, 2, "abs: GRAD SIGLOSS: x < 1e-100"},
    {"abs above 1e-100", kFnAbs, {-1.1e-100}, 1, 1.1e-100, {-1}},
    {"abs 0 value only", kFnAbs, {0}, 0, 0},
    {"cos", kFnCos, {0}, 2, 1, {0}, {{1, 1, -1}}},
    {"sin", kFnSin, {kPi / 6}, 2, std::sin(kPi / 6), {std::cos(kPi / 6)}, {{1, 1, -std::sin(kPi / 6)}}},
    {"cos at 1e12", kFnCos, {-1e12}, 0, std::cos(1e12)},
    {"sin above 1e12", kFnSin, {1.0000001e12}, 0, 0, {}, {}, 1, "sin: FUNC SIGLOSS: |x| > 1e12"},
    {"cos above 1e12", kFnCos, {-1.0000001e12}, 0, 0, {}, {}, 1, "cos: FUNC SIGLOSS: |x| > 1e12"},
    {"tan", kFnTan, {kPi / 4}, 2, std::tan(kPi / 4), {1 + std::tan(kPi / 4) * std::tan(kPi / 4)}, {{1, 1, 2 * (1 + std::tan(kPi / 4) * std::tan(kPi / 4)) * std::tan(kPi / 4)}}},
    {"tan negative", kFnTan, {-0.5}, 2, std::tan(-0.5), {1 / (std::cos(0.5) * std::cos(0.5))}, {{1, 1, -2 * std::tan(0.5) / (std::cos(0.5) * std::cos(0.5))}}},
    {"tan above 1e12", kFnTan, {2e12}, 0, 0, {}, {}, 1, "tan: FUNC SIGLOSS: |x| > 1e12"},
    {"arctan", kFnArctan, {1}, 2, kPi / 4, {0.5}, {{1, 1, -0.5}}},
    {"arctan below CBRTBIG", kFnArctan, {4.6e99}, 1, std::atan(4.6e99), {1 / (1 + 4.6e99 * 4.6e99)}},
    {"arctan above CBRTBIG", kFnArctan, {4.7e99}, 2, kPi / 2, {0}, {{1, 1, 0}}},
    {"arctan large negative", kFnArctan, {-5e99}, 0, -kPi / 2},
    {"arccos", kFnArccos, {0.5}, 2, kPi / 3, {-1 / std::sqrt(0.75)}, {{1, 1, -0.5 / std::pow(0.75, 1.5)}}},
    {"arccos 1", kFnArccos, {1}, 2, 0, {-B}, {{1, 1, -B}}, 2, "arccos: GRAD SINGULAR: x = 1"},
    {"arccos -1", kFnArccos, {-1}, 2, kPi, {-B}, {{1, 1, B}}, 2, "arccos: GRAD SINGULAR: x = -1"},
    {"arccos 1 value only", kFnArccos, {1}, 0, 0},
    {"arccos beyond 1", kFnArccos, {1.0000001}, 0, 0, {}, {}, 1, "arccos: FUNC DOMAIN: |x| > 1"},
    {"arcsin", kFnArcsin, {0.5}, 2, kPi / 6, {1 / std::sqrt(0.75)}, {{1, 1, 0.5 / std::pow(0.75, 1.5)}}},
    {"arcsin 1", kFnArcsin, {1}, 2, kPi / 2, {B}, {{1, 1, B}}, 2, "arcsin: GRAD SINGULAR: x = 1"},
    {"arcsin -1", kFnArcsin, {-1}, 2, -kPi / 2, {B}, {{1, 1, -B}}, 2, "arcsin: GRAD SINGULAR: x = -1"},
    {"arcsin beyond -1", kFnArcsin, {-1.5}, 0, 0, {}, {}, 1, "arcsin: FUNC DOMAIN: |x| > 1"},
    // d/dx atan2(x,y) = y/(x^2+y^2), d/dy = -x/(x^2+y^2), second derivatives -2xy, x^2-y^2, 2xy over (x^2+y^2)^2.
    {"arctan2 first quadrant", kFnArctan2, {1, 1}, 2, kPi / 4, {0.5, -0.5}, {{1, 1, -0.5}, {1, 2, 0}, {2, 2, 0.5}}},
    {"arctan2 second quadrant", kFnArctan2, {1, -1}, 2, 3 * kPi / 4, {-0.5, -0.5}, {{1, 1, 0.5}, {1, 2, 0}, {2, 2, -0.5}}},
    {"arctan2 general", kFnArctan2, {-3, 4}, 2, std::atan2(-3.0, 4.0), {4.0 / 25, 3.0 / 25}, {{1, 1, 24.0 / 625}, {1, 2, -7.0 / 625}, {2, 2, -24.0 / 625}}},
    {"arctan2 origin", kFnArctan2, {0, 0}, 2, 0, {0, 0}, {}, 1, "arctan2: FUNC SINGULAR: x=0,y=0"},
    {"arctan2 y = 0", kFnArctan2, {2, 0}, 2, kPi / 2, {0, -0.5}, {{1, 1, 0}, {1, 2, 0.25}, {2, 2, 0}}},
    {"arctan2 y = 0, x negative", kFnArctan2, {-2, 0}, 1, -kPi / 2, {0, 0.5}},
    {"arctan2 y = 0, x tiny", kFnArctan2, {1e-160, 0}, 2, kPi / 2, {0, -1e160}, {{1, 2, B}}, 3, "arctan2: HESS SINGULAR: x=0"},
    {"arctan2 y = 0, x above SQRTTINY", kFnArctan2, {1e-149, 0}, 2, kPi / 2, {0, -1e149}, {{1, 2, 1 / (1e-149 * 1e-149)}}},
    {"arctan2 nearly vertical", kFnArctan2, {1, 1e-17}, 2, kPi / 2, {1e-17, -1}, {{1, 1, -2e-17}, {1, 2, 1}, {2, 2, 2e-17}}},
    {"arctan2 nearly vertical down", kFnArctan2, {-1, 1e-17}, 2, -kPi / 2, {1e-17, 1}, {{1, 1, 2e-17}, {1, 2, 1}, {2, 2, -2e-17}}},
    {"arctan2 nearly vertical, x tiny", kFnArctan2, {1e-200, 1e-217}, 2, kPi / 2, {}, {{1, 2, B}}, 3, "arctan2: HESS SINGULAR: x nearly 0"},
    {"arctan2 ratio at 1e-16 is general", kFnArctan2, {1, 2e-16}, 0, std::atan2(1.0, 2e-16)},
    {"arctan2 tiny both, Hessian cut", kFnArctan2, {1e-160, 2e-160}, 2, std::atan2(1.0, 2.0), {0.8 / 2e-160, -0.4 / 2e-160}, {{1, 1, -B}, {1, 2, -B}, {2, 2, B}}, 3, "arctan2: HESS SINGULAR: x nearly 0"},
    {"errorf 0", kFnErrorf, {0}, 2, 0.5, {1 / std::sqrt(2 * kPi)}, {{1, 1, 0}}},
    {"errorf -1", kFnErrorf, {-1}, 2, 0.15865525393145707, {std::exp(-0.5) / std::sqrt(2 * kPi)}, {{1, 1, std::exp(-0.5) / std::sqrt(2 * kPi)}}},
    {"errorf 1.96", kFnErrorf, {1.96}, 0, 0.9750021048517795},
    {"errorf 40", kFnErrorf, {40}, 2, 1, {0}, {{1, 1, 0}}},
    {"Entropy 1", kFnEntropy, {1}, 2, 0, {-1}, {{1, 1, -1}}},
    {"Entropy e", kFnEntropy, {kE}, 2, -kE, {-2}, {{1, 1, -1 / kE}}},
    {"Entropy 0", kFnEntropy, {0}, 2, 0, {B}, {{1, 1, -B}}, 2, "Entropy: GRAD SINGULAR: x = 0"},
    {"Entropy 0 value only", kFnEntropy, {0}, 0, 0},
    {"Entropy negative", kFnEntropy, {-1}, 0, 0, {}, {}, 1, "Entropy: FUNC DOMAIN: x < 0"},
    {"Entropy below TINY", kFnEntropy, {1e-300}, 2, -1e-300 * std::log(1e-300), {-1 - std::log(1e-300)}, {{1, 1, -B}}},
    {"Entropy above TINY", kFnEntropy, {2e-299}, 2, -2e-299 * std::log(2e-299), {-1 - std::log(2e-299)}, {{1, 1, -1 / 2e-299}}},
    {"Entropy beyond the double range", kFnEntropy, {1.7e308}, 0, -B, {}, {}, 0, "Entropy: FUNC OVERFLOW: x too large"},
    {"Sigmoid 0", kFnSigmoid, {0}, 2, 0.5, {0.25}, {{1, 1, 0}}},
    {"Sigmoid 2", kFnSigmoid, {2}, 2, 1 / (1 + std::exp(-2.0)), {std::exp(-2.0) / ((1 + std::exp(-2.0)) * (1 + std::exp(-2.0)))}, {{1, 1, std::exp(-2.0) * (std::exp(-2.0) - 1) / std::pow(1 + std::exp(-2.0), 3)}}},
    {"Sigmoid -2", kFnSigmoid, {-2}, 2, 1 / (1 + std::exp(2.0)), {std::exp(-2.0) / ((1 + std::exp(-2.0)) * (1 + std::exp(-2.0)))}, {{1, 1, -std::exp(-2.0) * (std::exp(-2.0) - 1) / std::pow(1 + std::exp(-2.0), 3)}}},
    {"Sigmoid far left", kFnSigmoid, {-800}, 2, 0, {0}, {{1, 1, 0}}},
    {"Sigmoid far right", kFnSigmoid, {800}, 2, 1, {0}, {{1, 1, 0}}},
    {"sinh", kFnSinh, {1}, 2, (kE - 1 / kE) / 2, {(kE + 1 / kE) / 2}, {{1, 1, (kE - 1 / kE) / 2}}},
    {"sinh near 0 keeps precision", kFnSinh, {1e-10}, 0, 1e-10},
    {"sinh below LNBIG2", kFnSinh, {689.16}, 0, std::exp(689.16) / 2},
    {"sinh above LNBIG2", kFnSinh, {689.17}, 2, B, {B}, {{1, 1, B}}, 0, "sinh: FUNC OVERFLOW: x too large"},
    {"sinh below -LNBIG2", kFnSinh, {-689.17}, 2, -B, {B}, {{1, 1, -B}}, 0, "sinh: FUNC OVERFLOW: -x too large"},
    {"cosh", kFnCosh, {0}, 2, 1, {0}, {{1, 1, 1}}},
    {"cosh above LNBIG2", kFnCosh, {689.17}, 2, B, {B}, {{1, 1, B}}, 0, "cosh: FUNC OVERFLOW: x too large"},
    {"cosh below -LNBIG2", kFnCosh, {-689.17}, 2, B, {-B}, {{1, 1, B}}, 0, "cosh: FUNC OVERFLOW: -x too large"},
    {"cosh at -689.16", kFnCosh, {-689.16}, 0, std::exp(689.16) / 2},
    {"tanh", kFnTanh, {0.5}, 2, std::tanh(0.5), {1 - std::tanh(0.5) * std::tanh(0.5)}, {{1, 1, -2 * std::tanh(0.5) * (1 - std::tanh(0.5) * std::tanh(0.5))}}},
    {"tanh near 0 keeps precision", kFnTanh, {1e-10}, 0, 1e-10},
    {"tanh large", kFnTanh, {400}, 2, 1, {0}, {{1, 1, 0}}},
    {"tanh large negative", kFnTanh, {-400}, 2, -1, {0}, {{1, 1, 0}}},
    {"Logit half", kFnLogit, {0.5}, 2, 0, {4}, {{1, 1, 0}}},
    {"Logit quarter", kFnLogit, {0.25}, 2, std::log(1.0 / 3), {4 + 4.0 / 3}, {{1, 1, 1 / 0.5625 - 16}}},
    {"Logit 1", kFnLogit, {1}, 2, B, {B}, {{1, 1, B}}, 1, "Logit: FUNC SINGULAR: x = 1"},
    {"Logit 0", kFnLogit, {0}, 2, -B, {B}, {{1, 1, -B}}, 1, "Logit: FUNC SINGULAR: x = 0"},
    {"Logit tiny", kFnLogit, {1e-300}, 0, -B, {}, {}, 1, "Logit: FUNC SINGULAR: x tiny"},
    {"Logit above TINY", kFnLogit, {2e-299}, 2, std::log(2e-299), {1 / 2e-299 + 1}, {{1, 1, 1 - 1 / (3.7983e-150 * 3.7983e-150)}}},
    {"Logit negative", kFnLogit, {-0.1}, 0, 0, {}, {}, 1, "Logit: FUNC DOMAIN: x < 0"},
    {"Logit above 1", kFnLogit, {1.1}, 0, 0, {}, {}, 1, "Logit: FUNC DOMAIN: x > 1"},
};

const EvalCase kPowers[] = {
    {"power cube", kFnPower, {2, 3}, 2, 8, {12, 0}, {{1, 1, 12}, {1, 2, 0}, {2, 2, 0}}},
    {"power negative base odd", kFnPower, {-2, 3}, 2, -8, {12}, {{1, 1, -12}}},
    {"power even", kFnPower, {-2, 4}, 2, 16, {-32}, {{1, 1, 48}}},
    {"power 0", kFnPower, {3, 0}, 2, 1, {0, 0}, {{1, 1, 0}}},
    {"power 1", kFnPower, {3, 1}, 2, 3, {1, 0}, {{1, 1, 0}}},
    {"power 2", kFnPower, {3, 2}, 2, 9, {6, 0}, {{1, 1, 2}}},
    {"power 2 overflow", kFnPower, {3.2e149, 2}, 1, B, {B}, {}, 0, "power: FUNC OVERFLOW: pow(x,2), |x| too large"},
    {"power -2", kFnPower, {2, -2}, 2, 0.25, {-0.25}, {{1, 1, 0.375}}},
    {"power -2 below QRTTINY", kFnPower, {-1.7e-75, -2}, 2, B, {B}, {{1, 1, B}}, 1, "power: FUNC SINGULAR: pow(x,-2), |x| too small"},
    {"power -2 above QRTTINY", kFnPower, {1.8e-75, -2}, 0, 1 / (1.8e-75 * 1.8e-75)},
    {"power -1", kFnPower, {4, -1}, 2, 0.25, {-1.0 / 16}, {{1, 1, 2.0 / 64}}},
    {"power -1 below CBRTTINY", kFnPower, {2.1e-100, -1}, 2, B, {-B}, {{1, 1, B}}, 1, "power: FUNC SINGULAR: pow(x,-1), |x| too small"},
    {"power -1 below CBRTTINY negative", kFnPower, {-2.1e-100, -1}, 2, -B, {-B}, {{1, 1, -B}}, 1, "power: FUNC SINGULAR: pow(x,-1), |x| too small"},
    {"power -1 above CBRTTINY", kFnPower, {2.2e-100, -1}, 0, 1 / 2.2e-100},
    {"power -3", kFnPower, {2, -3}, 2, 0.125, {-0.1875}, {{1, 1, 0.375}}},
    {"power not integer", kFnPower, {2, 2.5}, 0, 0, {}, {}, 1, "power: FUNC DOMAIN: pow(x,i), i not integer"},
    {"power nearly integer", kFnPower, {2, 3.00009}, 0, 8},
    {"power just not integer", kFnPower, {2, 3.00011}, 0, 0, {}, {}, 1, "power: FUNC DOMAIN: pow(x,i), i not integer"},
    {"power maxint", kFnPower, {2, 2147483647}, 0, 0, {}, {}, 1, "power: FUNC DOMAIN: pow(x,i), i > maxint"},
    {"power below maxint overflows", kFnPower, {2, 2147483646}, 0, B, {}, {}, 0, "power: FUNC OVERFLOW: |x| too large"},
    {"power 0 base negative odd exponent", kFnPower, {0, -3}, 2, B, {0}, {{1, 1, B}}, 1, "power: FUNC SINGULAR: pow(x,i), |x| tiny, i < 0"},
    {"power tiny negative base odd", kFnPower, {-1e-31, -3}, 2, -B, {B}, {{1, 1, B}}, 1, "power: FUNC SINGULAR: pow(x,i), |x| tiny, i < 0"},
    {"power tiny negative base even", kFnPower, {-1e-31, -4}, 0, B, {}, {}, 1, "power: FUNC SINGULAR: pow(x,i), |x| tiny, i < 0"},
    {"power tiny base positive exponent", kFnPower, {1e-31, 3}, 2, 0, {0}, {{1, 1, 0}}},
    {"power base at 1e-30", kFnPower, {1e-30, 3}, 0, 1e-90},
    {"power 10^298", kFnPower, {10, 298}, 0, 1e298},
    {"power 10^300 overflows", kFnPower, {10, 300}, 1, B, {}, {}, 0, "power: FUNC OVERFLOW: |x| too large"},
    {"power 1e80 cubed", kFnPower, {1e80, 3}, 0, 1e240},
    {"power reciprocal too small", kFnPower, {1e-10, -30}, 0, B, {}, {}, 1, "power: FUNC SINGULAR: |x| too small"},
    {"power reciprocal", kFnPower, {1e-10, -29}, 0, 1e290},
    {"power reciprocal of overflow is 0", kFnPower, {1e10, -31}, 2, 0, {0}, {{1, 1, 0}}},
    {"power gradient overflow", kFnPower, {1e-29, -10}, 1, 1e290, {-B}, {}, 0, "power: GRAD OVERFLOW: |x| too small"},
    {"rPower", kFnRPower, {2, 0.5}, 2, std::sqrt(2.0), {0.25 * std::sqrt(2.0), kLn2 * std::sqrt(2.0)}, {{1, 1, -0.125 * std::sqrt(2.0) / 2}, {1, 2, std::sqrt(2.0) / 2 * (1 + 0.5 * kLn2)}, {2, 2, kLn2 * kLn2 * std::sqrt(2.0)}}},
    {"rPower negative base", kFnRPower, {-1, 2}, 0, 0, {}, {}, 1, "rPower: FUNC DOMAIN: x**y, x < 0"},
    {"rPower 0^0.5", kFnRPower, {0, 0.5}, 1, 0, {1e10, 0}, {}, 2, "rPower: GRAD DOMAIN: x**y, x=0,0<y<1"},
    {"rPower 0^0.5 value only", kFnRPower, {0, 0.5}, 0, 0},
    {"rPower 0^-1", kFnRPower, {0, -1}, 0, 0, {}, {}, 1, "rPower: FUNC DOMAIN: x**y, x=0,y<0"},
    {"rPower 0^0 value only", kFnRPower, {0, 0}, 0, 1},
    {"rPower 0^0 gradient", kFnRPower, {0, 0}, 1, 1, {0, 0}, {}, 2, "rPower: GRAD DOMAIN: x**y, x=0,y=0"},
    {"rPower 0^1", kFnRPower, {0, 1}, 2, 0, {1, 0}, {{1, 1, 0}, {2, 2, 0}}, 3, "rPower: HESS SINGULAR: x**y at x=0,y=1"},
    {"rPower 0^1 gradient only", kFnRPower, {0, 1}, 1, 0, {1, 0}},
    {"rPower 0^1.5", kFnRPower, {0, 1.5}, 2, 0, {0, 0}, {{1, 1, B}, {2, 2, 0}}, 3, "rPower: HESS SINGULAR: x**y at x=0,1<y<=2"},
    {"rPower 0^2", kFnRPower, {0, 2}, 2, 0, {0, 0}, {{1, 1, 2}, {2, 2, 0}}, 3, "rPower: HESS SINGULAR: x**y at x=0,1<y<=2"},
    {"rPower 0^3", kFnRPower, {0, 3}, 2, 0, {0, 0}, {{1, 1, 0}, {1, 2, 0}, {2, 2, 0}}},
    {"rPower base at 1e-30", kFnRPower, {1e-30, 2}, 1, 1e-60, {0, 0}},
    {"rPower base above 1e-30", kFnRPower, {1.1e-30, 2}, 1, 1.21e-60, {2.2e-30, std::log(1.1e-30) * 1.21e-60}},
    {"rPower large, x > 1", kFnRPower, {10, 200}, 1, 1e200, {2e201, kLn10 * 1e200}},
    {"rPower overflow, x > 1", kFnRPower, {10, 299.5}, 2, B, {B, B}, {{1, 1, B}, {1, 2, B}, {2, 2, B}}, 0, "rPower: FUNC OVERFLOW: x**y, x>1,y>1"},
    {"rPower large, x < 1", kFnRPower, {0.1, -200}, 1, 1e200, {-2e203, -kLn10 * 1e200}},
    {"rPower overflow, x < 1", kFnRPower, {0.1, -300}, 2, B, {-B, -B}, {{1, 1, B}, {1, 2, B}, {2, 2, B}}, 0, "rPower: FUNC OVERFLOW: x**y, x<1,y<-1"},
    {"cvPower", kFnCvPower, {2, 3}, 2, 8, {0, 8 * kLn2}, {{1, 1, 0}, {1, 2, 0}, {2, 2, 8 * kLn2 * kLn2}}},
    {"cvPower base below 1", kFnCvPower, {0.5, 2}, 2, 0.25, {0, -0.25 * kLn2}, {{2, 2, 0.25 * kLn2 * kLn2}}},
    {"cvPower negative base", kFnCvPower, {-1, 2}, 0, 0, {}, {}, 1, "cvPower: FUNC DOMAIN: c**y, c < 0"},
    {"cvPower zero base", kFnCvPower, {0, 5}, 2, 0, {0, 0}, {{2, 2, 0}}},
    {"cvPower overflow", kFnCvPower, {10, 300}, 2, B, {0, B}, {{2, 2, B}}, 0, "cvPower: FUNC OVERFLOW: c**y, |y| too large"},
    {"cvPower overflow base below 1", kFnCvPower, {0.1, -300}, 2, B, {0, -B}, {{2, 2, B}}, 0, "cvPower: FUNC OVERFLOW: c**y, |y| too large"},
    {"vcPower", kFnVcPower, {4, 0.5}, 2, 2, {0.25, 0}, {{1, 1, -1.0 / 32}, {1, 2, 0}, {2, 2, 0}}},
    {"vcPower negative base", kFnVcPower, {-1, 2}, 0, 0, {}, {}, 1, "vcPower: FUNC DOMAIN: x**c, x < 0"},
    {"vcPower 0^-1", kFnVcPower, {0, -1}, 0, 0, {}, {}, 1, "vcPower: FUNC DOMAIN: x**c, x=0, c<0"},
    {"vcPower 0^0", kFnVcPower, {0, 0}, 2, 1, {0}, {{1, 1, 0}}},
    {"vcPower 0^0.5", kFnVcPower, {0, 0.5}, 2, 0, {1e10}, {{1, 1, -B}}, 2, "vcPower: GRAD SINGULAR: x**c, x=0, 0<c<1"},
    {"vcPower 0^0.5 value only", kFnVcPower, {0, 0.5}, 0, 0},
    {"vcPower 0^1", kFnVcPower, {0, 1}, 2, 0, {1}, {{1, 1, 0}}, 3, "vcPower: HESS SINGULAR: x**c, x=0, c=1"},
    {"vcPower 0^1.5", kFnVcPower, {0, 1.5}, 2, 0, {0}, {{1, 1, B}}, 3, "vcPower: HESS SINGULAR: x**c, x=0, 1<c<2"},
    {"vcPower 0^2", kFnVcPower, {0, 2}, 2, 0, {0}, {{1, 1, 2}}},
    {"vcPower 0^3", kFnVcPower, {0, 3}, 2, 0, {0}, {{1, 1, 0}}},
    {"vcPower overflow", kFnVcPower, {10, 300}, 2, B, {B}, {{1, 1, B}}, 0, "vcPower: FUNC OVERFLOW: x**c, x too large"},
    {"vcPower overflow c = 1", kFnVcPower, {1e300, 1}, 2, B, {B}, {{1, 1, -B}}, 0, "vcPower: FUNC OVERFLOW: x**c, x too large"},
    {"vcPower overflow c < 0", kFnVcPower, {0.1, -300}, 2, B, {-B}, {{1, 1, B}}, 0, "vcPower: FUNC OVERFLOW: x**c, x too large"},
    {"vcPower gradient overflow", kFnVcPower, {1e-20, -680 / 46.051701859880914}, 2, std::pow(1e-20, -680 / 46.051701859880914), {-B}, {{1, 1, B}}, 0, "vcPower: GRAD OVERFLOW: x**c, x small, (-c) large"},
    {"vcPower Hessian overflow", kFnVcPower, {1e-20, -630 / 46.051701859880914}, 2, std::pow(1e-20, -630 / 46.051701859880914), {-630 / 46.051701859880914 * std::pow(1e-20, -630 / 46.051701859880914) / 1e-20}, {{1, 1, B}}, 0, "vcPower: HESS OVERFLOW: x**c, x small, (-c) large"},
    {"SignPower negative", kFnSignPower, {-4, 0.5}, 2, -2, {0.25, 0}, {{1, 1, 1.0 / 32}}},
    {"SignPower positive", kFnSignPower, {4, 0.5}, 2, 2, {0.25}, {{1, 1, -1.0 / 32}}},
    {"SignPower cube", kFnSignPower, {-2, 3}, 2, -8, {12}, {{1, 1, -12}}},
    {"SignPower overflow", kFnSignPower, {-1e300, 1}, 0, -B, {}, {}, 0, "SignPower: FUNC OVERFLOW: x**c, x too large"},
    {"SignPower 0^-1", kFnSignPower, {0, -1}, 0, 0, {}, {}, 1, "SignPower: FUNC DOMAIN: x**c, x=0, c<0"},
    {"div", kFnDiv, {1, 4}, 2, 0.25, {0.25, -1.0 / 16}, {{1, 1, 0}, {1, 2, -1.0 / 16}, {2, 2, 2.0 / 64}}},
    {"div by 0", kFnDiv, {1, 0}, 2, B, {B, -B}, {{1, 1, 0}, {1, 2, -B}, {2, 2, B}}, 1, "div: FUNC SINGULAR: x/y, |y| <= 1e-150"},
    {"div by 1e-150", kFnDiv, {-1, 1e-150}, 2, -B, {-B, B}, {{1, 2, B}, {2, 2, -B}}, 1, "div: FUNC SINGULAR: x/y, |y| <= 1e-150"},
    {"div by 1.1e-150", kFnDiv, {1, -1.1e-150}, 0, 1 / -1.1e-150},
    {"div 0 by 0", kFnDiv, {0, 0}, 0, 0, {}, {}, 1, "div: FUNC SINGULAR: x/y, |y| <= 1e-150"},
    {"div quotient overflow", kFnDiv, {1e300, 1e-100}, 0, B, {}, {}, 0, "div: FUNC OVERFLOW: x/y, |x/y| too large"},
    {"div0 by 0", kFnDiv0, {1, 0}, 1, B, {B, -B}},
    {"div0", kFnDiv0, {3, 2}, 0, 1.5},
};
// clang-format on

// A rounded small negative number is 0, not -0 (which would print with a sign elsewhere).
TEST_F(MathFixture, RoundingToZeroHasNoSign) {
  for (int n : {kFnCeil, kFnRound, kFnTrunc}) {
    Eval(n, {-0.4});
    EXPECT_EQ(ctx.value(), 0) << function_name(n);
    EXPECT_FALSE(std::signbit(ctx.value())) << function_name(n);
  }
}

INSTANTIATE_TEST_SUITE_P(RoundingAndSelection, Rules, ::testing::ValuesIn(kRounding));
INSTANTIATE_TEST_SUITE_P(Elementary, Rules, ::testing::ValuesIn(kElementary));
INSTANTIATE_TEST_SUITE_P(PowersAndDivision, Rules, ::testing::ValuesIn(kPowers));

}  // namespace
}  // namespace qlink
