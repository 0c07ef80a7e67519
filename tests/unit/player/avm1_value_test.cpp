// Script value conversions, where movies of different versions disagree.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "player/avm1/value.h"

namespace {

using swf::avm1::Null;
using swf::avm1::Undefined;
using swf::avm1::Value;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Avm1Value, NumbersPrintAsTheOriginalPlayerPrintsThem) {
  const struct {
    double number;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {1, "1"},
      {-42, "-42"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {123456789012345, "123456789012345"},
      {1e15, "1e+15"},
      {-2.2222222222222222e16, "-2.22222222222222e+16"},
      {1.79769313486231e308, "1.79769313486231e+308"},
      {0.00001, "0.00001"},
      {0.0000015, "1.5e-6"},
      {5e-324, "4.94065645841247e-324"},
      {kNaN, "NaN"},
      {kInf, "Infinity"},
      {-kInf, "-Infinity"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(swf::avm1::NumberToString(c.number), c.text) << c.text;
  }
}

TEST(Avm1Value, StringsReadAsNumbersByMovieVersion) {
  const struct {
    const char* text;
    int version;
    double number;
  } cases[] = {
      // SWF 4: the number at the start, 0 without one.
      {"150a", 4, 150},
      {"ab", 4, 0},
      {"", 4, 0},
      {"0x96", 4, 0},
      {"010", 4, 10},
      {"  -1.5e2x", 4, -150},
      // Later: the whole string or NaN; hexadecimal from SWF 6 as a signed 32-bit number.
      {"150a", 5, kNaN},
      {"", 5, kNaN},
      {"  12", 5, 12},
      {"12  ", 5, kNaN},
      {"0x10", 5, kNaN},
      {"0x10", 6, 16},
      {"0xFFFFFFFF", 7, -1},
      {"Infinity", 7, kNaN},
      {".5", 7, 0.5},
      {"1e3", 7, 1000},
  };
  for (const auto& c : cases) {
    const double got = swf::avm1::StringToNumber(c.text, c.version);
    if (std::isnan(c.number)) {
      EXPECT_TRUE(std::isnan(got)) << '"' << c.text << "\" in SWF " << c.version;
    } else {
      EXPECT_EQ(got, c.number) << '"' << c.text << "\" in SWF " << c.version;
    }
  }
}

TEST(Avm1Value, PrimitiveConversionsByMovieVersion) {
  const struct {
    Value value;
    int version;
    const char* text;
    double number;  // NaN checked as such
    bool truth;
  } cases[] = {
      {Value(true), 4, "1", 1, true},
      {Value(true), 5, "true", 1, true},
      {Value(false), 6, "false", 0, false},
      {Value(Undefined{}), 6, "", 0, false},
      {Value(Undefined{}), 7, "undefined", kNaN, false},
      {Value(Null{}), 6, "null", 0, false},
      {Value(Null{}), 7, "null", kNaN, false},
      // Up to SWF 6 a string is true when it reads as a non-zero number.
      {Value("abc"), 6, "abc", kNaN, false},
      {Value("abc"), 7, "abc", kNaN, true},
      {Value("2"), 6, "2", 2, true},
      {Value("0"), 7, "0", 0, true},
      {Value(""), 7, "", kNaN, false},
      {Value(kNaN), 7, "NaN", kNaN, false},
      {Value(-0.5), 7, "-0.5", -0.5, true},
  };
  for (const auto& c : cases) {
    const std::string label = std::string(c.text) + " in SWF " + std::to_string(c.version);
    EXPECT_EQ(swf::avm1::PrimitiveToString(c.value, c.version), c.text) << label;
    const double n = swf::avm1::PrimitiveToNumber(c.value, c.version);
    if (std::isnan(c.number)) {
      EXPECT_TRUE(std::isnan(n)) << label;
    } else {
      EXPECT_EQ(n, c.number) << label;
    }
    EXPECT_EQ(swf::avm1::ToBoolean(c.value, c.version), c.truth) << label;
  }
}

TEST(Avm1Value, IntegerConversionsWrapAtThirtyTwoBits) {
  const struct {
    double number;
    int32_t asInt;
    uint32_t asUint;
  } cases[] = {
      {4294967295.0, -1, 4294967295u},
      {-1, -1, 4294967295u},
      {2147483648.0, INT32_MIN, 2147483648u},
      {-10.9, -10, 4294967286u},
      {kNaN, 0, 0},
      {kInf, 0, 0},
      {4294967296.0 * 3 + 5, 5, 5u},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(swf::avm1::ToInt32(c.number), c.asInt) << c.number;
    EXPECT_EQ(swf::avm1::ToUint32(c.number), c.asUint) << c.number;
  }
}

}  // namespace
