// The model instance and its reader: the instruction file and the matrix file.
#include "io/gdutils.h"

#include <filesystem>

#include "link/lvostate.h"
#include "runtime/lvocommon.h"
#include "runtime/platform.h"

namespace qlink {

namespace {

// A file of the instance that holds bad or incomplete data.
constexpr int kBadData = 3;

// Smallest number of bytes a text or binary scratch file needs per row, per column and per
// instruction; an LVX file may be compressed, by zlib at most about 1032:1.
constexpr std::uintmax_t kLvxExpansion = 1100;

void ReportOpenFailure(const char* what, const std::string& name, int rc) {
  LogAndCopy(std::string("*** could not open ") + what + " " + name);
  LogAndCopy("*** RC=" + std::to_string(rc) + " " + platform::ErrorText(rc));
}

int ReportBadData(const char* what, const std::string& name, const std::string& reason) {
  LogAndCopy(Bounded(std::string("*** error in ") + what + " " + name + ": " + reason));
  return kBadData;
}

// Whether a file of `size` bytes can hold `items` records of at least `min_bytes` each.
bool CanHold(const std::string& name, bool lvx, std::uintmax_t items, std::uintmax_t min_bytes) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(name, ec);
  if (ec) return true;  // the reads will tell
  return lvx ? items <= (size + 1024) * kLvxExpansion : items * min_bytes <= size;
}

// Closes a scratch file whose reading stopped on bad data, so that a message the LVX object
// holds is shown on that path too; a file read whole is closed with CloseMod before.
class CloseOnExit {
 public:
  explicit CloseOnExit(TScratchFile* f) : f_(f) {}
  ~CloseOnExit() { f_->CloseAbandoned(); }
  CloseOnExit(const CloseOnExit&) = delete;
  CloseOnExit& operator=(const CloseOnExit&) = delete;

 private:
  TScratchFile* f_;
};

template <typename T>
void Allocate(std::vector<T>& v, std::int32_t n, T value = T{}) {
  v.assign(static_cast<std::size_t>(n) + 1, value);
}

int ReadInstructions(const ControlFile& c, ModelInstance& mi) {
  const char* what = "instruction file";
  std::unique_ptr<TScratchFile> f;
  const int rc = TScratchFile::OpenMod(c.NameInstrFile, c.AlgFileType, c.ScaleOpt != 0, c.PriorityOpt != 0,
                                       false, &f);
  if (rc != 0) {
    ReportOpenFailure(what, c.NameInstrFile, rc);
    return 1;
  }
  const CloseOnExit close(f.get());
  const bool lvx = f->format().variant == 5;
  // The code and the pool are sized by the control file; an instruction file too short for them
  // is refused before anything is allocated.
  if (!CanHold(c.NameInstrFile, lvx, 3u * static_cast<std::uintmax_t>(c.NumInstr) + static_cast<std::uintmax_t>(c.NumConst), 1))
    return ReportBadData(what, c.NameInstrFile,
                         "the file is too short for " + std::to_string(c.NumInstr) + " instructions and " +
                             std::to_string(c.NumConst) + " pool entries");
  mi.code.assign(static_cast<std::size_t>(c.NumInstr), Instruction{});
  f->SkipLine();
  std::int32_t header = 1;
  for (std::int32_t k = 1; k <= c.NumInstr; ++k) {
    Instruction& in = mi.code[static_cast<std::size_t>(k - 1)];
    if (!f->ReadInstr(&in.opcode, &in.operand))
      return ReportBadData(what, c.NameInstrFile, "instruction " + std::to_string(k) + ": " + f->error());
    if (in.opcode == kOpHeader) header = k;
    if (in.opcode == kOpStore) {
      if (in.operand < 1 || in.operand > mi.m)
        return ReportBadData(what, c.NameInstrFile,
                             "instruction " + std::to_string(k) + " stores row " + std::to_string(in.operand) +
                                 ", which does not exist (rows 1.." + std::to_string(mi.m) + ")");
      mi.row_code_start[static_cast<std::size_t>(in.operand)] = header;
      mi.row_code_end[static_cast<std::size_t>(in.operand)] = k;
    }
  }
  std::int32_t reloc = 0, count = 0;
  f->SkipLine();
  if (!lvx) f->ReadInt(&reloc);
  if (!f->ReadPoolCount(&count))
    return ReportBadData(what, c.NameInstrFile, "constant pool: " + f->error());
  if (count < 0)
    return ReportBadData(what, c.NameInstrFile, "negative pool count " + std::to_string(count));
  if (count > c.NumConst)
    return ReportBadData(what, c.NameInstrFile,
                         "the constant pool holds " + std::to_string(count) + " entries, more than the " +
                             std::to_string(c.NumConst) + " of the control file");
  mi.pool.reserve(static_cast<std::size_t>(std::min<std::int32_t>(count, 1 << 16)));
  for (std::int32_t k = 1; k <= count; ++k) {
    double v = 0;
    if (!f->ReadReal(&v))
      return ReportBadData(what, c.NameInstrFile, "pool entry " + std::to_string(k) + ": " + f->error());
    mi.pool.push_back(v);
  }
  // The pool has the control file's size; entries the file does not hold are 0.
  mi.pool.resize(static_cast<std::size_t>(c.NumConst), 0.0);
  if (!f->ReadDone() || !f->AtEnd())
    return ReportBadData(what, c.NameInstrFile, f->error().empty() ? "data beyond the constant pool" : f->error());
  f->CloseMod();
  for (const Instruction& in : mi.code) {
    if (in.opcode != kOpCallArg1 && in.opcode != kOpCallArg2 && in.opcode != kOpCallArgN) continue;
    // Function numbers with a low byte above 127 are not counted.
    const int fn = static_cast<int>(static_cast<std::uint32_t>(in.operand) & 0xFF);
    if (fn < 128) ++mi.function_use_count[static_cast<std::size_t>(fn)];
  }
  return 0;
}

void AppendEntry(ModelInstance& mi, std::int32_t j, std::int32_t i, double value, bool nonlinear) {
  const std::int32_t e = mi.jac.Add();
  JacEntry& en = mi.jac[e];
  en.value = value;
  en.row = i;
  en.col = j;
  en.nonlinear = nonlinear;
  const auto ri = static_cast<std::size_t>(i), cj = static_cast<std::size_t>(j);
  ++mi.row_count[ri];
  if (mi.row_tail[ri] == 0) mi.row_head[ri] = e;
  else mi.jac[mi.row_tail[ri]].next_in_row = e;
  mi.row_tail[ri] = e;
  if (nonlinear) {
    if (mi.row_nl_tail[ri] == 0) mi.row_nl_head[ri] = e;
    else mi.jac[mi.row_nl_tail[ri]].next_nl_in_row = e;
    mi.row_nl_tail[ri] = e;
  }
  if (mi.col_tail[cj] == 0) mi.col_head[cj] = e;
  else mi.jac[mi.col_tail[cj]].next_in_col = e;
  mi.col_tail[cj] = e;
}

int ReadMatrix(const ControlFile& c, ModelInstance& mi) {
  const char* what = "matrix file";
  const bool scaling = c.ScaleOpt != 0;
  std::unique_ptr<TScratchFile> f;
  const int rc = TScratchFile::OpenMod(c.NameMatrixFile, c.AlgFileType, scaling, c.PriorityOpt != 0, false, &f);
  if (rc != 0) {
    ReportOpenFailure(what, c.NameMatrixFile, rc);
    return 2;
  }
  const CloseOnExit close(f.get());
  const std::int32_t m = mi.m, n = mi.n;
  if (!f->ReadMatrixHeader()) return ReportBadData(what, c.NameMatrixFile, "header: " + f->error());
  for (std::int32_t i = 1; i <= m; ++i) {
    ScratchRow r;
    if (!f->ReadRow(&r)) return ReportBadData(what, c.NameMatrixFile, "row " + std::to_string(i) + ": " + f->error());
    const auto k = static_cast<std::size_t>(i);
    if (r.type < 0 || r.type > 6)
      return ReportBadData(what, c.NameMatrixFile, "row " + std::to_string(i) + " has type " + std::to_string(r.type));
    mi.row_type[k] = r.type;
    mi.row_rhs[k] = r.rhs;
    mi.row_marginal[k] = r.marginal;
    mi.row_basis[k] = r.basis;
    mi.row_match[k] = r.match;
    if (scaling) mi.row_scale[k] = r.scale;
  }
  const std::int32_t obj_row = c.ObjRow, obj_col = c.ObjVar;
  for (std::int32_t j = 1; j <= n; ++j) {
    ScratchColumn col;
    // Formed only for a message, not once per column.
    auto where = [j] { return "column " + std::to_string(j); };
    if (!f->ReadColumn(&col)) return ReportBadData(what, c.NameMatrixFile, where() + ": " + f->error());
    if (col.type < 0 || col.type > 6)
      return ReportBadData(what, c.NameMatrixFile, where() + " has type " + std::to_string(col.type));
    if (col.count < 0 || col.count > m)
      return ReportBadData(what, c.NameMatrixFile,
                           where() + " announces " + std::to_string(col.count) + " entries (rows 1.." + std::to_string(m) + ")");
    const auto k = static_cast<std::size_t>(j);
    mi.col_type[k] = col.type;
    mi.col_lower[k] = col.lower;
    mi.col_level[k] = col.level;
    mi.col_upper[k] = col.upper;
    mi.col_marginal[k] = col.marginal;
    mi.col_basis[k] = col.basis;
    mi.col_sos[k] = col.sos;
    mi.col_priority[k] = col.priority;
    if (scaling) mi.col_scale[k] = col.scale;
    for (std::int32_t e = 0; e < col.count; ++e) {
      std::int32_t i = 0;
      double v = 0;
      bool nl = false;
      if (!f->ReadJac(&i, &v, &nl))
        return ReportBadData(what, c.NameMatrixFile, where() + ", entry " + std::to_string(e + 1) + ": " + f->error());
      if (i < 1 || i > m)
        return ReportBadData(what, c.NameMatrixFile,
                             where() + " has an entry in row " + std::to_string(i) + " (rows 1.." + std::to_string(m) + ")");
      AppendEntry(mi, j, i, v, nl);
      if (i == obj_row) {
        ++mi.obj_row_nonzeros;
        if (j == obj_col) mi.obj_var_coef = v;
      }
    }
    const double lo = col.lower, up = col.upper;
    std::uint8_t cls;
    if (lo == up) cls = 4, ++mi.num_fixed;
    else if (lo == kMinusInf) cls = up == kPlusInf ? 0 : 3;
    else cls = up == kPlusInf ? 2 : 1;
    mi.col_bound_class[k] = cls;
    if (col.type == 0) {
      int sign;
      if (lo == kMinusInf) sign = up != kPlusInf && up != kMinusInf ? 1 : 0;
      else if (lo == 0) sign = 2;
      else sign = up == 0 ? 1 : 0;
      mi.col_sos[k] = sign;
      ++mi.sign_class_count[static_cast<std::size_t>(sign)];
    }
  }
  if (!f->ReadDone() || !f->AtEnd())
    return ReportBadData(what, c.NameMatrixFile, f->error().empty() ? "data beyond the last column" : f->error());
  f->CloseMod();
  return 0;
}

}  // namespace

std::int32_t JacStore::Add() {
  const std::int32_t k = ++count_;
  if (static_cast<std::size_t>(k >> kShift) >= blocks_.size())
    blocks_.push_back(std::make_unique<JacEntry[]>(std::size_t{1} << kShift));
  return k;
}

ModelInstance& Instance() {
  static ModelInstance instance;
  return instance;
}

SolutionValues& SolutionResults() {
  static SolutionValues values;
  return values;
}

void ResetRunResults() {
  RunState& run = Run();
  SetStatus(13, 13);
  run.ResUsed = run.ObjVal = 0;
  run.IterCount = run.ObjEst = kNa;
  SolutionValues& sv = SolutionResults();
  sv.header3 = sv.header6 = 0;
  sv.trailer.fill(kNa);
}

int read_model_instance() {
  RunState& run = Run();
  const ControlFile& c = run.ctrl;
  ModelInstance& mi = Instance();
  mi = ModelInstance{};
  ResetRunResults();

  const ScratchFormat fmt = DecodeScratchFormat(c.AlgFileType, c.ScaleOpt != 0, c.PriorityOpt != 0);
  mi.scales_unsupported = c.ScaleOpt != 0 && fmt.scale_mode == 0;
  const char* bad = c.NumRows < 0 ? "rows" : c.NumCols < 0 ? "columns" : c.NumInstr < 0 ? "instructions"
                                                              : c.NumConst < 0 ? "pool entries" : nullptr;
  if (bad != nullptr) {
    LogAndCopy(std::string("*** negative number of ") + bad + " in the control file");
    return kBadData;
  }
  const bool lvx = fmt.variant == 5;
  // The row and column arrays are sized by the control file; a matrix file too short for them
  // is refused before anything is allocated.
  if (!CanHold(c.NameMatrixFile, lvx, static_cast<std::uintmax_t>(c.NumRows) + 3u * static_cast<std::uintmax_t>(c.NumCols), 1))
    return ReportBadData("matrix file", c.NameMatrixFile,
                         "the file is too short for " + std::to_string(c.NumRows) + " rows and " +
                             std::to_string(c.NumCols) + " columns");
  const std::int32_t m = c.NumRows, n = c.NumCols;
  mi.m = m;
  mi.n = n;
  Allocate(mi.row_type, m);
  Allocate(mi.row_rhs, m);
  Allocate(mi.row_marginal, m);
  Allocate(mi.row_basis, m);
  Allocate(mi.row_match, m);
  if (c.ScaleOpt != 0) Allocate(mi.row_scale, m, 1.0);
  Allocate(mi.row_code_start, m);
  Allocate(mi.row_code_end, m);
  Allocate(mi.row_count, m);
  Allocate(mi.row_head, m);
  Allocate(mi.row_tail, m);
  Allocate(mi.row_nl_head, m);
  Allocate(mi.row_nl_tail, m);
  Allocate(mi.col_type, n);
  Allocate(mi.col_lower, n);
  Allocate(mi.col_level, n);
  Allocate(mi.col_upper, n);
  Allocate(mi.col_marginal, n);
  Allocate(mi.col_basis, n);
  Allocate(mi.col_bound_class, n);
  Allocate(mi.col_sos, n);
  Allocate(mi.col_priority, n, 1.0);
  if (c.ScaleOpt != 0) Allocate(mi.col_scale, n, 1.0);
  Allocate(mi.col_head, n);
  Allocate(mi.col_tail, n);

  if (c.NumInstr > 0) {
    const int rc = ReadInstructions(c, mi);
    if (rc != 0) return rc;
  }
  return ReadMatrix(c, mi);
}

}  // namespace qlink
