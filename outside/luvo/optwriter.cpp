#include "outside/luvo/optwriter.h"

#include <charconv>
#include <cstring>
#include <fstream>

#include "runtime/lvocommon.h"

namespace luvo {

namespace {

std::string NumberText(double v) {
  if (v == qlink::kPlusInf) return "inf";
  if (v == qlink::kMinusInf) return "-inf";
  if (v == qlink::kEps) return "eps";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string QuotedText(std::string_view text) {
  const char q = text.find('"') == std::string_view::npos ? '"' : '\'';
  return q + std::string(text) + q;
}

std::string LabelText(const std::string& label) {
  if (label == "*") return label;
  for (char c : label) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       std::strchr("_-+.#@/", c) != nullptr;
    if (!plain) return QuotedText(label);
  }
  return label.empty() ? "''" : label;
}

}  // namespace

OptionFileWriter& OptionFileWriter::Comment(std::string_view text) {
  text_ += "* " + std::string(text) + "\n";
  return *this;
}

OptionFileWriter& OptionFileWriter::SetNumber(std::string_view name, double value) {
  text_ += std::string(name) + " " + NumberText(value) + "\n";
  return *this;
}

OptionFileWriter& OptionFileWriter::SetString(std::string_view name, std::string_view text) {
  text_ += std::string(name) + " " + QuotedText(text) + "\n";
  return *this;
}

OptionFileWriter& OptionFileWriter::SetDot(std::string_view symbol, std::string_view suffix,
                                           const std::vector<std::string>& labels, double value) {
  text_ += std::string(symbol) + "." + std::string(suffix);
  if (!labels.empty()) {
    text_ += "(";
    for (std::size_t i = 0; i < labels.size(); ++i) text_ += (i ? "," : "") + LabelText(labels[i]);
    text_ += ")";
  }
  text_ += " " + NumberText(value) + "\n";
  return *this;
}

OptionFileWriter& OptionFileWriter::Line(std::string_view text) {
  text_ += std::string(text) + "\n";
  return *this;
}

bool OptionFileWriter::Write(const std::string& path, std::string* error) const {
  std::ofstream out(path, std::ios::binary);
  out << text_;
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace luvo
