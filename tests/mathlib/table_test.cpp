// The function table: names and argument counts of all 130 records, the argument flag
// patterns, the system-function set and the external function hooks.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "mathlib/mathnew.h"

namespace qlink {
namespace {

// The published record list: number, name and argument count ("a-b" a range, "a+" a or more).
constexpr const char* kRecordList =
    "0 mapval 1|1 ceil 1|2 floor 1|3 round 1-2|4 mod 2|5 trunc 1|6 sign 1|7 min 2+|8 max 2+|"
    "9 sqr 1|10 exp 1|11 log 1|12 log10 1|13 sqrt 1|14 abs 1|15 cos 1|16 sin 1|17 arctan 1|"
    "18 errorf 1|19 uniform 2|20 normal 2|21 power 2|22 jdate 3|23 jtime 3|24 jstart 0|"
    "25 jnow 0|26 execerror 0|27 gyear 1|28 gmonth 1|29 gday 1|30 gdow 1|31 gleap 1|32 ghour 1|"
    "33 gminute 1|34 gsecond 1|35 execseed 0|36 timestart 0|37 timecomp 0|38 timeexec 0|"
    "39 timeclose 0|40 frac 1|41 ErrorLevel 0|42 HeapSize 0|43 Fact 1|44 UniformInt 2|45 PI 0|"
    "46 NcpF 2-3|47 NcpCM 3|48 Entropy 1|49 Sigmoid 1|50 log2 1|51 bool_not 1|52 bool_and 2|"
    "53 bool_or 2|54 bool_xor 2|55 bool_imp 2|56 bool_eqv 2|57 rel_eq 2|58 rel_gt 2|"
    "59 rel_ge 2|60 rel_lt 2|61 rel_le 2|62 rel_ne 2|63 IfThen 3|64 rPower 2|65 EDist 1-20|"
    "66 div 2|67 div0 2|68 sllog10 1-2|69 sqlog10 1-2|70 slexp 1-2|71 sqexp 1-2|72 slrec 1-2|"
    "73 sqrec 1-2|74 cvPower 2|75 vcPower 2|76 Centropy 2-3|77 Gmillisec 1|78 MaxExecError 0|"
    "79 TimeElapsed 0|80 Gamma 1|81 LogGamma 1|82 Beta 2|83 LogBeta 2|84 GammaReg 2|"
    "85 BetaReg 3|86 sinh 1|87 cosh 1|88 tanh 1|89 MathLastRC 0|90 MathLastEC 0|91 MathOVal 0|"
    "92 SignPower 2|93 HandleStatus 1|94 NcpVUsin 2-3|95 NcpVUpow 2-3|96 Binomial 2|"
    "97 HandleSubmit 1|98 LuvoVersion 0|99 HandleDelete 1|100 tan 1|101 arccos 1|102 arcsin 1|"
    "103 arctan2 2|104 sleep 1|105 HeapFree 0|106 HandleCollect 1|107 LuvoRelease 0|"
    "108 Poly 4-20|109 - 0|110 - 0|111 HeapLimit 0|112 RandLinear 3|113 RandTriangle 3|"
    "114 ForceError 6|115 ForceErrorCnt 0|116 RandBinomial 2|117 JobHandle 0|118 JobStatus 1|"
    "119 JobKill 1|120 JobTerminate 1|121 NumCores 0|122 EmbeddedHandle 0|123 PlatformCode 0|"
    "124 Logit 1|125 LSEMax 1-20|126 LSEMaxSc 2-20|127 LSEMin 1-20|128 LSEMinSc 2-20";

TEST(FunctionTable, NamesAndArgumentCountsMatchTheRecordList) {
  std::stringstream list(kRecordList);
  std::string entry;
  int expected_number = 0;
  while (std::getline(list, entry, '|')) {
    std::stringstream fields(entry);
    int number = -1;
    std::string name, count;
    fields >> number >> name >> count;
    ASSERT_EQ(number, expected_number) << entry;
    const FunctionRecord& rec = function_record(number);
    if (name != "-") {
      EXPECT_EQ(function_name(number), name) << entry;
    }
    int lo = 0, hi = 0;
    if (count.back() == '+') {
      lo = std::stoi(count);
      hi = 0;
    } else if (const auto dash = count.find('-'); dash != std::string::npos) {
      lo = std::stoi(count.substr(0, dash));
      hi = std::stoi(count.substr(dash + 1));
    } else {
      lo = hi = std::stoi(count);
    }
    EXPECT_EQ(rec.min_args, lo) << entry;
    EXPECT_EQ(rec.max_args, hi) << entry;
    ++expected_number;
  }
  EXPECT_EQ(expected_number, 129);
  EXPECT_EQ(function_name(kFnUnknown), " unknown*");
  EXPECT_EQ(function_record(kFnUnknown).description, "dummy function");
  EXPECT_EQ(function_record(kFnUnknown).min_args, 1);
}

TEST(FunctionTable, TextsFitTheirFields) {
  std::set<std::string_view> names;
  for (int n = 0; n < kNumIntrinsicFunctions; ++n) {
    const FunctionRecord& rec = function_record(n);
    EXPECT_FALSE(rec.name.empty()) << n;
    EXPECT_LE(rec.name.size(), 63u) << n;
    EXPECT_FALSE(rec.description.empty()) << n;
    EXPECT_LE(rec.description.size(), 191u) << n;
    EXPECT_TRUE(names.insert(rec.name).second) << "duplicate name " << rec.name;
    EXPECT_EQ(rec.arg_variable >> kMaxFunctionArgs, 0u) << n;
  }
}

TEST(FunctionTable, QuotedDescriptions) {
  EXPECT_EQ(function_record(kFnNcpF).description,
            "NCP Fischer: sqrt(x1^2 + x2^2 + 2*x3) - x1 - x2, g3 = 0, x3 >= 0");
  EXPECT_EQ(function_record(kFnNcpCM).description,
            "NCP Chen-Mangasarian: x1 - x3*ln(1+exp((x1-x2)/x3)), g3 = 0, x3 > 0");
  EXPECT_EQ(function_record(kFnEDist).description,
            "Euclidean or L-2 Norm: Sqrt( x1^2 + x2^2 + .. )");
  EXPECT_EQ(function_record(kFnSignPower).description, "signed power sign(x)*abs(x)**c");
  EXPECT_EQ(function_record(kFnForceError).description,
            "ForceError(x1,d,t,v,e,r) forces errors after t calls");
  EXPECT_EQ(function_record(kFnLSEMinSc).description, "scaled LSE Min: 1/t LSEMin(tx)");
}

// Positions (1-based) flagged variable, for functions of each pattern.
struct FlagCase {
  int n;
  std::vector<int> variable;
};

TEST(FunctionTable, ArgumentFlagPatterns) {
  std::vector<int> all, all_but_first;
  for (int k = 1; k <= 20; ++k) all.push_back(k);
  for (int k = 2; k <= 20; ++k) all_but_first.push_back(k);
  const FlagCase cases[] = {
      {kFnMapval, {}},
      {kFnGday, {}},
      {kFnGmillisec, {}},
      {kFnFact, {}},
      {kFnSleep, {}},
      {kFnUniform, {}},
      {kFnJdate, {}},
      {kFnRandTriangle, {}},
      {kFnPi, {}},
      {kFnUnknown, {}},
      {kFnCeil, {1}},
      {kFnSqrt, {1}},
      {kFnLogit, {1}},
      {kFnBoolNot, {1}},
      {kFnRound, {1}},
      {kFnPower, {1}},
      {kFnVcPower, {1}},
      {kFnSignPower, {1}},
      {kFnSqrec, {1}},
      {kFnCvPower, {2}},
      {kFnPoly, {1}},
      {kFnForceError, {1}},
      {kFnSystemEntry109, {1}},
      {kFnSystemEntry110, {1}},
      {kFnMod, {1, 2}},
      {kFnMin, {1, 2}},
      {kFnMax, {1, 2}},
      {kFnRelNe, {1, 2}},
      {kFnRPower, {1, 2}},
      {kFnDiv, {1, 2}},
      {kFnArctan2, {1, 2}},
      {kFnBinomial, {1, 2}},
      {kFnNcpF, {1, 2}},
      {kFnCentropy, {1, 2}},
      {kFnNcpVUpow, {1, 2}},
      {kFnIfThen, {1, 2, 3}},
      {kFnBetaReg, {1, 2, 3}},
      {kFnEDist, all},
      {kFnLSEMax, all},
      {kFnLSEMin, all},
      {kFnLSEMaxSc, all_but_first},
      {kFnLSEMinSc, all_but_first},
  };
  for (const FlagCase& c : cases) {
    for (int pos = 0; pos <= 21; ++pos) {
      bool expected = false;
      for (int v : c.variable) expected = expected || v == pos;
      EXPECT_EQ(argument_is_variable(c.n, pos), expected)
          << function_name(c.n) << " position " << pos;
    }
  }
  EXPECT_FALSE(argument_is_variable(-1, 1));
}

TEST(FunctionTable, SystemFunctionSet) {
  const std::set<int> expected = {0,   24,  25,  26,  35,  36,  37,  38,  39,  41,  42,
                                  78,  79,  93,  97,  98,  99,  104, 105, 106, 107, 109,
                                  110, 111, 115, 117, 118, 119, 120, 121, 122, 123};
  for (int n = -1; n <= 131; ++n) EXPECT_EQ(is_system_function(n), expected.count(n) == 1) << n;
}

std::string_view ExternalName(int n) { return n == 131 ? "myext" : "other"; }
bool ExternalFlag(int n, int position) { return n == 131 && position == 2; }

TEST(FunctionTable, ExternalFunctionsGoThroughTheInstalledHooks) {
  EXPECT_EQ(function_name(131), "");
  EXPECT_FALSE(argument_is_variable(131, 2));
  set_external_function_info({ExternalName, ExternalFlag});
  EXPECT_EQ(function_name(131), "myext");
  EXPECT_EQ(function_name(65536 + 1), "other");
  EXPECT_TRUE(argument_is_variable(131, 2));
  EXPECT_FALSE(argument_is_variable(131, 1));
  EXPECT_FALSE(argument_is_variable(131, 21));  // outside 1 ... 20 without asking the hook
  EXPECT_EQ(function_name(kFnSqrt), "sqrt");    // intrinsic names do not ask the hook
  set_external_function_info({});
  EXPECT_EQ(function_name(131), "");
}

}  // namespace
}  // namespace qlink
