#include "outside/luvo/instwriter.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "outside/lvx/lvxfile.h"

namespace luvo {

namespace {

struct Digits {
  int variant, marginals, extra, scale_mode, match;
  bool scales, priorities;
};

Digits Decode(int code, bool scaling_on, bool priority_on) {
  Digits d{};
  d.variant = code % 10 > 5 ? 0 : code % 10;
  d.marginals = code / 10 % 10;
  d.extra = code / 100 % 10;
  d.scale_mode = code / 1000 % 10;
  d.match = code / 100000 % 10;
  d.scales = d.scale_mode == 2 || d.scale_mode == 3 || (d.scale_mode == 1 && scaling_on);
  d.priorities = d.scale_mode == 2 || d.scale_mode == 3 || priority_on;
  return d;
}

// Output in the text or block-binary layout.
class Out {
 public:
  Out(int variant) : variant_(variant) {
    if (variant == 2) first_ = 4, last_ = 796;
    if (variant == 3) first_ = 5, last_ = 795;
    pos_ = first_;
  }
  bool Open(const std::string& path, std::string* error) {
    f_ = std::fopen(path.c_str(), "wb");
    if (f_ == nullptr) *error = "cannot write " + path + ": " + std::strerror(errno);
    return f_ != nullptr;
  }
  bool Close(std::string* error) {
    if (variant_ != 0 && (pos_ > first_ || !blocks_)) Block();
    const bool ok = !failed_ && std::fclose(f_) == 0;
    if (!ok) *error = "write failed";
    return ok;
  }
  // Text.
  Out& Word(const std::string& w) {
    if (!line_start_) Put(" ", 1);
    Put(w.data(), w.size());
    line_start_ = false;
    return *this;
  }
  Out& Int(long long v) { return Word(std::to_string(v)); }
  Out& Real(double v) {
    char b[40];
    return Word(std::string(b, std::to_chars(b, b + sizeof b, v).ptr));
  }
  void End() {
    Put("\n", 1);
    line_start_ = true;
  }
  // Binary.
  void Bytes(const void* data, std::size_t n) {
    if (variant_ == 0) return Put(data, n);
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) {
      block_[pos_++] = p[i];
      if (pos_ == last_) Block();
    }
  }
  void Byte(int b) {
    const auto c = static_cast<unsigned char>(b);
    Bytes(&c, 1);
  }
  void I32(std::int32_t v) {
    unsigned char b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(v) >> (8 * i));
    Bytes(b, 4);
  }
  void F64(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    unsigned char b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(u >> (8 * i));
    Bytes(b, 8);
  }
  // A compact integer of width code w.
  void Compact(int w, std::int32_t v) {
    if (w == 0) Byte(v & 0xFF);
    else if (w == 1) Byte(v & 0xFF), Byte((v >> 8) & 0xFF);
    else I32(v);
  }

 private:
  void Put(const void* data, std::size_t n) {
    if (std::fwrite(data, 1, n, f_) != n) failed_ = true;
  }
  void Block() {
    std::memset(block_ + pos_, 0, last_ - pos_);
    auto le = [](unsigned char* p, std::uint32_t v) {
      for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
    };
    if (variant_ == 2) le(block_, 792), le(block_ + 796, 792);
    if (variant_ == 3) block_[0] = 255, le(block_ + 1, 790), le(block_ + 795, 790), block_[799] = 255;
    Put(block_, 800);
    pos_ = first_;
    blocks_ = true;
  }
  int variant_;
  std::FILE* f_ = nullptr;
  bool failed_ = false, line_start_ = true, blocks_ = false;
  unsigned char block_[800] = {};
  std::size_t first_ = 0, last_ = 800, pos_ = 0;
};

int WidthOf(std::int32_t v) { return v >= -128 && v <= 127 ? 0 : v >= -32768 && v <= 32767 ? 1 : 2; }
int ValueCode(double v) { return v == 0 ? 0 : v == 1 ? 1 : v == -1 ? 2 : 3; }

// LVX: every key is a label number, so labels "1" ... "count" are registered first.
bool LvxOpen(qlink::lvxlib::LvxFile& f, const std::string& path, int labels, std::string* error) {
  int err = 0;
  if (!f.OpenWrite(path.c_str(), "LUVO", true, &err)) {
    *error = "cannot write " + path + ": " + f.ErrorText(err);
    return false;
  }
  f.LabelRegisterRawStart();
  for (int i = 1; i <= labels; ++i) f.LabelRegisterRaw(std::to_string(i).c_str());
  f.LabelRegisterDone();
  return true;
}

bool LvxClose(qlink::lvxlib::LvxFile& f, std::string* error) {
  const int errors = f.ErrorCount();
  const std::string text = errors ? f.ErrorText(f.LastError()) : "";
  if (f.Close() != 0 || errors != 0) {
    *error = "LVX writing failed: " + text;
    return false;
  }
  return true;
}

void LvxPut(qlink::lvxlib::LvxFile& f, std::initializer_list<int> keys, double v) {
  int k[qlink::lvxlib::kMaxDim] = {};
  int n = 0;
  for (int x : keys) k[n++] = x;
  const double vals[5] = {v, 0, 0, 0, 0};
  f.DataWriteRaw(k, vals);
}

bool WriteMatrixLvx(const std::string& path, const ModelSpec& model, std::string* error) {
  const int m = static_cast<int>(model.rows.size()), n = static_cast<int>(model.cols.size());
  bool any_nl = false;
  for (const ColSpec& c : model.cols)
    for (const EntrySpec& e : c.entries) any_nl |= e.nonlinear;
  qlink::lvxlib::LvxFile f;
  if (!LvxOpen(f, path, std::max({m + 32, n, 10}), error)) return false;
  f.DataWriteRawStart("equation", "", 2, 1, 0);
  for (int i = 1; i <= m; ++i) {
    const RowSpec& r = model.rows[static_cast<std::size_t>(i - 1)];
    LvxPut(f, {i, 1}, r.type);
    if (r.rhs != 0) LvxPut(f, {i, 2}, r.rhs);
    if (r.level != 0) LvxPut(f, {i, 3}, r.level);
    if (r.marginal != 0) LvxPut(f, {i, 4}, r.marginal);
    if (r.scale != 1) LvxPut(f, {i, 5}, r.scale);
    if (r.match != 0) LvxPut(f, {i, 6}, r.match);
    if (r.basis != 0) LvxPut(f, {i, 7}, r.basis);
  }
  f.DataWriteDone();
  f.DataWriteRawStart("variable", "", any_nl ? 3 : 2, 1, 0);
  for (int j = 1; j <= n; ++j) {
    const ColSpec& c = model.cols[static_cast<std::size_t>(j - 1)];
    auto put = [&](int attr, double v) {
      if (any_nl) LvxPut(f, {j, attr, 1}, v);
      else LvxPut(f, {j, attr}, v);
    };
    put(1, c.type);
    if (c.lower != 0) put(2, c.lower);
    if (c.level != 0) put(3, c.level);
    if (c.upper != (c.type == 1 ? 1.0 : kPlusInf)) put(4, c.upper);
    if (c.sos != 0) put(5, c.sos);
    if (c.priority != 1) put(6, c.priority);
    if (c.marginal != 0) put(7, c.marginal);
    if (c.scale != 1) put(8, c.scale);
    if (!c.entries.empty()) put(9, static_cast<double>(c.entries.size()));
    if (c.basis != 0) put(10, c.basis);
    std::vector<EntrySpec> sorted = c.entries;
    std::stable_sort(sorted.begin(), sorted.end(), [](const EntrySpec& a, const EntrySpec& b) { return a.row < b.row; });
    for (const EntrySpec& e : sorted) {
      if (any_nl) LvxPut(f, {j, e.row + 32, e.nonlinear ? 2 : 1}, e.value);
      else LvxPut(f, {j, e.row + 32}, e.value);
    }
  }
  f.DataWriteDone();
  return LvxClose(f, error);
}

bool WriteInstructionLvx(const std::string& path, const ModelSpec& model, std::string* error) {
  int labels = static_cast<int>(std::max(model.code.size(), model.pool.size()));
  for (const InstrSpec& in : model.code) labels = std::max({labels, in.opcode, in.operand + 1});
  qlink::lvxlib::LvxFile f;
  if (!LvxOpen(f, path, labels, error)) return false;
  f.DataWriteRawStart("solve", "", 4, 1, 0);
  for (std::size_t k = 0; k < model.code.size(); ++k)
    LvxPut(f, {static_cast<int>(k + 1), 1, model.code[k].opcode, model.code[k].operand + 1}, 0);
  f.DataWriteDone();
  f.DataWriteRawStart("scalar", "", 1, 1, 0);
  for (std::size_t k = 0; k < model.pool.size(); ++k) LvxPut(f, {static_cast<int>(k + 1)}, model.pool[k]);
  f.DataWriteDone();
  return LvxClose(f, error);
}

}  // namespace

bool WriteMatrixFile(const std::string& path, const ModelSpec& model, int format_code, bool scaling_on,
                     bool priority_on, std::string* error) {
  const Digits d = Decode(format_code, scaling_on, priority_on);
  if (d.variant == 5) return WriteMatrixLvx(path, model, error);
  Out o(d.variant);
  if (!o.Open(path, error)) return false;
  const bool text = d.variant == 0;
  if (text) {
    o.Word("* LUVO matrix file").End();
  } else {
    for (int k = 0; k < 5; ++k) o.F64(0);
  }
  for (const RowSpec& r : model.rows) {
    if (text) {
      o.Int(r.type).Real(r.rhs).Int(r.basis).Real(r.level);
      if (d.marginals) o.Real(r.marginal);
      if (d.extra) o.Int(r.extra);
      if (d.scales) o.Real(r.scale);
      if (d.match) o.Int(r.match);
      o.End();
      continue;
    }
    const bool scale = d.scales && r.scale != 1;
    int f = r.type >= 4 ? 0x80 | (r.type - 4) : r.type;
    f |= (r.basis != 0) << 2 | ValueCode(r.rhs) << 3 | (r.level != 0) << 5 | scale << 6;
    o.Byte(f);
    if (ValueCode(r.rhs) == 3) o.F64(r.rhs);
    if (r.level != 0) o.F64(r.level);
    if (d.marginals && r.basis != 0) o.F64(r.marginal);
    if (scale) o.F64(r.scale);
    if (d.extra || d.match) {
      const int ew = r.extra == 0 || !d.extra ? 0 : WidthOf(r.extra) + 1;
      const int mc = r.match == 0 || !d.match ? 0 : r.match == -1 ? 1 : 3;
      o.Byte(ew | mc << 2);
      if (ew) o.Compact(ew - 1, r.extra);
      if (mc == 3) o.I32(r.match);
    }
  }
  for (const ColSpec& c : model.cols) {
    const auto count = static_cast<std::int32_t>(c.entries.size());
    if (text) {
      o.Int(count).Real(c.lower).Real(c.level).Real(c.upper).Int(c.basis).Int(c.type).Int(c.sos);
      if (d.marginals) o.Real(c.marginal);
      if (d.scales) o.Real(c.scale);
      o.End();
      if (c.type != 0 && d.priorities) o.Real(c.priority).End();
    } else {
      const int lc = c.lower == 0 ? 0 : c.lower == 1 ? 1 : c.lower == -1 ? 2 : c.lower == kMinusInf ? 3
                                                                              : c.lower == c.upper ? 4 : 7;
      const int uc = c.upper == 0 ? 0 : c.upper == 1 ? 1 : c.upper == -1 ? 2 : c.upper == kPlusInf ? 3 : 4;
      const int rule = c.level == c.lower ? 1 : c.level == c.upper ? 2 : 0;
      const bool level_real = rule == 0 && c.level != 0;
      o.Byte(rule | WidthOf(count) << 2 | lc << 4);
      o.Byte(uc | WidthOf(c.sos) << 3 | level_real << 5 | (c.basis != 0) << 6);
      o.Byte(c.type);
      o.Compact(WidthOf(count), count);
      if (lc == 7) o.F64(c.lower);
      if (level_real) o.F64(c.level);
      if (uc == 4) o.F64(c.upper);
      o.Compact(WidthOf(c.sos), c.sos);
      if (d.priorities && c.type != 0) o.F64(c.priority);
      if (d.marginals && c.basis != 0) o.F64(c.marginal);
      if (d.scales) o.F64(c.scale);
    }
    for (const EntrySpec& e : c.entries) {
      if (text) {
        o.Int(e.row).Real(e.value).Int(e.nonlinear).End();
        continue;
      }
      const int vc = ValueCode(e.value);
      o.Byte(WidthOf(e.row) | vc << 2 | e.nonlinear << 4);
      o.Compact(WidthOf(e.row), e.row);
      if (vc == 3) o.F64(e.value);
    }
  }
  return o.Close(error);
}

bool WriteInstructionFile(const std::string& path, const ModelSpec& model, int format_code, std::string* error) {
  const Digits d = Decode(format_code, false, false);
  if (d.variant == 5) return WriteInstructionLvx(path, model, error);
  Out o(d.variant);
  if (!o.Open(path, error)) return false;
  const bool text = d.variant == 0;
  if (text) o.Word("$NL CODE").End();
  for (const InstrSpec& in : model.code) {
    if (text) {
      o.Int(in.opcode).Int(in.operand).End();
    } else {
      o.Byte(in.opcode);
      o.Byte(WidthOf(in.operand));
      o.Compact(WidthOf(in.operand), in.operand);
    }
  }
  const auto count = static_cast<std::int32_t>(model.pool.size());
  if (text) {
    o.Word("$VARIABLE RELOCATION TABLE").End();
    o.Int(0).End();
    o.Word("$CONSTANT POOL").End();
    o.Int(count).End();
  } else {
    o.I32(0);
    o.I32(count);
  }
  for (double v : model.pool) {
    if (text) o.Real(v).End();
    else o.F64(v);
  }
  return o.Close(error);
}

void DescribeModel(const ModelSpec& model, ControlSpec* spec) {
  spec->num_rows = static_cast<int>(model.rows.size());
  spec->num_cols = static_cast<int>(model.cols.size());
  spec->equ_type_count.fill(0);
  spec->var_type_count.fill(0);
  spec->fixed_type_count.fill(0);
  spec->num_nonzeros = spec->num_nl_nonzeros = 0;
  for (const RowSpec& r : model.rows)
    if (r.type >= 0 && r.type < 7) ++spec->equ_type_count[static_cast<std::size_t>(r.type)];
  for (const ColSpec& c : model.cols) {
    if (c.type >= 0 && c.type < 7) {
      ++spec->var_type_count[static_cast<std::size_t>(c.type)];
      if (c.lower == c.upper) ++spec->fixed_type_count[static_cast<std::size_t>(c.type)];
    }
    for (const EntrySpec& e : c.entries) {
      ++spec->num_nonzeros;
      spec->num_nl_nonzeros += e.nonlinear;
    }
  }
  spec->num_instr = static_cast<int>(model.code.size());
  spec->num_const = static_cast<int>(model.pool.size());
}

bool WriteInstance(const ControlSpec& spec, const ModelSpec& model, std::string* error) {
  if (!model.code.empty() && !WriteInstructionFile(spec.instr_file, model, spec.alg_file_type, error)) return false;
  return WriteMatrixFile(spec.matrix_file, model, spec.alg_file_type, spec.scale_opt != 0, spec.priority_opt != 0,
                         error);
}

}  // namespace luvo
