// CP932 conversion: one table from code point to CP932 bytes, built once from glibc iconv, that
// holds exactly the characters whose bytes decode back to themselves; display text for names.
#include "platform/text.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

  // Converts all of in, appending to out. Returns false when in holds a sequence the source
  // does not form or the target cannot hold; throws EncodingError on any other failure.
  bool Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[512];
    bool flushed = false;
    while (!flushed) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      flushed = srcLeft == 0;
      std::size_t rc = flushed ? iconv(cd_, nullptr, nullptr, &dst, &dstLeft)
                               : iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      // errno is taken before anything else can change it.
      int err = rc == static_cast<std::size_t>(-1) ? errno : 0;
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (err == EILSEQ || err == EINVAL) return false;
      if (err == E2BIG) {
        flushed = false;
      } else if (err != 0) {
        throw EncodingError(std::string("conversion failed: ") + std::strerror(err));
      }
    }
    return true;
  }

 private:
  iconv_t cd_;
};

// What CP932 holds of the Basic Multilingual Plane (nothing beyond it): per code point the
// byte (below 0x100) or the byte pair (lead << 8 | trail), kAbsent when it has none that
// decodes back to the same code point.
constexpr std::uint16_t kAbsent = 0xFFFF;
using Cp932Table = std::array<std::uint16_t, 0x10000>;

// A stretch of iconv's work over items laid end to end in one buffer: how many items it took
// whole, how many output units it made, and whether it stopped at an item it refuses.
struct Stretch {
  std::size_t taken = 0;
  std::size_t units = 0;
  bool aligned = true;  // every item taken was taken whole
  bool refused = false;
};

Stretch RunIconv(iconv_t cd, const char* in, std::size_t inBytes, std::size_t itemBytes, char* out,
                 std::size_t outBytes, std::size_t unitBytes) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* src = const_cast<char*>(in);
  std::size_t srcLeft = inBytes;
  char* dst = out;
  std::size_t dstLeft = outBytes;
  std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  int err = rc == static_cast<std::size_t>(-1) ? errno : 0;
  Stretch r;
  std::size_t consumed = inBytes - srcLeft;
  r.taken = consumed / itemBytes;
  r.units = (outBytes - dstLeft) / unitBytes;
  r.aligned = consumed % itemBytes == 0 && (outBytes - dstLeft) % unitBytes == 0;
  r.refused = err == EILSEQ || err == EINVAL;
  if (err != 0 && !r.refused) r.aligned = false;  // out of room or worse: redone item by item
  return r;
}

// Decodes one CP932 sequence as one code point; returns false when it is not exactly one.
bool DecodeCp932(iconv_t cd, const unsigned char* bytes, std::size_t n, char32_t& cp) {
  std::uint32_t out[2] = {0, 0};
  Stretch r = RunIconv(cd, reinterpret_cast<const char*>(bytes), n, n, reinterpret_cast<char*>(out),
                       sizeof out, sizeof out[0]);
  if (r.refused || !r.aligned || r.taken != 1 || r.units != 1) return false;
  cp = out[0];
  return true;
}

// Encodes one code point; returns the packed bytes or kAbsent.
std::uint16_t EncodeCp932(iconv_t cd, char32_t cp) {
  std::uint32_t in = cp;
  unsigned char out[4];
  Stretch r = RunIconv(cd, reinterpret_cast<const char*>(&in), sizeof in, sizeof in,
                       reinterpret_cast<char*>(out), sizeof out, 1);
  if (r.refused || !r.aligned || r.taken != 1) return kAbsent;
  if (r.units == 1) return out[0];
  if (r.units == 2 && out[0] >= 0x81) return static_cast<std::uint16_t>(out[0] << 8 | out[1]);
  return kAbsent;
}

// What each of count sequences of width bytes (laid end to end) decodes to, kNone where it is
// not exactly one code point. One conversion covers every sequence up to the next one iconv
// refuses; a stretch that does not make exactly one code point of each sequence is redone
// one sequence at a time.
void DecodeAll(iconv_t cd, const unsigned char* in, std::size_t count, std::size_t width,
               char32_t* cps, char32_t none) {
  std::vector<std::uint32_t> out(count + 1);
  std::size_t i = 0;
  while (i < count) {
    Stretch r = RunIconv(cd, reinterpret_cast<const char*>(in + i * width), (count - i) * width,
                         width, reinterpret_cast<char*>(out.data()), out.size() * 4, 4);
    if (!r.aligned || r.units != r.taken) {
      for (; i < count; ++i) {
        char32_t cp = 0;
        cps[i] = DecodeCp932(cd, in + i * width, width, cp) ? cp : none;
      }
      return;
    }
    for (std::size_t k = 0; k < r.taken; ++k) cps[i + k] = out[k];
    i += r.taken;
    if (r.refused) cps[i++] = none;
  }
}

// The packed CP932 bytes of each code point in cps (kAbsent where it has none of one byte or
// of a lead byte and a trail byte). One conversion covers every code point up to the next one
// iconv refuses; the output is split by lead bytes, and a stretch that does not split into one
// character per code point is redone one code point at a time.
void EncodeAll(iconv_t cd, const std::vector<std::uint32_t>& cps, std::vector<std::uint16_t>& out) {
  out.assign(cps.size(), kAbsent);
  std::vector<unsigned char> bytes(cps.size() * 4 + 8);
  std::size_t i = 0;
  while (i < cps.size()) {
    Stretch r = RunIconv(cd, reinterpret_cast<const char*>(cps.data() + i), (cps.size() - i) * 4, 4,
                         reinterpret_cast<char*>(bytes.data()), bytes.size(), 1);
    std::size_t k = 0;
    std::size_t at = 0;
    bool split = r.aligned;
    for (; split && k < r.taken && at < r.units; ++k) {
      unsigned lead = bytes[at];
      bool pair = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
      if (pair && at + 1 >= r.units) split = false;
      if (!split) break;
      out[i + k] = pair ? static_cast<std::uint16_t>(lead << 8 | bytes[at + 1])
                        : static_cast<std::uint16_t>(lead);
      at += pair ? 2 : 1;
    }
    if (!split || k != r.taken || at != r.units) {
      for (; i < cps.size(); ++i) out[i] = EncodeCp932(cd, cps[i]);
      return;
    }
    i += r.taken;
    if (r.refused) ++i;  // stays kAbsent
  }
}

// Every byte and byte pair CP932 decodes is tried; a code point it yields enters the table
// when the encoder writes it back as bytes that decode to that same code point. The
// conversions go through iconv in long stretches: one call per character would take several
// milliseconds at every start.
std::unique_ptr<Cp932Table> BuildTable() {
  iconv_t decoder = iconv_open("UTF-32LE", "CP932");
  iconv_t encoder = iconv_open("CP932", "UTF-32LE");
  if (decoder == reinterpret_cast<iconv_t>(-1) || encoder == reinterpret_cast<iconv_t>(-1)) {
    if (decoder != reinterpret_cast<iconv_t>(-1)) iconv_close(decoder);
    if (encoder != reinterpret_cast<iconv_t>(-1)) iconv_close(encoder);
    throw EncodingError("no CP932 converter on this system");
  }
  // What each byte or byte pair decodes to, by its packed form (a lead byte is 0x81 or more,
  // so pairs never collide with single bytes); kNone where it decodes to nothing.
  constexpr char32_t kNone = 0xFFFFFFFF;
  auto decodedFrom = std::make_unique<std::array<char32_t, 0x10000>>();
  decodedFrom->fill(kNone);
  auto seen = std::make_unique<std::array<bool, 0x10000>>();
  seen->fill(false);
  std::vector<unsigned char> singles(0x100);
  std::vector<unsigned char> pairs;
  for (unsigned b = 0; b < 0x100; ++b) singles[b] = static_cast<unsigned char>(b);
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead >= 0xA0 && lead <= 0xDF) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      pairs.insert(pairs.end(),
                   {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)});
    }
  }
  auto note = [&](const std::vector<unsigned char>& all, std::size_t width) {
    std::vector<char32_t> cps(all.size() / width);
    DecodeAll(decoder, all.data(), cps.size(), width, cps.data(), kNone);
    for (std::size_t k = 0; k < cps.size(); ++k) {
      if (cps[k] == kNone || cps[k] > 0xFFFF) continue;
      const unsigned char* bytes = all.data() + k * width;
      auto packed = static_cast<std::uint16_t>(width == 1 ? bytes[0] : bytes[0] << 8 | bytes[1]);
      (*decodedFrom)[packed] = cps[k];
      (*seen)[cps[k]] = true;
    }
  };
  note(singles, 1);
  note(pairs, 2);
  // Only a code point some bytes decode to can come back; it does when the encoder's bytes
  // for it are bytes that decode to it.
  std::vector<std::uint32_t> candidates;
  for (char32_t cp = 0; cp < 0x10000; ++cp) {
    if ((*seen)[cp]) candidates.push_back(cp);
  }
  std::vector<std::uint16_t> encoded;
  EncodeAll(encoder, candidates, encoded);
  auto table = std::make_unique<Cp932Table>();
  table->fill(kAbsent);
  for (std::size_t k = 0; k < candidates.size(); ++k) {
    std::uint16_t packed = encoded[k];
    if (packed != kAbsent && (*decodedFrom)[packed] == candidates[k]) {
      (*table)[candidates[k]] = packed;
    }
  }
  iconv_close(decoder);
  iconv_close(encoder);
  return table;
}

// The table, and per byte whether a run of such bytes goes out as it is: bytes below 0x80 that
// the table holds as that same single byte (read from the table, not assumed); the escaping
// variant leaves out the four characters HTML escapes.
struct Cp932Tables {
  std::unique_ptr<Cp932Table> table;
  std::array<bool, 0x100> copies{};
  std::array<bool, 0x100> copiesEscaped{};
};

bool EscapedInHtml(unsigned char b) {
  return b == '&' || b == '<' || b == '>' || b == '"';
}

Cp932Tables BuildTables() {
  Cp932Tables t;
  t.table = BuildTable();
  for (unsigned b = 0; b < 0x80; ++b) {
    t.copies[b] = (*t.table)[b] == b;
    t.copiesEscaped[b] = t.copies[b] && !EscapedInHtml(static_cast<unsigned char>(b));
  }
  // Markup, entities and numeric references are written as ASCII without looking them up.
  for (unsigned b = 0x20; b < 0x7F; ++b) {
    if (b != '\\' && b != '~' && !t.copies[b]) {
      throw EncodingError("the system's CP932 converter changes ASCII characters");
    }
  }
  return t;
}

const Cp932Tables& Tables() {
  static const Cp932Tables tables = BuildTables();
  return tables;
}

// Decodes one UTF-8 character at p (p < end); returns its code point and sets len, or returns
// U+FFFD with len 1 for a byte that does not start a well-formed sequence (overlong forms,
// surrogates and values above U+10FFFF included).
[[gnu::always_inline]] inline char32_t DecodeAt(const unsigned char* p, const unsigned char* end,
                                                std::size_t& len) {
  const unsigned lead = p[0];
  len = 1;
  if (lead < 0x80) return lead;
  std::size_t n = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    n = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    n = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    n = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return U'\uFFFD';
  }
  if (static_cast<std::size_t>(end - p) < n) return U'\uFFFD';
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned c = p[k];
    if ((c & 0xC0) != 0x80) return U'\uFFFD';
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return U'\uFFFD';
  len = n;
  return cp;
}

// DecodeAt for the character at text[pos].
char32_t DecodeOne(std::string_view text, std::size_t pos, std::size_t& len) {
  const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
  return DecodeAt(begin + pos, begin + text.size(), len);
}

// Writes "&#<decimal>;" at out and returns its end: at most 10 bytes for a code point.
char* WriteReference(char* out, char32_t cp) {
  char digits[8];
  char* d = digits;
  auto v = static_cast<std::uint32_t>(cp);
  do {
    *d++ = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  *out++ = '&';
  *out++ = '#';
  while (d != digits) *out++ = *--d;
  *out++ = ';';
  return out;
}

std::string_view HtmlEntity(unsigned char b) {
  switch (b) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return "&quot;";
  }
}

// Writes the conversion of [p, end) at out and returns its end, escaping first when kEscape;
// out has room for kHtmlBytesPerByte bytes per byte of input. A byte that goes out as it is
// costs one table lookup and one store.
template <bool kEscape>
char* WriteConverted(char* out, const unsigned char* p, const unsigned char* const end) {
  const Cp932Tables& t = Tables();
  const Cp932Table& table = *t.table;
  const std::array<bool, 0x100>& copies = kEscape ? t.copiesEscaped : t.copies;
  while (p < end) {
    if (copies[*p]) {
      *out++ = static_cast<char>(*p++);
      continue;
    }
    if (kEscape && EscapedInHtml(*p)) {
      // The entities are ASCII the table holds as themselves, like every copied byte.
      const std::string_view entity = HtmlEntity(*p++);
      std::memcpy(out, entity.data(), entity.size());
      out += entity.size();
      continue;
    }
    std::size_t len = 1;
    const char32_t cp = DecodeAt(p, end, len);
    const std::uint16_t packed = cp < 0x10000 ? table[cp] : kAbsent;
    if (packed == kAbsent) {
      out = WriteReference(out, cp);
    } else if (packed < 0x100) {
      *out++ = static_cast<char>(packed);
    } else {
      *out++ = static_cast<char>(packed >> 8);
      *out++ = static_cast<char>(packed & 0xFF);
    }
    p += len;
  }
  return out;
}

// Where a piece of at most kPieceBytes bytes from p may end without cutting a character in two:
// before the lead byte of a sequence that would reach past the cut. A byte that does not start
// well-formed UTF-8 converts the same at the end of a piece as before the rest of the text.
constexpr std::size_t kPieceBytes = 1024;

const unsigned char* PieceEnd(const unsigned char* p, const unsigned char* end) {
  if (static_cast<std::size_t>(end - p) <= kPieceBytes) return end;
  const unsigned char* cut = p + kPieceBytes;
  for (const unsigned char* q = cut - 1; q >= cut - 3; --q) {
    if ((*q & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t n = *q >= 0xF0 ? 4 : *q >= 0xE0 ? 3 : *q >= 0xC0 ? 2 : 1;
    return q + n > cut ? q : cut;
  }
  return cut;
}

// The conversion appended to a string piece by piece through a buffer on the stack, so that a
// long text never needs room for its longest conversion at once.
template <bool kEscape>
void AppendConverted(std::string& out, std::string_view utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = p + utf8.size();
  char buffer[kPieceBytes * kHtmlBytesPerByte];
  while (p < end) {
    const unsigned char* pieceEnd = PieceEnd(p, end);
    const char* written = WriteConverted<kEscape>(buffer, p, pieceEnd);
    out.append(buffer, static_cast<std::size_t>(written - buffer));
    p = pieceEnd;
  }
}

void AppendHex(std::string& out, unsigned char b) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 0x0F];
}

}  // namespace

std::string Utf8ToCp932Html(std::string_view utf8) {
  std::string result;
  result.reserve(utf8.size());
  AppendUtf8ToCp932Html(result, utf8);
  return result;
}

void AppendUtf8ToCp932Html(std::string& out, std::string_view utf8) {
  AppendConverted<false>(out, utf8);
}

void AppendHtmlEscapedCp932(std::string& out, std::string_view utf8) {
  AppendConverted<true>(out, utf8);
}

char* WriteHtmlEscapedCp932(char* out, std::string_view utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  return WriteConverted<true>(out, p, p + utf8.size());
}

std::string Cp932ToUtf8(std::string_view cp932) {
  Iconv conv("UTF-8", "CP932");
  std::string out;
  if (!conv.Convert(cp932, out)) throw EncodingError("text is not valid CP932");
  return out;
}

std::size_t Cp932Length(std::string_view utf8) {
  const Cp932Tables& t = Tables();
  const Cp932Table& table = *t.table;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = p + utf8.size();
  std::size_t n = 0;
  while (p < end) {
    if (t.copies[*p]) {
      ++n;
      ++p;
      continue;
    }
    std::size_t len = 1;
    const char32_t cp = DecodeAt(p, end, len);
    const std::uint16_t packed = cp < 0x10000 ? table[cp] : kAbsent;
    n += packed != kAbsent && packed >= 0x100 ? 2 : 1;
    p += len;
  }
  return n;
}

std::string NameAsUtf8(std::string_view bytes) {
  bool wellFormed = true;
  for (std::size_t pos = 0, len = 1; pos < bytes.size() && wellFormed; pos += len) {
    wellFormed = !(DecodeOne(bytes, pos, len) == U'\uFFFD' && len == 1);
  }
  if (!wellFormed) {
    try {
      return Cp932ToUtf8(bytes);
    } catch (const EncodingError&) {
      // Neither UTF-8 nor CP932: the bytes as they are.
    }
  }
  return std::string(bytes);
}

std::string DisplayText(std::string_view bytes) {
  const std::string source = NameAsUtf8(bytes);
  std::string out;
  out.reserve(source.size());
  for (std::size_t pos = 0, len = 1; pos < source.size(); pos += len) {
    char32_t cp = DecodeOne(source, pos, len);
    if ((cp == U'\uFFFD' && len == 1) || cp < 0x20 || cp == 0x7F) {
      AppendHex(out, static_cast<unsigned char>(source[pos]));
    } else if (cp >= 0x80 && cp < 0xA0) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(cp));
      out += buffer;
    } else {
      out.append(source.substr(pos, len));
    }
  }
  return out;
}

char* WriteHtmlEscaped(char* out, std::string_view text) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (!EscapedInHtml(b)) {
      *out++ = c;
      continue;
    }
    const std::string_view entity = HtmlEntity(b);
    std::memcpy(out, entity.data(), entity.size());
    out += entity.size();
  }
  return out;
}

void AppendHtmlEscaped(std::string& out, std::string_view text) {
  std::size_t from = 0;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (!EscapedInHtml(b)) continue;
    out.append(text.substr(from, pos - from));
    out.append(HtmlEntity(b));
    from = pos + 1;
  }
  out.append(text.substr(from));
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendHtmlEscaped(out, text);
  return out;
}

}  // namespace zentab::platform
