// The SOAP client through the fake HTTP transport: request envelopes of the
// TicketManage operations, the answer shapes real services send, faults, the
// WSDL binding and the GetTicketManage rules.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pugixml.hpp>
#include <sstream>

#include "fakes/FakeHttpTransport.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "soap/THTTPRIO.h"
#include "soap/TicketManage_WSDL.h"
#include "support/TempFolder.h"
#include "support/TestPaths.h"

namespace {

using quorl::IntfPtr;
using quorl::test::ScopedFakeHttp;

const char* kEnv = "http://schemas.xmlsoap.org/soap/envelope/";

std::string Answer(const std::string& result, const std::string& extraBody = "") {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
             "<soap:Envelope xmlns:soap=\"") +
         kEnv +
         "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>"
         "<ns1:opResponse xmlns:ns1=\"urn:x\">" +
         result + "</ns1:opResponse>" + extraBody + "</soap:Body></soap:Envelope>";
}

std::string ReadData(const std::string& name) { return quorl::test::ReadFile(quorl::test::DataPath(name)); }

std::string Header(const quorl::HttpRequest& r, const std::string& name) {
  for (const auto& [k, v] : r.headers)
    if (k == name) return v;
  return "<absent>";
}

class SoapClient : public ::testing::Test {
 protected:
  void SetUp() override { TicketManage_WSDL_Initialize(); }
  // Set up as the agent sets up its client: lax about answer types.
  IntfPtr<TicketManage> Bind(const std::string& url = "http://svc.test/services/TicketManage") {
    THTTPRIO* rio = new THTTPRIO();
    rio->Converter().Exclude(quorl::SoapConvertOption::StrictAnswerTypes);
    return GetTicketManage(false, url, rio);
  }
  ScopedFakeHttp http;
};

// --- requests ---------------------------------------------------------------

struct RequestCase {
  std::string operation;
  std::vector<std::string> parts;  // expected part names in order
  std::function<void(TicketManage&)> call;
};

TEST_F(SoapClient, RequestEnvelopesCarryOperationPartsInOrderAndTypes) {
  const std::u16string a = u"a", b = u"b", c = u"c", d = u"d", e = u"e", f = u"f", g = u"g", h = u"h";
  const std::vector<RequestCase> cases = {
      {"getUserInfo2",
       {"memberID", "memberNum", "memberName", "certificateType", "certficateNum", "sPhoneNum", "sMobileNum",
        "sMemberGroup"},
       [&](TicketManage& s) { s.getUserInfo2(a, b, c, d, e, f, g, h); }},
      {"getSurplus", {"memberNum"}, [&](TicketManage& s) { s.getSurplus(a); }},
      {"getSurplusByImage", {"strMemberNum"}, [&](TicketManage& s) { s.getSurplusByImage(a); }},
      {"getMemberInfo", {"strMemberNum"}, [&](TicketManage& s) { s.getMemberInfo(a); }},
      {"ComsumeInfoPost", {"sConsumeInfo"}, [&](TicketManage& s) { s.ComsumeInfoPost(a); }},
      {"CheckConsumeMoney",
       {"OrderCode", "MemberID", "OperatedBy", "LastTicketCode"},
       [&](TicketManage& s) { s.CheckConsumeMoney(a, b, c, d); }},
      {"getBalancerReport",
       {"GroupCode", "UserCode", "BeginTime", "EndTime"},
       [&](TicketManage& s) { s.getBalancerReport(a, b, c, d); }},
      {"ValidMember",
       {"memberType", "certificateType", "certificateNum", "memberNum", "menberPWD", "validType"},
       [&](TicketManage& s) { s.ValidMember(a, b, c, d, e, f); }},
      {"getUserInfo",
       {"memberID", "memberNum", "memberName", "certificateType", "certficateNum", "sPhoneNum", "sMobileNum"},
       [&](TicketManage& s) { s.getUserInfo(a, b, c, d, e, f, g); }},
      {"getTokenUserInfo", {"token"}, [&](TicketManage& s) { s.getTokenUserInfo(a); }},
      {"SyncOrderData", {"MemberBook"}, [&](TicketManage& s) { s.SyncOrderData(a); }},
  };
  http.server.handler = [](const quorl::HttpRequest&) {
    return quorl::HttpResponse{200, {}, Answer("<r>1</r>")};
  };
  IntfPtr<TicketManage> svc = Bind();
  const char* values[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
  for (const RequestCase& tc : cases) {
    SCOPED_TRACE(tc.operation);
    tc.call(*svc);
    const quorl::HttpRequest& r = http.server.LastRequest();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.url, "http://svc.test/services/TicketManage");
    EXPECT_EQ(Header(r, "SOAPAction"), "\"\"");
    EXPECT_EQ(Header(r, "Content-Type"), "text/xml; charset=utf-8");
    EXPECT_EQ(r.body.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_buffer(r.body.data(), r.body.size()));
    pugi::xml_node env = doc.document_element();
    EXPECT_STREQ(env.attribute("xmlns:SOAP-ENV").value(), kEnv);
    pugi::xml_node body = env.child("SOAP-ENV:Body");
    EXPECT_STREQ(body.attribute("SOAP-ENV:encodingStyle").value(),
                 "http://schemas.xmlsoap.org/soap/encoding/");
    pugi::xml_node op = body.first_child();
    EXPECT_EQ(std::string(op.name()), "NS1:" + tc.operation);
    EXPECT_STREQ(op.attribute("xmlns:NS1").value(), quorl::kTicketManageNamespace);
    size_t i = 0;
    for (pugi::xml_node p = op.first_child(); p; p = p.next_sibling(), ++i) {
      ASSERT_LT(i, tc.parts.size());
      EXPECT_EQ(p.name(), tc.parts[i]);
      EXPECT_STREQ(p.attribute("xsi:type").value(), "xsd:string");
      EXPECT_STREQ(p.text().get(), values[i]);
    }
    EXPECT_EQ(i, tc.parts.size());
  }
}

TEST_F(SoapClient, TextIsEscapedAndChineseTravelsAsUtf8OrReferences) {
  http.server.defaultResponse = {200, {}, Answer("<r>x</r>")};
  const std::u16string text = u"张三 <&> \"q\" line\r\nend";
  {
    // The agent's client sends UTF-8 bytes.
    THTTPRIO* rio = new THTTPRIO();
    rio->Converter().Include(quorl::SoapConvertOption::UTF8Text);
    IntfPtr<TicketManage> svc = GetTicketManage(false, "http://svc.test/s", rio);
    svc->getSurplus(text);
    const std::string& body = http.server.LastRequest().body;
    EXPECT_NE(body.find("\xE5\xBC\xA0\xE4\xB8\x89 &lt;&amp;&gt; \"q\" line&#13;\nend"), std::string::npos)
        << body;
  }
  {
    // The runtime default writes references: an ASCII-only body.
    IntfPtr<TicketManage> svc = Bind();
    svc->getSurplus(text);
    const std::string& body = http.server.LastRequest().body;
    EXPECT_NE(body.find("&#x5F20;&#x4E09; &lt;"), std::string::npos) << body;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(body.c_str()));
    EXPECT_EQ(
        quorl::Utf8ToUtf16(doc.document_element().first_child().first_child().first_child().text().get()),
        u"张三 <&> \"q\" line\r\nend");
  }
}

TEST_F(SoapClient, ControlCharacterInTextFailsBeforeSending) {
  IntfPtr<TicketManage> svc = Bind();
  EXPECT_THROW(svc->getSurplus(std::u16string(u"a\x01"
                                              "b")),
               EConvertError);
  EXPECT_TRUE(http.server.requests.empty());
}

TEST_F(SoapClient, ConverterOptionsChangeTheEnvelope) {
  http.server.defaultResponse = {200, {}, Answer("<r>1</r>")};
  THTTPRIO* rio = new THTTPRIO();
  IntfPtr<TicketManage> svc = GetTicketManage(false, "http://svc.test/s", rio);
  rio->Converter().Include(quorl::SoapConvertOption::SendUntyped);
  rio->Converter().Include(quorl::SoapConvertOption::DontSendEmptyParams);
  svc->CheckConsumeMoney(u"O1", u"", u"op", u"");
  const std::string& body = http.server.LastRequest().body;
  EXPECT_EQ(body.find("xsi:type"), std::string::npos);
  EXPECT_NE(body.find("<OrderCode>O1</OrderCode><OperatedBy>op</OperatedBy>"), std::string::npos) << body;

  rio->Converter().Encoding = "ISO-8859-1";
  EXPECT_THROW(svc->getSurplus(u"1"), Exception);
}

// --- answers ----------------------------------------------------------------

TEST_F(SoapClient, TextAnswerShapes) {
  struct Case {
    const char* name;
    std::string body;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      {"typed", Answer("<return xsi:type=\"xsd:string\">&lt;data/&gt;</return>"), u"<data/>"},
      {"untyped, other name", Answer("<getSurplusReturn>abc</getSurplusReturn>"), u"abc"},
      {"soapenc string",
       Answer("<r xsi:type=\"se:string\" xmlns:se=\"http://schemas.xmlsoap.org/soap/encoding/\">x</r>"),
       u"x"},
      {"cdata and text", Answer("<r>a<![CDATA[<b>]]>c</r>"), u"a<b>c"},
      {"byte-order mark", "\xEF\xBB\xBF" + Answer("<r>bom</r>"), u"bom"},
      {"nil", Answer("<r xsi:nil=\"true\"/>"), u""},
      {"empty", Answer("<r/>"), u""},
      {"chinese", Answer("<r>会员</r>"), u"会员"},
      {"multiRef after wrapper",
       Answer("<r href=\"#id0\"/>",
              "<multiRef id=\"id0\" xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\" "
              "soapenc:root=\"0\">ref</multiRef>"),
       u"ref"},
      {"multiRef before wrapper (root=0)",
       std::string("<soap:Envelope xmlns:soap=\"") + kEnv +
           "\"><soap:Body><multiRef id=\"a\" root=\"0\">first</multiRef>"
           "<w><r href=\"#a\"/></w></soap:Body></soap:Envelope>",
       u"first"},
      {"chained href", Answer("<r href=\"#a\"/>", "<m id=\"a\" href=\"#b\"/><m id=\"b\">two</m>"), u"two"},
      {"axis sample", ReadData("soap_answer_multiref.xml"),
       u"<data><dataitem memberNum=\"8800001\" memberName=\"张三\" surplusCount=\"3\"/></data>"},
  };
  IntfPtr<TicketManage> svc = Bind();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http.server.Respond(200, c.body);
    EXPECT_EQ(svc->getSurplus(u"1"), c.expected);
  }
}

// The result text is decoded into the returned string directly; whatever its
// bytes, it must come out as the code-page unit decodes them, invalid
// sequences replaced the same way, at any position of a long text.
TEST_F(SoapClient, ResultTextDecodesAsTheCodePageUnitDoes) {
  const std::string ascii(37, 'a');
  const std::string pieces[] = {"会员",         "\xF0\x9F\x98\x80", "\x80", "\xE4\xBC",         "\xC0\x80",
                                "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\xE4\xBC\xBA\x80", "x&amp;y"};
  IntfPtr<TicketManage> svc = Bind();
  for (const std::string& piece : pieces) {
    for (const std::string& text : {piece, ascii + piece, piece + ascii, ascii + piece + ascii + piece}) {
      SCOPED_TRACE(testing::PrintToString(text));
      std::string raw = text;
      for (size_t at; (at = raw.find("&amp;")) != std::string::npos;) raw.replace(at, 5, "&");
      http.server.Respond(200, Answer("<r>" + text + "</r>"));
      EXPECT_EQ(svc->getSurplus(u"1"), quorl::Utf8ToUtf16(raw));
    }
  }
}

// The same answer in the encodings services send: the XML declaration or the
// HTTP charset names it; a byte-order mark beats both, the charset beats the
// declaration.
TEST_F(SoapClient, AnswersInOtherEncodingsAreDecoded) {
  const std::string gbk = "\xBB\xE1\xD4\xB1";  // 会员
  const std::string utf8 = "会员";
  const auto body = [](const std::string& declaration, const std::string& text) {
    std::string b = Answer("<r>" + text + "</r>");
    return declaration.empty()
               ? b.substr(b.find("?>") + 2)
               : "<?xml version=\"1.0\" encoding=\"" + declaration + "\"?>" + b.substr(b.find("?>") + 2);
  };
  struct Case {
    const char* name;
    std::string contentType;
    std::string body;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      {"declared GBK", "text/xml", body("GBK", gbk), u"会员"},
      {"declared gb2312, any case", "", body("gb2312", gbk), u"会员"},
      {"charset only", "text/xml; charset=GBK", body("", gbk), u"会员"},
      {"quoted charset", "text/xml;charset=\"cp936\"", body("", gbk), u"会员"},
      {"GB18030 four-byte characters", "text/xml; charset=GB18030",
       body("", gbk + "\x94\x39\xFC\x36\x81\x30\x89\x38" + "1"), u"会员??1"},
      {"charset beats declaration (GBK bytes)", "text/xml; charset=GBK", body("UTF-8", gbk), u"会员"},
      {"charset beats declaration (UTF-8 bytes)", "text/xml; charset=utf-8", body("GBK", utf8), u"会员"},
      {"byte-order mark beats charset", "text/xml; charset=GBK", "\xEF\xBB\xBF" + body("GBK", utf8), u"会员"},
      {"declared ISO-8859-1", "text/xml", body("ISO-8859-1", "caf\xE9"), u"caf\u00E9"},
      {"declared UTF-8", "text/xml; charset=UTF-8", body("UTF-8", utf8), u"会员"},
  };
  IntfPtr<TicketManage> svc = Bind();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http.server.Respond(200, c.body, {{"Content-Type", c.contentType}});
    EXPECT_EQ(svc->getSurplus(u"1"), c.expected);
  }

  // A fault sent with status 500 is read in its encoding too.
  const std::string fault = std::string("<?xml version=\"1.0\" encoding=\"GBK\"?><s:Envelope xmlns:s=\"") +
                            kEnv + "\"><s:Body><s:Fault><faultcode>s:Server</faultcode><faultstring>" + gbk +
                            "</faultstring></s:Fault></s:Body></s:Envelope>";
  http.server.Respond(500, fault, {{"content-type", "text/xml"}});
  try {
    svc->getSurplus(u"1");
    ADD_FAILURE() << "no exception";
  } catch (const ERemotableException& e) {
    EXPECT_EQ(e.FaultString(), gbk);
  }

  // An encoding nobody here knows is named, not guessed.
  for (const auto& [contentType, declaration] : std::vector<std::pair<std::string, std::string>>{
           {"text/xml", "KOI8-R"}, {"text/xml; charset=KOI8-R", "UTF-8"}}) {
    SCOPED_TRACE(contentType);
    http.server.Respond(200, body(declaration, "x"), {{"Content-Type", contentType}});
    try {
      svc->getSurplus(u"1");
      ADD_FAILURE() << "no exception";
    } catch (const ESOAPDomConvertError& e) {
      EXPECT_NE(e.Message().find("'KOI8-R'"), std::string::npos) << e.Message();
    }
  }
}

TEST_F(SoapClient, IntegerAnswerShapes) {
  struct Case {
    std::string result;
    int32_t expected;
  };
  const std::vector<Case> cases = {
      {"<r xsi:type=\"xsd:int\">1</r>", 1},        {"<r>0</r>", 0},
      {"<r xsi:type=\"xsd:string\"> 1 \n</r>", 1}, {"<r>-2147483648</r>", INT32_MIN},
      {"<r>+2147483647</r>", INT32_MAX},           {"<r xsi:type=\"xsd:long\">2</r>", 2},
  };
  IntfPtr<TicketManage> svc = Bind();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    http.server.Respond(200, Answer(c.result));
    EXPECT_EQ(svc->ComsumeInfoPost(u"<MemberConsume/>"), c.expected);
  }
  for (const char* bad :
       {"<r>abc</r>", "<r>1.0</r>", "<r></r>", "<r>2147483648</r>", "<r>1 2</r>", "<r xsi:nil=\"1\"/>"}) {
    SCOPED_TRACE(bad);
    http.server.Respond(200, Answer(bad));
    EXPECT_THROW(svc->ComsumeInfoPost(u"x"), EConvertError);
  }
}

TEST_F(SoapClient, MalformedAnswersRaiseDomConvertError) {
  const std::vector<std::string> bodies = {
      "",
      "<html><body>Service Unavailable</body></html>",
      "not xml at all",
      "<soap:Envelope xmlns:soap=\"urn:wrong\"><soap:Body><r>1</r></soap:Body></soap:Envelope>",
      "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Body/></soap:Envelope>",
      std::string("<s:Envelope xmlns:s=\"") + kEnv + "\"><s:Header/></s:Envelope>",
      std::string("<s:Envelope xmlns:s=\"") + kEnv + "\"><s:Body/></s:Envelope>",
      Answer(""),
      Answer("<r href=\"#missing\"/>"),
      Answer("<r href=\"http://elsewhere/x\"/>"),
      Answer("<r href=\"#a\"/>", "<m id=\"a\" href=\"#a\"/>"),
      Answer("<r><item>1</item></r>"),
      std::string("<!DOCTYPE x [<!ENTITY e \"boom\">]>") + Answer("<r>1</r>"),
      Answer("<r>1</r>").substr(0, 120),
  };
  IntfPtr<TicketManage> svc = Bind();
  for (const std::string& b : bodies) {
    SCOPED_TRACE(b);
    http.server.Respond(200, b);
    EXPECT_THROW(svc->getSurplus(u"1"), ESOAPDomConvertError);
  }
}

TEST_F(SoapClient, StrictTypesRejectAnUnfittingTypeOnlyWhenOn) {
  IntfPtr<TicketManage> svc = GetTicketManage(false, "http://svc.test/s", nullptr);  // strict
  http.server.Respond(200, Answer("<r xsi:type=\"xsd:boolean\">1</r>"));
  EXPECT_THROW(svc->ComsumeInfoPost(u"x"), ESOAPDomConvertError);
  http.server.Respond(200, Answer("<r xsi:type=\"xsd:int\">5</r>"));
  EXPECT_THROW(svc->getSurplus(u"x"), ESOAPDomConvertError);

  THTTPRIO* rio = new THTTPRIO();
  rio->Converter().Exclude(quorl::SoapConvertOption::StrictAnswerTypes);
  IntfPtr<TicketManage> lax = GetTicketManage(false, "http://svc.test/s", rio);
  http.server.Respond(200, Answer("<r xsi:type=\"xsd:boolean\">1</r>"));
  EXPECT_EQ(lax->ComsumeInfoPost(u"x"), 1);
}

TEST_F(SoapClient, FaultsRaiseRemotableExceptionWithGbkTexts) {
  IntfPtr<TicketManage> svc = Bind();
  struct Case {
    const char* name;
    int status;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"500 with fault", 500, ReadData("soap_fault_500.xml")},
      {"200 with fault", 200, ReadData("soap_fault_500.xml")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http.server.Respond(c.status, c.body);
    try {
      svc->getUserInfo2(u"", u"", u"", u"", u"", u"", u"", u"");
      ADD_FAILURE() << "no exception";
    } catch (const ERemotableException& e) {
      EXPECT_EQ(e.FaultCode(), "soapenv:Server");
      EXPECT_EQ(e.FaultString(), quorl::Utf8ToGbk("会员不存在"));
    }
  }
}

TEST_F(SoapClient, HttpErrorWithoutFaultAndSocketErrorsPassThrough) {
  IntfPtr<TicketManage> svc = Bind();
  http.server.Respond(500, "<html>Internal error</html>");
  try {
    svc->getSurplus(u"1");
    ADD_FAILURE() << "no exception";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode(), 500);
  }
  http.server.Respond(404, Answer("<r>1</r>"));
  EXPECT_THROW(svc->getSurplus(u"1"), EIdHTTPProtocolException);
  http.server.FailNext(quorl::test::FakeHttpFault::kSocketError);
  EXPECT_THROW(svc->getSurplus(u"1"), EIdSocketError);
  http.server.Respond(200, Answer("<r>late</r>"));
  http.server.FailNext(quorl::test::FakeHttpFault::kTruncatedBody);
  EXPECT_THROW(svc->getSurplus(u"1"), ESOAPDomConvertError);
}

// --- registration and binding -----------------------------------------------

TEST_F(SoapClient, RegistrationValuesAreThoseOfTheUnit) {
  TicketManage_WSDL_Initialize();  // a second run changes nothing
  const quorl::InterfaceRegistration* e = quorl::InvRegistry().Find(TicketManage::IID);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->nameSpace, quorl::kTicketManageNamespace);
  EXPECT_EQ(e->wsdlEncoding, "UTF-8");
  EXPECT_EQ(e->documentation, "");
  EXPECT_EQ(e->externalName, "");
  ASSERT_TRUE(e->defaultSoapAction.has_value());
  EXPECT_EQ(*e->defaultSoapAction, "");
  EXPECT_EQ(e->invokeOptions, quorl::kInvokeDefault);
  EXPECT_EQ(TicketManage::IID.ToString(), "{29AB1245-9703-082B-5336-A29584C5AEC4}");
  ASSERT_EQ(e->info->methods.size(), 11u);
  EXPECT_EQ(e->info->methods[8].name, "ComsumeInfoPost");
  EXPECT_EQ(e->info->methods[8].result, quorl::SoapType::Int);
}

TEST_F(SoapClient, DefaultAddressesWhenAddrIsEmpty) {
  EXPECT_TRUE(std::string(quorl::kTicketManageDefaultURL).ends_with("/services/TicketManage"));
  EXPECT_EQ(std::string(quorl::kTicketManageDefaultWSDL),
            std::string(quorl::kTicketManageDefaultURL) + "?wsdl");

  http.server.Respond(200, Answer("<r>x</r>"));
  GetTicketManage(false, "", nullptr)->getSurplus(u"1");
  EXPECT_EQ(http.server.LastRequest().url, quorl::kTicketManageDefaultURL);

  http.server.Respond(200, ReadData("soap_wsdl.xml"));
  http.server.Respond(200, Answer("<r>x</r>"));
  http.server.Respond(200, Answer("<r>y</r>"));
  IntfPtr<TicketManage> svc = GetTicketManage(true, "", nullptr);
  EXPECT_EQ(svc->getSurplus(u"1"), u"x");
  EXPECT_EQ(svc->getSurplus(u"2"), u"y");
  ASSERT_EQ(http.server.requests.size(), 4u);  // the WSDL is fetched once
  EXPECT_EQ(http.server.requests[1].method, "GET");
  EXPECT_EQ(http.server.requests[1].url, quorl::kTicketManageDefaultWSDL);
  EXPECT_EQ(http.server.requests[2].url, "http://ticket.example:8080/services/TicketManage");
  EXPECT_EQ(http.server.requests[3].url, "http://ticket.example:8080/services/TicketManage");
}

// The namespace of the NS1 operation element of a request envelope.
std::string CallNamespace(const quorl::HttpRequest& r) {
  const size_t at = r.body.find("xmlns:NS1=\"");
  if (at == std::string::npos) return "<none>";
  const size_t begin = at + 11;
  return r.body.substr(begin, r.body.find('"', begin) - begin);
}

// The build-time namespace and default addresses give way to the keys of the
// configuration file, read each time a client is bound.
TEST_F(SoapClient, DeploymentValuesFromTheIniFile) {
  const quorl::test::TempFolder folder("quorl-soap-");
  const std::string dir = folder.path();
  quorl::SetApplicationDirectory(dir);
  const std::string url = quorl::kTicketManageDefaultURL, wsdl = quorl::kTicketManageDefaultWSDL,
                    ns = quorl::kTicketManageNamespace;
  struct Case {
    const char* name;
    const char* ini;  // nullptr: no file
    std::string url, wsdl, ns;
  };
  const std::vector<Case> cases = {
      {"no file", nullptr, url, wsdl, ns},
      {"empty keys", "[WSDLCONFIGURE]\nTICKETMANAGEURL=\nTICKETMANAGENAMESPACE=\n", url, wsdl, ns},
      {"endpoint only", "[WSDLCONFIGURE]\nTICKETMANAGEURL=http://site:81/services/TicketManage\n",
       "http://site:81/services/TicketManage", "http://site:81/services/TicketManage?wsdl", ns},
      {"all three",
       "[wsdlconfigure]\nticketmanageurl = http://a/s\nTICKETMANAGEWSDL=http://b/w?wsdl\n"
       "TICKETMANAGENAMESPACE=urn:site\n",
       "http://a/s", "http://b/w?wsdl", "urn:site"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir + "/QUORLZELCLIENT.LIC");
    if (c.ini != nullptr) std::ofstream(dir + "/QUORLZELCLIENT.LIC") << c.ini;
    http.server.requests.clear();
    http.server.Respond(200, Answer("<r>x</r>"));
    GetTicketManage(false, "", nullptr)->getSurplus(u"1");
    EXPECT_EQ(http.server.LastRequest().url, c.url);
    EXPECT_EQ(CallNamespace(http.server.LastRequest()), c.ns);
    http.server.Respond(404, "");
    EXPECT_THROW(GetTicketManage(true, "", nullptr)->getSurplus(u"1"), EIdHTTPProtocolException);
    EXPECT_EQ(http.server.LastRequest().url, c.wsdl);
  }
  quorl::SetApplicationDirectory("");
}

// Bound through a WSDL, a client calls in the WSDL's targetNamespace, whatever
// the registry holds; bound by address again, in the registered one.
TEST_F(SoapClient, WsdlTargetNamespaceIsTheCallsNamespace) {
  const std::string wsdl =
      "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" "
      "xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" targetNamespace=\"urn:from-wsdl\">"
      "<service name=\"TicketManageService\"><port name=\"TicketManage\">"
      "<soap:address location=\"http://w.test/services/TicketManage\"/></port></service></definitions>";
  THTTPRIO* rio = new THTTPRIO(quorl::RioLifetime::Owned);
  {
    IntfPtr<TicketManage> svc = GetTicketManage(true, "http://w.test/services/TicketManage?wsdl", rio);
    http.server.Respond(200, wsdl);
    http.server.Respond(200, Answer("<r>x</r>"));
    svc->getSurplus(u"1");
    EXPECT_EQ(CallNamespace(http.server.LastRequest()), "urn:from-wsdl");
    rio->SetURL("http://svc.test/services/TicketManage");
    http.server.Respond(200, Answer("<r>x</r>"));
    svc->getSurplus(u"1");
    EXPECT_EQ(CallNamespace(http.server.LastRequest()), quorl::kTicketManageNamespace);
  }
  delete rio;
}

TEST_F(SoapClient, WsdlBindingSetsLocationServiceAndPort) {
  THTTPRIO* rio = new THTTPRIO(quorl::RioLifetime::Owned);
  rio->SetURL("http://old/");
  {
    IntfPtr<TicketManage> svc = GetTicketManage(true, "http://w.test/services/TicketManage?wsdl", rio);
    EXPECT_EQ(rio->WSDLLocation(), "http://w.test/services/TicketManage?wsdl");
    EXPECT_EQ(rio->Service(), "TicketManageService");
    EXPECT_EQ(rio->Port(), "TicketManage");
    EXPECT_EQ(rio->URL(), "");
  }
  delete rio;
}

TEST_F(SoapClient, WsdlProblemsAreClearErrors) {
  struct Case {
    const char* name;
    std::string wsdl;
    const char* fragment;
  };
  const std::string head =
      "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" "
      "xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\">";
  const std::vector<Case> cases = {
      {"no service", head + "<service name=\"Other\"/></definitions>", "no service 'TicketManageService'"},
      {"no port", head + "<service name=\"TicketManageService\"><port name=\"X\"/></service></definitions>",
       "no port 'TicketManage'"},
      {"no address",
       head + "<service name=\"TicketManageService\"><port name=\"TicketManage\"/></service></definitions>",
       "no soap:address"},
      {"not wsdl", "<html/>", "not a WSDL"},
      {"not xml", "<<<", "not well-formed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http.server.Respond(200, c.wsdl);
    IntfPtr<TicketManage> svc = GetTicketManage(true, "http://w.test/wsdl", nullptr);
    try {
      svc->getSurplus(u"1");
      ADD_FAILURE() << "no exception";
    } catch (const ESOAPDomConvertError& e) {
      EXPECT_NE(e.Message().find(c.fragment), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find("http://w.test/wsdl"), std::string::npos);
    }
  }
  // A relative address is completed from the WSDL's own address.
  http.server.Respond(200, head +
                               "<service name=\"TicketManageService\"><port name=\"TicketManage\">"
                               "<soap:address location=\"/services/TicketManage\"/></port></service>"
                               "</definitions>");
  http.server.Respond(200, Answer("<r>ok</r>"));
  GetTicketManage(true, "http://w.test:81/x?wsdl", nullptr)->getSurplus(u"1");
  EXPECT_EQ(http.server.LastRequest().url, "http://w.test:81/services/TicketManage");
}

TEST_F(SoapClient, NoEndpointFailsWithoutSending) {
  THTTPRIO* rio = new THTTPRIO();
  IntfPtr<TicketManage> svc = quorl::As<TicketManage>(rio);
  EXPECT_THROW(svc->getSurplus(u"1"), Exception);
  EXPECT_TRUE(http.server.requests.empty());
}

TEST_F(SoapClient, KeepAliveDecidesTheConnectionHeader) {
  http.server.defaultResponse = {200, {}, Answer("<r>x</r>")};
  THTTPRIO* rio = new THTTPRIO();
  IntfPtr<TicketManage> svc = GetTicketManage(false, "http://svc.test/s", rio);
  svc->getSurplus(u"1");
  EXPECT_EQ(Header(http.server.LastRequest(), "Connection"), "close");
  rio->HTTPWebNode().KeepAlive = true;
  svc->getSurplus(u"1");
  EXPECT_EQ(Header(http.server.LastRequest(), "Connection"), "<absent>");
}

TEST_F(SoapClient, ClientWithoutOwnerEndsWithItsLastInterfaceReference) {
  const int before = THTTPRIO::InstanceCount();
  IntfPtr<TicketManage> svc = GetTicketManage(false, "http://svc.test/s", nullptr);
  EXPECT_EQ(THTTPRIO::InstanceCount(), before + 1);
  IntfPtr<IInterface> base = quorl::As<IInterface>(svc.get());  // same client
  IntfPtr<TicketManage> again = quorl::As<TicketManage>(base.get());
  EXPECT_EQ(again.get(), svc.get());
  svc.reset();
  again.reset();
  EXPECT_EQ(THTTPRIO::InstanceCount(), before + 1);
  base.reset();
  EXPECT_EQ(THTTPRIO::InstanceCount(), before);
}

TEST_F(SoapClient, GetTicketManageNeverFreesAGivenClient) {
  const int before = THTTPRIO::InstanceCount();
  THTTPRIO* owned = new THTTPRIO(quorl::RioLifetime::Owned);
  GetTicketManage(false, "http://svc.test/s", owned).reset();
  EXPECT_EQ(THTTPRIO::InstanceCount(), before + 1);
  EXPECT_EQ(owned->URL(), "http://svc.test/s");

  // Also when the cast fails: the port type is not registered.
  quorl::InvRegistry().UnRegisterInterface(TicketManage::IID);
  THTTPRIO* counted = new THTTPRIO();
  EXPECT_THROW(GetTicketManage(false, "http://svc.test/s", counted), EIntfCastError);
  THTTPRIO* owned2 = new THTTPRIO(quorl::RioLifetime::Owned);
  EXPECT_THROW(GetTicketManage(true, "", owned2), EIntfCastError);
  EXPECT_EQ(THTTPRIO::InstanceCount(), before + 3);
  delete counted;
  delete owned;
  delete owned2;
  TicketManage_WSDL_Initialize();
}

TEST_F(SoapClient, GetTicketManageFreesItsOwnClientWhenNoInterfaceResults) {
  const int before = THTTPRIO::InstanceCount();
  quorl::InvRegistry().UnRegisterInterface(TicketManage::IID);
  EXPECT_THROW(GetTicketManage(false, "", nullptr), EIntfCastError);
  EXPECT_THROW(GetTicketManage(true, "http://x/?wsdl", nullptr), EIntfCastError);
  EXPECT_EQ(THTTPRIO::InstanceCount(), before);
  TicketManage_WSDL_Initialize();
}

TEST_F(SoapClient, NonDefaultInvokeOptionsFailClearly) {
  quorl::InvRegistry().RegisterInvokeOptions(
      TicketManage::IID, static_cast<quorl::InvokeOptions>(quorl::InvokeOption::DocumentStyle));
  IntfPtr<TicketManage> svc = Bind();
  EXPECT_THROW(svc->getSurplus(u"1"), Exception);
  EXPECT_TRUE(http.server.requests.empty());
  TicketManage_WSDL_Initialize();
  http.server.Respond(200, Answer("<r>ok</r>"));
  EXPECT_EQ(svc->getSurplus(u"1"), u"ok");
}

}  // namespace
