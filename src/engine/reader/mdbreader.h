// Reads one database file into a snapshot with libmdb and the decoders of engine/mdbformat.h.
// Runs only inside the reader process.
#pragma once

#include <stdexcept>
#include <string>

#include "schema/snapshot.h"

namespace zentab::engine {

// The database cannot be opened; the message names the file and the reason.
class OpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opens the database at path and reads its design. Throws OpenError when it cannot be opened;
// damage found after opening is recorded in the snapshot (tablesError, fieldsError or a
// property's failure). With compactFields, each table's fields are turned into their wire form
// as soon as the table is read (TableSnapshot::encodedFields), so that the reader never holds
// a large database's fields decoded all at once.
DatabaseSnapshot ReadDatabaseFile(const std::string& path, bool compactFields = false);

}  // namespace zentab::engine
