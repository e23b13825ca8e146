// The LVX variant of the scratch files: reads an instance kept in LVX files and writes the
// solution into one, through the LVX binding. Operations out of order are refused.
#pragma once

#include <cstdint>
#include <string>

#include "io/gdutils.h"
#include "runtime/lvxdcdef.h"

namespace qlink {

class TScratchLvx {
 public:
  TScratchLvx() = default;
  ~TScratchLvx();
  TScratchLvx(const TScratchLvx&) = delete;
  TScratchLvx& operator=(const TScratchLvx&) = delete;

  // Each operation returns 0 on success and 1 on failure; message() then says why. Once a
  // message is held every later operation fails at once.
  int CreateForReading(const std::string& file_name);
  // `labels`: the largest key the file will hold (rows, columns, 22 header slots).
  int CreateForWriting(const std::string& file_name, int labels);
  int ReadRow(ScratchRow* r);
  int ReadColumn(ScratchColumn* c);
  int ReadJac(std::int32_t* row, double* value, bool* nonlinear);
  int ReadNLInstr(std::uint8_t* opcode, std::int32_t* operand);
  // Starts the constant pool (after the instructions): its record count is the pool count.
  int PoolCount(std::int32_t* count);
  int ReadConstPool(double* value);
  int ReadDone();
  // Header value `index` (1..12): a marker (index 0) switches from header to trailer slots.
  int WriteHeader(int index, double value);
  int WriteRowSol(int status, int bstat, double level, double marginal, double scale);
  int WriteColumnSol(int status, int bstat, double level, double marginal, double scale);
  int WriteDone();

  const std::string& message() const { return msg_; }
  // Whether ReadDone or WriteDone has finished the file.
  bool finished() const { return state_ == State::kDone; }

  static constexpr int kSlots = 22;

 private:
  enum class State {
    kNone, kOpenRead, kRows, kColumns, kJac, kInstr, kPool, kDone,
    kOpenWrite, kWriteRows, kWriteColumns,
  };
  int Fail(const std::string& text);
  int LibFail(const char* operation);
  bool StartSymbol(const char* name, const char* operation, int* dim, int* count);
  bool NextRecord(const char* operation);  // reads into rec_, sets have_rec_
  int WriteSol(const char* operation, int index, int status, int bstat, double level,
               double marginal, double scale);

  TLvxObject lvx_;
  State state_ = State::kNone;
  std::string msg_;
  std::string file_name_;
  bool open_ = false;
  // Reading: the record read ahead.
  int dim_ = 0;
  int keys_[kLvxMaxDim] = {};
  double vals_[kLvxValueCount] = {};
  bool have_rec_ = false;
  bool symbol_open_ = false;
  std::int32_t expect_ = 0;  // next row, column, position or pool index
  std::int32_t jac_left_ = 0;
  // Writing.
  double slots_[kSlots + 1] = {};
  bool after_marker_ = false;
};

}  // namespace qlink
