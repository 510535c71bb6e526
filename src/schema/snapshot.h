// A database's design held in memory, and an engine that serves the late-bound object model
// from such snapshots. The real engine fills snapshots from database files; tests build them
// by hand, with any property read set to fail.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "schema/automation.h"

namespace zentab {

// One property as read: its value, or the message of the failure to read it.
struct PropertyRead {
  Variant value;
  std::optional<std::string> error;

  bool operator==(const PropertyRead&) const = default;
};

// Properties by name, in the order they were set; lookup ignores case.
class PropertySet {
 public:
  void Reserve(std::size_t n) { items_.reserve(n); }
  void Set(std::string name, Variant value);
  void Fail(std::string name, std::string message);
  const PropertyRead* Find(std::string_view name) const;
  const std::vector<std::pair<std::string, PropertyRead>>& Items() const { return items_; }

  bool operator==(const PropertySet&) const = default;

 private:
  PropertyRead& Slot(std::string name);
  std::vector<std::pair<std::string, PropertyRead>> items_;
};

struct FieldSnapshot {
  PropertySet properties;

  bool operator==(const FieldSnapshot&) const = default;
};

struct TableSnapshot {
  PropertySet properties;
  std::vector<FieldSnapshot> fields;
  // Set when the table's field collection cannot be read (a link whose source is missing).
  std::optional<std::string> fieldsError;

  bool operator==(const TableSnapshot&) const = default;
};

struct DatabaseSnapshot {
  std::vector<TableSnapshot> tables;
  // Set when the table collection cannot be read.
  std::optional<std::string> tablesError;
  // Set when closing the database fails.
  std::optional<std::string> closeError;

  bool operator==(const DatabaseSnapshot&) const = default;
};

// Opens the database at path (exactly as the caller gave it) and returns its snapshot; throws
// AutomationError with the reason when it cannot be opened.
using DatabaseOpener =
    std::function<std::shared_ptr<const DatabaseSnapshot>(const std::string& path)>;

// An engine object: Workspaces(0).OpenDatabase(path, false, false) calls opener, and every
// TableDefs/Fields/property call of the database it returns is served from the snapshot.
ObjectRef MakeSnapshotEngine(DatabaseOpener opener);

}  // namespace zentab
