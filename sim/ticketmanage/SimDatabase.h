// The simulator's database: members, bookings, operators and the
// consumptions posted to it, in SQLite through the host's database seam.
// Text is UTF-8; money is kept in cents.
#pragma once

#include <memory>
#include <string>

#include "host/Database.h"

namespace quorl::sim {

// Opens (creating when missing) the SQLite database at path (UTF-8) and
// creates the tables that do not exist yet. Throws EDatabaseError.
std::unique_ptr<DatabaseConnection> OpenSimDatabase(const std::string& path);

// Adds the demo members, bookings and operators; rows already present are
// left alone, so seeding twice changes nothing.
void SeedSimDatabase(DatabaseConnection& db);

}  // namespace quorl::sim
