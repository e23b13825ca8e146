// Expression printer and line writer.
#include <gtest/gtest.h>

#include <initializer_list>

#include "expr_test_util.h"

namespace qlink::exprtest {
namespace {

// Trees made node by node, without the simplifier.
class Trees {
 public:
  Node* V(int column) { return Make(kNodeVariable, column); }
  Node* C(double value) {
    Node* n = Make(kNodeConstant, 0);
    n->value = value;
    return n;
  }
  Node* Neg(Node* a) { return Make(kNodeUmin, 0, a); }
  Node* Add(Node* a, Node* b) { return Make(kNodeAdd, 0, a, b); }
  Node* Sub(Node* a, Node* b) { return Make(kNodeSub, 0, a, b); }
  Node* Mul(Node* a, Node* b) { return Make(kNodeMul, 0, a, b); }
  Node* Div(Node* a, Node* b) { return Make(kNodeDiv, 0, a, b); }
  Node* F1(int f, Node* a) { return Make(kNodeCall1, f, a); }
  Node* F2(int f, Node* a, Node* b) { return Make(kNodeCall2, f, a, b); }
  Node* FN(int f, std::initializer_list<Node*> args) {
    Node* call = Make(kNodeCallN, f);
    Node* previous = nullptr;
    int position = 0;
    for (Node* a : args) {
      Node* arg = Make(kNodeArgument, ++position, a);
      (previous == nullptr ? call->left : previous->right) = arg;
      previous = arg;
    }
    return call;
  }
  Node* Store(Node* e) { return Make(kNodeStore, 1, e); }

 private:
  Node* Make(std::uint8_t kind, int operand, Node* left = nullptr, Node* right = nullptr) {
    return MakeNode(pool_, kind, operand, left, right);
  }
  NodePool pool_;
};

TEST(ExpressionPrinter, ParenthesesAndNodeTexts) {
  Trees t;
  struct Case {
    Node* tree;
    const char* text;
  };
  const Case cases[] = {
      // Sums: a leading minus is enclosed unless a parenthesis has just been opened for it.
      {t.Add(t.Neg(t.V(1)), t.V(2)), "(-x1) + x2"},
      {t.Sub(t.Neg(t.V(1)), t.V(2)), "(-x1) - x2"},
      {t.Mul(t.V(3), t.Add(t.Neg(t.V(1)), t.V(2))), "x3*(-x1 + x2)"},
      {t.Add(t.V(3), t.Sub(t.Neg(t.V(1)), t.V(2))), "x3 + (-x1) - x2"},
      {t.Mul(t.Add(t.Add(t.Neg(t.V(1)), t.V(2)), t.V(4)), t.V(3)), "(-x1 + x2 + x4)*x3"},
      {t.Add(t.V(1), t.Neg(t.V(2))), "x1 + (-x2)"},
      {t.Sub(t.V(1), t.Neg(t.V(2))), "x1 - (-x2)"},
      {t.Sub(t.V(1), t.Add(t.V(2), t.V(3))), "x1 - (x2 + x3)"},
      {t.Sub(t.V(1), t.Sub(t.V(2), t.V(3))), "x1 - (x2 - x3)"},
      {t.Add(t.V(1), t.Sub(t.V(2), t.V(3))), "x1 + x2 - x3"},
      {t.Sub(t.Sub(t.V(1), t.V(2)), t.V(3)), "x1 - x2 - x3"},
      {t.Sub(t.V(1), t.Mul(t.V(2), t.V(3))), "x1 - x2*x3"},
      // Products and quotients.
      {t.Mul(t.Add(t.V(1), t.V(2)), t.V(3)), "(x1 + x2)*x3"},
      {t.Div(t.V(3), t.Sub(t.V(1), t.V(2))), "x3/(x1 - x2)"},
      {t.Mul(t.Neg(t.V(1)), t.V(2)), "(-x1)*x2"},
      {t.Mul(t.V(1), t.Neg(t.V(2))), "x1*(-x2)"},
      {t.Div(t.V(1), t.Mul(t.V(2), t.V(3))), "x1/(x2*x3)"},
      {t.Div(t.V(1), t.Div(t.V(2), t.V(3))), "x1/(x2/x3)"},
      {t.Mul(t.V(1), t.Div(t.V(2), t.V(3))), "x1*x2/x3"},
      {t.Mul(t.V(1), t.Mul(t.V(2), t.V(3))), "x1*x2*x3"},
      {t.Div(t.Mul(t.V(1), t.V(2)), t.V(3)), "x1*x2/x3"},
      {t.Div(t.Div(t.V(1), t.V(2)), t.V(3)), "x1/x2/x3"},
      // Unary minus.
      {t.Neg(t.Add(t.V(1), t.V(2))), "-(x1 + x2)"},
      {t.Neg(t.Neg(t.V(1))), "-(-x1)"},
      {t.Neg(t.Mul(t.Add(t.V(1), t.V(2)), t.V(3))), "-(x1 + x2)*x3"},
      {t.Neg(t.F2(21, t.V(1), t.C(2))), "-x1^2"},
      // Powers.
      {t.F2(21, t.V(1), t.C(2)), "x1^2"},
      {t.F2(64, t.V(1), t.C(2.5)), "x1^2.5"},
      {t.F2(74, t.C(2), t.V(1)), "2^x1"},
      {t.F2(75, t.V(1), t.C(3)), "x1^3"},
      {t.F2(64, t.Add(t.V(1), t.V(2)), t.C(0.5)), "(x1 + x2)^0.5"},
      {t.F2(64, t.F2(21, t.V(1), t.C(2)), t.C(0.5)), "(x1^2)^0.5"},
      {t.F2(21, t.V(1), t.Neg(t.C(2))), "x1^(-2)"},
      {t.F2(64, t.Neg(t.V(1)), t.C(3)), "(-x1)^3"},
      {t.F2(64, t.V(1), t.Mul(t.V(2), t.V(3))), "x1^(x2*x3)"},
      {t.F2(64, t.Div(t.V(2), t.V(3)), t.V(1)), "(x2/x3)^x1"},
      {t.F2(64, t.V(1), t.F2(64, t.V(2), t.V(3))), "x1^(x2^x3)"},
      {t.F2(64, t.F1(10, t.V(1)), t.C(2)), "exp(x1)^2"},
      {t.Mul(t.V(2), t.F2(64, t.Add(t.V(1), t.V(3)), t.C(0))), "x2*1"},
      {t.F2(21, t.V(1), t.C(0)), "1"},
      {t.F2(21, t.V(1), t.C(1e-300)), "x1^1e-300"},
      // Calls.
      {t.F1(10, t.Add(t.V(1), t.V(2))), "exp(x1 + x2)"},
      {t.F1(11, t.Neg(t.V(1))), "log(-x1)"},
      {t.F2(7, t.Add(t.V(1), t.V(2)), t.Neg(t.V(3))), "min(x1 + x2,-x3)"},
      {t.FN(8, {t.V(1), t.Sub(t.V(2), t.V(3)), t.C(4)}), "max(x1,x2 - x3,4)"},
      {t.FN(45, {}), "PI()"},
      {t.Mul(t.FN(125, {t.V(1)}), t.V(2)), "LSEMax(x1)*x2"},
      // Numbers.
      {t.C(0), "0"},
      {t.C(1e20), "1e20"},
      {t.C(1.5e-7), "1.5e-7"},
      {t.C(0.0001), "0.0001"},
      {t.C(123456789012345678.0), "1.23456789012346e17"},
      {t.C(1.0 / 3.0), "0.333333333333333"},
      {t.Store(t.Add(t.V(1), t.C(2))), "x1 + 2"},
  };
  for (const Case& c : cases) EXPECT_EQ(Print(c.tree), c.text);
}

TEST(ExpressionPrinter, MarksParentsAndParentheses) {
  Trees t;
  Node* minus = t.Neg(t.V(2));
  Node* sum = t.Add(t.V(1), minus);
  Node* store = t.Store(sum);
  EXPECT_EQ(Print(store), "x1 + (-x2)");
  EXPECT_EQ(minus->parent, sum);
  EXPECT_EQ(sum->parent, store);
  EXPECT_EQ(minus->parenthesised, 1);
  EXPECT_EQ(sum->parenthesised, 0);
  EXPECT_EQ(sum->visited, 1);
  EXPECT_EQ(minus->left->visited, 1);
}

TEST(ExpressionPrinter, UsesTheGivenNames) {
  Trees t;
  ExpressionPrinter printer([](int column, std::string& out) {
    out += column == 2 ? "objvar" : "b" + std::to_string(column);
  });
  StringSink sink;
  printer.Print(t.Mul(t.V(1), t.V(2)), sink);
  EXPECT_EQ(sink.text, "b1*objvar");
}

TEST(ExpressionPrinter, PrintsDeepTreesWithoutRecursion) {
  NodePool pool;
  Code code;
  code.V(1);
  for (int i = 0; i < 200000; ++i) code.Op(kOpSubV, 2).Op(kOpUmin);
  code.Store();
  const std::string text = Print(Build(pool, code));
  // "-(" and " - x2)" per level around x1; the minus at the start of a sum opened by a
  // parenthesis needs none of its own.
  std::string expected;
  for (int i = 0; i < 200000; ++i) expected += "-(";
  expected += "x1";
  for (int i = 0; i < 200000; ++i) expected += " - x2)";
  EXPECT_TRUE(text == expected) << text.substr(0, 40) << " ... " << text.substr(text.size() - 40);
}

// Lines collected from a line writer.
struct Lines {
  std::vector<std::string> lines;
  LineWriter::LineOutput Output() {
    return [this](std::string_view line) { lines.emplace_back(line); };
  }
};

TEST(LineWriter, ContinuesAtTheIndentOfTheStartText) {
  Lines out;
  LineWriter writer(out.Output(), 20);
  writer.StartLine("e12: ");
  for (const char* piece : {"x1", " + ", "x22", " + ", "x333", " + ", "x4444", " + ", "x5"})
    writer.Append(piece);
  writer.WriteLine(" >= 3;");
  writer.StartLine("e2: ");
  writer.Append("x1");
  writer.Close();
  const std::vector<std::string> expected = {
      "e12: x1 + x22 + x333",  // exactly the width
      "      + x4444 + x5",
      "      >= 3;",
      "e2: x1",
  };
  EXPECT_EQ(out.lines, expected);
}

TEST(LineWriter, LongPiecesAndIndents) {
  Lines out;
  LineWriter writer(out.Output(), 10);
  EXPECT_EQ(writer.continuation_indent(), LineWriter::kDefaultIndent);
  writer.Append("abc");
  writer.Append("0123456789AB");  // too long for any line: on a line of its own
  writer.Append("x");
  writer.StartLine("0123456789ABCDEF");  // the indent is at most width - 1
  EXPECT_EQ(writer.continuation_indent(), 9);
  writer.Append("y");
  writer.Open(out.Output(), 10, 2);  // ends the pending line
  writer.Append("z");
  writer.EndLine();
  writer.EndLine();  // nothing pending: no empty line
  const std::vector<std::string> expected = {
      "abc", "   0123456789AB", "   x", "0123456789ABCDEF", "         y", "z",
  };
  EXPECT_EQ(out.lines, expected);
}

TEST(LineWriter, Lists) {
  Lines out;
  LineWriter writer(out.Output(), 20);
  writer.ListBegin("VARIABLES");
  writer.ListItem("x1");
  writer.ListItem("x2");
  writer.ListEnd();
  writer.ListBegin("EQUATIONS");
  for (const char* item : {"e1", "e2", "e3", "e4", "e5"}) writer.ListItem(item);
  writer.ListEnd();
  writer.StartLine("abc");
  writer.ListBegin("NONE");
  writer.ListEnd();  // no items: nothing
  writer.ListBegin("K");
  writer.ListItem("aaaaaaaaaaaaaaaaa");  // fills the line
  writer.ListEnd();
  writer.Close();
  const std::vector<std::string> expected = {
      "",  // a list starts after an empty line unless a line is pending
      "VARIABLES  x1,x2;",
      "",
      "EQUATIONS  e1,e2,e3",  // ",e4" would reach the width
      "          ,e4,e5;",
      "abc",
      "K  aaaaaaaaaaaaaaaaa",
      "          ;",
  };
  EXPECT_EQ(out.lines, expected);
}

TEST(LineWriter, KeepsParenthesesWithTheirText) {
  Trees t;
  Lines out;
  LineWriter writer(out.Output(), 12);
  writer.StartLine("e1: ");
  ExpressionPrinter printer;
  printer.Print(t.Mul(t.Mul(t.V(1), t.Add(t.V(2), t.V(3))), t.Sub(t.V(4), t.V(5))), writer);
  writer.Close();
  const std::vector<std::string> expected = {
      "e1: x1*(x2", "     + x3)*", "    (x4 - ", "    x5)",
  };
  EXPECT_EQ(out.lines, expected);
}

}  // namespace
}  // namespace qlink::exprtest
