// The host's data pipe: runs SQL against the host database and answers with
// a dataset packet.
#pragma once

#include <memory>
#include <string>

#include "host/HostExport.h"
#include "platform/Variant.h"

namespace quorl {
class DatabaseConnection;
}

/// The data pipe: one per caller, it opens the context's database on first use and keeps the connection.
class QUORL_HOST_API TCADBPipe {
 public:
  TCADBPipe();
  ~TCADBPipe();
  TCADBPipe(const TCADBPipe&) = delete;
  TCADBPipe& operator=(const TCADBPipe&) = delete;

  /// Runs one 8-bit (GBK) SQL statement against the database named in the
  /// context string and returns a Variant holding a TClientDataSet packet of
  /// its columns and rows (columns and no rows when nothing matches). Text
  /// comes back in GBK; field types follow the declared column types (see
  /// doc/host-database.md).
  /// Raises EDatabaseError "No host database configured" when the context
  /// names no database, and EDatabaseError with the database's message when
  /// opening or the statement fails.
  /// The pipe keeps its connection open between calls and reopens it when the
  /// context names another database.
  Variant GetData(const std::string& context, const std::string& sql);

 private:
  std::string location_;
  std::unique_ptr<quorl::DatabaseConnection> connection_;
};

namespace quorl {
struct QueryResult;
/// Builds the dataset packet of a query result (UTF-8 text becomes GBK).
/// Exposed for the member-account service and for tests.
QUORL_HOST_API Variant ResultToPacket(const QueryResult& result);
}  // namespace quorl
