// The player's library classes (XML, LoadVars, geometry, Date, ...) as scripts use them, and the
// XML reader under them.
#include <gtest/gtest.h>

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

}  // namespace
