// Scratch folders, byte reads and shell commands for the test-database writer's tests.
#include "mkmdb_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zentab::mkmdb::testing {
namespace fs = std::filesystem;

std::uint16_t U16(const std::string& bytes, std::size_t at) {
  if (at + 2 > bytes.size()) throw std::out_of_range("U16 past the end");
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  return U16(bytes, at) | static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16;
}

std::string Page(const std::string& file, std::uint32_t pageSize, std::uint32_t page) {
  const std::size_t at = static_cast<std::size_t>(page) * pageSize;
  if (at + pageSize > file.size()) throw std::out_of_range("page past the end of the file");
  return file.substr(at, pageSize);
}

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer reserves terabytes of address space at start-up, so a sanitized program
// cannot start under an address-space limit.
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

CommandResult Run(const std::string& command, bool mergeStderr, bool limitMemory) {
  CommandResult result;
  limitMemory = limitMemory && !kSanitized;
  // A reader that loops or balloons on a broken file fails the test instead of the machine.
  const std::string line = std::string(limitMemory ? "ulimit -v 4194304; " : "") +
                           "LC_ALL=C.UTF-8 timeout 10 env " + command +
                           (mergeStderr ? " 2>&1" : " 2>/dev/null");
  std::FILE* pipe = ::popen(line.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 65536> buffer;
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool HavePrograms(const std::vector<std::string>& programs) {
  const char* path = std::getenv("PATH");
  for (const std::string& program : programs) {
    bool found = false;
    std::istringstream dirs(path ? path : "");
    for (std::string dir; !found && std::getline(dirs, dir, ':');) {
      found = !dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0;
    }
    if (!found) return false;
  }
  return true;
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\n') {
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
    } else if (c != '\r') {
      field += c;
    }
  }
  if (!field.empty() || !row.empty()) {
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace zentab::mkmdb::testing
