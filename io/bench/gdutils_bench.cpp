// gdutils_bench [DIR]: writes a synthetic instance (1,000,000 columns, 500,000 rows, 5,000,000
// Jacobian entries of which a tenth nonlinear, instruction code for 100,000 rows) in block-binary
// variant 2 and times read_model_instance on it; prints seconds and bytes of peak resident
// memory per Jacobian entry. A second, half-size run shows how the cost grows.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/gdutils.h"
#include "link/lvostate.h"
#include "outside/luvo/instwriter.h"

namespace {

long PeakRssKb() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  long kb = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::atol(line + 6);
  std::fclose(f);
  return kb;
}

luvo::ModelSpec Synthetic(int n, int m, int per_col, int nl_rows) {
  luvo::ModelSpec s;
  s.rows.resize(static_cast<std::size_t>(m));
  for (int i = 0; i < m; ++i) s.rows[static_cast<std::size_t>(i)].rhs = i % 7 == 0 ? 2.5 : 0;
  s.cols.resize(static_cast<std::size_t>(n));
  unsigned x = 12345;
  for (int j = 0; j < n; ++j) {
    luvo::ColSpec& c = s.cols[static_cast<std::size_t>(j)];
    c.upper = j % 3 == 0 ? 10 : luvo::kPlusInf;
    c.level = 0.5 * (j % 5);
    for (int k = 0; k < per_col; ++k) {
      x = x * 1103515245u + 12345u;
      const int row = static_cast<int>((x >> 8) % static_cast<unsigned>(m)) + 1;
      c.entries.push_back({row, k == 0 ? 1.0 : 0.25 * (k + 1), (j + k) % 10 == 0});
    }
  }
  for (int r = 1; r <= nl_rows; ++r) {
    s.code.push_back({18, 0});
    s.code.push_back({1, r});
    s.code.push_back({12, 1});
    s.code.push_back({20, 10});
    s.code.push_back({3, r});
  }
  s.pool = {2.0, 3.0};
  return s;
}

// Writes the instance files of the given size; returns the control counts.
bool Write(const std::string& dir, int n, int m, int per_col, int nl_rows, luvo::ControlSpec* spec) {
  luvo::ModelSpec model = Synthetic(n, m, per_col, nl_rows);
  *spec = luvo::DefaultControl(dir, dir);
  spec->alg_file_type = 2;
  luvo::DescribeModel(model, spec);
  std::string error;
  if (!luvo::WriteInstance(*spec, model, &error)) {
    std::fprintf(stderr, "gdutils_bench: %s\n", error.c_str());
    return false;
  }
  return true;
}

// In a fresh process: reads the instance and prints seconds and peak resident growth.
int Read(const std::string& dir, int m, int n, int instr, int pool, long nonzeros) {
  luvo::ControlSpec spec = luvo::DefaultControl(dir, dir);
  qlink::ControlFile& c = qlink::Run().ctrl;
  c.NumRows = m;
  c.NumCols = n;
  c.NumInstr = instr;
  c.NumConst = pool;
  c.AlgFileType = 2;
  c.NameInstrFile = spec.instr_file;
  c.NameMatrixFile = spec.matrix_file;
  const long before = PeakRssKb();
  const auto t0 = std::chrono::steady_clock::now();
  const int rc = qlink::read_model_instance();
  const auto t1 = std::chrono::steady_clock::now();
  const long rss = PeakRssKb() - before;
  if (rc != 0) std::fprintf(stderr, "gdutils_bench: read_model_instance returned %d\n", rc);
  std::printf("%d rows, %d columns, %ld entries: %.3f s, peak resident growth %ld kB = %.1f bytes per entry\n", m, n,
              nonzeros, std::chrono::duration<double>(t1 - t0).count(), rss, rss * 1024.0 / static_cast<double>(nonzeros));
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 8 && std::string(argv[1]) == "read")
    return Read(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                std::atol(argv[7]));
  const std::string dir = argc > 1 ? std::string(argv[1]) + "/" : "/tmp/";
  for (int scale : {2, 1}) {
    luvo::ControlSpec spec;
    if (!Write(dir, 1000000 / scale, 500000 / scale, 5, 100000 / scale, &spec)) return 1;
    const std::string cmd = std::string(argv[0]) + " read " + dir + " " + std::to_string(spec.num_rows) + " " +
                            std::to_string(spec.num_cols) + " " + std::to_string(spec.num_instr) + " " +
                            std::to_string(spec.num_const) + " " + std::to_string(spec.num_nonzeros);
    if (std::system(cmd.c_str()) != 0) return 1;
  }
  return 0;
}
