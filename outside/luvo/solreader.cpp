#include "outside/luvo/solreader.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "outside/lvx/lvxfile.h"

namespace luvo {

namespace {

// Whether the header's model status (index 2) says that rows and columns follow.
bool HasSolution(const std::map<int, double>& header) {
  const auto it = header.find(2);
  if (it == header.end()) return false;
  const int s = static_cast<int>(it->second);
  return (s >= 1 && s <= 9) || (s >= 15 && s <= 17);
}

// Whether the bytes outside the data windows hold the variant's framing.
bool FramingOk(const std::string& raw, int variant, std::size_t* bad_block) {
  auto le32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(raw[at + static_cast<std::size_t>(i)]);
    return v;
  };
  for (std::size_t b = 0; b + 800 <= raw.size(); b += 800) {
    bool ok = true;
    if (variant == 2) ok = le32(b) == 792 && le32(b + 796) == 792;
    if (variant == 3)
      ok = static_cast<unsigned char>(raw[b]) == 255 && le32(b + 1) == 790 && le32(b + 795) == 790 &&
           static_cast<unsigned char>(raw[b + 799]) == 255;
    if (!ok) {
      *bad_block = b / 800 + 1;
      return false;
    }
  }
  return true;
}

// The bytes of the data windows of a block-binary file, in order.
std::string WindowBytes(const std::string& raw, int variant) {
  std::size_t first = 0, last = 800;
  if (variant == 2) first = 4, last = 796;
  if (variant == 3) first = 5, last = 795;
  std::string out;
  for (std::size_t b = 0; b + 800 <= raw.size(); b += 800) out.append(raw, b + first, last - first);
  return out;
}

bool ReadLvx(const std::string& path, int rows, int cols, SolutionFile* out, std::string* error) {
  qlink::lvxlib::LvxFile f;
  int err = 0;
  if (!f.OpenRead(path.c_str(), &err)) {
    *error = "cannot read " + path + ": " + f.ErrorText(err);
    return false;
  }
  // Reads the records of symbol `name`, which must have `want_dim` keys.
  std::string bad;
  auto read = [&](const char* name, int want_dim, std::vector<LvxRecord>* recs) {
    int sym = 0, count = 0, dim = 0, kind = 0, first = 0;
    std::string text;
    if (!f.FindSymbol(name, &sym)) return;
    f.SymbolInfo(sym, &text, &dim, &kind);
    if (dim != want_dim) {
      if (bad.empty()) bad = std::string("symbol ") + name + " has " + std::to_string(dim) + " keys, not " + std::to_string(want_dim);
      return;
    }
    f.DataReadRawStart(sym, &count);
    int keys[qlink::lvxlib::kMaxDim];
    double v[5];
    while (f.DataReadRaw(keys, v, &first)) recs->push_back({std::vector<int>(keys, keys + dim), v[0]});
    f.DataReadDone();
  };
  read("equations", 2, &out->lvx_equations);
  read("variables", 2, &out->lvx_variables);
  read("option", 1, &out->lvx_option);
  bool ok = f.ErrorCount() == 0;
  if (!ok) *error = f.ErrorText(f.LastError());
  f.Close();
  if (ok && !bad.empty()) {
    *error = bad;
    ok = false;
  }
  constexpr double kEps = 5.0e300;
  for (const LvxRecord& r : out->lvx_option) {
    const double v = r.value == kEps ? 0 : r.value;
    if (r.keys[0] <= 10) out->header[r.keys[0]] = v;
    else out->trailer[r.keys[0] - 10] = v;
  }
  auto decode = [](const std::vector<LvxRecord>& recs, int n, std::vector<SolRecord>* dst) {
    dst->assign(static_cast<std::size_t>(n), SolRecord{});
    for (const LvxRecord& r : recs) {
      if (r.keys[0] < 1 || r.keys[0] > n) continue;
      SolRecord& s = (*dst)[static_cast<std::size_t>(r.keys[0] - 1)];
      const double v = r.value == kEps ? 0 : r.value;
      switch (r.keys[1]) {
        case 1: s.status = static_cast<int>(v); break;
        case 2: s.bstat = static_cast<int>(v); break;
        case 3: s.level = v; break;
        case 4: s.marginal = v; break;
        case 5: s.scale = v; break;
      }
    }
  };
  if (!out->lvx_equations.empty() || !out->lvx_variables.empty()) {
    decode(out->lvx_equations, rows, &out->rows);
    decode(out->lvx_variables, cols, &out->cols);
  }
  return ok;
}

}  // namespace

bool ReadSolutionFile(const std::string& path, int format_code, int rows, int cols, SolutionFile* out,
                      std::string* error) {
  *out = SolutionFile{};
  const int variant = format_code % 10 > 5 ? 0 : format_code % 10;
  const bool scale_field = format_code / 1000 % 10 == 3;
  if (variant == 5) return ReadLvx(path, rows, cols, out, error);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string raw = ss.str();
  if (variant == 0) {
    std::istringstream t(raw);
    std::string bad_word;
    auto number = [&](double* v) {
      std::string w;
      if (!(t >> w)) return false;
      char* end = nullptr;
      *v = std::strtod(w.c_str(), &end);
      if (end == w.c_str() || *end != '\0') {
        bad_word = w;
        return false;
      }
      return true;
    };
    auto fail = [&](const char* what) {
      *error = bad_word.empty() ? what : "bad number \"" + bad_word + "\"";
      return false;
    };
    auto values = [&](std::map<int, double>* dst) {
      for (double idx, v; number(&idx) && number(&v);) {
        if (idx == 0) return true;
        (*dst)[static_cast<int>(idx)] = v;
      }
      return false;
    };
    if (!values(&out->header)) return fail("header without its marker");
    if (HasSolution(out->header)) {
      for (auto* dst : {&out->rows, &out->cols}) {
        const int n = dst == &out->rows ? rows : cols;
        for (int k = 0; k < n; ++k) {
          SolRecord r;
          double b = 0, s = 0;
          if (!number(&r.level) || !number(&r.marginal) || !number(&b) || !number(&s) ||
              (scale_field && !number(&r.scale)))
            return fail("short solution record");
          r.bstat = static_cast<int>(b);
          r.status = static_cast<int>(s);
          dst->push_back(r);
        }
      }
    }
    if (!values(&out->trailer)) return fail("trailer without its marker");
    return true;
  }
  if (raw.size() % 800 != 0) return *error = "file is not made of whole blocks", false;
  std::size_t bad_block = 0;
  if (!FramingOk(raw, variant, &bad_block))
    return *error = "block " + std::to_string(bad_block) + " does not hold the framing of variant " + std::to_string(variant), false;
  const std::string d = WindowBytes(raw, variant);
  std::size_t p = 0;
  auto real = [&](double* v) {
    if (p + 8 > d.size()) return false;
    std::memcpy(v, d.data() + p, 8);  // little-endian host
    p += 8;
    return true;
  };
  auto values = [&](std::map<int, double>* dst) {
    while (p < d.size()) {
      const int idx = static_cast<unsigned char>(d[p++]);
      double v;
      if (!real(&v)) return false;
      if (idx == 0) return true;
      (*dst)[idx] = v;
    }
    return false;
  };
  if (!values(&out->header)) return *error = "header without its marker", false;
  if (HasSolution(out->header)) {
    for (auto* dst : {&out->rows, &out->cols}) {
      const int n = dst == &out->rows ? rows : cols;
      for (int k = 0; k < n; ++k) {
        if (p >= d.size()) return *error = "short solution record", false;
        const int f = static_cast<unsigned char>(d[p++]);
        SolRecord r;
        r.status = f & 3;
        r.bstat = (f >> 2) & 3;
        if (!(f & 16) && !real(&r.level)) return *error = "short solution record", false;
        if (!(f & 32) && !real(&r.marginal)) return *error = "short solution record", false;
        if (!(f & 64) && !real(&r.scale)) return *error = "short solution record", false;
        dst->push_back(r);
      }
    }
  }
  if (!values(&out->trailer)) return *error = "trailer without its marker", false;
  return true;
}

}  // namespace luvo
