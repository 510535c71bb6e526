// The schema records: what is learnt about one database, one table definition and one field.
// Plain values; texts are UTF-8 exactly as the engine gave them (no HTML escaping).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zentab {

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

  bool operator==(const TTableDef&) const = default;
};

struct TMdb {
  std::string Name;
  std::uint32_t StartTick = 0;
  std::uint32_t EndTick = 0;
  std::vector<TTableDef> TableDefs;
  std::string ErrorMessage;

  bool operator==(const TMdb&) const = default;
};

}  // namespace zentab
