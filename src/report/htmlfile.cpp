// Writing the report: an unnamed temporary file (O_TMPFILE) beside the final name, given its
// name only when complete; links followed to their target, read-only files and other kinds of
// file refused, and a time-stamped name never replacing an earlier report.
#include "report/htmlfile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/tempfiles.h"
#include "platform/text.h"
#include "platform/translate.h"

namespace zentab {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kMaxFreeNameTries = 10000;

[[noreturn]] void Fail(const std::string& path, const char* step, int err) {
  throw ReportWriteError(path, platform::Tr(step) + ": " + std::strerror(err));
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(path, "cannot write", errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

std::string FolderOf(const std::string& path) {
  std::string dir = platform::DirectoryOf(path);
  return dir.empty() ? "./" : dir;
}

// The name a chain of symbolic links from path ends at (which need not exist yet).
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char target[PATH_MAX];
    ssize_t n = ::readlink(current.c_str(), target, sizeof target);
    if (n < 0) Fail(path, "cannot follow the link", errno);
    if (static_cast<std::size_t>(n) >= sizeof target)
      Fail(path, "cannot follow the link", ENAMETOOLONG);
    std::string next(target, static_cast<std::size_t>(n));
    current = next.front() == '/' ? next : platform::DirectoryOf(current) + next;
  }
  Fail(path, "cannot follow the link", ELOOP);
}

// Throws unless folder is a folder this process may create files in.
void CheckFolder(const std::string& folder, const std::string& shownPath) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) Fail(shownPath, "cannot create", errno);
  if (!S_ISDIR(st.st_mode)) Fail(shownPath, "cannot create", ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) Fail(shownPath, "cannot create", errno);
}

// Where an explicit report file lands and what it replaces.
struct Destination {
  std::string path;
  std::string folder;
  bool exists = false;
  mode_t mode = 0;
};

Destination Resolve(const std::string& file) {
  Destination d;
  d.path = FollowLinks(file);
  d.folder = FolderOf(d.path);
  struct stat st {};
  if (::stat(d.path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      throw ReportWriteError(file, "exists and is not a regular file; it is not replaced");
    }
    if ((st.st_mode & 0222) == 0 || ::access(d.path.c_str(), W_OK) != 0) {
      throw ReportWriteError(file, "is read-only; it is not replaced");
    }
    d.exists = true;
    d.mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    Fail(file, "cannot create", errno);
  }
  CheckFolder(d.folder, file);
  return d;
}

// A short random name in folder, so that the temporary name never exceeds NAME_MAX where the
// report's own name does not.
std::string RandomName(const std::string& folder) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::string name = folder + ".zentab-";
  for (int i = 0; i < 8; ++i) name += kChars[random() % (sizeof kChars - 1)];
  return name + ".tmp";
}

// The report's bytes on their way: unnamed until Publish when the file system allows it,
// otherwise under a temporary name that is removed on failure and on the signals the front
// ends handle.
class TemporaryReport {
 public:
  TemporaryReport(const std::string& folder, const std::string& shownPath)
      : folder_(folder), shownPath_(shownPath) {
    if (::access("/proc/self/fd", X_OK) == 0) {
      fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
      if (fd_ >= 0) return;
      // Without O_TMPFILE support the call fails with one of these; others are real failures.
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        Fail(shownPath, "cannot create", errno);
      }
    }
    for (int i = 0; i < 100 && fd_ < 0; ++i) {
      std::string name = RandomName(folder);
      // 0666 under the umask: a new report gets the mode any new file would.
      fd_ = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) Fail(shownPath, "cannot create", errno);
      if (fd_ >= 0) {
        name_ = name;
        guard_ = std::make_unique<platform::TemporaryName>(name_);
      }
    }
    if (fd_ < 0) Fail(shownPath, "cannot create", EEXIST);
  }

  ~TemporaryReport() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  TemporaryReport(const TemporaryReport&) = delete;
  TemporaryReport& operator=(const TemporaryReport&) = delete;

  // Writes bytes at the end. Every few megabytes the disk is asked to start on what has gathered,
  // so that the flush that ends the report waits for the last stretch only, not the whole file.
  void Write(std::string_view bytes) {
    WriteAll(fd_, bytes, shownPath_);
    written_ += static_cast<off_t>(bytes.size());
    if (written_ - startedTo_ >= kStartWritebackEvery) {
      // Only a head start: a failure here shows again, and is reported, at the flush in Finish.
      ::sync_file_range(fd_, startedTo_, written_ - startedTo_, SYNC_FILE_RANGE_WRITE);
      startedTo_ = written_;
    }
  }

  // Makes the bytes written durable, with the mode keepMode unless it is 0.
  void Finish(mode_t keepMode) {
    if (keepMode != 0 && ::fchmod(fd_, keepMode) != 0) Fail(shownPath_, "cannot write", errno);
    if (::fsync(fd_) != 0) Fail(shownPath_, "cannot write", errno);
  }

  // Gives the file the name path, replacing what is there.
  void Replace(const std::string& path) {
    if (name_.empty()) {
      // An unnamed file cannot replace a name directly: it gets a temporary name first.
      std::string name = RandomName(folder_);
      guard_ = std::make_unique<platform::TemporaryName>(name);
      if (!LinkUnnamed(name)) Fail(shownPath_, "cannot create", errno);
      name_ = name;
    }
    if (::rename(name_.c_str(), path.c_str()) != 0) Fail(shownPath_, "cannot create", errno);
    name_.clear();
  }

  // Gives the file the name path unless something has it already; false then.
  bool TakeFreeName(const std::string& path) {
    if (name_.empty()) {
      if (LinkUnnamed(path)) return true;
    } else if (::renameat2(AT_FDCWD, name_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) ==
               0) {
      name_.clear();
      return true;
    } else if (errno == EINVAL || errno == ENOSYS) {
      // The file system cannot rename without replacing; a hard link never replaces.
      if (::link(name_.c_str(), path.c_str()) == 0) {
        ::unlink(name_.c_str());
        name_.clear();
        return true;
      }
    }
    if (errno == EEXIST) return false;
    Fail(path, "cannot create", errno);
  }

 private:
  bool LinkUnnamed(const std::string& path) {
    std::string self = "/proc/self/fd/" + std::to_string(fd_);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }

  static constexpr off_t kStartWritebackEvery = 4 << 20;

  int fd_ = -1;
  off_t written_ = 0;
  off_t startedTo_ = 0;  // where the disk was last asked to start writing up to
  std::string folder_;
  std::string shownPath_;
  std::string name_;  // empty while the file has no name
  std::unique_ptr<platform::TemporaryName> guard_;
};

std::string Folder(const ReportTarget& target) {
  std::string dir = target.directory.empty() ? platform::ExecutableDirectory() : target.directory;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// Converted text is handed to the file once this much has gathered.
constexpr std::size_t kWriteChunk = 1 << 20;

// The report's bytes go to the file on a thread of their own, so that the job reads and renders
// the next database while the file system takes in the last one. One chunk at most waits
// its turn behind the one being written, and their buffers come back to be filled again. The first
// failure stops the writing; it is thrown to the job at its next hand-over or wait. Where no thread
// can be made, the chunks are written at once by the caller.
class BackgroundWrites {
 public:
  explicit BackgroundWrites(TemporaryReport& file) : file_(file) {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      // Written by the caller instead.
    }
  }
  ~BackgroundWrites() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      stop_ = true;  // what still waits is not written: the report is being abandoned
    }
    wake_.notify_all();
    thread_.join();
  }
  BackgroundWrites(const BackgroundWrites&) = delete;
  BackgroundWrites& operator=(const BackgroundWrites&) = delete;

  // Queues chunk and returns an empty buffer to fill next.
  std::string Hand(std::string chunk) {
    if (!thread_.joinable()) {
      file_.Write(chunk);
      chunk.clear();
      return chunk;
    }
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return failure_ || queue_.size() < kMaxQueued; });
    if (failure_) std::rethrow_exception(failure_);
    queue_.push_back(std::move(chunk));
    std::string next;
    if (!spares_.empty()) {
      next = std::move(spares_.back());
      spares_.pop_back();
    }
    lock.unlock();
    wake_.notify_one();
    return next;
  }

  // Waits until every chunk handed over is in the file.
  void Wait() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return failure_ || (queue_.empty() && !writing_); });
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  // One chunk being written, one waiting and one being filled: enough to keep the file busy.
  static constexpr std::size_t kMaxQueued = 1;

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      std::string chunk = std::move(queue_.front());
      queue_.pop_front();
      writing_ = true;
      lock.unlock();
      std::exception_ptr failure;
      try {
        file_.Write(chunk);
      } catch (...) {
        failure = std::current_exception();
      }
      chunk.clear();
      lock.lock();
      writing_ = false;
      if (failure) {
        failure_ = failure;
        queue_.clear();
      } else if (spares_.size() < kMaxQueued) {
        spares_.push_back(std::move(chunk));
      }
      written_.notify_all();
    }
  }

  TemporaryReport& file_;
  std::mutex mutex_;
  std::condition_variable wake_;     // a chunk is queued, or the writing is to stop
  std::condition_variable written_;  // a chunk is written, or failed
  std::deque<std::string> queue_;
  std::vector<std::string> spares_;
  bool writing_ = false;
  bool stop_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // last: it starts once everything it uses exists
};

}  // namespace

std::string ReportPath(const ReportTarget& target) {
  if (!target.file.empty()) return target.file;
  return Folder(target) + platform::FormatNow("yyyymmddhhnnss") + ".html";
}

void CheckReportTarget(const ReportTarget& target) {
  if (!target.file.empty()) {
    Resolve(target.file);
  } else {
    std::string folder = Folder(target);
    CheckFolder(folder.empty() ? "./" : folder, ReportPath(target));
  }
}

struct ReportWriter::State {
  ReportTarget target;
  std::string shownPath;  // the path errors name
  TemporaryReport temp;
  BackgroundWrites writes{temp};  // after temp: it ends first
  std::string buffer;             // CP932 bytes not yet handed to the file
  bool committed = false;

  State(const ReportTarget& t, const std::string& shown, const std::string& folder)
      : target(t), shownPath(shown), temp(folder, shown) {}

  void Flush() {
    buffer = writes.Hand(std::move(buffer));
    buffer.reserve(kWriteChunk + kWriteChunk / 4);
  }
};

ReportWriter::ReportWriter(const ReportTarget& target) {
  CheckReportTarget(target);
  if (!target.file.empty()) {
    Destination d = Resolve(target.file);
    state_ = std::make_unique<State>(target, target.file, d.folder);
  } else {
    const std::string first = ReportPath(target);
    state_ = std::make_unique<State>(target, first, FolderOf(first));
  }
  state_->buffer.reserve(kWriteChunk + kWriteChunk / 4);
  // The header and the footer are ASCII, the same bytes in CP932.
  state_->buffer.append(kReportHeader).append("\r\n");
}

ReportWriter::~ReportWriter() = default;

void ReportWriter::Append(std::string_view utf8) {
  if (state_->committed) throw std::logic_error("report text appended after Commit");
  platform::AppendUtf8ToCp932Html(state_->buffer, utf8);
  if (state_->buffer.size() >= kWriteChunk) state_->Flush();
}

void ReportWriter::AppendConverted(std::string_view cp932) {
  if (state_->committed) throw std::logic_error("report text appended after Commit");
  state_->buffer += cp932;
  if (state_->buffer.size() >= kWriteChunk) state_->Flush();
}

void ReportWriter::WaitForWrites() {
  state_->writes.Wait();
}

std::string ReportWriter::Commit() {
  State& s = *state_;
  if (s.committed) throw std::logic_error("report committed twice");
  s.committed = true;
  s.buffer += "\r\n";
  s.buffer += kReportFooter;
  s.buffer += "\r\n";
  // The last chunk: the buffer handed back for the next one is let go at once.
  s.writes.Hand(std::move(s.buffer));
  s.writes.Wait();
  if (!s.target.file.empty()) {
    // What the name holds now decides the mode kept; it may have changed while the job ran.
    Destination d = Resolve(s.target.file);
    s.temp.Finish(d.exists ? d.mode : 0);
    s.temp.Replace(d.path);
    return s.target.file;
  }
  s.temp.Finish(0);
  const std::string first = ReportPath(s.target);
  // "name.html", then "name-2.html", "name-3.html", ...: an earlier report is never replaced.
  const std::string stem = first.substr(0, first.size() - 5);
  for (int n = 1; n <= kMaxFreeNameTries; ++n) {
    std::string path = n == 1 ? first : stem + "-" + std::to_string(n) + ".html";
    if (s.temp.TakeFreeName(path)) return path;
  }
  Fail(first, "cannot create", EEXIST);
}

std::string WriteHtmlFile(const std::string& body, const ReportTarget& target) {
  ReportWriter writer(target);
  writer.Append(body);
  return writer.Commit();
}

}  // namespace zentab
