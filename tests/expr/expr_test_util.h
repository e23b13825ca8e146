// Helpers of the expression tests: instruction code written by hand, trees dumped in a prefix
// form that does not depend on the printer, printing into a string and captured messages.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "expr/instructions.h"
#include "expr/messages.h"
#include "expr/printer.h"
#include "expr/simplify.h"
#include "expr/tree.h"
#include "mathlib/mathnew.h"
#include "runtime/lvocommon.h"

namespace qlink::exprtest {

// A row's code and its constant pool.
struct Code {
  std::vector<Instruction> ins;
  std::vector<double> pool;

  Code& Op(std::uint8_t opcode, std::int32_t operand = 0) {
    ins.push_back(Instruction{opcode, operand});
    return *this;
  }
  // An instruction whose operand is a new pool entry holding `value`.
  Code& OpI(std::uint8_t opcode, double value) {
    pool.push_back(value);
    return Op(opcode, static_cast<std::int32_t>(pool.size()));
  }
  Code& V(int column) { return Op(kOpPushV, column); }
  Code& C(double value) { return OpI(kOpPushI, value); }
  Code& Call1(int f) { return Op(kOpCallArg1, f); }
  Code& Call2(int f) { return Op(kOpCallArg2, f); }
  Code& Store(int row = 1) { return Op(kOpStore, row); }
};

inline Node* Build(NodePool& pool, const Code& code, int num_columns = 10,
                   int* problems = nullptr) {
  return build_tree(pool, 1, static_cast<int>(code.ins.size()), code.ins, code.pool, num_columns,
                    problems);
}

// Prefix form: x1, 2.5, +(a,b), -(a,b), *(a,b), /(a,b), ~(a) for unary minus, f<n>(args),
// f<n>[args] for n-argument calls, S<row>(e) for a store, # for a discarded node.
inline std::string Dump(const Node* n) {
  if (n == nullptr) return "null";
  switch (n->kind) {
    case kNodeDiscarded: return "#";
    case kNodeVariable: return "x" + std::to_string(n->operand);
    case kNodeConstant: return FormatNumber(n->value);
    case kNodeStore: return "S" + std::to_string(n->operand) + "(" + Dump(n->left) + ")";
    case kNodeAdd: return "+(" + Dump(n->left) + "," + Dump(n->right) + ")";
    case kNodeSub: return "-(" + Dump(n->left) + "," + Dump(n->right) + ")";
    case kNodeMul: return "*(" + Dump(n->left) + "," + Dump(n->right) + ")";
    case kNodeDiv: return "/(" + Dump(n->left) + "," + Dump(n->right) + ")";
    case kNodeUmin: return "~(" + Dump(n->left) + ")";
    case kNodeCall1: return "f" + std::to_string(n->operand) + "(" + Dump(n->left) + ")";
    case kNodeCall2:
      return "f" + std::to_string(n->operand) + "(" + Dump(n->left) + "," + Dump(n->right) + ")";
    case kNodeCallN: {
      std::string s = "f" + std::to_string(n->operand) + "[";
      for (const Node* a = n->left; a != nullptr; a = a->right) {
        if (a != n->left) s += ",";
        s += (a->kind == kNodeArgument ? "" : "!") + std::to_string(a->operand) + ":" +
             Dump(a->left);
      }
      return s + "]";
    }
    default: return "?" + std::to_string(n->kind);
  }
}

struct StringSink : TextSink {
  std::string text;
  void Append(std::string_view piece) override { text.append(piece); }
};

inline std::string Print(Node* root) {
  StringSink sink;
  ExpressionPrinter printer;
  printer.Print(root, sink);
  return sink.text;
}

// Messages of the expression code, captured in a temporary file while the object lives.
class MessageCapture {
 public:
  MessageCapture() : file_(std::tmpfile()) { SetExprMessageStream(file_); }
  ~MessageCapture() {
    SetExprMessageStream(nullptr);
    if (file_ != nullptr) std::fclose(file_);
  }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  std::string Text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string s;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) s.append(buffer, n);
    std::fseek(file_, 0, SEEK_END);
    return s;
  }

 private:
  std::FILE* file_;
};

// Test names of parameterised cases from their `name` member.
struct CaseName {
  template <class Param>
  std::string operator()(const testing::TestParamInfo<Param>& case_info) const {
    return case_info.param.name;
  }
};

// Fatal messages go to standard output; in a death test's child they are sent to standard error,
// where the death test sees them.
inline void MessagesToStderr() { SetExprMessageStream(stderr); }

}  // namespace qlink::exprtest
