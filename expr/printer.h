// The expression printer: one tree as text in the solver's input language, appended piece by
// piece to a text sink, and the line writer through which the problem file is written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "expr/tree.h"

namespace qlink {

// Receives text pieces; the expression printer writes through it.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Append(std::string_view text) = 0;
};

// Lines of at most `width` characters where the pieces allow: a piece that would make the line
// longer than the width starts a continuation line, indented by the continuation indent. The
// finished lines go to the output function without a line end.
class LineWriter : public TextSink {
 public:
  using LineOutput = std::function<void(std::string_view line)>;

  static constexpr int kDefaultWidth = 79;
  static constexpr int kDefaultIndent = 3;
  static constexpr int kListIndent = 10;

  LineWriter() = default;
  explicit LineWriter(LineOutput output, int width = kDefaultWidth, int indent = kDefaultIndent) {
    Open(std::move(output), width, indent);
  }

  // Ends a pending line of a previous output; sets the width and the continuation indent.
  void Open(LineOutput output, int width = kDefaultWidth, int indent = kDefaultIndent);

  // Ends a pending line and writes `text`; continuation lines are indented by its length
  // (at most width - 1).
  void StartLine(std::string_view text);

  // Writes `text`, first starting a continuation line when the line would become too long.
  void Append(std::string_view text) override;

  // Append, then end the line.
  void WriteLine(std::string_view text);

  // Ends the current line when it holds anything.
  void EndLine();

  // A list section: "KEYWORD  a,b,c;" on a line of its own, continued at column 10.
  void ListBegin(std::string_view keyword);
  // The first item ends the current line (writing an empty line when there is none) and writes
  // the keyword, two blanks and the item; later items add "," and the item, first starting a
  // continuation line when the line would reach the width.
  void ListItem(std::string_view text);
  // With items: ";" (on a continuation line when the line is full), then the line ends.
  void ListEnd();

  // Ends a pending line.
  void Close() { EndLine(); }

  int width() const { return width_; }
  int continuation_indent() const { return indent_; }
  std::size_t line_length() const { return line_.size(); }

 private:
  void Emit();      // writes the line, empty or not
  void Continue();  // ends the line and starts a continuation line

  LineOutput output_;
  int width_ = kDefaultWidth;
  int indent_ = kDefaultIndent;
  std::string line_;
  bool line_has_text_ = false;  // something beyond a continuation indent was written
  std::string list_keyword_;
  int list_items_ = 0;
};

// Appends the name of column `column` (1-based) to `out`.
using VariableNamer = std::function<void(int column, std::string& out)>;

// The default names "x1", "x2", ...
void DefaultVariableName(int column, std::string& out);

// Prints trees. Keeps its work buffers between calls; trees of any depth are printed without
// recursion.
class ExpressionPrinter {
 public:
  explicit ExpressionPrinter(VariableNamer namer = DefaultVariableName)
      : namer_(std::move(namer)) {}

  // Appends the text of the tree at `root` (a store node prints its expression) to `sink`.
  void Print(Node* root, TextSink& sink);

 private:
  struct Frame {
    Node* node;
    int stage;
    Node* cursor;  // the next argument node of an n-argument call
  };

  void Text(std::string_view text);
  void Close();
  void Enter(Node* node, Node* parent, bool parenthesise);
  void Flush();

  VariableNamer namer_;
  TextSink* sink_ = nullptr;
  std::vector<Frame> stack_;
  std::string piece_;     // the last text with the closing parentheses that follow it
  int pending_open_ = 0;  // opened parentheses whose first text is not written yet
  std::string scratch_;
};

// Prints one tree with the default variable names.
void PrintExpression(Node* root, TextSink& sink);

}  // namespace qlink
