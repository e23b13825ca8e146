// The scratch file layer through which the link reads the model instance and writes the
// solution (text, four block-binary variants and the LVX variant), and the model instance
// itself with its reader.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "expr/instructions.h"

namespace qlink {

class TScratchLvx;

// The scratch format code: one setting per decimal digit.
struct ScratchFormat {
  int code = 0;
  int variant = 0;         // 0 text, 1-4 block binary, 5 LVX (digit 1; above 5 is 0)
  bool has_marginals = false;
  bool has_row_extra = false;
  int scale_mode = 0;      // digit 4
  int digit5 = 0;          // kept, not used
  bool has_scales = false;
  bool has_priorities = false;
  bool has_match = false;
};
ScratchFormat DecodeScratchFormat(int code, bool scaling_on, bool priority_on);

// One row record as the matrix file holds it.
struct ScratchRow {
  std::int32_t type = 0;
  double rhs = 0, level = 0, marginal = 0, scale = 1;
  std::uint8_t basis = 0;
  std::int32_t match = 0;
};

// One column record; the Jacobian entries that follow it are read with ReadJac.
struct ScratchColumn {
  std::int32_t count = 0;
  double lower = 0, level = 0, upper = 0, marginal = 0, priority = 1, scale = 1;
  std::uint8_t basis = 0;
  std::int32_t type = 0, sos = 0;
};

// Maps what a file holds onto the special values: NaN is UNDF, infinities are +INF and -INF.
double MapSpecial(double x);

// Return code of OpenMod when the LVX variant fails to open.
inline constexpr int kOpenModLvxFailed = 5;

// An open scratch file. Reading operations return false on bad or missing data and leave the
// reason in error(); they never read past their buffers.
class TScratchFile {
 public:
  ~TScratchFile();
  TScratchFile(const TScratchFile&) = delete;
  TScratchFile& operator=(const TScratchFile&) = delete;

  // Opens `name` for reading or writing in the variant of `code`. Returns 0 with *out set, an
  // operating-system error code, or kOpenModLvxFailed. A text file is opened with retries. An
  // LVX instruction file cannot be written: that stops the program. `lvx_labels` is the
  // largest key an LVX file for writing will hold.
  static int OpenMod(const std::string& name, int code, bool scaling_on, bool priority_on,
                     bool writing, std::unique_ptr<TScratchFile>* out, bool instruction_file = false,
                     int lvx_labels = 0);
  // Flushes (a binary file pads its last block) and closes. 0 on success.
  int CloseMod();
  // Closes a file whose reading stopped early, without finishing the read: only a message that
  // the LVX object already holds is shown. Nothing happens after CloseMod.
  void CloseAbandoned();

  const ScratchFormat& format() const { return fmt_; }
  const std::string& name() const { return name_; }
  const std::string& error() const { return error_; }

  // Reading.
  bool SkipLine();
  bool ReadInstr(std::uint8_t* opcode, std::int32_t* operand);
  bool ReadInt(std::int32_t* v);
  bool ReadReal(double* v);
  bool ReadMatrixHeader();
  bool ReadRow(ScratchRow* r);
  bool ReadColumn(ScratchColumn* c);
  bool ReadJac(std::int32_t* row, double* value, bool* nonlinear);
  // LVX only: the pool entries that the file holds (the text and binary files give the count
  // with ReadInt).
  bool ReadPoolCount(std::int32_t* count);
  bool ReadDone();
  // Whether nothing but padding (binary), blanks and header lines (text) follows.
  bool AtEnd();

  // Writing an instruction file.
  void WriteCodeHeader();
  void WriteInstr(std::uint8_t opcode, std::int32_t operand);
  void WriteRelocHeader();
  void WritePoolHeader(std::int32_t count);
  void WriteReal(double v);
  // Writing a solution file.
  void WriteHeaderValue(int index, double v);
  void WriteSolRecord(int status, int bstat, double level, double marginal);
  void WriteScaledSolRecord(int status, int bstat, double level, double marginal, double scale);
  void SwitchToColumns();

 private:
  TScratchFile() = default;
  bool Fail(const std::string& what);
  // Binary byte stream across the blocks' data windows.
  bool NextBlock();
  bool GetBytes(void* out, std::size_t n);
  bool GetByte(std::uint8_t* b) { return GetBytes(b, 1); }
  bool GetBinReal(double* v);
  bool GetCompact(int width, std::int32_t* v);
  bool GetValueCode(int code, double* v);
  void PutBytes(const void* data, std::size_t n);
  void PutBinReal(double v);
  void FlushBlock();
  // Text tokens.
  bool NextToken(std::string_view* tok);
  bool TextInt(std::int32_t* v);
  bool TextReal(double* v);
  int TextChar();
  void PutText(const char* s, std::size_t n);
  void PutNumber(double v);
  void PutInt(long long v);
  void PutTextSolFields(int status, int bstat, double level, double marginal);

  ScratchFormat fmt_;
  std::string name_;
  std::string error_;
  bool writing_ = false;
  std::FILE* file_ = nullptr;
  std::unique_ptr<TScratchLvx> lvx_;
  // Binary: the window of the current block and the buffer of whole blocks.
  int win_first_ = 0, win_last_ = 800;  // 0-based, exclusive end
  std::vector<unsigned char> buf_;
  // Reading: the buffer holds buf_len_ bytes of whole blocks (data_len_ of them from the file);
  // the current block starts at blk_, its window ends at wend_. Writing: buf_pos_ is the fill.
  std::size_t buf_len_ = 0, buf_pos_ = 0, blk_ = 0, wend_ = 0, data_len_ = 0;
  bool first_block_ = true;
  bool any_block_ = false;
  bool write_failed_ = false;
  // Text reading.
  std::string token_;
  std::size_t line_ = 1;
  bool in_columns_ = false;
};

// An entry of the Jacobian. Entries are numbered from 1; 0 ends a list.
struct JacEntry {
  double value = 0;
  std::int32_t row = 0, col = 0;
  std::int32_t next_in_row = 0, next_nl_in_row = 0, next_in_col = 0;
  std::uint8_t nonlinear = 0;
};

// The Jacobian entries, allocated in blocks as they arrive; an entry never moves.
class JacStore {
 public:
  static constexpr int kShift = 16;
  std::int32_t Add();  // a zeroed entry; its number
  JacEntry& operator[](std::int32_t k) { return blocks_[k >> kShift][k & kMask]; }
  const JacEntry& operator[](std::int32_t k) const { return blocks_[k >> kShift][k & kMask]; }
  std::int32_t size() const { return count_; }
  void clear() { blocks_.clear(); count_ = 0; }

 private:
  static constexpr std::int32_t kMask = (1 << kShift) - 1;
  std::vector<std::unique_ptr<JacEntry[]>> blocks_;
  std::int32_t count_ = 0;
};

struct SpecialValues {
  double undf = 1.0e300, na = 2.0e300, eps = 5.0e300, plusinf = 3.0e300, minusinf = 4.0e300,
         acr = 1.0e301, infinity = 3.0e300;
};

// The model instance. Row and column arrays have m + 1 and n + 1 entries; index 0 is unused.
struct ModelInstance {
  SpecialValues specials;
  std::int32_t m = 0, n = 0;
  std::vector<std::int32_t> row_type;
  std::vector<double> row_rhs, row_marginal;
  std::vector<std::uint8_t> row_basis;
  std::vector<std::int32_t> row_match;
  std::vector<double> row_scale;  // empty unless the scaling option is on
  std::vector<std::int32_t> row_code_start, row_code_end, row_count;
  std::vector<std::int32_t> row_head, row_tail, row_nl_head, row_nl_tail;
  std::vector<double> row_level;  // empty until the result reader fills it
  std::vector<std::int32_t> row_status, row_bstat;

  std::vector<std::int32_t> col_type;
  std::vector<double> col_lower, col_level, col_upper, col_marginal;
  std::vector<std::uint8_t> col_basis, col_bound_class;
  std::vector<std::int32_t> col_sos;  // sign class for continuous columns
  std::vector<double> col_priority;
  std::vector<double> col_scale;  // empty unless the scaling option is on
  std::vector<std::int32_t> col_head, col_tail;
  std::vector<std::int32_t> col_status, col_bstat;

  JacStore jac;
  // Instruction position k is code[k - 1]; empty when the model has no nonlinear code.
  std::vector<Instruction> code;
  // Pool index k is pool[k - 1]; the control file's pool count entries (those the file does not
  // hold are 0), empty when that count is 0 or the model has no instruction code.
  std::vector<double> pool;
  std::array<std::int32_t, 128> function_use_count{};

  std::int32_t num_fixed = 0;
  std::array<std::int32_t, 3> sign_class_count{};
  std::int32_t obj_row_nonzeros = 0;
  double obj_var_coef = 0;
  bool scales_unsupported = false;
};

// The model instance of this run.
ModelInstance& Instance();

// Header values 3 and 6 and the trailer values 1..12 that the solution writer writes; the
// result reader sets them. Header 4 is Run().ResUsed, 5 Run().ObjVal, trailer 1
// Run().IterCount and trailer 5 Run().ObjEst.
struct SolutionValues {
  double header3 = 0, header6 = 0;
  std::array<double, 13> trailer{};  // index 1..12; NA when not set
};
SolutionValues& SolutionResults();

// The run's results before the solver: statuses 13/13, header values 0, trailer values NA.
void ResetRunResults();

// Reads the instruction file and the matrix file named in the control file of Run() into
// Instance(). 0 on success; 1 the instruction file cannot be opened, 2 the matrix file cannot
// be opened; 3 a file holds bad or incomplete data (reported in the log and the listing).
int read_model_instance();

}  // namespace qlink
