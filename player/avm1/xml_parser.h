#pragma once
// The XML reader behind XML.parseXML: text a movie loads or builds, read into a plain tree.
// It keeps the original player's leniency (no namespaces checked, unknown entities left as
// they are, comments dropped) and its status codes for what it cannot read; what it read up to
// a fault stays in the tree.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace swf::avm1 {

enum XmlStatus : int {
  kXmlOk = 0,
  kXmlCdataUnterminated = -2,
  kXmlDeclUnterminated = -3,
  kXmlDoctypeUnterminated = -4,
  kXmlCommentUnterminated = -5,
  kXmlMalformedElement = -6,
  kXmlOutOfMemory = -7,
  kXmlAttributeUnterminated = -8,
  kXmlMissingEndTag = -9,
  kXmlUnmatchedEndTag = -10,
};

// Elements nest at most this deep and a document holds at most this many nodes; past either
// the reader stops as if out of memory.
inline constexpr size_t kMaxXmlDepth = 256;
inline constexpr size_t kMaxXmlNodes = 100'000;

struct XmlTreeNode {
  bool element = true;                                          // false: a text node
  std::string name;                                             // elements
  std::string text;                                             // text nodes
  std::vector<std::pair<std::string, std::string>> attributes;  // in the order written
  std::vector<XmlTreeNode> children;
};

struct XmlDocument {
  int status = kXmlOk;
  std::optional<std::string> xmlDecl;  // "<?xml ...?>" as written, several run together
  std::optional<std::string> docType;  // "<!DOCTYPE ...>" as written
  std::vector<XmlTreeNode> nodes;      // the top level
};

// `ignoreWhite` drops text nodes that hold only white space.
XmlDocument ParseXml(std::string_view text, bool ignoreWhite);

// &lt; &gt; &amp; &quot; &apos; and numeric references to the characters they stand for
// (UTF-8); anything else is left as written.
std::string DecodeXmlEntities(std::string_view text);
// The five special characters as entities, as toString writes text and attribute values.
std::string EscapeXml(std::string_view text);

}  // namespace swf::avm1
