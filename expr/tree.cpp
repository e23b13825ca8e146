#include "expr/tree.h"

#include <cmath>
#include <string>

#include "expr/messages.h"

namespace qlink {

Node* NodePool::new_node() {
  Node* node;
  if (free_ != nullptr) {
    node = free_;
    free_ = node->next;
  } else {
    if (used_in_block_ == kBlockSize) {
      blocks_.push_back(std::make_unique<Node[]>(kBlockSize));
      used_in_block_ = 0;
    }
    node = &blocks_.back()[used_in_block_++];
  }
  *node = Node{};
  node->seq = tail_ != nullptr ? tail_->seq + 1 : 1;
  if (tail_ != nullptr) {
    tail_->next = node;
  } else {
    head_ = node;
  }
  tail_ = node;
  ++size_;
  return node;
}

void NodePool::release_all() {
  if (head_ == nullptr) return;
  tail_->next = free_;
  free_ = head_;
  head_ = tail_ = nullptr;
  size_ = 0;
}

void NodePool::discard_subtree(Node* node) {
  if (node == nullptr) return;
  // Iterative, since a row's tree can be as deep as its code is long.
  scratch_.clear();
  scratch_.push_back(node);
  while (!scratch_.empty()) {
    Node* n = scratch_.back();
    scratch_.pop_back();
    if (n->left != nullptr) scratch_.push_back(n->left);
    if (n->right != nullptr) scratch_.push_back(n->right);
    DiscardNode(n);
  }
}

namespace {

std::string At(int position) { return " at location " + std::to_string(position); }

// The tree stack and the reports of one build.
class TreeBuilder {
 public:
  TreeBuilder(NodePool& pool, std::span<const double> constants, int num_columns)
      : pool_(pool), constants_(constants), num_columns_(num_columns) {}

  void Run(int first, int last, std::span<const Instruction> code);

  Node* latest() const { return latest_; }
  int problems() const { return problems_; }

 private:
  Node* Make(std::uint8_t kind, std::int32_t operand = 0, Node* left = nullptr,
             Node* right = nullptr) {
    latest_ = MakeNode(pool_, kind, operand, left, right);
    return latest_;
  }

  void Report(const std::string& line) {
    ExprMessage(line);
    ++problems_;
  }

  Node* Variable(std::int32_t column, int position);
  Node* PoolConstant(std::int32_t k, int position);
  Node* ZeroConstant() { return Make(kNodeConstant); }

  Node*& Top() { return stack_[depth_ - 1]; }
  Node*& Below() { return stack_[depth_ - 2]; }
  void Push(Node* n) { stack_[depth_++] = n; }

  void CheckRoom() const {
    if (depth_ >= kMaxTreeStack) {
      ExprFatal("**** Stack overflow in buildtree (maxstack=" + std::to_string(kMaxTreeStack) +
                ")");
    }
  }

  NodePool& pool_;
  std::span<const double> constants_;
  int num_columns_;
  Node* stack_[kMaxTreeStack] = {};
  int depth_ = 0;
  Node* latest_ = nullptr;
  int problems_ = 0;
};

Node* TreeBuilder::Variable(std::int32_t column, int position) {
  if (column < 1 || column > num_columns_) {
    Report("Buildtree: column " + std::to_string(column) + " out of range" + At(position));
    return ZeroConstant();
  }
  return Make(kNodeVariable, column);
}

// The constant pool[k] as a non-negative constant node, wrapped in a unary minus when it is
// negative (-0 is not).
Node* TreeBuilder::PoolConstant(std::int32_t k, int position) {
  if (k < 1 || static_cast<std::size_t>(k) > constants_.size()) {
    Report("Buildtree: constant pool index " + std::to_string(k) + " out of range" +
           At(position));
    return ZeroConstant();
  }
  const double v = constants_[static_cast<std::size_t>(k) - 1];
  Node* c = Make(kNodeConstant, k);
  c->value = std::fabs(v);
  return v < 0 ? Make(kNodeUmin, 0, c) : c;
}

// The plain operator kind of an instruction that combines the top with a variable or constant.
std::uint8_t PlainKind(std::uint8_t opcode) {
  switch (opcode) {
    case kOpAddV: case kOpAddI: return kNodeAdd;
    case kOpSubV: case kOpSubI: return kNodeSub;
    case kOpMulV: case kOpMulI: return kNodeMul;
    default: return kNodeDiv;
  }
}

// How many stack entries an instruction needs (FuncArgN aside).
int Needs(std::uint8_t opcode) {
  switch (opcode) {
    case kOpStore: case kOpAddV: case kOpAddI: case kOpSubV: case kOpSubI: case kOpMulV:
    case kOpMulI: case kOpDivV: case kOpDivI: case kOpUmin: case kOpCallArg1:
      return 1;
    case kOpAdd: case kOpSub: case kOpMul: case kOpDiv: case kOpCallArg2: case kOpMulIAdd:
      return 2;
    default:
      return 0;
  }
}

// Instructions before which a full stack is fatal.
bool ChecksRoom(std::uint8_t opcode) {
  switch (opcode) {
    case kOpPushV: case kOpPushI: case kOpAddV: case kOpSubV: case kOpMulV: case kOpDivV:
    case kOpAddI: case kOpSubI: case kOpMulI: case kOpDivI: case kOpUminV: case kOpMulIAdd:
    case kOpPushZero:
      return true;
    default:
      return false;
  }
}

void TreeBuilder::Run(int first, int last, std::span<const Instruction> code) {
  const int size = static_cast<int>(code.size());
  if (first <= last && (first < 1 || last > size)) {
    Report("Buildtree: locations " + std::to_string(first) + ".." + std::to_string(last) +
           " outside the instruction code 1.." + std::to_string(size));
    if (first < 1) first = 1;
    if (last > size) last = size;
  }
  for (int pos = first; pos <= last; ++pos) {
    const Instruction& ins = code[static_cast<std::size_t>(pos) - 1];
    const std::uint8_t op = ins.opcode;
    const std::int32_t arg = ins.operand;
    if (ChecksRoom(op)) CheckRoom();
    if (depth_ < Needs(op)) {
      Report("Buildtree: stack underflow at instruction " + std::string(OpcodeName(op)) +
             At(pos));
      continue;
    }
    switch (op) {
      case kOpNoOp:
      case kOpHeader:
        break;
      case kOpPushV:
        Push(Variable(arg, pos));
        break;
      case kOpPushZero:
        Push(ZeroConstant());
        break;
      case kOpPushI:
        Push(PoolConstant(arg, pos));
        break;
      case kOpStore:
        Top() = Make(kNodeStore, arg, Top());
        break;
      case kOpAdd:
      case kOpSub:
      case kOpMul:
      case kOpDiv:
        Below() = Make(op, arg, Below(), Top());
        --depth_;
        break;
      case kOpAddV:
      case kOpSubV:
      case kOpMulV:
      case kOpDivV: {
        Node* v = Variable(arg, pos);
        Top() = Make(PlainKind(op), 0, Top(), v);
        break;
      }
      case kOpAddI:
      case kOpSubI:
      case kOpMulI:
      case kOpDivI: {
        Node* c = PoolConstant(arg, pos);
        Top() = Make(PlainKind(op), 0, Top(), c);
        break;
      }
      case kOpUmin:
        Top() = Make(kNodeUmin, arg, Top());
        break;
      case kOpCallArg1:
        if (arg < 0) {
          Report("Buildtree: function number " + std::to_string(arg) + " out of range" + At(pos));
          break;
        }
        Top() = Make(kNodeCall1, arg, Top());
        break;
      case kOpUminV: {
        Node* v = Variable(arg, pos);
        Push(Make(kNodeUmin, 0, v));
        break;
      }
      case kOpCallArg2: {
        if (arg < 0) {
          Report("Buildtree: function number " + std::to_string(arg) + " out of range" + At(pos));
          break;
        }
        // Constant-to-variable and variable-to-constant powers are general powers in the tree.
        const std::int32_t f = (arg == 74 || arg == 75) ? 64 : arg;
        Below() = Make(kNodeCall2, f, Below(), Top());
        --depth_;
        break;
      }
      case kOpFuncArgN: {
        if (pos == last || code[static_cast<std::size_t>(pos)].opcode != kOpCallArgN) {
          Report("Buildtree: FuncArgN without CallArgN" + At(pos));
          break;
        }
        const std::int32_t f = code[static_cast<std::size_t>(pos)].operand;
        ++pos;  // the CallArgN is part of this call
        const std::int32_t n = arg;
        if (n < 0 || n > depth_) {
          Report("Buildtree: stack underflow at instruction FuncArgN with argument count " +
                 std::to_string(n) + At(pos - 1));
          break;
        }
        if (f < 0) {
          Report("Buildtree: function number " + std::to_string(f) + " out of range" + At(pos));
          break;
        }
        if (n == 0) CheckRoom();
        Node* call = Make(kNodeCallN, f);
        Node* previous = nullptr;
        for (std::int32_t position = 1; position <= n; ++position) {
          Node* a = Make(kNodeArgument, position, stack_[depth_ - n + position - 1]);
          if (previous == nullptr) {
            call->left = a;
          } else {
            previous->right = a;
          }
          previous = a;
        }
        depth_ -= n;
        Push(call);
        break;
      }
      case kOpMulIAdd: {
        Node* c = PoolConstant(arg, pos);
        Node* product = Make(kNodeMul, 0, Top(), c);
        Below() = Make(kNodeAdd, 0, Below(), product);
        --depth_;
        break;
      }
      default: {
        const std::string_view name = OpcodeName(op);
        Report("Buildtree: unknown instruction " +
               (name.empty() ? std::to_string(op) : std::string(name)) + At(pos));
        break;
      }
    }
  }
  if (depth_ != 1) {
    Report("Buildtree: stack not equal to one, stack = " + std::to_string(depth_));
  }
}

}  // namespace

Node* build_tree(NodePool& pool, int first, int last, std::span<const Instruction> code,
                 std::span<const double> constants, int num_columns, int* problems) {
  TreeBuilder builder(pool, constants, num_columns);
  builder.Run(first, last, code);
  if (problems != nullptr) *problems = builder.problems();
  return builder.latest();
}

void scale_expression(NodePool& pool, Node* store, double c) {
  if (store == nullptr || !(c < 0 || c > 0)) return;
  const double magnitude = std::fabs(c);
  Node* factor = MakeNode(pool, kNodeConstant);
  factor->value = magnitude < 1.0e-100 ? 1.0e100 : 1.0 / magnitude;
  Node* product = MakeNode(pool, kNodeMul, 0, factor, store->left);
  store->left = c < 0 ? product : MakeNode(pool, kNodeUmin, 0, product);
}

}  // namespace qlink
