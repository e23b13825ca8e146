// Reading and writing LVX files (format in FORMAT.md). Reading is streamed through fixed
// buffers and trusts nothing in the file: every count and length is checked against the file's
// real size or against the bytes actually present before it is used.
#include "outside/lvx/lvxfile.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

namespace qlink::lvxlib {

namespace {

constexpr unsigned char kMagic[8] = {'Q', 'L', 'V', 'X', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr unsigned char kTagLabels = 'L';
constexpr unsigned char kTagSymbol = 'S';
constexpr unsigned char kTagEnd = 'E';

// Value tags of the record data.
constexpr unsigned char kValZero = 0;
constexpr unsigned char kValDouble = 1;
constexpr unsigned char kValSpecial = 2;  // 2 ... 6: UNDF, NA, +INF, -INF, EPS

// Longest encoded record: position byte, 20 keys of at most 5 bytes, 5 tagged doubles.
constexpr std::size_t kMaxRecordBytes = 1 + kMaxDim * 5 + kValueCount * 9;
constexpr std::size_t kInBufSize = 1 << 16;
constexpr std::size_t kOutBufSize = 1 << 18;

// Symbols of this kind store all five values; the others store the level only.
int StoredValues(int kind) { return kind >= 2 ? kValueCount : 1; }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::uint32_t GetU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t GetU64(const unsigned char* p) {
  return static_cast<std::uint64_t>(GetU32(p)) | static_cast<std::uint64_t>(GetU32(p + 4)) << 32;
}

unsigned char* PutU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) *p++ = static_cast<unsigned char>(v >> (8 * i));
  return p;
}

unsigned char* PutU64(unsigned char* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) *p++ = static_cast<unsigned char>(v >> (8 * i));
  return p;
}

std::string SystemText(int code) { return std::strerror(code); }

}  // namespace

std::string ErrorCodeText(int code) {
  if (code > 0) return SystemText(code);
  switch (code) {
    case kOk: return "No error";
    case kErrNotLvx: return "File is not an LVX file";
    case kErrVersion: return "LVX format version not supported";
    case kErrCorrupt: return "LVX file is corrupt";
    case kErrTruncated: return "LVX file is truncated";
    case kErrBadRecord: return "LVX record data is corrupt";
    case kErrState: return "Operation not allowed in the current state";
    case kErrArgument: return "Bad argument";
    case kErrUnsorted: return "Records not in ascending key order";
    case kErrBadKey: return "Key is not a registered label";
    case kErrDuplicateSymbol: return "Duplicate symbol name";
    case kErrDuplicateLabel: return "Duplicate label";
    case kErrCompression: return "Compression error";
    case kErrWrite: return "Error writing LVX file";
    default: return "Unknown error " + std::to_string(code);
  }
}

LvxFile::LvxFile() { std::copy(kSystemSpecials, kSystemSpecials + kSpecialCount, read_specials_); }

LvxFile::~LvxFile() {
  if (mode_ != Mode::kClosed) Close();
  if (zs_active_) {
    if (mode_ == Mode::kWrite)
      deflateEnd(&zs_);
    else
      inflateEnd(&zs_);
  }
}

bool LvxFile::Fail(int code, std::string text) {
  ++error_count_;
  last_error_ = code;
  last_error_text_ = std::move(text);
  if (last_error_text_.size() > static_cast<std::size_t>(kMaxText)) last_error_text_.resize(kMaxText);
  return false;
}

std::string LvxFile::ErrorText(int code) const {
  if (code != 0 && code == last_error_ && !last_error_text_.empty()) return last_error_text_;
  return ErrorCodeText(code);
}

void LvxFile::ResetObject() {
  file_ = nullptr;
  file_name_.clear();
  producer_.clear();
  compressed_ = false;
  label_chars_.clear();
  label_ends_.clear();
  label_set_.clear();
  labels_written_ = 0;
  symbols_.clear();
  symbol_index_.clear();
  read_state_ = ReadState::kIdle;
  write_state_ = WriteState::kIdle;
  read_symbol_ = -1;
  io_failed_ = false;
  file_size_ = 0;
}

int LvxFile::AutoConvert(int value) {
  const int previous = auto_convert_;
  auto_convert_ = value;
  return previous;
}

void LvxFile::GetSpecialValues(double* values) const {
  std::copy(kSystemSpecials, kSystemSpecials + kSpecialCount, values);
}

bool LvxFile::SetReadSpecialValues(const double* values) {
  std::copy(values, values + kSpecialCount, read_specials_);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Reading

bool LvxFile::ReadExact(void* out, std::size_t n) {
  return std::fread(out, 1, n, file_) == n;
}

bool LvxFile::ReadShortString(std::string* out, int min_len, const char* what) {
  unsigned char len = 0;
  if (!ReadExact(&len, 1)) return Fail(kErrTruncated, std::string("LVX file ends inside ") + what);
  if (len < min_len) return Fail(kErrCorrupt, std::string("LVX file has an empty ") + what);
  out->resize(len);
  if (len > 0 && !ReadExact(out->data(), len))
    return Fail(kErrTruncated, std::string("LVX file ends inside ") + what);
  return true;
}

bool LvxFile::OpenRead(const char* file_name, int* err) {
  *err = 0;
  if (mode_ != Mode::kClosed) {
    Fail(kErrState, "OpenRead: the object already has an open file");
    *err = kErrState;
    return false;
  }
  std::FILE* f = std::fopen(file_name, "rb");
  if (f == nullptr) {
    const int code = errno != 0 ? errno : EIO;
    Fail(code, "Cannot open " + std::string(file_name) + ": " + SystemText(code));
    *err = code;
    return false;
  }
  const bool ok = OpenReadStream(f, err);
  if (ok) file_name_ = file_name;
  return ok;
}

bool LvxFile::OpenReadStream(std::FILE* stream, int* err) {
  *err = 0;
  if (mode_ != Mode::kClosed) {
    std::fclose(stream);
    Fail(kErrState, "OpenRead: the object already has an open file");
    *err = kErrState;
    return false;
  }
  ResetObject();
  file_ = stream;
  mode_ = Mode::kRead;
  if (!ParseFile()) {
    *err = last_error_;
    std::fclose(file_);
    mode_ = Mode::kClosed;
    ResetObject();
    return false;
  }
  return true;
}

bool LvxFile::ParseFile() {
  if (fseeko(file_, 0, SEEK_END) != 0) return Fail(kErrCorrupt, "LVX file cannot be positioned");
  const off_t size = ftello(file_);
  if (size < 0 || fseeko(file_, 0, SEEK_SET) != 0)
    return Fail(kErrCorrupt, "LVX file cannot be positioned");
  file_size_ = static_cast<std::uint64_t>(size);

  unsigned char head[16];
  if (!ReadExact(head, sizeof head) || std::memcmp(head, kMagic, sizeof kMagic) != 0)
    return Fail(kErrNotLvx, "File is not an LVX file (no LVX signature)");
  const std::uint32_t version = GetU32(head + 8);
  if (version != kFormatVersion)
    return Fail(kErrVersion, "LVX format version " + std::to_string(version) +
                                 " is not supported (this library reads version " +
                                 std::to_string(kFormatVersion) + ")");
  const std::uint32_t flags = GetU32(head + 12);
  if ((flags & ~1u) != 0) return Fail(kErrCorrupt, "LVX header has unknown flags");
  compressed_ = (flags & 1u) != 0;
  if (!ReadShortString(&producer_, 0, "the producer text")) return false;

  auto position = [&]() -> std::uint64_t {
    const off_t p = ftello(file_);
    return p < 0 ? file_size_ : static_cast<std::uint64_t>(p);
  };
  for (;;) {
    unsigned char tag = 0;
    if (!ReadExact(&tag, 1)) return Fail(kErrTruncated, "LVX file ends before its end block");
    if (tag == kTagLabels) {
      unsigned char b[4];
      if (!ReadExact(b, 4)) return Fail(kErrTruncated, "LVX file ends inside a label block");
      const std::uint32_t n = GetU32(b);
      // Every label takes at least two bytes, so the count cannot exceed what is left.
      if (n > (file_size_ - position()) / 2)
        return Fail(kErrCorrupt, "LVX label count " + std::to_string(n) + " exceeds the file");
      if (label_ends_.size() + n > static_cast<std::size_t>(INT_MAX))
        return Fail(kErrCorrupt, "LVX file has too many labels");
      std::string label;
      for (std::uint32_t i = 0; i < n; ++i) {
        if (!ReadShortString(&label, 1, "a label")) return false;
        label_chars_ += label;
        label_ends_.push_back(static_cast<std::uint32_t>(label_chars_.size()));
      }
    } else if (tag == kTagSymbol) {
      Symbol s;
      if (!ReadShortString(&s.name, 1, "a symbol name") ||
          !ReadShortString(&s.text, 0, "a symbol text"))
        return false;
      unsigned char b[18];
      if (!ReadExact(b, sizeof b))
        return Fail(kErrTruncated, "LVX file ends inside the header of symbol " + s.name);
      s.dim = b[0];
      s.kind = b[1];
      s.user_info = static_cast<std::int32_t>(GetU32(b + 2));
      s.records = GetU32(b + 6);
      s.length = GetU64(b + 10);
      if (s.dim > kMaxDim || s.kind > kMaxKind)
        return Fail(kErrCorrupt, "LVX symbol " + s.name + " has dimension " +
                                     std::to_string(s.dim) + " and kind " +
                                     std::to_string(s.kind) + " out of range");
      if (s.records > static_cast<std::uint32_t>(INT_MAX) || (s.dim == 0 && s.records > 1))
        return Fail(kErrCorrupt, "LVX symbol " + s.name + " has a bad record count");
      s.offset = position();
      if (s.length > file_size_ - s.offset)
        return Fail(kErrTruncated, "LVX file ends inside the records of symbol " + s.name);
      if (!compressed_ && s.length < static_cast<std::uint64_t>(s.records) * 2)
        return Fail(kErrCorrupt, "LVX symbol " + s.name + " has fewer data bytes than records");
      const std::string key = Lower(s.name);
      if (symbol_index_.count(key) != 0)
        return Fail(kErrCorrupt, "LVX file has symbol " + s.name + " twice");
      if (fseeko(file_, static_cast<off_t>(s.offset + s.length), SEEK_SET) != 0)
        return Fail(kErrCorrupt, "LVX file cannot be positioned");
      symbol_index_.emplace(key, static_cast<int>(symbols_.size()));
      symbols_.push_back(std::move(s));
    } else if (tag == kTagEnd) {
      unsigned char b[8];
      if (!ReadExact(b, sizeof b)) return Fail(kErrTruncated, "LVX file ends inside its end block");
      if (GetU32(b) != label_ends_.size() || GetU32(b + 4) != symbols_.size())
        return Fail(kErrCorrupt, "LVX end block does not match the label and symbol counts");
      if (position() != file_size_) return Fail(kErrCorrupt, "LVX file has data after its end");
      return true;
    } else {
      return Fail(kErrCorrupt, "LVX file has an unknown block " + std::to_string(tag));
    }
  }
}

bool LvxFile::SystemInfo(int* symbols, int* labels) const {
  *symbols = static_cast<int>(symbols_.size());
  *labels = static_cast<int>(label_ends_.size());
  return mode_ != Mode::kClosed;
}

bool LvxFile::FileVersion(std::string* version, std::string* producer) const {
  *version = "LVX format " + std::to_string(kFormatVersion);
  *producer = producer_;
  return mode_ != Mode::kClosed;
}

bool LvxFile::FindSymbol(const char* name, int* number) const {
  *number = 0;
  const auto it = symbol_index_.find(Lower(name));
  if (it == symbol_index_.end()) return false;
  *number = it->second + 1;
  return true;
}

bool LvxFile::SymbolInfo(int number, std::string* name, int* dim, int* kind) {
  if (number < 1 || number > static_cast<int>(symbols_.size())) {
    name->clear();
    *dim = *kind = 0;
    return Fail(kErrArgument, "Symbol number " + std::to_string(number) + " out of range");
  }
  const Symbol& s = symbols_[static_cast<std::size_t>(number - 1)];
  *name = s.name;
  *dim = s.dim;
  *kind = s.kind;
  return true;
}

bool LvxFile::SymbolInfoX(int number, int* records, int* user_info, std::string* text) {
  if (number < 1 || number > static_cast<int>(symbols_.size())) {
    *records = *user_info = 0;
    text->clear();
    return Fail(kErrArgument, "Symbol number " + std::to_string(number) + " out of range");
  }
  const Symbol& s = symbols_[static_cast<std::size_t>(number - 1)];
  *records = static_cast<int>(s.records);
  *user_info = s.user_info;
  *text = s.text;
  return true;
}

bool LvxFile::LabelGet(int number, std::string* label) {
  label->clear();
  if (number < 1 || number > static_cast<int>(label_ends_.size()))
    return Fail(kErrArgument, "Label number " + std::to_string(number) + " out of range");
  const std::size_t i = static_cast<std::size_t>(number - 1);
  const std::size_t begin = i == 0 ? 0 : label_ends_[i - 1];
  label->assign(label_chars_, begin, label_ends_[i] - begin);
  return true;
}

bool LvxFile::DataReadRawStart(int number, int* records) {
  *records = 0;
  if (mode_ != Mode::kRead) return Fail(kErrState, "DataReadRawStart: no file open for reading");
  if (read_state_ != ReadState::kIdle) DataReadDone();
  if (number < 1 || number > static_cast<int>(symbols_.size()))
    return Fail(kErrArgument, "DataReadRawStart: symbol number " + std::to_string(number) +
                                  " out of range");
  const Symbol& s = symbols_[static_cast<std::size_t>(number - 1)];
  if (fseeko(file_, static_cast<off_t>(s.offset), SEEK_SET) != 0)
    return Fail(kErrCorrupt, "LVX file cannot be positioned");
  if (in_buf_.empty()) in_buf_.resize(kInBufSize);
  if (out_buf_.empty()) out_buf_.resize(kOutBufSize);
  read_symbol_ = number - 1;
  records_read_ = 0;
  stored_left_ = s.length;
  in_pos_ = in_end_ = out_pos_ = out_end_ = 0;
  inflate_done_ = false;
  end_checked_ = false;
  if (compressed_) {
    if (zs_active_) inflateEnd(&zs_);
    zs_ = z_stream{};
    if (inflateInit(&zs_) != Z_OK) {
      zs_active_ = false;
      return Fail(kErrCompression, "Cannot start decompression");
    }
    zs_active_ = true;
  }
  read_state_ = ReadState::kData;
  *records = static_cast<int>(s.records);
  return true;
}

bool LvxFile::FillData(std::size_t need) {
  const std::string& name = symbols_[static_cast<std::size_t>(read_symbol_)].name;
  while (out_end_ - out_pos_ < need) {
    if (out_pos_ > 0) {
      std::memmove(out_buf_.data(), out_buf_.data() + out_pos_, out_end_ - out_pos_);
      out_end_ -= out_pos_;
      out_pos_ = 0;
    }
    const std::size_t space = out_buf_.size() - out_end_;
    if (!compressed_) {
      if (stored_left_ == 0) return true;
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(space, stored_left_));
      if (!ReadExact(out_buf_.data() + out_end_, n))
        return Fail(kErrTruncated, "LVX file ends inside the records of symbol " + name);
      out_end_ += n;
      stored_left_ -= n;
      continue;
    }
    if (inflate_done_) return true;
    if (in_pos_ == in_end_ && stored_left_ > 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(in_buf_.size(), stored_left_));
      if (!ReadExact(in_buf_.data(), n))
        return Fail(kErrTruncated, "LVX file ends inside the records of symbol " + name);
      in_pos_ = 0;
      in_end_ = n;
      stored_left_ -= n;
    }
    zs_.next_in = in_buf_.data() + in_pos_;
    zs_.avail_in = static_cast<uInt>(in_end_ - in_pos_);
    zs_.next_out = out_buf_.data() + out_end_;
    zs_.avail_out = static_cast<uInt>(space);
    const int rc = inflate(&zs_, Z_NO_FLUSH);
    in_pos_ = in_end_ - zs_.avail_in;
    out_end_ = out_buf_.size() - zs_.avail_out;
    if (rc == Z_STREAM_END) {
      inflate_done_ = true;
    } else if (rc == Z_OK || rc == Z_BUF_ERROR) {
      // The stored data ended before the compressed stream did, or zlib made no progress
      // although it had input and room: either way the stream cannot go on.
      if (in_pos_ == in_end_ && stored_left_ == 0 && zs_.avail_out != 0)
        return Fail(kErrTruncated, "Compressed records of symbol " + name + " end early");
      if (rc == Z_BUF_ERROR)
        return Fail(kErrCompression, "Compressed records of symbol " + name + " are corrupt");
    } else {
      return Fail(kErrCompression, "Compressed records of symbol " + name + " are corrupt" +
                                       (zs_.msg != nullptr ? std::string(": ") + zs_.msg : ""));
    }
  }
  return true;
}

bool LvxFile::DataReadRaw(int* keys, double* values, int* first_changed) {
  if (read_state_ != ReadState::kData) {
    if (read_state_ == ReadState::kIdle) Fail(kErrState, "DataReadRaw: no symbol being read");
    return false;
  }
  const Symbol& s = symbols_[static_cast<std::size_t>(read_symbol_)];
  auto broken = [&](int code, const std::string& what) {
    read_state_ = ReadState::kFailed;
    return Fail(code, "Record " + std::to_string(records_read_ + 1) + " of symbol " + s.name +
                          ": " + what);
  };
  if (records_read_ == s.records) {
    if (!end_checked_) {
      end_checked_ = true;
      if (!FillData(1)) {
        read_state_ = ReadState::kFailed;
        return false;
      }
      const bool leftover = out_end_ > out_pos_ || stored_left_ > 0 ||
                            (compressed_ && (in_pos_ < in_end_ || !inflate_done_));
      if (leftover) {
        read_state_ = ReadState::kFailed;
        return Fail(kErrBadRecord, "Symbol " + s.name + " has data after its last record");
      }
    }
    return false;
  }
  if (!FillData(kMaxRecordBytes)) {
    read_state_ = ReadState::kFailed;
    return false;
  }
  const unsigned char* p = out_buf_.data() + out_pos_;
  const unsigned char* const end = out_buf_.data() + out_end_;
  if (p == end) return broken(kErrTruncated, "record data ends early");
  const int pos = *p++;
  const int dim = s.dim;
  if ((dim == 0 && pos != 0) || (dim > 0 && pos >= dim) || (records_read_ == 0 && pos != 0))
    return broken(kErrBadRecord, "bad changed-key position " + std::to_string(pos));
  const std::uint32_t label_count = static_cast<std::uint32_t>(label_ends_.size());
  for (int k = pos; k < dim; ++k) {
    std::uint32_t v = 0;
    int shift = 0;
    for (;;) {
      if (p == end) return broken(kErrTruncated, "record data ends inside a key");
      const unsigned char byte = *p++;
      if (shift == 28 && (byte & 0xF0) != 0) return broken(kErrBadRecord, "key too large");
      v |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) break;
      shift += 7;
    }
    if (v < 1 || v > label_count)
      return broken(kErrBadKey, "key " + std::to_string(v) + " at position " +
                                    std::to_string(k + 1) + " names no label (labels 1.." +
                                    std::to_string(label_count) + ")");
    if (k == pos && records_read_ > 0 && static_cast<int>(v) <= prev_keys_[k])
      return broken(kErrUnsorted, "keys not in ascending order");
    prev_keys_[k] = static_cast<int>(v);
  }
  const int stored = StoredValues(s.kind);
  for (int i = 0; i < kValueCount; ++i) values[i] = 0.0;
  for (int i = 0; i < stored; ++i) {
    if (p == end) return broken(kErrTruncated, "record data ends inside a value");
    const unsigned char tag = *p++;
    if (tag == kValZero) {
      values[i] = 0.0;
    } else if (tag == kValDouble) {
      if (end - p < 8) return broken(kErrTruncated, "record data ends inside a value");
      values[i] = std::bit_cast<double>(GetU64(p));
      p += 8;
    } else if (tag >= kValSpecial && tag < kValSpecial + kSpecialCount) {
      values[i] = read_specials_[tag - kValSpecial];
    } else {
      return broken(kErrBadRecord, "unknown value tag " + std::to_string(tag));
    }
  }
  for (int k = 0; k < dim; ++k) keys[k] = prev_keys_[k];
  *first_changed = pos + 1;
  out_pos_ = static_cast<std::size_t>(p - out_buf_.data());
  ++records_read_;
  return true;
}

bool LvxFile::DataReadDone() {
  if (mode_ != Mode::kRead || read_state_ == ReadState::kIdle)
    return Fail(kErrState, "DataReadDone: no symbol being read");
  if (zs_active_) {
    inflateEnd(&zs_);
    zs_active_ = false;
  }
  read_state_ = ReadState::kIdle;
  read_symbol_ = -1;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Writing

bool LvxFile::WriteBytes(const void* data, std::size_t n) {
  if (io_failed_) return false;
  if (n > 0 && std::fwrite(data, 1, n, file_) != n) {
    io_failed_ = true;
    const int code = errno != 0 ? errno : EIO;
    return Fail(code, "Cannot write " + file_name_ + ": " + SystemText(code));
  }
  return true;
}

bool LvxFile::OpenWrite(const char* file_name, const char* producer, bool compress, int* err) {
  *err = 0;
  if (mode_ != Mode::kClosed) {
    Fail(kErrState, "OpenWrite: the object already has an open file");
    *err = kErrState;
    return false;
  }
  ResetObject();
  std::FILE* f = std::fopen(file_name, "wb");
  if (f == nullptr) {
    const int code = errno != 0 ? errno : EIO;
    Fail(code, "Cannot create " + std::string(file_name) + ": " + SystemText(code));
    *err = code;
    return false;
  }
  file_ = f;
  file_name_ = file_name;
  mode_ = Mode::kWrite;
  compressed_ = compress;
  producer_ = producer != nullptr ? producer : "";
  if (producer_.size() > static_cast<std::size_t>(kMaxText)) producer_.resize(kMaxText);
  unsigned char head[17];
  std::memcpy(head, kMagic, sizeof kMagic);
  PutU32(head + 8, kFormatVersion);
  PutU32(head + 12, compress ? 1u : 0u);
  head[16] = static_cast<unsigned char>(producer_.size());
  if (!WriteBytes(head, sizeof head) || !WriteBytes(producer_.data(), producer_.size())) {
    *err = last_error_;
    std::fclose(file_);
    mode_ = Mode::kClosed;
    ResetObject();
    return false;
  }
  if (rec_buf_.empty()) rec_buf_.resize(kOutBufSize);
  if (in_buf_.empty()) in_buf_.resize(kInBufSize);
  return true;
}

bool LvxFile::LabelRegisterRawStart() {
  if (mode_ != Mode::kWrite || write_state_ != WriteState::kIdle)
    return Fail(kErrState, "UELRegisterRawStart: not allowed now (file must be open for writing "
                           "with no symbol or registration open)");
  write_state_ = WriteState::kLabels;
  return true;
}

bool LvxFile::LabelRegisterRaw(const char* label) {
  if (mode_ != Mode::kWrite || write_state_ != WriteState::kLabels)
    return Fail(kErrState, "UELRegisterRaw: no label registration open");
  const std::string_view text(label != nullptr ? label : "");
  if (text.empty() || text.size() > static_cast<std::size_t>(kMaxText))
    return Fail(kErrArgument, "Label must have 1 to 255 characters");
  if (label_ends_.size() >= static_cast<std::size_t>(INT_MAX))
    return Fail(kErrArgument, "Too many labels");
  if (!label_set_.emplace(text).second)
    return Fail(kErrDuplicateLabel, "Label " + std::string(text) + " registered twice");
  label_chars_ += text;
  label_ends_.push_back(static_cast<std::uint32_t>(label_chars_.size()));
  return true;
}

bool LvxFile::LabelRegisterDone() {
  if (mode_ != Mode::kWrite || write_state_ != WriteState::kLabels)
    return Fail(kErrState, "UELRegisterDone: no label registration open");
  write_state_ = WriteState::kIdle;
  const std::size_t n = label_ends_.size() - labels_written_;
  unsigned char head[5];
  head[0] = kTagLabels;
  PutU32(head + 1, static_cast<std::uint32_t>(n));
  if (!WriteBytes(head, sizeof head)) return false;
  for (std::size_t i = labels_written_; i < label_ends_.size(); ++i) {
    const std::size_t begin = i == 0 ? 0 : label_ends_[i - 1];
    const unsigned char len = static_cast<unsigned char>(label_ends_[i] - begin);
    if (!WriteBytes(&len, 1) || !WriteBytes(label_chars_.data() + begin, len)) return false;
  }
  labels_written_ = label_ends_.size();
  return true;
}

bool LvxFile::DataWriteRawStart(const char* name, const char* text, int dim, int kind,
                                int user_info) {
  if (mode_ != Mode::kWrite || write_state_ != WriteState::kIdle)
    return Fail(kErrState, "DataWriteRawStart: not allowed now (file must be open for writing "
                           "with no symbol or registration open)");
  const std::string_view sym(name != nullptr ? name : "");
  std::string explanatory(text != nullptr ? text : "");
  if (explanatory.size() > static_cast<std::size_t>(kMaxText)) explanatory.resize(kMaxText);
  write_state_ = WriteState::kRejected;  // until the symbol is accepted
  if (sym.empty() || sym.size() > static_cast<std::size_t>(kMaxText))
    return Fail(kErrArgument, "Symbol name must have 1 to 255 characters");
  if (dim < 0 || dim > kMaxDim)
    return Fail(kErrArgument, "Symbol " + std::string(sym) + ": dimension " +
                                  std::to_string(dim) + " out of 0..20");
  if (kind < 0 || kind > kMaxKind)
    return Fail(kErrArgument, "Symbol " + std::string(sym) + ": kind " + std::to_string(kind) +
                                  " out of 0..3");
  const std::string key = Lower(sym);
  if (symbol_index_.count(key) != 0)
    return Fail(kErrDuplicateSymbol, "Symbol " + std::string(sym) + " written twice");

  unsigned char head[2 + 255 + 255 + 18];
  unsigned char* p = head;
  *p++ = kTagSymbol;
  *p++ = static_cast<unsigned char>(sym.size());
  std::memcpy(p, sym.data(), sym.size());
  p += sym.size();
  *p++ = static_cast<unsigned char>(explanatory.size());
  std::memcpy(p, explanatory.data(), explanatory.size());
  p += explanatory.size();
  *p++ = static_cast<unsigned char>(dim);
  *p++ = static_cast<unsigned char>(kind);
  p = PutU32(p, static_cast<std::uint32_t>(user_info));
  const std::size_t count_offset = static_cast<std::size_t>(p - head);
  p = PutU32(p, 0);
  p = PutU64(p, 0);
  const off_t start = ftello(file_);
  if (start < 0 || !WriteBytes(head, static_cast<std::size_t>(p - head))) {
    if (start < 0) io_failed_ = true;
    return start < 0 ? Fail(kErrWrite, "Cannot position " + file_name_) : false;
  }
  header_pos_ = static_cast<long long>(start) + static_cast<long long>(count_offset);
  if (compressed_) {
    zs_ = z_stream{};
    if (deflateInit(&zs_, 1) != Z_OK) return Fail(kErrCompression, "Cannot start compression");
    zs_active_ = true;
  }
  Symbol s;
  s.name = std::string(sym);
  s.text = explanatory;
  s.dim = dim;
  s.kind = kind;
  s.user_info = user_info;
  symbol_index_.emplace(key, static_cast<int>(symbols_.size()));
  symbols_.push_back(std::move(s));
  write_dim_ = dim;
  write_values_ = StoredValues(kind);
  write_records_ = 0;
  write_length_ = 0;
  rec_len_ = 0;
  write_state_ = WriteState::kData;
  return true;
}

bool LvxFile::FlushRecordBuffer(bool finish) {
  if (!compressed_) {
    const bool ok = WriteBytes(rec_buf_.data(), rec_len_);
    write_length_ += rec_len_;
    rec_len_ = 0;
    return ok;
  }
  zs_.next_in = rec_buf_.data();
  zs_.avail_in = static_cast<uInt>(rec_len_);
  for (;;) {
    zs_.next_out = in_buf_.data();
    zs_.avail_out = static_cast<uInt>(in_buf_.size());
    const int rc = deflate(&zs_, finish ? Z_FINISH : Z_NO_FLUSH);
    if (rc == Z_STREAM_ERROR) return Fail(kErrCompression, "Compression failed");
    const std::size_t produced = in_buf_.size() - zs_.avail_out;
    if (!WriteBytes(in_buf_.data(), produced)) return false;
    write_length_ += produced;
    if (finish ? rc == Z_STREAM_END : (zs_.avail_in == 0 && zs_.avail_out != 0)) break;
  }
  rec_len_ = 0;
  return true;
}

bool LvxFile::DataWriteRaw(const int* keys, const double* values) {
  if (write_state_ == WriteState::kRejected) return false;  // reported at the start
  if (mode_ != Mode::kWrite || write_state_ != WriteState::kData)
    return Fail(kErrState, "DataWriteRaw: no symbol being written");
  const Symbol& s = symbols_.back();
  const int dim = write_dim_;
  if (dim == 0 && write_records_ > 0)
    return Fail(kErrArgument, "Symbol " + s.name + " has dimension 0 and takes one record");
  const auto label_count = static_cast<long long>(label_ends_.size());
  int pos = dim;
  for (int k = 0; k < dim; ++k) {
    if (keys[k] < 1 || keys[k] > label_count)
      return Fail(kErrBadKey, "Symbol " + s.name + ": key " + std::to_string(keys[k]) +
                                  " at position " + std::to_string(k + 1) +
                                  " is not a registered label (labels 1.." +
                                  std::to_string(label_count) + ")");
    if (pos == dim && (write_records_ == 0 || keys[k] != prev_keys_[k])) pos = k;
  }
  if (write_records_ > 0 && dim > 0) {
    if (pos == dim)
      return Fail(kErrUnsorted, "Symbol " + s.name + ": record repeats the keys of the previous "
                                                      "record");
    if (keys[pos] < prev_keys_[pos])
      return Fail(kErrUnsorted, "Symbol " + s.name + ": record keys are not in ascending order "
                                                      "(position " + std::to_string(pos + 1) + ")");
  }
  if (dim == 0) pos = 0;
  if (rec_len_ + kMaxRecordBytes > rec_buf_.size() && !FlushRecordBuffer(false)) return false;
  unsigned char* p = rec_buf_.data() + rec_len_;
  *p++ = static_cast<unsigned char>(pos);
  for (int k = pos; k < dim; ++k) {
    auto v = static_cast<std::uint32_t>(keys[k]);
    while (v >= 0x80) {
      *p++ = static_cast<unsigned char>(v | 0x80);
      v >>= 7;
    }
    *p++ = static_cast<unsigned char>(v);
    prev_keys_[k] = keys[k];
  }
  for (int i = 0; i < write_values_; ++i) {
    const double v = values[i];
    unsigned char tag = kValDouble;
    if (v == 0.0) {
      tag = kValZero;
    } else if (std::isinf(v)) {
      tag = kValSpecial + (v > 0 ? 2 : 3);
    } else {
      for (int j = 0; j < kSpecialCount; ++j)
        if (v == kSystemSpecials[j]) tag = static_cast<unsigned char>(kValSpecial + j);
    }
    *p++ = tag;
    if (tag == kValDouble) p = PutU64(p, std::bit_cast<std::uint64_t>(v));
  }
  rec_len_ = static_cast<std::size_t>(p - rec_buf_.data());
  ++write_records_;
  return true;
}

bool LvxFile::DataWriteDone() {
  if (mode_ != Mode::kWrite ||
      (write_state_ != WriteState::kData && write_state_ != WriteState::kRejected))
    return Fail(kErrState, "DataWriteDone: no symbol being written");
  if (write_state_ == WriteState::kRejected) {
    write_state_ = WriteState::kIdle;
    return false;
  }
  write_state_ = WriteState::kIdle;
  bool ok = FlushRecordBuffer(true);
  if (zs_active_) {
    deflateEnd(&zs_);
    zs_active_ = false;
  }
  Symbol& s = symbols_.back();
  s.records = write_records_;
  s.length = write_length_;
  if (!ok || io_failed_) return false;
  unsigned char patch[12];
  PutU64(PutU32(patch, write_records_), write_length_);
  const off_t here = ftello(file_);
  if (here < 0 || fseeko(file_, static_cast<off_t>(header_pos_), SEEK_SET) != 0 ||
      !WriteBytes(patch, sizeof patch) || fseeko(file_, here, SEEK_SET) != 0) {
    io_failed_ = true;
    return Fail(kErrWrite, "Cannot complete symbol " + s.name + " in " + file_name_);
  }
  return true;
}

int LvxFile::Close() {
  if (mode_ == Mode::kClosed) {
    Fail(kErrState, "Close: no file open");
    return kErrState;
  }
  int rc = 0;
  if (mode_ == Mode::kRead) {
    if (read_state_ != ReadState::kIdle) DataReadDone();
    std::fclose(file_);
  } else {
    // Nothing registered or written is dropped: an open registration or symbol is finished,
    // and the omission is counted as an error.
    if (write_state_ == WriteState::kLabels) {
      Fail(kErrState, "Close: label registration was not finished");
      LabelRegisterDone();
    } else if (write_state_ == WriteState::kData || write_state_ == WriteState::kRejected) {
      if (write_state_ == WriteState::kData)
        Fail(kErrState, "Close: symbol " + symbols_.back().name + " was not finished");
      DataWriteDone();
    }
    unsigned char tail[9];
    tail[0] = kTagEnd;
    PutU32(PutU32(tail + 1, static_cast<std::uint32_t>(label_ends_.size())),
           static_cast<std::uint32_t>(symbols_.size()));
    WriteBytes(tail, sizeof tail);
    if (std::fflush(file_) != 0 && !io_failed_) {
      io_failed_ = true;
      Fail(errno != 0 ? errno : EIO, "Cannot write " + file_name_);
    }
    if (std::fclose(file_) != 0 && !io_failed_) {
      io_failed_ = true;
      Fail(errno != 0 ? errno : EIO, "Cannot close " + file_name_);
    }
    if (io_failed_) rc = last_error_ != 0 ? last_error_ : kErrWrite;
  }
  mode_ = Mode::kClosed;
  ResetObject();
  return rc;
}

}  // namespace qlink::lvxlib
