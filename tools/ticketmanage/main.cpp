// ticketmanage: calls one operation of a TicketManage web service from the
// command line, through the package's own SOAP client.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "soap/TicketManage_WSDL.h"

namespace {

using S = std::u16string;
using Args = std::vector<S>;
using Call = std::function<quorl::SoapValue(TicketManage&, const Args&)>;

// One entry per slot of the port type, in slot order.
const std::vector<Call>& Calls() {
  static const std::vector<Call> calls = {
      [](TicketManage& t, const Args& a) {
        return quorl::SoapValue(t.getUserInfo(a[0], a[1], a[2], a[3], a[4], a[5], a[6]));
      },
      [](TicketManage& t, const Args& a) {
        return quorl::SoapValue(t.getUserInfo2(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]));
      },
      [](TicketManage& t, const Args& a) { return quorl::SoapValue(t.getSurplus(a[0])); },
      [](TicketManage& t, const Args& a) {
        return quorl::SoapValue(t.ValidMember(a[0], a[1], a[2], a[3], a[4], a[5]));
      },
      [](TicketManage& t, const Args& a) { return quorl::SoapValue(t.getTokenUserInfo(a[0])); },
      [](TicketManage& t, const Args& a) { return quorl::SoapValue(t.getSurplusByImage(a[0])); },
      [](TicketManage& t, const Args& a) { return quorl::SoapValue(t.SyncOrderData(a[0])); },
      [](TicketManage& t, const Args& a) { return quorl::SoapValue(t.getMemberInfo(a[0])); },
      [](TicketManage& t, const Args& a) { return quorl::SoapValue(t.ComsumeInfoPost(a[0])); },
      [](TicketManage& t, const Args& a) {
        return quorl::SoapValue(t.CheckConsumeMoney(a[0], a[1], a[2], a[3]));
      },
      [](TicketManage& t, const Args& a) {
        return quorl::SoapValue(t.getBalancerReport(a[0], a[1], a[2], a[3]));
      },
  };
  return calls;
}

void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: ticketmanage [--wsdl | --namespace URI] ADDRESS OPERATION [ARG...]\n"
               "  Calls OPERATION of the TicketManage service at ADDRESS (the endpoint, or the\n"
               "  WSDL address with --wsdl; an empty ADDRESS takes the default address) and\n"
               "  prints the result as UTF-8 without a trailing newline. The calls are made in\n"
               "  the namespace --namespace gives, else the WSDL's targetNamespace (--wsdl),\n"
               "  else TICKETMANAGENAMESPACE of QUORLZELCLIENT.LIC beside the program, else\n"
               "  the built-in one.\n"
               "operations:\n");
  for (const quorl::SoapMethod& m : quorl::TicketManageInfo().methods) {
    std::string line = "  " + m.name;
    for (const quorl::SoapParam& p : m.params) line += " " + p.name;
    std::fprintf(to, "%s\n", line.c_str());
  }
}

// Messages are in the package's code page; the terminal speaks UTF-8. One line.
std::string ForTerminal(const std::string& gbk) {
  std::string line = quorl::GbkToUtf8(gbk);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  bool useWsdl = false;
  std::string nameSpace;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (positional.empty() && (a == "-h" || a == "--help")) {
      Usage(stdout);
      return 0;
    }
    if (positional.empty() && a == "--wsdl") {
      useWsdl = true;
      continue;
    }
    if (positional.empty() && a == "--namespace") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        std::fprintf(stderr, "ticketmanage: --namespace needs a URI\n");
        return 2;
      }
      nameSpace = argv[++i];
      continue;
    }
    positional.push_back(a);
  }
  if (positional.size() < 2) {
    Usage(stderr);
    return 2;
  }
  if (useWsdl && !nameSpace.empty()) {
    std::fprintf(stderr,
                 "ticketmanage: --namespace and --wsdl exclude each other (the WSDL names the namespace)\n");
    return 2;
  }

  TicketManage_WSDL_Initialize();
  const auto& methods = quorl::TicketManageInfo().methods;
  size_t slot = methods.size();
  for (size_t i = 0; i < methods.size(); ++i)
    if (methods[i].name == positional[1]) slot = i;
  if (slot == methods.size()) {
    std::fprintf(stderr, "ticketmanage: unknown operation '%s'\n", positional[1].c_str());
    Usage(stderr);
    return 2;
  }
  if (positional.size() - 2 != methods[slot].params.size()) {
    std::fprintf(stderr, "ticketmanage: %s takes %zu arguments, %zu given\n", methods[slot].name.c_str(),
                 methods[slot].params.size(), positional.size() - 2);
    Usage(stderr);
    return 2;
  }

  Args args;
  for (size_t i = 2; i < positional.size(); ++i) args.push_back(quorl::Utf8ToUtf16(positional[i]));
  try {
    // The address is 8-bit text in the package's code page.
    quorl::IntfPtr<TicketManage> service = GetTicketManage(useWsdl, quorl::Utf8ToGbk(positional[0]), nullptr);
    // After the client is made: making it registers the namespace in force.
    if (!nameSpace.empty()) quorl::UseTicketManageNamespace(nameSpace);
    const quorl::SoapValue result = Calls()[slot](*service, args);
    const std::string out = std::holds_alternative<int32_t>(result)
                                ? std::to_string(std::get<int32_t>(result))
                                : quorl::Utf16ToUtf8(std::get<std::u16string>(result));
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
  } catch (const ERemotableException& e) {
    std::fprintf(stderr, "ticketmanage: SOAP fault %s: %s\n", ForTerminal(e.FaultCode()).c_str(),
                 ForTerminal(e.FaultString()).c_str());
  } catch (const Exception& e) {
    std::fprintf(stderr, "ticketmanage: %s\n", ForTerminal(e.Message()).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ticketmanage: %s\n", e.what());
  }
  return 1;
}
