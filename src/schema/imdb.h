// The schema records: what is learnt about one database, one table definition and one field.
// Plain values; texts are UTF-8 exactly as the engine gave them (no HTML escaping).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "schema/automation.h"

namespace zentab {

// A property stored with an object, with the value as stored (Boolean, integer, number, date
// or text); ErrorMessage is set when it could not be read.
struct TProperty {
  std::string Name;
  Variant Value;
  std::string ErrorMessage;

  bool operator==(const TProperty&) const = default;
};

struct TIndexField {
  std::string Name;
  std::int32_t Attributes = 0;  // 1: descending

  bool operator==(const TIndexField&) const = default;
};

struct TIndex {
  std::string Name;
  bool Primary = false;
  bool Unique = false;
  bool IgnoreNulls = false;
  bool Required = false;
  bool Foreign = false;
  bool Clustered = false;
  std::vector<TIndexField> Fields;

  bool operator==(const TIndex&) const = default;
};

struct TRelationField {
  std::string Name;         // in Table
  std::string ForeignName;  // in ForeignTable

  bool operator==(const TRelationField&) const = default;
};

struct TRelation {
  std::string Name;
  std::string Table;         // the one side
  std::string ForeignTable;  // the many side
  std::int32_t Attributes = 0;
  std::vector<TRelationField> Fields;

  bool operator==(const TRelation&) const = default;
};

struct TQueryDef {
  std::string Name;
  std::int32_t Type = 0;
  std::string SQL;
  bool Hidden = false;  // kept out of sight: a form's or control's record source, or flagged hidden
  std::optional<double> DateCreated;  // automation dates; none for Null
  std::optional<double> LastUpdated;
  std::vector<TProperty> Properties;
  std::string ErrorMessage;
  std::string Connect;  // a pass-through query's ODBC connect string; "" for other queries

  bool operator==(const TQueryDef&) const = default;
};

// A form, report, macro or module.
struct TDocument {
  std::string Kind;  // "form", "report", "macro" or "module"
  std::string Name;
  std::optional<double> DateCreated;
  std::optional<double> LastUpdated;
  std::string ErrorMessage;

  bool operator==(const TDocument&) const = default;
};

struct TTableDefField {
  bool AllowZeroLength = false;
  std::string Attributes;
  std::string DefaultValue;
  std::string Name;
  std::int32_t OrdinalPosition = 0;
  bool Required = false;
  std::int32_t Size = 0;
  std::string SourceField;
  std::string SourceTable;
  std::string TypeName;
  std::string ErrorMessage;
  // Beyond the fixed report: the codes behind TypeName and Attributes, and the stored
  // properties (PropertiesError set when they cannot be read).
  std::int32_t Type = 0;
  std::int32_t AttributeBits = 0;
  std::vector<TProperty> Properties;
  std::string PropertiesError;

  bool operator==(const TTableDefField&) const = default;
};

struct TTableDef {
  std::string Attributes;
  std::string DateCreated;
  std::string LastUpdated;
  std::string Name;
  std::int32_t RecordCount = 0;
  std::string SourceTableName;
  std::vector<TTableDefField> Fields;
  std::string ErrorMessage;
  // Beyond the fixed report.
  std::int32_t AttributeBits = 0;
  std::optional<double> DateCreatedValue;  // automation dates; none for Null
  std::optional<double> LastUpdatedValue;
  std::string Connect;
  std::vector<TProperty> Properties;
  std::string PropertiesError;
  std::vector<TIndex> Indexes;
  std::string IndexesError;

  bool operator==(const TTableDef&) const = default;
};

struct TMdb {
  std::string Name;
  std::uint32_t StartTick = 0;
  std::uint32_t EndTick = 0;
  std::vector<TTableDef> TableDefs;
  std::string ErrorMessage;
  // Beyond the fixed report.
  std::string Path;     // as the job was given it
  std::string Version;  // the engine's format version ("4.0", "12.0", ...); empty if unknown
  std::vector<TRelation> Relations;
  std::vector<TRelation> SystemRelations;
  std::string RelationsError;
  std::vector<TQueryDef> QueryDefs;
  std::string QueryDefsError;
  std::vector<TDocument> Documents;  // by kind, then by name
  std::string DocumentsError;

  bool operator==(const TMdb&) const = default;
};

}  // namespace zentab
