// The in-memory test engine.
#include "fakes/memory_engine.h"

namespace zentab::fakes {

FieldSnapshot MakeField(const FieldSpec& spec, const std::string& tableName) {
  FieldSnapshot f;
  f.properties.Set("AllowZeroLength", spec.allowZeroLength);
  f.properties.Set("Attributes", spec.attributes);
  f.properties.Set("DefaultValue", spec.defaultValue);
  f.properties.Set("Name", spec.name);
  f.properties.Set("OrdinalPosition", spec.ordinal);
  f.properties.Set("Required", spec.required);
  f.properties.Set("Size", spec.size);
  f.properties.Set("SourceField", spec.sourceField.empty() ? spec.name : spec.sourceField);
  f.properties.Set("SourceTable", spec.sourceTable.empty() ? tableName : spec.sourceTable);
  f.properties.Set("Type", spec.type);
  return f;
}

TableSnapshot MakeTable(const TableSpec& spec) {
  TableSnapshot t;
  t.properties.Set("Attributes", spec.attributes);
  t.properties.Set("DateCreated", spec.dateCreated);
  t.properties.Set("LastUpdated", spec.lastUpdated);
  t.properties.Set("Name", spec.name);
  t.properties.Set("RecordCount", spec.recordCount);
  t.properties.Set("SourceTableName", spec.sourceTableName);
  for (const auto& field : spec.fields) t.fields.push_back(MakeField(field, spec.name));
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
