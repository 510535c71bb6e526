// Decoding of a table definition's index section, every count, offset and reference checked
// against the definition before use.
#include "engine/indexdef.h"

#include <algorithm>

namespace zentab::engine {
namespace {

constexpr std::size_t kMaxKeyColumns = 10;
constexpr std::uint16_t kUnusedColumn = 0xFFFF;
constexpr std::uint8_t kAscending = 0x01;
constexpr std::uint8_t kUniqueFlag = 0x01;
constexpr std::uint8_t kIgnoreNullsFlag = 0x02;
constexpr std::uint8_t kRequiredFlag = 0x08;
constexpr std::uint8_t kPrimaryKeyType = 1;
constexpr std::uint8_t kForeignKeyType = 2;
// Far more than any table may have; a larger count is damage, not a table.
constexpr std::uint32_t kMaxIndexes = 1000;

struct Layout {
  std::size_t realSize;       // one real-index entry
  std::size_t realColumnsAt;  // its ten (column number, order) pairs
  std::size_t realFlagsAt;
  std::size_t logicalSize;  // one logical-index entry
  std::size_t logicalRealAt;
  std::size_t logicalSideAt;  // which side of a relationship a foreign-key entry stands for
  std::size_t logicalTypeAt;
};

constexpr Layout kJet3{39, 0, 38, 20, 4, 8, 19};
constexpr Layout kJet4{52, 4, 46, 28, 8, 12, 23};
// A foreign-key entry on the one side of a relationship (a hidden ".r…" index): the key it
// backs is in the other table.
constexpr std::uint8_t kReferencedSide = 1;

struct RealIndex {
  std::uint8_t flags = 0;
  std::vector<IndexColumn> columns;
};

}  // namespace

std::vector<IndexDefinition> ParseIndexSection(Bytes tdef, const TableDefinition& table, bool jet3,
                                               const TextDecoder& decode) {
  const Layout& layout = jet3 ? kJet3 : kJet4;
  const std::uint32_t realCount = table.realIndexCount;
  const std::uint32_t logicalCount = table.logicalIndexCount;
  if (realCount > kMaxIndexes || logicalCount > kMaxIndexes) {
    throw FormatError("the table definition claims " + std::to_string(realCount) + " real and " +
                      std::to_string(logicalCount) + " logical indexes");
  }
  std::size_t pos = table.indexSectionAt;
  const std::size_t fixedBytes = realCount * layout.realSize + logicalCount * layout.logicalSize;
  if (pos > tdef.size() || tdef.size() - pos < fixedBytes) {
    throw FormatError("the index section of " + std::to_string(realCount) + " real and " +
                      std::to_string(logicalCount) +
                      " logical indexes runs past the table definition");
  }

  // The columns by number, the first of a number where several share it; made only when
  // there are real indexes to resolve.
  std::vector<std::pair<std::uint16_t, const ColumnDefinition*>> byNumber;
  if (realCount > 0) {
    byNumber.reserve(table.columns.size());
    for (const auto& column : table.columns) byNumber.emplace_back(column.number, &column);
    std::stable_sort(byNumber.begin(), byNumber.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }

  std::vector<RealIndex> reals(realCount);
  for (std::uint32_t i = 0; i < realCount; ++i) {
    Bytes entry = tdef.subspan(pos, layout.realSize);
    RealIndex& real = reals[i];
    real.flags = entry[layout.realFlagsAt];
    for (std::size_t k = 0; k < kMaxKeyColumns; ++k) {
      std::size_t at = layout.realColumnsAt + 3 * k;
      std::uint16_t number = ReadU16(entry, at);
      if (number == kUnusedColumn) continue;
      auto it =
          std::lower_bound(byNumber.begin(), byNumber.end(), number,
                           [](const auto& entry, std::uint16_t n) { return entry.first < n; });
      if (it == byNumber.end() || it->first != number) {
        throw FormatError("real index " + std::to_string(i) + " refers to column number " +
                          std::to_string(number) + ", which the table does not have");
      }
      real.columns.push_back({it->second->name, entry[at + 2] != kAscending});
    }
    pos += layout.realSize;
  }

  std::vector<IndexDefinition> indexes(logicalCount);
  for (std::uint32_t i = 0; i < logicalCount; ++i) {
    Bytes entry = tdef.subspan(pos, layout.logicalSize);
    std::uint32_t realNumber = ReadU32(entry, layout.logicalRealAt);
    if (realNumber >= realCount) {
      throw FormatError("logical index " + std::to_string(i) + " refers to real index " +
                        std::to_string(realNumber) + " of " + std::to_string(realCount));
    }
    const RealIndex& real = reals[realNumber];
    IndexDefinition& index = indexes[i];
    index.indexType = entry[layout.logicalTypeAt];
    index.primary = index.indexType == kPrimaryKeyType;
    index.foreign =
        index.indexType == kForeignKeyType && entry[layout.logicalSideAt] != kReferencedSide;
    // A primary key is unique and required whatever its real index's flags say.
    index.unique = index.primary || (real.flags & kUniqueFlag) != 0;
    index.required = index.primary || (real.flags & kRequiredFlag) != 0;
    index.ignoreNulls = (real.flags & kIgnoreNullsFlag) != 0;
    index.columns = real.columns;
    pos += layout.logicalSize;
  }

  for (std::uint32_t i = 0; i < logicalCount; ++i) {
    indexes[i].name = ReadDefinitionName(tdef, pos, jet3, decode, "an index name");
  }
  return indexes;
}

void SortIndexes(std::vector<IndexDefinition>& indexes) {
  std::vector<std::pair<std::string, IndexDefinition>> keyed;
  keyed.reserve(indexes.size());
  for (auto& index : indexes) keyed.emplace_back(LowerCaseKey(index.name), std::move(index));
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second.name < b.second.name;
  });
  for (std::size_t i = 0; i < indexes.size(); ++i) indexes[i] = std::move(keyed[i].second);
}

}  // namespace zentab::engine
