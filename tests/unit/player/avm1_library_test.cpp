// The player's library classes (XML, LoadVars, geometry, Date, ...) as scripts use them, and the
// XML reader under them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "player/avm1/interpreter.h"
#include "player/avm1/xml_parser.h"

namespace {

using swf::avm1::Interpreter;
using swf::avm1::Value;

std::string Dump(const std::vector<swf::avm1::XmlTreeNode>& nodes) {
  std::string out;
  for (const auto& n : nodes) {
    if (!n.element) {
      out += "'" + n.text + "'";
      continue;
    }
    out += n.name;
    for (const auto& [k, v] : n.attributes) out += "[" + k + "=" + v + "]";
    if (!n.children.empty()) out += "(" + Dump(n.children) + ")";
  }
  return out;
}

TEST(XmlReader, TreesAndStatusCodes) {
  const struct {
    const char* text;
    bool ignoreWhite;
    int status;
    const char* tree;
  } cases[] = {
      {"<a x=\"1\" y='&lt;&#65;'><b>t &amp; &bogus;</b><c/></a>", false, 0,
       "a[x=1][y=<A](b('t & &bogus;')c)"},
      {"<a> <b> x </b>\n</a>", false, 0, "a(' 'b(' x ')'\n')"},
      {"<a> <b> x </b>\n</a>", true, 0, "a(b(' x '))"},
      {"<?xml version=\"1.0\"?><!DOCTYPE d><!--c--><a><![CDATA[<&>]]></a>", false, 0, "a('<&>')"},
      {"<![CDATA[x", false, -2, ""},
      {"<?xml", false, -3, ""},
      {"<!DOCTYPE", false, -4, ""},
      {"<a><!-- x", false, -5, "a"},
      {"<a x>", false, -6, ""},
      {"< a>", false, -6, ""},
      {"<a x=\"1>", false, -8, ""},
      {"<a><b></b>", false, -9, "a(b)"},
      {"<a></b>", false, -10, "a"},
      {"</a>", false, -10, ""},
  };
  for (const auto& c : cases) {
    const swf::avm1::XmlDocument doc = swf::avm1::ParseXml(c.text, c.ignoreWhite);
    EXPECT_EQ(doc.status, c.status) << c.text;
    EXPECT_EQ(Dump(doc.nodes), c.tree) << c.text;
  }
  // Nesting past the bound stops the reader instead of the stack.
  std::string deep;
  for (size_t i = 0; i <= swf::avm1::kMaxXmlDepth; ++i) deep += "<a>";
  EXPECT_EQ(swf::avm1::ParseXml(deep, false).status, swf::avm1::kXmlOutOfMemory);
}

// Calls `method` on `self` and prints the result as a script would see it.
std::string CallOn(Interpreter& vm, const Value& self, const char* method,
                   std::vector<Value> args = {}) {
  const Value r = vm.Call(vm.GetMember(self, method), self, args);
  return r.IsUndefined() ? "undefined" : vm.ToString(r);
}

Value New(Interpreter& vm, const char* cls, std::vector<Value> args) {
  return vm.Construct(vm.GetMember(vm.Global(), cls), args);
}

TEST(Avm1Library, DatesInUtc) {
  Interpreter vm(8, nullptr);
  const Value leap = New(vm, "Date", {2024, 1, 29, 23, 59, 58, 999});
  const Value early = New(vm, "Date", {Value(-1.0)});
  const Value invalid = New(vm, "Date", {Value("soon")});
  const struct {
    Value self;
    const char* method;
    std::vector<Value> args;
    const char* result;
  } cases[] = {
      {leap, "toString", {}, "Thu Feb 29 23:59:58 GMT+0000 2024"},
      {leap, "getTime", {}, "1709251198999"},
      {leap, "getDay", {}, "4"},
      {leap, "getTimezoneOffset", {}, "0"},
      // Fields past their range carry into the next: 23:59 and 61 seconds is the next day.
      {leap, "setSeconds", {61}, "1709251201999"},
      {leap, "getUTCDate", {}, "1"},
      {leap, "setMonth", {12}, "1735689601999"},
      {leap, "getFullYear", {}, "2025"},
      {early, "getFullYear", {}, "1969"},
      {early, "getMilliseconds", {}, "999"},
      {invalid, "toString", {}, "Invalid Date"},
      {invalid, "getHours", {}, "NaN"},
      {invalid, "setFullYear", {1999}, "915148800000"},
  };
  for (const auto& c : cases) EXPECT_EQ(CallOn(vm, c.self, c.method, c.args), c.result) << c.method;
  EXPECT_EQ(CallOn(vm, vm.GetMember(vm.Global(), "Date"), "UTC", {99, 11, 31}), "946598400000");
}

TEST(Avm1Library, SharedObjectsLastTheRun) {
  Interpreter vm(8, nullptr);
  const Value so = vm.GetMember(vm.Global(), "SharedObject");
  const Value first = vm.Call(vm.GetMember(so, "getLocal"), so, std::vector<Value>{"prefs"});
  vm.SetMember(vm.GetMember(first, "data"), "volume", 7);
  const Value again = vm.Call(vm.GetMember(so, "getLocal"), so, std::vector<Value>{"prefs"});
  EXPECT_EQ(vm.ToString(vm.GetMember(vm.GetMember(again, "data"), "volume")), "7");
  EXPECT_EQ(CallOn(vm, again, "flush"), "true");
  const Value other = vm.Call(vm.GetMember(so, "getLocal"), so, std::vector<Value>{"prefs", "/a"});
  EXPECT_TRUE(vm.GetMember(vm.GetMember(other, "data"), "volume").IsUndefined());
  EXPECT_TRUE(vm.Call(vm.GetMember(so, "getLocal"), so, std::vector<Value>{"a:b"}).IsNull());
}

// A subclass's method may pass `super` on as the `this` of its superclass's native method
// (super.connect.apply(super, arguments)); the method must still find its own object.
TEST(Avm1Library, SuperAsThisStandsForItsObject) {
  Interpreter vm(8, nullptr);
  const Value connection = New(vm, "NetConnection", {});
  const Value connect = vm.GetMember(connection, "connect");
  const Value super = vm.MakeSuper(connect.AsObject(), connection);
  ASSERT_TRUE(super.IsObject());
  const Value args[] = {super, vm.NewArray()};
  vm.Call(vm.GetMember(connect, "apply"), connect, args);
  EXPECT_EQ(vm.ToString(vm.GetMember(connection, "isConnected")), "true");
}

TEST(Avm1Library, LoadsWaitForTheHostAndDecodeWhatCame) {
  Interpreter vm(8, nullptr);
  std::vector<Interpreter::UrlRequest> sent;
  vm.SetUrlSink([&](const Interpreter::UrlRequest& r) { sent.push_back(r); });
  const Value vars = New(vm, "LoadVars", {});
  vm.SetMember(vars, "a b", "1&2");
  EXPECT_EQ(CallOn(vm, vars, "toString"), "a%20b=1%262");
  const Value target = New(vm, "LoadVars", {});
  EXPECT_EQ(CallOn(vm, vars, "sendAndLoad", {"http://host/x", target, "GET"}), "true");
  const Value xml = New(vm, "XML", {});
  EXPECT_EQ(CallOn(vm, xml, "load", {"doc.xml"}), "true");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].url, "http://host/x?a%20b=1%262");
  EXPECT_EQ(sent[0].method, 1);
  EXPECT_NE(sent[0].replyId, sent[1].replyId);

  vm.DeliverData(sent[0].replyId, "k=v+w%21&n");
  EXPECT_EQ(vm.ToString(vm.GetMember(target, "k")), "v w!");
  EXPECT_EQ(vm.ToString(vm.GetMember(target, "loaded")), "true");
  // An answer comes once; a second one for the same id goes nowhere.
  vm.SetMember(target, "k", "kept");
  vm.DeliverData(sent[0].replyId, "k=again");
  EXPECT_EQ(vm.ToString(vm.GetMember(target, "k")), "kept");

  vm.DeliverData(sent[1].replyId, std::nullopt);
  EXPECT_EQ(vm.ToString(vm.GetMember(xml, "loaded")), "false");
  EXPECT_EQ(CallOn(vm, xml, "toString"), "");
  const Value doc = New(vm, "XML", {"<a x=\"&quot;\">1<b/></a>"});
  EXPECT_EQ(CallOn(vm, doc, "toString"), "<a x=\"&quot;\">1<b /></a>");
}

}  // namespace

namespace {

// What `new` leaves on an object before anything else: the link then the maker, unless the
// constructor made it one of the player's own kinds; some constructors lock all of it.
TEST(Avm1Library, WhatNewLeavesOnAnObject) {
  struct Case {
    const char* cls;
    std::vector<std::string> firstOwn;  // the object's own names, oldest first
    bool locked;
  };
  const Case cases[] = {
      {"Object", {"__proto__", "__constructor__"}, false},
      {"ContextMenu",
       {"__proto__", "__constructor__", "onSelect", "builtInItems", "customItems"},
       false},
      {"Color", {"__proto__", "__constructor__", "target"}, true},
      {"Sound", {}, false},
  };
  for (const Case& c : cases) {
    Interpreter vm(8, nullptr);
    swf::avm1::Object* o = New(vm, c.cls, {}).AsObject();
    ASSERT_NE(o, nullptr) << c.cls;
    std::vector<std::string> own;
    bool locked = true;
    for (const swf::avm1::Property& p : o->props) {
      if (own.size() < c.firstOwn.size()) own.push_back(p.name);
      locked = locked && (p.flags & 7) == 7;
      if (!c.firstOwn.empty()) continue;
      EXPECT_NE(p.name, "__proto__") << c.cls;
      EXPECT_NE(p.name, "__constructor__") << c.cls;
    }
    EXPECT_EQ(own, c.firstOwn) << c.cls;
    if (c.locked) EXPECT_TRUE(locked) << c.cls;
    // The link stays a link however it is listed.
    EXPECT_TRUE(vm.InstanceOf(Value(o), vm.GetMember(vm.Global(), c.cls))) << c.cls;
  }
}

}  // namespace
