#include "player/avm1/amf0.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "player/avm1/arrays.h"
#include "player/avm1/interpreter.h"
#include "player/avm1/script_error.h"

namespace swf::avm1 {
namespace {

class Reader {
 public:
  Reader(std::string_view bytes, size_t& pos) : bytes_(bytes), pos_(pos) {}

  bool Value(AmfNode& node, size_t depth) {
    uint8_t marker = 0;
    if (!U8(marker)) return false;
    node.marker = marker;
    switch (marker) {
      case kAmfNumber:
        return Double(node.number);
      case kAmfBoolean: {
        uint8_t b = 0;
        if (!U8(b)) return false;
        node.flag = b != 0;
        return true;
      }
      case kAmfString:
        return ShortText(node.text);
      case kAmfLongString:
      case kAmfXml:
        return LongText(node.text);
      case kAmfNull:
      case kAmfUndefined:
      case kAmfUnsupported:
        return true;
      case kAmfReference: {
        uint32_t index = 0;
        if (!U16(index)) return false;
        node.number = index;
        return true;
      }
      case kAmfDate: {
        uint32_t zone = 0;  // minutes from UTC, which the player ignores
        return Double(node.number) && U16(zone);
      }
      case kAmfTypedObject:
        if (!ShortText(node.text)) return false;
        return Members(node, depth);
      case kAmfObject:
        return Members(node, depth);
      case kAmfEcmaArray: {
        uint32_t count = 0;  // a hint only: the members run to the end marker
        if (!U32(count)) return false;
        node.number = count;
        return Members(node, depth);
      }
      case kAmfStrictArray: {
        uint32_t count = 0;
        if (depth >= kMaxAmfDepth || !U32(count)) return false;
        // Every item takes at least one byte, so a count past what is left is a lie.
        if (count > bytes_.size() - pos_) return false;
        node.items.resize(count);
        for (AmfNode& item : node.items) {
          if (!Value(item, depth + 1)) return false;
        }
        return true;
      }
      default:
        return false;
    }
  }

 private:
  bool Members(AmfNode& node, size_t depth) {
    if (depth >= kMaxAmfDepth) return false;
    for (;;) {
      std::string name;
      if (!ShortText(name)) return false;
      if (name.empty() && pos_ < bytes_.size() &&
          static_cast<uint8_t>(bytes_[pos_]) == kAmfObjectEnd) {
        ++pos_;
        return true;
      }
      AmfNode value;
      if (!Value(value, depth + 1)) return false;
      node.names.push_back(std::move(name));
      node.items.push_back(std::move(value));
    }
  }
  bool U8(uint8_t& v) {
    if (pos_ >= bytes_.size()) return false;
    v = static_cast<uint8_t>(bytes_[pos_++]);
    return true;
  }
  bool Big(size_t n, uint64_t& v) {
    if (bytes_.size() - pos_ < n) return false;
    v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | static_cast<uint8_t>(bytes_[pos_++]);
    return true;
  }
  bool U16(uint32_t& v) {
    uint64_t w = 0;
    if (!Big(2, w)) return false;
    v = static_cast<uint32_t>(w);
    return true;
  }
  bool U32(uint32_t& v) {
    uint64_t w = 0;
    if (!Big(4, w)) return false;
    v = static_cast<uint32_t>(w);
    return true;
  }
  bool Double(double& d) {
    uint64_t w = 0;
    if (!Big(8, w)) return false;
    d = std::bit_cast<double>(w);
    return true;
  }
  bool Text(size_t n, std::string& out) {
    if (bytes_.size() - pos_ < n) return false;
    out.assign(bytes_.substr(pos_, n));
    pos_ += n;
    return true;
  }
  bool ShortText(std::string& out) {
    uint32_t n = 0;
    return U16(n) && Text(n, out);
  }
  bool LongText(std::string& out) {
    uint32_t n = 0;
    return U32(n) && Text(n, out);
  }

  std::string_view bytes_;
  size_t& pos_;
};

void PutDouble(std::string& out, double d) {
  const uint64_t w = std::bit_cast<uint64_t>(d);
  for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>(w >> shift & 0xFF);
}

void PutText(std::string& out, std::string_view s) {
  if (s.size() <= 0xFFFF) {
    out += static_cast<char>(kAmfString);
    PutAmfName(out, s);
    return;
  }
  out += static_cast<char>(kAmfLongString);
  PutU32(out, static_cast<uint32_t>(s.size()));
  out += s;
}

bool IsXmlDocument(Interpreter& vm, Object* o) {
  return o->kind == ObjectKind::XmlNode && vm.InstanceOf(o, vm.GetMember(vm.Global(), "XML"));
}

// The name Object.registerClass gave the object's class: the class its own `constructor` names,
// else the one `new` recorded. Its prototype alone does not make it one.
const std::string* RegisteredName(Interpreter& vm, Object* o) {
  Object* classes = vm.RegisteredClasses();
  if (!classes) return nullptr;
  const bool cs = vm.CaseSensitive();
  const Property* made = o->FindOwn("constructor", cs);
  if (!made) made = o->FindOwn("__constructor__", cs);
  Object* ctor = made ? made->value.AsObject() : nullptr;
  if (!ctor) return nullptr;
  // A class registered under two names goes by the later one.
  for (auto p = classes->props.rbegin(); p != classes->props.rend(); ++p) {
    if (p->value.AsObject() == ctor) return &p->name;
  }
  return nullptr;
}

bool IsCallable(const Value& v) {
  Object* f = v.AsObject();
  return f && f->IsCallable();
}

// Past this a copying writer sends undefined for further objects: an object that appears
// twice in every level would otherwise double the message with each.
constexpr size_t kMaxCopiedBytes = size_t{16} << 20;

class Writer {
 public:
  // A local store keeps a clip as its path; a connection sends undefined for it.
  Writer(Interpreter& vm, std::string& out, bool clipPaths = false, bool copies = false)
      : vm_(vm), out_(out), clipPaths_(clipPaths), copies_(copies) {}

  void Write(const Value& v, size_t depth) {
    Object* o = v.AsObject();
    if (!o) {
      WritePrimitive(v);
      return;
    }
    if (o->kind == ObjectKind::Clip && clipPaths_ && depth < kMaxAmfDepth) {
      if (const Value path = vm_.ToString(v); !path.AsString().empty()) {
        out_ += static_cast<char>(kAmfMovieClip);
        PutAmfName(out_, path.AsString());
        return;
      }
    }
    if (o->kind == ObjectKind::Clip || depth >= kMaxAmfDepth) {
      out_ += static_cast<char>(kAmfUndefined);
      return;
    }
    // Copying, only an object that holds itself is sent by reference: anything else seen
    // before goes again in full, until the message grows too big.
    for (size_t i = 0; i < seen_.size(); ++i) {
      if (seen_[i] == o && i <= 0xFFFF &&
          (!copies_ || std::find(open_.begin(), open_.end(), i) != open_.end())) {
        out_ += static_cast<char>(kAmfReference);
        PutU16(out_, static_cast<uint32_t>(i));
        return;
      }
    }
    if (copies_ && out_.size() > kMaxCopiedBytes) {
      out_ += static_cast<char>(kAmfUndefined);
      return;
    }
    seen_.push_back(o);
    open_.push_back(seen_.size() - 1);
    struct Close {
      std::vector<size_t>& open;
      ~Close() { open.pop_back(); }
    } close{open_};
    if (o->kind == ObjectKind::Date && o->internal.size() == 1) {
      out_ += static_cast<char>(kAmfDate);
      PutDouble(out_, o->internal[0].AsNumber());
      PutU16(out_, 0);
      return;
    }
    if (IsXmlDocument(vm_, o)) {
      const std::string text = vm_.ToString(v);
      out_ += static_cast<char>(kAmfXml);
      PutU32(out_, static_cast<uint32_t>(text.size()));
      out_ += text;
      return;
    }
    if (o->kind == ObjectKind::Array) {
      WriteArray(o, depth);
      return;
    }
    if (const std::string* name = RegisteredName(vm_, o)) {
      out_ += static_cast<char>(kAmfTypedObject);
      PutAmfName(out_, *name);
    } else {
      out_ += static_cast<char>(kAmfObject);
    }
    std::vector<std::string> names;
    for (const Property& p : o->props) {
      if (!(p.flags & kDontEnum) && !p.hidden) names.push_back(p.name);
    }
    WriteMembers(o, names, depth);
  }

  // A store's top level: each member's name, value and a zero byte, with no end marker.
  void WriteStored(Object* data) {
    for (const std::string& name : vm_.EnumerableNames(data)) {
      const Value v = Read(data, name);
      if (IsCallable(v)) continue;
      PutAmfName(out_, name);
      Write(v, 0);
      out_ += '\0';
    }
  }

 private:
  void WritePrimitive(const Value& v) {
    if (v.IsNull()) {
      out_ += static_cast<char>(kAmfNull);
    } else if (v.IsBool()) {
      out_ += static_cast<char>(kAmfBoolean);
      out_ += static_cast<char>(v.AsBool() ? 1 : 0);
    } else if (v.IsNumber()) {
      out_ += static_cast<char>(kAmfNumber);
      PutDouble(out_, v.AsNumber());
    } else if (v.IsString()) {
      PutText(out_, v.AsString());
    } else {
      out_ += static_cast<char>(kAmfUndefined);
    }
  }

  // What every array may carry besides its elements without being more than a list: its
  // length (a getter a script put over it) and the class a script gave it.
  bool ArrayOwnName(std::string_view name) const {
    const bool cs = vm_.CaseSensitive();
    return NamesEqual(name, "length", cs) || NamesEqual(name, "__constructor__", cs) ||
           NamesEqual(name, "constructor", cs);
  }

  // An array with nothing but its elements goes as a strict array, holes as undefined; one
  // with named members as well goes as an ECMA array with all of them.
  void WriteArray(Object* o, size_t depth) {
    // The array's own length, never a `length` getter a script put on it.
    const int32_t counted = o->arrayLength;
    // A script can claim any length; each element written costs what an instruction does, so
    // a claim the running block cannot pay for goes as an empty array.
    uint32_t length = counted > 0 && static_cast<size_t>(counted) <= kMaxArrayElements
                          ? static_cast<uint32_t>(counted)
                          : 0;
    if (!vm_.ChargeWork(length)) length = 0;
    std::vector<std::string> own;
    bool named = false;
    const std::vector<std::string> names = vm_.EnumerableNames(o);
    for (auto n = names.rbegin(); n != names.rend(); ++n) {
      int32_t index = 0;
      const bool element = CanonicalIndex(*n, index) && index >= 0 &&
                           static_cast<uint32_t>(index) < length;
      if (!element && (!o->FindOwn(*n, vm_.CaseSensitive()) || ArrayOwnName(*n))) continue;
      named = named || !element;
      own.push_back(*n);
    }
    if (named) {
      out_ += static_cast<char>(kAmfEcmaArray);
      PutU32(out_, length);
      WriteMembers(o, own, depth);
      return;
    }
    out_ += static_cast<char>(kAmfStrictArray);
    PutU32(out_, length);
    // The places' own values, as the Array methods read them: a getter on one is not asked.
    Places places(vm_, o);
    for (uint32_t i = 0; i < length; ++i) Write(places.Get(i), depth + 1);
  }

  // A getter that throws gives undefined: the rest of the value still goes.
  Value Read(Object* o, const std::string& name) {
    try {
      return vm_.GetMember(o, name);
    } catch (const ScriptException&) {
      return Value();
    }
  }

  void WriteMembers(Object* o, const std::vector<std::string>& names, size_t depth) {
    for (const std::string& name : names) {
      const Value v = Read(o, name);
      // A function stays behind: there is no form to send it in.
      if (IsCallable(v)) continue;
      PutAmfName(out_, name.size() <= 0xFFFF ? std::string_view(name) : std::string_view());
      Write(v, depth + 1);
    }
    PutU16(out_, 0);
    out_ += static_cast<char>(kAmfObjectEnd);
  }

  Interpreter& vm_;
  std::string& out_;
  bool clipPaths_;
  bool copies_;
  std::vector<Object*> seen_;  // in the order written, as references count them
  std::vector<size_t> open_;   // where in seen_ the objects being written now are
};

}  // namespace

void PutU16(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 8 & 0xFF);
  out += static_cast<char>(v & 0xFF);
}

void PutU32(std::string& out, uint32_t v) {
  PutU16(out, v >> 16);
  PutU16(out, v & 0xFFFF);
}

void PutAmfName(std::string& out, std::string_view name) {
  const std::string_view cut = name.substr(0, 0xFFFF);
  PutU16(out, static_cast<uint32_t>(cut.size()));
  out += cut;
}

std::optional<AmfNode> ReadAmf0(std::string_view bytes, size_t& pos) {
  if (pos > bytes.size()) return std::nullopt;
  size_t at = pos;
  AmfNode node;
  if (!Reader(bytes, at).Value(node, 0)) return std::nullopt;
  pos = at;
  return node;
}

void WriteAmf0(Interpreter& vm, std::span<const Value> values, std::string& out, bool copies) {
  Writer writer(vm, out, false, copies);
  for (const Value& v : values) writer.Write(v, 0);
}

std::string SharedObjectFile(Interpreter& vm, std::string_view name, Object* data) {
  std::string body = "TCSO";
  body += std::string("\0\x04\0\0\0\0", 6);
  PutAmfName(body, name);
  PutU32(body, 0);  // the AMF version of the values: 0
  if (data) Writer(vm, body, true).WriteStored(data);
  std::string file("\0\xBF", 2);
  PutU32(file, static_cast<uint32_t>(body.size()));
  return file + body;
}

Value AmfObjects::Make(const AmfNode& node) {
  switch (node.marker) {
    case kAmfNumber:
      return Value(node.number);
    case kAmfBoolean:
      return Value(node.flag);
    case kAmfString:
    case kAmfLongString:
      return Value(node.text);
    case kAmfNull:
      return Value(Null{});
    case kAmfReference: {
      const size_t index = static_cast<size_t>(node.number);
      return index < made_.size() ? made_[index] : Value();
    }
    case kAmfDate:
    case kAmfXml: {
      const Value ctor = vm_.GetMember(vm_.Global(), node.marker == kAmfDate ? "Date" : "XML");
      const Value arg = node.marker == kAmfDate ? Value(node.number) : Value(node.text);
      const Value made = vm_.Construct(ctor, std::span<const Value>(&arg, 1));
      made_.push_back(made);
      return made;
    }
    case kAmfObject:
    case kAmfTypedObject:
    case kAmfEcmaArray:
    case kAmfStrictArray: {
      // A typed object comes back as a plain one: the class name alone does not choose a class.
      Object* o = node.marker == kAmfObject || node.marker == kAmfTypedObject ? vm_.NewPlainObject()
                                                                              : vm_.NewArray();
      made_.push_back(Value(o));
      if (!o) return Value(Null{});
      if (node.marker == kAmfStrictArray) {
        for (size_t i = 0; i < node.items.size(); ++i) {
          vm_.SetMember(o, std::to_string(i), Make(node.items[i]));
        }
        return Value(o);
      }
      for (size_t i = 0; i < node.items.size() && i < node.names.size(); ++i) {
        vm_.SetMember(o, node.names[i], Make(node.items[i]));
      }
      return Value(o);
    }
    default:
      return Value();
  }
}

}  // namespace swf::avm1
