// What the definition document shows, taken from the records once: names and texts ready to
// print, keys and relationships in the shapes the document's sections walk.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "schema/imdb.h"

namespace zentab::report {

// Stored properties as display text, by name.
struct PropertyTexts {
  std::map<std::string, std::string> values;
  std::string Property(const std::string& name) const {
    auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
  }
};

struct FieldView : PropertyTexts {
  std::string name, type, size, defaultValue;
  bool required = false, allowZeroLength = false;
};

struct IndexView {
  std::string name;
  std::vector<std::string> fields;
  std::vector<bool> descending;  // per field
  bool primary = false, unique = false, ignoreNulls = false, required = false, foreign = false;
};

struct TableView : PropertyTexts {
  std::string name, attributes, recordCount, source, created, updated, error, indexesError;
  bool linked = false;
  std::vector<FieldView> fields;
  std::vector<IndexView> indexes;
};

struct RelationView {
  std::string name, table, foreignTable;
  std::vector<std::pair<std::string, std::string>> fields;  // (name in table, in foreignTable)
  bool oneToOne = false, enforced = true, cascadeUpdates = false, cascadeDeletes = false;
};

struct QueryView {
  std::string name, typeName, sql, connect, created, updated, error;
  bool hidden = false;
};

struct ObjectView {
  std::string kind, name, created, updated;
};

struct DatabaseView {
  std::string name, path, format, error, queriesError;
  std::vector<TableView> tables;
  std::vector<RelationView> relations;
  std::vector<QueryView> queries;
  std::vector<ObjectView> objects;
};

DatabaseView ViewOf(const TMdb& mdb);

}  // namespace zentab::report
