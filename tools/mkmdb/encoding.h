// Text and date encodings of the file: names and text in UTF-16LE (Jet 4) or in the
// database's code page (Jet 3, converted with glibc iconv), and OLE automation dates.
#pragma once

#include <iconv.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mkmdb/mkmdb.h"

namespace zentab::mkmdb {

// A text that the file's encoding cannot hold (or that is not valid UTF-8).
class EncodingError : public std::runtime_error {
  using runtime_error::runtime_error;
};

class TextEncoder {
 public:
  // Throws DescriptionError when glibc has no converter for the code page.
  TextEncoder(JetVersion version, int codePage);
  ~TextEncoder();
  TextEncoder(const TextEncoder&) = delete;
  TextEncoder& operator=(const TextEncoder&) = delete;

  // UTF-8 in, the file's bytes out. Throws EncodingError naming the character that failed.
  std::string Encode(std::string_view utf8) const;

  // The iconv name of the Jet 3 code page ("CP932").
  static std::string CodePageName(int codePage);

 private:
  iconv_t cd_;
};

// Parses "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" (a 'T' may stand for the
// space) into an OLE automation date: days since 1899-12-30, the time of day as the fraction
// (for days before that date the fraction counts away from zero). Years 100 to 9999.
std::optional<double> ParseLocalDateTime(std::string_view text);

}  // namespace zentab::mkmdb
