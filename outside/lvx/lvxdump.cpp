// lvxdump FILE: prints an LVX file's producer, labels, symbols and records, with special values
// by name. Exit code 0 when the whole file was read, 1 otherwise.
#include <cstdio>
#include <string>

#include "outside/lvx/lvxfile.h"
#include "runtime/lvocommon.h"

namespace {

using qlink::lvxlib::LvxFile;

const char* const kKindNames[] = {"set", "parameter", "variable", "equation"};
const char* const kValueNames[] = {"level", "marginal", "lower", "upper", "scale"};

std::string ValueText(double v) {
  if (v == qlink::kUndf) return "UNDF";
  if (v == qlink::kNa) return "NA";
  if (v == qlink::kPlusInf) return "+INF";
  if (v == qlink::kMinusInf) return "-INF";
  if (v == qlink::kEps) return "EPS";
  return qlink::FormatNumber(v);
}

int Report(const LvxFile& f, const char* what) {
  std::fprintf(stderr, "*** %s: %s\n", what, f.ErrorText(f.LastError()).c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lvxdump FILE\n");
    return 1;
  }
  try {
    LvxFile f;
    int err = 0;
    if (!f.OpenRead(argv[1], &err)) return Report(f, argv[1]);
    std::string version, producer;
    f.FileVersion(&version, &producer);
    int symbols = 0, labels = 0;
    f.SystemInfo(&symbols, &labels);
    std::printf("File     %s\nFormat   %s\nProducer %s\n", argv[1], version.c_str(),
                producer.c_str());
    std::printf("\nLabels (%d)\n", labels);
    std::string label;
    for (int i = 1; i <= labels; ++i) {
      f.LabelGet(i, &label);
      std::printf("%8d  %s\n", i, label.c_str());
    }
    std::printf("\nSymbols (%d)\n", symbols);
    int keys[qlink::lvxlib::kMaxDim];
    double values[qlink::lvxlib::kValueCount];
    std::string line, name, text;
    for (int s = 1; s <= symbols; ++s) {
      int dim = 0, kind = 0, records = 0, user_info = 0;
      f.SymbolInfo(s, &name, &dim, &kind);
      f.SymbolInfoX(s, &records, &user_info, &text);
      std::printf("\n%s(%d) %s \"%s\", %d records, user information %d\n", name.c_str(), dim,
                  kKindNames[kind], text.c_str(), records, user_info);
      if (!f.DataReadRawStart(s, &records)) return Report(f, name.c_str());
      const int shown = kind >= 2 ? qlink::lvxlib::kValueCount : 1;
      int first = 0;
      while (f.DataReadRaw(keys, values, &first)) {
        line = "  ";
        for (int k = 0; k < dim; ++k) {
          if (k > 0) line += '.';
          f.LabelGet(keys[k], &label);
          line += '\'' + label + '\'';
        }
        if (dim == 0) line += "(scalar)";
        for (int v = 0; v < shown; ++v) {
          line += shown > 1 ? std::string("  ") + kValueNames[v] + ' ' : std::string("  ");
          line += ValueText(values[v]);
        }
        std::puts(line.c_str());
      }
      if (f.ErrorCount() > 0) return Report(f, name.c_str());
      f.DataReadDone();
    }
    if (f.Close() != 0) return Report(f, argv[1]);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "*** lvxdump: %s\n", e.what());
    return 1;
  }
}
