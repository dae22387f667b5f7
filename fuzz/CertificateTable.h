// Certificate names come from a host database: the member-info fuzz targets
// make a temporary one with two types, so every record does the real
// look-up. The folder goes when the fuzzer exits.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "host/HostDatabase.h"
#include "host/QuorlContext.h"

namespace quorl::fuzz {

inline void SetUpCertificateTable(const std::string& targetName) {
  static std::string folder;
  std::string pattern = "/tmp/quorl_" + targetName + "_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) abort();
  folder = pattern;
  const std::string db = folder + "/host.db";
  quorl::CreateHostDatabase(db, false);
  quorl::ExecuteSqlScript(db,
                          "INSERT INTO QUORL_MEMBER_IDENTTYPE VALUES "
                          "(1, '身份证', '01', 'F1'), (2, '护照', '02', 'F1');");
  quorl::SetHostSession(quorl::MakeContextString("F1", "G1", db));
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  });
}

}  // namespace quorl::fuzz
