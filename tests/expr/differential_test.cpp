// Differential check of tree building, rewrite, clean and printing: random row code over the
// arithmetic operators and the functions that the rewrite touches is evaluated three ways at
// random points -- directly on a stack, by walking the rewritten and cleaned tree, and by parsing
// the printed text back -- and the values must agree wherever every evaluation is free of errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "expr_test_util.h"

namespace qlink::exprtest {
namespace {

constexpr int kColumns = 4;

// ---------------------------------------------------------------------------------------------
// Random expressions and their code.

enum class G { kVar, kConst, kAdd, kSub, kMul, kDiv, kNeg, kCall1, kCall2 };

struct GNode {
  G kind;
  int operand = 0;      // column or function number
  double value = 0;     // constant (may be negative: a negative pool entry)
  std::unique_ptr<GNode> a, b;
};

using GPtr = std::unique_ptr<GNode>;

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : rng_(seed) {}

  GPtr Expression(int depth) {
    const int leaf_weight = depth <= 0 ? 100 : 30;
    if (Uniform(100) < leaf_weight) return Leaf();
    auto n = std::make_unique<GNode>();
    switch (Uniform(13)) {
      case 0: case 1: n->kind = G::kAdd; break;
      case 2: case 3: n->kind = G::kSub; break;
      case 4: case 5: n->kind = G::kMul; break;
      case 6: n->kind = G::kDiv; break;
      case 7: n->kind = G::kNeg; break;
      case 8: case 9: case 10: {
        static constexpr int kFunctions[] = {kFnSqr, kFnExp, kFnLog, kFnLog10, kFnSqrt, kFnAbs};
        n->kind = G::kCall1;
        n->operand = kFunctions[Uniform(6)];
        n->a = Expression(depth - 1);
        return n;
      }
      default:
        return Power(depth);
    }
    n->a = Expression(depth - 1);
    if (n->kind != G::kNeg) n->b = Expression(depth - 1);
    return n;
  }

  double Point() { return Real(-2.5, 2.5); }
  double PositivePoint() { return Real(0.05, 3.0); }
  int Uniform(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }

 private:
  double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

  GPtr Leaf() {
    auto n = std::make_unique<GNode>();
    if (Uniform(3) == 0) {
      static constexpr double kSpecial[] = {0, 1, -1, 2, 0.5, 4, -3, 10};
      n->kind = G::kConst;
      n->value = Uniform(2) == 0 ? kSpecial[Uniform(8)] : Real(-20, 20);
    } else {
      n->kind = G::kVar;
      n->operand = 1 + Uniform(kColumns);
    }
    return n;
  }

  GPtr Constant(double value) {
    auto n = std::make_unique<GNode>();
    n->kind = G::kConst;
    n->value = value;
    return n;
  }

  // power with a small integer exponent (mostly constant), rPower, cvPower and vcPower.
  GPtr Power(int depth) {
    auto n = std::make_unique<GNode>();
    n->kind = G::kCall2;
    switch (Uniform(5)) {
      case 0: case 1:
        n->operand = kFnPower;
        n->a = Expression(depth - 1);
        n->b = Uniform(8) == 0 ? Expression(depth - 1) : Constant(Uniform(8) - 3);
        break;
      case 2:
        n->operand = kFnRPower;
        n->a = Expression(depth - 1);
        n->b = Uniform(2) == 0 ? Expression(depth - 1) : Constant(Real(-3, 3));
        break;
      case 3:  // constant ** variable; the base is a positive constant
        n->operand = kFnCvPower;
        n->a = Constant(Real(0.1, 5));
        n->b = Expression(depth - 1);
        break;
      default:  // variable ** constant
        n->operand = kFnVcPower;
        n->a = Expression(depth - 1);
        n->b = Constant(Real(-3, 3));
        break;
    }
    return n;
  }

  std::mt19937_64 rng_;
};

// Writes the code of `n`, choosing among the instruction forms that give the same tree shape.
void Emit(const GNode& n, Code& code, Generator& gen) {
  auto leaf_form = [&](const GNode& right, std::uint8_t var_op, std::uint8_t const_op) {
    if (right.kind == G::kVar) {
      code.Op(var_op, right.operand);
      return true;
    }
    if (right.kind == G::kConst && right.value != 0) {
      code.OpI(const_op, right.value);
      return true;
    }
    return false;
  };
  switch (n.kind) {
    case G::kVar:
      code.V(n.operand);
      return;
    case G::kConst:
      if (n.value == 0 && gen.Uniform(2) == 0) {
        code.Op(kOpPushZero);
      } else {
        code.C(n.value);
      }
      return;
    case G::kNeg:
      if (n.a->kind == G::kVar) {
        code.Op(kOpUminV, n.a->operand);
      } else {
        Emit(*n.a, code, gen);
        code.Op(kOpUmin);
      }
      return;
    case G::kCall1:
      Emit(*n.a, code, gen);
      code.Call1(n.operand);
      return;
    case G::kCall2:
      Emit(*n.a, code, gen);
      Emit(*n.b, code, gen);
      code.Call2(n.operand);
      return;
    default:
      break;
  }
  Emit(*n.a, code, gen);
  const bool short_form = gen.Uniform(2) == 0;
  switch (n.kind) {
    case G::kAdd:
      // a + b*c as MulIAdd
      if (short_form && n.b->kind == G::kMul && n.b->b->kind == G::kConst) {
        Emit(*n.b->a, code, gen);
        code.OpI(kOpMulIAdd, n.b->b->value);
        return;
      }
      if (short_form && leaf_form(*n.b, kOpAddV, kOpAddI)) return;
      Emit(*n.b, code, gen);
      code.Op(kOpAdd);
      return;
    case G::kSub:
      if (short_form && leaf_form(*n.b, kOpSubV, kOpSubI)) return;
      Emit(*n.b, code, gen);
      code.Op(kOpSub);
      return;
    case G::kMul:
      if (short_form && leaf_form(*n.b, kOpMulV, kOpMulI)) return;
      Emit(*n.b, code, gen);
      code.Op(kOpMul);
      return;
    default:
      if (short_form && leaf_form(*n.b, kOpDivV, kOpDivI)) return;
      Emit(*n.b, code, gen);
      code.Op(kOpDiv);
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// Evaluation with the function library; every error report sets the flag in callback_data.

int FlagError(int result_code, int, std::string_view, void* data) {
  *static_cast<bool*>(data) = true;
  return result_code;
}

class Library {
 public:
  Library() {
    mathnew_init(context);
    context.error_callback = FlagError;
    context.callback_data = &error;
  }

  // f(args) with value (mode 0), or value and gradient (mode 1) into `gradient`.
  double Call(int f, std::initializer_list<double> args, double* gradient = nullptr) {
    const std::vector<double> a(args);
    context.mode = gradient != nullptr ? 1 : 0;
    context.num_args = static_cast<int>(a.size());
    function_eval(context, f, a.data());
    if (gradient != nullptr) {
      for (std::size_t k = 0; k < a.size(); ++k) gradient[k] = context.result[k + 1];
    }
    context.mode = 0;
    return context.result[0];
  }

  mathnew_context context;
  bool error = false;
};

// A value with the magnitude of the computation that produced it (propagated absolute values),
// against which rounding differences are measured: an expression such as abs(x) - x may cancel to
// an exact zero on one side and to a rounding residue on the other.
struct Scaled {
  double v;
  double s;
};

// The code evaluated on a stack, as the solution check does (division by the function div).
Scaled EvaluateCode(const Code& code, const double* x, Library& lib) {
  std::vector<Scaled> stack;
  auto pool = [&](int k) { return code.pool[static_cast<std::size_t>(k) - 1]; };
  auto binary = [&](int op, Scaled a, Scaled b) -> Scaled {
    switch (op) {
      case kOpAdd: return {a.v + b.v, a.s + b.s};
      case kOpSub: return {a.v - b.v, a.s + b.s};
      case kOpMul: return {a.v * b.v, a.s * std::fabs(b.v) + std::fabs(a.v) * b.s};
      default: {
        const double q = lib.Call(kFnDiv, {a.v, b.v});
        return {q, a.s / std::fabs(b.v) + std::fabs(q) * b.s / std::fabs(b.v)};
      }
    }
  };
  auto leaf = [](double v) { return Scaled{v, std::fabs(v)}; };
  for (const Instruction& ins : code.ins) {
    const int k = ins.operand;
    switch (ins.opcode) {
      case kOpPushV: stack.push_back(leaf(x[k])); break;
      case kOpPushI: stack.push_back(leaf(pool(k))); break;
      case kOpPushZero: stack.push_back(leaf(0)); break;
      case kOpUminV: stack.push_back(leaf(-x[k])); break;
      case kOpUmin: stack.back().v = -stack.back().v; break;
      case kOpAdd: case kOpSub: case kOpMul: case kOpDiv: {
        const Scaled b = stack.back();
        stack.pop_back();
        stack.back() = binary(ins.opcode, stack.back(), b);
        break;
      }
      case kOpAddV: stack.back() = binary(kOpAdd, stack.back(), leaf(x[k])); break;
      case kOpSubV: stack.back() = binary(kOpSub, stack.back(), leaf(x[k])); break;
      case kOpMulV: stack.back() = binary(kOpMul, stack.back(), leaf(x[k])); break;
      case kOpDivV: stack.back() = binary(kOpDiv, stack.back(), leaf(x[k])); break;
      case kOpAddI: stack.back() = binary(kOpAdd, stack.back(), leaf(pool(k))); break;
      case kOpSubI: stack.back() = binary(kOpSub, stack.back(), leaf(pool(k))); break;
      case kOpMulI: stack.back() = binary(kOpMul, stack.back(), leaf(pool(k))); break;
      case kOpDivI: stack.back() = binary(kOpDiv, stack.back(), leaf(pool(k))); break;
      case kOpMulIAdd: {
        const Scaled b = stack.back();
        stack.pop_back();
        stack.back() = binary(kOpAdd, stack.back(), binary(kOpMul, b, leaf(pool(k))));
        break;
      }
      case kOpCallArg1: {
        double g[1];
        Scaled& a = stack.back();
        const double v = lib.Call(k, {a.v}, g);
        a = {v, std::fabs(g[0]) * a.s + std::fabs(v)};
        break;
      }
      case kOpCallArg2: {
        double g[2];
        const Scaled b = stack.back();
        stack.pop_back();
        Scaled& a = stack.back();
        const double v = lib.Call(k, {a.v, b.v}, g);
        a = {v, std::fabs(g[0]) * a.s + std::fabs(g[1]) * b.s + std::fabs(v)};
        break;
      }
      default:  // Store
        break;
    }
  }
  return stack.back();
}

// The tree evaluated by walking it.
double EvaluateTree(const Node* n, const double* x, Library& lib) {
  switch (n->kind) {
    case kNodeVariable: return x[n->operand];
    case kNodeConstant: return n->value;
    case kNodeStore: return EvaluateTree(n->left, x, lib);
    case kNodeUmin: return -EvaluateTree(n->left, x, lib);
    case kNodeAdd: return EvaluateTree(n->left, x, lib) + EvaluateTree(n->right, x, lib);
    case kNodeSub: return EvaluateTree(n->left, x, lib) - EvaluateTree(n->right, x, lib);
    case kNodeMul: return EvaluateTree(n->left, x, lib) * EvaluateTree(n->right, x, lib);
    case kNodeDiv:
      return lib.Call(kFnDiv, {EvaluateTree(n->left, x, lib), EvaluateTree(n->right, x, lib)});
    case kNodeCall1: return lib.Call(n->operand, {EvaluateTree(n->left, x, lib)});
    case kNodeCall2:
      return lib.Call(n->operand,
                      {EvaluateTree(n->left, x, lib), EvaluateTree(n->right, x, lib)});
    default:
      ADD_FAILURE() << "unexpected node kind " << int{n->kind} << " in a cleaned tree";
      return 0;
  }
}

// The printed text parsed back: sums, products, unary minus, infix powers, calls by table name,
// numbers and variables x1, x2, ...
class TextEvaluator {
 public:
  TextEvaluator(std::string_view text, const double* x, Library& lib)
      : text_(text), x_(x), lib_(lib) {}

  bool Evaluate(double* value) {
    *value = Sum();
    return ok_ && pos_ == text_.size();
  }

 private:
  void Blanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }
  bool Take(char c) {
    Blanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  double Sum() {
    double v = Product();
    for (;;) {
      if (Take('+')) {
        v += Product();
      } else if (Take('-')) {
        v -= Product();
      } else {
        return v;
      }
    }
  }
  double Product() {
    double v = Unary();
    for (;;) {
      if (Take('*')) {
        v *= Unary();
      } else if (Take('/')) {
        v = lib_.Call(kFnDiv, {v, Unary()});
      } else {
        return v;
      }
    }
  }
  double Unary() { return Take('-') ? -Unary() : Power(); }
  double Power() {
    const double base = Primary();
    if (!Take('^')) return base;
    const double exponent = Primary();
    // power for integer exponents of negative bases, the general power otherwise
    if (base < 0 && exponent == std::round(exponent)) return lib_.Call(kFnPower, {base, exponent});
    return lib_.Call(kFnRPower, {base, exponent});
  }
  double Primary() {
    Blanks();
    if (Take('(')) {
      const double v = Sum();
      if (!Take(')')) ok_ = false;
      return v;
    }
    const std::size_t start = pos_;
    if (pos_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[pos_])) != 0)) {
      const std::string rest(text_.substr(pos_));
      char* end = nullptr;
      const double v = std::strtod(rest.c_str(), &end);
      pos_ += static_cast<std::size_t>(end - rest.c_str());
      return v;
    }
    while (pos_ < text_.size() && std::isalnum(static_cast<unsigned char>(text_[pos_])) != 0) ++pos_;
    const std::string_view name = text_.substr(start, pos_ - start);
    if (name.empty()) {
      ok_ = false;
      return 0;
    }
    if (Take('(')) {
      const double arg = Sum();
      if (!Take(')')) ok_ = false;
      for (int f = 0; f < kNumIntrinsicFunctions; ++f) {
        if (function_name(f) == name) return lib_.Call(f, {arg});
      }
      ok_ = false;
      return 0;
    }
    if (name.size() > 1 && name[0] == 'x') return x_[std::atoi(std::string(name.substr(1)).c_str())];
    ok_ = false;
    return 0;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  const double* x_;
  Library& lib_;
  bool ok_ = true;
};

// ---------------------------------------------------------------------------------------------
// Divisors that the clean pass would see as a literal zero end the process; such expressions are
// not generated. A subtree is constant when the rewrite and the folds make it a constant.

struct ConstantInfo {
  bool constant;
  double value;
};

ConstantInfo Constness(const GNode& n, Library& lib) {
  switch (n.kind) {
    case G::kVar: return {false, 0};
    case G::kConst: return {true, n.value};
    case G::kNeg: {
      const ConstantInfo a = Constness(*n.a, lib);
      return {a.constant, -a.value};
    }
    case G::kCall1: {
      const ConstantInfo a = Constness(*n.a, lib);
      if (!a.constant) return a;
      return {true, lib.Call(n.operand, {a.value})};
    }
    case G::kCall2: {
      const ConstantInfo a = Constness(*n.a, lib);
      const ConstantInfo b = Constness(*n.b, lib);
      if (n.operand == kFnPower && b.constant && n.b->kind == G::kConst) {
        if (b.value == 0) return {true, 1};
        if (b.value == 1) return a;
        if (b.value == -1) return {a.constant, 1 / a.value};
      }
      return {a.constant && b.constant, lib.Call(n.operand, {a.value, b.value})};
    }
    default: {
      const ConstantInfo a = Constness(*n.a, lib);
      const ConstantInfo b = Constness(*n.b, lib);
      double v;
      switch (n.kind) {
        case G::kAdd: v = a.value + b.value; break;
        case G::kSub: v = a.value - b.value; break;
        case G::kMul: v = a.value * b.value; break;
        default: v = a.value / b.value; break;
      }
      return {a.constant && b.constant, v};
    }
  }
}

// Whether some constant part of the subtree is zero, tiny or not finite.
bool HasZeroConstant(const GNode& n, Library& lib) {
  const ConstantInfo info = Constness(n, lib);
  if (info.constant && !(std::fabs(info.value) >= 1e-100 && std::isfinite(info.value))) return true;
  return (n.a != nullptr && HasZeroConstant(*n.a, lib)) ||
         (n.b != nullptr && HasZeroConstant(*n.b, lib));
}

bool HasZeroDivisor(const GNode& n, Library& lib) {
  if (n.kind == G::kDiv && HasZeroConstant(*n.b, lib)) return true;
  if (n.kind == G::kCall2 && n.operand == kFnPower && n.b->kind == G::kConst && n.b->value == -1 &&
      HasZeroConstant(*n.a, lib)) {
    return true;
  }
  return (n.a != nullptr && HasZeroDivisor(*n.a, lib)) ||
         (n.b != nullptr && HasZeroDivisor(*n.b, lib));
}

// power rounds an exponent within 1e-4 of an integer to it, the general power does not; the text
// shows both as "^", so the text of a power with a computed exponent cannot be evaluated alike.
bool HasPowerOfExpression(const GNode& n) {
  if (n.kind == G::kCall2 && n.operand == kFnPower && n.b->kind != G::kConst) return true;
  return (n.a != nullptr && HasPowerOfExpression(*n.a)) ||
         (n.b != nullptr && HasPowerOfExpression(*n.b));
}

bool Agree(double a, double b, double scale) {
  return std::fabs(a - b) <= 1e-12 * std::max({std::fabs(a), std::fabs(b), scale});
}

TEST(Differential, CodeTreeAndTextAgree) {
  constexpr int kExpressions = 100000;
  constexpr int kPointsEach = 3;
  Generator gen(20261210);
  Library lib;
  NodePool pool;
  ExpressionPrinter printer;
  int compared = 0, text_compared = 0, failures = 0;
  for (int e = 0; e < kExpressions && failures < 10; ++e) {
    GPtr expression;
    do {
      expression = gen.Expression(1 + gen.Uniform(4));
      lib.error = false;
    } while (HasZeroDivisor(*expression, lib));
    Code code;
    Emit(*expression, code, gen);
    code.Store();

    pool.release_all();
    lib.error = false;
    int problems = 0;
    Node* root = Build(pool, code, kColumns, &problems);
    ASSERT_EQ(problems, 0);
    rewrite_functions(pool);
    clean_expression(pool, lib.context);
    const bool folding_error = lib.error;
    const bool text_comparable = !HasPowerOfExpression(*expression);
    StringSink sink;
    printer.Print(root, sink);

    for (int p = 0; p < kPointsEach; ++p) {
      double x[kColumns + 1];
      const bool positive = p != 0;
      for (int j = 1; j <= kColumns; ++j) x[j] = positive ? gen.PositivePoint() : gen.Point();
      lib.error = false;
      const Scaled direct = EvaluateCode(code, x, lib);
      const bool code_error = lib.error;
      lib.error = false;
      const double walked = EvaluateTree(root, x, lib);
      const bool tree_error = lib.error || folding_error;
      lib.error = false;
      double parsed = 0;
      const bool parsed_ok = TextEvaluator(sink.text, x, lib).Evaluate(&parsed);
      const bool text_error = lib.error || folding_error;
      ASSERT_TRUE(parsed_ok) << "printed text does not parse: " << sink.text;
      if (code_error || !std::isfinite(direct.v) || !std::isfinite(direct.s)) continue;
      if (!tree_error && std::isfinite(walked)) {
        ++compared;
        if (!Agree(direct.v, walked, direct.s)) {
          ++failures;
          ADD_FAILURE() << "code " << direct.v << " tree " << walked << " scale " << direct.s
                        << "\n  tree: " << Dump(root) << "\n  text: " << sink.text
                        << "\n  at x = " << x[1] << ", " << x[2] << ", " << x[3] << ", " << x[4];
        }
      }
      if (text_comparable && !text_error && std::isfinite(parsed)) {
        ++text_compared;
        if (!Agree(direct.v, parsed, direct.s)) {
          ++failures;
          ADD_FAILURE() << "code " << direct.v << " text " << parsed << " scale " << direct.s
                        << "\n  text: " << sink.text << "\n  at x = " << x[1] << ", " << x[2]
                        << ", " << x[3] << ", " << x[4];
        }
      }
    }
  }
  // Most points must be comparable, or the check proves little.
  EXPECT_GT(compared, kExpressions * kPointsEach / 2);
  EXPECT_GT(text_compared, kExpressions * kPointsEach / 2);
  RecordProperty("compared", compared);
  std::printf("%d expressions, %d points compared with the tree, %d with the text\n", kExpressions,
              compared, text_compared);
}

}  // namespace
}  // namespace qlink::exprtest
