// Rounding and selection: ceil, floor, round, mod, trunc, sign, min, max, frac, PI, the boolean
// and relational functions, IfThen and MathOVal.
#include <cmath>

#include "mathlib/mathnew_rules.h"

namespace qlink::mathnew_detail {

namespace {

void Ceil(Call& c) {
  const double x = c.x(1);
  if (x == 0.0) return;
  double t = truncate(x);
  if (x > 0 && t != x) t += 1;
  c.value(t);
}

void Floor(Call& c) {
  const double x = c.x(1);
  if (x == 0.0) return;
  double t = truncate(x);
  if (x < 0 && t != x) t -= 1;
  c.value(t);
}

// 10**e for 0 <= e < 100 by repeated squaring.
double PowerOfTen(int e) {
  double f = 1.0, base = 10.0;
  while (e > 0) {
    if (e & 1) f *= base;
    e >>= 1;
    if (e > 0) base *= base;
  }
  return f;
}

void Round(Call& c) {
  const double x = c.x(1);
  if (c.num_args() < 2) {
    c.value(round_half_away(x));
    return;
  }
  const double y = c.x(2);
  if (!(std::fabs(y) < 100)) {
    c.error(kMathFunc, kMathDomain, "round(x,i): |i| >= 100");
    return;
  }
  const double d = round_half_away(y);
  if (std::fabs(y - d) > 1e-4) {
    c.error(kMathFunc, kMathDomain, "round(x,i): i not integer");
    return;
  }
  const int digits = static_cast<int>(d);
  if (digits == 0) {
    c.value(round_half_away(x));
    return;
  }
  const double f = PowerOfTen(digits > 0 ? digits : -digits);
  const double scaled = digits > 0 ? x * f : x / f;
  // A scaled value beyond the double range has no digits left to round.
  if (!std::isfinite(scaled)) {
    c.value(x);
    return;
  }
  c.value(digits > 0 ? round_half_away(scaled) / f : round_half_away(scaled) * f);
}

void Mod(Call& c) {
  const double x = c.x(1), y = c.x(2);
  if (!(std::fabs(y) >= 1e-30)) {
    c.error(kMathFunc, kMathDomain, "x < 1e-30");
    return;
  }
  const double q = truncate(x / y);
  if (!std::isfinite(q)) {
    // The quotient leaves the double range: the remainder itself is still representable.
    c.value(std::fmod(x, y));
    c.grad(1, 1.0);
    c.grad(2, -sign_of(x / y) * kBig);
    return;
  }
  c.value(x - y * q);
  c.grad(1, 1.0);
  c.grad(2, -q);
}

void Trunc(Call& c) { c.value(truncate(c.x(1))); }

void Sign(Call& c) { c.value(sign_of(c.x(1))); }

// The first argument that is smallest (`want_min`) or largest; ties pick the earlier one.
void Select(Call& c, bool want_min) {
  int best = 1;
  for (int k = 2; k <= c.num_args(); ++k) {
    const double v = c.x(k), b = c.x(best);
    if (want_min ? v < b : b < v) best = k;
  }
  c.clear_from(3);
  c.value(c.x(best));
  // Only the first two positions are variable arguments.
  if (best <= 2) c.grad(best, 1.0);
}

void Min(Call& c) { Select(c, true); }
void Max(Call& c) { Select(c, false); }

void Frac(Call& c) {
  const double x = c.x(1);
  if (x != 0.0) c.value(x - truncate(x));
  c.grad(1, 1.0);
}

void Pi(Call& c) { c.value(kPi); }

double Truth(bool b) { return b ? 1.0 : 0.0; }

void BoolNot(Call& c) { c.value(Truth(c.x(1) == 0)); }
void BoolAnd(Call& c) { c.value(Truth(c.x(1) != 0 && c.x(2) != 0)); }
void BoolOr(Call& c) { c.value(Truth(c.x(1) != 0 || c.x(2) != 0)); }
void BoolXor(Call& c) { c.value(Truth((c.x(1) != 0) != (c.x(2) != 0))); }
void BoolImp(Call& c) { c.value(Truth(c.x(1) == 0 || c.x(2) != 0)); }
void BoolEqv(Call& c) { c.value(Truth((c.x(1) != 0) == (c.x(2) != 0))); }

void RelEq(Call& c) { c.value(Truth(c.x(1) == c.x(2))); }
void RelGt(Call& c) { c.value(Truth(c.x(1) > c.x(2))); }
void RelGe(Call& c) { c.value(Truth(c.x(1) >= c.x(2))); }
void RelLt(Call& c) { c.value(Truth(c.x(1) < c.x(2))); }
void RelLe(Call& c) { c.value(Truth(c.x(1) <= c.x(2))); }
void RelNe(Call& c) { c.value(Truth(c.x(1) != c.x(2))); }

void IfThen(Call& c) {
  c.clear_from(3);
  if (c.x(1) != 0) {
    c.value(c.x(2));
    c.grad(2, 1.0);
  } else {
    c.value(c.x(3));
    c.grad(3, 1.0);
  }
}

void MathOVal(Call& c) { c.value(kBig); }

}  // namespace

void add_rounding_rules(RuleTable& t) {
  t[kFnCeil] = Ceil;
  t[kFnFloor] = Floor;
  t[kFnRound] = Round;
  t[kFnMod] = Mod;
  t[kFnTrunc] = Trunc;
  t[kFnSign] = Sign;
  t[kFnMin] = Min;
  t[kFnMax] = Max;
  t[kFnFrac] = Frac;
  t[kFnPi] = Pi;
  t[kFnBoolNot] = BoolNot;
  t[kFnBoolAnd] = BoolAnd;
  t[kFnBoolOr] = BoolOr;
  t[kFnBoolXor] = BoolXor;
  t[kFnBoolImp] = BoolImp;
  t[kFnBoolEqv] = BoolEqv;
  t[kFnRelEq] = RelEq;
  t[kFnRelGt] = RelGt;
  t[kFnRelGe] = RelGe;
  t[kFnRelLt] = RelLt;
  t[kFnRelLe] = RelLe;
  t[kFnRelNe] = RelNe;
  t[kFnIfThen] = IfThen;
  t[kFnMathOVal] = MathOVal;
}

}  // namespace qlink::mathnew_detail
