// One piece of work at a time on a thread of its own, beside the thread that hands it over
// (the job writes a database's section while it reads the next database).
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace zentab::platform {

class BackgroundWork {
 public:
  BackgroundWork() = default;
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;
  // Waits for the work in hand (its failure is dropped) and ends the thread.
  ~BackgroundWork();

  // Waits for the work handed over before (throwing its failure), then starts work. When no
  // thread can be made, work is done here and now.
  void Post(std::function<void()> work);
  // Waits until the work handed over is done; throws its failure, once.
  void Wait();

 private:
  void Loop();

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> work_;  // set while work is in hand
  bool stopping_ = false;
  std::exception_ptr failure_;
};

}  // namespace zentab::platform
