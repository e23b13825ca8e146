// Simplification of an expression tree before it is printed into the solver's input: the function
// rewrite into forms built from power, log and exp, and the clean pass that folds constants and
// normalises signs and products. Both walk the node list of the current expression, including the
// nodes they add themselves, and skip discarded nodes.
#pragma once

#include "expr/tree.h"

namespace qlink {

struct mathnew_context;

// Which rewrites rewrite_functions applies.
struct RewriteFlags {
  bool power_of_two = true;   // sqr(x) -> power(x, 2)
  bool sqrt = true;           // sqrt(x) -> rPower(x, 0.5)
  bool log10 = true;          // log10(x) -> (1/ln 10) * log(x)
  bool abs = true;            // abs(x) -> sqrt(sqr(x))
  bool general_power = true;  // x^y, neither operand constant -> exp(y * log(x))
};

// 1/ln 10, the factor of the log10 rewrite.
inline constexpr double kInverseLn10 = 0.43429448190325176;

// One walk over the node list; power(x, 1), power(x, 0) and power(x, -1) are always simplified.
void rewrite_functions(NodePool& pool, const RewriteFlags& flags = RewriteFlags{});

// At most this many sweeps of the clean pass.
inline constexpr int kMaxCleanSweeps = 21;

// Sweeps over the node list until a sweep changes nothing, at most kMaxCleanSweeps times.
// One-argument calls of constants are folded with `context` (value only; its mode is restored).
// A literal zero divisor ends the process. Returns the number of sweeps made.
int clean_expression(NodePool& pool, mathnew_context& context);

}  // namespace qlink
