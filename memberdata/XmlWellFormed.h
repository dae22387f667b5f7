// The well-formedness rules the XML parser does not enforce itself.
//
// pugixml reads markup leniently: it keeps the first of two attributes of the
// same name, takes '<' inside an attribute value as text and ignores text,
// a second DOCTYPE or an XML declaration outside the document element. The
// readers of outside answers (member info, check-ticket answers, the balance
// report) refuse such text instead of guessing what was meant, so they run
// this check on the text the parser has accepted.
#pragma once

#include <string_view>

namespace quorl {

// Scans text once, in time linear in its size (duplicate attribute names are
// found by sorting once an element has many), and raises EXMLDocError
// "XML parse error: <what> at offset <byte offset>" when it breaks one of:
//  - exactly one document element, and outside it only whitespace, comments
//    and processing instructions, plus at most one DOCTYPE before it and the
//    XML declaration at the very start (after a UTF-8 byte-order mark);
//  - in a start tag, attributes separated by whitespace, each a name, '=' and
//    a quoted value without '<', and no name given twice;
//  - an end tag is a name, optional whitespace and '>'.
// Markup is recognised by its ASCII bytes, byte by byte as the parser does,
// so the text may be UTF-8, GBK or Latin-1 (wider encodings: convert first).
// Left to the parser: matching end tags, name characters, references,
// comment contents. Nothing is expanded or allocated per byte of input.
void CheckWellFormedXml(std::string_view text);

}  // namespace quorl
