// The memory figures the about box shows: physical memory and swap, read from /proc/meminfo,
// and the KB/MB text they are shown in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentab::platform {

// Byte counts; zero where the system gives no figure.
struct MemoryStatus {
  std::uint64_t availPhys = 0;
  std::uint64_t totalPhys = 0;
  std::uint64_t availPageFile = 0;  // free swap
  std::uint64_t totalPageFile = 0;  // all swap
};

// Reads the figures from the text of /proc/meminfo: MemAvailable (MemFree on kernels without
// it), MemTotal, SwapFree and SwapTotal, each given there in kB. Missing lines leave zero.
MemoryStatus ParseMemInfo(std::string_view meminfo);

// The current figures of this machine; all zero when /proc/meminfo cannot be read.
MemoryStatus QueryMemoryStatus();

// Up to 1,048,576 bytes: bytes / 1024 as "%.1fKB"; above: bytes / 1048576 as "%.1fMB". One
// decimal, rounded to nearest with halves away from zero, computed exactly (no binary
// fractions), so 256 gives "0.3KB" and 1,048,577 gives "1.0MB". Counts of 2 GiB and more
// follow the same rule.
std::string MemSizeText(std::uint64_t bytes);

}  // namespace zentab::platform
