#include "io/scratchlvx.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "runtime/lvocommon.h"

namespace qlink {

namespace {

// An integer attribute stored as a real, rounded and kept inside the int32 range.
std::int32_t RoundInt(double v) {
  if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
  if (v > 2147483647.0) return INT32_MAX;
  return static_cast<std::int32_t>(std::lround(v));
}

}  // namespace

TScratchLvx::~TScratchLvx() {
  if (open_) lvxClose(lvx_.get());
}

int TScratchLvx::Fail(const std::string& text) {
  if (msg_.empty()) msg_ = Bounded(text);
  return 1;
}

int TScratchLvx::LibFail(const char* operation) {
  const std::string text = lvx_.LastErrorText();
  if (text.empty()) return Fail("LvxErrorCount <> 0: No message available");
  return Fail(std::string(operation) + ": " + text);
}

int TScratchLvx::CreateForReading(const std::string& file_name) {
  if (!msg_.empty()) return 1;
  if (state_ != State::kNone) return Fail("CreateForReading: Calling out of context");
  std::string msg;
  if (!lvx_.Create(&msg)) return Fail("Could not create LVX object, Msg: " + msg);
  file_name_ = file_name;
  int err = 0;
  if (!lvxOpenRead(lvx_.get(), file_name.c_str(), &err)) return Fail("Cannot open LVX file " + file_name);
  open_ = true;
  double sv[kLvxSvCount];
  lvxGetSpecialValues(lvx_.get(), sv);
  sv[kLvxSvEps] = 0;
  lvxSetReadSpecialValues(lvx_.get(), sv);
  if (lvxErrorCount(lvx_.get()) != 0) return LibFail("CreateForReading");
  state_ = State::kOpenRead;
  return 0;
}

bool TScratchLvx::StartSymbol(const char* name, const char* operation, int* dim, int* count) {
  void* p = lvx_.get();
  if (symbol_open_) {
    lvxDataReadDone(p);
    symbol_open_ = false;
  }
  int sym = 0, kind = 0;
  char text[QLINK_STRING_BUFSIZE] = {};
  *count = 0;
  have_rec_ = false;
  if (!lvxFindSymbol(p, name, &sym)) {
    *dim = 0;
    return true;  // no symbol: no records
  }
  if (!lvxSymbolInfo(p, sym, text, dim, &kind) || !lvxDataReadRawStart(p, sym, count) ||
      lvxErrorCount(p) != 0) {
    LibFail(operation);
    return false;
  }
  symbol_open_ = true;
  return NextRecord(operation);
}

bool TScratchLvx::NextRecord(const char* operation) {
  int first = 0;
  have_rec_ = symbol_open_ && lvxDataReadRaw(lvx_.get(), keys_, vals_, &first) != 0;
  if (lvxErrorCount(lvx_.get()) != 0) {
    have_rec_ = false;
    LibFail(operation);
    return false;
  }
  return true;
}

int TScratchLvx::ReadRow(ScratchRow* r) {
  if (!msg_.empty()) return 1;
  if (state_ == State::kOpenRead) {
    int count = 0;
    if (!StartSymbol("equation", "ReadRow", &dim_, &count)) return 1;
    if (have_rec_ && dim_ < 2) return Fail("ReadRow: LVX row data has " + std::to_string(dim_) + " keys, not 2");
    if (have_rec_ && keys_[0] != 1) return Fail("Row data does not start with row 1 but " + std::to_string(keys_[0]));
    state_ = State::kRows;
    expect_ = 1;
  } else if (state_ != State::kRows) {
    return Fail("ReadRow: Calling out of context");
  }
  const std::int32_t i = expect_;
  if (!have_rec_ || keys_[0] != i)
    return Fail("ReadRow: no LVX row data for row " + std::to_string(i) +
                (have_rec_ ? " (next row in the file: " + std::to_string(keys_[0]) + ")" : ""));
  *r = ScratchRow{};
  while (have_rec_ && keys_[0] == i) {
    const double v = vals_[kLvxLevel];
    switch (keys_[1]) {
      case 1: r->type = RoundInt(v); break;
      case 2: r->rhs = v; break;
      case 3: r->level = v; break;
      case 4: r->marginal = v; break;
      case 5: r->scale = v; break;
      case 6: r->match = RoundInt(v); break;
      case 7: r->basis = RoundInt(v) != 0; break;
      default: return Fail("ReadRowUnknown LVX row record " + std::to_string(keys_[1]));
    }
    if (!NextRecord("ReadRow")) return 1;
  }
  ++expect_;
  return 0;
}

int TScratchLvx::ReadColumn(ScratchColumn* c) {
  if (!msg_.empty()) return 1;
  if (state_ == State::kOpenRead || state_ == State::kRows) {
    if (state_ == State::kRows && have_rec_)
      return Fail("ReadColumn: LVX row data for row " + std::to_string(keys_[0]) + " beyond the rows read");
    int count = 0;
    if (!StartSymbol("variable", "ReadColumn", &dim_, &count)) return 1;
    if (have_rec_ && dim_ != 2 && dim_ != 3)
      return Fail("ReadColumn: LVX column data has " + std::to_string(dim_) + " keys, not 2 or 3");
    if (have_rec_ && keys_[0] != 1)
      return Fail("Column data does not start with column 1 but " + std::to_string(keys_[0]));
    state_ = State::kColumns;
    expect_ = 1;
  } else if (!((state_ == State::kColumns || state_ == State::kJac) && jac_left_ == 0)) {
    return Fail("ReadColumn: Calling out of context");
  }
  const std::int32_t j = expect_;
  if (!have_rec_ || keys_[0] != j)
    return Fail("ReadColumn: no LVX column data for column " + std::to_string(j) +
                (have_rec_ ? " (next column in the file: " + std::to_string(keys_[0]) + ")" : ""));
  if (keys_[1] >= 33) return Fail("ReadColumn: column " + std::to_string(j) + " has more Jacobian entries than its count");
  *c = ScratchColumn{};
  bool upper_given = false;
  while (have_rec_ && keys_[0] == j && keys_[1] < 33) {
    const double v = vals_[kLvxLevel];
    switch (keys_[1]) {
      case 1: c->type = RoundInt(v); break;
      case 2: c->lower = v; break;
      case 3: c->level = v; break;
      case 4: c->upper = v, upper_given = true; break;
      case 5: c->sos = RoundInt(v); break;
      case 6: c->priority = v; break;
      case 7: c->marginal = v; break;
      case 8: c->scale = v; break;
      case 9: c->count = RoundInt(v); break;
      case 10: c->basis = RoundInt(v) != 0; break;
      default: return Fail("ReadColumnUnknown LVX column record " + std::to_string(keys_[1]));
    }
    if (!NextRecord("ReadColumn")) return 1;
  }
  if (!upper_given) c->upper = c->type == 1 ? 1.0 : kPlusInf;
  if (c->count < 0) return Fail("ReadColumn: negative entry count of column " + std::to_string(j));
  jac_left_ = c->count;
  state_ = State::kColumns;
  ++expect_;
  return 0;
}

int TScratchLvx::ReadJac(std::int32_t* row, double* value, bool* nonlinear) {
  if (!msg_.empty()) return 1;
  if (!((state_ == State::kColumns || state_ == State::kJac) && jac_left_ > 0))
    return Fail("ReadJac: Calling out of context");
  const std::int32_t j = expect_ - 1;
  if (!have_rec_ || keys_[0] != j || keys_[1] < 33)
    return Fail("ReadJac: column " + std::to_string(j) + " has fewer Jacobian entries than its count");
  *row = keys_[1] - 32;
  *value = vals_[kLvxLevel];
  *nonlinear = dim_ == 3 && keys_[2] - 1 != 0;
  --jac_left_;
  state_ = State::kJac;
  return NextRecord("ReadJac") ? 0 : 1;
}

int TScratchLvx::ReadNLInstr(std::uint8_t* opcode, std::int32_t* operand) {
  if (!msg_.empty()) return 1;
  if (state_ == State::kOpenRead || ((state_ == State::kColumns || state_ == State::kJac) && jac_left_ == 0)) {
    int count = 0;
    if (!StartSymbol("solve", "ReadNLInstr", &dim_, &count)) return 1;
    if (have_rec_ && dim_ != 4) return Fail("ReadNLInstr: LVX instruction data has " + std::to_string(dim_) + " keys, not 4");
    state_ = State::kInstr;
    expect_ = 1;
  } else if (state_ != State::kInstr) {
    return Fail("ReadNLInstr: Calling out of context");
  }
  if (!have_rec_ || keys_[0] != expect_)
    return Fail("ReadNLInstr: no instruction at position " + std::to_string(expect_));
  if (keys_[2] > 255) return Fail("ReadNLInstr: opcode " + std::to_string(keys_[2]) + " at position " + std::to_string(expect_));
  *opcode = static_cast<std::uint8_t>(keys_[2]);
  *operand = keys_[3] - 1;
  ++expect_;
  return NextRecord("ReadNLInstr") ? 0 : 1;
}

int TScratchLvx::PoolCount(std::int32_t* count) {
  if (!msg_.empty()) return 1;
  if (state_ != State::kInstr) return Fail("ReadConstPool: Calling out of context");
  if (have_rec_) return Fail("ReadConstPool: instruction data beyond position " + std::to_string(expect_ - 1));
  int n = 0;
  if (!StartSymbol("scalar", "ReadConstPool", &dim_, &n)) return 1;
  *count = n;
  state_ = State::kPool;
  expect_ = 1;
  return 0;
}

int TScratchLvx::ReadConstPool(double* value) {
  if (!msg_.empty()) return 1;
  if (state_ != State::kPool) return Fail("ReadConstPool: Calling out of context");
  if (!have_rec_ || dim_ < 1 || keys_[0] != expect_)
    return Fail("ReadConstPool: no pool entry " + std::to_string(expect_));
  *value = vals_[kLvxLevel];
  ++expect_;
  return NextRecord("ReadConstPool") ? 0 : 1;
}

int TScratchLvx::ReadDone() {
  if (!msg_.empty()) return 1;
  const bool after_columns = (state_ == State::kColumns || state_ == State::kJac) && jac_left_ == 0;
  if (!(state_ == State::kOpenRead || after_columns || state_ == State::kPool))
    return Fail("ReadDone: Calling out of context");
  if (have_rec_)
    return Fail(std::string("ReadDone: LVX ") + (after_columns ? "column" : "pool") + " data beyond the " +
                (after_columns ? "columns" : "entries") + " read");
  if (symbol_open_) lvxDataReadDone(lvx_.get());
  symbol_open_ = false;
  state_ = State::kDone;
  open_ = false;
  if (lvxClose(lvx_.get()) != 0) return Fail("ReadDone: LvxClose <> 0");
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Writing the solution.

int TScratchLvx::CreateForWriting(const std::string& file_name, int labels) {
  if (!msg_.empty()) return 1;
  if (state_ != State::kNone) return Fail("CreateForWriting: Calling out of context");
  std::string msg;
  if (!lvx_.Create(&msg)) return Fail("Could not create LVX object, Msg: " + msg);
  file_name_ = file_name;
  void* p = lvx_.get();
  int err = 0;
  if (!lvxOpenWriteEx(p, file_name.c_str(), "ScratchLvx", 1, &err)) return Fail("Cannot open LVX file " + file_name);
  open_ = true;
  lvxAutoConvert(p, 0);
  // Keys are label numbers: the labels "1", "2", ... name the rows, columns, attributes and
  // header slots.
  const int n = labels > kSlots ? labels : kSlots;
  lvxUELRegisterRawStart(p);
  char text[16];
  for (int i = 1; i <= n; ++i) {
    std::snprintf(text, sizeof text, "%d", i);
    lvxUELRegisterRaw(p, text);
  }
  lvxUELRegisterDone(p);
  if (lvxErrorCount(p) != 0) return LibFail("CreateForWriting");
  for (double& s : slots_) s = kNa;
  slots_[1] = 13;
  slots_[2] = 13;
  slots_[9] = 0;
  state_ = State::kOpenWrite;
  return 0;
}

int TScratchLvx::WriteHeader(int index, double value) {
  if (!msg_.empty()) return 1;
  if (index == 0) {
    after_marker_ = true;
    return 0;
  }
  const int slot = after_marker_ ? index + 10 : index;
  if (slot < 1 || slot > kSlots)
    return Fail("HT Record number " + std::to_string(slot) + " out of 1.." + std::to_string(kSlots));
  slots_[slot] = value;
  return 0;
}

int TScratchLvx::WriteSol(const char* operation, int index, int status, int bstat, double level,
                          double marginal, double scale) {
  void* p = lvx_.get();
  int keys[2] = {index, 1};
  double v[kLvxValueCount] = {status == 0 ? kEps : static_cast<double>(status), 0, 0, 0, 0};
  lvxDataWriteRaw(p, keys, v);
  const double rest[4] = {static_cast<double>(bstat), level, marginal, scale};
  for (int a = 0; a < 4; ++a) {
    if (a < 3 ? rest[a] == 0 : rest[a] == 1) continue;
    keys[1] = a + 2;
    v[0] = rest[a];
    lvxDataWriteRaw(p, keys, v);
  }
  return lvxErrorCount(p) != 0 ? LibFail(operation) : 0;
}

int TScratchLvx::WriteRowSol(int status, int bstat, double level, double marginal, double scale) {
  if (!msg_.empty()) return 1;
  if (state_ == State::kOpenWrite) {
    lvxDataWriteRawStart(lvx_.get(), "equations", "Equation Solution", 2, kLvxParameter, 0);
    state_ = State::kWriteRows;
    expect_ = 1;
  } else if (state_ != State::kWriteRows) {
    return Fail("WriteRowSol: Calling out of context");
  }
  return WriteSol("WriteRowSol", expect_++, status, bstat, level, marginal, scale);
}

int TScratchLvx::WriteColumnSol(int status, int bstat, double level, double marginal, double scale) {
  if (!msg_.empty()) return 1;
  if (state_ == State::kOpenWrite || state_ == State::kWriteRows) {
    if (state_ == State::kWriteRows) lvxDataWriteDone(lvx_.get());
    lvxDataWriteRawStart(lvx_.get(), "variables", "Variable Solution", 2, kLvxParameter, 0);
    state_ = State::kWriteColumns;
    expect_ = 1;
  } else if (state_ != State::kWriteColumns) {
    return Fail("WriteColumnSol: Calling out of context");
  }
  return WriteSol("WriteColumnSol", expect_++, status, bstat, level, marginal, scale);
}

int TScratchLvx::WriteDone() {
  if (!msg_.empty()) return 1;
  if (state_ != State::kOpenWrite && state_ != State::kWriteRows && state_ != State::kWriteColumns)
    return Fail("WriteDone: Calling out of context");
  void* p = lvx_.get();
  if (state_ != State::kOpenWrite) lvxDataWriteDone(p);
  lvxDataWriteRawStart(p, "option", "HTRecord", 1, kLvxParameter, 0);
  for (int k = 1; k <= kSlots; ++k) {
    if (slots_[k] == kNa) continue;
    const int key[1] = {k};
    const double v[kLvxValueCount] = {slots_[k] == 0 ? kEps : slots_[k], 0, 0, 0, 0};
    lvxDataWriteRaw(p, key, v);
  }
  lvxDataWriteDone(p);
  if (lvxErrorCount(p) != 0) return LibFail("WriteDone");
  state_ = State::kDone;
  open_ = false;
  if (lvxClose(p) != 0) return Fail("WriteDone: LvxClose <> 0");
  return 0;
}

}  // namespace qlink
