// Attribute texts and type names, table-driven.
#include "schema/names.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace zentab {
namespace {

struct Case {
  std::int32_t value;
  const char* text;
};

TEST(FieldAttributesText, ComposesSetBitsInTableOrder) {
  const Case cases[] = {
      {0, ""},
      {1, "サイズ固定,降順ソート"},
      {2, "サイズ可変"},
      {3, "サイズ固定,サイズ可変,降順ソート"},
      {16, "オートナンバー"},
      {32, "フィールド値変更可能"},
      {8192, "レプリケーション情報を含む"},
      {32768, "ハイパーリンク情報を含む"},
      {2 | 16 | 32768, "サイズ可変,オートナンバー,ハイパーリンク情報を含む"},
      {4, ""},
      {0x10000, ""},
      {4 | 0x10000 | 0x40, ""},
      {0x20 | 0x2000 | 0x4 | 0x40000000, "フィールド値変更可能,レプリケーション情報を含む"},
      {-1,
       "サイズ固定,サイズ可変,オートナンバー,フィールド値変更可能,レプリケーション情報を含む,"
       "ハイパーリンク情報を含む,降順ソート"},
  };
  for (const auto& c : cases) EXPECT_EQ(FieldAttributesText(c.value), c.text) << c.value;
}

// The texts handed out are kept: one taken earlier still holds its own text after others.
TEST(FieldAttributesText, KeepsTextsHandedOutEarlier) {
  const std::string& fixed = FieldAttributesText(1);
  const std::string& variable = FieldAttributesText(2 | 0x40);
  for (std::int32_t bits : {0, 3, 16, -1, 1, 2}) FieldAttributesText(bits);
  EXPECT_EQ(fixed, "サイズ固定,降順ソート");
  EXPECT_EQ(variable, "サイズ可変");
}

TEST(TableAttributesText, ComposesSetBitsInTableOrder) {
  const Case cases[] = {
      {0, ""},
      {2, "システムテーブル"},
      {static_cast<std::int32_t>(0x80000000u), "システムテーブル"},
      {static_cast<std::int32_t>(0x80000003u), "システムテーブル,非表示のテーブル"},
      {1, "非表示のテーブル"},
      {8, ""},
      {0x60000000, "非ODBCデータソースのリンクテーブル,ODBCデータソースのリンクテーブル"},
      {0x00010000, "排他モードで開いたリンクテーブル"},
      {0x40000000, "非ODBCデータソースのリンクテーブル"},
      {0x20000000, "ODBCデータソースのリンクテーブル"},
      {0x00020000, "ユーザーIDとパスワードが接続情報と共に保存されるリモートテーブル"},
      {0x10000000 | 0x04000000 | 0x4, ""},
      {0x00020000 | 0x20000000,
       "ユーザーIDとパスワードが接続情報と共に保存されるリモートテーブル,"
       "ODBCデータソースのリンクテーブル"},
  };
  for (const auto& c : cases) EXPECT_EQ(TableAttributesText(c.value), c.text) << c.value;
}

TEST(FieldTypeName, NamesEveryKnownCodeAndMarksOthersUnknown) {
  const Case cases[] = {
      {1, "ブール型(Boolean)"},
      {2, "バイト型(Byte)"},
      {3, "整数型(Integer)"},
      {4, "長整数型(Long)"},
      {5, "通貨型(Currency)"},
      {6, "単精度浮動小数点数型(Single)"},
      {7, "倍精度浮動小数点数型(Double)"},
      {8, "日付/時刻型(Date/Time)"},
      {9, "バイナリ型(Binary)"},
      {10, "テキスト型(Text)"},
      {11, "ロングバイナリ型(LongBinary)-OLEオブジェクト型(OLE Object)"},
      {12, "メモ型(Memo)"},
      {15, "GUID型(GUID)"},
      {16, "Big Integer 型 (Big Integer)"},
      {17, "可変長バイナリ型(VarBinary)"},
      {18, "CHAR型(Char)"},
      {19, "Numeric型(Numeric)"},
      {20, "10進型(Decimal)"},
      {21, "浮動小数点数型(Float)"},
      {22, "時刻型(Time)"},
      {23, "タイムスタンプ型(TimeStamp)"},
      {0, "UnKnown(0)"},
      {13, "UnKnown(13)"},
      {14, "UnKnown(14)"},
      {24, "UnKnown(24)"},
      {-1, "UnKnown(-1)"},
      {-18, "UnKnown(-18)"},
      {INT32_MIN, "UnKnown(-2147483648)"},
  };
  for (const auto& c : cases) EXPECT_EQ(FieldTypeName(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace zentab
