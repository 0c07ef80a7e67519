#pragma once
// Variables as loadVariables and LoadVars receive them: "name=value&name2=value2", each part
// URL-encoded ('+' for a space, %XX for a byte).
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace swf {

// Every byte but letters and digits as %XX (multibyte characters byte by byte).
std::string UrlEncode(std::string_view text);
std::string UrlDecode(std::string_view text);
// In the order given; a pair without '=' has an empty value; an empty pair, or one with an
// empty name, is skipped.
std::vector<std::pair<std::string, std::string>> DecodeVariables(std::string_view text);

}  // namespace swf
