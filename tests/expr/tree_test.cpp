// Node pool, tree building and scaling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "expr_test_util.h"

namespace qlink::exprtest {
namespace {

TEST(NodePool, NumbersNodesInOrderAndRestartsAfterRelease) {
  NodePool pool;
  Node* a = pool.new_node();
  Node* b = pool.new_node();
  Node* c = pool.new_node();
  EXPECT_EQ(pool.head(), a);
  EXPECT_EQ(pool.tail(), c);
  EXPECT_EQ(a->next, b);
  EXPECT_EQ(b->next, c);
  EXPECT_EQ(c->next, nullptr);
  EXPECT_EQ(a->seq, 1);
  EXPECT_EQ(c->seq, 3);
  EXPECT_EQ(pool.size(), 3u);

  pool.release_all();
  EXPECT_EQ(pool.head(), nullptr);
  EXPECT_EQ(pool.size(), 0u);
  Node* d = pool.new_node();
  EXPECT_EQ(d->seq, 1);
  EXPECT_EQ(pool.head(), d);
  EXPECT_EQ(d->next, nullptr);
}

TEST(NodePool, ReusesReleasedNodesZeroed) {
  NodePool pool;
  std::vector<Node*> first;
  for (int i = 0; i < 5000; ++i) {  // more than one allocation block
    Node* n = pool.new_node();
    n->kind = kNodeAdd;
    n->value = 7;
    n->operand = 9;
    n->left = n->right = n->parent = n;
    n->parenthesised = n->visited = 1;
    first.push_back(n);
  }
  pool.release_all();
  std::vector<Node*> second;
  for (int i = 0; i < 5000; ++i) second.push_back(pool.new_node());
  std::sort(first.begin(), first.end());
  std::vector<Node*> sorted = second;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, first) << "the free list must be used before new nodes are allocated";
  for (const Node* n : second) {
    ASSERT_EQ(n->kind, kNodeDiscarded);
    ASSERT_EQ(n->value, 0.0);
    ASSERT_EQ(n->operand, 0);
    ASSERT_EQ(n->left, nullptr);
    ASSERT_EQ(n->right, nullptr);
    ASSERT_EQ(n->parent, nullptr);
    ASSERT_EQ(n->parenthesised, 0);
    ASSERT_EQ(n->visited, 0);
  }
  EXPECT_EQ(second.back()->seq, 5000);
}

TEST(NodePool, DiscardSubtreeKeepsNodesInListAndSparesTheRest) {
  NodePool pool;
  Code code;
  code.V(1).V(2).Op(kOpMul).V(3).Op(kOpAdd).Store();
  Node* store = Build(pool, code);
  ASSERT_EQ(Dump(store), "S1(+(*(x1,x2),x3))");
  Node* sum = store->left;
  Node* product = sum->left;
  const std::size_t size = pool.size();
  pool.discard_subtree(product);
  EXPECT_EQ(pool.size(), size);
  EXPECT_EQ(Dump(store), "S1(+(#,x3))");
  int discarded = 0;
  for (Node* n = pool.head(); n != nullptr; n = n->next) {
    if (n->kind == kNodeDiscarded) {
      ++discarded;
      EXPECT_EQ(n->left, nullptr);
      EXPECT_EQ(n->right, nullptr);
    }
  }
  EXPECT_EQ(discarded, 3);
}

TEST(NodePool, DiscardsDeepSubtreeWithoutRecursion) {
  NodePool pool;
  Code code;
  code.V(1);
  for (int i = 0; i < 300000; ++i) code.Op(kOpAddV, 2);
  code.Store();
  Node* store = Build(pool, code);
  pool.discard_subtree(store);
  for (Node* n = pool.head(); n != nullptr; n = n->next) ASSERT_EQ(n->kind, kNodeDiscarded);
}

struct BuildCase {
  const char* name;
  Code code;
  const char* tree;
};

class BuildTree : public testing::TestWithParam<BuildCase> {};

TEST_P(BuildTree, MakesTree) {
  NodePool pool;
  MessageCapture messages;
  int problems = -1;
  Node* root = Build(pool, GetParam().code, 10, &problems);
  EXPECT_EQ(Dump(root), GetParam().tree);
  EXPECT_EQ(problems, 0);
  EXPECT_EQ(messages.Text(), "");
}

const BuildCase kBuildCases[] = {
    {"NegativePoolConstantIsMinusOfItsMagnitude", Code().C(-3).Store(2), "S2(~(3))"},
    {"MinusZeroIsZero", Code().C(-0.0).Store(), "S1(0)"},
    {"CvPowerBecomesRPower", Code().V(1).C(2).Call2(74).Store(5), "S5(f64(x1,2))"},
    {"VcPowerBecomesRPower", Code().V(1).C(2).Call2(75).Store(), "S1(f64(x1,2))"},
    {"OtherTwoArgumentCallsKeepTheirNumber", Code().V(1).C(2).Call2(21).Store(),
     "S1(f21(x1,2))"},
    {"FuncArgNTakesArgumentsInOrder",
     Code().V(1).V(2).V(3).Op(kOpFuncArgN, 3).Op(kOpCallArgN, 8).Store(),
     "S1(f8[1:x1,2:x2,3:x3])"},
    {"FuncArgNWithoutArgumentsPushesTheCall",
     Code().V(1).Op(kOpFuncArgN, 0).Op(kOpCallArgN, 45).Op(kOpMul).Store(), "S1(*(x1,f45[]))"},
    {"MulIAddAddsScaledTop", Code().V(1).V(2).OpI(kOpMulIAdd, 4).Store(), "S1(+(x1,*(x2,4)))"},
    {"MulIAddWithNegativeConstant", Code().V(1).V(2).OpI(kOpMulIAdd, -4).Store(),
     "S1(+(x1,*(x2,~(4))))"},
    {"OperatorsTakeBelowTopAsLeft",
     Code().V(1).V(2).Op(kOpSub).V(3).Op(kOpDiv).V(4).Op(kOpMul).V(5).Op(kOpAdd).Store(),
     "S1(+(*(/(-(x1,x2),x3),x4),x5))"},
    {"VariableForms",
     Code().V(1).Op(kOpAddV, 2).Op(kOpSubV, 3).Op(kOpMulV, 4).Op(kOpDivV, 5).Store(),
     "S1(/(*(-(+(x1,x2),x3),x4),x5))"},
    {"ConstantForms",
     Code().V(1).OpI(kOpAddI, 1).OpI(kOpSubI, -2).OpI(kOpMulI, 3).OpI(kOpDivI, 0.5).Store(),
     "S1(/(*(-(+(x1,1),~(2)),3),0.5))"},
    {"UnaryMinusForms", Code().Op(kOpUminV, 2).Op(kOpUmin).Store(), "S1(~(~(x2)))"},
    {"OneArgumentCallAndZero", Code().Op(kOpPushZero).Call1(10).Store(), "S1(f10(0))"},
    {"HeaderAndNoOpAreIgnored", Code().Op(kOpHeader, 7).V(1).Op(kOpNoOp).Store(), "S1(x1)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, BuildTree, testing::ValuesIn(kBuildCases),
                         CaseName());

TEST(BuildTree, ConstantNodeCarriesPoolIndex) {
  NodePool pool;
  Code code;
  code.C(1).C(-5).Op(kOpAdd).Store();
  Node* store = Build(pool, code);
  EXPECT_EQ(store->left->left->operand, 1);
  EXPECT_EQ(store->left->right->left->operand, 2);
}

TEST(BuildTree, UsesOnlyTheGivenPositions) {
  NodePool pool;
  Code code;
  code.V(9).Store(9).Op(kOpHeader).V(1).V(2).Op(kOpAdd).Store(2).V(8);
  Node* store = build_tree(pool, 3, 7, code.ins, code.pool, 10);
  EXPECT_EQ(Dump(store), "S2(+(x1,x2))");
}

struct ReportCase {
  const char* name;
  Code code;
  const char* messages;
  const char* tree;  // the node returned
};

class BuildTreeReports : public testing::TestWithParam<ReportCase> {};

TEST_P(BuildTreeReports, ReportsAndGoesOn) {
  NodePool pool;
  MessageCapture messages;
  int problems = 0;
  Node* root = Build(pool, GetParam().code, 3, &problems);
  const std::string text = messages.Text();
  EXPECT_EQ(text, GetParam().messages);
  EXPECT_EQ(problems, std::count(text.begin(), text.end(), '\n'));
  EXPECT_EQ(Dump(root), GetParam().tree);
}

const ReportCase kReportCases[] = {
    {"End", Code().V(1).Op(kOpEnd).Op(kOpAddV, 2).Store(),
     "Buildtree: unknown instruction End at location 2\n", "S1(+(x1,x2))"},
    {"LoneCallArgN", Code().V(1).Op(kOpCallArgN, 10).Store(),
     "Buildtree: unknown instruction CallArgN at location 2\n", "S1(x1)"},
    {"OpcodesNotForTrees", Code().Op(kOpChk).Op(kOpAddO).Op(kOpPushO).Op(kOpInvoc).Op(kOpStackIn).V(1).Store(),
     "Buildtree: unknown instruction Chk at location 1\n"
     "Buildtree: unknown instruction AddO at location 2\n"
     "Buildtree: unknown instruction PushO at location 3\n"
     "Buildtree: unknown instruction Invoc at location 4\n"
     "Buildtree: unknown instruction StackIn at location 5\n",
     "S1(x1)"},
    {"CodeAboveTheTable", Code().V(1).Op(31).Op(255).Store(),
     "Buildtree: unknown instruction 31 at location 2\n"
     "Buildtree: unknown instruction 255 at location 3\n",
     "S1(x1)"},
    {"TwoEntriesLeft", Code().V(1).V(2).Store(),
     "Buildtree: stack not equal to one, stack = 2\n", "S1(x2)"},
    {"NothingLeft", Code().Op(kOpHeader), "Buildtree: stack not equal to one, stack = 0\n",
     "null"},
    {"AddOnEmptyStack", Code().Op(kOpAdd).V(1).Store(),
     "Buildtree: stack underflow at instruction Add at location 1\n", "S1(x1)"},
    {"BinaryOperatorOnOneEntry", Code().V(1).Op(kOpMul).Op(kOpCallArg2, 21).Op(kOpMulIAdd, 1).Store(),
     "Buildtree: stack underflow at instruction Mul at location 2\n"
     "Buildtree: stack underflow at instruction CallArg2 at location 3\n"
     "Buildtree: stack underflow at instruction MulIAdd at location 4\n",
     "S1(x1)"},
    {"UnaryOnEmptyStack", Code().Op(kOpUmin).Op(kOpCallArg1, 10).Op(kOpAddV, 1).Op(kOpStore, 1),
     "Buildtree: stack underflow at instruction Umin at location 1\n"
     "Buildtree: stack underflow at instruction CallArg1 at location 2\n"
     "Buildtree: stack underflow at instruction AddV at location 3\n"
     "Buildtree: stack underflow at instruction Store at location 4\n"
     "Buildtree: stack not equal to one, stack = 0\n",
     "null"},
    {"FuncArgNCountAboveDepth", Code().V(1).Op(kOpFuncArgN, 2).Op(kOpCallArgN, 8).Store(),
     "Buildtree: stack underflow at instruction FuncArgN with argument count 2 at location 2\n",
     "S1(x1)"},
    {"FuncArgNNegativeCount", Code().V(1).Op(kOpFuncArgN, -1).Op(kOpCallArgN, 8).Store(),
     "Buildtree: stack underflow at instruction FuncArgN with argument count -1 at location 2\n",
     "S1(x1)"},
    {"FuncArgNWithoutCallArgN", Code().V(1).Op(kOpFuncArgN, 1).Store(),
     "Buildtree: FuncArgN without CallArgN at location 2\n", "S1(x1)"},
    {"FuncArgNAtTheEnd", Code().V(1).Store().Op(kOpFuncArgN, 1),
     "Buildtree: FuncArgN without CallArgN at location 3\n", "S1(x1)"},
    {"NegativeFunctionNumber", Code().V(1).Call1(-1).V(2).Call2(-7).Store(),
     "Buildtree: function number -1 out of range at location 2\n"
     "Buildtree: function number -7 out of range at location 4\n"
     "Buildtree: stack not equal to one, stack = 2\n",
     "S1(x2)"},
    {"ColumnOutOfRange", Code().V(0).Op(kOpAddV, 4).Op(kOpUminV, -2).Op(kOpAdd).Store(),
     "Buildtree: column 0 out of range at location 1\n"
     "Buildtree: column 4 out of range at location 2\n"
     "Buildtree: column -2 out of range at location 3\n",
     "S1(+(+(0,0),~(0)))"},
    {"PoolIndexOutOfRange",
     Code().C(2).Op(kOpAddI, 0).Op(kOpMulI, 2).Op(kOpPushI, -1).Op(kOpDiv).Store(),
     "Buildtree: constant pool index 0 out of range at location 2\n"
     "Buildtree: constant pool index 2 out of range at location 3\n"
     "Buildtree: constant pool index -1 out of range at location 4\n",
     "S1(/(*(+(2,0),0),0))"},
};

INSTANTIATE_TEST_SUITE_P(Cases, BuildTreeReports, testing::ValuesIn(kReportCases),
                         CaseName());

TEST(BuildTreeReports, PositionsOutsideTheCode) {
  NodePool pool;
  MessageCapture messages;
  Code code;
  code.V(1).V(2).Op(kOpAdd).Store();
  EXPECT_EQ(Dump(build_tree(pool, 0, 9, code.ins, code.pool, 5)), "S1(+(x1,x2))");
  EXPECT_EQ(Dump(build_tree(pool, 12, 20, code.ins, code.pool, 5)), "null");
  EXPECT_EQ(messages.Text(),
            "Buildtree: locations 0..9 outside the instruction code 1..4\n"
            "Buildtree: locations 12..20 outside the instruction code 1..4\n"
            "Buildtree: stack not equal to one, stack = 0\n");
}

TEST(BuildTree, StackHoldsTwoHundredEntries) {
  NodePool pool;
  Code code;
  for (int i = 0; i < kMaxTreeStack; ++i) code.V(1);
  for (int i = 1; i < kMaxTreeStack; ++i) code.Op(kOpAdd);
  code.Store();
  MessageCapture messages;
  Node* store = Build(pool, code);
  EXPECT_EQ(store->kind, kNodeStore);
  EXPECT_EQ(messages.Text(), "");
}

struct OverflowCase {
  const char* name;
  Instruction last;
};

class StackOverflow : public testing::TestWithParam<OverflowCase> {};

TEST_P(StackOverflow, EndsTheProgram) {
  Code code;
  code.pool.push_back(1.0);
  for (int i = 0; i < kMaxTreeStack; ++i) code.V(1);
  code.ins.push_back(GetParam().last);
  code.Op(kOpFuncArgN, 0).Op(kOpCallArgN, 45);
  NodePool pool;
  EXPECT_EXIT(
      {
        MessagesToStderr();
        Build(pool, code);
      },
      testing::ExitedWithCode(kExprFatalExitCode),
      "^\\*\\*\\*\\* Stack overflow in buildtree \\(maxstack=200\\)\n$");
}

// Every instruction that makes a leaf checks for room, also when it does not grow the stack; and
// a call without arguments is a push.
const OverflowCase kOverflowCases[] = {
    {"PushV", {kOpPushV, 1}},   {"PushI", {kOpPushI, 1}},   {"PushZero", {kOpPushZero, 0}},
    {"UminV", {kOpUminV, 1}},   {"AddV", {kOpAddV, 1}},     {"DivI", {kOpDivI, 1}},
    {"MulIAdd", {kOpMulIAdd, 1}}, {"FuncArgNZero", {kOpNoOp, 0}},
};

INSTANTIATE_TEST_SUITE_P(Cases, StackOverflow, testing::ValuesIn(kOverflowCases),
                         CaseName());

TEST(BuildTree, OperatorsOnAFullStackDoNotOverflow) {
  NodePool pool;
  Code code;
  for (int i = 0; i < kMaxTreeStack; ++i) code.V(1);
  code.Op(kOpUmin).Op(kOpCallArg1, 10).Op(kOpAdd);
  for (int i = 2; i < kMaxTreeStack; ++i) code.Op(kOpMul);
  code.Store();
  MessageCapture messages;
  EXPECT_EQ(Build(pool, code)->kind, kNodeStore);
  EXPECT_EQ(messages.Text(), "");
}

struct ScaleCase {
  double c;
  const char* tree;
};

TEST(ScaleExpression, DividesByTheMagnitudeAndNegatesForPositiveCoefficients) {
  const ScaleCase cases[] = {
      {-2, "S1(*(0.5,+(x1,x2)))"},
      {4, "S1(~(*(0.25,+(x1,x2))))"},
      {-1e-101, "S1(*(1E100,+(x1,x2)))"},
      {1e-300, "S1(~(*(1E100,+(x1,x2))))"},
      {0, "S1(+(x1,x2))"},
  };
  for (const ScaleCase& sc : cases) {
    NodePool pool;
    Node* store = Build(pool, Code().V(1).V(2).Op(kOpAdd).Store());
    scale_expression(pool, store, sc.c);
    EXPECT_EQ(Dump(store), sc.tree) << "c = " << sc.c;
  }
}

}  // namespace
}  // namespace qlink::exprtest
