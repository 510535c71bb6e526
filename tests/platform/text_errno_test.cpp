// The CP932 conversion under an allocator that leaves errno set, as glibc's malloc does when it
// falls back after a failed mmap: the report text must come out unchanged all the same.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/text.h"

// The replacement pair below is malloc and free underneath, on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<bool> gLeaveEnomem{false};
}  // namespace

void* operator new(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (!p) throw std::bad_alloc();
  if (gLeaveEnomem) errno = ENOMEM;
  return p;
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace zentab::platform {
namespace {

TEST(Utf8ToCp932Html, IsNotMisledByErrnoLeftByAnAllocation) {
  std::string row;
  for (int i = 0; i < 200; ++i) row += "<td nowrap>表</td>";
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += "<td nowrap>\x95\x5C</td>";
  Utf8ToCp932Html("warm");  // the table is built before the fault starts
  gLeaveEnomem = true;
  std::string converted = Utf8ToCp932Html(row);
  std::size_t length = Cp932Length(row);
  gLeaveEnomem = false;
  EXPECT_EQ(converted, expected);
  EXPECT_EQ(length, expected.size());
}

}  // namespace
}  // namespace zentab::platform
