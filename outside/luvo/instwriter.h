// The modeling system's side of the model instance: a model described in a few lines, written
// as the instruction file and the matrix file in any of the six storage variants.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "outside/luvo/ctrlwriter.h"

namespace luvo {

inline constexpr double kPlusInf = 3.0e300;
inline constexpr double kMinusInf = 4.0e300;

struct RowSpec {
  int type = 0;  // 0 =E= ... 6 =B=
  double rhs = 0, level = 0, marginal = 0, scale = 1;
  int basis = 0;
  int match = 0;
  int extra = 0;  // the hundreds-digit extra integer
};

struct EntrySpec {
  int row = 0;
  double value = 0;
  bool nonlinear = false;
};

struct ColSpec {
  int type = 0;  // 0 continuous ... 6 semi-integer
  double lower = 0, level = 0, upper = kPlusInf, marginal = 0, priority = 1, scale = 1;
  int basis = 0;
  int sos = 0;
  std::vector<EntrySpec> entries;
};

struct InstrSpec {
  int opcode = 0;
  std::int32_t operand = 0;
};

struct ModelSpec {
  std::vector<RowSpec> rows;
  std::vector<ColSpec> cols;
  std::vector<InstrSpec> code;  // empty: no instruction file
  std::vector<double> pool;
};

// Writes the matrix file in the variant and with the fields the format code asks for
// (`scaling_on`, `priority_on`: the control file's scaling and priority options).
bool WriteMatrixFile(const std::string& path, const ModelSpec& model, int format_code, bool scaling_on,
                     bool priority_on, std::string* error);
// Writes the instruction file (instructions and constant pool).
bool WriteInstructionFile(const std::string& path, const ModelSpec& model, int format_code, std::string* error);

// Puts the model's sizes and counts into the control file record.
void DescribeModel(const ModelSpec& model, ControlSpec* spec);
// Both files at the control file's names, in its format code (the instruction file only when
// the model has code).
bool WriteInstance(const ControlSpec& spec, const ModelSpec& model, std::string* error);

}  // namespace luvo
