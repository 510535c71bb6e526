// The per-user settings and report folders of a desktop session, and the choice between them
// and the executable's own folder.
#include "platform/places.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "platform/paths.h"
#include "platform/profile.h"

namespace zentab::platform {
namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::string HomeDirectory() {
  if (auto home = Environment("HOME")) return *home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

// A folder named the way user-dirs.dirs and the environment name them: an absolute path, or
// "$HOME" followed by nothing or by "/" and the rest. Anything else counts as unset.
std::optional<std::string> ExpandHome(std::string_view value) {
  if (value.starts_with("$HOME") && (value.size() == 5 || value[5] == '/')) {
    return HomeDirectory() + std::string(value.substr(5));
  }
  if (value.starts_with("/")) return std::string(value);
  return std::nullopt;
}

// XDG_DOCUMENTS_DIR="..." in user-dirs.dirs: one assignment a line, the value in double quotes.
std::optional<std::string> DocumentsFromUserDirs(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::optional<std::string> found;
  constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
  for (std::string line; std::getline(in, line);) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    std::string_view text = std::string_view(line).substr(start);
    if (!text.starts_with(kKey)) continue;
    text.remove_prefix(kKey.size());
    std::size_t end = text.find('"');
    if (end == std::string_view::npos) continue;
    // The last assignment wins, as when the shell reads the file.
    if (auto folder = ExpandHome(text.substr(0, end))) found = folder;
  }
  return found;
}

}  // namespace

bool IsWritableDirectory(const std::string& folder) {
  std::error_code ec;
  return std::filesystem::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string ConfigHome() {
  if (auto config = Environment("XDG_CONFIG_HOME"); config && config->front() == '/') {
    return WithSlash(*config);
  }
  return WithSlash(HomeDirectory()) + ".config/";
}

std::string DocumentsDirectory() {
  if (auto folder = DocumentsFromUserDirs(ConfigHome() + "user-dirs.dirs")) {
    return WithSlash(*folder);
  }
  if (auto value = Environment("XDG_DOCUMENTS_DIR")) {
    if (auto folder = ExpandHome(*value)) return WithSlash(*folder);
  }
  return WithSlash(HomeDirectory()) + "Documents/";
}

std::string UserSettingsFile() {
  std::string beside = SettingsPathFor(ExecutablePath());
  if (IsWritableDirectory(ExecutableDirectory())) return beside;
  std::string folder = ConfigHome() + "zentab/";
  std::error_code ec;
  // A folder that cannot be made leaves a file that cannot be written: the values are lost.
  std::filesystem::create_directories(folder, ec);
  return folder + FileNameOf(beside);
}

std::string UserReportDirectory() {
  std::string beside = ExecutableDirectory();
  if (IsWritableDirectory(beside)) return beside;
  std::string folder = DocumentsDirectory() + "Zentab/";
  std::error_code ec;
  // When it cannot be made, writing the report fails and names the folder and the reason.
  std::filesystem::create_directories(folder, ec);
  return folder;
}

}  // namespace zentab::platform
