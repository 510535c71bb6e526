// The attribute and type name tables. Row order is the order texts appear in.
#include "schema/names.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

namespace zentab {
namespace {

struct AttributeRow {
  std::uint32_t mask;
  const char* text;
};

// Mask 1 appears twice on purpose: a fixed-size field is also reported as sorted descending.
constexpr std::array kFieldAttributes{
    AttributeRow{0x00000001, ",サイズ固定"},
    AttributeRow{0x00000002, ",サイズ可変"},
    AttributeRow{0x00000010, ",オートナンバー"},
    AttributeRow{0x00000020, ",フィールド値変更可能"},
    AttributeRow{0x00002000, ",レプリケーション情報を含む"},
    AttributeRow{0x00008000, ",ハイパーリンク情報を含む"},
    AttributeRow{0x00000001, ",降順ソート"},
};

constexpr std::array kTableAttributes{
    AttributeRow{0x00010000, ",排他モードで開いたリンクテーブル"},
    AttributeRow{0x00020000, ",ユーザーIDとパスワードが接続情報と共に保存されるリモートテーブル"},
    AttributeRow{0x80000002, ",システムテーブル"},
    AttributeRow{0x00000001, ",非表示のテーブル"},
    AttributeRow{0x40000000, ",非ODBCデータソースのリンクテーブル"},
    AttributeRow{0x20000000, ",ODBCデータソースのリンクテーブル"},
};

template <std::size_t N>
std::string ComposeAttributes(std::int32_t attributes, const std::array<AttributeRow, N>& rows) {
  std::string text;
  auto bits = static_cast<std::uint32_t>(attributes);
  for (const auto& row : rows) {
    if (bits & row.mask) text += row.text;
  }
  if (!text.empty()) text.erase(0, 1);
  return text;
}

constexpr std::array<std::pair<std::int32_t, const char*>, 21> kTypeNames{{
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
}};

// The bits any row of kFieldAttributes tests.
constexpr std::uint32_t kFieldAttributeBits = [] {
  std::uint32_t bits = 0;
  for (const auto& row : kFieldAttributes) bits |= row.mask;
  return bits;
}();

// Attribute bits, of those kFieldAttributeBits holds, packed next to each other: the attribute
// text is the same for all values with the same packed bits.
std::size_t PackFieldAttributes(std::uint32_t value) {
  std::size_t packed = 0;
  std::size_t i = 0;
  for (std::uint32_t bits = kFieldAttributeBits; bits != 0; bits &= bits - 1, ++i) {
    if (value & bits & (~bits + 1)) packed |= std::size_t{1} << i;
  }
  return packed;
}

}  // namespace

const std::string& FieldAttributesText(std::int32_t attributes) {
  // Every text made once, from the value that holds just its bits.
  using Texts = std::array<std::string, std::size_t{1} << std::popcount(kFieldAttributeBits)>;
  static const Texts kTexts = [] {
    Texts texts;
    std::uint32_t value = 0;
    // Every value made of kFieldAttributeBits alone, from 0 up.
    do {
      texts[PackFieldAttributes(value)] =
          ComposeAttributes(static_cast<std::int32_t>(value), kFieldAttributes);
      value = (value - kFieldAttributeBits) & kFieldAttributeBits;
    } while (value != 0);
    return texts;
  }();
  return kTexts[PackFieldAttributes(static_cast<std::uint32_t>(attributes))];
}

std::string TableAttributesText(std::int32_t attributes) {
  return ComposeAttributes(attributes, kTableAttributes);
}

std::string FieldTypeName(std::int32_t typeCode) {
  // The names by their codes, empty for codes without one.
  static const auto kByCode = [] {
    constexpr std::int32_t kLargest = std::max_element(kTypeNames.begin(), kTypeNames.end())->first;
    std::array<std::string, kLargest + 1> names;
    for (const auto& [code, text] : kTypeNames) names[static_cast<std::size_t>(code)] = text;
    return names;
  }();
  const auto at = static_cast<std::size_t>(typeCode);
  if (typeCode >= 0 && at < kByCode.size() && !kByCode[at].empty()) return kByCode[at];
  return "UnKnown(" + std::to_string(typeCode) + ")";
}

std::string_view QueryTypeName(std::int32_t type) {
  switch (type) {
    case 0:
      return "選択クエリ";
    case 16:
      return "クロス集計クエリ";
    case 32:
      return "削除クエリ";
    case 48:
      return "更新クエリ";
    case 64:
      return "追加クエリ";
    case 80:
      return "テーブル作成クエリ";
    case 96:
      return "データ定義クエリ";
    case 112:
      return "パススルークエリ";
    case 128:
      return "ユニオンクエリ";
    default:
      return "";
  }
}

}  // namespace zentab
