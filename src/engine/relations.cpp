// Grouping MSysRelationships rows into relationships, each checked for a complete set of
// column pairs.
#include "engine/relations.h"

#include <algorithm>
#include <map>

#include "engine/mdbformat.h"

namespace zentab::engine {
namespace {

constexpr std::int32_t kMaxColumnPairs = 32;

bool StartsWithFolded(const std::string& name, std::string_view prefix) {
  return LowerCaseKey(name.substr(0, prefix.size())) == LowerCaseKey(prefix);
}

}  // namespace

std::vector<Relationship> GroupRelationships(const std::vector<RelationshipRow>& rows) {
  std::map<std::string, std::vector<const RelationshipRow*>> byName;
  for (const auto& row : rows) byName[row.name].push_back(&row);

  std::vector<Relationship> out;
  for (auto& [name, group] : byName) {
    const RelationshipRow& first = *group.front();
    auto damaged = [&name = name](const std::string& why) {
      return FormatError("relationship '" + name + "' is damaged: " + why);
    };
    if (first.columnCount < 1 || first.columnCount > kMaxColumnPairs) {
      throw damaged("it claims " + std::to_string(first.columnCount) + " column pairs");
    }
    if (group.size() != static_cast<std::size_t>(first.columnCount)) {
      throw damaged("it claims " + std::to_string(first.columnCount) + " column pairs but has " +
                    std::to_string(group.size()) + " rows");
    }
    Relationship relation;
    relation.name = name;
    relation.table = first.table;
    relation.foreignTable = first.foreignTable;
    relation.attributes = first.attributes;
    relation.fields.resize(group.size());
    std::vector<bool> seen(group.size(), false);
    for (const RelationshipRow* row : group) {
      if (row->table != first.table || row->foreignTable != first.foreignTable ||
          row->attributes != first.attributes || row->columnCount != first.columnCount) {
        throw damaged("its rows disagree on its tables, attributes or column count");
      }
      if (row->columnIndex < 0 || row->columnIndex >= first.columnCount ||
          seen[static_cast<std::size_t>(row->columnIndex)]) {
        throw damaged("column pair " + std::to_string(row->columnIndex) +
                      " is out of range or repeated");
      }
      seen[static_cast<std::size_t>(row->columnIndex)] = true;
      relation.fields[static_cast<std::size_t>(row->columnIndex)] = {row->column,
                                                                     row->foreignColumn};
    }
    relation.system =
        StartsWithFolded(name, "MSysNavPane") || (StartsWithFolded(relation.table, "MSys") &&
                                                  StartsWithFolded(relation.foreignTable, "MSys"));
    out.push_back(std::move(relation));
  }
  std::vector<std::pair<std::string, Relationship>> keyed;
  for (auto& relation : out) keyed.emplace_back(LowerCaseKey(relation.name), std::move(relation));
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second.name < b.second.name;
  });
  out.clear();
  for (auto& [key, relation] : keyed) out.push_back(std::move(relation));
  return out;
}

}  // namespace zentab::engine
