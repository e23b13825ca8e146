// The user's side of an option file: a few lines of code describe the options of a run, and the
// writer produces the file in the option library's syntax (options/option-file.md).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace luvo {

class OptionFileWriter {
 public:
  // "* text".
  OptionFileWriter& Comment(std::string_view text);
  // name and a number in shortest round-trip form; the modeling system's special values +INF,
  // -INF and EPS as inf, -inf and eps.
  OptionFileWriter& SetNumber(std::string_view name, double value);
  // name and a quoted text (double quotes, or single quotes when the text holds a double
  // quote). Also one entry of a list option.
  OptionFileWriter& SetString(std::string_view name, std::string_view text);
  // symbol.suffix(labels) value; labels other than "*" are quoted when they need it.
  OptionFileWriter& SetDot(std::string_view symbol, std::string_view suffix,
                           const std::vector<std::string>& labels, double value);
  // A line as given, for lines a test wants to be wrong.
  OptionFileWriter& Line(std::string_view text);

  const std::string& Text() const { return text_; }
  bool Write(const std::string& path, std::string* error) const;

 private:
  std::string text_;
};

}  // namespace luvo
