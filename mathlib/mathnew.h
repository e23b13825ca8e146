// The function library: the table of the modeling system's intrinsic functions (numbers 0 to
// 129), the evaluation context, and the evaluation of a call with its value and, on request,
// its first and second derivatives with respect to the arguments. Numbers 130 and above denote
// functions of external function libraries; their evaluation goes through a hook in the
// context, their names and argument flags through hooks installed once per process.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qlink {

// ---------------------------------------------------------------------------------------------
// Function numbers.

inline constexpr int kFnMapval = 0;
inline constexpr int kFnCeil = 1;
inline constexpr int kFnFloor = 2;
inline constexpr int kFnRound = 3;
inline constexpr int kFnMod = 4;
inline constexpr int kFnTrunc = 5;
inline constexpr int kFnSign = 6;
inline constexpr int kFnMin = 7;
inline constexpr int kFnMax = 8;
inline constexpr int kFnSqr = 9;
inline constexpr int kFnExp = 10;
inline constexpr int kFnLog = 11;
inline constexpr int kFnLog10 = 12;
inline constexpr int kFnSqrt = 13;
inline constexpr int kFnAbs = 14;
inline constexpr int kFnCos = 15;
inline constexpr int kFnSin = 16;
inline constexpr int kFnArctan = 17;
inline constexpr int kFnErrorf = 18;
inline constexpr int kFnUniform = 19;
inline constexpr int kFnNormal = 20;
inline constexpr int kFnPower = 21;
inline constexpr int kFnJdate = 22;
inline constexpr int kFnJtime = 23;
inline constexpr int kFnJstart = 24;
inline constexpr int kFnJnow = 25;
inline constexpr int kFnExecerror = 26;
inline constexpr int kFnGyear = 27;
inline constexpr int kFnGmonth = 28;
inline constexpr int kFnGday = 29;
inline constexpr int kFnGdow = 30;
inline constexpr int kFnGleap = 31;
inline constexpr int kFnGhour = 32;
inline constexpr int kFnGminute = 33;
inline constexpr int kFnGsecond = 34;
inline constexpr int kFnExecseed = 35;
inline constexpr int kFnTimestart = 36;
inline constexpr int kFnTimecomp = 37;
inline constexpr int kFnTimeexec = 38;
inline constexpr int kFnTimeclose = 39;
inline constexpr int kFnFrac = 40;
inline constexpr int kFnErrorLevel = 41;
inline constexpr int kFnHeapSize = 42;
inline constexpr int kFnFact = 43;
inline constexpr int kFnUniformInt = 44;
inline constexpr int kFnPi = 45;
inline constexpr int kFnNcpF = 46;
inline constexpr int kFnNcpCM = 47;
inline constexpr int kFnEntropy = 48;
inline constexpr int kFnSigmoid = 49;
inline constexpr int kFnLog2 = 50;
inline constexpr int kFnBoolNot = 51;
inline constexpr int kFnBoolAnd = 52;
inline constexpr int kFnBoolOr = 53;
inline constexpr int kFnBoolXor = 54;
inline constexpr int kFnBoolImp = 55;
inline constexpr int kFnBoolEqv = 56;
inline constexpr int kFnRelEq = 57;
inline constexpr int kFnRelGt = 58;
inline constexpr int kFnRelGe = 59;
inline constexpr int kFnRelLt = 60;
inline constexpr int kFnRelLe = 61;
inline constexpr int kFnRelNe = 62;
inline constexpr int kFnIfThen = 63;
inline constexpr int kFnRPower = 64;
inline constexpr int kFnEDist = 65;
inline constexpr int kFnDiv = 66;
inline constexpr int kFnDiv0 = 67;
inline constexpr int kFnSllog10 = 68;
inline constexpr int kFnSqlog10 = 69;
inline constexpr int kFnSlexp = 70;
inline constexpr int kFnSqexp = 71;
inline constexpr int kFnSlrec = 72;
inline constexpr int kFnSqrec = 73;
inline constexpr int kFnCvPower = 74;
inline constexpr int kFnVcPower = 75;
inline constexpr int kFnCentropy = 76;
inline constexpr int kFnGmillisec = 77;
inline constexpr int kFnMaxExecError = 78;
inline constexpr int kFnTimeElapsed = 79;
inline constexpr int kFnGamma = 80;
inline constexpr int kFnLogGamma = 81;
inline constexpr int kFnBeta = 82;
inline constexpr int kFnLogBeta = 83;
inline constexpr int kFnGammaReg = 84;
inline constexpr int kFnBetaReg = 85;
inline constexpr int kFnSinh = 86;
inline constexpr int kFnCosh = 87;
inline constexpr int kFnTanh = 88;
inline constexpr int kFnMathLastRC = 89;
inline constexpr int kFnMathLastEC = 90;
inline constexpr int kFnMathOVal = 91;
inline constexpr int kFnSignPower = 92;
inline constexpr int kFnHandleStatus = 93;
inline constexpr int kFnNcpVUsin = 94;
inline constexpr int kFnNcpVUpow = 95;
inline constexpr int kFnBinomial = 96;
inline constexpr int kFnHandleSubmit = 97;
inline constexpr int kFnLuvoVersion = 98;
inline constexpr int kFnHandleDelete = 99;
inline constexpr int kFnTan = 100;
inline constexpr int kFnArccos = 101;
inline constexpr int kFnArcsin = 102;
inline constexpr int kFnArctan2 = 103;
inline constexpr int kFnSleep = 104;
inline constexpr int kFnHeapFree = 105;
inline constexpr int kFnHandleCollect = 106;
inline constexpr int kFnLuvoRelease = 107;
inline constexpr int kFnPoly = 108;
inline constexpr int kFnSystemEntry109 = 109;
inline constexpr int kFnSystemEntry110 = 110;
inline constexpr int kFnHeapLimit = 111;
inline constexpr int kFnRandLinear = 112;
inline constexpr int kFnRandTriangle = 113;
inline constexpr int kFnForceError = 114;
inline constexpr int kFnForceErrorCnt = 115;
inline constexpr int kFnRandBinomial = 116;
inline constexpr int kFnJobHandle = 117;
inline constexpr int kFnJobStatus = 118;
inline constexpr int kFnJobKill = 119;
inline constexpr int kFnJobTerminate = 120;
inline constexpr int kFnNumCores = 121;
inline constexpr int kFnEmbeddedHandle = 122;
inline constexpr int kFnPlatformCode = 123;
inline constexpr int kFnLogit = 124;
inline constexpr int kFnLSEMax = 125;
inline constexpr int kFnLSEMaxSc = 126;
inline constexpr int kFnLSEMin = 127;
inline constexpr int kFnLSEMinSc = 128;
inline constexpr int kFnUnknown = 129;  // placeholder record " unknown*"

// Numbers 0 ... kNumIntrinsicFunctions-1 are intrinsic; from kFirstExternalFunction up external.
inline constexpr int kNumIntrinsicFunctions = 130;
inline constexpr int kFirstExternalFunction = 130;

// A call has at most this many arguments; derivatives are kept for all of them.
inline constexpr int kMaxFunctionArgs = 20;

// ---------------------------------------------------------------------------------------------
// The function table.

struct FunctionRecord {
  std::string_view name;         // as used in messages, at most 63 characters
  std::uint8_t min_args;         // accepted argument count
  std::uint8_t max_args;         // 0: no upper bound
  std::uint32_t arg_variable;    // bit k-1 set: argument k (1 ... 20) may depend on variables
  std::string_view description;  // one line, at most 191 characters
};

// The record of intrinsic function n, 0 <= n <= 129 (the placeholder record 129 otherwise).
const FunctionRecord& function_record(int n);

// Name of function n: the table name for 0 ... 129, the external function's name from 130 up
// ("" when no external function information is installed or n is negative).
std::string_view function_name(int n);

// Whether argument `position` (1 ... 20) of function n may depend on variables; false outside
// 1 ... 20 and for negative n. From 130 up the external function's flag.
bool argument_is_variable(int n, int position);

// The 32 functions of the modeling system's execution environment, never evaluated here.
bool is_system_function(int n);

// ---------------------------------------------------------------------------------------------
// Error model.

// Result codes: which part of the result is wrong.
inline constexpr int kMathOk = 0;
inline constexpr int kMathFunc = 1;
inline constexpr int kMathGrad = 2;
inline constexpr int kMathHess = 3;
inline constexpr int kMathSystem = 4;

// Exception codes: what went wrong.
inline constexpr int kMathError = 0;
inline constexpr int kMathDomain = 1;
inline constexpr int kMathSingular = 2;
inline constexpr int kMathOverflow = 3;
inline constexpr int kMathSigloss = 4;

// "OK", "FUNC", "GRAD", "HESS", "SYSTEM"; "" for other codes.
std::string_view result_code_name(int code);
// "ERROR", "DOMAIN", "SINGULAR", "OVERFLOW", "SIGLOSS"; "" for other codes.
std::string_view exception_code_name(int code);

// Replacement for values and derivatives out of range; also the value of MathOVal.
inline constexpr double kMathBig = 1e299;
// Derivative entries that could not be formed by finite differences.
inline constexpr double kMathUndefined = 1e300;

// Called on every error with the result code, the exception code, the composed message and the
// callback data; the answer becomes the evaluation's result.
using MathErrorCallback = int (*)(int result_code, int exception_code, std::string_view message,
                                  void* data);

// Answers 0 for overflows (exception code 3) and the result code otherwise.
int default_error_callback(int result_code, int exception_code, std::string_view message,
                           void* data);

// ---------------------------------------------------------------------------------------------
// The evaluation context.

struct mathnew_context;

// Evaluates external function n (>= 130) for the same contract as function_eval's evaluation
// step: fills `result` as far as `mode` asks and may lower `mode` to the derivative level the
// function provides; errors go through the context's error callback. Returns the result code.
using ExternalEvalHook = int (*)(mathnew_context& context, int n, const double* args);

// Index into `result` of the Hessian entry for arguments i and k (both 1 ... 20).
constexpr int hessian_index(int i, int k) { return kMaxFunctionArgs * i + k; }
inline constexpr int kMathResultSize = kMaxFunctionArgs * kMaxFunctionArgs + kMaxFunctionArgs + 1;

struct mathnew_context {
  // Entry 0 the value, 1 ... 20 the gradient, hessian_index(i, k) the Hessian.
  std::array<double, kMathResultSize> result{};
  std::string message;                // text of the last error, at most 255 characters
  std::uint8_t last_ec = 0;           // exception code of the last error
  std::uint8_t last_rc = 0;           // result of the last error (the callback's answer)
  std::uint8_t current_function = 0;  // number of the function being evaluated
  std::int32_t mode = 0;              // 0 value, 1 value and gradient, 2 also the Hessian
  std::int32_t num_args = 0;          // number of arguments of the call
  MathErrorCallback error_callback = default_error_callback;
  void* callback_data = nullptr;
  std::uint32_t force_error_count = 0;  // call counter of ForceError
  bool relative_step = true;            // difference steps scale with |x| when |x| > 1
  bool keep_gradient = true;            // analytic gradient kept while the Hessian is differenced
  double fd_step = 1e-5;                // base step of finite differences
  std::int32_t fd_level = 0;  // derivative levels to difference: 0 none, 1 Hessian, 2 both

  // Evaluation of external functions; null until the external function manager installs it,
  // and then calls of numbers 130 and above are reported as unknown functions.
  ExternalEvalHook external_eval = nullptr;
  void* external_data = nullptr;  // for the hook's own use

  double value() const { return result[0]; }
  double gradient(int k) const { return result[static_cast<std::size_t>(k)]; }
  double hessian(int i, int k) const {
    return result[static_cast<std::size_t>(hessian_index(i, k))];
  }
};

// Sets every field to its initial state (see the member initialisers; message emptied). The
// external evaluation hook is left as it is.
void mathnew_init(mathnew_context& context);

// Installs `callback`; null installs default_error_callback. The callback data is kept.
void set_error_callback(mathnew_context& context, MathErrorCallback callback);

// Evaluates function n at args[0 ... num_args-1] with the context's `mode` and `num_args`, and
// completes derivatives that the evaluator does not provide (or that `fd_level` asks to
// difference) by finite differences. Returns 0 or the callback's answer for the first error.
// Afterwards `result` holds the value and, as far as `mode` asked, the derivatives; entries of
// arguments that are not flagged variable are 0.
int function_eval(mathnew_context& context, int n, const double* args);

// The intrinsic evaluator: evaluates n (0 ... 129) by its rules, without difference completion.
int mathnew_eval(mathnew_context& context, int n, const double* args);

// Names and argument flags of external functions, installed by the external function manager.
struct ExternalFunctionInfo {
  std::string_view (*name)(int n) = nullptr;
  bool (*argument_is_variable)(int n, int position) = nullptr;
};
void set_external_function_info(const ExternalFunctionInfo& info);

}  // namespace qlink
