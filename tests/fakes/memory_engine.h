// A test engine registered as "DAO.DBEngine.36": databases are snapshots built in the test,
// keyed by path, with any property read, count or close set to fail.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "schema/reader.h"
#include "schema/snapshot.h"

namespace zentab::fakes {

// Builds a field with every property the reader asks for.
struct FieldSpec {
  std::string name;
  std::int32_t type = 10;
  std::int32_t size = 50;
  std::int32_t ordinal = 0;
  std::int32_t attributes = 2;
  bool allowZeroLength = false;
  bool required = false;
  std::string defaultValue;
  std::string sourceTable;  // empty: the table's name
  std::string sourceField;  // empty: the field's name
};

FieldSnapshot MakeField(const FieldSpec& field, const std::string& tableName);

struct TableSpec {
  std::string name;
  std::int32_t attributes = 0;
  Variant dateCreated = Variant(Variant::Date{37636.43090277778});  // 2003/01/15 10:20:30
  Variant lastUpdated = Variant(Variant::Date{37653.37847222222});  // 2003/02/01 9:05:00
  std::int32_t recordCount = 0;
  std::string sourceTableName;
  std::vector<FieldSpec> fields;
};

TableSnapshot MakeTable(const TableSpec& table);

// The worked example's table: Orders, 120 records, an ID field (Long, required, default 0,
// with the given attribute bits) and a Customer field (Text 50, zero length allowed).
TableSnapshot SalesOrdersTable(std::int32_t idAttributes = 0);

// While alive, the engine registered as "DAO.DBEngine.36" serves the databases added here;
// opening any other path fails with "Could not find file '<path>'.".
class MemoryEngine {
 public:
  MemoryEngine();
  ~MemoryEngine();
  MemoryEngine(const MemoryEngine&) = delete;
  MemoryEngine& operator=(const MemoryEngine&) = delete;

  void Add(const std::string& path, DatabaseSnapshot db);
  // Opening path fails with message.
  void FailOpen(const std::string& path, const std::string& message);
  int OpenCount() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<const DatabaseSnapshot>> databases_;
  std::map<std::string, std::string> openFailures_;
  int opens_ = 0;
};

}  // namespace zentab::fakes
