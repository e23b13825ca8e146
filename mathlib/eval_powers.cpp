// Powers and division: power (integer exponent), rPower, cvPower, vcPower, SignPower, div and
// div0.
#include <cmath>

#include "mathlib/mathnew_rules.h"

namespace qlink::mathnew_detail {

void square_with_text(Call& c, std::string_view text);

namespace {

constexpr double kMaxInt = 2147483647.0;
constexpr double kZeroBase = 1e-30;  // bases up to this are treated as 0 by the real powers

// x**p for p >= 3 by repeated squaring. A logarithmic test first decides whether |x|**p stays
// below BIG; when it does, no factor of the squaring can leave the double range, and a factor
// that still reaches SQRTBIG before its last use makes the product BIG.
double IntegerPower(double x, long long p) {
  const double ax = std::fabs(x);
  const double sign = (x < 0 && (p & 1)) ? -1.0 : 1.0;
  if (ax > 1 && static_cast<double>(p) * std::log(ax) >= kLnBig) return sign * kBig;
  double product = 1.0, base = x;
  while (true) {
    if (p & 1) product *= base;
    p >>= 1;
    if (p == 0) break;
    if (std::fabs(base) >= kSqrtBig) return sign * kBig;
    base *= base;
  }
  return product;
}

void Power(Call& c) {
  const double x = c.x(1), y = c.x(2);
  if (!(std::fabs(y) < kMaxInt)) {
    c.error(kMathFunc, kMathDomain, "pow(x,i), i > maxint");
    return;
  }
  const double kd = round_half_away(y);
  if (std::fabs(y - kd) > 1e-4) {
    c.error(kMathFunc, kMathDomain, "pow(x,i), i not integer");
    return;
  }
  const auto k = static_cast<long long>(kd);
  const double sx = sign_of(x);
  switch (k) {
    case 0:
      c.value(1.0);
      return;
    case 1:
      c.value(x);
      c.grad(1, 1.0);
      return;
    case 2:
      square_with_text(c, "pow(x,2), |x| too large");
      return;
    case -2:
      if (std::fabs(x) < kQrtTiny) {
        c.value(kBig);
        c.grad(1, -sx * kBig);
        c.hess(1, 1, kBig);
        c.error(kMathFunc, kMathSingular, "pow(x,-2), |x| too small");
        return;
      }
      c.value(1 / (x * x));
      c.grad(1, -2 / (x * x * x));
      c.hess(1, 1, 6 / (x * x * x * x));
      return;
    case -1:
      if (std::fabs(x) < kCbrtTiny) {
        const double s = x < 0 ? -1.0 : 1.0;
        c.value(s * kBig);
        c.grad(1, -kBig);
        c.hess(1, 1, s * kBig);
        c.error(kMathFunc, kMathSingular, "pow(x,-1), |x| too small");
        return;
      }
      c.value(1 / x);
      c.grad(1, -1 / (x * x));
      c.hess(1, 1, 2 / (x * x * x));
      return;
    default:
      break;
  }
  if (std::fabs(x) < kZeroBase) {
    if (k > 0) return;
    const double s = (x < 0 && (k & 1)) ? -1.0 : 1.0;
    c.value(s * kBig);
    c.grad(1, -sx * kBig);
    c.hess(1, 1, kBig);
    c.error(kMathFunc, kMathSingular, "pow(x,i), |x| tiny, i < 0");
    return;
  }
  const double product = IntegerPower(x, k > 0 ? k : -k);
  double v = 0.0;
  std::string_view text = k > 0 ? "|x| too large" : "|x| too small";
  if (k < 0) {
    if (std::fabs(product) >= kBig) return;  // the reciprocal is 0, and so are its derivatives
    if (std::fabs(product) <= kTiny) {
      v = product < 0 ? -kBig : kBig;
      c.error(kMathFunc, kMathSingular, text);
    } else {
      v = 1 / product;
    }
  } else if (std::fabs(product) >= kBig) {
    v = product < 0 ? -kBig : kBig;
    c.error(kMathFunc, kMathOverflow, text);
  } else {
    v = product;
  }
  c.value(v);
  if (c.mode() == 0) return;
  const double kf = static_cast<double>(k);
  const double g = c.guarded(kMathGrad, kf * v / x, text);
  c.grad(1, g);
  if (c.mode() > 1) c.hess(1, 1, c.guarded(kMathHess, (kf - 1) * g / x, text));
}

// Derivative d, or +-BIG with the report (result_code, OVERFLOW, text) when the logarithm of
// its magnitude, `log_magnitude`, exceeds LNBIG.
double LogCapped(Call& c, int result_code, double d, double log_magnitude, double sign,
                 std::string_view text) {
  if (log_magnitude > kLnBig) {
    if (!c.reported()) c.error(result_code, kMathOverflow, text);
    return sign * kBig;
  }
  return c.guarded(result_code, d, text);
}

void RPower(Call& c) {
  const double x = c.x(1), y = c.x(2);
  if (x < 0) {
    c.error(kMathFunc, kMathDomain, "x**y, x < 0");
    return;
  }
  if (x > kZeroBase) {
    const double l = std::log(x);
    const double t = y * l;
    if (t < 460) {
      const double v = std::exp(t);
      const std::string_view text = x > 1 ? "x**y, x>1,y>1" : "x**y, x<1,y<-1";
      c.value(v);
      if (c.mode() == 0) return;
      const double g1 = c.guarded(kMathGrad, y * v / x, text);
      c.grad(1, g1);
      c.grad(2, c.guarded(kMathGrad, l * v, text));
      if (c.mode() == 1) return;
      c.hess(1, 1, c.guarded(kMathHess, (y - 1) * g1 / x, text));
      c.hess_sym(1, 2, c.guarded(kMathHess, (l * v * y + v) / x, text));
      c.hess(2, 2, c.guarded(kMathHess, l * l * v, text));
      return;
    }
    // t >= 460: the value or its derivatives near the top of the range.
    const bool above_one = x > 1;
    const std::string_view text = above_one ? "x**y, x>1,y>1" : "x**y, x<1,y<-1";
    const double gsign = above_one ? 1.0 : -1.0;
    if (t > kLnBig) {
      c.value(kBig);
      c.grad(1, gsign * kBig);
      c.grad(2, gsign * kBig);
      c.hess(1, 1, kBig);
      c.hess_sym(1, 2, kBig);
      c.hess(2, 2, kBig);
      c.error(kMathFunc, kMathOverflow, text);
      return;
    }
    const double v = std::exp(t);
    c.value(v);
    if (c.mode() == 0) return;
    const double ly = std::log(std::fabs(y)), ll = std::log(std::fabs(l));
    c.grad(1, LogCapped(c, kMathGrad, y * v / x, ly + t - l, gsign, text));
    c.grad(2, LogCapped(c, kMathGrad, l * v, ll + t, gsign, text));
    if (c.mode() == 1) return;
    c.hess(
        1, 1,
        LogCapped(c, kMathGrad, (y - 1) * y * v / x / x,
                  std::log(std::fabs(y - 1)) + ly + t - 2 * l, sign_of(y - 1) * sign_of(y), text));
    c.hess_sym(1, 2,
               LogCapped(c, kMathGrad, (l * v * y + v) / x, std::log(std::fabs(l * y + 1)) + t - l,
                         1.0, text));
    c.hess(2, 2, LogCapped(c, kMathGrad, l * l * v, 2 * ll + t, 1.0, text));
    return;
  }
  // 0 <= x <= 1e-30: the base counts as 0.
  if (y < 0) {
    c.error(kMathFunc, kMathDomain, "x**y, x=0,y<0");
    return;
  }
  if (y == 0) {
    c.value(1.0);
    if (c.mode() > 0) c.error(kMathGrad, kMathDomain, "x**y, x=0,y=0");
    return;
  }
  c.value(x == 0 ? 0.0 : std::exp(y * std::log(x)));
  if (y < 1) {
    c.grad(1, kGradCap);
    if (c.mode() > 0) c.error(kMathGrad, kMathDomain, "x**y, x=0,0<y<1");
  } else if (y == 1) {
    c.grad(1, 1.0);
    if (c.mode() > 1) c.error(kMathHess, kMathSingular, "x**y at x=0,y=1");
  } else if (y <= 2) {
    if (c.mode() > 1) {
      c.hess(1, 1, y == 2 ? 2.0 : kBig);
      c.error(kMathHess, kMathSingular, "x**y at x=0,1<y<=2");
    }
  }
}

void CvPower(Call& c) {
  const double base = c.x(1), y = c.x(2);
  if (base < 0) {
    c.error(kMathFunc, kMathDomain, "c**y, c < 0");
    return;
  }
  if (base == 0) return;
  const double l = std::log(base);
  if (y * l > kLnBig) {
    c.value(kBig);
    c.grad(2, base < 1 ? -kBig : kBig);
    c.hess(2, 2, kBig);
    c.error(kMathFunc, kMathOverflow, "c**y, |y| too large");
    return;
  }
  const double v = std::exp(y * l);
  const double g = std::fmin(kBig, v * l);
  c.value(v);
  c.grad(2, g);
  c.hess(2, 2, std::fmin(kBig, l * g));
}

// x**cexp for x >= 0 (the rule of vcPower).
void VcPowerAt(Call& c, double x, double cexp) {
  if (x < 0) {
    c.error(kMathFunc, kMathDomain, "x**c, x < 0");
    return;
  }
  if (x <= kZeroBase) {
    if (cexp < 0) {
      c.error(kMathFunc, kMathDomain, "x**c, x=0, c<0");
      return;
    }
    if (cexp == 0) {
      c.value(1.0);
      return;
    }
    c.value(x == 0 ? 0.0 : std::exp(cexp * std::log(x)));
    if (cexp < 1) {
      if (c.mode() > 0) {
        c.grad(1, kGradCap);
        c.hess(1, 1, -kBig);
        c.error(kMathGrad, kMathSingular, "x**c, x=0, 0<c<1");
      }
    } else if (cexp == 1) {
      c.grad(1, 1.0);
      if (c.mode() > 1) c.error(kMathHess, kMathSingular, "x**c, x=0, c=1");
    } else if (cexp < 2) {
      if (c.mode() > 1) {
        c.hess(1, 1, kBig);
        c.error(kMathHess, kMathSingular, "x**c, x=0, 1<c<2");
      }
    } else if (cexp == 2) {
      c.hess(1, 1, 2.0);
    }
    return;
  }
  const double l = std::log(x);
  if (cexp * l > kLnBig) {
    c.value(kBig);
    c.grad(1, cexp > 0 ? kBig : -kBig);
    c.hess(1, 1, cexp >= 0 && cexp <= 1 ? -kBig : kBig);
    c.error(kMathFunc, kMathOverflow, "x**c, x too large");
    return;
  }
  const double v = std::exp(cexp * l);
  c.value(v);
  if (c.mode() == 0) return;
  if (cexp < -1 && x <= 1) {
    constexpr std::string_view text = "x**c, x small, (-c) large";
    const double lc = std::log(-cexp);
    const double g = LogCapped(c, kMathGrad, cexp * v / x, lc + cexp * l - l, -1.0, text);
    c.grad(1, g);
    if (c.mode() > 1)
      c.hess(1, 1,
             LogCapped(c, kMathHess, (cexp - 1) * (cexp * v / x) / x,
                       std::log(1 - cexp) + lc + cexp * l - 2 * l, 1.0, text));
    return;
  }
  constexpr std::string_view text = "x**c, x too large";
  const double g = c.guarded(kMathGrad, cexp * v / x, text);
  c.grad(1, g);
  if (c.mode() > 1) c.hess(1, 1, c.guarded(kMathHess, (cexp - 1) * g / x, text));
}

void VcPower(Call& c) { VcPowerAt(c, c.x(1), c.x(2)); }

void SignPower(Call& c) {
  const double x = c.x(1);
  VcPowerAt(c, std::fabs(x), c.x(2));
  if (x >= 0) return;
  if (c.reported() && c.first_result_code() == kMathFunc && c.first_exception_code() == kMathDomain)
    return;
  c.value(-c.value());
  if (c.mode() > 1) c.hess(1, 1, -c.context().hessian(1, 1));
}

// x/y; `report_pole` tells whether a divisor of magnitude up to 1e-150 is reported.
void Divide(Call& c, bool report_pole) {
  const double x = c.x(1), y = c.x(2);
  if (std::fabs(y) <= 1e-150) {
    const double v = sign_of(x) * kBig;
    c.value(v);
    c.grad(1, v);
    c.grad(2, -v);
    c.hess_sym(1, 2, -v);
    c.hess(2, 2, v);
    if (report_pole) c.error(kMathFunc, kMathSingular, "x/y, |y| <= 1e-150");
    return;
  }
  constexpr std::string_view text = "x/y, |x/y| too large";
  const double q = x / y;
  c.value(c.guarded(kMathFunc, q, text));
  if (c.mode() == 0) return;
  c.grad(1, 1 / y);
  c.grad(2, c.guarded(kMathGrad, -q / y, text));
  if (c.mode() == 1) return;
  c.hess_sym(1, 2, -1 / (y * y));
  c.hess(2, 2, c.guarded(kMathHess, 2 * q / y / y, text));
}

void Div(Call& c) { Divide(c, true); }
void Div0(Call& c) { Divide(c, false); }

}  // namespace

void add_power_rules(RuleTable& t) {
  t[kFnPower] = Power;
  t[kFnRPower] = RPower;
  t[kFnCvPower] = CvPower;
  t[kFnVcPower] = VcPower;
  t[kFnSignPower] = SignPower;
  t[kFnDiv] = Div;
  t[kFnDiv0] = Div0;
}

}  // namespace qlink::mathnew_detail
