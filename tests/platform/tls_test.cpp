// HTTPS through the libcurl transport against an in-process TLS server, with
// certificates made for the run: what is trusted, what is refused and why,
// and how the site's TLS settings are checked.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/Exception.h"
#include "platform/Http.h"
#include "platform/TestCertificates.h"

namespace {

using quorl::HttpTlsSettings;
using quorl::test::CertificateFiles;
using quorl::test::TestCertificates;
using Req = quorl::test::TestCertificates::Request;

// A TLS server on a free loopback port that answers POST /post with "posted"
// and counts the requests it handled.
class TlsServer {
 public:
  // With a client CA the server demands a client certificate. It then speaks
  // TLS 1.2 at most: under 1.3 it refuses a missing certificate only after
  // the client has finished its handshake, and whether the client reads that
  // refusal or fails sending its request first is a race.
  TlsServer(const CertificateFiles& files, const std::string& clientCa = {})
      : server_(files.cert.c_str(), files.key.c_str(), clientCa.empty() ? nullptr : clientCa.c_str()) {
    EXPECT_TRUE(server_.is_valid());
    if (!clientCa.empty()) SSL_CTX_set_max_proto_version(server_.ssl_context(), TLS1_2_VERSION);
    server_.Post("/post", [this](const httplib::Request&, httplib::Response& res) {
      ++handled;
      res.set_content("posted", "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~TlsServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url(const std::string& host = "127.0.0.1") const {
    return "https://" + host + ":" + std::to_string(port_) + "/post";
  }
  std::atomic<int> handled{0};

 private:
  httplib::SSLServer server_;
  int port_ = 0;
  std::thread thread_;
};

// Installs TLS settings for one test and restores the defaults after it.
struct ScopedTls {
  explicit ScopedTls(HttpTlsSettings s) { quorl::SetHttpTlsSettings(std::move(s)); }
  ~ScopedTls() { quorl::SetHttpTlsSettings({}); }
};

// The settings positionally: CA file, CA folder, client certificate, key,
// pass-phrase file, lowest version.
HttpTlsSettings Tls(std::string caFile, std::string caPath = {}, std::string cert = {}, std::string key = {},
                    std::string passFile = {}, std::string minVersion = "1.2") {
  return {std::move(caFile), std::move(caPath),   std::move(cert),
          std::move(key),    std::move(passFile), std::move(minVersion)};
}

quorl::HttpRequest Post(const std::string& url) { return {"POST", url, {}, "amount=100"}; }

class HttpsTransport : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { pki_ = std::make_unique<TestCertificates>(); }
  static void TearDownTestSuite() { pki_.reset(); }
  static std::unique_ptr<TestCertificates> pki_;
};
std::unique_ptr<TestCertificates> HttpsTransport::pki_;

TEST_F(HttpsTransport, TrustsTheSiteChainAndRefusesEveryOtherCertificateBeforeSendingAnything) {
  TestCertificates& pki = *pki_;
  const std::string caFolder = pki.Folder().File("ca-folder");
  ASSERT_EQ(quorl::test::RunProgram({"mkdir", "-p", caFolder}).exitCode, 0);
  ASSERT_EQ(quorl::test::RunProgram({"cp", pki.CaFile(), caFolder + "/site.pem"}).exitCode, 0);
  ASSERT_EQ(quorl::test::RunProgram({"openssl", "rehash", caFolder}).exitCode, 0);

  const CertificateFiles good = pki.Issue("good", Req());
  const CertificateFiles client = pki.Issue("client", Req().San("DNS:till"));
  const CertificateFiles lockedClient =
      pki.Issue("locked", Req().San("DNS:till").PassPhrase("s3cret-phrase"));
  const std::string passFile = pki.Folder().Write("pass.txt", "s3cret-phrase\n");
  chmod(passFile.c_str(), 0600);
  const HttpTlsSettings site = Tls(pki.CaFile());
  const HttpTlsSettings siteWithClient = Tls(pki.CaFile(), "", client.cert, client.key);
  const HttpTlsSettings siteWithLockedClient =
      Tls(pki.CaFile(), "", lockedClient.cert, lockedClient.key, passFile);
  const HttpTlsSettings siteFolder13 = Tls("", caFolder, "", "", "", "1.3");

  const struct {
    const char* name;
    CertificateFiles server;
    HttpTlsSettings settings;
    bool demandClientCert;
    std::string host;
    std::string reason;  // empty: the exchange succeeds
  } cases[] = {
      {"site CA file", good, site, false, "127.0.0.1", ""},
      {"site CA folder, TLS 1.3 at least", good, siteFolder13, false, "localhost", ""},
      {"client certificate", good, siteWithClient, true, "127.0.0.1", ""},
      {"client key with a pass phrase", good, siteWithLockedClient, true, "127.0.0.1", ""},
      {"system CAs only", good, {}, false, "127.0.0.1", "unable to get local issuer certificate"},
      {"unknown CA", pki.Issue("stranger", Req().ByStranger()), site, false, "127.0.0.1",
       "unable to get local issuer certificate"},
      {"wrong host name", pki.Issue("elsewhere", Req().San("DNS:elsewhere.example")), site, false,
       "127.0.0.1", "no alternative certificate subject name matches"},
      {"expired", pki.Issue("expired", Req().Valid("20200101000000Z", "20200201000000Z")), site, false,
       "127.0.0.1", "certificate has expired"},
      {"not yet valid", pki.Issue("future", Req().Valid("20980101000000Z", "")), site, false, "127.0.0.1",
       "certificate is not yet valid"},
      {"client certificate demanded, none given", good, site, true, "127.0.0.1", "alert handshake failure"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TlsServer server(c.server, c.demandClientCert ? pki.CaFile() : "");
    ScopedTls tls(c.settings);
    quorl::CurlHttpTransport transport;
    if (c.reason.empty()) {
      EXPECT_EQ(transport.Send(Post(server.Url(c.host))).body, "posted");
      EXPECT_EQ(server.handled, 1);
      continue;
    }
    try {
      transport.Send(Post(server.Url(c.host)));
      ADD_FAILURE() << "accepted";
    } catch (const EIdSocketError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
      EXPECT_FALSE(e.RequestSent()) << message;
    }
    EXPECT_EQ(server.handled, 0);
  }
}

TEST_F(HttpsTransport, AWrongSettingIsOneErrorNamingItsKeyAndFileAndNeverShowsThePassPhrase) {
  TestCertificates& pki = *pki_;
  const CertificateFiles good = pki.Issue("good2", Req());
  const CertificateFiles locked = pki.Issue("locked2", Req().San("DNS:till").PassPhrase("hidden-phrase"));
  const std::string openPass = pki.Folder().Write("open-pass.txt", "hidden-phrase\n");
  chmod(openPass.c_str(), 0644);
  const std::string wrongPass = pki.Folder().Write("wrong-pass.txt", "not-the-phrase\n");
  chmod(wrongPass.c_str(), 0600);
  const std::string missing = pki.Folder().File("nowhere.pem");

  const struct {
    const char* name;
    HttpTlsSettings settings;
    std::string expected;  // in the message
  } cases[] = {
      {"CA file missing", Tls(missing), "TLSCAFILE: cannot use " + missing},
      {"CA folder is a file", Tls("", pki.CaFile()), "TLSCAPATH: " + pki.CaFile() + " is not a folder"},
      {"client certificate missing", Tls("", "", missing), "TLSCLIENTCERT: cannot use " + missing},
      {"client key missing", Tls("", "", locked.cert, missing), "TLSCLIENTKEY: cannot use"},
      {"key without certificate", Tls("", "", "", locked.key), "TLSCLIENTKEY is set without TLSCLIENTCERT"},
      {"pass phrase readable by others", Tls("", "", locked.cert, locked.key, openPass),
       "TLSCLIENTKEYPASSFILE: " + openPass + " is readable by group or others"},
      {"unknown TLS version", Tls("", "", "", "", "", "1.0"), "TLSMINVERSION: \"1.0\" is not 1.2 or 1.3"},
      {"wrong pass phrase", Tls(pki.CaFile(), "", locked.cert, locked.key, wrongPass),
       "unable to set private key file"},
  };
  TlsServer server(good);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTls tls(c.settings);
    quorl::CurlHttpTransport transport;
    try {
      transport.Send(Post(server.Url()));
      ADD_FAILURE() << "accepted";
    } catch (const EIdSocketError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
      EXPECT_EQ(message.find("hidden-phrase"), std::string::npos) << message;
      EXPECT_EQ(message.find("not-the-phrase"), std::string::npos) << message;
      EXPECT_FALSE(e.RequestSent()) << message;
    }
  }
  EXPECT_EQ(server.handled, 0);
}

}  // namespace
