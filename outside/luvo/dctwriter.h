// The modeling system's side of the dictionary: names the symbols and labels of a model instance
// and which symbol and label tuple each column and row belongs to, and writes the dictionary
// file that the dictionary library reads (format: outside/dct/README.md).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace luvo {

class DictionaryWriter {
 public:
  // Adds a symbol and returns its number (from 1).
  int AddVariable(std::string name, int dim, std::string text = "");
  int AddEquation(std::string name, int dim, std::string text = "");
  // Appends the next column (row): its symbol and one label per index position. Labels are
  // numbered in the order of their first use; the entry is written as given, so a test can also
  // describe a wrong one.
  void AddColumn(int symbol, const std::vector<std::string>& labels);
  void AddRow(int symbol, const std::vector<std::string>& labels);
  // Chooses the quote character of a label (' ' for none, '\'' or '"') and registers it, unless
  // it is registered already. Labels registered without a choice get quotes when they hold
  // anything but letters, digits and _ - + . # @ / characters.
  void AddLabel(const std::string& label, char quote);

  int ColumnCount() const { return static_cast<int>(cols_.size()); }
  int RowCount() const { return static_cast<int>(rows_.size()); }

  // The file's text; false when a label cannot be written (empty, or holding a line break or
  // both kinds of quote).
  bool Text(std::string* text, std::string* error) const;
  bool Write(const std::string& path, std::string* error) const;

 private:
  struct Sym {
    std::string name;
    bool variable = true;
    int dim = 0;
    std::string text;
  };
  struct Entry {
    int symbol = 0;
    std::vector<int> labels;
  };
  int Label(const std::string& label);
  Entry MakeEntry(int symbol, const std::vector<std::string>& labels);

  std::vector<Sym> syms_;
  std::vector<std::string> labels_;
  std::vector<char> quotes_;
  std::unordered_map<std::string, int> label_index_;  // lower-case label -> number
  std::vector<Entry> cols_, rows_;
};

}  // namespace luvo
