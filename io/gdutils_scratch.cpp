// The scratch file layer: the text variant, the block-binary variants 1-4 and the LVX variant
// (delegated to TScratchLvx), for reading and for writing.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "io/gdutils.h"
#include "io/scratchlvx.h"
#include "runtime/lvocommon.h"
#include "runtime/platform.h"

namespace qlink {

namespace {

constexpr std::size_t kBlockSize = 800;
constexpr std::size_t kBlocksPerRead = 1024;

void PutLE32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Opens a text file, retrying after 10, 100 and 1000 ms; a late success is reported.
std::FILE* TextFileOpenRetry(const std::string& name, bool writing, int* code) {
  static constexpr int kDelaysMs[] = {10, 100, 1000};
  std::FILE* f = std::fopen(name.c_str(), writing ? "wb" : "rb");
  if (f != nullptr) return f;
  *code = platform::LastErrorCode();
  for (int retry = 1; retry <= 3; ++retry) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kDelaysMs[retry - 1]));
    f = std::fopen(name.c_str(), writing ? "wb" : "rb");
    if (f != nullptr) {
      StdoutLine("*** Retry count succeeded in function TextFileOpenRetry");
      StdoutLine("*** Count = " + std::to_string(retry) + " Action = " + (writing ? "ReWrite" : "Reset") +
                 " IORes = " + std::to_string(*code) + " File = " + name);
      return f;
    }
    *code = platform::LastErrorCode();
  }
  return nullptr;
}

}  // namespace

ScratchFormat DecodeScratchFormat(int code, bool scaling_on, bool priority_on) {
  ScratchFormat f;
  f.code = code;
  const unsigned u = code < 0 ? 0u : static_cast<unsigned>(code);
  auto digit = [u](int k) {
    unsigned v = u;
    for (int i = 1; i < k; ++i) v /= 10;
    return static_cast<int>(v % 10);
  };
  f.variant = digit(1) > 5 ? 0 : digit(1);
  f.has_marginals = digit(2) != 0;
  f.has_row_extra = digit(3) != 0;
  f.scale_mode = digit(4);
  f.digit5 = digit(5);
  f.has_match = digit(6) != 0;
  f.has_scales = f.scale_mode == 2 || f.scale_mode == 3 || (f.scale_mode == 1 && scaling_on);
  f.has_priorities = f.scale_mode == 2 || f.scale_mode == 3 || priority_on;
  return f;
}

double MapSpecial(double x) {
  if (std::isnan(x)) return kUndf;
  if (std::isinf(x)) return x > 0 ? kPlusInf : kMinusInf;
  return x;
}

TScratchFile::~TScratchFile() {
  if (file_ != nullptr) std::fclose(file_);
}

int TScratchFile::OpenMod(const std::string& name, int code, bool scaling_on, bool priority_on,
                          bool writing, std::unique_ptr<TScratchFile>* out, bool instruction_file,
                          int lvx_labels) {
  std::unique_ptr<TScratchFile> f(new TScratchFile());
  f->fmt_ = DecodeScratchFormat(code, scaling_on, priority_on);
  f->name_ = name;
  f->writing_ = writing;
  const int v = f->fmt_.variant;
  if (v == 5) {
    if (writing && instruction_file) {
      StdoutLine("*** Cannot write LVX instruction scratch file with filetype 5");
      std::exit(1);
    }
    f->lvx_ = std::make_unique<TScratchLvx>();
    const int rc = writing ? f->lvx_->CreateForWriting(name, lvx_labels) : f->lvx_->CreateForReading(name);
    if (rc != 0) {
      StdoutLine("*** OpenMod for " + name + " failed: " + f->lvx_->message());
      return kOpenModLvxFailed;
    }
    *out = std::move(f);
    return 0;
  }
  int err = 0;
  // A directory opens for reading on some systems and then reads as an empty file.
  std::error_code dir_ec;
  if (!writing && std::filesystem::is_directory(name, dir_ec)) return EISDIR;
  if (v == 0) {
    f->file_ = TextFileOpenRetry(name, writing, &err);
  } else {
    f->file_ = std::fopen(name.c_str(), writing ? "wb" : "rb");
    if (f->file_ == nullptr) err = platform::LastErrorCode();
    if (v == 2) f->win_first_ = 4, f->win_last_ = 796;
    if (v == 3) f->win_first_ = 5, f->win_last_ = 795;
  }
  if (f->file_ == nullptr) return err != 0 ? err : 1;
  if (writing) {
    f->buf_.assign(v == 0 ? 1 << 16 : kBlockSize, 0);
    f->buf_pos_ = v == 0 ? 0 : static_cast<std::size_t>(f->win_first_);
  } else {
    // The first binary block is loaded on the first read.
    f->buf_.assign(kBlockSize * kBlocksPerRead, 0);
  }
  *out = std::move(f);
  return 0;
}

int TScratchFile::CloseMod() {
  int rc = 0;
  if (lvx_) {
    // The reader may have finished the file with ReadDone already.
    if (!lvx_->finished()) rc = writing_ ? lvx_->WriteDone() : lvx_->ReadDone();
    else if (!lvx_->message().empty()) rc = 1;
    if (!lvx_->message().empty()) StdoutLine("*** Problems in CloseMod: " + lvx_->message());
    lvx_.reset();
    return rc;
  }
  if (file_ == nullptr) return 0;
  if (writing_) {
    if (fmt_.variant == 0) {
      if (buf_pos_ > 0 && std::fwrite(buf_.data(), 1, buf_pos_, file_) != buf_pos_) rc = 1;
    } else if (buf_pos_ > static_cast<std::size_t>(win_first_) || !any_block_) {
      FlushBlock();
    }
    if (write_failed_) rc = 1;
  }
  if (std::fclose(file_) != 0) rc = rc == 0 ? 1 : rc;
  file_ = nullptr;
  return rc;
}

void TScratchFile::CloseAbandoned() {
  if (lvx_) {
    if (!lvx_->message().empty()) StdoutLine("*** Problems in CloseMod: " + lvx_->message());
    lvx_.reset();
  }
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool TScratchFile::Fail(const std::string& what) {
  if (error_.empty()) error_ = what;
  return false;
}

// ---------------------------------------------------------------------------------------------
// Binary reading: bytes of the data windows, across block boundaries.

bool TScratchFile::NextBlock() {
  if (!first_block_) blk_ += kBlockSize;
  first_block_ = false;
  if (blk_ >= buf_len_) {
    // Load further whole blocks; a short last block is completed with zero bytes.
    const std::size_t got = std::fread(buf_.data(), 1, buf_.size(), file_);
    if (got == 0) return false;
    const std::size_t whole = (got + kBlockSize - 1) / kBlockSize * kBlockSize;
    std::memset(buf_.data() + got, 0, whole - got);
    data_len_ = got;
    buf_len_ = whole;
    blk_ = 0;
  }
  buf_pos_ = blk_ + static_cast<std::size_t>(win_first_);
  wend_ = blk_ + static_cast<std::size_t>(win_last_);
  return true;
}

bool TScratchFile::GetBytes(void* out, std::size_t n) {
  auto* o = static_cast<unsigned char*>(out);
  while (n > 0) {
    if (buf_pos_ >= wend_ && !NextBlock()) {
      std::memset(o, 0, n);
      return Fail("unexpected end of file");
    }
    const std::size_t take = std::min(n, wend_ - buf_pos_);
    if (buf_pos_ + take > data_len_) {
      std::memset(o, 0, n);
      return Fail("unexpected end of file");
    }
    std::memcpy(o, buf_.data() + buf_pos_, take);
    o += take;
    n -= take;
    buf_pos_ += take;
  }
  return true;
}

bool TScratchFile::GetBinReal(double* v) {
  unsigned char b[8];
  if (!GetBytes(b, 8)) return false;
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | b[i];
  double x;
  std::memcpy(&x, &bits, 8);
  *v = MapSpecial(x);
  return true;
}

bool TScratchFile::GetCompact(int width, std::int32_t* v) {
  unsigned char b[4];
  switch (width) {
    case 0:
      if (!GetBytes(b, 1)) return false;
      *v = static_cast<std::int8_t>(b[0]);
      return true;
    case 1:
      if (!GetBytes(b, 2)) return false;
      *v = static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] | b[1] << 8));
      return true;
    case 2:
      if (!GetBytes(b, 4)) return false;
      *v = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                                     static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
      return true;
    default:
      return Fail("width code " + std::to_string(width) + " of a compact integer");
  }
}

bool TScratchFile::GetValueCode(int code, double* v) {
  switch (code) {
    case 0: *v = 0; return true;
    case 1: *v = 1; return true;
    case 2: *v = -1; return true;
    default: return GetBinReal(v);
  }
}

// ---------------------------------------------------------------------------------------------
// Text reading: whitespace-separated numbers; a word starting with '$' marks a header line,
// which is skipped whole.

int TScratchFile::TextChar() {
  if (buf_pos_ >= buf_len_) {
    buf_len_ = std::fread(buf_.data(), 1, buf_.size(), file_);
    buf_pos_ = 0;
    if (buf_len_ == 0) return EOF;
  }
  return buf_[buf_pos_++];
}

bool TScratchFile::NextToken(std::string_view* tok) {
  for (;;) {
    int c = TextChar();
    while (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
      if (c == '\n') ++line_;
      c = TextChar();
    }
    if (c == EOF) return Fail("unexpected end of file in line " + std::to_string(line_));
    if (c == '$') {
      while (c != EOF && c != '\n') c = TextChar();
      if (c == '\n') ++line_;
      continue;
    }
    token_.clear();
    while (c != EOF && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f' && c != '\v') {
      if (token_.size() < 64) token_ += static_cast<char>(c);
      else return Fail("overlong word in line " + std::to_string(line_));
      c = TextChar();
    }
    if (c == '\n') --buf_pos_;  // the line end is the next line's business (skip line)
    *tok = token_;
    return true;
  }
}

bool TScratchFile::TextInt(std::int32_t* v) {
  std::string_view t;
  if (!NextToken(&t)) return false;
  const auto r = std::from_chars(t.data(), t.data() + t.size(), *v);
  if (r.ec != std::errc() || r.ptr != t.data() + t.size())
    return Fail("bad integer \"" + std::string(t) + "\" in line " + std::to_string(line_));
  return true;
}

bool TScratchFile::TextReal(double* v) {
  std::string_view t;
  if (!NextToken(&t)) return false;
  const char* b = t.data();
  if (!t.empty() && *b == '+') ++b;
  const auto r = std::from_chars(b, t.data() + t.size(), *v);
  if (r.ec == std::errc::result_out_of_range && r.ptr == t.data() + t.size()) {
    *v = std::strtod(std::string(t).c_str(), nullptr);
  } else if (r.ec != std::errc() || r.ptr != t.data() + t.size()) {
    return Fail("bad number \"" + std::string(t) + "\" in line " + std::to_string(line_));
  }
  *v = MapSpecial(*v);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Reading operations.

bool TScratchFile::SkipLine() {
  if (!error_.empty()) return false;
  if (fmt_.variant != 0) return true;
  for (int c = TextChar(); c != EOF; c = TextChar())
    if (c == '\n') {
      ++line_;
      return true;
    }
  return true;
}

bool TScratchFile::ReadInstr(std::uint8_t* opcode, std::int32_t* operand) {
  if (!error_.empty()) return false;
  if (lvx_) return lvx_->ReadNLInstr(opcode, operand) == 0 || Fail(lvx_->message());
  if (fmt_.variant == 0) {
    std::int32_t op = 0;
    if (!TextInt(&op) || !TextInt(operand)) return false;
    if (op < 0 || op > 255) return Fail("opcode " + std::to_string(op) + " in line " + std::to_string(line_));
    *opcode = static_cast<std::uint8_t>(op);
    return true;
  }
  std::uint8_t width = 0;
  return GetByte(opcode) && GetByte(&width) && GetCompact(width, operand);
}

bool TScratchFile::ReadInt(std::int32_t* v) {
  if (!error_.empty()) return false;
  // An LVX file has no free-standing integers (its pool count comes with ReadPoolCount).
  if (lvx_) return Fail("ReadInt: no such item in an LVX file");
  if (fmt_.variant == 0) return TextInt(v);
  return GetCompact(2, v);
}

bool TScratchFile::ReadReal(double* v) {
  if (!error_.empty()) return false;
  if (lvx_) return lvx_->ReadConstPool(v) == 0 || Fail(lvx_->message());
  if (fmt_.variant == 0) return TextReal(v);
  return GetBinReal(v);
}

bool TScratchFile::ReadPoolCount(std::int32_t* count) {
  if (!error_.empty()) return false;
  if (lvx_) return lvx_->PoolCount(count) == 0 || Fail(lvx_->message());
  return ReadInt(count);
}

bool TScratchFile::ReadMatrixHeader() {
  if (!error_.empty()) return false;
  if (lvx_) return true;
  if (fmt_.variant == 0) return SkipLine();
  double ignored;
  for (int i = 0; i < 5; ++i)
    if (!GetBinReal(&ignored)) return false;
  return true;
}

bool TScratchFile::ReadRow(ScratchRow* r) {
  if (!error_.empty()) return false;
  *r = ScratchRow{};
  if (lvx_) return lvx_->ReadRow(r) == 0 || Fail(lvx_->message());
  if (fmt_.variant == 0) {
    std::int32_t basis = 0, extra = 0;
    if (!TextInt(&r->type) || !TextReal(&r->rhs) || !TextInt(&basis) || !TextReal(&r->level)) return false;
    r->basis = basis != 0;
    if (fmt_.has_marginals && !TextReal(&r->marginal)) return false;
    if (fmt_.has_row_extra && !TextInt(&extra)) return false;
    if (fmt_.has_scales && !TextReal(&r->scale)) return false;
    if (fmt_.has_match && !TextInt(&r->match)) return false;
    return true;
  }
  std::uint8_t f = 0;
  if (!GetByte(&f)) return false;
  r->type = (f & 0x80) ? (f & 3) + 4 : (f & 3);
  r->basis = (f >> 2) & 1;
  if (!GetValueCode((f >> 3) & 3, &r->rhs)) return false;
  if ((f & 0x20) && !GetBinReal(&r->level)) return false;
  if (fmt_.has_marginals && r->basis == 1 && !GetBinReal(&r->marginal)) return false;
  if ((f & 0x40) && !GetBinReal(&r->scale)) return false;
  if (fmt_.has_row_extra || fmt_.has_match) {
    std::uint8_t g = 0;
    std::int32_t extra = 0;
    if (!GetByte(&g)) return false;
    const int extra_code = g & 3;
    if (extra_code != 0 && !GetCompact(extra_code - 1, &extra)) return false;
    const int match_code = (g >> 2) & 3;
    if (match_code == 1) r->match = -1;
    if (match_code == 3 && !GetCompact(2, &r->match)) return false;
  }
  return true;
}

bool TScratchFile::ReadColumn(ScratchColumn* c) {
  if (!error_.empty()) return false;
  *c = ScratchColumn{};
  if (lvx_) return lvx_->ReadColumn(c) == 0 || Fail(lvx_->message());
  if (fmt_.variant == 0) {
    std::int32_t basis = 0;
    if (!TextInt(&c->count) || !TextReal(&c->lower) || !TextReal(&c->level) || !TextReal(&c->upper) ||
        !TextInt(&basis) || !TextInt(&c->type) || !TextInt(&c->sos))
      return false;
    c->basis = basis != 0;
    if (fmt_.has_marginals) {
      if (!TextReal(&c->marginal)) return false;
      if (c->basis == 0) c->marginal = 0;
    }
    if (fmt_.has_scales && !TextReal(&c->scale)) return false;
    if (c->type != 0 && fmt_.has_priorities && !TextReal(&c->priority)) return false;
    return true;
  }
  std::uint8_t b1 = 0, b2 = 0, type = 0;
  if (!GetByte(&b1) || !GetByte(&b2) || !GetByte(&type)) return false;
  c->type = type;
  c->basis = (b2 >> 6) & 1;
  const int lower_code = (b1 >> 4) & 7, upper_code = b2 & 7;
  if (!GetCompact((b1 >> 2) & 3, &c->count)) return false;
  switch (lower_code) {
    case 0: c->lower = 0; break;
    case 1: c->lower = 1; break;
    case 2: c->lower = -1; break;
    case 3: c->lower = kMinusInf; break;
    case 4: break;
    case 7: if (!GetBinReal(&c->lower)) return false; break;
    default: return Fail("lower bound code " + std::to_string(lower_code) + " of a column");
  }
  if ((b2 & 0x20) && !GetBinReal(&c->level)) return false;
  switch (upper_code) {
    case 0: c->upper = 0; break;
    case 1: c->upper = 1; break;
    case 2: c->upper = -1; break;
    case 3: c->upper = kPlusInf; break;
    case 4: if (!GetBinReal(&c->upper)) return false; break;
    default: return Fail("upper bound code " + std::to_string(upper_code) + " of a column");
  }
  if (!GetCompact((b2 >> 3) & 3, &c->sos)) return false;
  if (fmt_.has_priorities && c->type != 0 && !GetBinReal(&c->priority)) return false;
  if (fmt_.has_marginals && c->basis == 1 && !GetBinReal(&c->marginal)) return false;
  if (fmt_.has_scales && !GetBinReal(&c->scale)) return false;
  if (lower_code == 4) c->lower = c->upper;
  if ((b1 & 3) == 1) c->level = c->lower;
  if ((b1 & 3) == 2) c->level = c->upper;
  return true;
}

bool TScratchFile::ReadJac(std::int32_t* row, double* value, bool* nonlinear) {
  if (!error_.empty()) return false;
  if (lvx_) return lvx_->ReadJac(row, value, nonlinear) == 0 || Fail(lvx_->message());
  if (fmt_.variant == 0) {
    std::int32_t nl = 0;
    if (!TextInt(row) || !TextReal(value) || !TextInt(&nl)) return false;
    *nonlinear = nl != 0;
    return true;
  }
  std::uint8_t d = 0;
  if (!GetByte(&d) || !GetCompact(d & 3, row)) return false;
  *nonlinear = (d >> 4) & 1;
  return GetValueCode((d >> 2) & 3, value);
}

bool TScratchFile::ReadDone() {
  if (lvx_) return lvx_->ReadDone() == 0 || Fail(lvx_->message());
  return error_.empty();
}

bool TScratchFile::AtEnd() {
  if (lvx_ || !error_.empty()) return true;
  if (fmt_.variant == 0) {
    for (int c = TextChar(); c != EOF; c = TextChar()) {
      if (c == '$') {
        while (c != EOF && c != '\n') c = TextChar();
        if (c == EOF) break;
      } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f' && c != '\v') {
        return false;
      }
    }
    return true;
  }
  for (;;) {
    if (buf_pos_ >= wend_ && !NextBlock()) return true;
    if (buf_pos_ >= data_len_) return true;
    if (buf_[buf_pos_] != 0) return false;
    ++buf_pos_;
  }
}

// ---------------------------------------------------------------------------------------------
// Writing.

void TScratchFile::PutText(const char* s, std::size_t n) {
  if (buf_pos_ + n > buf_.size()) {
    if (std::fwrite(buf_.data(), 1, buf_pos_, file_) != buf_pos_) write_failed_ = true;
    buf_pos_ = 0;
  }
  std::memcpy(buf_.data() + buf_pos_, s, n);
  buf_pos_ += n;
}

void TScratchFile::PutNumber(double v) {
  char b[kNumberBufferSize];
  PutText(b, static_cast<std::size_t>(FormatNumberTo(b, v) - b));
}

void TScratchFile::PutInt(long long v) {
  char b[24];
  PutText(b, static_cast<std::size_t>(std::to_chars(b, b + sizeof b, v).ptr - b));
}

void TScratchFile::FlushBlock() {
  unsigned char* b = buf_.data();
  std::memset(b + buf_pos_, 0, static_cast<std::size_t>(win_last_) - buf_pos_);
  if (fmt_.variant == 2) {
    PutLE32(b, 792);
    PutLE32(b + 796, 792);
  } else if (fmt_.variant == 3) {
    b[0] = 255;
    PutLE32(b + 1, 790);
    PutLE32(b + 795, 790);
    b[799] = 255;
  }
  if (std::fwrite(b, 1, kBlockSize, file_) != kBlockSize) write_failed_ = true;
  buf_pos_ = static_cast<std::size_t>(win_first_);
  any_block_ = true;
}

void TScratchFile::PutBytes(const void* data, std::size_t n) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const std::size_t take = std::min(n, static_cast<std::size_t>(win_last_) - buf_pos_);
    std::memcpy(buf_.data() + buf_pos_, p, take);
    buf_pos_ += take;
    p += take;
    n -= take;
    if (buf_pos_ == static_cast<std::size_t>(win_last_)) FlushBlock();
  }
}

void TScratchFile::PutBinReal(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  unsigned char b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(bits >> (8 * i));
  PutBytes(b, 8);
}

void TScratchFile::WriteCodeHeader() {
  if (fmt_.variant == 0) PutText("$NL CODE\n", 9);
}

void TScratchFile::WriteInstr(std::uint8_t opcode, std::int32_t operand) {
  if (fmt_.variant == 0) {
    char b[32];
    char* e = std::to_chars(b, b + 8, static_cast<int>(opcode)).ptr;
    *e++ = ' ';
    e = std::to_chars(e, b + sizeof b, operand).ptr;
    *e++ = '\n';
    PutText(b, static_cast<std::size_t>(e - b));
    return;
  }
  // The narrowest width that holds the operand.
  unsigned char b[6] = {opcode, 0, 0, 0, 0, 0};
  std::size_t n;
  const auto u = static_cast<std::uint32_t>(operand);
  if (operand >= -128 && operand < 127) {
    b[1] = 0, b[2] = static_cast<unsigned char>(u), n = 3;
  } else if (operand >= -32768 && operand <= 32766) {
    b[1] = 1, b[2] = static_cast<unsigned char>(u), b[3] = static_cast<unsigned char>(u >> 8), n = 4;
  } else {
    b[1] = 2, PutLE32(b + 2, u), n = 6;
  }
  PutBytes(b, n);
}

void TScratchFile::WriteRelocHeader() {
  if (fmt_.variant == 0) PutText("$VARIABLE RELOCATION TABLE\n", 27);
}

void TScratchFile::WritePoolHeader(std::int32_t count) {
  if (fmt_.variant == 0) {
    PutText("0\n$CONSTANT POOL\n", 17);
    PutInt(count);
    PutText("\n", 1);
    return;
  }
  unsigned char b[8];
  PutLE32(b, 0);
  PutLE32(b + 4, static_cast<std::uint32_t>(count));
  PutBytes(b, 8);
}

void TScratchFile::WriteReal(double v) {
  if (fmt_.variant == 0) {
    PutNumber(v);
    PutText("\n", 1);
  } else {
    PutBinReal(v);
  }
}

void TScratchFile::WriteHeaderValue(int index, double v) {
  if (lvx_) {
    lvx_->WriteHeader(index, v);
    return;
  }
  if (fmt_.variant == 0) {
    PutInt(index);
    PutText(" ", 1);
    PutNumber(v);
    PutText("\n", 1);
    return;
  }
  const auto b = static_cast<unsigned char>(index);
  PutBytes(&b, 1);
  PutBinReal(v);
}

void TScratchFile::WriteSolRecord(int status, int bstat, double level, double marginal) {
  // Text records carry a scale field only in scale mode 3; elsewhere a plain record is a scaled
  // one with the scale 1, which the binary and LVX layouts leave out.
  if (fmt_.variant == 0 && !lvx_ && fmt_.scale_mode != 3) {
    PutTextSolFields(status, bstat, level, marginal);
    PutText("\n", 1);
    return;
  }
  WriteScaledSolRecord(status, bstat, level, marginal, 1);
}

void TScratchFile::PutTextSolFields(int status, int bstat, double level, double marginal) {
  PutNumber(level);
  PutText(" ", 1);
  PutNumber(marginal);
  PutText(" ", 1);
  PutInt(bstat);
  PutText(" ", 1);
  PutInt(status);
}

void TScratchFile::WriteScaledSolRecord(int status, int bstat, double level, double marginal, double scale) {
  if (lvx_) {
    if (in_columns_) lvx_->WriteColumnSol(status, bstat, level, marginal, scale);
    else lvx_->WriteRowSol(status, bstat, level, marginal, scale);
    return;
  }
  if (fmt_.variant == 0) {
    PutTextSolFields(status, bstat, level, marginal);
    PutText(" ", 1);
    PutNumber(scale);
    PutText("\n", 1);
    return;
  }
  const bool with_scale = scale != 1;
  const auto f = static_cast<unsigned char>((status & 3) + 4 * (bstat & 3) + (level == 0 ? 16 : 0) +
                                            (marginal == 0 ? 32 : 0) + (with_scale ? 0 : 64));
  PutBytes(&f, 1);
  if (level != 0) PutBinReal(level);
  if (marginal != 0) PutBinReal(marginal);
  if (with_scale) PutBinReal(scale);
}

void TScratchFile::SwitchToColumns() { in_columns_ = true; }

}  // namespace qlink
