// A database's design held in memory, and an engine that serves the late-bound object model
// from such snapshots. The real engine fills snapshots from database files; tests build them
// by hand, with any property read set to fail.
#pragma once

#include <cstdint>
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
  // Set for a name the caller knows is not in the set yet (spares the search).
  void Append(std::string name, Variant value) {
    items_.emplace_back(std::move(name), PropertyRead{std::move(value), std::nullopt});
  }
  void Fail(std::string name, std::string message);
  // Takes name out of the set; nothing happens when it is not there.
  void Remove(std::string_view name);
  const PropertyRead* Find(std::string_view name) const;
  const std::vector<std::pair<std::string, PropertyRead>>& Items() const { return items_; }

  bool operator==(const PropertySet&) const = default;

 private:
  PropertyRead& Slot(std::string name);
  std::vector<std::pair<std::string, PropertyRead>> items_;
};

// The properties stored with an object (its LvProp entries), served by its Properties
// collection; error is set when they cannot be read.
struct StoredProperties {
  PropertySet values;
  std::optional<std::string> error;

  bool operator==(const StoredProperties&) const = default;
};

// A field's properties: the ten the engine presents for every field held flat, each in a slot
// of its type (a database of 100,000 fields holds a million of them), and anything else (a
// property whose read failed, a value of another type, another name) in a property set beside
// them. A slot that was never set is no property of the field.
class FieldProperties {
 public:
  enum Slot : unsigned char {
    kAllowZeroLength,
    kAttributes,
    kDefaultValue,
    kName,
    kOrdinalPosition,
    kRequired,
    kSize,
    kSourceField,
    kSourceTable,
    kType,
    kSlotCount
  };
  enum class Kind { kBool, kInt, kText };
  static std::string_view SlotName(Slot slot);
  // The slot of a property name (case ignored); kSlotCount for any other name.
  static Slot SlotNamed(std::string_view name);
  static constexpr Kind KindOf(Slot slot) {
    switch (slot) {
      case kAllowZeroLength:
      case kRequired:
        return Kind::kBool;
      case kDefaultValue:
      case kName:
      case kSourceField:
      case kSourceTable:
        return Kind::kText;
      default:
        return Kind::kInt;
    }
  }

  // Inline: a decoder sets ten of them for every field.
  void SetBool(Slot slot, bool value) {
    Take(slot);
    bools_[BoolIndex(slot)] = value;
  }
  void SetInt(Slot slot, std::int32_t value) {
    Take(slot);
    ints_[IntIndex(slot)] = value;
  }
  void SetText(Slot slot, std::string value) {
    Take(slot);
    texts_[TextIndex(slot)] = std::move(value);
  }
  // SetText copying into the slot's own buffer.
  void AssignText(Slot slot, std::string_view value) {
    Take(slot);
    texts_[TextIndex(slot)].assign(value);
  }
  // Any property by name: a slot's name with a value of its type fills the slot.
  void Set(std::string_view name, Variant value);
  void Fail(std::string_view name, std::string message);
  // Each property of set in turn, through Set or Fail.
  void SetAll(const PropertySet& set);

  // The property called name (case ignored), or nothing when the field has none.
  std::optional<PropertyRead> Find(std::string_view name) const;
  // Every property: the slots set, in slot order, then the others in the order they were set.
  std::vector<std::pair<std::string, PropertyRead>> Items() const;

  bool Has(Slot slot) const { return (present_ >> slot) & 1u; }
  bool Bool(Slot slot) const { return bools_[BoolIndex(slot)]; }
  std::int32_t Int(Slot slot) const { return ints_[IntIndex(slot)]; }
  const std::string& Text(Slot slot) const { return texts_[TextIndex(slot)]; }
  const PropertySet& Others() const { return others_; }
  PropertySet& Others() { return others_; }

  bool operator==(const FieldProperties&) const = default;

 private:
  static std::size_t BoolIndex(Slot slot) { return slot == kRequired ? 1 : 0; }
  static constexpr std::size_t IntIndex(Slot slot) {
    return slot == kAttributes ? 0 : slot == kOrdinalPosition ? 1 : slot == kSize ? 2 : 3;
  }
  static constexpr std::size_t TextIndex(Slot slot) {
    return slot == kDefaultValue ? 0 : slot == kName ? 1 : slot == kSourceField ? 2 : 3;
  }
  void Clear(Slot slot);
  // The slot becomes the property's only place: a value of the same name among the others goes.
  void Take(Slot slot);

  std::string texts_[4];       // DefaultValue, Name, SourceField, SourceTable
  std::int32_t ints_[4] = {};  // Attributes, OrdinalPosition, Size, Type
  bool bools_[2] = {};         // AllowZeroLength, Required
  std::uint16_t present_ = 0;
  PropertySet others_;
};

struct FieldSnapshot {
  FieldProperties properties;
  StoredProperties stored;
  // Or stored in the engine's compact form, turned into StoredProperties by the database's
  // decodeStored when the field's Properties are first asked for (the fixed report never does).
  std::string encodedStored;

  bool operator==(const FieldSnapshot&) const = default;
};

// An index: Name, Primary, Unique, IgnoreNulls, Required, Foreign, Clustered; its fields each
// Name and Attributes.
struct IndexSnapshot {
  PropertySet properties;
  std::vector<PropertySet> fields;

  bool operator==(const IndexSnapshot&) const = default;
};

struct TableSnapshot {
  PropertySet properties;
  std::vector<FieldSnapshot> fields;
  // Or the fields in the engine's own compact form, turned into FieldSnapshots by the
  // database's decodeFields only while the table is being read: a database of 100,000 fields
  // then holds one table's fields at a time.
  std::string encodedFields;
  // Set when the table's field collection cannot be read (a link whose source is missing).
  std::optional<std::string> fieldsError;
  StoredProperties stored;
  std::vector<IndexSnapshot> indexes;
  std::optional<std::string> indexesError;
  // Or stored, indexesError and indexes in the engine's compact form, turned into a
  // TableDesign by the database's decodeDesign when the table's Properties or Indexes are first
  // asked for: the fixed report asks for neither.
  std::string encodedDesign;

  bool operator==(const TableSnapshot&) const = default;
};

// What a table holds beyond the fixed report, as decodeDesign makes it from encodedDesign.
struct TableDesign {
  StoredProperties stored;
  std::optional<std::string> indexesError;
  std::vector<IndexSnapshot> indexes;
};

// A relation: Name, Table, ForeignTable, Attributes; its fields each Name and ForeignName.
struct RelationSnapshot {
  PropertySet properties;
  std::vector<PropertySet> fields;

  bool operator==(const RelationSnapshot&) const = default;
};

// A saved query: Name, Type, Hidden, SQL, DateCreated, LastUpdated.
struct QuerySnapshot {
  PropertySet properties;
  StoredProperties stored;

  bool operator==(const QuerySnapshot&) const = default;
};

// A container (Forms, Reports, Scripts, Modules) and its documents: Name, DateCreated,
// LastUpdated.
struct ContainerSnapshot {
  std::string name;
  std::vector<PropertySet> documents;

  bool operator==(const ContainerSnapshot&) const = default;
};

// The source of a snapshot whose tables arrive while it is being read: the object model asks
// for table i before it serves that table, and for everything before it serves what follows
// the tables (relations, queries, containers, Close). Both throw AutomationError when the rest
// cannot arrive; the database then fails as a whole (its Close fails with the reason).
class SnapshotFeed {
 public:
  virtual ~SnapshotFeed() = default;
  virtual void Through(std::size_t table) = 0;
  virtual void All() = 0;
};

struct DatabaseSnapshot {
  // The database's own properties (Version).
  PropertySet properties;
  // Decodes a table's encodedFields; throws AutomationError when they are damaged.
  std::vector<FieldSnapshot> (*decodeFields)(std::string_view encoded) = nullptr;
  // Decodes a field's encodedStored; throws AutomationError when it is damaged.
  StoredProperties (*decodeStored)(std::string_view encoded) = nullptr;
  // Decodes a table's encodedDesign; throws AutomationError when it is damaged.
  TableDesign (*decodeDesign)(std::string_view encoded) = nullptr;
  // Set while the tables are still arriving (tables holds them all, the later ones empty).
  std::shared_ptr<SnapshotFeed> feed;
  std::vector<TableSnapshot> tables;
  // Set when the table collection cannot be read.
  std::optional<std::string> tablesError;
  // Set when closing the database fails.
  std::optional<std::string> closeError;
  std::vector<RelationSnapshot> relations;
  // Relationships of the navigation pane and between system tables, kept apart.
  std::vector<RelationSnapshot> systemRelations;
  std::optional<std::string> relationsError;
  std::vector<QuerySnapshot> queries;
  std::optional<std::string> queriesError;
  std::vector<ContainerSnapshot> containers;
  std::optional<std::string> containersError;

  bool operator==(const DatabaseSnapshot&) const = default;
};

// Opens the database at path (exactly as the caller gave it) and returns its snapshot; throws
// AutomationError with the reason when it cannot be opened.
using DatabaseOpener =
    std::function<std::shared_ptr<const DatabaseSnapshot>(const std::string& path)>;

// An engine object: Workspaces(0).OpenDatabase(path, false, false) calls opener, and every
// call of the database it returns is served from the snapshot: Version, TableDefs(i) with
// Fields(j), Indexes(i) (Fields(k)) and Properties; Relations(i) and SystemRelations(i) with
// Fields(k); QueryDefs(i) with Properties; Containers(name or i).Documents(i). A Properties
// collection serves Count, Item(i or name) and, called with a name, that property; a property
// object serves Name, Value and Type.
//
// The engine also serves ReadAhead(path), this system's own member: readAhead is told the
// database that will be opened after the next one (nothing happens when it is empty).
using ReadAheadHint = std::function<void(const std::string& path)>;
ObjectRef MakeSnapshotEngine(DatabaseOpener opener, ReadAheadHint readAhead = {});

}  // namespace zentab
