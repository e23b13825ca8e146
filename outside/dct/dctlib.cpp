#include "outside/dct/dctlib.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <unordered_set>

#include "outside/opt/text.h"
#include "runtime/platform.h"

namespace qlink::dctlib {

namespace {

constexpr std::string_view kHeader = "LUVO-DICTIONARY 1";

using libtext::IsBlank;
using libtext::IsWord;
using libtext::Lower;
using libtext::Trim;

// The next blank-separated field of s, removed from s; empty at the end.
std::string_view NextField(std::string_view& s) {
  s = Trim(s);
  std::size_t n = 0;
  while (n < s.size() && !IsBlank(s[n])) ++n;
  const std::string_view f = s.substr(0, n);
  s.remove_prefix(n);
  return f;
}

bool ToInt(std::string_view f, int* v) {
  if (f.empty()) return false;
  const auto r = std::from_chars(f.data(), f.data() + f.size(), *v);
  return r.ec == std::errc() && r.ptr == f.data() + f.size();
}

// Reads the file line by line, skipping blank and comment lines.
class Lines {
 public:
  explicit Lines(std::istream& in) : in_(in) {}
  // The next meaningful line, trimmed; false at the end of the file.
  bool Next(std::string_view* line) {
    while (std::getline(in_, buf_)) {
      ++number_;
      const std::string_view t = Trim(buf_);
      if (t.empty() || t[0] == '*') continue;
      *line = t;
      return true;
    }
    return false;
  }
  int Number() const { return number_; }

 private:
  std::istream& in_;
  std::string buf_;
  int number_ = 0;
};

}  // namespace

void Dictionary::Clear() {
  labels_.clear();
  symbols_.clear();
  rows_ = Entries{};
  cols_ = Entries{};
  label_index_.clear();
  symbol_index_.clear();
}

bool Dictionary::Load(const std::string& path, std::string* error) {
  Clear();
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int code = errno;
    *error = "Cannot open dictionary file \"" + path + "\": " +
             (code != 0 ? platform::ErrorText(code) : std::string("cannot be opened"));
    return false;
  }
  return Read(in, error);
}

bool Dictionary::Read(std::istream& in, std::string* error) {
  Clear();
  Lines lines(in);
  std::string_view line;
  auto fail = [&](std::string_view what) {
    Clear();
    *error = "Dictionary file line " + std::to_string(lines.Number()) + ": " + std::string(what);
    return false;
  };
  auto eof = [&](std::string_view expected) {
    Clear();
    *error = "Dictionary file ends early: " + std::string(expected) + " expected";
    return false;
  };
  // A section line "<KEYWORD> <count>".
  auto section = [&](std::string_view keyword, int* count) {
    if (!lines.Next(&line)) return eof(keyword);
    std::string_view rest = line;
    const std::string_view word = NextField(rest);
    if (word != keyword || !ToInt(NextField(rest), count) || *count < 0 || !Trim(rest).empty())
      return fail(std::string(keyword) + " and a count expected");
    return true;
  };

  if (!lines.Next(&line)) return eof("the header \"LUVO-DICTIONARY 1\"");
  if (line != kHeader) return fail("not a dictionary file (header \"LUVO-DICTIONARY 1\" expected)");

  int count = 0;
  if (!section("LABELS", &count)) return false;
  for (int i = 1; i <= count; ++i) {
    if (!lines.Next(&line)) return eof("a label");
    Label label;
    if (line[0] == '\'' || line[0] == '"') {
      const char q = line[0];
      if (line.size() < 2 || line.back() != q || line.substr(1, line.size() - 2).find(q) != std::string_view::npos)
        return fail("a quoted label must be the whole line, with no quote of the same kind inside");
      label.text = std::string(line.substr(1, line.size() - 2));
      label.quote = q;
    } else {
      label.text = std::string(line);
    }
    if (label.text.empty()) return fail("empty label");
    if (!label_index_.emplace(Lower(label.text), i).second)
      return fail("label \"" + label.text + "\" is listed twice");
    labels_.push_back(std::move(label));
  }

  if (!section("SYMBOLS", &count)) return false;
  for (int i = 1; i <= count; ++i) {
    if (!lines.Next(&line)) return eof("a symbol");
    std::string_view rest = line;
    Symbol s;
    s.name = std::string(NextField(rest));
    if (!IsWord(s.name)) return fail("symbol name expected");
    const std::string_view kind = NextField(rest);
    if (kind == "variable") s.type = kSymbolVariable;
    else if (kind == "equation") s.type = kSymbolEquation;
    else return fail("\"variable\" or \"equation\" expected after the symbol name");
    if (!ToInt(NextField(rest), &s.dim) || s.dim < 0 || s.dim > kMaxDimension)
      return fail("dimension 0 ... 20 expected");
    s.text = std::string(Trim(rest));
    if (!symbol_index_.emplace(Lower(s.name), i).second)
      return fail("symbol \"" + s.name + "\" is listed twice");
    symbols_.push_back(std::move(s));
  }

  // Columns, then rows: a symbol number and one label number per index position.
  std::unordered_set<std::string> keys;
  std::string key;
  for (const bool columns : {true, false}) {
    const std::string_view keyword = columns ? "COLUMNS" : "ROWS";
    Entries& e = columns ? cols_ : rows_;
    if (!section(keyword, &count)) return false;
    for (int i = 0; i < count; ++i) {
      if (!lines.Next(&line)) return eof(columns ? "a column" : "a row");
      std::string_view rest = line;
      int sym = 0;
      if (!ToInt(NextField(rest), &sym) || sym < 1 || sym > SymbolCount())
        return fail("symbol number 1 ... " + std::to_string(SymbolCount()) + " expected");
      Symbol& s = symbols_[static_cast<std::size_t>(sym - 1)];
      if (s.type != (columns ? kSymbolVariable : kSymbolEquation))
        return fail("symbol \"" + s.name + "\" is " + (columns ? "an equation, not a variable" : "a variable, not an equation"));
      key.assign(reinterpret_cast<const char*>(&sym), sizeof sym);
      e.sym.push_back(sym);
      e.offset.push_back(static_cast<int>(e.uels.size()));
      for (int k = 0; k < s.dim; ++k) {
        int uel = 0;
        if (!ToInt(NextField(rest), &uel) || uel < 1 || uel > LabelCount())
          return fail("symbol \"" + s.name + "\" needs " + std::to_string(s.dim) + " label numbers 1 ... " +
                      std::to_string(LabelCount()));
        e.uels.push_back(uel);
        key.append(reinterpret_cast<const char*>(&uel), sizeof uel);
      }
      if (!Trim(rest).empty())
        return fail("more label numbers than the " + std::to_string(s.dim) + " of symbol \"" + s.name + "\"");
      if (!keys.insert(key).second) return fail("the same symbol and labels are listed twice");
      s.positions.push_back(i);
    }
  }
  if (!lines.Next(&line)) return eof("END");
  if (line != "END") return fail("END expected");
  if (lines.Next(&line)) return fail("text after END");
  return true;
}

int Dictionary::SymbolIndex(std::string_view name) const {
  const auto it = symbol_index_.find(Lower(name));
  return it == symbol_index_.end() ? 0 : it->second;
}

int Dictionary::LabelIndex(std::string_view label) const {
  const auto it = label_index_.find(Lower(label));
  return it == label_index_.end() ? 0 : it->second;
}

const Symbol* Dictionary::SymbolAt(int sym) const {
  if (sym < 1 || sym > SymbolCount()) return nullptr;
  return &symbols_[static_cast<std::size_t>(sym - 1)];
}

const Label* Dictionary::LabelAt(int uel) const {
  if (uel < 1 || uel > LabelCount()) return nullptr;
  return &labels_[static_cast<std::size_t>(uel - 1)];
}

bool Dictionary::Uels(const Entries& e, int pos, int* sym, std::vector<int>* uels) const {
  uels->clear();
  *sym = 0;
  if (pos < 0 || static_cast<std::size_t>(pos) >= e.sym.size()) return false;
  const std::size_t p = static_cast<std::size_t>(pos);
  *sym = e.sym[p];
  const int dim = symbols_[static_cast<std::size_t>(*sym - 1)].dim;
  const auto first = e.uels.begin() + e.offset[p];
  uels->assign(first, first + dim);
  return true;
}

int Dictionary::FindNext(Search& s) const {
  const Symbol* sym = SymbolAt(s.sym);
  if (sym == nullptr) return -1;
  const Entries& e = sym->type == kSymbolVariable ? cols_ : rows_;
  while (s.next < sym->positions.size()) {
    const int pos = sym->positions[s.next++];
    const int* uels = e.uels.data() + e.offset[static_cast<std::size_t>(pos)];
    bool match = true;
    for (std::size_t k = 0; k < s.pattern.size() && k < static_cast<std::size_t>(sym->dim); ++k)
      if (s.pattern[k] != 0 && s.pattern[k] != uels[k]) match = false;
    if (match) return pos;
  }
  return -1;
}

}  // namespace qlink::dctlib
