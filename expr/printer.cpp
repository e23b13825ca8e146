#include "expr/printer.h"

#include <algorithm>
#include <string>

#include "mathlib/mathnew.h"
#include "runtime/lvocommon.h"

namespace qlink {

void LineWriter::Open(LineOutput output, int width, int indent) {
  EndLine();
  output_ = std::move(output);
  width_ = std::max(1, width);
  indent_ = std::clamp(indent, 0, width_ - 1);
}

void LineWriter::Emit() {
  if (output_) output_(line_);
  line_.clear();
  line_has_text_ = false;
}

void LineWriter::Continue() {
  Emit();
  line_.assign(static_cast<std::size_t>(indent_), ' ');
}

void LineWriter::StartLine(std::string_view text) {
  EndLine();
  line_.assign(text);
  line_has_text_ = !text.empty();
  indent_ = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(width_ - 1),
                                                   text.size()));
}

void LineWriter::Append(std::string_view text) {
  // A continuation line that holds nothing but its indent takes the text however long it is.
  if (line_has_text_ && line_.size() + text.size() > static_cast<std::size_t>(width_)) Continue();
  line_.append(text);
  if (!text.empty()) line_has_text_ = true;
}

void LineWriter::WriteLine(std::string_view text) {
  Append(text);
  Emit();
}

void LineWriter::EndLine() {
  if (!line_.empty()) Emit();
}

void LineWriter::ListBegin(std::string_view keyword) {
  list_keyword_.assign(keyword);
  list_items_ = 0;
}

void LineWriter::ListItem(std::string_view text) {
  if (list_items_++ == 0) {
    Emit();  // the pending line, or an empty line
    line_ = list_keyword_;
    line_ += "  ";
    indent_ = std::min(width_ - 1, kListIndent);
  } else {
    if (line_.size() + 1 + text.size() >= static_cast<std::size_t>(width_)) Continue();
    line_ += ',';
  }
  line_.append(text);
  line_has_text_ = true;
}

void LineWriter::ListEnd() {
  if (list_items_ == 0) return;
  if (line_.size() >= static_cast<std::size_t>(width_)) Continue();
  line_ += ';';
  Emit();
  list_items_ = 0;
}

void DefaultVariableName(int column, std::string& out) {
  out += 'x';
  out += std::to_string(column);
}

namespace {

bool IsAddOrSub(const Node* n) { return n->kind == kNodeAdd || n->kind == kNodeSub; }
bool IsMulOrDiv(const Node* n) { return n->kind == kNodeMul || n->kind == kNodeDiv; }

bool IsInfixPower(const Node* n) {
  return n->kind == kNodeCall2 && (n->operand == kFnPower || n->operand == kFnRPower ||
                                   n->operand == kFnCvPower || n->operand == kFnVcPower);
}

// Whether the base or exponent of an infix power needs parentheses.
bool PowerOperandNeedsParentheses(const Node* n) {
  return IsAddOrSub(n) || IsMulOrDiv(n) || n->kind == kNodeUmin || IsInfixPower(n);
}

}  // namespace

void ExpressionPrinter::Flush() {
  if (!piece_.empty()) sink_->Append(piece_);
  piece_.clear();
}

// Opening parentheses go immediately before the first text of what they enclose.
void ExpressionPrinter::Text(std::string_view text) {
  Flush();
  piece_.assign(static_cast<std::size_t>(pending_open_), '(');
  pending_open_ = 0;
  piece_.append(text);
}

// Closing parentheses go right after the last text; a parenthesis around nothing is dropped.
void ExpressionPrinter::Close() {
  if (pending_open_ > 0) {
    --pending_open_;
  } else {
    piece_ += ')';
  }
}

void ExpressionPrinter::Enter(Node* node, Node* parent, bool parenthesise) {
  if (node == nullptr) return;
  node->parent = parent;
  node->parenthesised = parenthesise ? 1 : 0;
  node->visited = 0;
  if (parenthesise) ++pending_open_;
  stack_.push_back(Frame{node, 0, nullptr});
}

void ExpressionPrinter::Print(Node* root, TextSink& sink) {
  sink_ = &sink;
  stack_.clear();
  piece_.clear();
  pending_open_ = 0;
  Enter(root, nullptr, false);
  while (!stack_.empty()) {
    // `frame` is not used after Enter, which may move the stack.
    Frame& frame = stack_.back();
    Node* n = frame.node;
    const int stage = frame.stage++;
    bool done = false;
    switch (n->kind) {
      case kNodeVariable:
        scratch_.clear();
        namer_(n->operand, scratch_);
        Text(scratch_);
        n->visited = 1;
        done = true;
        break;
      case kNodeConstant: {
        char buffer[kNumberBufferSize];
        char* end = FormatNumberTo(buffer, n->value, 'e');
        std::replace(buffer, end, ',', '.');
        Text(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
        n->visited = 1;
        done = true;
        break;
      }
      case kNodeAdd:
      case kNodeSub:
        if (stage == 0) {
          Enter(n->left, n, n->left != nullptr && n->left->kind == kNodeUmin &&
                                pending_open_ == 0);
        } else if (stage == 1) {
          Text(n->kind == kNodeAdd ? " + " : " - ");
          n->visited = 1;
          const Node* r = n->right;
          Enter(n->right, n, r != nullptr && (r->kind == kNodeUmin ||
                                              (n->kind == kNodeSub && IsAddOrSub(r))));
        } else {
          done = true;
        }
        break;
      case kNodeMul:
      case kNodeDiv:
        if (stage == 0) {
          const Node* l = n->left;
          Enter(n->left, n, l != nullptr && (IsAddOrSub(l) || l->kind == kNodeUmin));
        } else if (stage == 1) {
          Text(n->kind == kNodeMul ? "*" : "/");
          n->visited = 1;
          const Node* r = n->right;
          Enter(n->right, n, r != nullptr && (IsAddOrSub(r) || r->kind == kNodeUmin ||
                                              (n->kind == kNodeDiv && IsMulOrDiv(r))));
        } else {
          done = true;
        }
        break;
      case kNodeUmin:
        if (stage == 0) {
          Text("-");
          n->visited = 1;
          const Node* l = n->left;
          Enter(n->left, n, l != nullptr && (IsAddOrSub(l) || l->kind == kNodeUmin));
        } else {
          done = true;
        }
        break;
      case kNodeCall1:
        if (stage == 0) {
          scratch_.assign(function_name(n->operand));
          scratch_ += '(';
          Text(scratch_);
          n->visited = 1;
          Enter(n->left, n, false);
        } else {
          piece_ += ')';
          done = true;
        }
        break;
      case kNodeCall2:
        if (IsInfixPower(n)) {
          const Node* r = n->right;
          if (stage == 0 && r != nullptr && r->kind == kNodeConstant && r->value == 0) {
            Text("1");  // x^0
            n->visited = 1;
            done = true;
          } else if (stage == 0) {
            const Node* l = n->left;
            Enter(n->left, n, l != nullptr && PowerOperandNeedsParentheses(l));
          } else if (stage == 1) {
            Text("^");
            n->visited = 1;
            Enter(n->right, n, r != nullptr && PowerOperandNeedsParentheses(r));
          } else {
            done = true;
          }
        } else if (stage == 0) {
          scratch_.assign(function_name(n->operand));
          scratch_ += '(';
          Text(scratch_);
          n->visited = 1;
          Enter(n->left, n, false);
        } else if (stage == 1) {
          Text(",");
          Enter(n->right, n, false);
        } else {
          piece_ += ')';
          done = true;
        }
        break;
      case kNodeCallN: {
        Node* argument = stage == 0 ? n->left : frame.cursor;
        if (stage == 0) {
          scratch_.assign(function_name(n->operand));
          scratch_ += '(';
          Text(scratch_);
          n->visited = 1;
        } else if (argument != nullptr) {
          Text(",");
        }
        if (argument != nullptr) {
          frame.cursor = argument->right;
          argument->parent = n;
          argument->visited = 1;
          Enter(argument->left, argument, false);
        } else {
          piece_ += ')';
          done = true;
        }
        break;
      }
      case kNodeStore:
      case kNodeArgument:
        if (stage == 0) {
          n->visited = 1;
          Enter(n->left, n, false);
        } else {
          done = true;
        }
        break;
      default:  // a discarded node has no text
        done = true;
        break;
    }
    if (done) {
      if (n->parenthesised) Close();
      stack_.pop_back();
    }
  }
  Flush();
  pending_open_ = 0;
  sink_ = nullptr;
}

void PrintExpression(Node* root, TextSink& sink) {
  static ExpressionPrinter printer;
  printer.Print(root, sink);
}

}  // namespace qlink
