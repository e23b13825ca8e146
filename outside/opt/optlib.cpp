#include "outside/opt/optlib.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>

#include "outside/opt/text.h"
#include "runtime/lvocommon.h"
#include "runtime/platform.h"

namespace qlink::optlib {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

using libtext::IsBlank;
using libtext::IsWord;
using libtext::IsWordChar;
using libtext::IsWordStart;
using libtext::Trim;

void SkipBlanks(std::string_view line, std::size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
}

// A word [A-Za-z][A-Za-z0-9_]* at pos; empty when there is none.
std::string_view TakeWord(std::string_view line, std::size_t& pos) {
  const std::size_t start = pos;
  if (pos < line.size() && IsWordStart(line[pos])) {
    while (pos < line.size() && IsWordChar(line[pos])) ++pos;
  }
  return line.substr(start, pos - start);
}

// Text up to the next blank.
std::string_view TakeToken(std::string_view line, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// Reads lines of a text file; a final line without line end counts. Lines keep no '\r', and
// the first line no UTF-8 byte order mark.
template <typename F>
void ForEachLine(std::istream& in, F&& f) {
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Editors on some systems begin a file with a byte order mark.
    if (number == 0 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    f(++number, std::string_view(line));
  }
}

bool OpenFile(const std::string& path, std::ifstream& in, std::string* error) {
  errno = 0;
  in.open(path, std::ios::binary);
  if (in) return true;
  const int code = errno;
  *error = code != 0 ? platform::ErrorText(code) : "cannot be opened";
  return false;
}

// The value of a real option as a number for range checks: special values as what they mean.
double RangeValue(double v) {
  if (v == kPlusInf) return kInfinity;
  if (v == kMinusInf) return -kInfinity;
  if (v == kEps) return 0.0;
  return v;
}

std::string RangeText(const OptionDef& d) {
  return "[" + NumberText(d.lower) + ", " + NumberText(d.upper) + "]";
}

bool InRange(const OptionDef& d, double v) {
  const double r = RangeValue(v);
  return r >= d.lower && r <= d.upper;
}

// Finds an enumerated option's word without regard to case; the position or -1.
int FindWord(const OptionDef& d, std::string_view w) {
  for (std::size_t i = 0; i < d.words.size(); ++i)
    if (EqualsIgnoreCase(d.words[i], w)) return static_cast<int>(i);
  return -1;
}

std::string WordList(const OptionDef& d) {
  std::string s;
  for (const auto& w : d.words) {
    if (!s.empty()) s += ", ";
    s += w;
  }
  return s;
}

// A quoted string at pos (pos on the quote). False when the closing quote is missing.
bool TakeQuoted(std::string_view line, std::size_t& pos, std::string_view* out) {
  const char q = line[pos];
  const std::size_t close = line.find(q, pos + 1);
  if (close == std::string_view::npos) return false;
  *out = line.substr(pos + 1, close - pos - 1);
  pos = close + 1;
  return true;
}

}  // namespace

std::string Lower(std::string_view s) { return libtext::Lower(s); }

bool ParseReal(std::string_view t, double* value) {
  const std::string w = Lower(t);
  if (w == "inf" || w == "+inf") {
    *value = kPlusInf;
    return true;
  }
  if (w == "-inf") {
    *value = kMinusInf;
    return true;
  }
  if (w == "eps") {
    *value = kEps;
    return true;
  }
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  if (t.empty() || t[0] == '+') return false;
  double v = 0;
  const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
  if (res.ec != std::errc() || res.ptr != t.data() + t.size() || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ParseInteger(std::string_view t, int* value) {
  double v = 0;
  if (!ParseReal(t, &v) || v >= 1e300 || v != std::floor(v) || v < INT_MIN || v > INT_MAX)
    return false;
  *value = static_cast<int>(v);
  return true;
}

std::string NumberText(double x) {
  if (x == kPlusInf || x == kInfinity) return "inf";
  if (x == kMinusInf || x == -kInfinity) return "-inf";
  if (x == kEps) return "eps";
  return FormatNumber(x);
}

std::string_view TypeName(int type, bool dot) {
  if (dot) return "dot";
  switch (type) {
    case kTypeInteger: return "integer";
    case kTypeReal: return "real";
    case kTypeString: return "string";
    case kTypeStringList: return "list";
    case kTypeEnum: return "enum";
    default: return "unknown";
  }
}

bool SplitNameOpt(std::string_view value, std::string* name, int* number) {
  name->clear();
  *number = 0;
  const std::size_t point = value.find('.');
  const std::string_view head = value.substr(0, point);
  if (!IsWord(head)) return false;
  int n = 0;
  if (point != std::string_view::npos) {
    const std::string_view tail = value.substr(point + 1);
    if (tail.empty() || tail.size() > 9) return false;
    if (!std::all_of(tail.begin(), tail.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    std::from_chars(tail.data(), tail.data() + tail.size(), n);
  }
  *name = std::string(head);
  *number = n;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Definition file

void Definitions::Clear() {
  options_.clear();
  groups_.clear();
  by_name_.clear();
}

const OptionDef* Definitions::ByNumber(int number) const {
  if (number < 1 || number > Count()) return nullptr;
  return &options_[static_cast<std::size_t>(number - 1)];
}

const OptionDef* Definitions::ByName(std::string_view name) const {
  const auto it = by_name_.find(Lower(name));
  return it == by_name_.end() ? nullptr : &options_[static_cast<std::size_t>(it->second)];
}

int Definitions::Parse(std::istream& in, std::vector<Message>& messages) {
  Clear();
  int errors = 0;
  auto error = [&](int line, std::string_view what) {
    ++errors;
    std::string text = "*** Definition file";
    if (line > 0) text += " line " + std::to_string(line);
    text += ": ";
    text += what;
    messages.push_back({Bounded(text), kMessageError});
  };

  std::vector<OptionDef> defs;
  std::vector<bool> has_default, has_group;
  Group* group = nullptr;
  OptionDef* opt = nullptr;

  ForEachLine(in, [&](int ln, std::string_view raw) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line[0] == '*') return;
    std::size_t pos = 0;
    const bool attribute = IsBlank(raw[0]);
    const std::string word = Lower(TakeWord(line, pos));
    SkipBlanks(line, pos);
    const std::string_view rest = line.substr(pos);
    if (!attribute) {
      group = nullptr;
      opt = nullptr;
      if (word != "group" && word != "option") {
        error(ln, "\"group\" or \"option\" expected at the start of a line");
        return;
      }
      int number = 0;
      if (!ParseInteger(TakeToken(line, pos), &number) || number < 1) {
        error(ln, "positive number expected after \"" + word + "\"");
        return;
      }
      SkipBlanks(line, pos);
      if (word == "group") {
        if (std::any_of(groups_.begin(), groups_.end(), [&](const Group& g) { return g.number == number; })) {
          error(ln, "group " + std::to_string(number) + " is defined twice");
          return;
        }
        if (pos >= line.size()) {
          error(ln, "group " + std::to_string(number) + " has no title");
          return;
        }
        groups_.push_back({number, std::string(line.substr(pos)), {}});
        group = &groups_.back();
        return;
      }
      OptionDef d;
      d.number = number;
      d.line = ln;
      d.name = std::string(TakeWord(line, pos));
      if (d.name.empty() || (pos < line.size() && !IsBlank(line[pos]))) {
        error(ln, "option name expected (a letter, then letters, digits or underscores)");
        return;
      }
      SkipBlanks(line, pos);
      const std::string type = Lower(TakeToken(line, pos));
      SkipBlanks(line, pos);
      if (type == "integer") d.type = kTypeInteger;
      else if (type == "real") d.type = kTypeReal;
      else if (type == "string") d.type = kTypeString;
      else if (type == "list") d.type = kTypeStringList;
      else if (type == "enum") d.type = kTypeEnum;
      else if (type == "dot") d.type = kTypeReal, d.dot = true;
      else {
        error(ln, type.empty() ? "type expected after the option name"
                               : "unknown type " + Quoted(type) +
                                     " (integer, real, string, list, enum or dot)");
        return;
      }
      if (pos < line.size()) {
        error(ln, "unexpected text after the type: " + Quoted(line.substr(pos)));
        return;
      }
      d.lower = -kInfinity;
      d.upper = kInfinity;
      defs.push_back(std::move(d));
      has_default.push_back(false);
      has_group.push_back(false);
      opt = &defs.back();
      return;
    }

    // Attribute lines belong to the group or option above them.
    if (group != nullptr) {
      if (word == "text") group->text = std::string(rest);
      else error(ln, "a group has only a \"text\" attribute");
      return;
    }
    if (opt == nullptr) {
      error(ln, "attribute line outside an option or group");
      return;
    }
    const std::size_t k = defs.size() - 1;
    if (word == "text") {
      opt->text = std::string(rest);
    } else if (word == "group") {
      if (!ParseInteger(rest, &opt->group) || opt->group < 1) {
        error(ln, "group number expected");
        return;
      }
      has_group[k] = true;
    } else if (word == "range") {
      std::size_t p = pos;
      const std::string_view lo = TakeToken(line, p);
      SkipBlanks(line, p);
      const std::string_view hi = TakeToken(line, p);
      SkipBlanks(line, p);
      double l = 0, h = 0;
      if (opt->type != kTypeInteger && opt->type != kTypeReal) {
        error(ln, "a range is only allowed for integer and real options");
      } else if (!ParseReal(lo, &l) || !ParseReal(hi, &h) || p < line.size() || l == kEps ||
                 h == kEps || l == kPlusInf || h == kMinusInf) {
        error(ln, "range expects two numbers (or -inf and inf)");
      } else if (RangeValue(l) > RangeValue(h)) {
        error(ln, "lower end of the range is above its upper end");
      } else {
        opt->lower = RangeValue(l);
        opt->upper = RangeValue(h);
        if (opt->type == kTypeInteger &&
            ((std::isfinite(opt->lower) && opt->lower != std::floor(opt->lower)) ||
             (std::isfinite(opt->upper) && opt->upper != std::floor(opt->upper))))
          error(ln, "the range of an integer option needs whole numbers");
      }
    } else if (word == "values") {
      if (opt->type != kTypeEnum) {
        error(ln, "\"values\" is only allowed for enum options");
        return;
      }
      std::size_t p = pos;
      while (p < line.size()) {
        const std::string_view w = TakeToken(line, p);
        SkipBlanks(line, p);
        if (FindWord(*opt, w) >= 0) {
          error(ln, "word " + Quoted(w) + " is listed twice");
          return;
        }
        opt->words.emplace_back(w);
      }
    } else if (word == "default") {
      if (opt->dot || opt->type == kTypeStringList) {
        error(ln, "this kind of option has no default");
        return;
      }
      has_default[k] = true;
      std::string_view v = rest;
      if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
      if (opt->type == kTypeInteger) {
        if (!ParseInteger(v, &opt->int_default)) error(ln, "integer default expected");
      } else if (opt->type == kTypeReal) {
        if (!ParseReal(v, &opt->real_default)) error(ln, "real default expected");
      } else {
        opt->string_default = std::string(v);
      }
    } else {
      error(ln, "unknown attribute " + Quoted(word.empty() ? rest : std::string_view(word)));
    }
  });

  // Checks of the whole file.
  std::map<int, std::size_t> by_number;
  std::unordered_map<std::string, int> first_line;  // lower-case name -> line of its first use
  for (std::size_t i = 0; i < defs.size(); ++i) {
    OptionDef& d = defs[i];
    const auto [dup, fresh] = first_line.emplace(Lower(d.name), d.line);
    if (!fresh)
      error(d.line, "option name " + Quoted(d.name) + " is already used in line " + std::to_string(dup->second));
    if (!by_number.emplace(d.number, i).second)
      error(d.line, "option number " + std::to_string(d.number) + " is used twice");
    if (!has_group[i]) {
      error(d.line, "option " + Quoted(d.name) + " has no group");
    } else {
      const auto g = std::find_if(groups_.begin(), groups_.end(), [&](const Group& x) { return x.number == d.group; });
      if (g == groups_.end()) error(d.line, "option " + Quoted(d.name) + " names the unknown group " + std::to_string(d.group));
      else d.group_position = static_cast<int>(g - groups_.begin()) + 1;
    }
    if (d.type == kTypeEnum) {
      if (d.words.empty()) {
        error(d.line, "enum option " + Quoted(d.name) + " has no \"values\" line");
      } else if (!has_default[i]) {
        d.string_default = d.words[0];
      } else {
        const int w = FindWord(d, d.string_default);
        if (w < 0) error(d.line, "default of " + Quoted(d.name) + " is not one of its values");
        else d.string_default = d.words[static_cast<std::size_t>(w)];
      }
    }
    const bool numeric = !d.dot && (d.type == kTypeInteger || d.type == kTypeReal);
    const double dflt = d.type == kTypeInteger ? d.int_default : d.real_default;
    if (numeric && !InRange(d, dflt))
      error(d.line, "default of " + Quoted(d.name) + " lies outside its range " + RangeText(d));
  }
  // Numbers run from 1 to the number of options.
  int expect = 1;
  for (const auto& [number, index] : by_number) {
    if (number != expect) {
      error(0, "option number " + std::to_string(expect) +
                   " is missing (options are numbered from 1 without gaps)");
      break;
    }
    ++expect;
  }
  if (defs.empty() && errors == 0) error(0, "no options defined");

  if (errors > 0) {
    Clear();
    return errors;
  }
  options_.resize(defs.size());
  for (auto& d : defs) {
    by_name_[Lower(d.name)] = d.number - 1;
    options_[static_cast<std::size_t>(d.number - 1)] = std::move(d);
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Option object

void OptionObject::AddMessage(std::string text, int kind) {
  messages_.push_back({Bounded(text), kind});
}

void OptionObject::LineError(int line, std::string_view what) {
  AddMessage("*** Option file line " + std::to_string(line) + ": " + std::string(what));
}

void OptionObject::ResetValues() {
  values_.assign(static_cast<std::size_t>(defs_.Count()), Value{});
  for (const auto& d : defs_.Options()) Reset(d);
  dots_.clear();
}

int OptionObject::ReadDefinitionStream(std::istream& in) {
  const int errors = defs_.Parse(in, messages_);
  ResetValues();
  return errors;
}

int OptionObject::ReadDefinition(const std::string& path) {
  std::ifstream in;
  std::string why;
  if (!OpenFile(path, in, &why)) {
    defs_.Clear();
    ResetValues();
    AddMessage("*** Cannot open definition file " + Quoted(path) + ": " + why);
    return 1;
  }
  return ReadDefinitionStream(in);
}

const OptionDef* OptionObject::Option(int number) {
  const OptionDef* d = defs_.ByNumber(number);
  if (d == nullptr) AddMessage("*** Option number " + std::to_string(number) + " is not defined");
  return d;
}

const OptionDef* OptionObject::OptionByName(std::string_view name) {
  const OptionDef* d = defs_.ByName(name);
  if (d == nullptr || d->dot) {
    AddMessage("*** Unknown option " + Quoted(name));
    return nullptr;
  }
  return d;
}

int OptionObject::GetInt(const OptionDef& d) const {
  const Value& v = ValueOf(d);
  if (d.type == kTypeInteger) return v.int_value;
  if (d.type == kTypeReal) {
    const double r = std::round(v.real_value);
    return r >= INT_MAX ? INT_MAX : r <= INT_MIN ? INT_MIN : static_cast<int>(r);
  }
  return 0;
}

double OptionObject::GetReal(const OptionDef& d) const {
  const Value& v = ValueOf(d);
  if (d.type == kTypeInteger) return v.int_value;
  if (d.type == kTypeReal) return v.real_value;
  return 0.0;
}

std::string OptionObject::GetString(const OptionDef& d) const {
  if (d.type == kTypeString || d.type == kTypeEnum) return ValueOf(d).string_value;
  return {};
}

int OptionObject::SetInt(const OptionDef& d, int value) {
  if (d.type == kTypeReal && !d.dot) return SetReal(d, value);
  if (d.type != kTypeInteger) {
    AddMessage("*** Option " + Quoted(d.name) + " does not take a number");
    return 1;
  }
  if (!InRange(d, value)) {
    AddMessage("*** Value " + std::to_string(value) + " for option " + Quoted(d.name) +
               " is out of range " + RangeText(d));
    return 1;
  }
  Value& v = values_[static_cast<std::size_t>(d.number - 1)];
  v.int_value = value;
  v.defined = kSetByCaller;
  return 0;
}

int OptionObject::SetReal(const OptionDef& d, double value) {
  if (d.type == kTypeInteger) {
    const double r = std::round(value);
    if (!(r >= INT_MIN && r <= INT_MAX)) {
      AddMessage("*** Value " + NumberText(value) + " for option " + Quoted(d.name) +
                 " is out of range " + RangeText(d));
      return 1;
    }
    return SetInt(d, static_cast<int>(r));
  }
  if (d.type != kTypeReal || d.dot || std::isnan(value)) {
    AddMessage("*** Option " + Quoted(d.name) + " does not take this value");
    return 1;
  }
  if (!InRange(d, value)) {
    AddMessage("*** Value " + NumberText(value) + " for option " + Quoted(d.name) +
               " is out of range " + RangeText(d));
    return 1;
  }
  Value& v = values_[static_cast<std::size_t>(d.number - 1)];
  v.real_value = value;
  v.defined = kSetByCaller;
  return 0;
}

int OptionObject::SetString(const OptionDef& d, std::string_view value) {
  Value& v = values_[static_cast<std::size_t>(d.number - 1)];
  if (d.type == kTypeString) {
    v.string_value = std::string(value);
  } else if (d.type == kTypeEnum) {
    const int w = FindWord(d, value);
    if (w < 0) {
      AddMessage("*** Value " + Quoted(value) + " for option " + Quoted(d.name) +
                 " is not one of: " + WordList(d));
      return 1;
    }
    v.string_value = d.words[static_cast<std::size_t>(w)];
  } else if (d.type == kTypeStringList) {
    v.list.emplace_back(value);
  } else {
    AddMessage("*** Option " + Quoted(d.name) + " does not take a string");
    return 1;
  }
  v.defined = kSetByCaller;
  return 0;
}

void OptionObject::Reset(const OptionDef& d) {
  Value& v = values_[static_cast<std::size_t>(d.number - 1)];
  v = Value{};
  v.int_value = d.int_default;
  v.real_value = d.real_default;
  v.string_value = d.string_default;
}

// ---------------------------------------------------------------------------------------------
// Option file

struct OptionObject::ParseState {
  int line = 0;
  int errors = 0;
  // An option whose value is still to come (on the next line, without end-of-line-only mode).
  const OptionDef* pending = nullptr;
  DotOption pending_dot;
  int pending_line = 0;
  std::string pending_display;
};

int OptionObject::ReadParameterFile(const std::string& path) {
  std::ifstream in;
  std::string why;
  if (!OpenFile(path, in, &why)) {
    AddMessage("*** Cannot open option file " + Quoted(path) + ": " + why);
    return 1;
  }
  return ReadParameterStream(in);
}

int OptionObject::ReadParameterStream(std::istream& in) {
  ParseState st;
  ForEachLine(in, [&](int ln, std::string_view line) {
    st.line = ln;
    if (echo_) {
      char num[16];
      std::snprintf(num, sizeof num, "%5d  ", ln);
      AddMessage(num + std::string(line), kMessageEcho);
    }
    ParseLine(st, line);
  });
  if (st.pending != nullptr) {
    LineError(st.pending_line, "missing value for " + Quoted(st.pending_display));
    ++st.errors;
  }
  return st.errors;
}

void OptionObject::ParseLine(ParseState& st, std::string_view line) {
  std::size_t pos = 0;
  if (Trim(line).empty()) return;
  SkipBlanks(line, pos);
  if (line[pos] == '*') return;
  if (st.pending != nullptr) {
    // The value of the option named at the end of an earlier line.
    if (!TakeValue(st, line, pos)) return;
    SkipBlanks(line, pos);
  }
  while (pos < line.size() && !Trim(line.substr(pos)).empty()) {
    if (!ParseOneOption(st, line, pos)) return;
    if (eol_only_) return;
    SkipBlanks(line, pos);
  }
}

// Parses a name (or a dot option), then its value. False when the rest of the line is to be
// skipped.
bool OptionObject::ParseOneOption(ParseState& st, std::string_view line, std::size_t& pos) {
  const std::size_t name_start = pos;
  const std::string_view name = TakeWord(line, pos);
  if (name.empty()) {
    LineError(st.line, "option name expected: " + Quoted(Trim(line.substr(name_start))));
    ++st.errors;
    return false;
  }
  const OptionDef* def = nullptr;
  DotOption dot;
  std::string display(name);
  if (pos < line.size() && line[pos] == '.') {
    ++pos;
    const std::string_view suffix = TakeWord(line, pos);
    display = std::string(line.substr(name_start, pos - name_start));
    def = defs_.ByName(suffix);
    if (def == nullptr || !def->dot) {
      LineError(st.line, "unknown suffix " + Quoted(suffix) + " in " + Quoted(display));
      ++st.errors;
      return false;
    }
    dot.symbol = std::string(name);
    dot.number = def->number;
    // Labels may follow the suffix after blanks.
    std::size_t paren = pos;
    SkipBlanks(line, paren);
    if (paren < line.size() && line[paren] == '(') {
      pos = paren;
      ++pos;
      for (;;) {
        SkipBlanks(line, pos);
        std::string_view label;
        if (pos < line.size() && (line[pos] == '\'' || line[pos] == '"')) {
          if (!TakeQuoted(line, pos, &label)) {
            LineError(st.line, "missing closing quote in the labels of " + Quoted(display));
            ++st.errors;
            return false;
          }
        } else {
          const std::size_t s = pos;
          while (pos < line.size() && line[pos] != ',' && line[pos] != ')') ++pos;
          label = Trim(line.substr(s, pos - s));
          if (label.empty()) {
            LineError(st.line, "empty label in " + Quoted(display));
            ++st.errors;
            return false;
          }
        }
        SkipBlanks(line, pos);
        dot.labels.emplace_back(label);
        if (pos < line.size() && line[pos] == ',') {
          ++pos;
          continue;
        }
        if (pos < line.size() && line[pos] == ')') {
          ++pos;
          break;
        }
        LineError(st.line, "missing closing parenthesis in " + Quoted(display));
        ++st.errors;
        return false;
      }
      display = std::string(line.substr(name_start, pos - name_start));
    }
  } else {
    def = defs_.ByName(name);
    if (def == nullptr) {
      LineError(st.line, "unknown option " + Quoted(name));
      ++st.errors;
      return false;
    }
    if (def->dot) {
      LineError(st.line, Quoted(def->name) + " is a suffix for model symbols, as in x." + def->name);
      ++st.errors;
      return false;
    }
  }
  if (pos < line.size() && !IsBlank(line[pos]) && line[pos] != '=') {
    LineError(st.line, "unexpected character after " + Quoted(display) + ": " + Quoted(line.substr(pos, 1)));
    ++st.errors;
    return false;
  }
  SkipBlanks(line, pos);
  if (pos < line.size() && line[pos] == '=') {
    ++pos;
    SkipBlanks(line, pos);
  }
  st.pending = def;
  st.pending_dot = std::move(dot);
  st.pending_line = st.line;
  st.pending_display = display;
  if (pos >= line.size()) {
    // No value on this line: an error in end-of-line-only mode, else it comes on the next line.
    // A list entry always ends with its line.
    if (eol_only_ || def->type == kTypeStringList) {
      st.pending = nullptr;
      LineError(st.line, "missing value for " + Quoted(display));
      ++st.errors;
      return false;
    }
    return true;
  }
  return TakeValue(st, line, pos);
}

// Takes the value of the pending option from line at pos. False when the rest of the line is
// to be skipped.
bool OptionObject::TakeValue(ParseState& st, std::string_view line, std::size_t& pos) {
  const OptionDef& d = *st.pending;
  st.pending = nullptr;
  const std::string display = st.pending_display;
  auto fail = [&](std::string_view what) {
    LineError(st.line, what);
    ++st.errors;
    return false;
  };

  std::string_view token;
  if (d.type == kTypeStringList) {
    // A list entry is the rest of the line; quotes around all of it are dropped.
    token = Trim(line.substr(pos));
    if (token.size() >= 2 && (token[0] == '"' || token[0] == '\'') && token.back() == token[0] &&
        token.substr(1, token.size() - 2).find(token[0]) == std::string_view::npos)
      token = token.substr(1, token.size() - 2);
    pos = line.size();
  } else if (line[pos] == '\'' || line[pos] == '"') {
    if (!TakeQuoted(line, pos, &token)) return fail("missing closing quote in the value of " + Quoted(display));
  } else if (eol_only_ && d.type == kTypeString) {
    token = Trim(line.substr(pos));
    pos = line.size();
  } else {
    token = TakeToken(line, pos);
  }
  SkipBlanks(line, pos);
  if (eol_only_ && pos < line.size())
    return fail("unexpected text after the value of " + Quoted(display) + ": " + Quoted(line.substr(pos)));

  Value& v = values_[static_cast<std::size_t>(d.number - 1)];
  if (d.dot || d.type == kTypeReal) {
    double x = 0;
    if (!ParseReal(token, &x)) return fail("bad value " + Quoted(token) + " for " + Quoted(display) + ": a number is expected");
    if (!InRange(d, x))
      return fail("value " + NumberText(x) + " for " + Quoted(display) + " is out of range " + RangeText(d));
    if (d.dot) {
      st.pending_dot.value = x;
      dots_.push_back(std::move(st.pending_dot));
      return true;
    }
    v.real_value = x;
  } else if (d.type == kTypeInteger) {
    int n = 0;
    if (!ParseInteger(token, &n)) return fail("bad value " + Quoted(token) + " for " + Quoted(display) + ": an integer is expected");
    if (!InRange(d, n))
      return fail("value " + std::to_string(n) + " for " + Quoted(display) + " is out of range " + RangeText(d));
    v.int_value = n;
  } else if (d.type == kTypeEnum) {
    const int w = FindWord(d, token);
    if (w < 0) return fail("bad value " + Quoted(token) + " for " + Quoted(display) + ": one of " + WordList(d) + " is expected");
    v.string_value = d.words[static_cast<std::size_t>(w)];
  } else if (d.type == kTypeStringList) {
    v.list.emplace_back(token);
  } else {
    v.string_value = std::string(token);
  }
  v.defined = kSetFromFile;
  return true;
}

}  // namespace qlink::optlib
