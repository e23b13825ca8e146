// The option library of the modeling system: option definitions read from a definition file,
// values from the caller and from a user's option file, dot options, and a queue of messages.
// The shared library liblvoptlib64.so exports this through a C interface (optexports.cpp); the
// options reference generator uses the definitions directly.
#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qlink::optlib {

// Data types as the library reports them.
enum DataType : int {
  kTypeInteger = 1,
  kTypeReal = 2,
  kTypeString = 3,
  kTypeStringList = 4,  // every line of the option file adds one entry
  kTypeEnum = 5,        // one word out of a fixed set
};

// Option types: an ordinary option with a value, or a dot option (a suffix for model symbols).
enum OptionType : int { kOptionValue = 0, kOptionDot = 1 };

// Defined states. Bit 1: a value was set; bit 2: it came from an option file.
enum DefinedState : int { kNotDefined = 0, kSetByCaller = 1, kSetFromFile = 3 };

// Message kinds.
enum MessageKind : int { kMessageEcho = 1, kMessageError = 2 };

struct Message {
  std::string text;
  int kind = kMessageError;
};

struct Group {
  int number = 0;
  std::string title;
  std::string text;
};

struct OptionDef {
  int number = 0;
  std::string name;
  int type = kTypeInteger;
  bool dot = false;
  int group = 0;           // group number as written in the definition file
  int group_position = 0;  // 1-based position of that group in the group list
  double lower = 0;        // range of integer and real options; +-infinity when open
  double upper = 0;
  int int_default = 0;
  double real_default = 0;
  std::string string_default;  // string and enumerated options
  std::vector<std::string> words;  // the words of an enumerated option
  std::string text;
  int line = 0;
};

// The parsed definition file.
class Definitions {
 public:
  // Reads definitions; problems are appended to `messages`. Returns the number of errors; on
  // errors the object holds no definitions.
  int Parse(std::istream& in, std::vector<Message>& messages);

  void Clear();
  int Count() const { return static_cast<int>(options_.size()); }
  const std::vector<OptionDef>& Options() const { return options_; }
  const std::vector<Group>& Groups() const { return groups_; }
  // Option by number 1 ... Count(); null outside.
  const OptionDef* ByNumber(int number) const;
  // Option or dot option by name or suffix, compared without regard to case; null when unknown.
  const OptionDef* ByName(std::string_view name) const;

 private:
  std::vector<OptionDef> options_;  // ordered by number
  std::vector<Group> groups_;       // in file order
  std::unordered_map<std::string, int> by_name_;  // lower-case name -> index into options_
};

struct Value {
  int defined = kNotDefined;
  int int_value = 0;
  double real_value = 0;
  std::string string_value;
  std::vector<std::string> list;
};

struct DotOption {
  std::string symbol;
  int number = 0;  // the dot option's number in the definition file
  std::vector<std::string> labels;
  double value = 0;
};

// One option object: definitions, values, dot options and messages.
class OptionObject {
 public:
  // 0 when the definitions were read; otherwise nonzero with messages queued.
  int ReadDefinition(const std::string& path);
  int ReadDefinitionStream(std::istream& in);
  // Reads a user's option file; returns the number of errors (a file that cannot be opened
  // counts as one). Every accepted value is taken, every bad line only reported.
  int ReadParameterFile(const std::string& path);
  int ReadParameterStream(std::istream& in);

  void SetEcho(bool on) { echo_ = on; }
  void SetEndOfLineOnly(bool on) { eol_only_ = on; }

  int MessageCount() const { return static_cast<int>(messages_.size()); }
  const std::vector<Message>& Messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }

  const Definitions& Defs() const { return defs_; }
  // The option with that number, or null after queueing a message.
  const OptionDef* Option(int number);
  const OptionDef* OptionByName(std::string_view name);
  const Value& ValueOf(const OptionDef& def) const { return values_[static_cast<std::size_t>(def.number - 1)]; }

  int GetInt(const OptionDef& def) const;
  double GetReal(const OptionDef& def) const;
  std::string GetString(const OptionDef& def) const;
  // Setting checks type and range; a bad value is a queued message and result 1.
  int SetInt(const OptionDef& def, int value);
  int SetReal(const OptionDef& def, double value);
  int SetString(const OptionDef& def, std::string_view value);
  void Reset(const OptionDef& def);

  const std::vector<DotOption>& DotOptions() const { return dots_; }

  void AddMessage(std::string text, int kind = kMessageError);

 private:
  struct ParseState;
  void ResetValues();
  void ParseLine(ParseState& st, std::string_view line);
  bool ParseOneOption(ParseState& st, std::string_view line, std::size_t& pos);
  bool TakeValue(ParseState& st, std::string_view line, std::size_t& pos);
  void LineError(int line, std::string_view what);

  Definitions defs_;
  std::vector<Value> values_;
  std::vector<DotOption> dots_;
  std::vector<Message> messages_;
  bool echo_ = false;
  bool eol_only_ = false;
};

// Splits "name.N" into a solver name and an option-file number; "name" alone gives number 0.
// False when the text has another form (an empty name, a name that is not a word, no digits or
// other characters after the point, a number too large).
bool SplitNameOpt(std::string_view value, std::string* name, int* number);

// Text helpers shared with the parsers.
std::string Lower(std::string_view s);
// Parses a real value: a number or one of the words inf, +inf, -inf, eps (modeling-system
// special values). False for anything else.
bool ParseReal(std::string_view token, double* value);
// Parses an integer value: a number without fraction that fits into 32 bits.
bool ParseInteger(std::string_view token, int* value);
// The text of a number for messages and references: special values and infinities as words.
std::string NumberText(double x);
// Name of a data type for messages and references ("integer", "real", ...).
std::string_view TypeName(int type, bool dot);

}  // namespace qlink::optlib
