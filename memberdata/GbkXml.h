// Reading XML answers that have already been converted to host text (GBK).
//
// The text goes to pugixml as bytes: GBK never uses markup bytes, so element
// and attribute names parse as they are, and values come out as the very GBK
// bytes of the text. Escapes are not resolved by the parser (it would write
// character references as UTF-8 into GBK text); UnescapeXmlToGbk does that.
// Comments and processing instructions are not kept, a DOCTYPE is skipped
// and its entities are never expanded, so memory grows with the input only.
#pragma once

#include <pugixml.hpp>
#include <string>

namespace quorl {

// Parses gbkText into document and returns its document element. Raises
// EXMLDocError with the parser's message and offset for text that is not
// well-formed, including what the parser itself lets through (see
// XmlWellFormed.h: duplicate attributes, '<' in a value, text or a second
// element after the document element).
pugi::xml_node LoadGbkXml(pugi::xml_document& document, const std::string& gbkText);

// Resolves the five predefined entities and character references (written
// in GBK, '?' when GBK lacks the character). Anything else, an undeclared
// entity or a bad reference, stays as written.
std::string UnescapeXmlToGbk(const char* text);

// An attribute's value as host text, escapes resolved; empty when absent.
std::string GbkAttribute(const pugi::xml_node& node, const char* name);

}  // namespace quorl
