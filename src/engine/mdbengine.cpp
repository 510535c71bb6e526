// Registration of the engine and the per-thread reader process behind it.
#include "engine/mdbengine.h"

#include <unistd.h>

#include <memory>

#include "engine/readerprocess.h"
#include "platform/paths.h"
#include "schema/reader.h"
#include "schema/snapshot.h"

namespace zentab::engine {
namespace {

// The calling thread's reader; the thread_local's destructor ends it with the thread.
ReaderProcess& ThreadReader(const std::string& readerPath, RequestScope scope) {
  thread_local std::unique_ptr<ReaderProcess> reader;
  if (!reader || reader->readerPath() != readerPath || reader->scope() != scope) {
    reader = std::make_unique<ReaderProcess>(readerPath, /*lazyFields=*/true, scope);
  }
  return *reader;
}

// The reader beside the front end in folder (the build folder, a portable copy), else where
// the package installs it relative to the front end's folder.
std::string DefaultReaderPath(const std::string& folder) {
  std::string beside = folder + "zentab-dbreader";
  if (::access(beside.c_str(), X_OK) == 0) return beside;
  return folder + ZENTAB_READER_FROM_BINDIR;
}

}  // namespace

void RegisterMdbEngine(EngineOptions options) {
  if (options.readerPath.empty()) {
    // Beside this program or in the package's folder, or nowhere: an unknown own location
    // leaves the path empty, and starting the reader then fails with the reason instead of
    // trying the current folder.
    std::string folder = platform::ExecutableDirectory();
    if (!folder.empty() && folder.front() == '/') options.readerPath = DefaultReaderPath(folder);
  }
  if (options.readTimeoutSeconds <= 0) options.readTimeoutSeconds = 60;
  const RequestScope scope = options.readDesign ? RequestScope::kDesign : RequestScope::kReport;
  DatabaseOpener opener = [options, scope](const std::string& path) {
    return ThreadReader(options.readerPath, scope).Read(path, options.readTimeoutSeconds);
  };
  ReadAheadHint readAhead = [options, scope](const std::string& path) {
    ThreadReader(options.readerPath, scope).ReadAhead(path);
  };
  RegisterEngineFactory(kEngineProgId,
                        [opener, readAhead] { return MakeSnapshotEngine(opener, readAhead); });
}

}  // namespace zentab::engine
