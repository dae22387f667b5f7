#include "MemberDataTestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "host/HostDatabase.h"
#include "host/QuorlContext.h"

namespace quorl::test {

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/quorl-mdata-XXXXXX";
  if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ + "/";
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string SourceDir() {
  const char* dir = std::getenv("QUORL_SOURCE_DIR");
  std::string s = dir && *dir ? dir : QUORL_TEST_SOURCE_DIR;
  if (s.back() != '/') s += '/';
  return s;
}

namespace {

class CertificateTableEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = new TempFolder();
    const std::string db = folder_->path() + "host.db";
    quorl::CreateHostDatabase(db, false);
    quorl::ExecuteSqlScript(db,
                            "INSERT INTO QUORL_MEMBER_IDENTTYPE "
                            "(IDENTTYPEID, IDENTTYPENAME, CERTIFICATETYPE, NODECODE) VALUES "
                            "(2, '身份证', '01', 'N9'), (1, '护照', '02', 'N9'),"
                            "(3, '军官证', '01', 'N9'), (1, '别的', '01', 'N8');");
    quorl::SetHostSession(quorl::MakeContextString("N9", "G1", db));
  }
  void TearDown() override { delete folder_; }

 private:
  TempFolder* folder_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CertificateTableEnvironment);

}  // namespace
}  // namespace quorl::test
