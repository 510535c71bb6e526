// Reads one database file into a snapshot with libmdb and the decoders of engine/mdbformat.h.
// Runs only inside the reader process.
#pragma once

#include <stdexcept>
#include <string>

#include "engine/wire.h"
#include "schema/snapshot.h"

namespace zentab::engine {

// The database cannot be opened; the message names the file and the reason.
class OpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Receives a database's snapshot in parts as it is read: the head (the database's own
// properties and errors, no tables) with the number of tables, each table, then the rest.
class SnapshotSink {
 public:
  virtual ~SnapshotSink() = default;
  virtual void Head(const DatabaseSnapshot& head, std::size_t tables) = 0;
  virtual void Table(TableSnapshot table) = 0;
  virtual void Tail(DatabaseSnapshot rest) = 0;
};

// Opens the database at path and reads its design into sink, part by part. Throws OpenError
// before the head when it cannot be opened; damage found after opening is recorded in the
// parts. With RequestScope::kReport only what the fixed report shows is read, and every part
// of the design beyond it fails with kNotReadReason.
void ReadDatabaseFile(const std::string& path, SnapshotSink& sink,
                      RequestScope scope = RequestScope::kDesign);

// Opens the database at path and reads its design. Throws OpenError when it cannot be opened;
// damage found after opening is recorded in the snapshot (tablesError, fieldsError or a
// property's failure).
DatabaseSnapshot ReadDatabaseFile(const std::string& path,
                                  RequestScope scope = RequestScope::kDesign);

}  // namespace zentab::engine
