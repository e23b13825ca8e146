#include "expr/instructions.h"

namespace qlink {

namespace {

constexpr OpcodeNameSlot Slot(std::string_view name) {
  OpcodeNameSlot slot{};
  slot.length = static_cast<std::uint8_t>(name.size());
  for (std::size_t i = 0; i < name.size() && i < sizeof slot.text; ++i) slot.text[i] = name[i];
  return slot;
}

}  // namespace

const std::array<OpcodeNameSlot, kNumOpcodes> kOpcodeNames = {
    Slot("NoOp"),     Slot("PushV"),    Slot("PushI"),    Slot("Store"),    Slot("Add"),
    Slot("AddV"),     Slot("AddI"),     Slot("Sub"),      Slot("SubV"),     Slot("SubI"),
    Slot("Mul"),      Slot("MulV"),     Slot("MulI"),     Slot("Div"),      Slot("DivV"),
    Slot("DivI"),     Slot("Umin"),     Slot("UminV"),    Slot("Header"),   Slot("End"),
    Slot("CallArg1"), Slot("CallArg2"), Slot("CallArgN"), Slot("FuncArgN"), Slot("MulIAdd"),
    Slot("PushZero"), Slot("Chk"),      Slot("AddO"),     Slot("PushO"),    Slot("Invoc"),
    Slot("StackIn"),
};

std::string_view OpcodeName(int opcode) {
  if (opcode < 0 || opcode >= kNumOpcodes) return {};
  return kOpcodeNames[static_cast<std::size_t>(opcode)].view();
}

}  // namespace qlink
