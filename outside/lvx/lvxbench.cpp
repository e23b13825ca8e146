// lvxbench [DIR [RECORDS]]: writes and reads RECORDS (default 10 million) records of a
// 3-dimensional parameter and of a 3-dimensional variable, without and with compression,
// through the LVX binding and the library of the system directory. Prints records per second
// and file sizes. Files go to DIR (default /tmp) and are removed afterwards.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "runtime/lvocommon.h"
#include "runtime/lvxdcdef.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

bool Check(qlink::lvxHandle_t p, int ok, const char* what) {
  if (ok && qlink::lvxErrorCount(p) == 0) return true;
  char text[QLINK_STRING_BUFSIZE] = {};
  qlink::lvxErrorStr(p, qlink::lvxGetLastError(p), text);
  std::fprintf(stderr, "*** %s failed: %s\n", what, text);
  return false;
}

bool Run(const std::string& path, long records, int kind, bool compress) {
  const int side = 216;  // 216^3 > 10 million
  qlink::TLvxObject lvx;
  std::string msg;
  if (!lvx.Create(&msg)) {
    std::fprintf(stderr, "*** %s\n", msg.c_str());
    return false;
  }
  qlink::lvxHandle_t p = lvx.get();
  int err = 0;
  const auto t0 = Clock::now();
  if (!Check(p, qlink::lvxOpenWriteEx(p, path.c_str(), "lvxbench", compress ? 1 : 0, &err),
             "open for writing"))
    return false;
  qlink::lvxUELRegisterRawStart(p);
  char label[16];
  for (int i = 1; i <= side; ++i) {
    std::snprintf(label, sizeof label, "l%d", i);
    qlink::lvxUELRegisterRaw(p, label);
  }
  qlink::lvxUELRegisterDone(p);
  qlink::lvxDataWriteRawStart(p, "x", "benchmark symbol", 3, kind, 0);
  int keys[qlink::kLvxMaxDim] = {1, 1, 1};
  double values[qlink::kLvxValueCount] = {0, 0, 0, qlink::kPlusInf, 1};
  for (long r = 0; r < records; ++r) {
    keys[0] = static_cast<int>(r / (side * side)) + 1;
    keys[1] = static_cast<int>(r / side % side) + 1;
    keys[2] = static_cast<int>(r % side) + 1;
    values[0] = static_cast<double>(r % 1000) * 0.25 + 1.0;
    values[1] = static_cast<double>(r % 7);
    qlink::lvxDataWriteRaw(p, keys, values);
  }
  qlink::lvxDataWriteDone(p);
  if (!Check(p, qlink::lvxClose(p) == 0, "writing")) return false;
  const auto t1 = Clock::now();

  if (!Check(p, qlink::lvxOpenRead(p, path.c_str(), &err), "open for reading")) return false;
  int sym = 0, count = 0, first = 0;
  qlink::lvxFindSymbol(p, "x", &sym);
  qlink::lvxDataReadRawStart(p, sym, &count);
  long read = 0;
  double sum = 0;
  while (qlink::lvxDataReadRaw(p, keys, values, &first)) {
    ++read;
    sum += values[0];
  }
  qlink::lvxDataReadDone(p);
  if (!Check(p, qlink::lvxClose(p) == 0 && read == records, "reading")) return false;
  const auto t2 = Clock::now();

  struct stat st {};
  stat(path.c_str(), &st);
  std::printf("%-9s %-12s %10ld records  write %6.2f s %11.0f rec/s  read %6.2f s %11.0f rec/s"
              "  file %8.1f MB (%.1f bytes/record)  [checksum %.0f]\n",
              kind == qlink::kLvxParameter ? "parameter" : "variable",
              compress ? "compressed" : "plain", records, Seconds(t0, t1),
              static_cast<double>(records) / Seconds(t0, t1), Seconds(t1, t2),
              static_cast<double>(records) / Seconds(t1, t2),
              static_cast<double>(st.st_size) / 1e6,
              static_cast<double>(st.st_size) / static_cast<double>(records), sum);
  std::remove(path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const long records = argc > 2 ? std::atol(argv[2]) : 10000000L;
  if (records < 1 || records > 216L * 216 * 216) {
    std::fprintf(stderr, "RECORDS must be 1 .. %ld\n", 216L * 216 * 216);
    return 1;
  }
  qlink::LvxBinding().SetLoadDirectory(QLINK_SYSDIR "/");
  bool ok = true;
  for (int kind : {qlink::kLvxParameter, qlink::kLvxVariable})
    for (bool compress : {false, true})
      ok = Run(dir + "/lvxbench.lvx", records, kind, compress) && ok;
  return ok ? 0 : 1;
}
