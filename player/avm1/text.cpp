#include "player/avm1/text.h"

#include <algorithm>

namespace swf::avm1 {

std::vector<std::string> Characters(const std::string& s, bool utf8) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size();) {
    size_t n = 1;
    if (utf8) {
      const auto c = static_cast<unsigned char>(s[i]);
      n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (i + n > s.size()) n = 1;
    }
    if (n == 4) {
      // Scripts count in UTF-16 units: a character past the first 65536 is two of them,
      // each kept as the three bytes its surrogate encodes to until they meet again.
      const uint32_t code = CharacterCode(s.substr(i, 4)) - 0x10000;
      out.push_back(EncodeCharacter(0xD800 + ((code >> 10) & 0x3FF)));
      out.push_back(EncodeCharacter(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(s.substr(i, n));
    }
    i += n;
  }
  return out;
}

uint32_t CharacterCode(const std::string& c) {
  if (c.empty()) return 0;
  const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(c[i])); };
  if (c.size() == 1) return b(0);
  if (c.size() == 2) return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
  if (c.size() == 3) return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
  return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
}

std::string EncodeCharacter(uint32_t code) {
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | ((code >> 18) & 0x07));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

uint32_t FirstCharacterCode(const std::string& s) {
  const std::vector<std::string> first = Characters(s.substr(0, 4), true);
  if (first.empty()) return 0;
  // A character beyond 16 bits has no code of its own here; it reads as the replacement one.
  const auto lead = static_cast<unsigned char>(s[0]);
  return lead >= 0xF0 && first[0].size() == 3 ? 0xFFFD : CharacterCode(first[0]);
}

namespace {

// The surrogate (0xD800 to 0xDFFF) that three bytes at `s[i]` encode, or 0.
uint32_t SurrogateAt(std::string_view s, size_t i) {
  if (i + 3 > s.size() || static_cast<unsigned char>(s[i]) != 0xED) return 0;
  const auto b1 = static_cast<unsigned char>(s[i + 1]), b2 = static_cast<unsigned char>(s[i + 2]);
  if (b1 < 0xA0 || b1 > 0xBF || (b2 & 0xC0) != 0x80) return 0;
  return 0xD000u | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
}

}  // namespace

std::string PairSurrogates(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const uint32_t high = SurrogateAt(s, i);
    if (high >= 0xD800 && high < 0xDC00) {
      const uint32_t low = SurrogateAt(s, i + 3);
      if (low >= 0xDC00) {
        out += EncodeCharacter(0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
        i += 6;
        continue;
      }
    }
    out += s[i++];
  }
  return out;
}

std::string ForOutput(std::string_view s) {
  // The player's output ends a string at its first NUL.
  s = s.substr(0, s.find('\0'));
  std::string out;
  if (s.find('\xED') == std::string_view::npos) {
    out = s;
  } else {
    const std::string paired = PairSurrogates(s);
    out.reserve(paired.size());
    for (size_t i = 0; i < paired.size();) {
      if (SurrogateAt(paired, i)) {
        out += "\xEF\xBF\xBD";
        i += 3;
      } else {
        out += paired[i++];
      }
    }
  }
  // It also starts a new line at each carriage return (the line end of text fields).
  std::replace(out.begin(), out.end(), '\r', '\n');
  return out;
}

}  // namespace swf::avm1
