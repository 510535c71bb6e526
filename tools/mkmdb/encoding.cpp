// Text conversion through glibc iconv and the civil-date to OLE-date arithmetic.
#include "mkmdb/encoding.h"

#include <cerrno>
#include <cstdint>

namespace zentab::mkmdb {

TextEncoder::TextEncoder(JetVersion version, int codePage) {
  const std::string target = version == JetVersion::kJet4 ? "UTF-16LE" : CodePageName(codePage);
  cd_ = iconv_open(target.c_str(), "UTF-8");
  if (cd_ == reinterpret_cast<iconv_t>(-1)) {
    throw DescriptionError("codePage " + std::to_string(codePage) +
                           ": this system has no converter for " + target);
  }
}

TextEncoder::~TextEncoder() {
  iconv_close(cd_);
}

std::string TextEncoder::CodePageName(int codePage) {
  return "CP" + std::to_string(codePage);
}

std::string TextEncoder::Encode(std::string_view utf8) const {
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state for every text
  std::string out(utf8.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd_, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      const std::size_t at = utf8.size() - inLeft;
      // Show the character that failed: the UTF-8 sequence starting at the failure.
      std::size_t length = 1;
      while (at + length < utf8.size() &&
             (static_cast<unsigned char>(utf8[at + length]) & 0xC0) == 0x80) {
        ++length;
      }
      throw EncodingError(errno == EILSEQ || errno == EINVAL
                              ? "character \"" + std::string(utf8.substr(at, length)) +
                                    "\" at byte " + std::to_string(at) +
                                    " cannot be stored in this file's text encoding"
                              : "text conversion failed");
    }
  }
  if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
    throw EncodingError("text conversion failed");
  }
  out.resize(out.size() - outLeft);
  return out;
}

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Reads exactly `width` digits at text[pos].
std::optional<int> Digits(std::string_view text, std::size_t pos, std::size_t width) {
  if (pos + width > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<double> ParseLocalDateTime(std::string_view text) {
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (text.size() != 10 && text.size() != 16 && text.size() != 19) return std::nullopt;
  const auto year = Digits(text, 0, 4);
  const auto month = Digits(text, 5, 2);
  const auto day = Digits(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  int hour = 0, minute = 0, second = 0;
  if (text.size() > 10) {
    const auto h = Digits(text, 11, 2);
    const auto mi = Digits(text, 14, 2);
    if ((text[10] != ' ' && text[10] != 'T') || text[13] != ':' || !h || !mi) return std::nullopt;
    hour = *h;
    minute = *mi;
    if (text.size() == 19) {
      const auto s = Digits(text, 17, 2);
      if (text[16] != ':' || !s) return std::nullopt;
      second = *s;
    }
  }
  if (*year < 100 || *month < 1 || *month > 12 || *day < 1 || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;
  }
  const int monthDays = kDaysInMonth[*month - 1] + (*month == 2 && IsLeap(*year) ? 1 : 0);
  if (*day > monthDays) return std::nullopt;
  const std::int64_t days =
      DaysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)) -
      DaysFromCivil(1899, 12, 30);
  const double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

}  // namespace zentab::mkmdb
