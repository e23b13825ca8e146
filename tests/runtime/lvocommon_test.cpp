#include "runtime/lvocommon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qlink {
namespace {

struct NumberCase {
  double value;
  const char* text;
};

// Shows the expected text in test names and failures instead of the bytes of the case.
void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.text; }

class CompactNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(CompactNumber, Formats) {
  EXPECT_EQ(FormatNumber(GetParam().value), GetParam().text) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompactNumber,
    ::testing::Values(
        NumberCase{0.0, "0"}, NumberCase{-0.0, "0"}, NumberCase{1.0, "1"}, NumberCase{-1.0, "-1"},
        NumberCase{-2.5, "-2.5"}, NumberCase{0.1, "0.1"}, NumberCase{123456.789, "123456.789"},
        NumberCase{100.0, "100"}, NumberCase{1e-4, "0.0001"}, NumberCase{-1e-4, "-0.0001"},
        NumberCase{9.99999999999999e-5, "9.99999999999999E-5"},
        NumberCase{0.000099999, "9.9999E-5"}, NumberCase{1.5e-7, "1.5E-7"},
        NumberCase{-1.5e-7, "-1.5E-7"}, NumberCase{1e15, "1E15"},
        NumberCase{999999999999999.0, "999999999999999"},
        // Rounds to 1e15 at the 15th digit, so it takes the exponent form.
        NumberCase{999999999999999.9, "1E15"}, NumberCase{1e20, "1E20"},
        NumberCase{-1e20, "-1E20"}, NumberCase{1.0e300, "1E300"}, NumberCase{1.0e301, "1E301"},
        NumberCase{1.0 / 3.0, "0.333333333333333"}, NumberCase{2.0 / 3.0, "0.666666666666667"},
        NumberCase{123456789012345.0, "123456789012345"},
        NumberCase{1234567890123456.0, "1.23456789012346E15"},
        NumberCase{0.1 + 0.2, "0.3"}, NumberCase{3.14159265358979323, "3.14159265358979"},
        NumberCase{1.25e-300, "1.25E-300"}, NumberCase{5e-324, "4.94065645841247E-324"},
        NumberCase{std::numeric_limits<double>::max(), "1.79769313486232E308"},
        NumberCase{0.00012345678901234567, "0.000123456789012346"}));

TEST(CompactNumber, ExponentLetterOfTheProblemFile) {
  EXPECT_EQ(FormatNumber(1.5e-7, 'e'), "1.5e-7");
  EXPECT_EQ(FormatNumber(2e30, 'e'), "2e30");
  EXPECT_EQ(FormatNumber(12.5, 'e'), "12.5");
}

TEST(CompactNumber, NonFiniteValuesHaveNames) {
  EXPECT_EQ(FormatNumber(std::nan("")), "NaN");
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity()), "Inf");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity()), "-Inf");
}

TEST(CompactNumber, AppendsToExistingText) {
  std::string s = "x=";
  AppendNumber(s, -0.5);
  EXPECT_EQ(s, "x=-0.5");
}

TEST(BoundedText, CutsAt255) {
  EXPECT_EQ(Bounded(std::string(300, 'a')).size(), 255u);
  EXPECT_EQ(Bounded("short"), "short");
}

TEST(ModelTypes, NamesAndCodes) {
  EXPECT_EQ(ModelTypeName(0), "NONE");
  EXPECT_EQ(ModelTypeName(11), "MINLP");
  EXPECT_EQ(ModelTypeName(15), "EMP");
  EXPECT_EQ(ModelTypeName(16), "");
  EXPECT_EQ(ModelTypeName(-1), "");
  EXPECT_EQ(ModelTypeCode("miqcp"), 13);
  EXPECT_EQ(ModelTypeCode("RmInLp"), 10);
  EXPECT_EQ(ModelTypeCode("XYZ"), -1);
}

}  // namespace
}  // namespace qlink
