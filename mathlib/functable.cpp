// The table of intrinsic functions: names, argument counts, argument flags and descriptions,
// and the set of system functions.
#include <array>

#include "mathlib/mathnew.h"

namespace qlink {

namespace {

// Argument flag patterns (bit k-1: argument k may depend on variables).
constexpr std::uint32_t kConst = 0;              // no argument depends on variables
constexpr std::uint32_t kFirst = 0x1;            // only the first one
constexpr std::uint32_t kSecond = 0x2;           // only the second one
constexpr std::uint32_t kFirstTwo = 0x3;         // the first two
constexpr std::uint32_t kFirstThree = 0x7;       // the first three
constexpr std::uint32_t kAll = 0xFFFFF;          // positions 1 ... 20
constexpr std::uint32_t kAllButFirst = 0xFFFFE;  // positions 2 ... 20

constexpr std::uint8_t kUnbounded = 0;

constexpr std::array<FunctionRecord, kNumIntrinsicFunctions> kTable = {{
    {"mapval", 1, 1, kConst, "mapping function for special values"},
    {"ceil", 1, 1, kFirst, "ceiling: smallest integer not below x"},
    {"floor", 1, 1, kFirst, "floor: largest integer not above x"},
    {"round", 1, 2, kFirst, "round x to i decimal places"},
    {"mod", 2, 2, kFirstTwo, "modulo: remainder of x/y truncated toward zero"},
    {"trunc", 1, 1, kFirst, "truncation toward zero"},
    {"sign", 1, 1, kFirst, "sign of x: -1, 0 or 1"},
    {"min", 2, kUnbounded, kFirstTwo, "minimum of the arguments"},
    {"max", 2, kUnbounded, kFirstTwo, "maximum of the arguments"},
    {"sqr", 1, 1, kFirst, "square: x*x"},
    {"exp", 1, 1, kFirst, "exponential: e**x"},
    {"log", 1, 1, kFirst, "natural logarithm"},
    {"log10", 1, 1, kFirst, "common logarithm: logarithm base 10"},
    {"sqrt", 1, 1, kFirst, "square root"},
    {"abs", 1, 1, kFirst, "absolute value"},
    {"cos", 1, 1, kFirst, "cosine, x in radians"},
    {"sin", 1, 1, kFirst, "sine, x in radians"},
    {"arctan", 1, 1, kFirst, "inverse tangent, result in radians"},
    {"errorf", 1, 1, kFirst, "integral of the standard normal density from -inf to x"},
    {"uniform", 2, 2, kConst, "uniform random number between lo and hi"},
    {"normal", 2, 2, kConst, "normal random number with mean m and std dev s"},
    {"power", 2, 2, kFirst, "power: x**i for integer i"},
    {"jdate", 3, 3, kConst, "date number of a year, month and day"},
    {"jtime", 3, 3, kConst, "fraction of a day of an hour, minute and second"},
    {"jstart", 0, 0, kConst, "date and time at the start of the job"},
    {"jnow", 0, 0, kConst, "date and time now"},
    {"execerror", 0, 0, kConst, "number of execution errors"},
    {"gyear", 1, 1, kConst, "year of a date number"},
    {"gmonth", 1, 1, kConst, "month of a date number"},
    {"gday", 1, 1, kConst, "day of the month of a date number"},
    {"gdow", 1, 1, kConst, "day of the week of a date number, 1 = Monday"},
    {"gleap", 1, 1, kConst, "1 when the year of a date number is a leap year, else 0"},
    {"ghour", 1, 1, kConst, "hour of a date number"},
    {"gminute", 1, 1, kConst, "minute of a date number"},
    {"gsecond", 1, 1, kConst, "second of a date number"},
    {"execseed", 0, 0, kConst, "seed of the random number generator"},
    {"timestart", 0, 0, kConst, "time of the start of the job"},
    {"timecomp", 0, 0, kConst, "compilation time in seconds"},
    {"timeexec", 0, 0, kConst, "execution time in seconds"},
    {"timeclose", 0, 0, kConst, "time of the end of the job"},
    {"frac", 1, 1, kFirst, "fractional part: x minus its truncation"},
    {"ErrorLevel", 0, 0, kConst, "error code of the last executed command"},
    {"HeapSize", 0, 0, kConst, "heap size in megabytes"},
    {"Fact", 1, 1, kConst, "factorial of n"},
    {"UniformInt", 2, 2, kConst, "uniform random integer between lo and hi"},
    {"PI", 0, 0, kConst, "pi: 3.141592653589793"},
    {"NcpF", 2, 3, kFirstTwo, "NCP Fischer: sqrt(x1^2 + x2^2 + 2*x3) - x1 - x2, g3 = 0, x3 >= 0"},
    {"NcpCM", 3, 3, kFirstTwo,
     "NCP Chen-Mangasarian: x1 - x3*ln(1+exp((x1-x2)/x3)), g3 = 0, x3 > 0"},
    {"Entropy", 1, 1, kFirst, "Entropy: -x*ln(x)"},
    {"Sigmoid", 1, 1, kFirst, "Sigmoid: 1/(1 + exp(-x))"},
    {"log2", 1, 1, kFirst, "binary logarithm: logarithm base 2"},
    {"bool_not", 1, 1, kFirst, "boolean not"},
    {"bool_and", 2, 2, kFirstTwo, "boolean and"},
    {"bool_or", 2, 2, kFirstTwo, "boolean or"},
    {"bool_xor", 2, 2, kFirstTwo, "boolean exclusive or"},
    {"bool_imp", 2, 2, kFirstTwo, "boolean implication"},
    {"bool_eqv", 2, 2, kFirstTwo, "boolean equivalence"},
    {"rel_eq", 2, 2, kFirstTwo, "relation: x = y"},
    {"rel_gt", 2, 2, kFirstTwo, "relation: x > y"},
    {"rel_ge", 2, 2, kFirstTwo, "relation: x >= y"},
    {"rel_lt", 2, 2, kFirstTwo, "relation: x < y"},
    {"rel_le", 2, 2, kFirstTwo, "relation: x <= y"},
    {"rel_ne", 2, 2, kFirstTwo, "relation: x <> y"},
    {"IfThen", 3, 3, kFirstThree, "if x then y else z"},
    {"rPower", 2, 2, kFirstTwo, "real power: x**y for x >= 0"},
    {"EDist", 1, 20, kAll, "Euclidean or L-2 Norm: Sqrt( x1^2 + x2^2 + .. )"},
    {"div", 2, 2, kFirstTwo, "division: x/y"},
    {"div0", 2, 2, kFirstTwo, "division: x/y, 1e299 for y = 0 without an error"},
    {"sllog10", 1, 2, kFirst, "log10 continued linearly below the smoothing parameter"},
    {"sqlog10", 1, 2, kFirst, "log10 continued quadratically below the smoothing parameter"},
    {"slexp", 1, 2, kFirst, "exp continued linearly above the smoothing parameter"},
    {"sqexp", 1, 2, kFirst, "exp continued quadratically above the smoothing parameter"},
    {"slrec", 1, 2, kFirst, "reciprocal continued linearly below the smoothing parameter"},
    {"sqrec", 1, 2, kFirst, "reciprocal continued quadratically below the smoothing parameter"},
    {"cvPower", 2, 2, kSecond, "power with constant base: c**y"},
    {"vcPower", 2, 2, kFirst, "power with constant exponent: x**c"},
    {"Centropy", 2, 3, kFirstTwo, "Centropy: x*ln((x+d)/(y+d))"},
    {"Gmillisec", 1, 1, kConst, "millisecond of a date number"},
    {"MaxExecError", 0, 0, kConst, "maximum number of execution errors"},
    {"TimeElapsed", 0, 0, kConst, "elapsed time in seconds since the start of the job"},
    {"Gamma", 1, 1, kFirst, "gamma function"},
    {"LogGamma", 1, 1, kFirst, "logarithm of the gamma function"},
    {"Beta", 2, 2, kFirstTwo, "beta function"},
    {"LogBeta", 2, 2, kFirstTwo, "logarithm of the beta function"},
    {"GammaReg", 2, 2, kFirstTwo, "regularized lower incomplete gamma function"},
    {"BetaReg", 3, 3, kFirstThree, "regularized incomplete beta function"},
    {"sinh", 1, 1, kFirst, "hyperbolic sine"},
    {"cosh", 1, 1, kFirst, "hyperbolic cosine"},
    {"tanh", 1, 1, kFirst, "hyperbolic tangent"},
    {"MathLastRC", 0, 0, kConst, "result code of the last function error"},
    {"MathLastEC", 0, 0, kConst, "exception code of the last function error"},
    {"MathOVal", 0, 0, kConst, "value used for overflows: 1e299"},
    {"SignPower", 2, 2, kFirst, "signed power sign(x)*abs(x)**c"},
    {"HandleStatus", 1, 1, kConst, "status of a solve handle"},
    {"NcpVUsin", 2, 3, kFirstTwo, "NCP Veelken-Ulbrich: smoothed min, g3 = 0, x3 >= 0"},
    {"NcpVUpow", 2, 3, kFirstTwo, "NCP Veelken-Ulbrich: smoothed min, g3 = 0, x3 >= 0"},
    {"Binomial", 2, 2, kFirstTwo, "(generalized) binomial coefficient"},
    {"HandleSubmit", 1, 1, kConst, "resubmit a solve handle"},
    {"LuvoVersion", 0, 0, kConst, "release number of the modeling system"},
    {"HandleDelete", 1, 1, kConst, "delete a solve handle"},
    {"tan", 1, 1, kFirst, "tangent, x in radians"},
    {"arccos", 1, 1, kFirst, "inverse cosine, result in radians"},
    {"arcsin", 1, 1, kFirst, "inverse sine, result in radians"},
    {"arctan2", 2, 2, kFirstTwo, "four-quadrant inverse tangent: angle of the point (y,x)"},
    {"sleep", 1, 1, kConst, "suspend execution for a number of seconds"},
    {"HeapFree", 0, 0, kConst, "free heap space in megabytes"},
    {"HandleCollect", 1, 1, kConst, "collect the solution of a solve handle"},
    {"LuvoRelease", 0, 0, kConst, "release date of the modeling system"},
    {"Poly", 4, 20, kFirst, "polynomial: c0 + c1*x + c2*x**2 + .."},
    {"SystemEntry109", 0, 0, kFirst, "system entry"},
    {"SystemEntry110", 0, 0, kFirst, "system entry"},
    {"HeapLimit", 0, 0, kConst, "heap limit in megabytes"},
    {"RandLinear", 3, 3, kConst, "random number with a linear density between low and high"},
    {"RandTriangle", 3, 3, kConst, "random number with a triangular density"},
    {"ForceError", 6, 6, kFirst, "ForceError(x1,d,t,v,e,r) forces errors after t calls"},
    {"ForceErrorCnt", 0, 0, kConst, "call counter of ForceError"},
    {"RandBinomial", 2, 2, kConst, "binomial random number for n trials with probability p"},
    {"JobHandle", 0, 0, kConst, "handle of the last started job"},
    {"JobStatus", 1, 1, kConst, "status of a job"},
    {"JobKill", 1, 1, kConst, "kill a job"},
    {"JobTerminate", 1, 1, kConst, "terminate a job"},
    {"NumCores", 0, 0, kConst, "number of processor cores"},
    {"EmbeddedHandle", 0, 0, kConst, "handle of the embedded job"},
    {"PlatformCode", 0, 0, kConst, "code of the platform"},
    {"Logit", 1, 1, kFirst, "Logit transformation: ln(p/(1-p))"},
    {"LSEMax", 1, 20, kAll, "LSE Max: log(exp(x1) + exp(x2) + .. )"},
    {"LSEMaxSc", 2, 20, kAllButFirst, "scaled LSE Max: 1/t LSEMax(tx)"},
    {"LSEMin", 1, 20, kAll, "LSE Min: -log(exp(-x1) + exp(-x2) + .. )"},
    {"LSEMinSc", 2, 20, kAllButFirst, "scaled LSE Min: 1/t LSEMin(tx)"},
    {" unknown*", 1, 1, kConst, "dummy function"},
}};

// Numbers of the system functions.
constexpr int kSystemFunctions[] = {0,   24,  25,  26,  35,  36,  37,  38,  39,  41,  42,
                                    78,  79,  93,  97,  98,  99,  104, 105, 106, 107, 109,
                                    110, 111, 115, 117, 118, 119, 120, 121, 122, 123};

constexpr std::array<bool, kNumIntrinsicFunctions> MakeSystemSet() {
  std::array<bool, kNumIntrinsicFunctions> set{};
  for (int n : kSystemFunctions) set[static_cast<std::size_t>(n)] = true;
  return set;
}
constexpr std::array<bool, kNumIntrinsicFunctions> kSystemSet = MakeSystemSet();

ExternalFunctionInfo g_external_info;

}  // namespace

const FunctionRecord& function_record(int n) {
  if (n < 0 || n >= kNumIntrinsicFunctions) n = kFnUnknown;
  return kTable[static_cast<std::size_t>(n)];
}

std::string_view function_name(int n) {
  if (n < 0) return {};
  if (n < kNumIntrinsicFunctions) return kTable[static_cast<std::size_t>(n)].name;
  return g_external_info.name != nullptr ? g_external_info.name(n) : std::string_view();
}

bool argument_is_variable(int n, int position) {
  if (n < 0 || position < 1 || position > kMaxFunctionArgs) return false;
  if (n < kNumIntrinsicFunctions)
    return (kTable[static_cast<std::size_t>(n)].arg_variable >> (position - 1)) & 1u;
  return g_external_info.argument_is_variable != nullptr &&
         g_external_info.argument_is_variable(n, position);
}

bool is_system_function(int n) {
  return n >= 0 && n < kNumIntrinsicFunctions && kSystemSet[static_cast<std::size_t>(n)];
}

void set_external_function_info(const ExternalFunctionInfo& info) { g_external_info = info; }

}  // namespace qlink
