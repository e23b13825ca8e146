// The modeling system's reader of the solution file in all six storage variants.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace luvo {

struct SolRecord {
  int status = 0, bstat = 0;
  double level = 0, marginal = 0, scale = 1;
};

struct LvxRecord {
  std::vector<int> keys;
  double value = 0;
};

struct SolutionFile {
  std::map<int, double> header;   // index -> value, before the first marker
  std::map<int, double> trailer;  // after it
  std::vector<SolRecord> rows, cols;
  // The LVX variant: the records as stored (EPS kept), per symbol.
  std::vector<LvxRecord> lvx_equations, lvx_variables, lvx_option;
};

// Reads the solution file of a model with `rows` rows and `cols` columns written in the variant
// of `format_code`. Row and column records are read when the header's model status says a
// solution was written. A file cut short, a block of a binary file without its variant's
// framing, a word that is no number or an LVX symbol with the wrong number of keys gives false
// with the reason in *error.
bool ReadSolutionFile(const std::string& path, int format_code, int rows, int cols, SolutionFile* out,
                      std::string* error);

}  // namespace luvo
