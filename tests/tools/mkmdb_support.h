// Helpers for the test-database writer's tests: a scratch folder, file bytes, little-endian
// reads, and running mdbtools' command-line programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zentab::mkmdb::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  // The names of the files in the folder, sorted.
  std::vector<std::string> Files() const;

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::string& path);
std::uint16_t U16(const std::string& bytes, std::size_t at);
std::uint32_t U32(const std::string& bytes, std::size_t at);

// One page of a database file.
std::string Page(const std::string& file, std::uint32_t pageSize, std::uint32_t page);

struct CommandResult {
  int status = -1;
  std::string out;
};
// Runs a program with its arguments (shell words; "VAR=value" words may come first) in the
// C.UTF-8 locale within 10 seconds (and 4 GiB of address space with limitMemory, which
// sanitizer builds cannot run under); its standard error is discarded or, with mergeStderr,
// collected with its output.
CommandResult Run(const std::string& command, bool mergeStderr = false, bool limitMemory = false);
// Quotes one argument for the shell.
std::string ShellQuote(const std::string& text);
// True when every named program is on PATH.
bool HavePrograms(const std::vector<std::string>& programs);

// Splits CSV as mdb-export writes it: commas, double quotes doubled inside quoted fields.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);

}  // namespace zentab::mkmdb::testing
