// The agent against fakes: a seeded SQLite host database and INI file in a
// temporary application folder (CoreFixture), a fake HTTP transport for the
// web service and the platform, a fake process launcher for printing and a
// fake warning dialog.
#pragma once

#include <cstring>
#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "agent/CoreFixture.h"
#include "agent/IMemberSysAgent_ZEL.h"
#include "agent/TMemberSysAgentImpl_ZEL.h"
#include "fakes/FakeHttpTransport.h"
#include "fakes/FakeProcessLauncher.h"
#include "fakes/FakeWarningHandler.h"
#include "platform/ClientDataSet.h"
#include "platform/CodePage.h"
#include "soap/TicketManage_WSDL.h"
#include "support/RunProgram.h"

namespace quorl::test {

inline std::string XmlEscaped(const std::string& text) {
  std::string out;
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
      default:
        out += c;
    }
  }
  return out;
}

// A SOAP 1.1 answer whose return part holds value (UTF-8).
inline std::string SoapAnswer(const std::string& value, const std::string& type = "xsd:string") {
  return "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><s:Body><r><return xsi:type=\"" +
         type + "\">" + XmlEscaped(value) + "</return></r></s:Body></s:Envelope>";
}

inline std::string SoapFault() {
  return "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
         "<faultcode>s:Server</faultcode><faultstring>database down</faultstring></s:Fault>"
         "</s:Body></s:Envelope>";
}

// The operation of a SOAP request and its parts (local names, UTF-8 values), in order.
struct SoapCall {
  std::string operation;
  std::vector<std::pair<std::string, std::string>> parts;
};

inline std::string LocalName(const char* name) {
  const char* colon = std::strchr(name, ':');
  return colon ? colon + 1 : name;
}

inline SoapCall ParseSoapCall(const HttpRequest& request) {
  pugi::xml_document doc;
  doc.load_buffer(request.body.data(), request.body.size());
  SoapCall call;
  for (pugi::xml_node n : doc.document_element().children()) {
    if (LocalName(n.name()) != "Body") continue;
    const pugi::xml_node op = n.find_child([](pugi::xml_node c) { return c.type() == pugi::node_element; });
    call.operation = LocalName(op.name());
    for (pugi::xml_node part : op.children())
      if (part.type() == pugi::node_element)
        call.parts.emplace_back(LocalName(part.name()), part.text().get());
  }
  return call;
}

inline std::string Gbk(const std::string& utf8) { return Utf8ToGbk(utf8); }

// A member-account posting packet of one row: order code, card and amount.
inline Variant ServerPacket(const std::string& order, const std::string& card, const std::string& amount) {
  TClientDataSet ds;
  ds.FieldDefs.Add("ORDER_CODE", TFieldType::ftString, 40);
  ds.FieldDefs.Add("MEMBER_CARD_NO", TFieldType::ftString, 32);
  ds.FieldDefs.Add("AMOUNT", TFieldType::ftString, 20);
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("ORDER_CODE")->SetAsString(order);
  ds.FieldByName("MEMBER_CARD_NO")->SetAsString(card);
  ds.FieldByName("AMOUNT")->SetAsString(amount);
  ds.Post();
  return ds.Data();
}

// Posts one ticket of 35.00 for member 1001 as order `order` through the
// web service.
inline bool PostWebPurchase(TMemberSysAgentImpl_ZEL& agent, const std::string& order) {
  TTicketInfoRecordList_VRISK tickets;
  TTicketInfoRecord_VRISK line{"A", "35.00", "1", "35.00"};
  tickets.Add(&line);
  TMemberInfoRecord_VRISK r;
  r.MC_OrderCode = order;
  r.MC_MemberID = "1001";
  r.MC_Cost = "35.00";
  r.MC_Creater = "1001";
  r.MC_Group = "G01";
  r.MC_Time = "2026-12-08 10:00:00";
  r.Tickets = &tickets;
  return agent.ComsumeInfoPost(&r, true, false);
}

class AgentFixture : public CoreFixture {
 protected:
  void SetUp() override {
    CoreFixture::SetUp();
    Sql(HostSeedSql());
    TicketManage_WSDL_Initialize();
    std::filesystem::create_directory(PrintFolder());
  }
  void TearDown() override {
    agent_.reset();
    CoreFixture::TearDown();
  }

  std::string PrintFolder() const { return dir_ + "/MemberPrint_vrisk"; }

  // Talk to the platform's address row instead of the web service's.
  void UsePlatformAddresses() { WriteIni("[WSDLCONFIGURE]\nADDRESSTYPE=H\n"); }

  IMemberSysAgent_ZEL& Agent() {
    if (!agent_) agent_ = MemberSysAgentIntf();
    return *agent_;
  }
  TMemberSysAgentImpl_ZEL& Impl() { return dynamic_cast<TMemberSysAgentImpl_ZEL&>(Agent()); }

  std::vector<SoapCall> SoapCalls() const {
    std::vector<SoapCall> calls;
    for (const HttpRequest& r : http_.server.requests) calls.push_back(ParseSoapCall(r));
    return calls;
  }

  // The warnings shown, as UTF-8 "caption: message".
  std::vector<std::string> Warnings() const {
    std::vector<std::string> out;
    for (const auto& w : warnings_.shown) out.push_back(GbkToUtf8(w.caption) + ": " + GbkToUtf8(w.message));
    return out;
  }

  ScopedFakeHttp http_;
  ScopedFakeProcessLauncher launcher_;
  FakeWarningHandler warnings_;
  IntfPtr<IMemberSysAgent_ZEL> agent_;
};

}  // namespace quorl::test
