#include "soap/SoapEnvelopeWriter.h"

#include <string_view>

#include "platform/Exception.h"
#include "platform/Utf8.h"

namespace quorl {
namespace {

void AppendCharRef(std::string& out, char32_t cp) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = kHex[cp & 0xF];
    cp >>= 4;
  } while (cp != 0);
  out += "&#x";
  while (n > 0) out += buf[--n];
  out += ';';
}

void AppendAttributeValue(std::string& out, std::string_view utf8) {
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
}

bool IsNameSafe(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '-' || c == '.';
    if (!ok) return false;
  }
  return !(name[0] >= '0' && name[0] <= '9') && name[0] != '-' && name[0] != '.';
}

}  // namespace

bool SoapEnvelopeWriter::AppendEscaped(std::string& out, std::u16string_view text, bool asciiOnly) {
  bool valid = true;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = NextUtf16(text, i);
    if (IsSurrogate(cp)) cp = '?';  // unpaired surrogate: no character to carry
    switch (cp) {
      case '&':
        out += "&amp;";
        continue;
      case '<':
        out += "&lt;";
        continue;
      case '>':
        out += "&gt;";
        continue;
      // A raw carriage return would be folded into a line feed by the
      // receiving parser; the reference keeps it.
      case '\r':
        out += "&#13;";
        continue;
      case '\t':
      case '\n':
        out += static_cast<char>(cp);
        continue;
      default:
        break;
    }
    if (cp < 0x20 || cp == 0xFFFE || cp == 0xFFFF) {
      valid = false;
      continue;
    }
    if (cp < 0x80)
      out += static_cast<char>(cp);
    else if (asciiOnly)
      AppendCharRef(out, cp);
    else
      AppendUtf8(out, cp);
  }
  return valid;
}

std::string SoapEnvelopeWriter::WriteRequest(const std::string& nameSpace, const SoapMethod& method,
                                             const std::vector<SoapValue>& args,
                                             const SoapConverter& converter) {
  if (args.size() != method.params.size())
    throw Exception("SOAP call " + method.name + ": " + std::to_string(args.size()) + " arguments given, " +
                    std::to_string(method.params.size()) + " expected");
  if (!IsNameSafe(method.name)) throw Exception("invalid SOAP operation name '" + method.name + "'");

  const bool indent = converter.Has(SoapConvertOption::Indent);
  const bool typed = !converter.Has(SoapConvertOption::SendUntyped);
  const bool asciiOnly = !converter.Has(SoapConvertOption::UTF8Text);
  const bool skipEmpty = converter.Has(SoapConvertOption::DontSendEmptyParams);
  const char* nl = indent ? "\n" : "";

  std::string out;
  out.reserve(512);
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  out += nl;
  out += "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"";
  out += kSoapEnvelopeNamespace;
  out += "\" xmlns:xsd=\"";
  out += kXsdNamespace;
  out += "\" xmlns:xsi=\"";
  out += kXsiNamespace;
  out += "\" xmlns:SOAP-ENC=\"";
  out += kSoapEncodingNamespace;
  out += "\">";
  out += nl;
  out += indent ? "  " : "";
  out += "<SOAP-ENV:Body SOAP-ENV:encodingStyle=\"";
  out += kSoapEncodingNamespace;
  out += "\">";
  out += nl;
  out += indent ? "    " : "";
  out += "<NS1:" + method.name + " xmlns:NS1=\"";
  AppendAttributeValue(out, nameSpace);
  out += "\">";
  out += nl;

  for (size_t i = 0; i < args.size(); ++i) {
    const SoapParam& p = method.params[i];
    if (!IsNameSafe(p.name)) throw Exception("invalid SOAP part name '" + p.name + "'");
    const bool isText = std::holds_alternative<std::u16string>(args[i]);
    if (isText != (p.type == SoapType::String))
      throw Exception("SOAP call " + method.name + ": argument " + p.name + " has the wrong type");
    if (skipEmpty && isText && std::get<std::u16string>(args[i]).empty()) continue;

    out += indent ? "      " : "";
    out += '<';
    out += p.name;
    if (typed) out += isText ? " xsi:type=\"xsd:string\"" : " xsi:type=\"xsd:int\"";
    out += '>';
    if (isText) {
      if (!AppendEscaped(out, std::get<std::u16string>(args[i]), asciiOnly))
        throw EConvertError("SOAP call " + method.name + ": parameter " + p.name +
                            " holds a control character that XML cannot carry");
    } else {
      out += std::to_string(std::get<int32_t>(args[i]));
    }
    out += "</";
    out += p.name;
    out += '>';
    out += nl;
  }
  out += indent ? "    " : "";
  out += "</NS1:" + method.name + ">";
  out += nl;
  out += indent ? "  " : "";
  out += "</SOAP-ENV:Body>";
  out += nl;
  out += "</SOAP-ENV:Envelope>";
  out += nl;
  return out;
}

}  // namespace quorl
