#include "soap/SoapAnswerReader.h"

#include <pugixml.hpp>
#include <string_view>

#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Text.h"
#include "soap/SoapEnvelopeWriter.h"

namespace quorl {
namespace {

constexpr std::string_view kSoap12EnvelopeNamespace = "http://www.w3.org/2003/05/soap-envelope";

// xsi and xsd went through three namespace years; services still send all.
bool IsXsiNamespace(std::string_view ns) {
  return ns == kXsiNamespace || ns == "http://www.w3.org/2000/10/XMLSchema-instance" ||
         ns == "http://www.w3.org/1999/XMLSchema-instance";
}
bool IsSchemaTypeNamespace(std::string_view ns) {
  return ns == kXsdNamespace || ns == "http://www.w3.org/2000/10/XMLSchema" ||
         ns == "http://www.w3.org/1999/XMLSchema" || ns == kSoapEncodingNamespace;
}

std::string AttrText(pugi::xml_attribute a) { return a.value(); }

std::string_view LocalName(std::string_view qname) {
  const size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

std::string_view PrefixOf(std::string_view qname) {
  const size_t colon = qname.find(':');
  return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

// The namespace bound to prefix at node (the default namespace for an empty
// prefix), searching the node and its ancestors; empty when unbound.
std::string ResolvePrefix(pugi::xml_node node, std::string_view prefix) {
  std::string attr = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
  for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent()) {
    if (pugi::xml_attribute a = n.attribute(attr.c_str())) return AttrText(a);
  }
  return {};
}

std::string NamespaceOf(pugi::xml_node element) { return ResolvePrefix(element, PrefixOf(element.name())); }

bool Is(pugi::xml_node n, std::string_view local, std::string_view ns) {
  return n.type() == pugi::node_element && LocalName(n.name()) == local && NamespaceOf(n) == ns;
}

pugi::xml_node FirstElement(pugi::xml_node parent) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) return c;
  return {};
}

// The attribute with this local name whose prefix is bound to an xsi namespace.
pugi::xml_attribute XsiAttribute(pugi::xml_node element, std::string_view local) {
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    const std::string_view name = a.name();
    if (LocalName(name) != local || PrefixOf(name).empty()) continue;
    if (IsXsiNamespace(ResolvePrefix(element, PrefixOf(name)))) return a;
  }
  return {};
}

pugi::xml_attribute UnqualifiedOrAnyAttribute(pugi::xml_node element, std::string_view local) {
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute())
    if (LocalName(a.name()) == local && std::string_view(a.name()).substr(0, 5) != "xmlns") return a;
  return {};
}

// The common answer holds one text node: it is converted straight from the
// parse buffer instead of being copied first. Returns a null node and sets
// single when the element is empty.
pugi::xml_node SingleTextNode(pugi::xml_node element, bool& single) {
  single = false;
  pugi::xml_node only;
  for (pugi::xml_node c = element.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_comment || c.type() == pugi::node_pi) continue;
    if (only || (c.type() != pugi::node_pcdata && c.type() != pugi::node_cdata)) return {};
    only = c;
  }
  single = true;
  return only;
}

// Character data of an element; hasElements tells whether it holds markup.
std::string TextOf(pugi::xml_node element, bool* hasElements) {
  std::string text;
  if (hasElements) *hasElements = false;
  for (pugi::xml_node c = element.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
      text += c.value();
    else if (c.type() == pugi::node_element && hasElements)
      *hasElements = true;
  }
  return text;
}

bool ParseInt32(std::string_view s, int32_t& out) {
  if (s.empty()) return false;
  bool negative = false;
  size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL || v < -2147483648LL) return false;
  out = static_cast<int32_t>(v);
  return true;
}

bool TypeFits(std::string_view local, SoapType type) {
  static constexpr std::string_view kText[] = {"string", "normalizedString", "token", "anyType",
                                               "anySimpleType"};
  static constexpr std::string_view kInt[] = {"int",
                                              "integer",
                                              "long",
                                              "short",
                                              "byte",
                                              "unsignedInt",
                                              "unsignedShort",
                                              "unsignedByte",
                                              "nonNegativeInteger",
                                              "positiveInteger",
                                              "anyType",
                                              "anySimpleType"};
  if (type == SoapType::String) {
    for (auto t : kText)
      if (local == t) return true;
    return false;
  }
  for (auto t : kInt)
    if (local == t) return true;
  return false;
}

// Finds the element whose id attribute equals id, scanning the subtree
// without recursion so that deep nesting cannot exhaust the stack.
pugi::xml_node FindById(pugi::xml_node root, std::string_view id) {
  pugi::xml_node n = root.first_child();
  while (n) {
    if (n.type() == pugi::node_element) {
      pugi::xml_attribute a = n.attribute("id");
      if (a && id == AttrText(a)) return n;
      if (n.first_child()) {
        n = n.first_child();
        continue;
      }
    }
    while (n && !n.next_sibling() && n != root) n = n.parent();
    if (!n || n == root) break;
    n = n.next_sibling();
  }
  return {};
}

// --- answer encodings ---------------------------------------------------------

std::string LowerTrimmed(std::string_view s) { return ToLowerAscii(TrimView(s)); }

// The charset parameter of a Content-Type value ("text/xml; charset=GBK"),
// quotes removed; empty when there is none.
std::string CharsetOf(std::string_view contentType) {
  size_t pos = contentType.find(';');
  while (pos != std::string_view::npos) {
    const size_t next = contentType.find(';', pos + 1);
    const std::string_view param =
        contentType.substr(pos + 1, next == std::string_view::npos ? std::string_view::npos : next - pos - 1);
    pos = next;
    const size_t eq = param.find('=');
    if (eq == std::string_view::npos || LowerTrimmed(param.substr(0, eq)) != "charset") continue;
    std::string_view value = TrimView(param.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    return std::string(TrimView(value));
  }
  return {};
}

// The encoding named by an XML declaration written in ASCII-compatible bytes
// at the very start of the body; empty when there is none.
std::string DeclaredEncoding(std::string_view body) {
  if (body.substr(0, 5) != "<?xml" || body.size() < 6 ||
      std::string_view(" \t\r\n").find(body[5]) == std::string_view::npos)
    return {};
  const size_t end = body.find("?>");
  if (end == std::string_view::npos || end > 512) return {};
  const std::string_view decl = body.substr(0, end);
  size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  at += 8;
  while (at < decl.size() && (decl[at] == ' ' || decl[at] == '\t' || decl[at] == '\r' || decl[at] == '\n'))
    ++at;
  if (at >= decl.size() || decl[at] != '=') return {};
  ++at;
  while (at < decl.size() && (decl[at] == ' ' || decl[at] == '\t' || decl[at] == '\r' || decl[at] == '\n'))
    ++at;
  if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return {};
  const size_t close = decl.find(decl[at], at + 1);
  if (close == std::string_view::npos) return {};
  return std::string(decl.substr(at + 1, close - at - 1));
}

bool HasByteOrderMark(std::string_view b) {
  return b.substr(0, 3) == "\xEF\xBB\xBF" || b.substr(0, 2) == "\xFE\xFF" || b.substr(0, 2) == "\xFF\xFE";
}

// GB18030 is GBK plus four-byte sequences (second and fourth byte a digit)
// for every character GBK lacks. The rest converts as GBK; each four-byte
// sequence becomes one '?', as any character the host code page cannot hold
// does, so none of its digits leak into the text.
std::string Gb18030ToUtf8(std::string_view in) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(in[k]); };
  const auto lead = [](unsigned char c) { return c >= 0x81 && c <= 0xFE; };
  const auto digit = [](unsigned char c) { return c >= 0x30 && c <= 0x39; };
  std::string out;
  out.reserve(in.size() + in.size() / 2);
  size_t run = 0;
  size_t i = 0;
  while (i < in.size()) {
    if (!lead(at(i)) || i + 1 >= in.size()) {
      ++i;
      continue;
    }
    if (!digit(at(i + 1))) {
      i += 2;
      continue;
    }
    if (i + 3 < in.size() && lead(at(i + 2)) && digit(at(i + 3))) {
      out += GbkToUtf8(in.substr(run, i - run));
      out += '?';
      i += 4;
      run = i;
      continue;
    }
    ++i;  // a broken sequence: GBK conversion marks its lead byte
  }
  out += GbkToUtf8(in.substr(run));
  return out;
}

// An encoding name as the peer wrote it, made safe for a one-line message.
std::string NameForMessage(std::string_view name) {
  std::string out;
  for (char c : name.substr(0, 40))
    out += (static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F) ? c : '?';
  return out;
}

// Brings body into a form pugixml reads and returns the encoding to parse it
// with. A byte-order mark is unambiguous and wins; otherwise the HTTP charset
// overrides the XML declaration, as the media-type rules for XML say (a
// gateway that re-encodes the body fixes the header, not the declaration);
// with neither, pugixml's own detection applies (UTF-8 by default). Names
// are matched ignoring case. Raises ESOAPDomConvertError for a name nobody here
// knows: guessing would hand the host wrong text without a sign.
pugi::xml_encoding PrepareEncoding(std::string& body, std::string_view contentType,
                                   const std::string& where) {
  if (HasByteOrderMark(body)) return pugi::encoding_auto;
  std::string name = CharsetOf(contentType);
  if (name.empty()) name = DeclaredEncoding(body);
  if (name.empty()) return pugi::encoding_auto;
  const std::string key = LowerTrimmed(name);
  static constexpr std::string_view kUtf8[] = {"utf-8", "utf8", "us-ascii", "ascii"};
  static constexpr std::string_view kGbk[] = {"gbk",    "cp936",    "ms936",   "windows-936",
                                              "x-gbk",  "gb2312",   "gb_2312", "gb_2312-80",
                                              "euc-cn", "x-euc-cn", "csgb2312"};
  static constexpr std::string_view kLatin1[] = {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1"};
  for (std::string_view n : kUtf8)
    if (key == n) return pugi::encoding_utf8;
  for (std::string_view n : kGbk) {
    if (key == n) {
      body = GbkToUtf8(body);
      return pugi::encoding_utf8;
    }
  }
  if (key == "gb18030" || key == "gb-18030") {
    body = Gb18030ToUtf8(body);
    return pugi::encoding_utf8;
  }
  for (std::string_view n : kLatin1)
    if (key == n) return pugi::encoding_latin1;
  if (key == "utf-16le") return pugi::encoding_utf16_le;
  if (key == "utf-16be") return pugi::encoding_utf16_be;
  if (key == "utf-16" || key == "utf16")
    return !body.empty() && body[0] == '\0' ? pugi::encoding_utf16_be : pugi::encoding_utf16_le;
  throw ESOAPDomConvertError(where + "the answer is in the encoding '" + NameForMessage(name) +
                             "', which is not supported");
}

class ParsedEnvelope {
 public:
  // Parses body; on failure leaves envelope() empty and sets error(). An
  // unknown encoding raises ESOAPDomConvertError at once.
  ParsedEnvelope(std::string& body, std::string_view contentType, const std::string& where) {
    if (body.empty()) {
      error_ = "the answer is empty";
      return;
    }
    const pugi::xml_encoding encoding = PrepareEncoding(body, contentType, where);
    const unsigned flags = pugi::parse_default | pugi::parse_doctype;
    const pugi::xml_parse_result r = doc_.load_buffer_inplace(body.data(), body.size(), flags, encoding);
    if (!r) {
      error_ = std::string("the answer is not well-formed XML (") + r.description() + " at offset " +
               std::to_string(r.offset) + ")";
      return;
    }
    for (pugi::xml_node c = doc_.first_child(); c; c = c.next_sibling()) {
      // No entity declarations are honoured anyway; a DOCTYPE in a SOAP
      // message is forbidden and only ever a sign of mischief.
      if (c.type() == pugi::node_doctype) {
        error_ = "the answer carries a DOCTYPE, which SOAP forbids";
        return;
      }
    }
    pugi::xml_node root = doc_.document_element();
    if (!root) {
      error_ = "the answer has no document element";
      return;
    }
    if (LocalName(root.name()) == "Envelope" && NamespaceOf(root) == kSoap12EnvelopeNamespace) {
      error_ = "the answer is a SOAP 1.2 envelope; only SOAP 1.1 is spoken";
      return;
    }
    if (!Is(root, "Envelope", kSoapEnvelopeNamespace)) {
      error_ = "the answer is not a SOAP envelope (document element <" +
               Utf8ToGbk(std::string_view(root.name()).substr(0, 64)) + ">)";
      return;
    }
    for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
      if (Is(c, "Body", kSoapEnvelopeNamespace)) {
        body_ = c;
        break;
      }
    }
    if (!body_) {
      error_ = "the SOAP envelope has no Body";
      return;
    }
    envelope_ = root;
  }

  pugi::xml_node envelope() const { return envelope_; }
  pugi::xml_node body() const { return body_; }
  const std::string& error() const { return error_; }

  // Raises ERemotableException when the Body holds a Fault.
  void RaiseIfFault() const {
    pugi::xml_node first = FirstElement(body_);
    if (!first || LocalName(first.name()) != "Fault") return;
    const std::string ns = NamespaceOf(first);
    if (!ns.empty() && ns != kSoapEnvelopeNamespace) return;
    std::string code, text;
    for (pugi::xml_node c = first.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      const std::string_view local = LocalName(c.name());
      if (local == "faultcode") code = std::string(TrimView(TextOf(c, nullptr)));
      if (local == "faultstring") text = TextOf(c, nullptr);
    }
    throw ERemotableException(Utf8ToGbk(code), Utf8ToGbk(text));
  }

 private:
  pugi::xml_document doc_;
  pugi::xml_node envelope_;
  pugi::xml_node body_;
  std::string error_;
};

// A short piece of answer text for a message, in the message's code page.
std::string Snippet(std::string_view utf8) { return Utf8ToGbk(utf8.substr(0, 64)); }

bool MarkedNotRoot(pugi::xml_node element) {
  pugi::xml_attribute root = UnqualifiedOrAnyAttribute(element, "root");
  if (!root) return false;
  const std::string v = AttrText(root);
  return v == "0" || v == "false";
}

}  // namespace

SoapValue SoapAnswerReader::Read(std::string body, const SoapMethod& method, bool strictTypes,
                                 std::string_view contentType) {
  const std::string where = "SOAP answer to " + method.name + ": ";
  ParsedEnvelope env(body, contentType, where);
  if (!env.envelope()) throw ESOAPDomConvertError(where + env.error());
  env.RaiseIfFault();

  pugi::xml_node wrapper;
  for (pugi::xml_node c = env.body().first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && !MarkedNotRoot(c)) {
      wrapper = c;
      break;
    }
  }
  if (!wrapper) throw ESOAPDomConvertError(where + "the Body holds no response element");
  pugi::xml_node result = FirstElement(wrapper);
  if (!result) throw ESOAPDomConvertError(where + "the response carries no return value");

  for (int hops = 0;; ++hops) {
    pugi::xml_attribute href = result.attribute("href");
    if (!href) break;
    if (hops >= kSoapMaxReferenceHops)
      throw ESOAPDomConvertError(where + "too many href references (a cycle?)");
    const std::string ref = AttrText(href);
    if (ref.size() < 2 || ref[0] != '#')
      throw ESOAPDomConvertError(where + "unsupported reference '" + Snippet(ref) + "'");
    pugi::xml_node target = FindById(env.body(), ref.substr(1));
    if (!target)
      throw ESOAPDomConvertError(where + "reference '" + Snippet(ref) + "' has no element with that id");
    result = target;
  }

  if (pugi::xml_attribute nil = XsiAttribute(result, "nil")) {
    const std::string v = AttrText(nil);
    if (v == "true" || v == "1") {
      if (method.result == SoapType::Int)
        throw EConvertError(where + "the result is nil where an integer was expected");
      return std::u16string();
    }
  }

  if (strictTypes) {
    if (pugi::xml_attribute type = XsiAttribute(result, "type")) {
      const std::string qname = AttrText(type);
      const std::string ns = ResolvePrefix(result, PrefixOf(qname));
      if (!IsSchemaTypeNamespace(ns) || !TypeFits(LocalName(qname), method.result))
        throw ESOAPDomConvertError(where + "the result has type '" + Snippet(qname) +
                                   "', which does not fit " +
                                   (method.result == SoapType::Int ? "an integer" : "text"));
    }
  }

  bool single = false;
  const pugi::xml_node only = SingleTextNode(result, single);
  if (single && method.result == SoapType::String) {
    if (!only) return std::u16string();
    return Utf8ToUtf16(only.value());
  }
  bool hasElements = false;
  const std::string text = TextOf(result, &hasElements);
  if (hasElements)
    throw ESOAPDomConvertError(where + "the result is a structure where a simple value was expected");

  if (method.result == SoapType::Int) {
    const std::string_view trimmed = TrimView(text);
    int32_t value = 0;
    if (!ParseInt32(trimmed, value))
      throw EConvertError(where + "'" + Snippet(trimmed) + "' is not a valid integer");
    return value;
  }
  return Utf8ToUtf16(text);
}

void SoapAnswerReader::RaiseIfFault(std::string body, std::string_view contentType) {
  // Anything that is not a readable fault is left to the caller's own error.
  try {
    ParsedEnvelope env(body, contentType, "");
    if (env.envelope()) env.RaiseIfFault();
  } catch (const ESOAPDomConvertError&) {
  }
}

}  // namespace quorl
