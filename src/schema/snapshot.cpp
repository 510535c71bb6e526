// The object model over a DatabaseSnapshot: engine, workspace, database, collections, tables
// and fields, each a thin view that looks its member up by name.
#include "schema/snapshot.h"

namespace zentab {
namespace {

constexpr const char* kItemNotFound = "Item not found in this collection.";

[[noreturn]] void UnknownMember(std::string_view object, std::string_view member) {
  throw AutomationError(std::string(object) + " has no member '" + std::string(member) + "'");
}

std::size_t IndexArgument(std::span<const Variant> args, std::size_t count) {
  if (args.size() != 1 || !args[0].IsInt()) throw AutomationError("Invalid argument.");
  std::int32_t i = args[0].AsInt();
  if (i < 0 || static_cast<std::size_t>(i) >= count) throw AutomationError(kItemNotFound);
  return static_cast<std::size_t>(i);
}

Variant ReadProperty(const PropertySet& properties, std::string_view object,
                     std::string_view member) {
  const PropertyRead* read = properties.Find(member);
  if (!read) UnknownMember(object, member);
  if (read->error) throw AutomationError(*read->error);
  return read->value;
}

class FieldObject final : public Dispatch {
 public:
  FieldObject(std::shared_ptr<const DatabaseSnapshot> db, const FieldSnapshot& field)
      : db_(std::move(db)), field_(field) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (!args.empty()) throw AutomationError("Invalid argument.");
    return ReadProperty(field_.properties, "Field", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;  // keeps field_ alive
  const FieldSnapshot& field_;
};

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
Variant CollectionOrItem(std::shared_ptr<const DatabaseSnapshot> db, const std::vector<Item>& items,
                         const std::optional<std::string>& error, Make make,
                         std::span<const Variant> args, std::vector<ObjectRef>& cache) {
  if (args.empty()) {
    return ObjectRef(
        std::make_shared<CollectionObject<Item, Make>>(std::move(db), items, error, make));
  }
  if (error) throw AutomationError(*error);
  std::size_t i = IndexArgument(args, items.size());
  if (cache.size() != items.size()) cache.resize(items.size());
  if (!cache[i]) cache[i] = make(std::move(db), items[i]).AsObject();
  return cache[i];
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
      return CollectionOrItem(db_, table_.fields, table_.fieldsError, MakeField, args, fields_);
    }
    if (!args.empty()) throw AutomationError("Invalid argument.");
    return ReadProperty(table_.properties, "TableDef", member);
  }

 private:
  std::shared_ptr<const DatabaseSnapshot> db_;
  const TableSnapshot& table_;
  std::vector<ObjectRef> fields_;
};

Variant MakeTable(std::shared_ptr<const DatabaseSnapshot> db, const TableSnapshot& table) {
  return ObjectRef(std::make_shared<TableObject>(std::move(db), table));
}

class DatabaseObject final : public Dispatch {
 public:
  explicit DatabaseObject(std::shared_ptr<const DatabaseSnapshot> db) : db_(std::move(db)) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (closed_) throw AutomationError("Object invalid or no longer set.");
    if (SameMemberName(member, "TableDefs")) {
      return CollectionOrItem(db_, db_->tables, db_->tablesError, MakeTable, args, tables_);
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
  std::vector<ObjectRef> tables_;
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
  explicit EngineObject(DatabaseOpener opener) : opener_(std::move(opener)) {}
  Variant Invoke(std::string_view member, std::span<const Variant> args) override {
    if (!SameMemberName(member, "Workspaces")) UnknownMember("DBEngine", member);
    if (args.size() != 1 || !args[0].IsInt() || args[0].AsInt() != 0) {
      throw AutomationError(kItemNotFound);
    }
    return ObjectRef(std::make_shared<WorkspaceObject>(opener_));
  }

 private:
  DatabaseOpener opener_;
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

ObjectRef MakeSnapshotEngine(DatabaseOpener opener) {
  return std::make_shared<EngineObject>(std::move(opener));
}

}  // namespace zentab
