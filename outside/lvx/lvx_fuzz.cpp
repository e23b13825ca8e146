// libFuzzer target for the LVX reader: any byte string is opened as a file and, when it opens,
// every label, symbol and record is read. The reader must never crash, hang or read out of
// bounds.
#include <cstdint>
#include <cstdio>
#include <string>

#include "outside/lvx/lvxfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qlink::lvxlib::LvxFile;
  if (size == 0) return 0;
  std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (stream == nullptr) return 0;
  LvxFile f;
  int err = 0;
  if (!f.OpenReadStream(stream, &err)) return 0;
  int symbols = 0, labels = 0;
  f.SystemInfo(&symbols, &labels);
  std::string text;
  for (int i = 1; i <= labels; ++i) f.LabelGet(i, &text);
  int keys[qlink::lvxlib::kMaxDim];
  double values[qlink::lvxlib::kValueCount];
  for (int s = 1; s <= symbols; ++s) {
    int dim = 0, kind = 0, records = 0, user = 0, found = 0;
    f.SymbolInfo(s, &text, &dim, &kind);
    f.FindSymbol(text.c_str(), &found);
    f.SymbolInfoX(s, &records, &user, &text);
    if (!f.DataReadRawStart(s, &records)) continue;
    int first = 0;
    while (f.DataReadRaw(keys, values, &first)) {
      for (int k = 0; k < dim; ++k) f.LabelGet(keys[k], &text);
    }
    f.DataReadDone();
  }
  f.Close();
  return 0;
}
