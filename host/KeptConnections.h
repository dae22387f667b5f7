// Database connections kept open between calls of the host services (internal
// to libQuorlHost, not installed).
//
// Opening a PostgreSQL connection starts a server process and costs more than
// a whole posting, so the member-account service, created afresh for every
// call, takes its connection from here: one kept per location (connection
// string or file path) and process, handed to one caller at a time.
//
// A kept connection is checked before it is handed out and again when it
// comes back: only an open one with no transaction left is kept. When the
// server went away while the connection lay idle, the first BEGIN or query
// of the next call fails; that call then reconnects once and goes on. A
// connection that failed after that (in the middle of a posting) is closed,
// never reused. Connections from a test's opener (SetDatabaseOpener) are
// never kept. A process made by fork() does not use its parent's
// connections: two processes on one socket would mix their conversations.
#pragma once

#include <memory>
#include <string>

#include "host/Database.h"

namespace quorl::detail {

// Whether an engine's connection may serve another call.
enum class ConnectionState {
  kReady,      // open, no transaction, its database where it was opened
  kSpent,      // lost, or left inside a transaction, or its file replaced
  kNotEngine,  // not this engine's connection
};

// Each engine judges its own connections (SqliteDatabase.cpp,
// PostgresDatabase.cpp); cheap, no round trip to a server.
ConnectionState SqliteConnectionState(DatabaseConnection& db);
ConnectionState PostgresConnectionState(DatabaseConnection& db);

// True while SetDatabaseOpener has installed an opener of its own.
bool DatabaseOpenerInstalled();

// A connection to `location` for one call: a kept one when one is free and
// ready, else a new one (OpenDatabase, which raises when it cannot open).
// Destroying it hands the connection back to be kept when it is still ready.
// Safe to call from several threads: each gets a connection of its own.
std::unique_ptr<DatabaseConnection> TakeConnection(const std::string& location);

}  // namespace quorl::detail
