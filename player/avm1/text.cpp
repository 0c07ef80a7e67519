#include "player/avm1/text.h"

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
    out.push_back(s.substr(i, n));
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

}  // namespace swf::avm1
