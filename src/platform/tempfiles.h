// Temporary files that must not outlive the program: their names are kept where a signal
// handler can remove them, and the front ends' handlers for SIGINT, SIGTERM and SIGHUP do;
// and the standard streams a front end relies on.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zentab::platform {

// Keeps path in the list of temporary files to remove while the object lives. The list holds
// a fixed number of names; when it is full, the name is not kept (the caller's own clean-up
// still runs).
class TemporaryName {
 public:
  explicit TemporaryName(const std::string& path);
  ~TemporaryName();
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;

 private:
  int slot_ = -1;
};

// A file written so that path is either untouched or whole: the bytes go to a temporary file
// beside it (kept in the list above while it exists), which Commit flushes to disk and renames
// over path; without Commit nothing is left. A new file gets the mode the umask allows; a
// replaced one keeps its mode. Every step throws std::runtime_error naming path and the
// reason, and leaves nothing behind.
class WholeFile {
 public:
  explicit WholeFile(std::string path);
  ~WholeFile();
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  void Write(std::string_view bytes);
  void Commit();

 private:
  [[noreturn]] void Fail(int err);
  void Abandon() noexcept;

  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  std::unique_ptr<TemporaryName> keep_;
};

// WholeFile of path holding bytes.
void WriteFileWhole(const std::string& path, std::string_view bytes);

// Removes every temporary file in the list. Async-signal-safe.
void RemoveTemporaryFiles() noexcept;

// Handlers for SIGINT, SIGTERM and SIGHUP that remove the temporary files and then end the
// process by the same signal; SIGXFSZ is ignored, so that a write past the file size limit
// fails with "File too large" instead of killing the process.
void InstallTemporaryFileCleanup();

// Opens /dev/null on any of descriptors 0, 1 and 2 that the program was started without, so
// that no file, pipe or report the program opens later takes a standard stream's number.
void OpenMissingStandardStreams();

}  // namespace zentab::platform
