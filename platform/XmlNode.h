// XML documents and nodes behind reference-counted interfaces, the way the
// check-ticket binding and other data bindings use them.
//
// IXMLDocument owns a parsed document; IXMLNode is a view of one element.
// Every node holds a reference to its document, so the document stays alive
// as long as any node of it is referenced. Names and values cross this
// interface as UTF-16; inside, the document is kept in UTF-8 (pugixml).
//
// Reading never changes a document: an absent attribute reads as empty text,
// and ChildNodes(name) of an absent child returns a node that is not yet in
// the document ("pending"); it reads as empty and is added to the document
// (with any pending parents) by the first write through it.
//
// Errors raise EXMLDocError with a clear message: text that is not
// well-formed XML (parser message and offset), a document element of the
// wrong name for a binding, an invalid element or attribute name. A file
// that cannot be read or written raises EFOpenError naming the file.
//
// Parsing is bounded: entity declarations in a DOCTYPE are skipped and
// never expanded (an undeclared "&name;" stays as written), so memory grows
// with the input size only.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Interfaces.h"
#include "platform/RtlExport.h"

struct IXMLDocument;
struct IXMLNode;
class TXMLNode;

/// Creates a new, unbound node of a node class (see TXMLNode::RegisterChildNode).
using TXMLNodeClass = TXMLNode* (*)();

namespace quorl {
/// The node class of T, for RegisterChildNode and GetDocBinding.
template <class T>
TXMLNode* NodeClassOf() {
  return new T();
}
}  // namespace quorl

/// One element of an XML document (see the file comment).
struct QUORL_RTL_API IXMLNode : IInterface {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{4F1C2B7E-8A63-4D0F-9B2E-6C1D5A7E3F10}");

  virtual std::u16string NodeName() = 0;  ///< The element's name.
  /// False for a pending node that no write has added yet.
  virtual bool IsInDocument() = 0;

  /// Concatenated text and CDATA children of the element; empty when none.
  virtual std::u16string Text() = 0;
  /// Replaces every child of the element with one text child holding value.
  virtual void SetText(std::u16string_view value) = 0;

  virtual bool HasAttribute(std::u16string_view name) = 0;  ///< True when the element has that attribute.
  /// Value of the attribute of exactly that name; empty text when absent.
  virtual std::u16string GetAttribute(std::u16string_view name) = 0;
  /// Creates the attribute when absent, replaces its value otherwise.
  virtual void SetAttribute(std::u16string_view name, std::u16string_view value) = 0;

  /// Child elements in document order (text and other nodes are not counted).
  virtual int ChildElementCount() = 0;
  virtual quorl::IntfPtr<IXMLNode> ChildElement(int index) = 0;  ///< EListError out of range
  /// First child element of that name, typed as the registered class; empty when absent.
  virtual quorl::IntfPtr<IXMLNode> FindNode(std::u16string_view name) = 0;
  /// As FindNode, but an absent child gives a pending node of that name.
  virtual quorl::IntfPtr<IXMLNode> ChildNodes(std::u16string_view name) = 0;
  /// Appends a new child element (always a new one, also when the name exists).
  virtual quorl::IntfPtr<IXMLNode> AddChild(std::u16string_view name) = 0;

  /// The element and its content as markup, without declaration.
  virtual std::u16string XML() = 0;
  virtual quorl::IntfPtr<IXMLDocument> OwnerDocument() = 0;  ///< The document the node belongs to.
};

/// An XML document (see the file comment).
struct QUORL_RTL_API IXMLDocument : IInterface {
  /// interface identifier
  static constexpr TGUID IID = TGUID::Parse("{A2D86E41-5C0B-4E7A-8F39-1B6E0C4D9A52}");

  /// Empty when the document has no element yet.
  virtual quorl::IntfPtr<IXMLNode> DocumentElement() = 0;
  /// Replaces the content with the parsed text (EXMLDocError when it does
  /// not parse; the document keeps its content then).
  virtual void LoadFromXML(std::u16string_view xml) = 0;
  /// Reads a file: a byte-order mark or the declared encoding decides how its
  /// bytes are read (UTF-8 by default; GB2312, GBK, GB18030 and CP936 read as
  /// code page 936). EFOpenError when it cannot be read, EXMLDocError when it
  /// does not parse.
  virtual void LoadFromFile(const std::u16string& fileName) = 0;
  /// Writes the document as XML() in UTF-8, or in code page 936 when the
  /// declaration names one of the code pages above. EFOpenError on failure.
  virtual void SaveToFile(const std::u16string& fileName) = 0;
  /// The whole document as markup, with its declaration when it has one.
  virtual std::u16string XML() = 0;

  /// Version and encoding of the declaration; setting either adds a
  /// declaration when there is none. Empty when absent.
  virtual std::u16string Version() = 0;
  virtual void SetVersion(std::u16string_view value) = 0;  ///< Sets the declaration's version.
  virtual std::u16string Encoding() = 0;                   ///< The declaration's encoding; empty when absent.
  virtual void SetEncoding(std::u16string_view value) = 0;  ///< Sets the declaration's encoding.

  /// The document element typed as nodeClass. A document without element
  /// gets one named tagName; an element of another name raises EXMLDocError.
  virtual quorl::IntfPtr<IXMLNode> GetDocBinding(std::u16string_view tagName, TXMLNodeClass nodeClass) = 0;
};

/// The platform's node class: binding classes derive from it and add their
/// interface (see the check-ticket binding). Created through a TXMLNodeClass
/// and bound by the document; a node not bound to an element (or pending)
/// raises EXMLDocError on use.
class QUORL_RTL_API TXMLNode : public TInterfacedObject, public virtual IXMLNode {
 public:
  TXMLNode();
  ~TXMLNode() override;

  /// IInterface, IXMLNode and the interfaces of the binding class.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override {
    return TInterfacedObject::QueryInterface(iid, obj);
  }
  int32_t AddRef() override { return TInterfacedObject::AddRef(); }    ///< Counted (TInterfacedObject).
  int32_t Release() override { return TInterfacedObject::Release(); }  ///< Counted; frees the node at 0.

  std::u16string NodeName() override;  ///< See IXMLNode::NodeName.
  bool IsInDocument() override;
  std::u16string Text() override;
  void SetText(std::u16string_view value) override;
  bool HasAttribute(std::u16string_view name) override;  ///< See IXMLNode::HasAttribute.
  std::u16string GetAttribute(std::u16string_view name) override;
  void SetAttribute(std::u16string_view name, std::u16string_view value) override;
  int ChildElementCount() override;
  quorl::IntfPtr<IXMLNode> ChildElement(int index) override;
  quorl::IntfPtr<IXMLNode> FindNode(std::u16string_view name) override;
  quorl::IntfPtr<IXMLNode> ChildNodes(std::u16string_view name) override;
  quorl::IntfPtr<IXMLNode> AddChild(std::u16string_view name) override;
  std::u16string XML() override;
  quorl::IntfPtr<IXMLDocument> OwnerDocument() override;  ///< See IXMLNode::OwnerDocument.

  /// Where a node stands in its document; defined in XmlNode.cpp. Bind creates
  /// a node of nodeClass placed there (used by documents and parent nodes).
  struct QUORL_RTL_LOCAL Binding;
  /// For the library's own use.
  QUORL_RTL_LOCAL static quorl::IntfPtr<IXMLNode> Bind(TXMLNodeClass nodeClass,
                                                       std::unique_ptr<Binding> binding);

 protected:
  /// Child elements of that name are represented by nodeClass (the default is
  /// TXMLNode). Called by a binding class's constructor.
  void RegisterChildNode(std::string_view name, TXMLNodeClass nodeClass);

  void* GetInterface(const TGUID& iid) override;

 private:
  std::unique_ptr<Binding> binding_;
  std::map<std::string, TXMLNodeClass, std::less<>> childClasses_;  ///< UTF-8 names
};

/// The document object behind IXMLDocument.
class QUORL_RTL_API TXMLDocument : public TInterfacedObject, public IXMLDocument {
 public:
  TXMLDocument();
  ~TXMLDocument() override;

  /// IInterface and IXMLDocument.
  HRESULT QueryInterface(const TGUID& iid, void** obj) override {
    return TInterfacedObject::QueryInterface(iid, obj);
  }
  int32_t AddRef() override { return TInterfacedObject::AddRef(); }    ///< Counted (TInterfacedObject).
  int32_t Release() override { return TInterfacedObject::Release(); }  ///< Counted; frees the document at 0.

  quorl::IntfPtr<IXMLNode> DocumentElement() override;
  void LoadFromXML(std::u16string_view xml) override;
  void LoadFromFile(const std::u16string& fileName) override;
  void SaveToFile(const std::u16string& fileName) override;
  std::u16string XML() override;
  std::u16string Version() override;
  void SetVersion(std::u16string_view value) override;   ///< See IXMLDocument::SetVersion.
  std::u16string Encoding() override;                    ///< See IXMLDocument::Encoding.
  void SetEncoding(std::u16string_view value) override;  ///< See IXMLDocument::SetEncoding.
  quorl::IntfPtr<IXMLNode> GetDocBinding(std::u16string_view tagName, TXMLNodeClass nodeClass) override;

  struct QUORL_RTL_LOCAL Impl;
  Impl& impl() { return *impl_; }  ///< For the library's own use.

 protected:
  void* GetInterface(const TGUID& iid) override;

 private:
  std::unique_ptr<Impl> impl_;
};

namespace quorl {

/// A new, empty document (no declaration, no element).
QUORL_RTL_API IntfPtr<IXMLDocument> NewXmlDocument();
/// A document parsed from text; EXMLDocError when it does not parse.
QUORL_RTL_API IntfPtr<IXMLDocument> LoadXmlData(std::u16string_view xml);
/// A document read from a file (see IXMLDocument::LoadFromFile).
QUORL_RTL_API IntfPtr<IXMLDocument> LoadXmlDocument(const std::u16string& fileName);

}  // namespace quorl
