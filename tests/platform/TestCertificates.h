// Throwaway certificates for the TLS tests, made with the `openssl` command
// in a temporary folder when a test runs, so no key is ever committed.
//
//   TestCertificates pki;                  // a site CA and a stranger CA
//   auto server = pki.Issue("server", Request().San("DNS:localhost,IP:127.0.0.1"));
//   auto client = pki.Issue("client", {});
//   pki.CaFile()                           // the site CA's certificate
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/RunProgram.h"
#include "support/TempFolder.h"

namespace quorl::test {

struct CertificateFiles {
  std::string cert;
  std::string key;
};

class TestCertificates {
 public:
  struct Request {
    std::string san = "DNS:localhost,IP:127.0.0.1";  // subjectAltName
    bool byStranger = false;                         // signed by the CA nobody trusts
    // Validity as `openssl ca` takes it (YYYYMMDDHHMMSSZ); empty: from now on.
    std::string startDate, endDate;
    std::string passPhrase;  // encrypts the key when not empty

    Request& San(std::string v) { return san = std::move(v), *this; }
    Request& ByStranger() { return byStranger = true, *this; }
    Request& Valid(std::string from, std::string to) {
      return startDate = std::move(from), endDate = std::move(to), *this;
    }
    Request& PassPhrase(std::string v) { return passPhrase = std::move(v), *this; }
  };

  TestCertificates() {
    MakeCa("site-ca", "Site Test CA");
    MakeCa("stranger-ca", "Stranger Test CA");
  }

  std::string CaFile() const { return folder_.File("site-ca/ca.pem"); }
  std::string StrangerCaFile() const { return folder_.File("stranger-ca/ca.pem"); }
  const TempFolder& Folder() const { return folder_; }

  CertificateFiles Issue(const std::string& name, const Request& request) const {
    const std::string ca = request.byStranger ? "stranger-ca" : "site-ca";
    const CertificateFiles files{folder_.File(name + ".pem"), folder_.File(name + ".key")};
    std::vector<std::string> genkey = {
        "openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", files.key};
    if (!request.passPhrase.empty()) {
      genkey.insert(genkey.end(), {"-aes256", "-pass", "pass:" + request.passPhrase});
    }
    Run(genkey);
    const std::string csr = folder_.File(name + ".csr");
    std::vector<std::string> req = {"openssl", "req",         "-new", "-key", files.key,
                                    "-subj",   "/CN=" + name, "-out", csr};
    if (!request.passPhrase.empty()) req.insert(req.end(), {"-passin", "pass:" + request.passPhrase});
    Run(req);
    const std::string ext =
        folder_.Write(name + ".ext", "basicConstraints=CA:FALSE\nsubjectAltName=" + request.san + "\n");
    std::vector<std::string> sign = {"openssl", "ca",     "-batch", "-config",  folder_.File(ca + "/ca.cnf"),
                                     "-in",     csr,      "-out",   files.cert, "-extfile",
                                     ext,       "-notext"};
    if (!request.startDate.empty()) sign.insert(sign.end(), {"-startdate", request.startDate});
    sign.insert(sign.end(), {"-enddate", request.endDate.empty() ? "20991231000000Z" : request.endDate});
    Run(sign);
    return files;
  }

 private:
  static void Run(const std::vector<std::string>& argv) {
    const Result r = RunProgram(argv);
    ASSERT_EQ(r.exitCode, 0) << argv[0] << " " << argv[1] << ": " << r.err;
  }

  void MakeCa(const std::string& dir, const std::string& name) {
    const std::string d = folder_.File(dir);
    Run({"mkdir", "-p", d});
    folder_.Write(dir + "/index.txt", "");
    folder_.Write(dir + "/ca.cnf",
                  "[ca]\ndefault_ca = test\n[test]\ndir = " + d +
                      "\ndatabase = $dir/index.txt\nnew_certs_dir = $dir\ncertificate = $dir/ca.pem\n"
                      "private_key = $dir/ca.key\nrand_serial = yes\ndefault_md = sha256\n"
                      "policy = any\nunique_subject = no\nemail_in_dn = no\n[any]\ncommonName = supplied\n");
    Run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
         "-keyout", d + "/ca.key", "-out", d + "/ca.pem", "-days", "3650", "-subj", "/CN=" + name});
  }

  TempFolder folder_{"quorl-tls-"};
};

}  // namespace quorl::test
