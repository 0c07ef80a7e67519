#pragma once
// Characters of script strings: UTF-8 from SWF 6 on, one byte a character before.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/text/text_field.h"

namespace swf::avm1 {

// The string cut into characters (each its bytes); a broken sequence counts byte by byte. A
// character beyond the 16-bit range is cut in two, its surrogates, as the player counts.
std::vector<std::string> Characters(const std::string& s, bool utf8);
uint32_t CharacterCode(const std::string& c);
std::string EncodeCharacter(uint32_t code);
// The code of a string's first character as ord() gives it (0 for an empty string).
uint32_t FirstCharacterCode(const std::string& s);
// Surrogate halves that stand next to each other joined back into the character they make.
std::string PairSurrogates(std::string_view s);
// A character code through the player's case tables (codes without a pair come back as given).
uint32_t UpperCaseCode(uint32_t code);
uint32_t LowerCaseCode(uint32_t code);
// Text as it leaves the player (trace): halves paired up, a lone half shown as U+FFFD.
std::string ForOutput(std::string_view s);

class Interpreter;
struct Object;
// TextSnapshot, and getTextSnapshot on `clipProto`.
void InstallTextSnapshot(Interpreter& vm, Object* clipProto);
// TextField.StyleSheet, on the TextField constructor `textField`.
void InstallStyleSheet(Interpreter& vm, Object* textField);
class Value;
// The styles of a TextField.StyleSheet as fields apply them; false when `sheet` is none.
bool SheetStyles(Interpreter& vm, const Value& sheet, TextStyles& out);

}  // namespace swf::avm1
