// Helpers for the engine tests: a temporary folder, and database header pages built by hand.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace zentab::engine::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Writes bytes to name inside the folder and returns the file's path.
  std::string File(const std::string& name, const std::string& bytes) const;
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// A header page (2048 bytes for Jet 3, 4096 otherwise) as Access writes it: the magic, the
// version byte, and the masked area holding the code page and the password (Jet 4 masks the
// password once more with the creation date's whole days).
std::string MakeHeaderPage(std::uint8_t jetVersion, std::uint16_t codePage,
                           const std::string& password, double created = 37636.5,
                           std::uint32_t encodingKey = 0);

std::string ReadFileBytes(const std::string& path);

// The shared corpus folder, or empty when it is not there.
std::string CorpusDir();

}  // namespace zentab::engine::testing
