// XMLNode and XML: a tree of script objects that scripts walk through properties and change
// through methods, read from text by the XML reader and written back by toString.
// A node keeps its links in `internal` and its children in `elements`; the childNodes array
// scripts see is a copy made again whenever the children change, so a script that pushes onto
// it changes nothing but that array until the next change.
#include <algorithm>
#include <string>

#include "player/avm1/arrays.h"
#include "player/avm1/library.h"
#include "player/avm1/xml_parser.h"

namespace swf::avm1 {
namespace {

enum Slot : size_t { kType, kName, kValue, kAttributes, kParent, kChildNodes, kSlotCount };

// Trees a script builds by hand can be deeper than parsed ones; printing and copying stop
// descending here rather than exhaust the native stack.
constexpr int kMaxTreeDepth = 1024;

Object* AsNode(const Value& v) {
  Object* o = v.AsObject();
  return o && o->kind == ObjectKind::XmlNode && o->internal.size() == kSlotCount ? o : nullptr;
}

void InitNode(Interpreter& vm, Object* o, double type, Value name, Value value) {
  o->kind = ObjectKind::XmlNode;
  o->elements.clear();
  o->internal.assign(kSlotCount, Value());
  o->internal[kType] = type;
  o->internal[kName] = std::move(name);
  o->internal[kValue] = std::move(value);
  o->internal[kAttributes] = vm.NewPlainObject();
  o->internal[kParent] = Null{};
  o->internal[kChildNodes] = vm.NewArray();
}

Object* NodePrototype(Interpreter& vm) {
  return PrototypeOf(vm, vm.GetMember(vm.Global(), "XMLNode").AsObject());
}

// Element nodes have a name and no value, text nodes the other way round.
Object* NewNode(Interpreter& vm, bool element, const std::string& text) {
  Object* o = vm.NewObject(NodePrototype(vm));
  if (!o) return nullptr;
  InitNode(vm, o, element ? 1 : 3, element ? Value(text) : Value(Null{}),
           element ? Value(Null{}) : Value(text));
  return o;
}

void SyncChildNodes(Object* node) {
  if (Object* list = node->internal[kChildNodes].AsObject()) FillArray(list, node->elements);
}

Object* Parent(Object* node) { return AsNode(node->internal[kParent]); }

void Detach(Object* node) {
  Object* parent = Parent(node);
  node->internal[kParent] = Null{};
  if (!parent) return;
  auto& kids = parent->elements;
  kids.erase(std::remove_if(kids.begin(), kids.end(),
                            [node](const Value& v) { return v.AsObject() == node; }),
             kids.end());
  SyncChildNodes(parent);
}

// Whether `node` is `of` or one of its ancestors: a node cannot move under itself.
bool Encloses(Object* node, Object* of) {
  int hops = 0;
  for (Object* at = of; at && hops < kMaxTreeDepth * 64; at = Parent(at), ++hops) {
    if (at == node) return true;
  }
  return false;
}

// Puts `child` among `parent`'s children before `before` (at the end when null). A node that
// is already in a tree stays where it is: it has to be removed first.
void Insert(Object* parent, Object* child, Object* before) {
  if (Parent(child) || Encloses(child, parent)) return;
  auto& kids = parent->elements;
  auto at = std::find_if(kids.begin(), kids.end(),
                         [before](const Value& v) { return before && v.AsObject() == before; });
  kids.insert(at, Value(child));
  child->internal[kParent] = parent;
  SyncChildNodes(parent);
}

Value Sibling(Object* node, int step) {
  Object* parent = Parent(node);
  if (!parent) return Null{};
  const auto& kids = parent->elements;
  for (size_t i = 0; i < kids.size(); ++i) {
    if (kids[i].AsObject() != node) continue;
    const size_t j = i + static_cast<size_t>(step);
    return step < 0 && i == 0 ? Value(Null{}) : j < kids.size() ? kids[j] : Value(Null{});
  }
  return Null{};
}

std::string NameOf(const Object* node) {
  const Value& n = node->internal[kName];
  return n.IsString() ? n.AsString() : std::string();
}

void Print(Interpreter& vm, Object* node, std::string& out, int depth) {
  if (depth > kMaxTreeDepth) return;
  const double type = vm.ToNumber(node->internal[kType]);
  if (type == 3) {
    const Value& v = node->internal[kValue];
    if (!v.IsUndefined() && !v.IsNull()) out += EscapeXml(vm.ToString(v));
    return;
  }
  const bool named = node->internal[kName].IsString();
  if (named) {
    out += '<' + NameOf(node);
    if (Object* attrs = node->internal[kAttributes].AsObject()) {
      // Attributes print in the order for-in lists them.
      for (const std::string& key : vm.EnumerableNames(attrs)) {
        out += ' ' + key + "=\"" + EscapeXml(vm.ToString(vm.GetMember(attrs, key))) + '"';
      }
    }
    if (node->elements.empty()) {
      out += " />";
      return;
    }
    out += '>';
  } else {
    // A document starts with the declarations it was read with.
    for (const char* decl : {"xmlDecl", "docTypeDecl"}) {
      const Value v = vm.GetMember(node, decl);
      if (!v.IsUndefined() && !v.IsNull()) out += vm.ToString(v);
    }
  }
  const std::vector<Value> kids = node->elements;
  for (const Value& kid : kids) {
    if (Object* k = AsNode(kid)) Print(vm, k, out, depth + 1);
  }
  if (named) out += "</" + NameOf(node) + '>';
}

Object* Clone(Interpreter& vm, Object* node, bool deep, int depth) {
  Object* copy = vm.NewObject(node->proto);
  if (!copy) return nullptr;
  InitNode(vm, copy, vm.ToNumber(node->internal[kType]), node->internal[kName],
           node->internal[kValue]);
  Object* from = node->internal[kAttributes].AsObject();
  Object* to = copy->internal[kAttributes].AsObject();
  if (from && to) {
    for (const Property& p : from->props) {
      if (!p.hidden && !p.getter) to->SetOwn(p.name, p.value, vm.CaseSensitive(), p.flags);
    }
  }
  if (deep && depth < kMaxTreeDepth) {
    for (const Value& kid : node->elements) {
      Object* k = AsNode(kid);
      Object* c = k ? Clone(vm, k, true, depth + 1) : nullptr;
      if (c) Insert(copy, c, nullptr);
    }
  }
  return copy;
}

// "ns:name" splits into its prefix and local name; a name without a colon has an empty prefix.
std::pair<std::string, std::string> SplitName(const std::string& name) {
  const size_t colon = name.find(':');
  if (colon == std::string::npos) return {"", name};
  return {name.substr(0, colon), name.substr(colon + 1)};
}

// The namespace bound to `prefix` on `node` or its ancestors (xmlns or xmlns:prefix).
Value NamespaceFor(Interpreter& vm, Object* node, const std::string& prefix) {
  const std::string attr = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
  int hops = 0;
  for (Object* at = node; at && hops < kMaxTreeDepth * 64; at = Parent(at), ++hops) {
    Object* attrs = at->internal[kAttributes].AsObject();
    if (attrs && attrs->FindOwn(attr, vm.CaseSensitive())) return vm.GetMember(attrs, attr);
  }
  return Null{};
}

void AddParsed(Interpreter& vm, Object* parent, const XmlTreeNode& parsed, Object* idMap) {
  Object* node = NewNode(vm, parsed.element, parsed.element ? parsed.name : parsed.text);
  if (!node) return;
  Object* attrs = node->internal[kAttributes].AsObject();
  // Attributes go in last first, so that for-in (newest first) lists them as written.
  for (auto it = parsed.attributes.rbegin(); attrs && it != parsed.attributes.rend(); ++it) {
    attrs->SetOwn(it->first, it->second, vm.CaseSensitive());
    if (idMap && it->first == "id") idMap->SetOwn(it->second, node, vm.CaseSensitive());
  }
  Insert(parent, node, nullptr);
  for (const XmlTreeNode& kid : parsed.children) AddParsed(vm, node, kid, idMap);
}

void ParseInto(Interpreter& vm, Object* doc, const std::string& text) {
  const bool cs = vm.CaseSensitive();
  while (!doc->elements.empty()) {
    if (Object* kid = AsNode(doc->elements.back())) {
      Detach(kid);
    } else {
      doc->elements.pop_back();
    }
  }
  SyncChildNodes(doc);
  const XmlDocument parsed = ParseXml(text, ToBoolean(vm.GetMember(doc, "ignoreWhite"), 7));
  if (parsed.xmlDecl) doc->SetOwn("xmlDecl", *parsed.xmlDecl, cs);
  if (parsed.docType) doc->SetOwn("docTypeDecl", *parsed.docType, cs);
  Object* idMap = vm.GetMember(doc, "idMap").AsObject();
  for (const XmlTreeNode& n : parsed.nodes) AddParsed(vm, doc, n, idMap);
  doc->SetOwn("status", parsed.status, cs);
}

using Getter = Value (*)(Interpreter&, Object*);

void InstallNodeProperties(Interpreter& vm, Object* proto) {
  const std::pair<const char*, Getter> getters[] = {
      {"nodeType", [](Interpreter&, Object* n) { return n->internal[kType]; }},
      {"attributes", [](Interpreter&, Object* n) { return n->internal[kAttributes]; }},
      {"childNodes", [](Interpreter&, Object* n) { return n->internal[kChildNodes]; }},
      {"parentNode", [](Interpreter&, Object* n) { return n->internal[kParent]; }},
      {"firstChild",
       [](Interpreter&, Object* n) {
         return n->elements.empty() ? Value(Null{}) : n->elements.front();
       }},
      {"lastChild",
       [](Interpreter&, Object* n) {
         return n->elements.empty() ? Value(Null{}) : n->elements.back();
       }},
      {"nextSibling", [](Interpreter&, Object* n) { return Sibling(n, 1); }},
      {"previousSibling", [](Interpreter&, Object* n) { return Sibling(n, -1); }},
      {"prefix",
       [](Interpreter&, Object* n) {
         return n->internal[kName].IsString() ? Value(SplitName(NameOf(n)).first) : Value(Null{});
       }},
      {"localName",
       [](Interpreter&, Object* n) {
         return n->internal[kName].IsString() ? Value(SplitName(NameOf(n)).second) : Value(Null{});
       }},
      {"namespaceURI",
       [](Interpreter& vm, Object* n) {
         if (!n->internal[kName].IsString()) return Value(Null{});
         return NamespaceFor(vm, n, SplitName(NameOf(n)).first);
       }},
  };
  for (const auto& entry : getters) {
    const Getter get = entry.second;
    AddAccessor(vm, proto, entry.first,
                [get](Interpreter& vm, const Value& self, std::span<const Value>) {
                  Object* n = AsNode(self);
                  return n ? get(vm, n) : Value();
                });
  }
  // Writing a name or a value takes a string; writing undefined changes nothing.
  for (const Slot slot : {kName, kValue}) {
    AddAccessor(
        vm, proto, slot == kName ? "nodeName" : "nodeValue",
        [slot](Interpreter&, const Value& self, std::span<const Value>) {
          Object* n = AsNode(self);
          return n ? n->internal[slot] : Value();
        },
        [slot](Interpreter& vm, const Value& self, std::span<const Value> args) {
          Object* n = AsNode(self);
          const Value v = Arg(args, 0);
          if (n && !v.IsUndefined()) n->internal[slot] = v.IsNull() ? v : Value(vm.ToString(v));
          return Value();
        });
  }
}

void InstallNodeMethods(Interpreter& vm, Object* proto) {
  AddMethod(vm, proto, "appendChild",
            [](Interpreter&, const Value& self, std::span<const Value> a) {
              Object* n = AsNode(self);
              Object* child = AsNode(Arg(a, 0));
              if (n && child) Insert(n, child, nullptr);
              return Value();
            });
  AddMethod(vm, proto, "insertBefore",
            [](Interpreter&, const Value& self, std::span<const Value> a) {
              Object* n = AsNode(self);
              Object* child = AsNode(Arg(a, 0));
              Object* before = AsNode(Arg(a, 1));
              if (n && child && before && Parent(before) == n && child != before)
                Insert(n, child, before);
              return Value();
            });
  AddMethod(vm, proto, "removeNode", [](Interpreter&, const Value& self, std::span<const Value>) {
    if (Object* n = AsNode(self)) Detach(n);
    return Value();
  });
  AddMethod(vm, proto, "cloneNode",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* n = AsNode(self);
              return n ? Value(Clone(vm, n, ToBoolean(Arg(a, 0), vm.Version()), 0)) : Value();
            });
  AddMethod(vm, proto, "hasChildNodes",
            [](Interpreter&, const Value& self, std::span<const Value>) {
              Object* n = AsNode(self);
              return Value(n && !n->elements.empty());
            });
  AddMethod(vm, proto, "toString", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* n = AsNode(self);
    if (!n) return Value("[object Object]");
    std::string out;
    Print(vm, n, out, 0);
    return Value(out);
  });
  AddMethod(vm, proto, "getNamespaceForPrefix",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* n = AsNode(self);
              return n ? NamespaceFor(vm, n, vm.ToString(Arg(a, 0))) : Value();
            });
  AddMethod(vm, proto, "getPrefixForNamespace",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const std::string uri = vm.ToString(Arg(a, 0));
              int hops = 0;
              for (Object* at = AsNode(self); at && hops < kMaxTreeDepth * 64;
                   at = Parent(at), ++hops) {
                Object* attrs = at->internal[kAttributes].AsObject();
                if (!attrs) continue;
                for (const Property& p : attrs->props) {
                  if (p.hidden || vm.ToString(p.value) != uri) continue;
                  if (p.name == "xmlns") return Value("");
                  if (p.name.rfind("xmlns:", 0) == 0) return Value(p.name.substr(6));
                }
              }
              return Value(Null{});
            });
}

}  // namespace

void InstallXml(Interpreter& vm) {
  const bool cs = vm.CaseSensitive();
  Object* nodeCtor = DefineClass(
      vm, vm.Global(), "XMLNode", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        Object* o = Unclaimed(vm, self);
        // A node needs both its type and its name or value.
        if (!o || a.size() < 2) return Value();
        const double type = vm.ToNumber(a[0]);
        const Value text = Value(vm.ToString(a[1]));
        InitNode(vm, o, type, type == 1 ? text : Value(Null{}), type == 1 ? Value(Null{}) : text);
        return self;
      });
  Object* nodeProto = PrototypeOf(vm, nodeCtor);
  if (!nodeProto) return;
  InstallNodeProperties(vm, nodeProto);
  InstallNodeMethods(vm, nodeProto);
  ListMembersInOrder(nodeProto, {"cloneNode",
                                 "removeNode",
                                 "insertBefore",
                                 "appendChild",
                                 "hasChildNodes",
                                 "toString",
                                 "getNamespaceForPrefix",
                                 "getPrefixForNamespace",
                                 "attributes",
                                 "childNodes",
                                 "firstChild",
                                 "lastChild",
                                 "nextSibling",
                                 "nodeName",
                                 "nodeType",
                                 "nodeValue",
                                 "parentNode",
                                 "previousSibling",
                                 "prefix",
                                 "localName",
                                 "namespaceURI"});

  Object* xmlCtor = DefineClass(
      vm, vm.Global(), "XML",
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        Object* o = Unclaimed(vm, self);
        if (!o) return Value();
        InitNode(vm, o, 1, Null{}, Null{});
        o->SetOwn("idMap", vm.NewPlainObject(), vm.CaseSensitive(), kDontEnum);
        if (!a.empty() && !a[0].IsUndefined() && !a[0].IsNull()) {
          ParseInto(vm, o, vm.ToString(a[0]));
        }
        return self;
      },
      nodeProto);
  Object* proto = PrototypeOf(vm, xmlCtor);
  if (!proto) return;
  proto->SetOwn("contentType", "application/x-www-form-urlencoded", cs, kDontEnum);
  proto->SetOwn("ignoreWhite", false, cs, kDontEnum);
  proto->SetOwn("loaded", Value(), cs, kDontEnum);
  proto->SetOwn("status", 0, cs, kDontEnum);
  AddMethod(vm, proto, "parseXML",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = AsNode(self);
              if (o && !a.empty()) ParseInto(vm, o, vm.ToString(a[0]));
              return Value();
            });
  for (const bool element : {true, false}) {
    AddMethod(vm, proto, element ? "createElement" : "createTextNode",
              [element](Interpreter& vm, const Value&, std::span<const Value> a) {
                return Value(NewNode(vm, element, vm.ToString(Arg(a, 0))));
              });
  }
  InstallDataMethods(vm, proto, true);
}

}  // namespace swf::avm1
