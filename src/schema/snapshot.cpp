// The object model over a DatabaseSnapshot: engine, workspace, database, collections, tables
// and fields, each a thin view that looks its member up by name.
#include "schema/snapshot.h"

namespace zentab {
namespace {

constexpr const char* kItemNotFound = "Item not found in this collection.";

[[noreturn]] void UnknownMember(std::string_view object, std::string_view member) {
  throw AutomationError(std::string(object) + " has no member '" + std::string(member) + "'");
}

[[noreturn, gnu::cold, gnu::noinline]] void BadIndexArgument(std::span<const Variant> args) {
  if (args.size() != 1 || !args[0].IsInt()) throw AutomationError("Invalid argument.");
  throw AutomationError(kItemNotFound);
}

// Inline with its failures out of line: every item a reader asks for passes here.
inline std::size_t IndexArgument(std::span<const Variant> args, std::size_t count) {
  if (args.size() == 1 && args[0].IsInt()) {
    auto i = static_cast<std::size_t>(static_cast<std::uint32_t>(args[0].AsInt()));
    if (args[0].AsInt() >= 0 && i < count) return i;
  }
  BadIndexArgument(args);
}

Variant ReadProperty(const PropertySet& properties, std::string_view object,
                     std::string_view member) {
  const PropertyRead* read = properties.Find(member);
  if (!read) UnknownMember(object, member);
  if (read->error) throw AutomationError(*read->error);
  return read->value;
}

// A collection: Count, or an item by index.
template <typename Item, typename Make>
class CollectionObject final : public Dispatch {
 public:
  CollectionObject(std::shared_ptr<const DatabaseSnapshot> db, const std::vector<Item>& items,
                   const std::optional<std::string>& error, Make make)
      : db_(std::move(db)), items_(items), error_(error), make_(make) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (error_) throw AutomationError(*error_);
    if (SameMemberName(member, "Count") && args.empty()) {
      return static_cast<std::int32_t>(items_.size());
    }
    if (SameMemberName(member, "Item"))
      return make_(db_, items_[IndexArgument(args, items_.size())]);
    UnknownMember("Collection", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;
  const std::vector<Item>& items_;
  const std::optional<std::string>& error_;
  Make make_;
};

// Without arguments the collection itself; with an index its item, made once and kept in
// cache: the reader fetches every table and field afresh for each property it reads, and
// handing back the same object spares an allocation per call.
template <typename Item, typename Make>
Variant CollectionOrItem(const std::shared_ptr<const DatabaseSnapshot>& db,
                         const std::vector<Item>& items, const std::optional<std::string>& error,
                         Make make, std::span<const Variant> args, std::vector<ObjectRef>& cache) {
  if (args.empty()) {
    return ObjectRef(std::make_shared<CollectionObject<Item, Make>>(db, items, error, make));
  }
  if (error) throw AutomationError(*error);
  std::size_t i = IndexArgument(args, items.size());
  if (cache.size() != items.size()) cache.resize(items.size());
  if (!cache[i]) cache[i] = make(db, items[i]).AsObject();
  return cache[i];
}

// The item last handed out, kept for the next call: the reader asks for one table again and
// again and then moves on for good, and what the table holds (its decoded fields) goes with it.
struct RecentItem {
  std::size_t index = 0;
  ObjectRef object;
};

template <typename Item, typename Make>
Variant CollectionOrRecentItem(const std::shared_ptr<const DatabaseSnapshot>& db,
                               const std::vector<Item>& items,
                               const std::optional<std::string>& error, Make make,
                               std::span<const Variant> args, RecentItem& recent) {
  if (args.empty()) {
    return ObjectRef(std::make_shared<CollectionObject<Item, Make>>(db, items, error, make));
  }
  if (error) throw AutomationError(*error);
  std::size_t i = IndexArgument(args, items.size());
  if (!recent.object || recent.index != i) {
    recent.object.reset();  // the previous item goes before the next one is made
    recent.object = make(db, items[i]).AsObject();
    recent.index = i;
  }
  return recent.object;
}

const std::optional<std::string> kNoError;

Variant SlotValue(const FieldProperties& p, FieldProperties::Slot slot) {
  switch (FieldProperties::KindOf(slot)) {
    case FieldProperties::Kind::kBool:
      return Variant(p.Bool(slot));
    case FieldProperties::Kind::kInt:
      return Variant(p.Int(slot));
    case FieldProperties::Kind::kText:
      break;
  }
  return Variant(p.Text(slot));
}

// A stored property: Name, Value, Type (the engine's type code of the value it holds). Value
// and Type fail with the reason when the value could not be read.
class PropertyObject final : public Dispatch {
 public:
  PropertyObject(std::string name, PropertyRead read)
      : name_(std::move(name)), read_(std::move(read)) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (!args.empty()) throw AutomationError("Invalid argument.");
    if (SameMemberName(member, "Name")) return name_;
    if (read_.error && (SameMemberName(member, "Value") || SameMemberName(member, "Type"))) {
      throw AutomationError(*read_.error);
    }
    if (SameMemberName(member, "Value")) return read_.value;
    if (SameMemberName(member, "Type")) return TypeCode();
    UnknownMember("Property", member);
  }

 private:
  std::int32_t TypeCode() const {
    const Variant& v = read_.value;
    if (v.IsBool()) return 1;
    if (v.IsInt()) return 4;
    if (v.IsDouble()) return 7;
    if (v.IsDate()) return 8;
    return 10;
  }
  std::string name_;
  PropertyRead read_;
};

Variant MakeProperty(const std::string& name, const PropertyRead& read) {
  return ObjectRef(std::make_shared<PropertyObject>(name, read));
}

// A Properties collection over stored properties: Count, Item(i or name).
class PropertiesObject final : public Dispatch {
 public:
  PropertiesObject(std::shared_ptr<const DatabaseSnapshot> db, const StoredProperties& stored)
      : db_(std::move(db)), stored_(stored) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (stored_.error) throw AutomationError(*stored_.error);
    if (SameMemberName(member, "Count") && args.empty()) {
      return static_cast<std::int32_t>(stored_.values.Items().size());
    }
    if (SameMemberName(member, "Item")) return Item(stored_, args);
    UnknownMember("Properties", member);
  }

  static Variant Item(const StoredProperties& stored, std::span<const Variant> args) {
    if (stored.error) throw AutomationError(*stored.error);
    if (args.size() == 1 && args[0].IsString()) {
      const std::string& name = args[0].AsString();
      for (const auto& [key, read] : stored.values.Items()) {
        if (SameMemberName(key, name)) return MakeProperty(key, read);
      }
      throw AutomationError("Property not found.");
    }
    const auto& items = stored.values.Items();
    const auto& [key, read] = items[IndexArgument(args, items.size())];
    return MakeProperty(key, read);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;  // keeps stored_ alive
  const StoredProperties& stored_;
};

// Properties: the collection without arguments, else the property by index or name.
Variant StoredPropertiesMember(std::shared_ptr<const DatabaseSnapshot> db,
                               const StoredProperties& stored, std::span<const Variant> args) {
  if (args.empty()) return ObjectRef(std::make_shared<PropertiesObject>(std::move(db), stored));
  return PropertiesObject::Item(stored, args);
}

// An object that is only its properties (index fields, relation fields, documents).
class SetObject final : public Dispatch {
 public:
  SetObject(std::shared_ptr<const DatabaseSnapshot> db, const PropertySet& set)
      : db_(std::move(db)), set_(set) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (!args.empty()) throw AutomationError("Invalid argument.");
    return ReadProperty(set_, "Object", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;  // keeps set_ alive
  const PropertySet& set_;
};

Variant MakeSet(std::shared_ptr<const DatabaseSnapshot> db, const PropertySet& set) {
  return ObjectRef(std::make_shared<SetObject>(std::move(db), set));
}

// A value decoded once from its compact form (a table's fields or design, a field's stored
// properties). owner() points to the database and keeps the value alive too, for objects made
// from it that outlive the object that decoded it.
template <typename T>
class DecodedOnce {
 public:
  const T& Get(const std::shared_ptr<const DatabaseSnapshot>& db,
               T (*decode)(std::string_view encoded), std::string_view encoded,
               const char* cannotRead) {
    if (!owner_) {
      if (!decode) throw AutomationError(cannotRead);
      auto holder = std::make_shared<Holder>(Holder{db, decode(encoded)});
      value_ = &holder->value;
      owner_ = std::shared_ptr<const DatabaseSnapshot>(holder, db.get());
    }
    return *value_;
  }
  const std::shared_ptr<const DatabaseSnapshot>& owner() const { return owner_; }

 private:
  struct Holder {
    std::shared_ptr<const DatabaseSnapshot> db;
    T value;
  };
  std::shared_ptr<const DatabaseSnapshot> owner_;
  const T* value_ = nullptr;
};

class FieldObject final : public Dispatch {
 public:
  FieldObject(std::shared_ptr<const DatabaseSnapshot> db, const FieldSnapshot& field)
      : db_(std::move(db)), field_(field) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (SameMemberName(member, "Properties")) {
      if (field_.encodedStored.empty()) return StoredPropertiesMember(db_, field_.stored, args);
      const StoredProperties& stored = stored_.Get(db_, db_->decodeStored, field_.encodedStored,
                                                   "The properties of this field cannot be read.");
      return StoredPropertiesMember(stored_.owner(), stored, args);
    }
    if (!args.empty()) throw AutomationError("Invalid argument.");
    // The value straight from its slot: the reader makes ten such calls for every field.
    const FieldProperties& p = field_.properties;
    FieldProperties::Slot slot = FieldProperties::SlotNamed(member);
    if (slot != FieldProperties::kSlotCount && p.Has(slot)) return SlotValue(p, slot);
    return ReadProperty(p.Others(), "Field", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;  // keeps field_ alive
  const FieldSnapshot& field_;
  DecodedOnce<StoredProperties> stored_;
};

// An index or a relation: its properties and a Fields collection of property sets.
template <typename Snapshot>
class KeyedObject final : public Dispatch {
 public:
  KeyedObject(std::shared_ptr<const DatabaseSnapshot> db, const Snapshot& item)
      : db_(std::move(db)), item_(item) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (SameMemberName(member, "Fields")) {
      return CollectionOrItem(db_, item_.fields, kNoError, MakeSet, args, fields_);
    }
    if (!args.empty()) throw AutomationError("Invalid argument.");
    return ReadProperty(item_.properties, "Object", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;
  const Snapshot& item_;
  std::vector<ObjectRef> fields_;
};

template <typename Snapshot>
Variant MakeKeyed(std::shared_ptr<const DatabaseSnapshot> db, const Snapshot& item) {
  return ObjectRef(std::make_shared<KeyedObject<Snapshot>>(std::move(db), item));
}

class QueryObject final : public Dispatch {
 public:
  QueryObject(std::shared_ptr<const DatabaseSnapshot> db, const QuerySnapshot& query)
      : db_(std::move(db)), query_(query) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (SameMemberName(member, "Properties"))
      return StoredPropertiesMember(db_, query_.stored, args);
    if (!args.empty()) throw AutomationError("Invalid argument.");
    return ReadProperty(query_.properties, "QueryDef", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;
  const QuerySnapshot& query_;
};

Variant MakeQuery(std::shared_ptr<const DatabaseSnapshot> db, const QuerySnapshot& query) {
  return ObjectRef(std::make_shared<QueryObject>(std::move(db), query));
}

class ContainerObject final : public Dispatch {
 public:
  ContainerObject(std::shared_ptr<const DatabaseSnapshot> db, const ContainerSnapshot& container)
      : db_(std::move(db)), container_(container) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (SameMemberName(member, "Documents")) {
      return CollectionOrItem(db_, container_.documents, kNoError, MakeSet, args, documents_);
    }
    if (!args.empty()) throw AutomationError("Invalid argument.");
    if (SameMemberName(member, "Name")) return container_.name;
    UnknownMember("Container", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;
  const ContainerSnapshot& container_;
  std::vector<ObjectRef> documents_;
};

Variant MakeContainer(std::shared_ptr<const DatabaseSnapshot> db,
                      const ContainerSnapshot& container) {
  return ObjectRef(std::make_shared<ContainerObject>(std::move(db), container));
}

Variant MakeField(std::shared_ptr<const DatabaseSnapshot> db, const FieldSnapshot& field) {
  return ObjectRef(std::make_shared<FieldObject>(std::move(db), field));
}

class TableObject final : public Dispatch {
 public:
  TableObject(std::shared_ptr<const DatabaseSnapshot> db, const TableSnapshot& table)
      : db_(std::move(db)), table_(table) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (SameMemberName(member, "Fields")) {
      if (table_.encodedFields.empty() || table_.fieldsError) {
        return CollectionOrItem(db_, table_.fields, table_.fieldsError, MakeField, args, fields_);
      }
      const std::vector<FieldSnapshot>& fields = decodedFields_.Get(
          db_, db_->decodeFields, table_.encodedFields, "The fields of this table cannot be read.");
      return CollectionOrItem(decodedFields_.owner(), fields, kNoError, MakeField, args, fields_);
    }
    if (SameMemberName(member, "Indexes")) {
      if (table_.encodedDesign.empty()) {
        return CollectionOrItem(db_, table_.indexes, table_.indexesError, MakeKeyed<IndexSnapshot>,
                                args, indexes_);
      }
      const TableDesign& design = Design();
      return CollectionOrItem(design_.owner(), design.indexes, design.indexesError,
                              MakeKeyed<IndexSnapshot>, args, indexes_);
    }
    if (SameMemberName(member, "Properties")) {
      if (table_.encodedDesign.empty()) return StoredPropertiesMember(db_, table_.stored, args);
      const TableDesign& design = Design();
      return StoredPropertiesMember(design_.owner(), design.stored, args);
    }
    if (!args.empty()) throw AutomationError("Invalid argument.");
    return ReadProperty(table_.properties, "TableDef", member);
  }

 private:
  const TableDesign& Design() {
    return design_.Get(db_, db_->decodeDesign, table_.encodedDesign,
                       "The design of this table cannot be read.");
  }

  std::shared_ptr<const DatabaseSnapshot> db_;
  const TableSnapshot& table_;
  DecodedOnce<std::vector<FieldSnapshot>> decodedFields_;
  DecodedOnce<TableDesign> design_;
  std::vector<ObjectRef> fields_;
  std::vector<ObjectRef> indexes_;
};

Variant MakeTable(std::shared_ptr<const DatabaseSnapshot> db, const TableSnapshot& table) {
  // A table still on its way arrives before its object is made.
  if (db->feed) db->feed->Through(static_cast<std::size_t>(&table - db->tables.data()));
  return ObjectRef(std::make_shared<TableObject>(std::move(db), table));
}

class DatabaseObject final : public Dispatch {
 public:
  explicit DatabaseObject(std::shared_ptr<const DatabaseSnapshot> db) : db_(std::move(db)) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (closed_) throw AutomationError("Object invalid or no longer set.");
    if (SameMemberName(member, "TableDefs")) {
      return CollectionOrRecentItem(db_, db_->tables, db_->tablesError, MakeTable, args, table_);
    }
    // Everything else follows the tables.
    if (db_->feed && !SameMemberName(member, "Version")) db_->feed->All();
    if (SameMemberName(member, "Relations")) {
      return CollectionOrItem(db_, db_->relations, db_->relationsError, MakeKeyed<RelationSnapshot>,
                              args, relations_);
    }
    if (SameMemberName(member, "SystemRelations")) {
      return CollectionOrItem(db_, db_->systemRelations, db_->relationsError,
                              MakeKeyed<RelationSnapshot>, args, systemRelations_);
    }
    if (SameMemberName(member, "QueryDefs")) {
      return CollectionOrItem(db_, db_->queries, db_->queriesError, MakeQuery, args, queries_);
    }
    if (SameMemberName(member, "Containers")) {
      if (args.size() == 1 && args[0].IsString()) {
        if (db_->containersError) throw AutomationError(*db_->containersError);
        for (const auto& container : db_->containers) {
          if (SameMemberName(container.name, args[0].AsString()))
            return MakeContainer(db_, container);
        }
        throw AutomationError(kItemNotFound);
      }
      return CollectionOrItem(db_, db_->containers, db_->containersError, MakeContainer, args,
                              containers_);
    }
    if (SameMemberName(member, "Version") && args.empty()) {
      return ReadProperty(db_->properties, "Database", member);
    }
    if (SameMemberName(member, "Close")) {
      if (db_->closeError) throw AutomationError(*db_->closeError);
      closed_ = true;
      return {};
    }
    UnknownMember("Database", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;
  RecentItem table_;
  std::vector<ObjectRef> relations_;
  std::vector<ObjectRef> systemRelations_;
  std::vector<ObjectRef> queries_;
  std::vector<ObjectRef> containers_;
  bool closed_ = false;
};

class WorkspaceObject final : public Dispatch {
 public:
  explicit WorkspaceObject(DatabaseOpener opener) : opener_(std::move(opener)) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (!SameMemberName(member, "OpenDatabase")) UnknownMember("Workspace", member);
    if (args.empty() || !args[0].IsString()) throw AutomationError("Invalid argument.");
    auto snapshot = opener_(args[0].AsString());
    if (!snapshot) throw AutomationError("Could not open '" + args[0].AsString() + "'.");
    return ObjectRef(std::make_shared<DatabaseObject>(std::move(snapshot)));
  }

 private:
  DatabaseOpener opener_;
};

class EngineObject final : public Dispatch {
 public:
  EngineObject(DatabaseOpener opener, ReadAheadHint readAhead)
      : opener_(std::move(opener)), readAhead_(std::move(readAhead)) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (SameMemberName(member, "ReadAhead")) {
      if (args.size() != 1 || !args[0].IsString()) throw AutomationError("Invalid argument.");
      if (readAhead_) readAhead_(args[0].AsString());
      return {};
    }
    if (!SameMemberName(member, "Workspaces")) UnknownMember("DBEngine", member);
    if (args.size() != 1 || !args[0].IsInt() || args[0].AsInt() != 0) {
      throw AutomationError(kItemNotFound);
    }
    return ObjectRef(std::make_shared<WorkspaceObject>(opener_));
  }

 private:
  DatabaseOpener opener_;
  ReadAheadHint readAhead_;
};

}  // namespace

PropertyRead& PropertySet::Slot(std::string name) {
  for (auto& [key, read] : items_) {
    if (SameMemberName(key, name)) return read;
  }
  return items_.emplace_back(std::move(name), PropertyRead{}).second;
}

void PropertySet::Set(std::string name, Variant value) {
  Slot(std::move(name)) = PropertyRead{std::move(value), std::nullopt};
}

void PropertySet::Fail(std::string name, std::string message) {
  Slot(std::move(name)) = PropertyRead{Variant{}, std::move(message)};
}

const PropertyRead* PropertySet::Find(std::string_view name) const {
  for (const auto& [key, read] : items_) {
    if (SameMemberName(key, name)) return &read;
  }
  return nullptr;
}

void PropertySet::Remove(std::string_view name) {
  std::erase_if(items_, [name](const auto& item) { return SameMemberName(item.first, name); });
}

namespace {

constexpr std::string_view kSlotNames[] = {
    "AllowZeroLength", "Attributes", "DefaultValue", "Name",        "OrdinalPosition",
    "Required",        "Size",       "SourceField",  "SourceTable", "Type"};
static_assert(std::size(kSlotNames) == FieldProperties::kSlotCount);

using SlotKind = FieldProperties::Kind;

}  // namespace

// The slot a property name (case ignored) belongs to; kSlotCount for any other name.
FieldProperties::Slot FieldProperties::SlotNamed(std::string_view name) {
  // One candidate by length and a telling letter, then one comparison.
  Slot candidate = kSlotCount;
  switch (name.size()) {
    case 4:
      switch (LowerAscii(name[0])) {
        case 'n':
          candidate = kName;
          break;
        case 's':
          candidate = kSize;
          break;
        case 't':
          candidate = kType;
          break;
        default:
          break;
      }
      break;
    case 8:
      candidate = kRequired;
      break;
    case 10:
      candidate = kAttributes;
      break;
    case 11:
      candidate = LowerAscii(name[6]) == 'f' ? kSourceField : kSourceTable;
      break;
    case 12:
      candidate = kDefaultValue;
      break;
    case 15:
      candidate = LowerAscii(name[0]) == 'a' ? kAllowZeroLength : kOrdinalPosition;
      break;
    default:
      break;
  }
  if (candidate != kSlotCount && SameMemberName(name, kSlotNames[candidate])) return candidate;
  return kSlotCount;
}

std::string_view FieldProperties::SlotName(Slot slot) {
  return kSlotNames[slot];
}

void FieldProperties::Clear(Slot slot) {
  present_ &= static_cast<std::uint16_t>(~(1u << slot));
  switch (FieldProperties::KindOf(slot)) {
    case SlotKind::kBool:
      bools_[BoolIndex(slot)] = false;
      break;
    case SlotKind::kInt:
      ints_[IntIndex(slot)] = 0;
      break;
    case SlotKind::kText:
      texts_[TextIndex(slot)].clear();
      break;
  }
}

void FieldProperties::Take(Slot slot) {
  if (!others_.Items().empty()) others_.Remove(kSlotNames[slot]);
  present_ |= static_cast<std::uint16_t>(1u << slot);
}

void FieldProperties::Set(std::string_view name, Variant value) {
  Slot slot = SlotNamed(name);
  if (slot != kSlotCount) {
    SlotKind kind = KindOf(slot);
    if (kind == SlotKind::kBool && value.IsBool()) return SetBool(slot, value.AsBool());
    if (kind == SlotKind::kInt && value.IsInt()) return SetInt(slot, value.AsInt());
    if (kind == SlotKind::kText && value.IsString()) return SetText(slot, value.AsString());
    Clear(slot);
  }
  others_.Set(std::string(slot != kSlotCount ? kSlotNames[slot] : name), std::move(value));
}

void FieldProperties::SetAll(const PropertySet& set) {
  for (const auto& [name, read] : set.Items()) {
    if (read.error) {
      Fail(name, *read.error);
    } else {
      Set(name, read.value);
    }
  }
}

void FieldProperties::Fail(std::string_view name, std::string message) {
  Slot slot = SlotNamed(name);
  if (slot != kSlotCount) Clear(slot);
  others_.Fail(std::string(slot != kSlotCount ? kSlotNames[slot] : name), std::move(message));
}

std::optional<PropertyRead> FieldProperties::Find(std::string_view name) const {
  Slot slot = SlotNamed(name);
  if (slot != kSlotCount && Has(slot)) return PropertyRead{SlotValue(*this, slot), std::nullopt};
  if (const PropertyRead* read = others_.Find(name)) return *read;
  return std::nullopt;
}

std::vector<std::pair<std::string, PropertyRead>> FieldProperties::Items() const {
  std::vector<std::pair<std::string, PropertyRead>> items;
  for (unsigned i = 0; i < kSlotCount; ++i) {
    auto slot = static_cast<Slot>(i);
    if (Has(slot)) {
      items.emplace_back(std::string(kSlotNames[slot]),
                         PropertyRead{SlotValue(*this, slot), std::nullopt});
    }
  }
  for (const auto& item : others_.Items()) items.push_back(item);
  return items;
}

ObjectRef MakeSnapshotEngine(DatabaseOpener opener, ReadAheadHint readAhead) {
  return std::make_shared<EngineObject>(std::move(opener), std::move(readAhead));
}

}  // namespace zentab
