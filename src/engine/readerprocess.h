// One reader process seen from the engine's side: started on first use, sent one request per
// database (the next one may be sent ahead), its answer taken table by table as it streams in,
// killed after a timeout or a malformed answer and started afresh for the next one.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "engine/wire.h"
#include "schema/snapshot.h"

namespace zentab::engine {

class ReaderProcess {
 public:
  // With lazyFields, the snapshots Read returns get their tables as the object model asks for
  // them and keep each table's fields in their compact form, for the object model to decode
  // table by table (see DecodeStreamPart).
  // scope says what every request asks the reader for.
  explicit ReaderProcess(std::string readerPath, bool lazyFields = false,
                         RequestScope scope = RequestScope::kDesign);
  // Ends the process: closes its input, waits briefly for it to leave, then kills it.
  ~ReaderProcess();
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // Reads the database at path within timeoutSeconds. With lazyFields the snapshot comes back
  // once its head has arrived and its tables follow as they are asked for (its feed); the
  // reader's own time counts against the timeout, the caller's between asks does not; without
  // lazyFields it comes back whole. Throws
  // AutomationError naming the file when it cannot be opened, when the process does not answer in
  // time (it is then killed), when it stops, or when it closes its answers (it is then killed at
  // the deadline at the latest); the next call then starts a new process.
  std::shared_ptr<const DatabaseSnapshot> Read(const std::string& path, int timeoutSeconds);
  // Names the database the caller will read after those already asked for. With an answer on
  // its way (or a database named before), the next Read sends this request right behind its
  // own, so that the reader works on it while the caller handles the first answer; a later name
  // replaces it. With nothing asked for, the reader (started if need be) begins on it at once,
  // while the caller gets ready. Either way a Read of that path then takes its answer; a Read of
  // another path drops it.
  void ReadAhead(const std::string& path);

  const std::string& readerPath() const { return readerPath_; }
  RequestScope scope() const { return scope_; }
  // The running process's id, or -1 when none runs.
  pid_t pid() const { return pid_; }

 private:
  using Clock = std::chrono::steady_clock;

  // Starts the reader by its absolute path only; it dies with the thread that starts it and
  // leads a process group of its own.
  void Start();
  // Sends the request for path; false when it cannot be sent (the process is dead).
  bool Send(const std::string& path);
  // Reaps the process, killing it first when kill is set, or when it has not ended by
  // deadline (then returns -2); kills its whole process group either way. Returns its wait
  // status, -1 if none.
  int Stop(bool kill, Clock::time_point deadline);
  std::string DeathMessage(int status, const std::string& path) const;
  void DrainStderr();
  // The next frame of the answers, waiting for it until deadline; throws AutomationError (the
  // process stopped) on a timeout, a death or a malformed frame.
  std::string NextFrame(const std::string& path, Clock::time_point deadline, int timeoutSeconds);
  // An answer is complete: bytes beyond it are only right for a request sent ahead.
  void EndAnswer(const std::string& path, Clock::time_point deadline);
  // Reads what the (dying) process still writes to standard error, for half a second at most.
  void CollectLastWords();

  std::string readerPath_;
  bool lazyFields_;
  RequestScope scope_;
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  int errFromChild_ = -1;
  std::string stderrTail_;
  // The path of a request sent ahead whose answer has not been read yet.
  std::optional<std::string> ahead_;
  // Bytes read from the process and not yet taken as frames (from bufferPos_ on).
  std::string buffer_;
  std::size_t bufferPos_ = 0;
  // The answer whose tables are still arriving.
  class Stream;
  std::shared_ptr<Stream> stream_;
  // The path to send ahead with the next request.
  std::optional<std::string> next_;
};

}  // namespace zentab::engine
