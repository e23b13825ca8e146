// The dictionary library of the modeling system: the names of a model instance's symbols and
// labels, and which symbol and label tuple every row and column belongs to. The shared library
// liblvdctlib64.so exports it through a C interface (dctexports.cpp). File format: README.md.
#pragma once

#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qlink::dctlib {

inline constexpr int kSymbolVariable = 5;
inline constexpr int kSymbolEquation = 6;
inline constexpr int kMaxDimension = 20;

struct Label {
  std::string text;
  char quote = ' ';  // ' ' for a bare label, else the quote character it was written with
};

struct Symbol {
  std::string name;
  int type = kSymbolVariable;
  int dim = 0;
  std::string text;
  std::vector<int> positions;  // its rows or columns (0-based), in file order
};

class Dictionary {
 public:
  // Reads a dictionary file; on failure the dictionary is empty and *error says why (with the
  // line number for a bad line).
  bool Load(const std::string& path, std::string* error);
  bool Read(std::istream& in, std::string* error);
  void Clear();

  int LabelCount() const { return static_cast<int>(labels_.size()); }
  int SymbolCount() const { return static_cast<int>(symbols_.size()); }
  int RowCount() const { return static_cast<int>(rows_.sym.size()); }
  int ColumnCount() const { return static_cast<int>(cols_.sym.size()); }

  // 1-based symbol, label numbers; 0 when unknown. Names and labels compare without regard to
  // case.
  int SymbolIndex(std::string_view name) const;
  int LabelIndex(std::string_view label) const;
  const Symbol* SymbolAt(int sym) const;  // null outside 1 ... SymbolCount()
  const Label* LabelAt(int uel) const;

  // Symbol and label numbers of row or column `pos` (0-based); false when there is none.
  bool RowUels(int pos, int* sym, std::vector<int>* uels) const { return Uels(rows_, pos, sym, uels); }
  bool ColUels(int pos, int* sym, std::vector<int>* uels) const { return Uels(cols_, pos, sym, uels); }

  // Searches the rows or columns of a symbol that match a label tuple with 0 as wildcard.
  struct Search {
    int sym = 0;
    std::vector<int> pattern;
    std::size_t next = 0;  // index into the symbol's positions
  };
  // Next matching position, -1 at the end.
  int FindNext(Search& s) const;

 private:
  struct Entries {
    std::vector<int> sym;     // per row or column
    std::vector<int> offset;  // into uels
    std::vector<int> uels;
  };
  bool Uels(const Entries& e, int pos, int* sym, std::vector<int>* uels) const;

  std::vector<Label> labels_;
  std::vector<Symbol> symbols_;
  Entries rows_, cols_;
  std::unordered_map<std::string, int> label_index_;   // lower-case text -> number
  std::unordered_map<std::string, int> symbol_index_;  // lower-case name -> number
};

}  // namespace qlink::dctlib
