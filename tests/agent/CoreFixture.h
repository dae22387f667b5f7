// A temporary application folder with an empty host database, a host
// session pointing at it, and the core unit's state reset around each test.
// Also a database decorator that records the SQL the package sends.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/CoreState.h"
#include "core/uCoreMemberSys_ZEL.h"
#include "host/Database.h"
#include "host/HostDatabase.h"
#include "host/QuorlContext.h"
#include "platform/Application.h"
#include "support/TempFolder.h"

namespace quorl::test {

// Forwards to the real SQLite database and records every query's text.
class RecordingConnection : public DatabaseConnection {
 public:
  RecordingConnection(std::unique_ptr<DatabaseConnection> inner, std::vector<std::string>* log)
      : inner_(std::move(inner)), log_(log) {}
  QueryResult Query(const std::string& sql, const std::vector<DbValue>& params) override {
    log_->push_back(sql);
    return inner_->Query(sql, params);
  }
  int64_t Execute(const std::string& sql, const std::vector<DbValue>& params) override {
    return inner_->Execute(sql, params);
  }
  void ExecuteScript(const std::string& script) override { inner_->ExecuteScript(script); }
  void Begin() override { inner_->Begin(); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }

 private:
  std::unique_ptr<DatabaseConnection> inner_;
  std::vector<std::string>* log_;
};

class CoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // A fresh folder each time: a test may tear down and set up again.
    folder_ = std::make_unique<TempFolder>("quorl-agent-");
    dir_ = folder_->path();
    db_ = dir_ + "/host.db";
    CreateHostDatabase(db_, false);
    SetApplicationDirectory(dir_);
    uCoreMemberSys_ZEL_Finalize();
    UseSession("N001", "G01");
    SetDatabaseOpener([this](const std::string& location) -> std::unique_ptr<DatabaseConnection> {
      return std::make_unique<RecordingConnection>(OpenSqliteDatabase(location), &queries_);
    });
  }

  void TearDown() override {
    uCoreMemberSys_ZEL_Finalize();
    SetDatabaseOpener(nullptr);
    SetApplicationDirectory("");
    SetHostSession("");
    folder_.reset();
  }

  // Points the host session and the package's context at node and group.
  void UseSession(const std::string& node, const std::string& group) {
    SetHostSession(MakeContextString(node, group, db_));
    _QuorlContext()->SetAsString(HostSession());
  }

  // Runs UTF-8 SQL against the test database.
  void Sql(const std::string& script) { ExecuteSqlScript(db_, script); }

  void WriteIni(const std::string& text) {
    std::ofstream(dir_ + "/" + kAddressIniFileName, std::ios::binary) << text;
  }

  // Queries sent since the last call.
  std::vector<std::string> TakeQueries() { return std::exchange(queries_, {}); }

  std::unique_ptr<TempFolder> folder_;
  std::string dir_;
  std::string db_;
  std::vector<std::string> queries_;
};

}  // namespace quorl::test
