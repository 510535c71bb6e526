// The in-memory test engine.
#include "fakes/memory_engine.h"

namespace zentab::fakes {

FieldSnapshot MakeField(const FieldSpec& field, const std::string& tableName) {
  FieldSnapshot f;
  f.properties.Set("AllowZeroLength", field.allowZeroLength);
  f.properties.Set("Attributes", field.attributes);
  f.properties.Set("DefaultValue", field.defaultValue);
  f.properties.Set("Name", field.name);
  f.properties.Set("OrdinalPosition", field.ordinal);
  f.properties.Set("Required", field.required);
  f.properties.Set("Size", field.size);
  f.properties.Set("SourceField", field.sourceField.empty() ? field.name : field.sourceField);
  f.properties.Set("SourceTable", field.sourceTable.empty() ? tableName : field.sourceTable);
  f.properties.Set("Type", field.type);
  return f;
}

TableSnapshot MakeTable(const TableSpec& table) {
  TableSnapshot t;
  t.properties.Set("Attributes", table.attributes);
  t.properties.Set("DateCreated", table.dateCreated);
  t.properties.Set("LastUpdated", table.lastUpdated);
  t.properties.Set("Name", table.name);
  t.properties.Set("RecordCount", table.recordCount);
  t.properties.Set("SourceTableName", table.sourceTableName);
  t.properties.Set("Connect", std::string());
  for (const auto& field : table.fields) t.fields.push_back(MakeField(field, table.name));
  return t;
}

TableSnapshot SalesOrdersTable(std::int32_t idAttributes) {
  return MakeTable(
      TableSpec{.name = "Orders",
                .recordCount = 120,
                .fields = {{.name = "ID",
                            .type = 4,
                            .size = 4,
                            .ordinal = 0,
                            .attributes = idAttributes,
                            .required = true,
                            .defaultValue = "0"},
                           {.name = "Customer", .ordinal = 1, .allowZeroLength = true}}});
}

MemoryEngine::MemoryEngine() {
  RegisterEngineFactory(kEngineProgId, [this] {
    return MakeSnapshotEngine([this](const std::string& path) {
      std::lock_guard lock(mutex_);
      ++opens_;
      if (auto f = openFailures_.find(path); f != openFailures_.end()) {
        throw AutomationError(f->second);
      }
      auto it = databases_.find(path);
      if (it == databases_.end()) throw AutomationError("Could not find file '" + path + "'.");
      return it->second;
    });
  });
}

MemoryEngine::~MemoryEngine() {
  RegisterEngineFactory(kEngineProgId, {});
}

void MemoryEngine::Add(const std::string& path, DatabaseSnapshot db) {
  std::lock_guard lock(mutex_);
  databases_[path] = std::make_shared<const DatabaseSnapshot>(std::move(db));
}

void MemoryEngine::FailOpen(const std::string& path, const std::string& message) {
  std::lock_guard lock(mutex_);
  openFailures_[path] = message;
}

int MemoryEngine::OpenCount() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

}  // namespace zentab::fakes
