// The private-profile layer: every call reads the whole file afresh, and a write rewrites it
// with only the one line changed or added.
#include "platform/profile.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "platform/paths.h"

namespace zentab::platform {
namespace {

std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The section named by a "[name]" line.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The key of a "key=value" line; comments and lines without "=" have none.
std::optional<std::string_view> KeyOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';' || line.front() == '[') return std::nullopt;
  auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, eq));
}

struct Lines {
  std::vector<std::string> lines;  // without their "\n"; a "\r" before it stays
};

// Reads the file's lines. A missing file has none; a file that exists but cannot be read is
// nullopt.
std::optional<Lines> ReadLines(const std::string& file) {
  Lines result;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec) || ec) return std::nullopt;
    return result;
  }
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return std::nullopt;
  const std::string text = s.str();
  std::size_t start = 0;
  while (start < text.size()) {
    auto nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    result.lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return result;
}

std::optional<std::uint32_t> ParseHex(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + static_cast<std::uint64_t>(d);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<std::string> ReadProfileString(const std::string& file, std::string_view section,
                                             std::string_view key) {
  auto content = ReadLines(file);
  if (!content) return std::nullopt;
  bool inSection = false;
  for (const auto& line : content->lines) {
    if (auto name = SectionOf(line)) {
      // Only the first section of that name is searched, as the key lookup stops there.
      if (inSection) return std::nullopt;
      inSection = SameName(*name, section);
      continue;
    }
    if (!inSection) continue;
    auto k = KeyOf(line);
    if (!k || !SameName(*k, key)) continue;
    std::string_view value = Trim(std::string_view(line).substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::nullopt;
}

bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value) {
  auto content = ReadLines(file);
  if (!content) return false;
  auto& lines = content->lines;
  const bool crlf = !lines.empty() && !lines.front().empty() && lines.front().back() == '\r';
  std::string newLine = std::string(Trim(key)) + "=" + std::string(value) + (crlf ? "\r" : "");

  std::size_t begin = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionOf(lines[i]);
    if (name && SameName(*name, section)) {
      begin = i;
      break;
    }
  }
  if (begin == lines.size()) {
    lines.push_back("[" + std::string(Trim(section)) + "]" + (crlf ? "\r" : ""));
    lines.push_back(newLine);
  } else {
    std::size_t end = begin + 1;
    while (end < lines.size() && !SectionOf(lines[end])) ++end;
    std::size_t insertAt = begin + 1;
    bool replaced = false;
    for (std::size_t i = begin + 1; i < end; ++i) {
      auto k = KeyOf(lines[i]);
      if (k && SameName(*k, key)) {
        lines[i] = newLine;
        replaced = true;
        break;
      }
      if (!Trim(lines[i]).empty()) insertAt = i + 1;
    }
    if (!replaced) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
  }

  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += '\n';
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return !out.fail();
}

std::optional<std::int32_t> ParseProfileInt(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    auto v = ParseHex(text.substr(2));
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(*v);
  }
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!text.empty() && text.front() == '$') {
    auto v = ParseHex(text.substr(1));
    if (!v) return std::nullopt;
    std::uint32_t bits = negative ? 0u - *v : *v;
    return static_cast<std::int32_t>(bits);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) {
      return std::nullopt;
    }
  }
  std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::string SettingsPathFor(std::string_view exePath) {
  std::string ext = ExtensionOf(exePath);
  return std::string(exePath.substr(0, exePath.size() - ext.size())) + ".ini";
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
  auto value = ReadProfileString(fileName_, section, key);
  return value ? *value : std::string(fallback);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t fallback) const {
  auto value = ReadProfileString(fileName_, section, key);
  if (!value) return fallback;
  return ParseProfileInt(*value).value_or(fallback);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return WriteProfileString(fileName_, section, key, value);
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

}  // namespace zentab::platform
