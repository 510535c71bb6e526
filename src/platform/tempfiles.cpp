// The list of temporary names: fixed slots claimed with atomics, so that a signal handler can
// walk it without locks or allocation.
#include "platform/tempfiles.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

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

}  // namespace zentab::platform
