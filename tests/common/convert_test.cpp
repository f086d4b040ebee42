#include "common/convert.h"

#include <gtest/gtest.h>

#include "common/failure.h"

namespace qm {
namespace {

TEST(ConvertTest, WholeNumbersRoundHalvesToEven) {
  const std::pair<const char*, int> cases[] = {
      {"0", 0},   {"6", 6},    {" 3 ", 3},  {"2.5", 2},       {"3.5", 4},
      {"5.4", 5}, {"-0.5", 0}, {"1e1", 10}, {"32767", 32767}, {"-32768", -32768},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(toWholeNumber(text), expected) << text;
}

TEST(ConvertTest, NonNumbersAndHugeNumbersFail) {
  const std::pair<const char*, int> cases[] = {
      {"abc", Err::TypeMismatch}, {"", Err::TypeMismatch},    {"6x", Err::TypeMismatch},
      {"nan", Err::TypeMismatch}, {"inf", Err::TypeMismatch}, {"32768", Err::Overflow},
      {"-40000", Err::Overflow},
  };
  for (const auto& [text, number] : cases) {
    try {
      toWholeNumber(text);
      ADD_FAILURE() << "no failure for \"" << text << "\"";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), number) << text;
    }
  }
}

}  // namespace
}  // namespace qm
