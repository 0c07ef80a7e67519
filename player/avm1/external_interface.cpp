// The translators ExternalInterface keeps for its page bridge: script values to the XML the
// page reads (_toXML and the helpers for arrays, objects and argument lists) and that XML's
// nodes back to values (_toAS and its helpers). A projector has no page, but movies call
// these directly, so they give the same strings and values they would with one.
#include <cmath>
#include <string>

#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

// Deeper than this a value is left out: a structure that holds itself would never end.
constexpr int kMaxDepth = 256;
// Past this much text no more elements are written: `{length: 1e9}` claims to be a long list.
constexpr size_t kMaxXmlBytes = size_t{16} << 20;

std::string UnescapeNamed(std::string_view s) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    bool done = false;
    for (const auto& [entity, c] : kNamed) {
      if (s.substr(i, entity.size()) == entity) {
        out += c;
        i += entity.size() - 1;
        done = true;
        break;
      }
    }
    if (!done) out += s[i];
  }
  return out;
}

std::string QuoteForScript(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out;
}

// A list's length as the helpers' loops read it: `i < list.length` is false for NaN.
double ListLength(Interpreter& vm, const Value& list) {
  if (list.IsUndefined() || list.IsNull()) return 0;
  const double n = vm.ToNumber(vm.GetMember(list, "length"));
  return std::isnan(n) ? 0 : n;
}

Value Element(Interpreter& vm, const Value& list, double i) {
  return vm.GetMember(list, vm.ToString(Value(i)));
}

class ToXml {
 public:
  explicit ToXml(Interpreter& vm) : vm_(vm) {}

  std::string Anything(const Value& v) {
    const std::string type = vm_.TypeOf(v);
    if (type == "undefined") return "<undefined/>";
    if (type == "boolean") return v.AsBool() ? "<true/>" : "<false/>";
    if (type == "number") return "<number>" + vm_.ToString(v) + "</number>";
    // The page's side reads an empty string back as null, and so it is written.
    if (type == "string") {
      const std::string s = vm_.ToString(v);
      return "<string>" + (s.empty() ? std::string("null") : EscapeXml(s)) + "</string>";
    }
    if (type != "object") return "<null/>";  // null, functions and clips
    if (vm_.InstanceOf(v, vm_.GetMember(vm_.Global(), "Array"))) return List(v);
    return Members(v);
  }

  std::string List(const Value& list) {
    std::string out = "<array>";
    Nested([&] {
      const double n = ListLength(vm_, list);
      for (double i = 0; i < n && out.size() < kMaxXmlBytes; ++i) {
        out += "<property id=\"" + vm_.ToString(Value(i)) + "\">" +
               Anything(Element(vm_, list, i)) + "</property>";
      }
    });
    return out + "</array>";
  }

  // The first argument of a call is the name of the function called, which the page already
  // has; only the ones after it are written.
  std::string Arguments(const Value& list) {
    std::string out = "<arguments>";
    Nested([&] {
      const double n = ListLength(vm_, list);
      for (double i = 1; i < n && out.size() < kMaxXmlBytes; ++i) {
        out += Anything(Element(vm_, list, i));
      }
    });
    return out + "</arguments>";
  }

  std::string Members(const Value& v) {
    std::string out = "<object>";
    Nested([&] {
      Object* o = v.AsObject();
      if (!o) return;
      for (const std::string& name : vm_.EnumerableNames(o)) {
        if (out.size() >= kMaxXmlBytes) break;
        out += "<property id=\"" + name + "\">" + Anything(vm_.GetMember(v, name)) + "</property>";
      }
    });
    return out + "</object>";
  }

 private:
  template <typename Body>
  void Nested(Body body) {
    if (depth_ >= kMaxDepth) return;
    ++depth_;
    body();
    --depth_;
  }

  Interpreter& vm_;
  int depth_ = 0;
};

class ToAs {
 public:
  explicit ToAs(Interpreter& vm) : vm_(vm) {}

  Value Node(const Value& node) {
    if (depth_ >= kMaxDepth || !node.IsObject()) return Value();
    const Value name = vm_.GetMember(node, "nodeName");
    const Value text = vm_.GetMember(node, "firstChild");
    if (Is(name, "number")) return vm_.ToNumber(Value(vm_.ToString(text)));
    if (Is(name, "string")) return Value(UnescapeNamed(vm_.ToString(text)));
    if (Is(name, "true")) return Value(true);
    if (Is(name, "false")) return Value(false);
    if (Is(name, "null")) return Value(Null{});
    if (Is(name, "array")) return Properties(node, vm_.NewArray());
    if (Is(name, "object")) return Properties(node, vm_.NewPlainObject());
    return Value();
  }

  // Each <property id="..."> child holds one value.
  Value Properties(const Value& node, Object* into) {
    if (!into) return Value();
    ++depth_;
    const Value children = vm_.GetMember(node, "childNodes");
    const double n = ListLength(vm_, children);
    for (double i = 0; i < n && !vm_.Stopped(); ++i) {
      const Value child = Element(vm_, children, i);
      const Value id = vm_.GetMember(vm_.GetMember(child, "attributes"), "id");
      vm_.SetMember(into, vm_.ToString(id), Node(vm_.GetMember(child, "firstChild")));
    }
    --depth_;
    return into;
  }

  // An <arguments> list's children are the values themselves, in order.
  Value Arguments(const Value& node) {
    Object* list = vm_.NewArray();
    if (!list) return Value();
    ++depth_;
    const Value children = vm_.GetMember(node, "childNodes");
    const double n = ListLength(vm_, children);
    for (double i = 0; i < n && !vm_.Stopped(); ++i) {
      vm_.SetMember(list, vm_.ToString(Value(i)), Node(Element(vm_, children, i)));
    }
    --depth_;
    return list;
  }

 private:
  // The node's name is compared as == compares: a String object matches its text, an object
  // whose valueOf gives no primitive matches nothing.
  bool Is(const Value& name, const char* want) {
    Value v = name;
    if (v.IsObject()) {
      const Value valueOf = vm_.GetMember(v, "valueOf");
      if (!IsFunction(valueOf)) return false;
      v = vm_.Call(valueOf, v, {});
    }
    return v.IsString() && v.AsString() == want;
  }

  Interpreter& vm_;
  int depth_ = 0;
};

}  // namespace

void InstallExternalInterfaceHelpers(Interpreter& vm, Object* ei) {
  using TextFn = std::string (*)(std::string_view);
  const std::pair<const char*, TextFn> text[] = {
      {"_escapeXML", [](std::string_view s) { return EscapeXml(s); }},
      {"_unescapeXML", UnescapeNamed},
      {"_jsQuoteString", QuoteForScript},
  };
  // An empty or missing text gives null.
  for (const auto& [name, fn] : text) {
    const TextFn f = fn;
    AddMethod(vm, ei, name, [f](Interpreter& vm, const Value&, std::span<const Value> a) {
      if (a.empty()) return Value(Null{});
      const std::string s = vm.ToString(a[0]);
      return s.empty() ? Value(Null{}) : Value(f(s));
    });
  }
  using XmlFn = std::string (ToXml::*)(const Value&);
  const std::pair<const char*, XmlFn> toXml[] = {
      {"_toXML", &ToXml::Anything},
      {"_arrayToXML", &ToXml::List},
      {"_argumentsToXML", &ToXml::Arguments},
      {"_objectToXML", &ToXml::Members},
  };
  for (const auto& [name, fn] : toXml) {
    const XmlFn f = fn;
    AddMethod(vm, ei, name, [f](Interpreter& vm, const Value&, std::span<const Value> a) {
      ToXml writer(vm);
      return Value((writer.*f)(Arg(a, 0)));
    });
  }
  AddMethod(vm, ei, "_toAS", [](Interpreter& vm, const Value&, std::span<const Value> a) {
    return ToAs(vm).Node(Arg(a, 0));
  });
  AddMethod(vm, ei, "_arrayToAS", [](Interpreter& vm, const Value&, std::span<const Value> a) {
    return ToAs(vm).Properties(Arg(a, 0), vm.NewArray());
  });
  AddMethod(vm, ei, "_objectToAS", [](Interpreter& vm, const Value&, std::span<const Value> a) {
    return ToAs(vm).Properties(Arg(a, 0), vm.NewPlainObject());
  });
  AddMethod(vm, ei, "_argumentsToAS",
            [](Interpreter& vm, const Value&, std::span<const Value> a) {
              return ToAs(vm).Arguments(Arg(a, 0));
            });
}

}  // namespace swf::avm1
