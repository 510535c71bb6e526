// Path splitting and the executable's own path from /proc/self/exe.
#include "platform/paths.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace zentab::platform {
namespace {

std::mutex gExeMutex;
std::string gExeOverride;

}  // namespace

std::string FileNameOf(std::string_view path) {
  auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string DirectoryOf(std::string_view path) {
  auto slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtensionOf(std::string_view path) {
  std::string name = FileNameOf(path);
  auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ExecutablePath() {
  {
    std::lock_guard lock(gExeMutex);
    if (!gExeOverride.empty()) return gExeOverride;
  }
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

void SetExecutablePath(std::string path) {
  std::lock_guard lock(gExeMutex);
  gExeOverride = std::move(path);
}

std::string ExecutableDirectory() {
  return DirectoryOf(ExecutablePath());
}

}  // namespace zentab::platform
