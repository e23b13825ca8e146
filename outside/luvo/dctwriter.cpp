#include "outside/luvo/dctwriter.h"

#include <cstring>
#include <fstream>

namespace luvo {

namespace {

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

bool IsPlainLabelChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::strchr("_-+.#@/", c) != nullptr;
}

char AutoQuote(std::string_view label) {
  for (char c : label)
    if (!IsPlainLabelChar(c)) return label.find('\'') == std::string_view::npos ? '\'' : '"';
  return ' ';
}

}  // namespace

int DictionaryWriter::AddVariable(std::string name, int dim, std::string text) {
  syms_.push_back({std::move(name), true, dim, std::move(text)});
  return static_cast<int>(syms_.size());
}

int DictionaryWriter::AddEquation(std::string name, int dim, std::string text) {
  syms_.push_back({std::move(name), false, dim, std::move(text)});
  return static_cast<int>(syms_.size());
}

void DictionaryWriter::AddLabel(const std::string& label, char quote) {
  if (label_index_.emplace(Lower(label), static_cast<int>(labels_.size()) + 1).second) {
    labels_.push_back(label);
    quotes_.push_back(quote);
  }
}

int DictionaryWriter::Label(const std::string& label) {
  AddLabel(label, AutoQuote(label));
  return label_index_[Lower(label)];
}

DictionaryWriter::Entry DictionaryWriter::MakeEntry(int symbol, const std::vector<std::string>& labels) {
  Entry e;
  e.symbol = symbol;
  for (const auto& l : labels) e.labels.push_back(Label(l));
  return e;
}

void DictionaryWriter::AddColumn(int symbol, const std::vector<std::string>& labels) {
  cols_.push_back(MakeEntry(symbol, labels));
}

void DictionaryWriter::AddRow(int symbol, const std::vector<std::string>& labels) {
  rows_.push_back(MakeEntry(symbol, labels));
}

bool DictionaryWriter::Text(std::string* text, std::string* error) const {
  std::string& s = *text;
  s = "* dictionary of a model instance\nLUVO-DICTIONARY 1\nLABELS " + std::to_string(labels_.size()) + "\n";
  for (std::size_t i = 0; i < labels_.size(); ++i) {
    const std::string& l = labels_[i];
    const char q = quotes_[i];
    const bool bad = l.empty() || l.find_first_of("\r\n") != std::string::npos ||
                     (q == ' ' && (l[0] == '\'' || l[0] == '"' || l[0] == '*' || l.front() == ' ' ||
                                   l.back() == ' ' || l.front() == '\t' || l.back() == '\t')) ||
                     (q != ' ' && l.find(q) != std::string::npos);
    if (bad) {
      *error = "label \"" + l + "\" cannot be written";
      return false;
    }
    if (q == ' ') s += l + "\n";
    else s += std::string(1, q) + l + q + "\n";
  }
  s += "SYMBOLS " + std::to_string(syms_.size()) + "\n";
  for (const Sym& y : syms_) {
    s += y.name + (y.variable ? " variable " : " equation ") + std::to_string(y.dim);
    if (!y.text.empty()) s += " " + y.text;
    s += "\n";
  }
  for (const bool columns : {true, false}) {
    const auto& entries = columns ? cols_ : rows_;
    s += std::string(columns ? "COLUMNS " : "ROWS ") + std::to_string(entries.size()) + "\n";
    for (const Entry& e : entries) {
      s += std::to_string(e.symbol);
      for (int l : e.labels) s += " " + std::to_string(l);
      s += "\n";
    }
  }
  s += "END\n";
  return true;
}

bool DictionaryWriter::Write(const std::string& path, std::string* error) const {
  std::string text;
  if (!Text(&text, error)) return false;
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace luvo
