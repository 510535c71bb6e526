// Temporary files: the list of names, fixed slots claimed with atomics so that a signal handler
// can walk it without locks or allocation, and whole-file writes through a renamed temporary.
#include "platform/tempfiles.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>

#include "platform/paths.h"

namespace zentab::platform {
namespace {

constexpr int kSlots = 16;
enum : int { kFree, kFilling, kKept };

struct Slot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};

Slot gSlots[kSlots];

void RemoveAndDie(int signal) {
  RemoveTemporaryFiles();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
}

}  // namespace

TemporaryName::TemporaryName(const std::string& path) {
  if (path.size() >= PATH_MAX) return;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (gSlots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(gSlots[i].path, path.c_str(), path.size() + 1);
      gSlots[i].state.store(kKept);
      slot_ = i;
      return;
    }
  }
}

TemporaryName::~TemporaryName() {
  if (slot_ >= 0) gSlots[slot_].state.store(kFree);
}

void RemoveTemporaryFiles() noexcept {
  for (auto& slot : gSlots) {
    // A name that was already renamed into place no longer exists; unlinking it is harmless.
    if (slot.state.load() == kKept) ::unlink(slot.path);
  }
}

void InstallTemporaryFileCleanup() {
  struct sigaction action {};
  action.sa_handler = RemoveAndDie;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller was started to ignore (nohup) stays ignored.
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
  ::signal(SIGXFSZ, SIG_IGN);
}

void OpenMissingStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is fd itself.
    int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

WholeFile::WholeFile(std::string path) : path_(std::move(path)) {
  // O_EXCL with mode 0666 lets the umask decide a new file's mode, as for any new file.
  std::string folder = DirectoryOf(path_);
  std::random_device random;
  for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    temporary_ = (folder.empty() ? std::string("./") : folder) + ".zentab-" + suffix + ".tmp";
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) Fail(errno);
  }
  if (fd_ < 0) Fail(EEXIST);
  keep_ = std::make_unique<TemporaryName>(temporary_);
  struct stat existing {};
  if (::stat(path_.c_str(), &existing) == 0 && ::fchmod(fd_, existing.st_mode & 07777) != 0) {
    Fail(errno);
  }
}

WholeFile::~WholeFile() {
  Abandon();
}

void WholeFile::Abandon() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  keep_.reset();
}

void WholeFile::Fail(int err) {
  Abandon();
  throw std::runtime_error(path_ + ": " + std::strerror(err));
}

void WholeFile::Write(std::string_view bytes) {
  if (fd_ < 0) Fail(EBADF);
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
}

void WholeFile::Commit() {
  if (fd_ < 0) Fail(EBADF);
  if (::fsync(fd_) != 0) Fail(errno);
  int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) Fail(errno);
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) Fail(errno);
  temporary_.clear();
  keep_.reset();
}

void WriteFileWhole(const std::string& path, std::string_view bytes) {
  WholeFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace zentab::platform
