#include "platform/XmlNode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>

#include "platform/CodePage.h"
#include "platform/Text.h"

namespace {

// Declarations are kept so Version()/Encoding() can answer; comments and
// processing instructions are not part of what bindings read.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration;

std::string ToUtf8(std::u16string_view s) { return quorl::Utf16ToUtf8(s); }
std::u16string FromUtf8(std::string_view s) { return quorl::Utf8ToUtf16(s); }

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}
bool IsNameChar(unsigned char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// pugixml writes whatever name it is given; a bad one would make markup that
// no parser reads back, so names are checked before anything is created.
std::string CheckedName(std::u16string_view name, const char* what) {
  std::string utf8 = ToUtf8(name);
  bool ok = !utf8.empty() && IsNameStart(static_cast<unsigned char>(utf8[0]));
  for (size_t i = 1; ok && i < utf8.size(); ++i) ok = IsNameChar(static_cast<unsigned char>(utf8[i]));
  if (!ok)
    throw EXMLDocError(std::string("Invalid XML ") + what + " name \"" + quorl::Utf8ToGbk(utf8) + "\"");
  return utf8;
}

bool IsGbkEncodingName(std::string name) {
  name = quorl::ToLowerAscii(name);
  return name == "gb2312" || name == "gbk" || name == "gb18030" || name == "cp936" || name == "windows-936";
}

// The encoding named in a leading "<?xml ... encoding='x'?>", or empty. Only
// the declaration is looked at, so this is cheap on any input.
std::string DeclaredEncoding(std::string_view bytes) {
  if (bytes.substr(0, 5) != "<?xml") return {};
  const size_t end = bytes.find("?>");
  const std::string_view decl =
      bytes.substr(0, end == std::string_view::npos ? std::min<size_t>(bytes.size(), 256) : end);
  const size_t key = decl.find("encoding");
  if (key == std::string_view::npos) return {};
  size_t p = decl.find_first_of("\"'", key);
  if (p == std::string_view::npos) return {};
  const char quote = decl[p];
  const size_t q = decl.find(quote, p + 1);
  if (q == std::string_view::npos) return {};
  return std::string(decl.substr(p + 1, q - p - 1));
}

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

}  // namespace

struct TXMLDocument::Impl {
  pugi::xml_document doc;
  // Bumped whenever the content is replaced, so nodes of the old content
  // fail cleanly instead of touching freed memory.
  unsigned generation = 0;

  void Parse(std::string_view utf8, pugi::xml_encoding encoding) {
    pugi::xml_document fresh;
    const pugi::xml_parse_result r = fresh.load_buffer(utf8.data(), utf8.size(), kParseOptions, encoding);
    if (!r) {
      throw EXMLDocError(std::string("XML parse error: ") + r.description() + " at offset " +
                         std::to_string(r.offset));
    }
    // pugixml accepts several top-level elements; XML does not.
    int elements = 0;
    for (pugi::xml_node n = fresh.first_child(); n; n = n.next_sibling())
      if (n.type() == pugi::node_element) ++elements;
    if (elements != 1) throw EXMLDocError("XML parse error: more than one document element");
    doc.reset(fresh);
    ++generation;
  }

  pugi::xml_node Declaration(bool create) {
    pugi::xml_node first = doc.first_child();
    if (first.type() == pugi::node_declaration) return first;
    if (!create) return {};
    pugi::xml_node decl = doc.prepend_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    return decl;
  }

  std::string Serialize() {
    StringWriter w;
    doc.save(w, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return std::move(w.out);
  }
};

struct TXMLNode::Binding {
  quorl::IntfPtr<IXMLDocument> document;  // keeps the document alive
  TXMLDocument* owner = nullptr;          // the same object, for its content
  unsigned generation = 0;
  pugi::xml_node element;           // empty while pending
  quorl::IntfPtr<TXMLNode> parent;  // pending nodes only
  std::string name;                 // UTF-8; pending nodes only

  // The element for reading: empty while pending.
  pugi::xml_node Read() const {
    CheckAlive();
    return element;
  }

  // The element for writing: adds a pending node (and its pending parents).
  pugi::xml_node Write() {
    CheckAlive();
    if (!element) {
      pugi::xml_node p = parent->binding_->Write();
      element = p.child(name.c_str());
      if (!element) element = p.append_child(name.c_str());
      parent.reset();
    }
    return element;
  }

  void CheckAlive() const {
    if (owner->impl().generation != generation)
      throw EXMLDocError("XML node no longer belongs to its document");
  }
};

namespace {

quorl::IntfPtr<IXMLNode> MakeNode(TXMLNodeClass cls, const quorl::IntfPtr<IXMLDocument>& document,
                                  TXMLDocument* owner, pugi::xml_node element,
                                  const quorl::IntfPtr<TXMLNode>& parent, std::string name);

}  // namespace

TXMLNode::TXMLNode() = default;
TXMLNode::~TXMLNode() = default;

void* TXMLNode::GetInterface(const TGUID& iid) {
  if (iid == IXMLNode::IID) return static_cast<IXMLNode*>(this);
  return TInterfacedObject::GetInterface(iid);
}

void TXMLNode::RegisterChildNode(std::string_view name, TXMLNodeClass nodeClass) {
  childClasses_[std::string(name)] = nodeClass;
}

std::u16string TXMLNode::NodeName() {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  const pugi::xml_node e = binding_->Read();
  return FromUtf8(e ? e.name() : binding_->name.c_str());
}

bool TXMLNode::IsInDocument() {
  if (!binding_) return false;
  return static_cast<bool>(binding_->Read());
}

std::u16string TXMLNode::Text() {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  std::string out;
  for (pugi::xml_node c = binding_->Read().first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) out += c.value();
  return FromUtf8(out);
}

void TXMLNode::SetText(std::u16string_view value) {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  pugi::xml_node e = binding_->Write();
  // Removing child elements would leave their node objects pointing at freed
  // memory, and would silently drop data; the element must hold text only.
  if (e.find_child([](pugi::xml_node c) { return c.type() == pugi::node_element; }))
    throw EXMLDocError(std::string("Element \"") + quorl::Utf8ToGbk(e.name()) +
                       "\" has child elements and cannot take text");
  while (pugi::xml_node c = e.first_child()) e.remove_child(c);
  e.append_child(pugi::node_pcdata).set_value(ToUtf8(value).c_str());
}

bool TXMLNode::HasAttribute(std::u16string_view name) {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  return static_cast<bool>(binding_->Read().attribute(ToUtf8(name).c_str()));
}

std::u16string TXMLNode::GetAttribute(std::u16string_view name) {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  return FromUtf8(binding_->Read().attribute(ToUtf8(name).c_str()).value());
}

void TXMLNode::SetAttribute(std::u16string_view name, std::u16string_view value) {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  const std::string n = CheckedName(name, "attribute");
  pugi::xml_node e = binding_->Write();
  pugi::xml_attribute a = e.attribute(n.c_str());
  if (!a) a = e.append_attribute(n.c_str());
  a.set_value(ToUtf8(value).c_str());
}

int TXMLNode::ChildElementCount() {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  int n = 0;
  for (pugi::xml_node c = binding_->Read().first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) ++n;
  return n;
}

quorl::IntfPtr<IXMLNode> TXMLNode::ChildElement(int index) {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  int n = 0;
  if (index >= 0) {
    for (pugi::xml_node c = binding_->Read().first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      if (n++ == index) {
        auto it = childClasses_.find(std::string_view(c.name()));
        return MakeNode(it == childClasses_.end() ? &quorl::NodeClassOf<TXMLNode> : it->second,
                        binding_->document, binding_->owner, c, {}, {});
      }
    }
  }
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

quorl::IntfPtr<IXMLNode> TXMLNode::FindNode(std::u16string_view name) {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  const std::string n = ToUtf8(name);
  const pugi::xml_node c = binding_->Read().child(n.c_str());
  if (!c) return {};
  auto it = childClasses_.find(n);
  return MakeNode(it == childClasses_.end() ? &quorl::NodeClassOf<TXMLNode> : it->second, binding_->document,
                  binding_->owner, c, {}, {});
}

quorl::IntfPtr<IXMLNode> TXMLNode::ChildNodes(std::u16string_view name) {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  std::string n = CheckedName(name, "element");
  const pugi::xml_node c = binding_->Read().child(n.c_str());
  auto it = childClasses_.find(n);
  const TXMLNodeClass cls = it == childClasses_.end() ? &quorl::NodeClassOf<TXMLNode> : it->second;
  if (c) return MakeNode(cls, binding_->document, binding_->owner, c, {}, {});
  return MakeNode(cls, binding_->document, binding_->owner, {}, quorl::IntfPtr<TXMLNode>(this), std::move(n));
}

quorl::IntfPtr<IXMLNode> TXMLNode::AddChild(std::u16string_view name) {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  const std::string n = CheckedName(name, "element");
  pugi::xml_node c = binding_->Write().append_child(n.c_str());
  auto it = childClasses_.find(n);
  return MakeNode(it == childClasses_.end() ? &quorl::NodeClassOf<TXMLNode> : it->second, binding_->document,
                  binding_->owner, c, {}, {});
}

std::u16string TXMLNode::XML() {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  const pugi::xml_node e = binding_->Read();
  if (!e) return {};
  StringWriter w;
  e.print(w, "", pugi::format_raw, pugi::encoding_utf8);
  return FromUtf8(w.out);
}

quorl::IntfPtr<IXMLDocument> TXMLNode::OwnerDocument() {
  if (!binding_) throw EXMLDocError("XML node is not bound to a document");
  return binding_->document;
}

namespace {

quorl::IntfPtr<IXMLNode> MakeNode(TXMLNodeClass cls, const quorl::IntfPtr<IXMLDocument>& document,
                                  TXMLDocument* owner, pugi::xml_node element,
                                  const quorl::IntfPtr<TXMLNode>& parent, std::string name) {
  auto b = std::make_unique<TXMLNode::Binding>();
  b->document = document;
  b->owner = owner;
  b->generation = owner->impl().generation;
  b->element = element;
  b->parent = parent;
  b->name = std::move(name);
  return TXMLNode::Bind(cls, std::move(b));
}

}  // namespace

quorl::IntfPtr<IXMLNode> TXMLNode::Bind(TXMLNodeClass nodeClass, std::unique_ptr<Binding> binding) {
  TXMLNode* node = nodeClass();
  quorl::IntfPtr<IXMLNode> result(static_cast<IXMLNode*>(node));
  node->binding_ = std::move(binding);
  return result;
}

TXMLDocument::TXMLDocument() : impl_(std::make_unique<Impl>()) {}
TXMLDocument::~TXMLDocument() = default;

void* TXMLDocument::GetInterface(const TGUID& iid) {
  if (iid == IXMLDocument::IID) return static_cast<IXMLDocument*>(this);
  return TInterfacedObject::GetInterface(iid);
}

quorl::IntfPtr<IXMLNode> TXMLDocument::DocumentElement() {
  const pugi::xml_node e = impl_->doc.document_element();
  if (!e) return {};
  return MakeNode(&quorl::NodeClassOf<TXMLNode>, quorl::IntfPtr<IXMLDocument>(this), this, e, {}, {});
}

void TXMLDocument::LoadFromXML(std::u16string_view xml) { impl_->Parse(ToUtf8(xml), pugi::encoding_utf8); }

void TXMLDocument::LoadFromFile(const std::u16string& fileName) {
  const std::string path = ToUtf8(fileName);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + quorl::Utf8ToGbk(path) + "\". " + std::strerror(errno));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EFOpenError("Cannot read file \"" + quorl::Utf8ToGbk(path) + "\"");
  if (IsGbkEncodingName(DeclaredEncoding(bytes))) {
    impl_->Parse(quorl::GbkToUtf8(bytes), pugi::encoding_utf8);
  } else {
    // A byte-order mark, UTF-16 markup or a Latin-1 declaration is
    // recognised by pugixml itself; anything else reads as UTF-8.
    impl_->Parse(bytes, pugi::encoding_auto);
  }
}

void TXMLDocument::SaveToFile(const std::u16string& fileName) {
  std::string bytes = impl_->Serialize();
  if (IsGbkEncodingName(ToUtf8(Encoding()))) bytes = quorl::Utf8ToGbk(bytes);
  const std::string path = ToUtf8(fileName);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out)
    throw EFOpenError("Cannot create file \"" + quorl::Utf8ToGbk(path) + "\". " + std::strerror(errno));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw EFOpenError("Cannot write file \"" + quorl::Utf8ToGbk(path) + "\"");
}

std::u16string TXMLDocument::XML() { return FromUtf8(impl_->Serialize()); }

std::u16string TXMLDocument::Version() {
  return FromUtf8(impl_->Declaration(false).attribute("version").value());
}

void TXMLDocument::SetVersion(std::u16string_view value) {
  pugi::xml_node d = impl_->Declaration(true);
  pugi::xml_attribute a = d.attribute("version");
  if (!a) a = d.prepend_attribute("version");
  a.set_value(ToUtf8(value).c_str());
}

std::u16string TXMLDocument::Encoding() {
  return FromUtf8(impl_->Declaration(false).attribute("encoding").value());
}

void TXMLDocument::SetEncoding(std::u16string_view value) {
  pugi::xml_node d = impl_->Declaration(true);
  pugi::xml_attribute a = d.attribute("encoding");
  if (!a) a = d.insert_attribute_after("encoding", d.attribute("version"));
  a.set_value(ToUtf8(value).c_str());
}

quorl::IntfPtr<IXMLNode> TXMLDocument::GetDocBinding(std::u16string_view tagName, TXMLNodeClass nodeClass) {
  const std::string name = CheckedName(tagName, "element");
  pugi::xml_node e = impl_->doc.document_element();
  if (!e) {
    e = impl_->doc.append_child(name.c_str());
  } else if (name != e.name()) {
    throw EXMLDocError("Document element is \"" + quorl::Utf8ToGbk(e.name()) + "\", expected \"" +
                       quorl::Utf8ToGbk(name) + "\"");
  }
  return MakeNode(nodeClass, quorl::IntfPtr<IXMLDocument>(this), this, e, {}, {});
}

namespace quorl {

IntfPtr<IXMLDocument> NewXmlDocument() { return IntfPtr<IXMLDocument>(new TXMLDocument()); }

IntfPtr<IXMLDocument> LoadXmlData(std::u16string_view xml) {
  IntfPtr<IXMLDocument> doc = NewXmlDocument();
  doc->LoadFromXML(xml);
  return doc;
}

IntfPtr<IXMLDocument> LoadXmlDocument(const std::u16string& fileName) {
  IntfPtr<IXMLDocument> doc = NewXmlDocument();
  doc->LoadFromFile(fileName);
  return doc;
}

}  // namespace quorl
