// libFuzzer target of the instance reader's text and binary variants. Input byte 0 selects the
// variant (bits 0-2, 5 and above read as text), marginals (bit 3), row extra (bit 4), scales
// (bit 5), match (bit 6) and whether the rest is the instruction file (bit 7) or the matrix
// file; byte 1 gives the control file's row count (bits 0-2), column count (bits 3-5) and
// its scaling and priority options (bits 6, 7); byte 2 its instruction count (bits 0-3) and
// pool count (bits 4-7). The reader must end with a return code, never crash or read out of
// bounds.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <filesystem>
#include <string>

#include "io/gdutils.h"
#include "link/lvostate.h"

namespace {

void WriteAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// A matrix file without records, for inputs that are instruction files: the instructions are
// read in full before the matrix file fails.
void WriteEmptyMatrix(const std::string& path, int variant) {
  static const std::uint8_t kZeros[800] = {};
  if (variant == 0) {
    std::uint8_t text[64];
    std::fill(std::begin(text), std::end(text), static_cast<std::uint8_t>('\n'));
    WriteAll(path, text, sizeof text);
  } else {
    WriteAll(path, kZeros, sizeof kZeros);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qlink;
  if (size < 3) return 0;
  static const std::string dir = [] {
    const std::string d = "/tmp/gdutils_fuzz_" + std::to_string(getpid());
    std::filesystem::create_directories(d);
    return d;
  }();
  const std::uint8_t sel = data[0];
  int variant = sel & 7;
  if (variant > 4) variant = 0;
  const int code = variant + ((sel >> 3) & 1) * 10 + ((sel >> 4) & 1) * 100 + ((sel >> 5) & 1) * 2000 +
                   ((sel >> 6) & 1) * 100000;
  const bool instr = (sel >> 7) & 1;
  ControlFile& c = Run().ctrl;
  c = ControlFile{};
  c.LogOption = 0;
  Run().log.LogOpen(0, 0, "");
  c.NumRows = data[1] & 7;
  c.NumCols = (data[1] >> 3) & 7;
  c.ObjRow = 1;
  c.ObjVar = 2;
  // Without instruction code the instruction file is not read.
  c.NumInstr = instr ? 1 + (data[2] & 15) : 0;
  c.NumConst = data[2] >> 4;
  c.AlgFileType = code;
  c.ScaleOpt = (data[1] >> 6) & 1;
  c.PriorityOpt = (data[1] >> 7) & 1;
  c.NameInstrFile = dir + "/instr";
  c.NameMatrixFile = dir + "/matrix";
  if (instr) {
    WriteAll(c.NameInstrFile, data + 3, size - 3);
    WriteEmptyMatrix(c.NameMatrixFile, variant);
  } else {
    WriteAll(c.NameMatrixFile, data + 3, size - 3);
  }
  read_model_instance();
  return 0;
}
