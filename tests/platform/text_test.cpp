// CP932 conversion at the edges, byte widths and HTML escaping.
#include "platform/text.h"

#include <gtest/gtest.h>

namespace zentab::platform {
namespace {

TEST(Utf8ToCp932Html, ConvertsJapaneseToShiftJisBytes) {
  EXPECT_EQ(Utf8ToCp932Html("表"), "\x95\x5C");
  EXPECT_EQ(Utf8ToCp932Html("テーブル名"), "\x83\x65\x81\x5B\x83\x75\x83\x8B\x96\xBC");
  EXPECT_EQ(Utf8ToCp932Html("abc<&>"), "abc<&>");
}

TEST(Utf8ToCp932Html, KeepsCharactersThatShiftJisAloneWouldMangle) {
  // Wave dash/full-width tilde, NEC and IBM extensions, and the backslash stay distinct.
  EXPECT_EQ(Utf8ToCp932Html("～"), "\x81\x60");
  EXPECT_EQ(Utf8ToCp932Html("①"), "\x87\x40");
  EXPECT_EQ(Utf8ToCp932Html("㈱"), "\x87\x8A");
  EXPECT_EQ(Utf8ToCp932Html("a\\b~"), "a\\b~");
}

TEST(Utf8ToCp932Html, WritesCharactersCp932LacksAsNumericReferences) {
  EXPECT_EQ(Utf8ToCp932Html("caf\xC3\xA9"), "caf&#233;");
  EXPECT_EQ(Utf8ToCp932Html("\xF0\x9F\x98\x80表"), "&#128512;\x95\x5C");
  EXPECT_EQ(Utf8ToCp932Html("\xC3\xA9\xC3\xA9"), "&#233;&#233;");
}

// Every lead byte range of a three-byte sequence: Hangul syllables and jamo, and ideographs of
// the first extension block, none of which CP932 holds.
TEST(Utf8ToCp932Html, WritesThreeByteCharactersCp932LacksAsTheirCodePoints) {
  struct Case {
    const char* utf8;
    const char* html;
  };
  const Case cases[] = {
      {"\xE1\x84\x80", "&#4352;"},                       // U+1100 HANGUL CHOSEONG KIYEOK
      {"\xE3\x90\x80", "&#13312;"},                      // U+3400, first of extension A
      {"\xE4\xB6\xB5", "&#19893;"},                      // U+4DB5
      {"\xEA\xB0\x80", "&#44032;"},                      // U+AC00 가
      {"\xED\x95\x9C\xEA\xB8\x80", "&#54620;&#44544;"},  // 한글
      {"\xED\x9E\xA3", "&#55203;"},                      // U+D7A3, the last syllable
      {"表\xED\x95\x9C表", "\x95\x5C&#54620;\x95\x5C"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp932Html(c.utf8), c.html) << c.html;
}

TEST(Utf8ToCp932Html, ReplacesMalformedUtf8InsteadOfDroppingText) {
  EXPECT_EQ(Utf8ToCp932Html("a\xFF"
                            "b"),
            "a&#65533;b");
  EXPECT_EQ(Utf8ToCp932Html("a\xE8"), "a&#65533;");
}

struct ConversionCase {
  const char* utf8;
  const char* cp932;
};

// Characters that the CP932 encoder accepts but whose bytes read back as another character are
// kept as references; the characters those bytes do read back as stay bytes.
TEST(Utf8ToCp932Html, WritesOneWayCharactersAsReferences) {
  const ConversionCase cases[] = {
      {"\u00A5", "&#165;"},    // yen sign; 0x5C is the backslash
      {"\u203E", "&#8254;"},   // overline; 0x7E is the tilde
      {"\u301C", "&#12316;"},  // wave dash; 0x81 0x60 is the full-width tilde
      {"\u2016", "&#8214;"},   // double vertical line; 0x81 0x61 is U+2225
      {"\u2212", "&#8722;"},   // minus sign; 0x81 0x7C is U+FF0D
      {"\u2014", "&#8212;"},   // em dash; 0x81 0x5C is U+2015
      {"\u00A2\u00A3\u00AC", "&#162;&#163;&#172;"},
      {"\uFF5E\u2225\uFF0D\u2015", "\x81\x60\x81\x61\x81\x7C\x81\x5C"},
      {"\uFFE0\uFFE1\uFFE2", "\x81\x91\x81\x92\x81\xCA"},
      {"\\~", "\\~"},
      // Overlong forms and surrogates are not characters: one reference per byte.
      {"\xC0\xAF", "&#65533;&#65533;"},
      {"\xED\xA0\x80", "&#65533;&#65533;&#65533;"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp932Html(c.utf8), c.cp932) << c.utf8;
}

TEST(Cp932ToUtf8, RoundTripsAndRejectsInvalidBytes) {
  EXPECT_EQ(Cp932ToUtf8("\x95\x5C\x87\x40"), "表①");
  EXPECT_THROW(Cp932ToUtf8("\x81"), EncodingError);
}

TEST(Cp932Length, CountsDoubleByteCharactersTwice) {
  EXPECT_EQ(Cp932Length(""), 0u);
  EXPECT_EQ(Cp932Length("sales.mdb"), 9u);
  EXPECT_EQ(Cp932Length("顧客台帳.mdb"), 12u);
  EXPECT_EQ(Cp932Length("ｱｲｳ"), 3u);  // half-width katakana are single bytes
  EXPECT_EQ(Cp932Length("caf\xC3\xA9"), 4u);
  // The same table as the report: a one-way character is one substitute byte.
  EXPECT_EQ(Cp932Length("\u301C\u00A5"), 2u);
  EXPECT_EQ(Cp932Length("\uFF5E"), 2u);
}

struct DisplayCase {
  const char* bytes;
  const char* shown;
};

TEST(DisplayText, ShowsNamesSafelyOnATerminal) {
  const DisplayCase cases[] = {
      {"sales.mdb", "sales.mdb"},
      {"顧客.mdb", "顧客.mdb"},
      {"a\x1b[2Jb.mdb", "a\\x1b[2Jb.mdb"},  // an escape sequence is not run
      {"r\r.mdb\n", "r\\x0d.mdb\\x0a"},
      {"del\x7f", "del\\x7f"},
      {"c1\u009b", "c1\\u009b"},
      // Not UTF-8 but CP932, as names from Japanese Windows machines are.
      {"\x95\x5C.mdb", "表.mdb"},
      {"\x83\x65\x81\x5B\x83\x75\x83\x8B.mdb", "テーブル.mdb"},
      // Neither: each bad byte shown by its value.
      {"x\x81", "x\\x81"},
      {"\xFF.mdb", "\\xff.mdb"},
      {"\xEF\xBF\xBD", "\uFFFD"},  // a real U+FFFD stays
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayText(c.bytes), c.shown) << c.bytes;
}

TEST(HtmlEscape, EscapesTheFourSpecialCharacters) {
  EXPECT_EQ(HtmlEscape(R"(<a href="x">&'</a>)"), "&lt;a href=&quot;x&quot;&gt;&amp;'&lt;/a&gt;");
  EXPECT_EQ(HtmlEscape("表"), "表");
}

// The writers that fill room made beforehand: the bytes worked out by hand, never more than
// kHtmlBytesPerByte per byte of input (the worst cases fill the room exactly), nothing written
// past the end they return.
TEST(WriteHtmlEscaped, WritesWithinTheRoomMadeForIt) {
  struct Case {
    std::string_view in;
    std::string_view cp932;
    std::string_view utf8;
  };
  const Case cases[] = {
      {"", "", ""},
      {"Table_1 a-b", "Table_1 a-b", "Table_1 a-b"},
      {R"(<a href="x">&)", "&lt;a href=&quot;x&quot;&gt;&amp;",
       "&lt;a href=&quot;x&quot;&gt;&amp;"},
      {"\\~", "\\~", "\\~"},
      {"表\\", "\x95\x5C\\", "表\\"},
      {"\xFF\xFF", "&#65533;&#65533;", "\xFF\xFF"},  // 8 bytes per byte: the room exactly
      {"\xC3\xA9\"", "&#233;&quot;", "\xC3\xA9&quot;"},
      {"\xF0\x9F\x98\x80", "&#128512;", "\xF0\x9F\x98\x80"},
      {"\xE8\xA1", "&#65533;&#65533;", "\xE8\xA1"},  // a character cut short
  };
  for (const auto& c : cases) {
    const std::size_t room = kHtmlBytesPerByte * c.in.size();
    std::string buffer(room + 4, '#');
    char* end = WriteHtmlEscapedCp932(buffer.data(), c.in);
    EXPECT_EQ(std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.data())),
              c.cp932)
        << c.in;
    EXPECT_EQ(buffer.substr(room), "####") << c.in;
    std::string plain(room + 4, '#');
    end = WriteHtmlEscaped(plain.data(), c.in);
    EXPECT_EQ(std::string_view(plain.data(), static_cast<std::size_t>(end - plain.data())), c.utf8)
        << c.in;
    EXPECT_EQ(plain.substr(room), "####") << c.in;
  }
}

}  // namespace
}  // namespace zentab::platform
