#include "memberdata/GbkXml.h"

#include <cstdint>
#include <cstring>

#include "memberdata/XmlWellFormed.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Utf8.h"

namespace {

constexpr unsigned kGbkParseOptions = pugi::parse_wconv_attribute | pugi::parse_cdata | pugi::parse_eol;

void AppendUtf16AsGbk(std::string& out, uint32_t cp) {
  std::u16string u;
  quorl::AppendUtf16(u, cp);
  out += quorl::Utf16ToGbk(u);
}

// Parses "#123;" / "#x7B;" after '&'; returns the length consumed (up to and
// including ';') or 0 when it is no valid character reference.
size_t ParseCharRef(const char* p, uint32_t& cp) {
  size_t i = 1;  // past '#'
  int base = 10;
  if (p[i] == 'x') {
    base = 16;
    ++i;
  }
  const size_t start = i;
  uint32_t v = 0;
  for (;; ++i) {
    const char c = p[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      break;
    v = v * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
    if (v > 0x10FFFF) return 0;
  }
  if (i == start || p[i] != ';') return 0;
  if (v == 0 || quorl::IsSurrogate(v)) return 0;
  cp = v;
  return i + 1;
}

}  // namespace

namespace quorl {

pugi::xml_node LoadGbkXml(pugi::xml_document& document, const std::string& gbkText) {
  // Naming UTF-8 keeps pugixml from converting or checking the GBK bytes.
  const pugi::xml_parse_result r =
      document.load_buffer(gbkText.data(), gbkText.size(), kGbkParseOptions, pugi::encoding_utf8);
  if (!r) {
    throw EXMLDocError(std::string("XML parse error: ") + r.description() + " at offset " +
                       std::to_string(r.offset));
  }
  const pugi::xml_node root = document.document_element();
  for (pugi::xml_node n = root.next_sibling(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element) throw EXMLDocError("XML parse error: more than one document element");
  CheckWellFormedXml(gbkText);
  return root;
}

std::string UnescapeXmlToGbk(const char* text) {
  std::string out;
  out.reserve(std::strlen(text));
  for (const char* p = text; *p != '\0';) {
    if (*p != '&') {
      out.push_back(*p++);
      continue;
    }
    const char* q = p + 1;
    static constexpr struct {
      const char* name;
      size_t len;
      char ch;
    } kEntities[] = {
        {"lt;", 3, '<'}, {"gt;", 3, '>'}, {"amp;", 4, '&'}, {"quot;", 5, '"'}, {"apos;", 5, '\''}};
    bool done = false;
    for (const auto& e : kEntities) {
      if (std::strncmp(q, e.name, e.len) == 0) {
        out.push_back(e.ch);
        p = q + e.len;
        done = true;
        break;
      }
    }
    if (done) continue;
    uint32_t cp = 0;
    if (*q == '#') {
      if (const size_t n = ParseCharRef(q, cp)) {
        AppendUtf16AsGbk(out, cp);
        p = q + n;
        continue;
      }
    }
    out.push_back(*p++);  // not a reference we know: keep it as written
  }
  return out;
}

std::string GbkAttribute(const pugi::xml_node& node, const char* name) {
  const char* v = node.attribute(name).value();
  if (std::strchr(v, '&') != nullptr) return UnescapeXmlToGbk(v);
  return v;
}

}  // namespace quorl
