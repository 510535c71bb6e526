// Helpers for the test-database writer's tests: a scratch folder, file bytes, little-endian
// reads, and running mdbtools' command-line programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"

namespace zentab::mkmdb::testing {

using fakes::ReadBytes;
using fakes::TempDir;

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
