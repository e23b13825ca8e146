// Function rewrite and clean pass.
#include <gtest/gtest.h>

#include <cmath>

#include "expr_test_util.h"

namespace qlink::exprtest {
namespace {

class Simplify : public testing::Test {
 protected:
  void SetUp() override { mathnew_init(context_); }

  std::string Rewritten(const Code& code, const RewriteFlags& flags = RewriteFlags{}) {
    pool_.release_all();
    Node* root = Build(pool_, code);
    rewrite_functions(pool_, flags);
    return Dump(root);
  }

  Node* Cleaned(const Code& code) {
    pool_.release_all();
    Node* root = Build(pool_, code);
    rewrite_functions(pool_);
    clean_expression(pool_, context_);
    return root;
  }

  std::string Printed(const Code& code) { return Print(Cleaned(code)); }

  NodePool pool_;
  mathnew_context context_;
};

struct RewriteCase {
  const char* name;
  Code code;
  const char* tree;
};

class Rewrite : public Simplify, public testing::WithParamInterface<RewriteCase> {};

TEST_P(Rewrite, AllFlags) { EXPECT_EQ(Rewritten(GetParam().code), GetParam().tree); }

const RewriteCase kRewriteCases[] = {
    {"SqrIsPowerTwo", Code().V(1).Call1(9).Store(), "S1(f21(x1,2))"},
    {"Log10IsScaledLog", Code().V(1).Call1(12).Store(), "S1(*(f11(x1),0.434294481903252))"},
    {"SqrtIsRPowerHalf", Code().V(1).Call1(13).Store(), "S1(f64(x1,0.5))"},
    {"AbsIsRootOfSquare", Code().V(1).Call1(14).Store(), "S1(f64(f21(x1,2),0.5))"},
    {"PowerOneIsBase", Code().V(1).V(2).Op(kOpAdd).C(1).Call2(21).Store(), "S1(+(x1,x2))"},
    {"PowerZeroIsOne", Code().V(1).V(2).Op(kOpAdd).C(0).Call2(21).Store(), "S1(1)"},
    {"PowerMinusOneIsReciprocal", Code().V(1).C(-1).Call2(21).Store(), "S1(/(1,x1))"},
    {"PowerOtherExponentsStay", Code().V(1).C(3).Call2(21).V(1).C(-2).Call2(21).Op(kOpAdd).Store(),
     "S1(+(f21(x1,3),f21(x1,~(2))))"},
    {"GeneralPowerIsExpOfLog", Code().V(1).V(2).Call2(64).Store(), "S1(f10(*(x2,f11(x1))))"},
    {"CvPowerOfExpressions", Code().V(1).V(2).Op(kOpAdd).V(3).Call2(74).Store(),
     "S1(f10(*(x3,f11(+(x1,x2)))))"},
    {"PowerWithConstantExponentStays", Code().V(1).C(2.5).Call2(64).Store(), "S1(f64(x1,2.5))"},
    {"PowerWithMinusConstantExponentStays", Code().V(1).C(-2.5).Call2(64).Store(),
     "S1(f64(x1,~(2.5)))"},
    {"PowerOfConstantBaseStays", Code().C(2).V(1).Call2(64).C(-2).V(1).Call2(64).Op(kOpAdd).Store(),
     "S1(+(f64(2,x1),f64(~(2),x1)))"},
    {"NestedCalls", Code().V(1).Call1(9).Call1(13).Store(), "S1(f64(f21(x1,2),0.5))"},
    {"OtherFunctionsStay", Code().V(1).Call1(16).V(2).Call2(7).Store(), "S1(f7(f16(x1),x2))"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Rewrite, testing::ValuesIn(kRewriteCases),
                         CaseName());

TEST_F(Simplify, RewriteFlagsSwitchEachRewrite) {
  struct FlagCase {
    RewriteFlags flags;
    Code code;
    const char* tree;
  };
  const RewriteFlags all;
  RewriteFlags no_square = all, no_sqrt = all, no_log10 = all, no_abs = all, no_power = all;
  no_square.power_of_two = false;
  no_sqrt.sqrt = false;
  no_log10.log10 = false;
  no_abs.abs = false;
  no_power.general_power = false;
  RewriteFlags abs_only{false, false, false, true, false};
  const FlagCase cases[] = {
      {no_square, Code().V(1).Call1(9).Store(), "S1(f9(x1))"},
      {no_square, Code().V(1).Call1(14).Store(), "S1(f64(f9(x1),0.5))"},
      {no_sqrt, Code().V(1).Call1(13).Store(), "S1(f13(x1))"},
      {no_sqrt, Code().V(1).Call1(14).Store(), "S1(f13(f21(x1,2)))"},
      {no_log10, Code().V(1).Call1(12).Store(), "S1(f12(x1))"},
      {no_abs, Code().V(1).Call1(14).Store(), "S1(f14(x1))"},
      {abs_only, Code().V(1).Call1(14).Store(), "S1(f13(f9(x1)))"},
      {no_power, Code().V(1).V(2).Call2(64).Store(), "S1(f64(x1,x2))"},
      // The simplification of power has no flag.
      {abs_only, Code().V(1).C(1).Call2(21).Store(), "S1(x1)"},
  };
  for (const FlagCase& fc : cases) EXPECT_EQ(Rewritten(fc.code, fc.flags), fc.tree);
}

TEST_F(Simplify, PowerZeroDiscardsTheWholeBase) {
  Node* root = Build(pool_, Code().V(1).Call1(10).V(2).Op(kOpMul).C(0).Call2(21).Store());
  rewrite_functions(pool_);
  EXPECT_EQ(Dump(root), "S1(1)");
  int live = 0;
  for (Node* n = pool_.head(); n != nullptr; n = n->next) live += n->kind != kNodeDiscarded;
  EXPECT_EQ(live, 2) << "only the store and the new constant stay";
}

struct CleanCase {
  const char* name;
  Code code;
  const char* text;
  const char* tree;  // checked unless empty
};

class Clean : public Simplify, public testing::WithParamInterface<CleanCase> {};

TEST_P(Clean, Prints) {
  Node* root = Cleaned(GetParam().code);
  EXPECT_EQ(Print(root), GetParam().text);
  if (*GetParam().tree != '\0') {
    EXPECT_EQ(Dump(root), GetParam().tree);
  }
}

const CleanCase kCleanCases[] = {
    // 1
    {"DoubleMinus", Code().Op(kOpUminV, 1).Op(kOpUmin).Store(), "x1", ""},
    {"DoubleMinusOverSum", Code().V(1).V(2).Op(kOpAdd).Op(kOpUmin).Op(kOpUmin).Store(),
     "x1 + x2", ""},
    // 2
    {"FoldSum", Code().C(2).C(3).Op(kOpAdd).Store(), "5", ""},
    {"FoldNegativeDifference", Code().C(2).C(3).Op(kOpSub).Store(), "-1", ""},
    {"FoldProduct", Code().C(2).OpI(kOpMulI, 3.5).Store(), "7", ""},
    {"FoldQuotient", Code().C(3).OpI(kOpDivI, 4).Store(), "0.75", ""},
    {"FoldInsideExpression", Code().V(1).C(2).C(3).Op(kOpMul).Op(kOpMul).Store(), "6*x1", ""},
    // 3
    {"MinusTimesMinus", Code().Op(kOpUminV, 1).Op(kOpUminV, 2).Op(kOpMul).Store(), "x1*x2", ""},
    {"MinusOverMinus", Code().Op(kOpUminV, 1).Op(kOpUminV, 2).Op(kOpDiv).Store(), "x1/x2", ""},
    // 4
    {"SumOfNegativeConstants", Code().C(-2).C(-3).Op(kOpAdd).Store(), "-5", ""},
    {"DifferenceOfNegativeConstants", Code().C(-2).C(-3).Op(kOpSub).Store(), "1", ""},
    {"DifferenceOfNegativeConstantsNegative", Code().C(-3).C(-2).Op(kOpSub).Store(), "-1", ""},
    // 5
    {"ConstantOfSumToTheLeft", Code().V(1).OpI(kOpAddI, 2).Store(), "2 + x1", ""},
    {"ConstantOfProductToTheLeft", Code().V(1).OpI(kOpMulI, 2).Store(), "2*x1", ""},
    // 6
    {"DivisionByConstant", Code().V(1).OpI(kOpDivI, 4).Store(), "0.25*x1", ""},
    {"DivisionByHalf", Code().V(1).V(2).Op(kOpAdd).OpI(kOpDivI, 0.5).Store(), "2*(x1 + x2)", ""},
    // 7, 8
    {"MinusOutOfProductLeft", Code().Op(kOpUminV, 1).V(2).Op(kOpMul).Store(), "-x1*x2", "S1(~(*(x1,x2)))"},
    {"MinusOutOfQuotientRight", Code().V(1).Op(kOpUminV, 2).Op(kOpDiv).Store(), "-x1/x2", "S1(~(/(x1,x2)))"},
    {"MinusOfSumOutOfProduct", Code().V(1).V(2).Op(kOpAdd).Op(kOpUmin).V(3).Op(kOpMul).Store(),
     "-(x1 + x2)*x3", "S1(~(*(+(x1,x2),x3)))"},
    // 9
    {"SubtractConstant", Code().V(1).OpI(kOpSubI, 3).Store(), "(-3) + x1", "S1(+(~(3),x1))"},
    {"SubtractMinus", Code().V(1).Op(kOpUminV, 2).Op(kOpSub).Store(), "x1 + x2", ""},
    // 10
    {"AddMinus", Code().V(1).Op(kOpUminV, 2).Op(kOpAdd).Store(), "x1 - x2", ""},
    {"MinusPlus", Code().Op(kOpUminV, 1).V(2).Op(kOpAdd).Store(), "x2 - x1", ""},
    {"NegativeConstantPlusStays", Code().C(-3).V(1).Op(kOpAdd).Store(), "(-3) + x1", ""},
    // 11
    {"ConstantTimesScaled", Code().V(1).OpI(kOpMulI, 3).OpI(kOpMulI, 2).Store(), "6*x1", "S1(*(6,x1))"},
    {"ConstantTimesConstantOver", Code().C(3).V(1).Op(kOpDiv).OpI(kOpMulI, 2).Store(), "6/x1", "S1(/(6,x1))"},
    // 12
    {"ScaledTimes", Code().C(2).Op(kOpMulV, 1).Op(kOpMulV, 2).Store(), "2*x1*x2", "S1(*(2,*(x1,x2)))"},
    {"ScaledOver", Code().C(2).Op(kOpMulV, 1).Op(kOpDivV, 2).Store(), "2*x1/x2", "S1(*(2,/(x1,x2)))"},
    {"ConstantOverTimes", Code().C(2).Op(kOpDivV, 1).Op(kOpMulV, 2).Store(), "2*x2/x1", "S1(*(2,/(x2,x1)))"},
    {"ConstantOverOver", Code().C(2).Op(kOpDivV, 1).Op(kOpDivV, 2).Store(), "2/(x1*x2)", "S1(/(2,*(x1,x2)))"},
    // 13
    {"TimesScaled", Code().V(1).C(2).Op(kOpMulV, 2).Op(kOpMul).Store(), "2*x1*x2", "S1(*(2,*(x1,x2)))"},
    {"TimesConstantOver", Code().V(1).C(2).Op(kOpDivV, 2).Op(kOpMul).Store(), "2*x1/x2", "S1(*(2,/(x1,x2)))"},
    {"OverScaled", Code().V(1).V(2).OpI(kOpMulI, 2).Op(kOpDiv).Store(), "0.5*x1/x2", "S1(*(0.5,/(x1,x2)))"},
    {"OverConstantOver", Code().V(1).C(4).Op(kOpDivV, 2).Op(kOpDiv).Store(), "0.25*x1*x2", "S1(*(0.25,*(x1,x2)))"},
    // 14
    {"OneTimes", Code().C(1).V(1).Op(kOpMul).Store(), "x1", ""},
    {"TimesOne", Code().V(1).V(2).Op(kOpAdd).OpI(kOpMulI, 1).Store(), "x1 + x2", ""},
    // 15
    {"ExpOfZero", Code().Op(kOpPushZero).Call1(10).Store(), "1", ""},
    {"LogOfTwo", Code().C(2).Call1(11).V(1).Op(kOpMul).Store(), "0.693147180559945*x1", ""},
    {"NegativeResult", Code().C(0.5).Call1(11).Store(), "-0.693147180559945", ""},
    {"ErrorValueIsUsed", Code().Op(kOpPushZero).Call1(11).Store(), "-1e299", ""},
    {"FoldAfterRewrite", Code().C(100).Call1(12).Store(), "2", ""},
    {"NestedFolds", Code().Op(kOpPushZero).Call1(10).Call1(10).Store(), "2.71828182845905", ""},
    {"TwoArgumentCallsAreNotFolded", Code().C(4).Call1(13).Store(), "4^0.5", ""},
    // Together
    {"ExpTimesVariable", Code().V(1).Call1(10).V(2).Op(kOpMul).Store(), "exp(x1)*x2", ""},
    {"DifferenceOfSum", Code().V(1).V(2).V(3).Op(kOpAdd).Op(kOpSub).Store(), "x1 - (x2 + x3)", ""},
    {"NonIntegerPower", Code().V(1).C(2.5).Call2(64).Store(), "x1^2.5", ""},
    {"Abs", Code().V(1).Call1(14).Store(), "(x1^2)^0.5", ""},
    {"Log10", Code().V(1).Call1(12).Store(), "0.434294481903252*log(x1)", ""},
    {"GeneralPower", Code().V(1).V(2).Call2(64).Store(), "exp(x2*log(x1))", ""},
    {"PowerMinusOne", Code().V(1).V(2).Op(kOpAdd).C(-1).Call2(21).Store(), "1/(x1 + x2)", ""},
    {"ScaledQuotientOfNegatives", Code().Op(kOpUminV, 1).V(2).OpI(kOpMulI, -4).Op(kOpDiv).Store(),
     "0.25*x1/x2", "S1(*(0.25,/(x1,x2)))"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Clean, testing::ValuesIn(kCleanCases),
                         CaseName());

TEST_F(Simplify, FoldingByZeroDivisionIsNotChecked) {
  Node* root = Cleaned(Code().C(1).Op(kOpPushZero).Op(kOpDiv).Store());
  ASSERT_EQ(root->left->kind, kNodeConstant);
  EXPECT_TRUE(std::isinf(root->left->value));
}

TEST_F(Simplify, FoldingRestoresTheContextMode) {
  context_.mode = 2;
  Node* root = Cleaned(Code().C(1).Call1(10).Store());
  EXPECT_EQ(context_.mode, 2);
  EXPECT_EQ(root->left->value, std::exp(1.0));
}

TEST_F(Simplify, CleanClearsVisitedFlags) {
  Node* root = Build(pool_, Code().V(1).V(2).Op(kOpAdd).Store());
  for (Node* n = pool_.head(); n != nullptr; n = n->next) n->visited = 1;
  clean_expression(pool_, context_);
  for (Node* n = pool_.head(); n != nullptr; n = n->next) EXPECT_EQ(n->visited, 0);
  EXPECT_EQ(Dump(root), "S1(+(x1,x2))");
}

// A chain of products whose nodes stand in the node list before their operands, with a unary
// minus at the bottom: each sweep moves the minus up by one product.
Node* MinusUnderProducts(NodePool& pool, int levels) {
  std::vector<Node*> products;
  for (int i = 0; i < levels; ++i) {
    Node* m = pool.new_node();
    m->kind = kNodeMul;
    if (!products.empty()) products.back()->left = m;
    products.push_back(m);
  }
  Node* minus = pool.new_node();
  minus->kind = kNodeUmin;
  products.back()->left = minus;
  minus->left = pool.new_node();
  minus->left->kind = kNodeVariable;
  minus->left->operand = 1;
  for (int i = 0; i < levels; ++i) {
    Node* v = pool.new_node();
    v->kind = kNodeVariable;
    v->operand = 2;
    products[static_cast<std::size_t>(i)]->right = v;
  }
  return products.front();
}

TEST_F(Simplify, CleanEndsAfterSweepWithoutChange) {
  Node* top = MinusUnderProducts(pool_, 5);
  EXPECT_EQ(clean_expression(pool_, context_), 6);
  EXPECT_EQ(Print(top), "-x1*x2*x2*x2*x2*x2");
  EXPECT_EQ(top->kind, kNodeUmin);
}

TEST_F(Simplify, CleanStopsAfterTwentyOneSweeps) {
  Node* top = MinusUnderProducts(pool_, 30);
  EXPECT_EQ(clean_expression(pool_, context_), kMaxCleanSweeps);
  // The minus has climbed 21 of the 30 products.
  std::string expected = "(-x1";
  for (int i = 0; i < 21; ++i) expected += "*x2";
  expected += ")";
  for (int i = 21; i < 30; ++i) expected += "*x2";
  EXPECT_EQ(Print(top), expected);
}

TEST_F(Simplify, DivisionByLiteralZeroIsFatal) {
  const Code by_zero = Code().V(1).Op(kOpPushZero).Op(kOpDiv).Store();
  const Code by_zero_product = Code().V(1).Op(kOpPushZero).Op(kOpMulV, 2).Op(kOpDiv).Store();
  const Code by_zero_quotient = Code().V(1).Op(kOpPushZero).Op(kOpDivV, 2).Op(kOpDiv).Store();
  EXPECT_EXIT(
      {
        MessagesToStderr();
        Cleaned(by_zero);
      },
      testing::ExitedWithCode(kExprFatalExitCode), "^\\*\\*\\* Division by zero in clean one\n$");
  EXPECT_EXIT(
      {
        MessagesToStderr();
        Cleaned(by_zero_product);
      },
      testing::ExitedWithCode(kExprFatalExitCode), "^\\*\\*\\* Division by zero in clean two\n$");
  EXPECT_EXIT(
      {
        MessagesToStderr();
        Cleaned(by_zero_quotient);
      },
      testing::ExitedWithCode(kExprFatalExitCode), "^\\*\\*\\* Division by zero in clean two\n$");
}

}  // namespace
}  // namespace qlink::exprtest
