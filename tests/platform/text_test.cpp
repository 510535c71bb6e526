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

TEST(Utf8ToCp932Html, ReplacesMalformedUtf8InsteadOfDroppingText) {
  EXPECT_EQ(Utf8ToCp932Html("a\xFF"
                            "b"),
            "a&#65533;b");
  EXPECT_EQ(Utf8ToCp932Html("a\xE8"), "a&#65533;");
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
}

TEST(HtmlEscape, EscapesTheFourSpecialCharacters) {
  EXPECT_EQ(HtmlEscape(R"(<a href="x">&'</a>)"), "&lt;a href=&quot;x&quot;&gt;&amp;'&lt;/a&gt;");
  EXPECT_EQ(HtmlEscape("表"), "表");
}

}  // namespace
}  // namespace zentab::platform
