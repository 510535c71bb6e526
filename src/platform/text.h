// Text at the system's edges: the program holds UTF-8; the report and byte-width
// computations use code page 932 (glibc iconv "CP932").
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zentab::platform {

class EncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Converts UTF-8 to CP932. A character CP932 cannot hold becomes an HTML numeric character
// reference ("&#233;") so that nothing is lost in the report. Invalid UTF-8 bytes become
// U+FFFD's reference.
std::string Utf8ToCp932Html(std::string_view utf8);

// Converts CP932 bytes to UTF-8; throws EncodingError on bytes that are not CP932.
std::string Cp932ToUtf8(std::string_view cp932);

// The number of bytes the text takes in CP932. A character CP932 cannot hold counts one
// byte, as the single substitute character it would become on a CP932 system.
std::size_t Cp932Length(std::string_view utf8);

// Escapes &, <, > and " for HTML text and attribute values.
std::string HtmlEscape(std::string_view text);

}  // namespace zentab::platform
