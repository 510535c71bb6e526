// The CP932 converter against a slow reference built here from its stated rules: each UTF-8
// character is encoded by iconv on its own and kept as bytes only when those bytes decode back
// to it; anything else is its numeric reference, and each byte that does not start well-formed
// UTF-8 is U+FFFD's. Inputs cross between ASCII runs and other characters in every way.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"

namespace zentab::platform {
namespace {

// One character converted by iconv alone: the bytes, or empty when CP932 has none that read
// back as this same character.
class ReferenceEncoder {
 public:
  ReferenceEncoder()
      : encode_(iconv_open("CP932", "UTF-32LE")), decode_(iconv_open("UTF-32LE", "CP932")) {}
  ~ReferenceEncoder() {
    iconv_close(encode_);
    iconv_close(decode_);
  }

  std::string Bytes(char32_t cp) {
    std::uint32_t in = cp;
    char out[8];
    if (!Run(encode_, reinterpret_cast<char*>(&in), sizeof in, out, sizeof out)) return {};
    std::string bytes(out, written_);
    std::uint32_t back[2] = {0, 0};
    if (!Run(decode_, bytes.data(), bytes.size(), reinterpret_cast<char*>(back), sizeof back))
      return {};
    if (written_ != sizeof(std::uint32_t) || back[0] != cp) return {};
    return bytes;
  }

 private:
  bool Run(iconv_t cd, char* in, std::size_t inSize, char* out, std::size_t outSize) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::size_t inLeft = inSize;
    std::size_t outLeft = outSize;
    char* dst = out;
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) return false;
    written_ = outSize - outLeft;
    return inLeft == 0;
  }

  iconv_t encode_;
  iconv_t decode_;
  std::size_t written_ = 0;
};

// The UTF-8 decoding rules: the shortest form of a scalar value up to U+10FFFF, else one bad
// byte.
char32_t Decode(const std::string& s, std::size_t at, std::size_t& len) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[at + k]); };
  len = 1;
  const unsigned lead = b(0);
  std::size_t n = lead < 0x80                    ? 1
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (n == 0 || at + n > s.size()) return 0xFFFD;
  if (n == 1) return lead;
  char32_t cp = lead & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0xFFFD;
    cp = cp << 6 | (b(k) & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  len = n;
  return cp;
}

struct Reference {
  std::string html;
  std::size_t width = 0;
};

Reference Convert(ReferenceEncoder& enc, const std::string& s) {
  Reference r;
  for (std::size_t at = 0, len = 1; at < s.size(); at += len) {
    const char32_t cp = Decode(s, at, len);
    const std::string bytes = enc.Bytes(cp);
    r.html += bytes.empty() ? "&#" + std::to_string(cp) + ";" : bytes;
    r.width += bytes.size() == 2 ? 2 : 1;
  }
  return r;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
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

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(Cp932Conversion, MatchesTheReferenceOnEveryKindOfRun) {
  const std::string cases[] = {
      "",
      "plain ASCII, digits 0123456789 and marks !#$%'()*+,-./:;=?@[]^_`{|}",
      std::string("controls \x01\t\r\n\x1f\x7f and a NUL \0 inside", 32),
      "\\ and ~ stay the bytes 0x5C and 0x7E",
      "表",
      "abc表",
      "表abc",
      "a表b表c",
      "テーブル名テーブル名",
      "ｱｲｳ half-width katakana",
      "caf\xC3\xA9 \xF0\x9F\x98\x80 \xED\x95\x9C",   // é, an emoji, Hangul: references
      "\u00A5\u203E\u301C\u2016\u2212\u2014",        // read back as another character
      "\uFF5E\u2225\uFF0D\u2015\uFFE0\uFFE1\uFFE2",  // the characters those bytes are
      "\x80 lone continuation",
      "truncated at the end \xE8\x80",
      "truncated before ASCII \xE8\x80x",
      "\xC0\xAF overlong, \xED\xA0\x80 surrogate, \xF4\x90\x80\x80 beyond U+10FFFF",
      "\xF8\x88\x80\x80\x80 \xFF\xFE",
      "\xE3<\xE3&\xE3\"\xE3>",  // a bad byte just before each escaped character
      R"(<a href="x">&amp;表&'"</a>)",
      Repeat("\xC3\xA9", 200),  // references that fill the gathering buffer
      Repeat("表", 300) + "z",  // double bytes that fill it
      Repeat("x", 5000) + "表" + Repeat("y", 5000),
      Repeat("a\xC3\xA9<表", 150),
  };
  ReferenceEncoder enc;
  // The reference itself, by hand: a double byte, ASCII as itself, a one-way character.
  ASSERT_EQ(enc.Bytes(U'表'), "\x95\x5C");
  ASSERT_EQ(enc.Bytes(U'\\'), "\\");
  ASSERT_EQ(enc.Bytes(U'~'), "~");
  ASSERT_EQ(enc.Bytes(U'\u00A5'), "");
  for (const auto& text : cases) {
    const Reference plain = Convert(enc, text);
    EXPECT_EQ(Utf8ToCp932Html(text), plain.html) << text;
    EXPECT_EQ(Cp932Length(text), plain.width) << text;

    const Reference escaped = Convert(enc, Escape(text));
    std::string out = "kept ";
    AppendHtmlEscapedCp932(out, text);
    EXPECT_EQ(out, "kept " + escaped.html) << text;

    std::string utf8 = "kept ";
    AppendHtmlEscaped(utf8, text);
    EXPECT_EQ(utf8, "kept " + Escape(text)) << text;
  }
}

// Long texts are converted a kilobyte or so at a time: characters of every length, bytes that
// are not UTF-8 and escaped characters fall on every position around each cut, shifted by
// ASCII in front.
TEST(Cp932Conversion, MatchesTheReferenceInLongTexts) {
  const std::string bodies[] = {
      Repeat("表", 1000),
      Repeat("\xC3\xA9", 1500),
      Repeat("\xF0\x9F\x98\x80", 800),
      Repeat("\x80", 2100),                     // continuation bytes alone
      Repeat("\xF0\x9F\x98\x80\x80\x80", 600),  // each sequence followed by two stray bytes
      Repeat("\xE8\xA1", 1100),                 // sequences one byte short
      Repeat("\"<表&", 500),
  };
  ReferenceEncoder enc;
  for (const auto& body : bodies) {
    for (int shift = 0; shift < 4; ++shift) {
      const std::string text = std::string(static_cast<std::size_t>(shift), 'a') + body;
      EXPECT_EQ(Utf8ToCp932Html(text), Convert(enc, text).html)
          << shift << " " << body.substr(0, 8);
      std::string escaped;
      AppendHtmlEscapedCp932(escaped, text);
      EXPECT_EQ(escaped, Convert(enc, Escape(text)).html) << shift << " " << body.substr(0, 8);
    }
  }
}

// A view that ends inside a character, with the rest of it right behind the view's end: the
// bytes behind are not read.
TEST(Cp932Conversion, StopsAtTheEndOfAView) {
  const std::string whole = "a\xE8\xA1\xA8\xF0\x9F\x98\x80";  // a, 表, an emoji
  EXPECT_EQ(Utf8ToCp932Html(std::string_view(whole).substr(0, 3)), "a&#65533;&#65533;");
  EXPECT_EQ(Utf8ToCp932Html(std::string_view(whole).substr(0, 7)),
            "a\x95\x5C&#65533;&#65533;&#65533;");
  EXPECT_EQ(Cp932Length(std::string_view(whole).substr(0, 3)), 3u);
  std::string out;
  AppendHtmlEscapedCp932(out, std::string_view(whole).substr(4, 3));
  EXPECT_EQ(out, "&#65533;&#65533;&#65533;");
}

// Every character of the Basic Multilingual Plane and a few beyond, each between two ASCII
// letters, in one text: the table and its runs agree with the reference character by character.
TEST(Cp932Conversion, MatchesTheReferenceForEveryCodePoint) {
  ReferenceEncoder enc;
  // Each character between two ASCII letters, as UTF-32 made UTF-8 by iconv.
  std::vector<std::uint32_t> utf32;
  for (char32_t cp = 1; cp < 0x10000; ++cp) {
    if (cp < 0xD800 || cp > 0xDFFF) utf32.insert(utf32.end(), {'a', cp, 'b'});
  }
  utf32.insert(utf32.end(), {0x10000, 0x20B9F, 0x10FFFF});
  std::string text(utf32.size() * 4, '\0');
  iconv_t toUtf8 = iconv_open("UTF-8", "UTF-32LE");
  char* in = reinterpret_cast<char*>(utf32.data());
  char* out = text.data();
  std::size_t inLeft = utf32.size() * 4;
  std::size_t outLeft = text.size();
  ASSERT_NE(iconv(toUtf8, &in, &inLeft, &out, &outLeft), static_cast<std::size_t>(-1));
  iconv_close(toUtf8);
  text.resize(text.size() - outLeft);
  const Reference plain = Convert(enc, text);
  const std::string html = Utf8ToCp932Html(text);
  const auto diff = std::mismatch(html.begin(), html.end(), plain.html.begin(), plain.html.end());
  const auto at = static_cast<std::size_t>(diff.first - html.begin());
  EXPECT_TRUE(html == plain.html) << "first difference at byte " << at << ": "
                                  << html.substr(at > 20 ? at - 20 : 0, 40);
  EXPECT_EQ(Cp932Length(text), plain.width);
}

}  // namespace
}  // namespace zentab::platform
