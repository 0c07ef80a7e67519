#pragma once
// Variables as loadVariables and LoadVars receive them: "name=value&name2=value2", each part
// URL-encoded ('+' for a space, %XX for a byte).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace swf {

std::string UrlDecode(std::string_view text);
// In the order given; a pair without '=' has an empty value, an empty pair is skipped.
std::vector<std::pair<std::string, std::string>> DecodeVariables(std::span<const uint8_t> bytes);

}  // namespace swf
