// Damaged files are normal input: deterministic truncations and flipped bytes in the first
// pages of generated databases each end in a snapshot or a clear error within the timeout,
// without the reader dying or stalling, and never take this process down.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "engine/readerprocess.h"
#include "mkmdb/mkmdb.h"
#include "platform/paths.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

const char* const kDescriptions[] = {
    R"({"format":"jet4","tables":[{"name":"Orders","rows":12,"fields":[)"
    R"({"name":"ID","type":"long","autoNumber":true,"required":true,"default":"0"},)"
    R"({"name":"Customer","type":"text","size":50,"allowZeroLength":true,"default":"\"x\""},)"
    R"({"name":"Memo","type":"memo"}]},)"
    R"({"name":"Lnk","link":{"database":"C:\\db\\back.mdb","foreignName":"Stock"}}]})",
    R"({"format":"jet3","codePage":932,"tables":[{"name":"表①","fields":[)"
    R"({"name":"表示","type":"text","size":10,"required":true},{"name":"n","type":"double"}]}]})",
    R"({"format":"jet4","tables":[{"name":"A","fields":[{"name":"g","type":"guid","autoNumber":true}]},)"
    R"({"name":"B","fields":[{"name":"d","type":"decimal"},{"name":"t","type":"datetime"}]}]})",
};

// A small deterministic generator, so that every run tries the same mutations.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  std::uint32_t state_;
};

std::vector<std::string> Mutations(const std::string& original, std::size_t page,
                                   std::uint32_t seed) {
  std::vector<std::string> out;
  // Truncations: inside the header, at and around page boundaries, and at odd places.
  for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{0x40}, std::size_t{0x97},
                          page - 1, page, page + 7, 2 * page, 3 * page - 1, 3 * page, 4 * page,
                          original.size() - page, original.size() - 1}) {
    if (cut < original.size()) out.push_back(original.substr(0, cut));
  }
  Lcg rng(seed);
  // Flipped bytes in the first four pages (header, page map, catalogue definition and data).
  std::size_t span = std::min(original.size(), 4 * page);
  for (int i = 0; i < 60; ++i) {
    std::string m = original;
    int flips = 1 + static_cast<int>(rng.Next() % 4);
    for (int k = 0; k < flips; ++k) {
      m[rng.Next() % span] ^= static_cast<char>(1 + rng.Next() % 255);
    }
    out.push_back(std::move(m));
  }
  // Whole runs of bytes overwritten with zeros or 0xFF, as a failing disk might leave them.
  for (int i = 0; i < 10; ++i) {
    std::string m = original;
    std::size_t at = rng.Next() % span;
    std::size_t length = std::min<std::size_t>(16 + rng.Next() % 256, m.size() - at);
    m.replace(at, length, length, i % 2 ? '\xFF' : '\0');
    out.push_back(std::move(m));
  }
  return out;
}

TEST(Mutations, EveryDamagedFileEndsInASnapshotOrAClearErrorInTime) {
  testing::TempDir dir;
  ReaderProcess reader(platform::ExecutableDirectory() + "zentab-dbreader");
  constexpr int kTimeout = 5;
  int total = 0, snapshots = 0, errors = 0, timeouts = 0, stopped = 0;
  auto start = std::chrono::steady_clock::now();
  for (std::size_t d = 0; d < std::size(kDescriptions); ++d) {
    std::string original = dir.File("original" + std::to_string(d) + ".mdb");
    mkmdb::WriteMdbFromJson(kDescriptions[d], original);
    std::string bytes = testing::ReadBytes(original);
    std::size_t page = bytes[0x14] == 0 ? 2048 : 4096;
    auto mutations = Mutations(bytes, page, 0x5EED0000u + static_cast<std::uint32_t>(d));
    for (std::size_t m = 0; m < mutations.size(); ++m) {
      std::string path =
          dir.Write("m" + std::to_string(d) + "_" + std::to_string(m) + ".mdb", mutations[m]);
      ++total;
      auto before = std::chrono::steady_clock::now();
      try {
        auto db = reader.Read(path, kTimeout);
        ASSERT_TRUE(db);
        ++snapshots;
      } catch (const AutomationError& e) {
        std::string message = e.what();
        ++errors;
        EXPECT_FALSE(message.empty());
        // A damaged file is answered, never a reason for the reader to die or stall.
        if (message.find("timed out") != std::string::npos) ++timeouts;
        if (message.find("stopped unexpectedly") != std::string::npos) ++stopped;
        EXPECT_EQ(message.find("timed out"), std::string::npos) << path << ": " << message;
        EXPECT_EQ(message.find("stopped unexpectedly"), std::string::npos)
            << path << ": " << message;
        bool namesFile =
            message.find(path) != std::string::npos || message == "Not a valid password.";
        EXPECT_TRUE(namesFile) << message;
      }
      EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(kTimeout + 2));
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "[ mutated ] %d files: %d snapshots, %d errors (%d timeouts, %d reader deaths), %.1f s\n",
      total, snapshots, errors, timeouts, stopped, seconds);
  EXPECT_GE(total, 200);
  EXPECT_EQ(timeouts + stopped, 0);
  EXPECT_GT(snapshots, 0);
}

}  // namespace
}  // namespace zentab::engine
