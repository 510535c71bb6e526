// Relationships as MSysRelationships stores them (docs/FORMAT.md, "MSysRelationships"): one
// row per column pair, grouped here into the relations the engine presents.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zentab::engine {

struct RelationshipRow {
  std::string name;              // szRelationship
  std::int32_t attributes = 0;   // grbit
  std::int32_t columnCount = 0;  // ccolumn
  std::int32_t columnIndex = 0;  // icolumn
  std::string foreignTable;      // szObject, the many side
  std::string foreignColumn;     // szColumn
  std::string table;             // szReferencedObject, the one side
  std::string column;            // szReferencedColumn
};

struct Relationship {
  std::string name;
  std::string table;
  std::string foreignTable;
  std::int32_t attributes = 0;
  std::vector<std::pair<std::string, std::string>> fields;  // (name in table, in foreignTable)
  // The navigation pane's own relationships, or one between two system tables.
  bool system = false;
};

// Groups the rows by relationship name (exact), orders each relationship's column pairs by
// icolumn, and the relationships by name ignoring case. Throws FormatError when the rows of a
// relationship disagree on its tables, attributes or count, or do not hold each pair exactly
// once.
std::vector<Relationship> GroupRelationships(const std::vector<RelationshipRow>& rows);

}  // namespace zentab::engine
