// Memory figures from /proc/meminfo and their display text.
#include "platform/memstatus.h"

#include <fstream>
#include <sstream>

namespace zentab::platform {
namespace {

// The kB figure of a "Name:   1234 kB" line, in bytes.
std::optional<std::uint64_t> FieldBytes(std::string_view text, std::string_view name) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto nl = text.find('\n', pos);
    std::string_view line =
        text.substr(pos, nl == std::string_view::npos ? text.size() - pos : nl - pos);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    if (line.size() <= name.size() || line.substr(0, name.size()) != name ||
        line[name.size()] != ':') {
      continue;
    }
    std::string_view rest = line.substr(name.size() + 1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    std::uint64_t kb = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
      kb = kb * 10 + static_cast<std::uint64_t>(rest[digits] - '0');
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    return kb * 1024;
  }
  return std::nullopt;
}

// value / unit to one decimal, halves rounded up (the counts are never negative).
std::string Tenths(std::uint64_t value, std::uint64_t unit, const char* suffix) {
  std::uint64_t whole = value / unit;
  std::uint64_t rest = value % unit;
  std::uint64_t tenths = whole * 10 + (rest * 10 + unit / 2) / unit;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + suffix;
}

}  // namespace

MemoryStatus ParseMemInfo(std::string_view meminfo) {
  MemoryStatus status;
  auto avail = FieldBytes(meminfo, "MemAvailable");
  if (!avail) avail = FieldBytes(meminfo, "MemFree");
  status.availPhys = avail.value_or(0);
  status.totalPhys = FieldBytes(meminfo, "MemTotal").value_or(0);
  status.availPageFile = FieldBytes(meminfo, "SwapFree").value_or(0);
  status.totalPageFile = FieldBytes(meminfo, "SwapTotal").value_or(0);
  return status;
}

MemoryStatus QueryMemoryStatus() {
  std::ifstream in("/proc/meminfo");
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return ParseMemInfo(s.str());
}

std::string MemSizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = 1048576;
  if (bytes <= kMiB) return Tenths(bytes, 1024, "KB");
  return Tenths(bytes, kMiB, "MB");
}

}  // namespace zentab::platform
