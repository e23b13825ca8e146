// libFuzzer target of the option library's readers. The first byte chooses what the rest is:
// bit 0 set, a definition file; otherwise an option file read against fixed definitions, with
// echo (bit 1) and end-of-line-only mode (bit 2).
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "outside/opt/optlib.h"

namespace {

constexpr const char* kDefinitions = R"(group 1 G
group 10 I
option 1 i integer
  range 0 10
  group 1
option 2 r real
  group 1
option 3 s string
  group 10
option 4 l list
  group 10
option 5 e enum
  values a b
  group 1
option 6 Lo dot
  group 10
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int mode = data[0];
  std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  qlink::optlib::OptionObject obj;
  if (mode & 1) {
    obj.ReadDefinitionStream(in);
  } else {
    std::istringstream defs(kDefinitions);
    obj.ReadDefinitionStream(defs);
    obj.SetEcho((mode & 2) != 0);
    obj.SetEndOfLineOnly((mode & 4) != 0);
    obj.ReadParameterStream(in);
  }
  // Everything read must be readable back.
  std::size_t total = 0;
  for (const auto& d : obj.Defs().Options()) total += obj.GetString(d).size() + obj.ValueOf(d).list.size();
  for (const auto& d : obj.DotOptions()) total += d.symbol.size() + d.labels.size();
  for (const auto& m : obj.Messages()) total += m.text.size();
  return total == static_cast<std::size_t>(-1) ? 1 : 0;
}
