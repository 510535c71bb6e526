// One reader process seen from the engine's side: started on first use, sent one request per
// database, killed after a timeout or a malformed answer and started afresh for the next one.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

#include "schema/snapshot.h"

namespace zentab::engine {

class ReaderProcess {
 public:
  explicit ReaderProcess(std::string readerPath);
  // Ends the process: closes its input, waits briefly for it to leave, then kills it.
  ~ReaderProcess();
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // Reads the database at path within timeoutSeconds. Throws AutomationError naming the file
  // when it cannot be opened, when the process does not answer in time (it is then killed),
  // when it stops, or when it closes its answers (it is then killed at the deadline at the
  // latest); the next call then starts a new process.
  std::shared_ptr<const DatabaseSnapshot> Read(const std::string& path, int timeoutSeconds);

  const std::string& readerPath() const { return readerPath_; }
  // The running process's id, or -1 when none runs.
  pid_t pid() const { return pid_; }

 private:
  using Clock = std::chrono::steady_clock;

  // Starts the reader by its absolute path only; it dies with the thread that starts it and
  // leads a process group of its own.
  void Start();
  // Reaps the process, killing it first when kill is set, or when it has not ended by
  // deadline (then returns -2); kills its whole process group either way. Returns its wait
  // status, -1 if none.
  int Stop(bool kill, Clock::time_point deadline);
  std::string DeathMessage(int status, const std::string& path) const;
  void DrainStderr();
  // Reads what the (dying) process still writes to standard error, for half a second at most.
  void CollectLastWords();

  std::string readerPath_;
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  int errFromChild_ = -1;
  std::string stderrTail_;
};

}  // namespace zentab::engine
