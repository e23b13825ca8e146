// Writes the users' options reference (Markdown) from the option definition file.
//
//   qlink_optref <definition file> <introduction.md> <output.md>
//
// The definition file is read with the option library's own parser, so a definition file with
// an error fails the build with the library's messages.
#include <cmath>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "outside/opt/optlib.h"

namespace {

using qlink::optlib::NumberText;
using qlink::optlib::OptionDef;

std::string DefaultText(const OptionDef& d) {
  switch (d.type) {
    case qlink::optlib::kTypeInteger: return std::to_string(d.int_default);
    case qlink::optlib::kTypeReal: return NumberText(d.real_default);
    case qlink::optlib::kTypeString:
    case qlink::optlib::kTypeEnum: return d.string_default.empty() ? "" : "`" + d.string_default + "`";
    default: return "";
  }
}

std::string RangeText(const OptionDef& d) {
  if (d.dot || (d.type != qlink::optlib::kTypeInteger && d.type != qlink::optlib::kTypeReal)) {
    if (d.type == qlink::optlib::kTypeEnum) {
      std::string s;
      for (const auto& w : d.words) s += (s.empty() ? "`" : ", `") + w + "`";
      return s;
    }
    return "";
  }
  const bool lo = std::isfinite(d.lower), hi = std::isfinite(d.upper);
  if (d.type == qlink::optlib::kTypeInteger && d.lower + 1 == d.upper)
    return NumberText(d.lower) + " or " + NumberText(d.upper);
  if (lo && hi) return NumberText(d.lower) + " to " + NumberText(d.upper);
  if (lo) return "≥ " + NumberText(d.lower);
  if (hi) return "≤ " + NumberText(d.upper);
  return "any";
}

// Table cells must not break the table.
std::string Cell(std::string s) {
  std::string r;
  for (char c : s) {
    if (c == '|') r += "\\|";
    else r += c;
  }
  return r;
}

std::string Anchor(const OptionDef& d) { return "opt-" + qlink::optlib::Lower(d.name); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: qlink_optref <definition file> <introduction.md> <output.md>\n";
    return 2;
  }
  qlink::optlib::OptionObject obj;
  if (obj.ReadDefinition(argv[1]) != 0) {
    for (const auto& m : obj.Messages()) std::cerr << m.text << '\n';
    return 1;
  }
  std::ifstream intro(argv[2]);
  if (!intro) {
    std::cerr << "cannot read " << argv[2] << '\n';
    return 1;
  }
  const auto& defs = obj.Defs();
  std::ostringstream out;
  out << "# QORAL options\n\n"
      << "QORAL and its link to the modeling system are steered by the options below. Give them "
         "in an option file (see \"Writing an option file\"). Options are listed by group; "
         "the index at the end lists them by name.\n\n";
  out << intro.rdbuf() << "\n";

  // Options by group, in the order of the groups in the definition file.
  std::map<int, std::vector<const OptionDef*>> by_group;
  for (const auto& d : defs.Options()) by_group[d.group_position].push_back(&d);
  for (std::size_t g = 0; g < defs.Groups().size(); ++g) {
    const auto& group = defs.Groups()[g];
    const auto& members = by_group[static_cast<int>(g) + 1];
    if (members.empty()) continue;
    out << "## " << group.title << "\n\n";
    if (!group.text.empty()) out << group.text << "\n\n";
    out << "| Option | Type | Default | Range | Description |\n|---|---|---|---|---|\n";
    for (const OptionDef* d : members) {
      const std::string name = d->dot ? "." + d->name : d->name;
      out << "| <a id=\"" << Anchor(*d) << "\"></a>`" << name << "` | "
          << qlink::optlib::TypeName(d->type, d->dot) << " | " << Cell(DefaultText(*d)) << " | "
          << Cell(RangeText(*d)) << " | " << Cell(d->text) << " |\n";
    }
    out << "\n";
  }

  // Index by name.
  std::map<std::string, const OptionDef*> by_name;
  for (const auto& d : defs.Options()) by_name[qlink::optlib::Lower(d.name)] = &d;
  out << "## Index\n\n";
  bool first = true;
  for (const auto& [key, d] : by_name) {
    out << (first ? "" : ", ") << "[" << (d->dot ? "." : "") << d->name << "](#" << Anchor(*d) << ")";
    first = false;
  }
  out << "\n";

  std::ofstream file(argv[3], std::ios::binary);
  file << out.str();
  file.close();
  if (!file) {
    std::cerr << "cannot write " << argv[3] << '\n';
    return 1;
  }
  return 0;
}
