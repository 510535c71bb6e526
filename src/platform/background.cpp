// The job's helper thread: one piece of work in hand at most, failures carried back.
#include "platform/background.h"

#include <system_error>
#include <utility>

namespace zentab::platform {

BackgroundWork::~BackgroundWork() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !work_; });
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BackgroundWork::Post(std::function<void()> work) {
  Wait();
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
      work();
      return;
    }
  }
  {
    std::lock_guard lock(mutex_);
    work_ = std::move(work);
  }
  changed_.notify_all();
}

void BackgroundWork::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !work_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BackgroundWork::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return work_ || stopping_; });
    if (!work_) return;
    lock.unlock();
    std::exception_ptr failure;
    try {
      work_();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    work_ = nullptr;
    changed_.notify_all();
  }
}

}  // namespace zentab::platform
