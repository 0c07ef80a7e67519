#include "player/avm1/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace swf::avm1 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the decimal number at the start of `s` (sign, digits, fraction, exponent), 0 when
// there is none.
size_t DecimalPrefix(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      i = j;
    }
  }
  return i;
}

double ParseDecimal(std::string_view s) {
  const std::string copy(s);
  return std::strtod(copy.c_str(), nullptr);
}

}  // namespace

const std::string& Value::AsString() const {
  static const std::string empty;
  return tag_ == Tag::String ? u_.string->text : empty;
}

bool Value::operator==(const Value& other) const {
  const bool undefined = IsUndefined(), otherUndefined = other.IsUndefined();
  if (undefined || otherUndefined) return undefined == otherUndefined;
  if (tag_ != other.tag_) return false;
  switch (tag_) {
    case Tag::Bool:
      return u_.boolean == other.u_.boolean;
    case Tag::Number:
      return u_.number == other.u_.number;
    case Tag::String:
      return u_.string == other.u_.string || u_.string->text == other.u_.string->text;
    case Tag::Object:
      return u_.object == other.u_.object;
    default:
      return true;  // null
  }
}

std::string NumberToString(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  if (d == 0) return "0";
  // Whole numbers below 1e15 print as they are; these are most of what scripts print.
  if (std::fabs(d) < 1e15 && std::trunc(d) == d) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<int64_t>(d)).ptr;
    return std::string(digits, end);
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", d);
  // buf: [-]D.DDDDDDDDDDDDDDe[+-]XX
  std::string text = buf;
  const size_t ePos = text.find('e');
  const int exponent = std::atoi(text.c_str() + ePos + 1);
  std::string digits;
  for (size_t i = 0; i < ePos; ++i) {
    if (IsDigit(text[i])) digits += text[i];
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out = d < 0 ? "-" : "";
  if (exponent < -5 || exponent >= 15) {
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += exponent < 0 ? "e-" : "e+";
    out += std::to_string(std::abs(exponent));
  } else if (exponent >= 0) {
    const size_t intDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out += digits + std::string(intDigits - digits.size(), '0');
    } else {
      out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    }
  } else {
    out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  }
  return out;
}

std::string NumberToRadixString(double d, int radix) {
  if (radix == 10 || radix < 2 || radix > 36) return NumberToString(d);
  if (std::isnan(d) || std::isinf(d)) return NumberToString(d);
  // Whole numbers only, as 32-bit integers: the original player drops any fraction.
  int64_t n = ToInt32(d);
  const bool negative = n < 0;
  if (negative) n = -n;
  std::string out;
  do {
    out.insert(out.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % radix]);
    n /= radix;
  } while (n > 0);
  return negative ? "-" + out : out;
}

double StringToNumber(std::string_view s, int version) {
  if (version < 5) {
    size_t start = 0;
    while (start < s.size() && IsSpace(s[start])) ++start;
    const size_t len = DecimalPrefix(s.substr(start));
    return len ? ParseDecimal(s.substr(start, len)) : 0.0;
  }
  size_t start = 0, end = s.size();
  while (start < end && IsSpace(s[start])) ++start;
  std::string_view t = s.substr(start, end - start);
  if (t.empty()) return kNaN;
  if (version >= 6 && t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    // Hexadecimal is read as a 32-bit signed integer; a sign may follow the prefix.
    size_t i = 2;
    const bool negative = t[i] == '-';
    if (t[i] == '-' || t[i] == '+') ++i;
    if (i == t.size()) return kNaN;
    uint32_t value = 0;
    for (; i < t.size(); ++i) {
      const char c = t[i];
      int digit;
      if (IsDigit(c)) {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return kNaN;
      }
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    const double n = static_cast<double>(static_cast<int32_t>(value));
    return negative ? -n : n;
  }
  if (version >= 6 && start == 0) {
    // A leading zero followed by octal digits only is an octal number, read as a 32-bit
    // integer like hexadecimal; white space in front makes it decimal again.
    size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
    if (t.size() - i > 1 && t[i] == '0' &&
        t.find_first_not_of("01234567", i) == std::string_view::npos) {
      uint32_t value = 0;
      for (size_t j = i; j < t.size(); ++j) value = value * 8 + static_cast<uint32_t>(t[j] - '0');
      const double n = static_cast<double>(static_cast<int32_t>(value));
      return t[0] == '-' ? -n : n;
    }
  }
  const size_t len = DecimalPrefix(t);
  if (len == 0 || len != t.size()) return kNaN;
  return ParseDecimal(t);
}

double PrimitiveToNumber(const Value& v, int version) {
  if (v.IsNumber()) return v.AsNumber();
  if (v.IsBool()) return v.AsBool() ? 1 : 0;
  if (v.IsString()) return StringToNumber(v.AsString(), version);
  if (v.IsUndefined() || v.IsNull()) return version >= 7 ? kNaN : 0.0;
  return kNaN;
}

std::string PrimitiveToString(const Value& v, int version) {
  if (v.IsString()) return v.AsString();
  if (v.IsNumber()) return NumberToString(v.AsNumber());
  if (v.IsBool()) {
    if (version < 5) return v.AsBool() ? "1" : "0";
    return v.AsBool() ? "true" : "false";
  }
  if (v.IsNull()) return "null";
  if (v.IsUndefined()) return version >= 7 ? "undefined" : "";
  return "[object Object]";
}

bool ToBoolean(const Value& v, int version) {
  if (v.IsBool()) return v.AsBool();
  if (v.IsNumber()) return !std::isnan(v.AsNumber()) && v.AsNumber() != 0;
  if (v.IsString()) {
    // Up to SWF 6 a string is true when it reads as a non-zero number; later, when not empty.
    if (version >= 7) return !v.AsString().empty();
    const double d = StringToNumber(v.AsString(), version);
    return !std::isnan(d) && d != 0;
  }
  if (v.IsObject()) return true;
  return false;
}

int32_t ToInt32(double d) { return static_cast<int32_t>(ToUint32(d)); }

uint32_t ToUint32(double d) {
  if (std::isnan(d) || std::isinf(d)) return 0;
  const double t = std::trunc(d);
  const double m = std::fmod(t, 4294967296.0);
  const double u = m < 0 ? m + 4294967296.0 : m;
  return static_cast<uint32_t>(u);
}

size_t ToIndex(double d) {
  if (!(d > 0)) return 0;
  return d >= 2147483648.0 ? size_t{2147483648u} : static_cast<size_t>(d);
}

std::string_view PrimitiveTypeName(const Value& v) {
  if (v.IsUndefined()) return "undefined";
  if (v.IsNull()) return "null";
  if (v.IsBool()) return "boolean";
  if (v.IsNumber()) return "number";
  if (v.IsString()) return "string";
  return "object";
}

void Value::Drop(SharedString* s) noexcept {
  if (--s->refs == 0) {
    liveStringBytes_.fetch_sub(s->text.size(), std::memory_order_relaxed);
    delete s;
  }
}

}  // namespace swf::avm1
