// Display texts for field types, for field and table attribute bits and for query types.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zentab {

// The text for a field's attribute bits; a reference to a text kept for the program's life.
const std::string& FieldAttributesText(std::int32_t attributes);
std::string TableAttributesText(std::int32_t attributes);
std::string FieldTypeName(std::int32_t typeCode);
// The Japanese name of a saved query's type (a QueryDef's Type: 0 選択クエリ, 16 クロス集計クエリ,
// 32 削除クエリ, 48 更新クエリ, 64 追加クエリ, 80 テーブル作成クエリ, 96 データ定義クエリ,
// 112 パススルークエリ, 128 ユニオンクエリ); empty for any other value.
std::string_view QueryTypeName(std::int32_t type);

}  // namespace zentab
