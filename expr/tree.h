// Expression trees of nonlinear rows: the node pool and the building of a tree from a row's
// stretch of instruction code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "expr/instructions.h"

namespace qlink {

// Node kinds; each is the number of the opcode it comes from.
enum NodeKind : std::uint8_t {
  kNodeDiscarded = 0,  // skipped by every pass
  kNodeVariable = 1,   // operand = column
  kNodeConstant = 2,   // value; never negative as built
  kNodeStore = 3,      // operand = row; left = the expression
  kNodeAdd = 4,
  kNodeSub = 7,
  kNodeMul = 10,
  kNodeDiv = 13,
  kNodeUmin = 16,      // left
  kNodeCall1 = 20,     // operand = function; left
  kNodeCall2 = 21,     // operand = function; left, right
  kNodeCallN = 22,     // operand = function; left = first argument node
  kNodeArgument = 23,  // operand = position 1..n; left = argument; right = next argument node
};

struct Node {
  double value = 0.0;        // the constant of a constant node
  Node* next = nullptr;      // next node in allocation order; also the free-list link
  Node* parent = nullptr;    // set by the printer while it walks the tree
  Node* left = nullptr;
  Node* right = nullptr;
  std::uint8_t kind = kNodeDiscarded;
  std::int32_t operand = 0;  // column, row, function number or argument position
  std::int32_t seq = 0;      // position in the node list, from 1
  std::uint8_t parenthesised = 0;  // set by the printer when it opened a parenthesis here
  std::uint8_t visited = 0;        // set by the printer; cleared by the clean pass
};

// All nodes of the expression being worked on, in allocation order (the node list), and a free
// list of nodes that earlier expressions gave back. Nodes are allocated in blocks and live as
// long as the pool.
class NodePool {
 public:
  NodePool() = default;
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;

  // A zeroed node appended to the node list and numbered one more than the previous tail.
  Node* new_node();

  // Gives the whole node list back to the free list.
  void release_all();

  // Turns every node of the subtree, its root included, into a discarded node without children.
  // The nodes stay in the node list until release_all.
  void discard_subtree(Node* node);

  Node* head() const { return head_; }
  Node* tail() const { return tail_; }

  // Number of nodes in the node list.
  std::size_t size() const { return size_; }

 private:
  static constexpr std::size_t kBlockSize = 4096;

  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  std::size_t size_ = 0;
  Node* free_ = nullptr;
  std::vector<std::unique_ptr<Node[]>> blocks_;
  std::size_t used_in_block_ = kBlockSize;
  std::vector<Node*> scratch_;
};

// A new node of the pool with the given content.
inline Node* MakeNode(NodePool& pool, std::uint8_t kind, std::int32_t operand = 0,
                      Node* left = nullptr, Node* right = nullptr) {
  Node* n = pool.new_node();
  n->kind = kind;
  n->operand = operand;
  n->left = left;
  n->right = right;
  return n;
}

// Turns a node into a discarded one without touching the nodes below it.
inline void DiscardNode(Node* node) {
  node->kind = kNodeDiscarded;
  node->left = nullptr;
  node->right = nullptr;
}

// The tree stack holds at most this many entries.
inline constexpr int kMaxTreeStack = 200;

// Builds the tree of instruction positions first..last (a row's Header and Store positions,
// 1-based: code[0] is position 1) and returns the most recently made node, for well-formed code
// the Store node; null when no node was made. `constants` is the constant pool (pool index k is
// constants[k - 1]); `num_columns` the number of columns.
//
// Reported on the message stream, with building going on: unknown instructions, a final stack
// depth other than one, and, for code from outside, positions outside the code (only the part
// inside is built), instructions that would pop more than the stack holds or FuncArgN without its
// CallArgN (skipped), negative function numbers (skipped), and columns or pool indices out of
// range (a constant 0 stands in for the leaf). `problems`, when given, receives the number of
// such reports. A stack overflow ends the process.
Node* build_tree(NodePool& pool, int first, int last, std::span<const Instruction> code,
                 std::span<const double> constants, int num_columns, int* problems = nullptr);

// Replaces the store node's expression e by (1/|c|)*e when c < 0 and by -((1/|c|)*e) when
// c > 0, with 1/|c| taken as 1e100 when |c| < 1e-100. c = 0 (or NaN) leaves e unchanged.
void scale_expression(NodePool& pool, Node* store, double c);

}  // namespace qlink
