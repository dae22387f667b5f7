// The member-info reader (SetXmlString + GetUserInfoList) and the
// check-ticket binding over arbitrary text: each must fail with an exception
// or read the text, never crash, hang or grow without bound. A text that
// loads must also look well-formed in the parsed document: one element at
// the top, no text beside it, no attribute twice, no '<' in a value.
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <set>
#include <string>

#include "fuzz/CertificateTable.h"
#include "memberdata/GbkXml.h"
#include "memberdata/uMemberCardCheckTicket_KETHO.h"
#include "memberdata/uMemberUserInfoXmlDM_ZEL.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace {

void CheckLoadedDocument(const std::string& text) {
  pugi::xml_document document;
  try {
    quorl::LoadGbkXml(document, text);
  } catch (const Exception&) {
    return;
  }
  int elements = 0;
  for (pugi::xml_node n = document.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element) ++elements;
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) abort();
  }
  if (elements != 1) abort();
  struct Walker : pugi::xml_tree_walker {
    bool for_each(pugi::xml_node& node) override {
      std::set<std::string> names;
      for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        if (!names.insert(a.name()).second || std::strchr(a.value(), '<') != nullptr) abort();
      return true;
    }
  } walker;
  document.traverse(walker);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  quorl::fuzz::SetUpCertificateTable("memberinfo_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TMemberUserInfoXmlDM_ZEL dm;
  try {
    dm.SetXmlString(text);
  } catch (const Exception&) {
  }
  // Twice: the second list is read again from the document the module kept.
  for (int i = 0; i < 2; ++i) {
    std::unique_ptr<TMemberUserInfoList_ZEL> list(dm.GetUserInfoList());
    for (int k = 0; k < list->Count(); ++k)
      if (list->GetItems(k)->IsFeesMember.empty()) abort();
  }
  CheckLoadedDocument(text);
  try {
    quorl::IntfPtr<IXMLDataType> view = LoadDataFromXML(quorl::GbkToUtf16(text));
    view->Get_Dataitem()->Get_MemberNum();
    view->Get_Book()->Get_Status();
  } catch (const Exception&) {
  }
  return 0;
}
