// CP932 conversion over glibc iconv, one converter per call so threads never share state.
#include "platform/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace zentab::platform {
namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw EncodingError(std::string("no converter from ") + from + " to " + to);
    }
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts in, appending to out. Returns the number of input bytes consumed: all of in, or
  // the offset of the first sequence the target cannot hold or the source does not form.
  std::size_t Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[512];
    while (srcLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) break;
    }
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    return in.size() - srcLeft;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence starting with lead byte b, or 0 when b cannot start one.
std::size_t Utf8SequenceLength(unsigned char b) {
  if (b < 0x80) return 1;
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if ((b & 0xF8) == 0xF0) return 4;
  return 0;
}

// Decodes one UTF-8 character at text[pos]; returns its code point and sets len, or returns
// U+FFFD with len 1 for a malformed sequence.
char32_t DecodeOne(std::string_view text, std::size_t pos, std::size_t& len) {
  auto lead = static_cast<unsigned char>(text[pos]);
  len = Utf8SequenceLength(lead);
  if (len == 0 || pos + len > text.size()) {
    len = 1;
    return U'\uFFFD';
  }
  if (len == 1) return lead;
  char32_t cp = lead & (0x7F >> len);
  for (std::size_t k = 1; k < len; ++k) {
    auto c = static_cast<unsigned char>(text[pos + k]);
    if ((c & 0xC0) != 0x80) {
      len = 1;
      return U'\uFFFD';
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  return cp;
}

// Calls emit(converted run, bad character bytes, bad code point) for each run of characters
// CP932 holds, each followed by the one character it does not (empty at the end).
template <typename Emit>
void WalkCp932(std::string_view utf8, Emit emit) {
  Iconv conv("CP932", "UTF-8");
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    std::string out;
    std::string_view rest = utf8.substr(pos);
    std::size_t good = conv.Convert(rest, out);
    if (good == rest.size()) {
      emit(out, std::string_view{}, U'\0');
      return;
    }
    std::size_t len = 0;
    char32_t bad = DecodeOne(rest, good, len);
    emit(out, rest.substr(good, len), bad);
    pos += good + len;
  }
}

}  // namespace

std::string Utf8ToCp932Html(std::string_view utf8) {
  std::string result;
  result.reserve(utf8.size());
  WalkCp932(utf8, [&](const std::string& converted, std::string_view badBytes, char32_t bad) {
    result += converted;
    if (!badBytes.empty()) {
      result += "&#" + std::to_string(static_cast<std::uint32_t>(bad)) + ";";
    }
  });
  return result;
}

std::string Cp932ToUtf8(std::string_view cp932) {
  Iconv conv("UTF-8", "CP932");
  std::string out;
  if (conv.Convert(cp932, out) != cp932.size()) throw EncodingError("text is not valid CP932");
  return out;
}

std::size_t Cp932Length(std::string_view utf8) {
  std::size_t n = 0;
  WalkCp932(utf8, [&](const std::string& converted, std::string_view badBytes, char32_t) {
    n += converted.size() + (badBytes.empty() ? 0 : 1);
  });
  return n;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace zentab::platform
