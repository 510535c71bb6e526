// Text at the system's edges: the program holds UTF-8; the report and byte-width
// computations use code page 932 (a table built once from glibc iconv "CP932"); names shown on
// a terminal are made safe to print.
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

// Converts UTF-8 to CP932, one table lookup per character; a run of ASCII that CP932 holds as
// the same bytes is copied whole. A character CP932 cannot hold, or holds only as bytes that
// read back as another character (the yen sign, the wave dash and the like), becomes an HTML
// numeric character reference ("&#233;"), so the report shows what the text holds. Each byte that
// does not start well-formed UTF-8 becomes U+FFFD's reference. Throws EncodingError only when the
// system has no CP932 converter to build the table from, or one that does not hold printable
// ASCII (the backslash and the tilde aside) as the same bytes.
std::string Utf8ToCp932Html(std::string_view utf8);

// The same conversion appended to out, for text converted piece by piece; pieces must not cut a
// character in two.
void AppendUtf8ToCp932Html(std::string& out, std::string_view utf8);

// The same as AppendUtf8ToCp932Html(out, HtmlEscape(utf8)), in one pass.
void AppendHtmlEscapedCp932(std::string& out, std::string_view utf8);

// The most bytes the escaping conversion and the escaping alone make of one byte of input
// ("&#65533;" for a byte that does not start well-formed UTF-8).
inline constexpr std::size_t kHtmlBytesPerByte = 8;

// AppendHtmlEscapedCp932 written at out, which has room for kHtmlBytesPerByte bytes per byte of
// utf8; returns the end of what was written.
char* WriteHtmlEscapedCp932(char* out, std::string_view utf8);

// Converts CP932 bytes to UTF-8; throws EncodingError on bytes that are not CP932.
std::string Cp932ToUtf8(std::string_view cp932);

// The number of bytes the text takes in CP932, by the same table as Utf8ToCp932Html. A
// character the table lacks counts one byte, as the single substitute character it would
// become on a CP932 system.
std::size_t Cp932Length(std::string_view utf8);

// A file name as UTF-8: bytes that are not UTF-8 are read as CP932 when they form valid CP932
// (names from Japanese Windows machines); otherwise the bytes are returned as they are.
std::string NameAsUtf8(std::string_view bytes);

// A file name or message made safe for a terminal line: bytes that are not UTF-8 are read as
// CP932 when they form valid CP932; control characters become \x1b (C1 controls \u009b), and
// bytes that are neither become \xNN.
std::string DisplayText(std::string_view bytes);

// Escapes &, <, > and " for HTML text and attribute values.
std::string HtmlEscape(std::string_view text);

// The same escaping appended to out.
void AppendHtmlEscaped(std::string& out, std::string_view text);

// The same escaping written at out, which has room for kHtmlBytesPerByte bytes per byte of
// text; returns the end of what was written.
char* WriteHtmlEscaped(char* out, std::string_view text);

}  // namespace zentab::platform
