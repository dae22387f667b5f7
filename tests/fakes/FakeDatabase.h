// Fake of the database seam (host/Database.h). Install() makes OpenDatabase
// hand out connections to this fake; the destructor puts SQLite back.
// Every call is recorded; Query answers from `queued` first, then
// `nextResult`. Fault switches: failNextOpen, failNextQuery (also Execute
// and ExecuteScript). Connections point at the fake: it must outlive them.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "host/Database.h"
#include "platform/Exception.h"

namespace quorl::test {

class FakeDatabase {
 public:
  struct Call {
    std::string kind;  // "Query", "Execute", "Script", "Begin", "Commit", "Rollback"
    std::string sql;
    std::vector<DbValue> params;
  };

  std::vector<std::string> openedLocations;
  std::vector<Call> calls;
  std::deque<QueryResult> queued;
  QueryResult nextResult;
  int64_t executeChanges = 1;
  bool failNextOpen = false;
  bool failNextQuery = false;
  std::string failMessage = "fake database failure";
  int liveConnections = 0;

  FakeDatabase() = default;
  FakeDatabase(const FakeDatabase&) = delete;
  FakeDatabase& operator=(const FakeDatabase&) = delete;
  ~FakeDatabase() { SetDatabaseOpener(nullptr); }

  void Install() {
    SetDatabaseOpener([this](const std::string& location) -> std::unique_ptr<DatabaseConnection> {
      openedLocations.push_back(location);
      if (failNextOpen) {
        failNextOpen = false;
        throw EDatabaseError("fake: cannot open " + location);
      }
      return std::make_unique<Connection>(*this);
    });
  }

  int CountCalls(const std::string& kind) const {
    int n = 0;
    for (const Call& c : calls) n += c.kind == kind ? 1 : 0;
    return n;
  }

 private:
  class Connection : public DatabaseConnection {
   public:
    explicit Connection(FakeDatabase& db) : db_(db) { ++db_.liveConnections; }
    ~Connection() override { --db_.liveConnections; }

    QueryResult Query(const std::string& sql, const std::vector<DbValue>& params) override {
      Record("Query", sql, params);
      if (!db_.queued.empty()) {
        QueryResult r = std::move(db_.queued.front());
        db_.queued.pop_front();
        return r;
      }
      return db_.nextResult;
    }
    int64_t Execute(const std::string& sql, const std::vector<DbValue>& params) override {
      Record("Execute", sql, params);
      return db_.executeChanges;
    }
    void ExecuteScript(const std::string& sql) override { Record("Script", sql, {}); }
    void Begin() override { db_.calls.push_back({"Begin", "", {}}); }
    void Commit() override { db_.calls.push_back({"Commit", "", {}}); }
    void Rollback() override { db_.calls.push_back({"Rollback", "", {}}); }

   private:
    void Record(const char* kind, const std::string& sql, const std::vector<DbValue>& params) {
      db_.calls.push_back({kind, sql, params});
      if (db_.failNextQuery) {
        db_.failNextQuery = false;
        throw EDatabaseError(db_.failMessage);
      }
    }
    FakeDatabase& db_;
  };
};

}  // namespace quorl::test
