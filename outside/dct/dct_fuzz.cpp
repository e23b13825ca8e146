// libFuzzer target of the dictionary file reader: any input is read, and whatever was accepted
// is looked up and searched.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "outside/dct/dctlib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  qlink::dctlib::Dictionary d;
  std::string error;
  if (!d.Read(in, &error)) return 0;
  int sym = 0;
  std::vector<int> uels;
  for (int c = 0; c < d.ColumnCount(); ++c) d.ColUels(c, &sym, &uels);
  for (int r = 0; r < d.RowCount(); ++r) d.RowUels(r, &sym, &uels);
  for (int s = 1; s <= d.SymbolCount(); ++s) {
    qlink::dctlib::Dictionary::Search search;
    search.sym = s;
    search.pattern.assign(static_cast<std::size_t>(d.SymbolAt(s)->dim), d.LabelCount() > 0 ? 1 : 0);
    while (d.FindNext(search) >= 0) {
    }
  }
  return 0;
}
