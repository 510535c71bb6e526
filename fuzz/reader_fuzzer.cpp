// libFuzzer target: each input is a database file, read by the reader process's own per-file
// code (header check, libmdb, MSysObjects scan, table definitions, LvProp blobs, links).
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/mdbformat.h"
#include "engine/reader/mdbreader.h"
#include "engine/wire.h"

namespace {

// A private folder for the input file, on tmpfs when there is one. The input is always named
// db.mdb, so a link that names "...\db.mdb" resolves to the input itself (the reader looks for
// a link's file beside the database being read) and link following is exercised too.
class InputFile {
 public:
  InputFile() {
    std::string base = std::filesystem::is_directory("/dev/shm")
                           ? "/dev/shm"
                           : std::filesystem::temp_directory_path().string();
    std::string pattern = base + "/zentab-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      std::perror("zentab-reader-fuzzer: mkdtemp");
      std::abort();
    }
    dir_ = pattern;
    path_ = dir_ + "/db.mdb";
  }
  ~InputFile() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  const std::string& Write(const std::uint8_t* data, std::size_t size) const {
    int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd, data + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return path_;
  }

 private:
  std::string dir_;
  std::string path_;
};

// Every date the reader presents must be one the engine can show; the report turns dates into
// text without checking their range again.
void CheckDates(const zentab::DatabaseSnapshot& db) {
  auto check = [](const auto& set) {
    for (const auto& [name, read] : set.Items()) {
      if (!read.error && read.value.IsDate() &&
          !zentab::engine::IsPresentableDate(read.value.AsDate())) {
        std::fprintf(stderr, "property %s holds the date %g\n", name.c_str(), read.value.AsDate());
        std::abort();
      }
    }
  };
  for (const auto& table : db.tables) {
    check(table.properties);
    for (const auto& field : table.fields) check(field.properties);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const InputFile input;
  const std::string& path = input.Write(data, size);

  // As the reader process answers a request: a snapshot, or an OpenError's message. Any other
  // exception escaping ReadDatabaseFile breaks its contract and ends the run as a finding.
  zentab::engine::ReadResponse response;
  try {
    response.snapshot = zentab::engine::ReadDatabaseFile(path);
  } catch (const zentab::engine::OpenError& e) {
    response.error = e.what();
    if (response.error.empty()) std::abort();
  }
  if (response.snapshot) CheckDates(*response.snapshot);
  // The answer must make a message the client can decode.
  std::string message = zentab::engine::EncodeResponse(response);
  zentab::engine::ReadResponse decoded = zentab::engine::DecodeResponse(message);
  if (decoded.snapshot.has_value() != response.snapshot.has_value()) std::abort();
  if (decoded.snapshot && decoded.snapshot->tables.size() != response.snapshot->tables.size()) {
    std::abort();
  }
  return 0;
}
