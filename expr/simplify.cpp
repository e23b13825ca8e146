#include "expr/simplify.h"

#include "expr/messages.h"
#include "mathlib/mathnew.h"

namespace qlink {

namespace {

bool IsConstant(const Node* n) { return n != nullptr && n->kind == kNodeConstant; }
bool IsUmin(const Node* n) { return n != nullptr && n->kind == kNodeUmin && n->left != nullptr; }
bool IsUminOfConstant(const Node* n) { return IsUmin(n) && IsConstant(n->left); }
bool IsMulOrDiv(const Node* n) {
  return n != nullptr && (n->kind == kNodeMul || n->kind == kNodeDiv);
}
bool IsConstantOrItsMinus(const Node* n) { return IsConstant(n) || IsUminOfConstant(n); }

Node* MakeConstant(NodePool& pool, double value) {
  Node* n = MakeNode(pool, kNodeConstant);
  n->value = value;
  return n;
}

// `n` takes over the content of `source`: kind, operand, value and children.
void TakeOver(Node* n, const Node* source) {
  n->kind = source->kind;
  n->operand = source->operand;
  n->value = source->value;
  n->left = source->left;
  n->right = source->right;
}

void BecomeConstant(Node* n, double value) {
  n->kind = kNodeConstant;
  n->operand = 0;
  n->value = value;
  n->left = nullptr;
  n->right = nullptr;
}

// `n` becomes a unary minus over `operand`.
void BecomeMinus(Node* n, Node* operand) {
  n->kind = kNodeUmin;
  n->operand = 0;
  n->left = operand;
  n->right = nullptr;
}

bool IsPowerFunction(std::int32_t f) {
  return f == kFnRPower || f == kFnCvPower || f == kFnVcPower;
}

// power(x, c) with the exponent 1, 0 or -1.
void SimplifyPower(NodePool& pool, Node* n) {
  Node* base = n->left;
  Node* exponent = n->right;
  if (IsConstant(exponent) && exponent->value == 1.0) {
    TakeOver(n, base);
    DiscardNode(base);
    DiscardNode(exponent);
  } else if (IsConstant(exponent) && exponent->value == 0.0) {
    pool.discard_subtree(base);
    DiscardNode(exponent);
    BecomeConstant(n, 1.0);
  } else if (IsUminOfConstant(exponent) && exponent->left->value == 1.0) {
    Node* one = MakeConstant(pool, 1.0);
    DiscardNode(exponent->left);
    DiscardNode(exponent);
    n->kind = kNodeDiv;
    n->operand = 0;
    n->left = one;
    n->right = base;
  }
}

void RewriteCall1(NodePool& pool, const RewriteFlags& flags, Node* n) {
  Node* x = n->left;
  switch (n->operand) {
    case kFnSqr:
      if (flags.power_of_two) {
        n->kind = kNodeCall2;
        n->operand = kFnPower;
        n->right = MakeConstant(pool, 2.0);
      }
      break;
    case kFnLog10:
      if (flags.log10) {
        Node* factor = MakeConstant(pool, kInverseLn10);
        Node* log = MakeNode(pool, kNodeCall1, kFnLog, x);
        n->kind = kNodeMul;
        n->operand = 0;
        n->left = log;
        n->right = factor;
      }
      break;
    case kFnSqrt:
      if (flags.sqrt) {
        n->kind = kNodeCall2;
        n->operand = kFnRPower;
        n->right = MakeConstant(pool, 0.5);
      }
      break;
    case kFnAbs:
      if (flags.abs) {
        Node* square;
        if (flags.power_of_two) {
          Node* two = MakeConstant(pool, 2.0);
          square = MakeNode(pool, kNodeCall2, kFnPower, x, two);
        } else {
          square = MakeNode(pool, kNodeCall1, kFnSqr, x);
        }
        n->left = square;
        if (flags.sqrt) {
          n->kind = kNodeCall2;
          n->operand = kFnRPower;
          n->right = MakeConstant(pool, 0.5);
        } else {
          n->operand = kFnSqrt;
        }
      }
      break;
    default:
      break;
  }
}

}  // namespace

void rewrite_functions(NodePool& pool, const RewriteFlags& flags) {
  // Nodes made here are appended to the node list and visited later in the same walk.
  for (Node* n = pool.head(); n != nullptr; n = n->next) {
    if (n->kind == kNodeCall1 && n->left != nullptr) {
      RewriteCall1(pool, flags, n);
    } else if (n->kind == kNodeCall2 && n->left != nullptr && n->right != nullptr) {
      if (n->operand == kFnPower) {
        SimplifyPower(pool, n);
      } else if (IsPowerFunction(n->operand) && flags.general_power &&
                 !IsConstantOrItsMinus(n->left) && !IsConstantOrItsMinus(n->right)) {
        // x^y = exp(y * log(x))
        Node* log = MakeNode(pool, kNodeCall1, kFnLog, n->left);
        Node* product = MakeNode(pool, kNodeMul, 0, n->right, log);
        n->kind = kNodeCall1;
        n->operand = kFnExp;
        n->left = product;
        n->right = nullptr;
      }
    }
  }
}

namespace {

// The rules of the clean pass, tried in order; returns whether one of them changed `n`.
bool CleanNode(NodePool& pool, mathnew_context& context, Node* n) {
  const std::uint8_t k = n->kind;
  Node* const L = n->left;
  Node* const R = n->right;
  const bool add_sub = k == kNodeAdd || k == kNodeSub;
  const bool mul_div = k == kNodeMul || k == kNodeDiv;

  // 1: -(-a) = a
  if (k == kNodeUmin && IsUmin(L)) {
    Node* a = L->left;
    TakeOver(n, a);
    DiscardNode(a);
    DiscardNode(L);
    return true;
  }
  // 2: constant op constant, plain arithmetic
  if ((add_sub || mul_div) && IsConstant(L) && IsConstant(R)) {
    double v;
    switch (k) {
      case kNodeAdd: v = L->value + R->value; break;
      case kNodeSub: v = L->value - R->value; break;
      case kNodeMul: v = L->value * R->value; break;
      default: v = L->value / R->value; break;
    }
    DiscardNode(R);
    if (v >= 0) {
      DiscardNode(L);
      BecomeConstant(n, v);
    } else {
      L->value = -v;
      BecomeMinus(n, L);
    }
    return true;
  }
  // 3: (-a) op (-b) = a op b
  if (mul_div && IsUmin(L) && IsUmin(R)) {
    n->left = L->left;
    n->right = R->left;
    DiscardNode(L);
    DiscardNode(R);
    return true;
  }
  // 4: (-a) +- (-b) with constants a, b
  if (add_sub && IsUminOfConstant(L) && IsUminOfConstant(R)) {
    Node* a = L->left;
    Node* b = R->left;
    const double v = k == kNodeAdd ? -a->value - b->value : -a->value + b->value;
    DiscardNode(L);
    DiscardNode(R);
    DiscardNode(b);
    if (v >= 0) {
      DiscardNode(a);
      BecomeConstant(n, v);
    } else {
      a->value = -v;
      BecomeMinus(n, a);
    }
    return true;
  }
  // 5: the constant of a sum or product to the left
  if ((k == kNodeAdd || k == kNodeMul) && IsConstant(R) && !IsConstant(L)) {
    n->left = R;
    n->right = L;
    return true;
  }
  // 6: x / c = (1/c) * x
  if (k == kNodeDiv && IsConstant(R)) {
    if (R->value == 0) ExprFatal("*** Division by zero in clean one");
    R->value = 1.0 / R->value;
    n->kind = kNodeMul;
    n->left = R;
    n->right = L;
    return true;
  }
  // 7, 8: (-a) op b = -(a op b) and a op (-b) = -(a op b), reusing the minus node
  if (mul_div && (IsUmin(L) || IsUmin(R))) {
    Node* reused = IsUmin(L) ? L : R;
    Node* a = IsUmin(L) ? L->left : L;
    Node* b = IsUmin(L) ? R : R->left;
    reused->kind = k;
    reused->operand = n->operand;
    reused->left = a;
    reused->right = b;
    BecomeMinus(n, reused);
    return true;
  }
  // 9: a - c = (-c) + a; a - (-b) = a + b
  if (k == kNodeSub) {
    if (IsConstant(R)) {
      Node* minus = MakeNode(pool, kNodeUmin, 0, R);
      n->kind = kNodeAdd;
      n->left = minus;
      n->right = L;
      return true;
    }
    if (IsUmin(R)) {
      n->kind = kNodeAdd;
      n->right = R->left;
      DiscardNode(R);
      return true;
    }
  }
  // 10: a + (-b) = a - b; (-a) + b = b - a unless a is a constant
  if (k == kNodeAdd) {
    if (IsUmin(R)) {
      n->kind = kNodeSub;
      n->right = R->left;
      DiscardNode(R);
      return true;
    }
    if (IsUmin(L) && !IsConstant(L->left)) {
      n->kind = kNodeSub;
      n->left = R;
      n->right = L->left;
      DiscardNode(L);
      return true;
    }
  }
  // 11: c1 * (c2 op x) = (c1 * c2) op x
  if (k == kNodeMul && IsConstant(L) && IsMulOrDiv(R) && IsConstant(R->left)) {
    Node* c2 = R->left;
    L->value *= c2->value;
    n->kind = R->kind;
    n->right = R->right;
    DiscardNode(c2);
    DiscardNode(R);
    return true;
  }
  // 12: the constant of a product or quotient on the left moves out
  if (mul_div && IsMulOrDiv(L) && IsConstant(L->left)) {
    Node* c = L->left;
    Node* x = L->right;
    Node* y = R;
    if (L->kind == kNodeMul) {  // (c * x) op y = c * (x op y)
      L->kind = k;
      L->left = x;
      L->right = y;
      n->kind = kNodeMul;
    } else if (k == kNodeMul) {  // (c / x) * y = c * (y / x)
      L->left = y;
      L->right = x;
      n->kind = kNodeMul;
    } else {  // (c / x) / y = c / (x * y)
      L->kind = kNodeMul;
      L->left = x;
      L->right = y;
      n->kind = kNodeDiv;
    }
    L->operand = 0;
    n->left = c;
    n->right = L;
    return true;
  }
  // 13: the constant of a product or quotient on the right moves out
  if (mul_div && IsMulOrDiv(R) && IsConstant(R->left)) {
    Node* c = R->left;
    Node* x = L;
    Node* y = R->right;
    if (k == kNodeDiv) {  // x / (c * y) = (1/c) * (x / y); x / (c / y) = (1/c) * (x * y)
      if (c->value == 0) ExprFatal("*** Division by zero in clean two");
      c->value = 1.0 / c->value;
      R->kind = R->kind == kNodeMul ? kNodeDiv : kNodeMul;
      n->kind = kNodeMul;
    }  // else x * (c op y) = c * (x op y)
    R->operand = 0;
    R->left = x;
    R->right = y;
    n->left = c;
    n->right = R;
    return true;
  }
  // 14: 1 * x = x
  if (k == kNodeMul && IsConstant(L) && L->value == 1.0 && R != nullptr) {
    TakeOver(n, R);
    DiscardNode(L);
    DiscardNode(R);
    return true;
  }
  // 15: f(c) folded with the function library
  if (k == kNodeCall1 && IsConstant(L) && n->operand >= 0) {
    const std::int32_t saved_mode = context.mode;
    context.mode = 0;
    context.num_args = 1;
    const double argument = L->value;
    function_eval(context, n->operand, &argument);  // an error's value is used as it is
    const double r = context.result[0];
    context.mode = saved_mode;
    if (r >= 0) {
      DiscardNode(L);
      BecomeConstant(n, r);
    } else {
      L->value = -r;
      BecomeMinus(n, L);
    }
    return true;
  }
  return false;
}

}  // namespace

int clean_expression(NodePool& pool, mathnew_context& context) {
  int sweeps = 0;
  while (sweeps < kMaxCleanSweeps) {
    ++sweeps;
    int changes = 0;
    for (Node* n = pool.head(); n != nullptr; n = n->next) {
      if (n->kind == kNodeDiscarded) continue;
      n->visited = 0;
      if (CleanNode(pool, context, n)) ++changes;
    }
    if (changes == 0) break;
  }
  return sweeps;
}

}  // namespace qlink
