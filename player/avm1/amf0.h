#pragma once
// AMF0, the byte form in which the player hands script values to another movie
// (LocalConnection) or a server (NetConnection.call). Reading is in two steps: the bytes into a
// plain tree, which needs no interpreter and refuses anything malformed, then the tree into
// script objects.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "player/avm1/value.h"

namespace swf::avm1 {

class Interpreter;

enum Amf0Marker : uint8_t {
  kAmfNumber = 0x00,
  kAmfBoolean = 0x01,
  kAmfString = 0x02,
  kAmfObject = 0x03,
  kAmfMovieClip = 0x04,
  kAmfNull = 0x05,
  kAmfUndefined = 0x06,
  kAmfReference = 0x07,
  kAmfEcmaArray = 0x08,
  kAmfObjectEnd = 0x09,
  kAmfStrictArray = 0x0A,
  kAmfDate = 0x0B,
  kAmfLongString = 0x0C,
  kAmfUnsupported = 0x0D,
  kAmfXml = 0x0F,
  kAmfTypedObject = 0x10,
};

// Objects and arrays nest at most this deep, reading and writing; a writer puts undefined in
// place of one deeper, a reader refuses it.
inline constexpr size_t kMaxAmfDepth = 64;

struct AmfNode {
  uint8_t marker = kAmfUndefined;
  double number = 0;  // numbers, dates; a reference's index
  bool flag = false;
  std::string text;  // strings, XML text, a typed object's class name
  // Objects and ECMA arrays: the names of `items`, one each; strict arrays have no names.
  std::vector<std::string> names;
  std::vector<AmfNode> items;
};

// One value from `bytes` at `pos`, moving `pos` past it; nothing when the bytes are cut short
// or hold a marker this player does not read.
std::optional<AmfNode> ReadAmf0(std::string_view bytes, size_t& pos);

// The bytes of `values`, one after another, written as the player writes them for a
// connection: clips as undefined, functions left out of objects, an object seen before (in any
// of the values) as a reference to it; `copies` writes it again in full instead, as another
// movie receives it, unless the object holds itself.
void WriteAmf0(Interpreter& vm, std::span<const Value> values, std::string& out,
               bool copies = false);
// The file a local store named `name` keeps `data` in: a short header, then each member's
// name and value, clips written as their paths and functions left out.
std::string SharedObjectFile(Interpreter& vm, std::string_view name, Object* data);
// Script values back from a tree; references find the objects made before them.
class AmfObjects {
 public:
  explicit AmfObjects(Interpreter& vm) : vm_(vm) {}
  Value Make(const AmfNode& node);

 private:
  Interpreter& vm_;
  std::vector<Value> made_;
};

// Big-endian pieces of the surrounding formats (the NetConnection envelope).
void PutU16(std::string& out, uint32_t v);
void PutU32(std::string& out, uint32_t v);
void PutAmfName(std::string& out, std::string_view name);

}  // namespace swf::avm1
