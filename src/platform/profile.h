// Private-profile (INI) files, read and written one value at a time with no copy kept in
// memory, and the settings file that sits beside the executable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentab::platform {

// The value of key in section, or nullopt when the file, the section or the key is missing or
// the file cannot be read. Section and key names match without regard to ASCII case and to
// blanks around them; blanks around the value and one pair of matching quotes enclosing it are
// dropped. Lines starting with ";" are comments. The first matching section and key win.
std::optional<std::string> ReadProfileString(const std::string& file, std::string_view section,
                                             std::string_view key);

// Sets key in section to value and keeps every other line of the file as it was. An existing
// key is rewritten in place; a new key goes after the last non-blank line of its section; a
// missing section is appended at the end of the file, and a missing file is created. New lines
// end like the file's first line (CR LF or LF). Returns false when the file cannot be read or
// written; the file is then unchanged as far as the system allows.
bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value);

// Reads a settings integer: a text longer than two characters that begins with "0x" or "0X" is
// hexadecimal; otherwise an optional sign followed by decimal digits, or by "$" and hexadecimal
// digits. Hexadecimal values up to FFFFFFFF wrap into the signed range. Anything else,
// including a value outside the 32-bit range, gives nullopt.
std::optional<std::int32_t> ParseProfileInt(std::string_view text);

// The settings file of the executable at exePath: its extension replaced by ".ini", or ".ini"
// appended when the file name has none.
std::string SettingsPathFor(std::string_view exePath);

// One settings file: typed reads that fall back to a default and writes that report failure
// only through their result.
class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // ParseProfileInt of the value; fallback when missing or invalid.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t fallback) const;
  // An integer value; anything but 0 is true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Decimal, with a minus sign when negative.
  bool WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  // "1" or "0".
  bool WriteBool(std::string_view section, std::string_view key, bool value);

 private:
  std::string fileName_;
};

}  // namespace zentab::platform
