// The index section of a table definition (docs/FORMAT.md, "Index section"): real-index
// entries, logical-index entries and index names, decoded into the indexes the engine presents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/mdbformat.h"

namespace zentab::engine {

struct IndexColumn {
  std::string name;
  bool descending = false;
};

// One logical index: what the engine presents as an Index.
struct IndexDefinition {
  std::string name;
  std::uint8_t indexType = 0;  // 1 primary key, 2 relationship, 0 other
  bool primary = false;
  bool unique = false;
  bool ignoreNulls = false;
  bool required = false;
  bool foreign = false;
  std::vector<IndexColumn> columns;
};

// Decodes the index section that follows the column names of a joined table definition
// (table is what ParseTableDefinition made of the same bytes). Indexes keep their stored
// order. Throws FormatError when an entry, a name or a column reference lies outside the
// definition or refers to what is not there.
std::vector<IndexDefinition> ParseIndexSection(Bytes tdef, const TableDefinition& table, bool jet3,
                                               const TextDecoder& decode);

// Indexes ordered by name, ignoring case (ties by the names themselves).
void SortIndexes(std::vector<IndexDefinition>& indexes);

}  // namespace zentab::engine
