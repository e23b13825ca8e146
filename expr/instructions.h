// The modeling system's nonlinear instruction code: postfix code for a stack machine, one
// stretch per nonlinear row, from the row's Header to its Store instruction.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qlink {

// Opcodes of the instruction code. The numbers are fixed by the modeling system.
enum Opcode : std::uint8_t {
  kOpNoOp = 0,
  kOpPushV = 1,      // push x_j
  kOpPushI = 2,      // push pool[k]
  kOpStore = 3,      // end of row i's code
  kOpAdd = 4,
  kOpAddV = 5,
  kOpAddI = 6,
  kOpSub = 7,
  kOpSubV = 8,
  kOpSubI = 9,
  kOpMul = 10,
  kOpMulV = 11,
  kOpMulI = 12,
  kOpDiv = 13,
  kOpDivV = 14,
  kOpDivI = 15,
  kOpUmin = 16,
  kOpUminV = 17,
  kOpHeader = 18,
  kOpEnd = 19,
  kOpCallArg1 = 20,
  kOpCallArg2 = 21,
  kOpCallArgN = 22,
  kOpFuncArgN = 23,
  kOpMulIAdd = 24,   // pop b, pop a, push a + b * pool[k]
  kOpPushZero = 25,
  kOpChk = 26,
  kOpAddO = 27,
  kOpPushO = 28,
  kOpInvoc = 29,
  kOpStackIn = 30,
};

inline constexpr int kNumOpcodes = 31;

// One instruction: opcode byte and operand (column, pool index, row, function number or
// argument count, depending on the opcode; 1-based where it is an index).
struct Instruction {
  std::uint8_t opcode = kOpNoOp;
  std::int32_t operand = 0;
};

// A short string of at most 15 characters, held in a 16-byte slot.
struct OpcodeNameSlot {
  std::uint8_t length;
  char text[15];

  constexpr std::string_view view() const { return std::string_view(text, length); }
};
static_assert(sizeof(OpcodeNameSlot) == 16);

// The opcode names, indexed by opcode 0 ... 30. They appear in messages.
extern const std::array<OpcodeNameSlot, kNumOpcodes> kOpcodeNames;

// The name of an opcode; "" for codes above 30.
std::string_view OpcodeName(int opcode);

}  // namespace qlink
