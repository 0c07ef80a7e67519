#pragma once
// Characters of script strings: UTF-8 from SWF 6 on, one byte a character before.
#include <cstdint>
#include <string>
#include <vector>

namespace swf::avm1 {

// The string cut into characters (each its bytes); a broken sequence counts byte by byte.
std::vector<std::string> Characters(const std::string& s, bool utf8);
uint32_t CharacterCode(const std::string& c);
std::string EncodeCharacter(uint32_t code);

class Interpreter;
struct Object;
// TextSnapshot, and getTextSnapshot on `clipProto`.
void InstallTextSnapshot(Interpreter& vm, Object* clipProto);

}  // namespace swf::avm1
