#include "player/url_variables.h"

namespace swf {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      out += c;
    } else {
      const auto b = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += c;  // a stray '%' stays as it is
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> DecodeVariables(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('&', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = text.substr(at, end - at);
    const size_t eq = part.find('=');
    if (!part.empty() && eq != 0) {
      out.emplace_back(UrlDecode(part.substr(0, eq)),
                       eq == std::string_view::npos ? std::string() : UrlDecode(part.substr(eq + 1)));
    }
    at = end + 1;
  }
  return out;
}

}  // namespace swf
