// The database engine registered as "DAO.DBEngine.36": Access files read through libmdb in a
// separate reader process, one per thread that opens databases.
#pragma once

#include <string>

namespace zentab::engine {

struct EngineOptions {
  // A reader that has not answered after this many seconds is killed and the open fails.
  int readTimeoutSeconds = 60;
  // The reader executable, an absolute path; empty: "zentab-dbreader" in ExecutableDirectory()
  // at registration when it is there, else in the package's lib/zentab/ beside the bin/ folder
  // (none when the program's own location is unknown: opening then fails).
  std::string readerPath;
  // false: the reader reads only what the fixed report shows; the design beyond it (stored
  // properties, indexes, relations, queries, documents) then fails, if asked for, with the
  // reason that it was not read.
  bool readDesign = true;
};

// Registers the engine under "DAO.DBEngine.36" (replacing any earlier registration). Each
// thread that opens databases gets its own reader process, reused for its later databases and
// ended when the thread ends.
void RegisterMdbEngine(EngineOptions options = {});

}  // namespace zentab::engine
