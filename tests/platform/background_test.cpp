// The job's helper thread: work overlaps the caller, runs in the order handed over, and its
// failure comes back to the caller once.
#include "platform/background.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

namespace zentab::platform {
namespace {

TEST(BackgroundWork, RunsBesideTheCallerOneAfterAnotherInOrder) {
  std::vector<int> done;  // touched by the worker only, read after Wait
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  bool waitedForRelease = false;
  BackgroundWork work;
  work.Post([&] {
    // Released only after Post has returned: work done in Post itself would time out here.
    waitedForRelease = released.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    done.push_back(1);
  });
  release.set_value();
  for (int i = 2; i <= 5; ++i) work.Post([&done, i] { done.push_back(i); });
  work.Wait();
  EXPECT_TRUE(waitedForRelease);
  EXPECT_EQ(done, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(BackgroundWork, AFailureComesBackOnceAndStopsWhatWouldFollow) {
  BackgroundWork work;
  bool ranAfterFailure = false;
  work.Post([] { throw std::runtime_error("disk full"); });
  try {
    work.Post([&] { ranAfterFailure = true; });
    ADD_FAILURE() << "the failure did not come back";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "disk full");
  }
  work.Wait();
  EXPECT_FALSE(ranAfterFailure);
  EXPECT_NO_THROW(work.Wait());  // thrown once only
  work.Post([&] { ranAfterFailure = true; });
  work.Wait();
  EXPECT_TRUE(ranAfterFailure);  // and the worker still serves
}

TEST(BackgroundWork, EndsOnlyAfterTheWorkInHand) {
  bool finished = false;
  {
    BackgroundWork work;
    work.Post([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      finished = true;
    });
    work.Post([] { throw std::runtime_error("dropped with the worker"); });
  }
  EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace zentab::platform
