#include "player/avm1/xml_parser.h"

#include <cstdint>

#include "player/avm1/text.h"

namespace swf::avm1 {
namespace {

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool AllWhite(std::string_view s) {
  for (char c : s) {
    if (!IsWhite(c)) return false;
  }
  return true;
}

bool StartsWith(std::string_view s, size_t at, std::string_view prefix) {
  return s.size() - at >= prefix.size() && s.compare(at, prefix.size(), prefix) == 0;
}

// A numeric reference's code, or nothing when it is not one this reader knows.
std::optional<uint32_t> CharacterReference(std::string_view body) {
  if (body.size() < 2 || body[0] != '#') return std::nullopt;
  const bool hex = body[1] == 'x' || body[1] == 'X';
  const size_t start = hex ? 2 : 1;
  if (start >= body.size() || body.size() - start > 8) return std::nullopt;
  uint32_t code = 0;
  for (size_t i = start; i < body.size(); ++i) {
    const char c = body[i];
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    code = code * (hex ? 16 : 10) + digit;
  }
  if (code == 0 || code > 0x10FFFF) return std::nullopt;
  return code;
}

class Reader {
 public:
  Reader(std::string_view text, bool ignoreWhite) : s_(text), ignoreWhite_(ignoreWhite) {}

  XmlDocument Run() {
    while (pos_ < s_.size() && doc_.status == kXmlOk) {
      if (s_[pos_] == '<') {
        Markup();
      } else {
        Text();
      }
    }
    if (doc_.status == kXmlOk && !open_.empty()) doc_.status = kXmlMissingEndTag;
    return std::move(doc_);
  }

 private:
  std::vector<XmlTreeNode>& Siblings() {
    return open_.empty() ? doc_.nodes : open_.back()->children;
  }

  bool Add(XmlTreeNode node) {
    if (++count_ > kMaxXmlNodes) {
      doc_.status = kXmlOutOfMemory;
      return false;
    }
    Siblings().push_back(std::move(node));
    return true;
  }

  void Fail(int status) {
    doc_.status = status;
    pos_ = s_.size();
  }

  void Text() {
    size_t end = s_.find('<', pos_);
    if (end == std::string_view::npos) end = s_.size();
    const std::string_view raw = s_.substr(pos_, end - pos_);
    pos_ = end;
    if (ignoreWhite_ && AllWhite(raw)) return;
    XmlTreeNode node;
    node.element = false;
    node.text = DecodeXmlEntities(raw);
    Add(std::move(node));
  }

  // Finds `close` from the current position and moves past it; the text in between (from
  // `from`) goes to `body`. False, with `status` set, when it never comes.
  bool Until(std::string_view close, size_t from, std::string_view& body, int status) {
    const size_t end = s_.find(close, from);
    if (end == std::string_view::npos) {
      Fail(status);
      return false;
    }
    body = s_.substr(from, end - from);
    pos_ = end + close.size();
    return true;
  }

  void Markup() {
    std::string_view body;
    const size_t start = pos_;
    if (StartsWith(s_, pos_, "<!--")) {
      Until("-->", pos_ + 4, body, kXmlCommentUnterminated);
    } else if (StartsWith(s_, pos_, "<![CDATA[")) {
      if (!Until("]]>", pos_ + 9, body, kXmlCdataUnterminated)) return;
      XmlTreeNode node;
      node.element = false;
      node.text = std::string(body);
      Add(std::move(node));
    } else if (StartsWith(s_, pos_, "<!")) {
      if (Until(">", pos_ + 2, body, kXmlDoctypeUnterminated)) {
        doc_.docType = std::string(s_.substr(start, pos_ - start));
      }
    } else if (StartsWith(s_, pos_, "<?")) {
      if (Until("?>", pos_ + 2, body, kXmlDeclUnterminated)) {
        if (!doc_.xmlDecl) doc_.xmlDecl.emplace();
        *doc_.xmlDecl += s_.substr(start, pos_ - start);
      }
    } else if (StartsWith(s_, pos_, "</")) {
      if (!Until(">", pos_ + 2, body, kXmlMalformedElement)) return;
      while (!body.empty() && IsWhite(body.back())) body.remove_suffix(1);
      if (open_.empty() || open_.back()->name != body) return Fail(kXmlUnmatchedEndTag);
      open_.pop_back();
    } else {
      Element();
    }
  }

  void SkipWhite() {
    while (pos_ < s_.size() && IsWhite(s_[pos_])) ++pos_;
  }

  std::string_view Name(std::string_view stops) {
    const size_t from = pos_;
    while (pos_ < s_.size() && !IsWhite(s_[pos_]) &&
           stops.find(s_[pos_]) == std::string_view::npos) {
      ++pos_;
    }
    return s_.substr(from, pos_ - from);
  }

  void Element() {
    ++pos_;  // '<'
    XmlTreeNode node;
    node.name = std::string(Name("/>"));
    if (node.name.empty()) return Fail(kXmlMalformedElement);
    for (;;) {
      SkipWhite();
      if (pos_ >= s_.size()) return Fail(kXmlMalformedElement);
      if (s_[pos_] == '>' || StartsWith(s_, pos_, "/>")) break;
      std::string name(Name("=/>"));
      SkipWhite();
      if (name.empty() || pos_ >= s_.size() || s_[pos_] != '=') return Fail(kXmlMalformedElement);
      ++pos_;
      SkipWhite();
      if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) {
        return Fail(kXmlMalformedElement);
      }
      const char quote = s_[pos_];
      const size_t end = s_.find(quote, pos_ + 1);
      if (end == std::string_view::npos) return Fail(kXmlAttributeUnterminated);
      node.attributes.emplace_back(std::move(name),
                                   DecodeXmlEntities(s_.substr(pos_ + 1, end - pos_ - 1)));
      pos_ = end + 1;
    }
    const bool empty = s_[pos_] == '/';
    pos_ += empty ? 2 : 1;
    if (!Add(std::move(node))) return Fail(kXmlOutOfMemory);
    if (empty) return;
    if (open_.size() >= kMaxXmlDepth) return Fail(kXmlOutOfMemory);
    open_.push_back(&Siblings().back());
  }

  std::string_view s_;
  bool ignoreWhite_;
  size_t pos_ = 0;
  size_t count_ = 0;
  XmlDocument doc_;
  // The elements still open, outermost first. Each points into its parent's children, which
  // only grow at the end while it is open, so the pointers stay good.
  std::vector<XmlTreeNode*> open_;
};

}  // namespace

XmlDocument ParseXml(std::string_view text, bool ignoreWhite) {
  return Reader(text, ignoreWhite).Run();
}

std::string DecodeXmlEntities(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      const size_t semi = text.find(';', i + 1);
      if (semi != std::string_view::npos && semi - i <= 12) {
        const std::string_view body = text.substr(i + 1, semi - i - 1);
        bool done = false;
        for (const auto& [name, c] : kNamed) {
          if (body == name) {
            out += c;
            done = true;
            break;
          }
        }
        if (!done) {
          if (const std::optional<uint32_t> code = CharacterReference(body)) {
            out += EncodeCharacter(*code);
            done = true;
          }
        }
        if (done) {
          i = semi;
          continue;
        }
      }
    }
    out += text[i];
  }
  return out;
}

std::string EscapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace swf::avm1
