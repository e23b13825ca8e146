// The data-exchange library's core: one LvxFile object reads or writes one LVX file in the
// format described in FORMAT.md. The exported C entries of liblvxcclib64.so, the dump tool and
// the fuzz target are built on it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <zlib.h>

namespace qlink::lvxlib {

inline constexpr int kMaxDim = 20;
inline constexpr int kValueCount = 5;      // level, marginal, lower, upper, scale
inline constexpr int kSpecialCount = 5;    // UNDF, NA, +INF, -INF, EPS
inline constexpr int kMaxKind = 3;         // 0 set, 1 parameter, 2 variable, 3 equation
inline constexpr int kMaxText = 255;
inline constexpr std::uint32_t kFormatVersion = 1;

// The modeling system's special values, in the order of the special-value arrays.
inline constexpr double kSystemSpecials[kSpecialCount] = {1.0e300, 2.0e300, 3.0e300, 4.0e300,
                                                          5.0e300};

// Error codes of the library. Positive codes are the system's error numbers (errno).
enum ErrorCode : int {
  kOk = 0,
  kErrNotLvx = -100,        // not an LVX file (magic)
  kErrVersion = -101,       // format version not served
  kErrCorrupt = -102,       // structure of the file is broken
  kErrTruncated = -103,     // file ends early
  kErrBadRecord = -104,     // record data is broken
  kErrState = -105,         // operation not allowed in this state
  kErrArgument = -106,      // bad argument (symbol number, dimension, kind, name, label)
  kErrUnsorted = -107,      // record keys not in ascending order
  kErrBadKey = -108,        // key names no registered label
  kErrDuplicateSymbol = -109,
  kErrDuplicateLabel = -110,
  kErrCompression = -111,   // zlib failed
  kErrWrite = -112,         // writing the file failed
};

// Generic text of an error code.
std::string ErrorCodeText(int code);

class LvxFile {
 public:
  LvxFile();
  ~LvxFile();
  LvxFile(const LvxFile&) = delete;
  LvxFile& operator=(const LvxFile&) = delete;

  // Opening. Each returns true when open; *err receives 0 or the error code.
  bool OpenRead(const char* file_name, int* err);
  // Takes ownership of an open stream positioned at the start (used by the fuzz target).
  bool OpenReadStream(std::FILE* stream, int* err);
  bool OpenWrite(const char* file_name, const char* producer, bool compress, int* err);
  // 0 when the file was complete and closed, else an error code.
  int Close();

  // Settings.
  int AutoConvert(int value);
  void StoreDomainSets(bool value) { store_domain_sets_ = value; }
  void GetSpecialValues(double* values) const;
  bool SetReadSpecialValues(const double* values);

  // Information about an open file.
  bool SystemInfo(int* symbols, int* labels) const;
  bool FileVersion(std::string* version, std::string* producer) const;
  bool FindSymbol(const char* name, int* number) const;
  bool SymbolInfo(int number, std::string* name, int* dim, int* kind);
  bool SymbolInfoX(int number, int* records, int* user_info, std::string* text);
  bool LabelGet(int number, std::string* label);

  // Raw reading of one symbol.
  bool DataReadRawStart(int number, int* records);
  // True with a record; false after the last record or on an error. first_changed is the
  // 1-based position of the first key that differs from the previous record (1 for the first).
  bool DataReadRaw(int* keys, double* values, int* first_changed);
  bool DataReadDone();

  // Raw label registration: the i-th label registered gets number i.
  bool LabelRegisterRawStart();
  bool LabelRegisterRaw(const char* label);
  bool LabelRegisterDone();

  // Raw writing of one symbol per start/done pair, records in ascending key order.
  bool DataWriteRawStart(const char* name, const char* text, int dim, int kind, int user_info);
  bool DataWriteRaw(const int* keys, const double* values);
  bool DataWriteDone();

  int ErrorCount() const { return error_count_; }
  int LastError() const { return last_error_; }
  // Text of an error code: the detailed text of the last error when code is the last error.
  std::string ErrorText(int code) const;

 private:
  enum class Mode { kClosed, kRead, kWrite };
  enum class ReadState { kIdle, kData, kFailed };
  enum class WriteState { kIdle, kLabels, kData, kRejected };

  struct Symbol {
    std::string name;
    std::string text;
    int dim = 0;
    int kind = 0;
    std::int32_t user_info = 0;
    std::uint32_t records = 0;
    std::uint64_t offset = 0;  // of the record data in the file
    std::uint64_t length = 0;  // stored bytes of the record data
  };

  bool Fail(int code, std::string text);
  bool ParseFile();
  void ResetObject();

  // Reading helpers over the open stream.
  bool ReadExact(void* out, std::size_t n);
  bool ReadShortString(std::string* out, int min_len, const char* what);
  bool FillData(std::size_t need);  // makes `need` decoded bytes available when the data has them

  // Writing helpers.
  bool WriteBytes(const void* data, std::size_t n);
  bool FlushRecordBuffer(bool finish);

  Mode mode_ = Mode::kClosed;
  std::FILE* file_ = nullptr;
  std::string file_name_;
  std::string producer_;
  bool compressed_ = false;
  int auto_convert_ = 1;
  bool store_domain_sets_ = true;
  double read_specials_[kSpecialCount];

  int error_count_ = 0;
  int last_error_ = 0;
  std::string last_error_text_;

  // Label table: all label texts in one buffer, ends_[i] is the end of label i+1.
  std::string label_chars_;
  std::vector<std::uint32_t> label_ends_;
  std::unordered_set<std::string> label_set_;  // for duplicates while writing
  std::size_t labels_written_ = 0;

  std::vector<Symbol> symbols_;
  std::unordered_map<std::string, int> symbol_index_;  // lower-case name -> position

  // Reading state of one symbol.
  ReadState read_state_ = ReadState::kIdle;
  int read_symbol_ = -1;
  std::uint32_t records_read_ = 0;
  std::uint64_t stored_left_ = 0;  // stored bytes not yet taken from the file
  bool inflate_done_ = false;
  z_stream zs_{};
  bool zs_active_ = false;
  std::vector<unsigned char> in_buf_;   // stored bytes
  std::vector<unsigned char> out_buf_;  // decoded record bytes
  std::size_t out_pos_ = 0;
  std::size_t out_end_ = 0;
  std::size_t in_pos_ = 0;
  std::size_t in_end_ = 0;
  std::uint64_t file_size_ = 0;
  bool end_checked_ = false;
  int prev_keys_[kMaxDim] = {};

  // Writing state of one symbol.
  WriteState write_state_ = WriteState::kIdle;
  int write_dim_ = 0;
  int write_values_ = 0;
  std::uint32_t write_records_ = 0;
  std::uint64_t write_length_ = 0;
  long long header_pos_ = 0;  // position of the record count field
  std::string write_name_;
  std::vector<unsigned char> rec_buf_;
  std::size_t rec_len_ = 0;
  bool io_failed_ = false;
};

}  // namespace qlink::lvxlib
