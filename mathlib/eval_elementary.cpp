// Elementary functions: sqr, exp, the logarithms, sqrt, abs, the trigonometric and hyperbolic
// functions and their inverses, errorf, Entropy, Sigmoid and Logit.
#include <cmath>

#include "mathlib/mathnew_rules.h"

namespace qlink::mathnew_detail {

namespace {

constexpr double kInvLn10 = 0.4342944819032518;
constexpr double kInvLn2 = 1.442695040888963;
constexpr double kInvSqrt2Pi = 0.3989422804014327;
constexpr double kTanHessCap = kCbrtBig * 0.7937005259840997;

// x*x guarded against overflow; `text` names the overflow.
void Square(Call& c, std::string_view text) {
  const double x = c.x(1);
  c.hess(1, 1, 2.0);
  if (std::fabs(x) > kSqrtBig) {
    c.value(kBig);
    c.grad(1, sign_of(x) * kBig);
    c.error(kMathFunc, kMathOverflow, text);
    return;
  }
  c.value(x * x);
  c.grad(1, 2 * x);
}

void Sqr(Call& c) { Square(c, "|x| too large"); }

void Exp(Call& c) {
  const double x = c.x(1);
  const bool overflow = x > kLnBig;
  const double v = overflow ? kBig : std::exp(x);
  c.value(v);
  c.grad(1, v);
  c.hess(1, 1, v);
  if (overflow) c.error(kMathFunc, kMathOverflow, "x too large");
}

// Natural logarithm times `factor` with its guards.
void ScaledLog(Call& c, double factor) {
  const double x = c.x(1);
  if (x < 0) {
    c.error(kMathFunc, kMathDomain, "x < 0");
    return;
  }
  if (x <= kTiny) {
    c.value(-kBig * factor);
    c.grad(1, kBig * factor);
    c.hess(1, 1, -kBig * factor);
    c.error(kMathFunc, kMathSingular, x > 0 ? "x tiny" : "x = 0");
    return;
  }
  const double g = 1 / x;
  c.value(std::log(x) * factor);
  c.grad(1, g * factor);
  c.hess(1, 1, (x > kLogHCap ? -g / x : -1 / (kLogHCap * kLogHCap)) * factor);
}

void Log(Call& c) { ScaledLog(c, 1.0); }
void Log10(Call& c) { ScaledLog(c, kInvLn10); }
void Log2(Call& c) { ScaledLog(c, kInvLn2); }

void Sqrt(Call& c) {
  const double x = c.x(1);
  if (x < 0) {
    c.error(kMathFunc, kMathDomain, "x < 0");
    return;
  }
  const double v = std::sqrt(x);
  c.value(v);
  if (c.mode() == 0) return;
  if (x < kTiny23) {
    c.grad(1, kGradCap);
    c.hess(1, 1, -kGradCap);
    c.error(kMathGrad, kMathSingular, "x tiny");
    return;
  }
  const double g = 0.5 / v;
  c.grad(1, g);
  c.hess(1, 1, -0.5 * g / x);
}

void Abs(Call& c) {
  const double x = c.x(1);
  c.value(std::fabs(x));
  if (c.mode() == 0) return;
  if (std::fabs(x) <= 1e-100) {
    c.grad(1, 1.0);
    c.error(kMathGrad, kMathSigloss, "x < 1e-100");
    return;
  }
  c.grad(1, sign_of(x));
}

// Arguments beyond 1e12 have lost every digit of their phase; false after reporting that.
bool PhaseKept(Call& c) {
  if (std::fabs(c.x(1)) <= 1e12) return true;
  c.error(kMathFunc, kMathSigloss, "|x| > 1e12");
  return false;
}

void Cos(Call& c) {
  if (!PhaseKept(c)) return;
  const double x = c.x(1), v = std::cos(x);
  c.value(v);
  c.grad(1, -std::sin(x));
  c.hess(1, 1, -v);
}

void Sin(Call& c) {
  if (!PhaseKept(c)) return;
  const double x = c.x(1), v = std::sin(x);
  c.value(v);
  c.grad(1, std::cos(x));
  c.hess(1, 1, -v);
}

void Tan(Call& c) {
  if (!PhaseKept(c)) return;
  const double w = std::tan(c.x(1));
  if (std::fabs(w) >= kBig) {
    c.value(sign_of(w) * kBig);
    c.grad(1, kBig);
    c.hess(1, 1, sign_of(w) * kBig);
    c.error(kMathFunc, kMathSingular, "sin(x) nearly 0");
    return;
  }
  c.value(w);
  if (c.mode() == 0) return;
  if (std::fabs(w) >= kSqrtBig) {
    c.grad(1, kBig);
    c.hess(1, 1, sign_of(w) * kBig);
    c.error(kMathGrad, kMathSingular, "sin(x) nearly 0");
    return;
  }
  const double g = 1 + w * w;
  c.grad(1, g);
  if (w >= kTanHessCap || w <= -kTanHessCap) {
    c.hess(1, 1, sign_of(w) * kBig);
    c.error(kMathHess, kMathSingular, "sin(x) nearly 0");
    return;
  }
  c.hess(1, 1, 2 * g * w);
}

void Arctan(Call& c) {
  const double x = c.x(1);
  if (std::fabs(x) < kCbrtBig) {
    const double g = 1 / (1 + x * x);
    c.value(std::atan(x));
    c.grad(1, g);
    c.hess(1, 1, -2 * x * g * g);
    return;
  }
  c.value(sign_of(x) * kPi / 2);
}

// arccos (`cosine`) or arcsin.
void InverseTrig(Call& c, bool cosine) {
  const double x = c.x(1);
  const double sign = cosine ? -1.0 : 1.0;
  if (std::fabs(x) < 1) {
    const double q = 1 - x * x;
    const double g = 1 / std::sqrt(q);
    c.value(cosine ? std::acos(x) : std::asin(x));
    c.grad(1, sign * g);
    c.hess(1, 1, sign * x * g / q);
    return;
  }
  if (x == 1 || x == -1) {
    c.value(cosine ? (x > 0 ? 0.0 : kPi) : x * kPi / 2);
    if (c.mode() == 0) return;
    c.grad(1, sign * kBig);
    c.hess(1, 1, sign * x * kBig);
    c.error(kMathGrad, kMathSingular, x > 0 ? "x = 1" : "x = -1");
    return;
  }
  c.error(kMathFunc, kMathDomain, "|x| > 1");
}

void Arccos(Call& c) { InverseTrig(c, true); }
void Arcsin(Call& c) { InverseTrig(c, false); }

// Hessian entry v cut to [-BIG, BIG]; a cut is reported once per call.
void ClippedHess(Call& c, int i, int k, double v, bool& clipped) {
  if (!(std::fabs(v) <= kBig)) {
    v = v > 0 ? kBig : -kBig;
    clipped = true;
  }
  c.hess_sym(i, k, v);
}

void Arctan2(Call& c) {
  const double x = c.x(1), y = c.x(2);
  if (x == 0 && y == 0) {
    c.error(kMathFunc, kMathSingular, "x=0,y=0");
    return;
  }
  bool clipped = false;
  if (y == 0) {
    c.value(sign_of(x) * kPi / 2);
    c.grad(2, c.guarded(kMathGrad, -1 / x, "x nearly 0"));
    if (c.mode() > 1) {
      if (std::fabs(x) <= kSqrtTiny) {
        c.hess_sym(1, 2, kBig);
        c.error(kMathHess, kMathSingular, "x=0");
      } else {
        c.hess_sym(1, 2, 1 / (x * x));
      }
    }
    return;
  }
  if (std::fabs(y) < std::fabs(x) && std::fabs(y) / std::fabs(x) < 1e-16) {
    c.value(sign_of(x) * kPi / 2);
    c.grad(1, c.guarded(kMathGrad, y / x / x, "x nearly 0"));
    c.grad(2, c.guarded(kMathGrad, -1 / x, "x nearly 0"));
    if (c.mode() > 1) {
      // Beyond |x| = SQRTTINY the entries stay within [-BIG, BIG]; below it they are cut.
      ClippedHess(c, 1, 1, -2 * y / x / x / x, clipped);
      ClippedHess(c, 1, 2, 1 / x / x, clipped);
      ClippedHess(c, 2, 2, 2 * y / x / x / x, clipped);
      if (std::fabs(x) <= kSqrtTiny) c.error(kMathHess, kMathSingular, "x nearly 0");
    }
    return;
  }
  const double r = x == y ? 1.0 : x / y;
  const double q = 1 + r * r;
  c.value(std::atan2(x, y));
  c.grad(1, c.guarded(kMathGrad, 1 / q / y, "x nearly 0"));
  c.grad(2, c.guarded(kMathGrad, -r / q / y, "x nearly 0"));
  if (c.mode() > 1) {
    const double h11 = -2 * r / (q * q) / y / y;
    ClippedHess(c, 1, 1, h11, clipped);
    ClippedHess(c, 1, 2, (r * r - 1) / (q * q) / y / y, clipped);
    ClippedHess(c, 2, 2, -h11, clipped);
    if (clipped) c.error(kMathHess, kMathSingular, "x nearly 0");
  }
}

void Errorf(Call& c) {
  const double x = c.x(1);
  c.value(0.5 * std::erfc(-x / std::sqrt(2.0)));
  const double g = std::fabs(x) < 40 ? std::exp(-x * x / 2) * kInvSqrt2Pi : 0.0;
  c.grad(1, g);
  c.hess(1, 1, -g * x);
}

void Entropy(Call& c) {
  const double x = c.x(1);
  if (x < 0) {
    c.error(kMathFunc, kMathDomain, "x < 0");
    return;
  }
  if (x == 0) {
    if (c.mode() == 0) return;
    c.grad(1, kBig);
    c.hess(1, 1, -kBig);
    c.error(kMathGrad, kMathSingular, "x = 0");
    return;
  }
  const double l = std::log(x);
  c.value(c.guarded(kMathFunc, -x * l, "x too large"));
  c.grad(1, -1 - l);
  c.hess(1, 1, x < kTiny ? -kBig : -1 / x);
}

void Sigmoid(Call& c) {
  const double x = c.x(1);
  if (x <= 0) {
    const double e = std::exp(x);
    const double v = e / (1 + e);
    const double g = v / (1 + e);
    c.value(v);
    c.grad(1, g);
    c.hess(1, 1, g * (1 - e) / (1 + e));
  } else {
    const double e = std::exp(-x);
    const double g = e / ((1 + e) * (1 + e));
    c.value(1 / (1 + e));
    c.grad(1, g);
    c.hess(1, 1, g * (e - 1) / (1 + e));
  }
}

// sinh (`odd`) or cosh. std::sinh and std::cosh give (e^x -/+ e^-x)/2 without the
// cancellation of the plain formula near 0.
void Hyperbolic(Call& c, bool odd) {
  const double x = c.x(1);
  if (x > kLnBig2) {
    c.value(kBig);
    c.grad(1, kBig);
    c.hess(1, 1, kBig);
    c.error(kMathFunc, kMathOverflow, "x too large");
    return;
  }
  if (x < -kLnBig2) {
    c.value(odd ? -kBig : kBig);
    c.grad(1, odd ? kBig : -kBig);
    c.hess(1, 1, odd ? -kBig : kBig);
    c.error(kMathFunc, kMathOverflow, "-x too large");
    return;
  }
  const double s = std::sinh(x), ch = std::cosh(x);
  c.value(odd ? s : ch);
  c.grad(1, odd ? ch : s);
  c.hess(1, 1, odd ? s : ch);
}

void Sinh(Call& c) { Hyperbolic(c, true); }
void Cosh(Call& c) { Hyperbolic(c, false); }

void Tanh(Call& c) {
  const double x = c.x(1);
  if (x > kLnBig / 2) {
    c.value(1.0);
    return;
  }
  // std::tanh equals (e^2x - 1)/(e^2x + 1) without its cancellation near 0.
  const double v = std::tanh(x);
  const double g = 1 - v * v;
  c.value(v);
  c.grad(1, g);
  c.hess(1, 1, -2 * g * v);
}

void Logit(Call& c) {
  const double x = c.x(1);
  if (x < 0) {
    c.error(kMathFunc, kMathDomain, "x < 0");
    return;
  }
  if (x > 1) {
    c.error(kMathFunc, kMathDomain, "x > 1");
    return;
  }
  if (x == 1) {
    c.value(kBig);
    c.grad(1, kBig);
    c.hess(1, 1, kBig);
    c.error(kMathFunc, kMathSingular, "x = 1");
    return;
  }
  if (x <= kTiny) {
    c.value(-kBig);
    c.grad(1, kBig);
    c.hess(1, 1, -kBig);
    c.error(kMathFunc, kMathSingular, x > 0 ? "x tiny" : "x = 0");
    return;
  }
  const double u = 1 - x;
  c.value(std::log(x / u));
  c.grad(1, 1 / x + 1 / u);
  c.hess(1, 1, 1 / (u * u) - (x <= kLogHCap ? 1 / (kLogHCap * kLogHCap) : 1 / (x * x)));
}

}  // namespace

void add_elementary_rules(RuleTable& t) {
  t[kFnSqr] = Sqr;
  t[kFnExp] = Exp;
  t[kFnLog] = Log;
  t[kFnLog10] = Log10;
  t[kFnLog2] = Log2;
  t[kFnSqrt] = Sqrt;
  t[kFnAbs] = Abs;
  t[kFnCos] = Cos;
  t[kFnSin] = Sin;
  t[kFnTan] = Tan;
  t[kFnArctan] = Arctan;
  t[kFnArccos] = Arccos;
  t[kFnArcsin] = Arcsin;
  t[kFnArctan2] = Arctan2;
  t[kFnErrorf] = Errorf;
  t[kFnEntropy] = Entropy;
  t[kFnSigmoid] = Sigmoid;
  t[kFnSinh] = Sinh;
  t[kFnCosh] = Cosh;
  t[kFnTanh] = Tanh;
  t[kFnLogit] = Logit;
}

// Used by power(x, 2), which differs from sqr only in its overflow text.
void square_with_text(Call& c, std::string_view text) { Square(c, text); }

}  // namespace qlink::mathnew_detail
