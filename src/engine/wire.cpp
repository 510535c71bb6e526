// The messages between the engine and its reader (a compact binary form), the readable JSON
// form of a snapshot, and blocking frame I/O.
#include "engine/wire.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

namespace zentab::engine {
namespace {

using nlohmann::json;

// The readable JSON form keeps its own version: it is for people and tests, not the pipe.
constexpr int kJsonVersion = 2;

std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

json Parse(std::string_view text) {
  json j = json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) throw WireError("the message is not a JSON object");
  auto version = j.find("version");
  if (version == j.end() || !version->is_number_integer() || *version != kJsonVersion) {
    throw WireError("the snapshot is not of version " + std::to_string(kJsonVersion));
  }
  return j;
}

json EncodeVariant(const Variant& v) {
  if (v.IsNull()) return json{{"null", true}};
  if (v.IsBool()) return json{{"bool", v.AsBool()}};
  if (v.IsInt()) return json{{"int", v.AsInt()}};
  if (v.IsDouble()) return json{{"double", v.AsDouble()}};
  if (v.IsDate()) return json{{"date", v.AsDate()}};
  if (v.IsString()) return json{{"string", v.AsString()}};
  if (v.IsEmpty()) return json::object();
  throw WireError("an object cannot be sent as a property value");
}

Variant DecodeVariant(const json& j) {
  if (!j.is_object()) throw WireError("a property value is not an object");
  if (j.contains("null")) return Variant::MakeNull();
  if (auto it = j.find("bool"); it != j.end() && it->is_boolean()) return Variant(it->get<bool>());
  if (auto it = j.find("int"); it != j.end() && it->is_number_integer()) {
    auto value = it->get<std::int64_t>();
    if (value < INT32_MIN || value > INT32_MAX)
      throw WireError("an integer property is out of range");
    return Variant(static_cast<std::int32_t>(value));
  }
  if (auto it = j.find("double"); it != j.end() && it->is_number()) {
    return Variant(it->get<double>());
  }
  if (auto it = j.find("date"); it != j.end() && it->is_number()) {
    return Variant(Variant::Date{it->get<double>()});
  }
  if (auto it = j.find("string"); it != j.end() && it->is_string()) {
    return Variant(it->get<std::string>());
  }
  if (j.empty()) return Variant();
  throw WireError("a property value has no known kind");
}

// Properties as PropertySet::Items and FieldProperties::Items give them.
json EncodeProperties(const std::vector<std::pair<std::string, PropertyRead>>& items) {
  json out = json::array();
  for (const auto& [name, read] : items) {
    json item{{"name", name}};
    if (read.error) {
      item["error"] = *read.error;
    } else {
      item["value"] = EncodeVariant(read.value);
    }
    out.push_back(std::move(item));
  }
  return out;
}

PropertySet DecodeProperties(const json& j) {
  if (!j.is_array()) throw WireError("properties are not a list");
  PropertySet set;
  for (const auto& item : j) {
    if (!item.is_object() || !item.contains("name") || !item["name"].is_string()) {
      throw WireError("a property has no name");
    }
    std::string name = item["name"].get<std::string>();
    if (auto error = item.find("error"); error != item.end() && error->is_string()) {
      set.Fail(std::move(name), error->get<std::string>());
    } else if (auto value = item.find("value"); value != item.end()) {
      set.Set(std::move(name), DecodeVariant(*value));
    } else {
      throw WireError("property " + name + " has neither a value nor an error");
    }
  }
  return set;
}

std::optional<std::string> OptionalString(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) throw WireError(std::string(key) + " is not a string");
  return it->get<std::string>();
}

FieldProperties DecodeFieldProperties(const json& j) {
  FieldProperties properties;
  properties.SetAll(DecodeProperties(j));
  return properties;
}

json StoredJson(const StoredProperties& stored) {
  json out{{"values", EncodeProperties(stored.values.Items())}};
  if (stored.error) out["error"] = *stored.error;
  return out;
}

StoredProperties StoredFromJson(const json& j) {
  StoredProperties stored;
  if (!j.is_object()) return stored;
  stored.values = DecodeProperties(j.value("values", json::array()));
  stored.error = OptionalString(j, "error");
  return stored;
}

template <typename Keyed>
json KeyedJson(const std::vector<Keyed>& items) {
  json out = json::array();
  for (const auto& item : items) {
    json fields = json::array();
    for (const auto& field : item.fields) fields.push_back(EncodeProperties(field.Items()));
    out.push_back(
        json{{"properties", EncodeProperties(item.properties.Items())}, {"fields", fields}});
  }
  return out;
}

template <typename Keyed>
std::vector<Keyed> KeyedFromJson(const json& j, const char* key) {
  std::vector<Keyed> items;
  auto list = j.find(key);
  if (list == j.end()) return items;
  if (!list->is_array()) throw WireError(std::string(key) + " is not a list");
  for (const auto& k : *list) {
    if (!k.is_object()) throw WireError(std::string("an item of ") + key + " is not an object");
    Keyed item;
    item.properties = DecodeProperties(k.value("properties", json::array()));
    for (const auto& f : k.value("fields", json::array()))
      item.fields.push_back(DecodeProperties(f));
    items.push_back(std::move(item));
  }
  return items;
}

json SnapshotJson(const DatabaseSnapshot& snapshot) {
  json tables = json::array();
  for (const auto& table : snapshot.tables) {
    json fields = json::array();
    for (const auto& field : table.fields) {
      fields.push_back(json{{"properties", EncodeProperties(field.properties.Items())},
                            {"stored", StoredJson(field.stored)}});
    }
    json t{{"properties", EncodeProperties(table.properties.Items())},
           {"fields", std::move(fields)},
           {"stored", StoredJson(table.stored)},
           {"indexes", KeyedJson(table.indexes)}};
    if (table.fieldsError) t["fieldsError"] = *table.fieldsError;
    if (table.indexesError) t["indexesError"] = *table.indexesError;
    tables.push_back(std::move(t));
  }
  json queries = json::array();
  for (const auto& query : snapshot.queries) {
    queries.push_back(json{{"properties", EncodeProperties(query.properties.Items())},
                           {"stored", StoredJson(query.stored)}});
  }
  json containers = json::array();
  for (const auto& container : snapshot.containers) {
    json documents = json::array();
    for (const auto& document : container.documents)
      documents.push_back(EncodeProperties(document.Items()));
    containers.push_back(json{{"name", container.name}, {"documents", std::move(documents)}});
  }
  json out{{"version", kJsonVersion},
           {"properties", EncodeProperties(snapshot.properties.Items())},
           {"tables", std::move(tables)},
           {"relations", KeyedJson(snapshot.relations)},
           {"systemRelations", KeyedJson(snapshot.systemRelations)},
           {"queries", std::move(queries)},
           {"containers", std::move(containers)}};
  if (snapshot.tablesError) out["tablesError"] = *snapshot.tablesError;
  if (snapshot.closeError) out["closeError"] = *snapshot.closeError;
  if (snapshot.relationsError) out["relationsError"] = *snapshot.relationsError;
  if (snapshot.queriesError) out["queriesError"] = *snapshot.queriesError;
  if (snapshot.containersError) out["containersError"] = *snapshot.containersError;
  return out;
}

DatabaseSnapshot SnapshotFromJson(const json& j) {
  if (!j.is_object()) throw WireError("the snapshot is not an object");
  DatabaseSnapshot snapshot;
  snapshot.properties = DecodeProperties(j.value("properties", json::array()));
  auto tables = j.find("tables");
  if (tables == j.end() || !tables->is_array()) throw WireError("the snapshot has no table list");
  for (const auto& t : *tables) {
    if (!t.is_object()) throw WireError("a table is not an object");
    TableSnapshot table;
    table.properties = DecodeProperties(t.value("properties", json::array()));
    auto fields = t.find("fields");
    if (fields == t.end() || !fields->is_array()) throw WireError("a table has no field list");
    for (const auto& f : *fields) {
      if (!f.is_object()) throw WireError("a field is not an object");
      FieldSnapshot field;
      field.properties = DecodeFieldProperties(f.value("properties", json::array()));
      field.stored = StoredFromJson(f.value("stored", json::object()));
      table.fields.push_back(std::move(field));
    }
    table.fieldsError = OptionalString(t, "fieldsError");
    table.stored = StoredFromJson(t.value("stored", json::object()));
    table.indexes = KeyedFromJson<IndexSnapshot>(t, "indexes");
    table.indexesError = OptionalString(t, "indexesError");
    snapshot.tables.push_back(std::move(table));
  }
  snapshot.tablesError = OptionalString(j, "tablesError");
  snapshot.closeError = OptionalString(j, "closeError");
  snapshot.relations = KeyedFromJson<RelationSnapshot>(j, "relations");
  snapshot.systemRelations = KeyedFromJson<RelationSnapshot>(j, "systemRelations");
  snapshot.relationsError = OptionalString(j, "relationsError");
  for (const auto& q : j.value("queries", json::array())) {
    if (!q.is_object()) throw WireError("a query is not an object");
    QuerySnapshot query;
    query.properties = DecodeProperties(q.value("properties", json::array()));
    query.stored = StoredFromJson(q.value("stored", json::object()));
    snapshot.queries.push_back(std::move(query));
  }
  snapshot.queriesError = OptionalString(j, "queriesError");
  for (const auto& c : j.value("containers", json::array())) {
    if (!c.is_object() || !c.contains("name") || !c["name"].is_string()) {
      throw WireError("a container has no name");
    }
    ContainerSnapshot container;
    container.name = c["name"].get<std::string>();
    for (const auto& d : c.value("documents", json::array()))
      container.documents.push_back(DecodeProperties(d));
    snapshot.containers.push_back(std::move(container));
  }
  snapshot.containersError = OptionalString(j, "containersError");
  return snapshot;
}

// The binary form of a snapshot (see docs/FORMAT.md, "Reader messages"): unsigned numbers as
// LEB128, signed ones zig-zagged, texts as a length and their bytes, dates as 8 bytes.
constexpr std::string_view kRequestMagic = "ZTQ\x06";
constexpr std::string_view kResponseMagic = "ZTA\x06";
static_assert(kWireVersion == 6, "the magics carry the version byte");

// Property names both sides know, sent as one byte; any other name is sent in full.
constexpr std::string_view kKnownNames[] = {
    "AllowZeroLength", "Attributes",  "DateCreated",  "DefaultValue", "LastUpdated", "Name",
    "OrdinalPosition", "RecordCount", "Required",     "Size",         "SourceField", "SourceTable",
    "SourceTableName", "Type",        "Primary",      "Unique",       "IgnoreNulls", "Foreign",
    "Clustered",       "Table",       "ForeignTable", "ForeignName",  "SQL",         "Connect",
    "Description",     "Format",      "Caption",      "GUID",
};

// A name's length, first and last letter: the writer finds a known name by it.
constexpr std::uint32_t NameKey(std::string_view name) {
  if (name.empty() || name.size() > 0xFF) return 0;
  return static_cast<std::uint32_t>(name.size()) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(name.front())) << 8 |
         static_cast<unsigned char>(name.back());
}

// Each known name's key, in the names' order.
constexpr auto kKeys = [] {
  std::array<std::uint32_t, std::size(kKnownNames)> keys{};
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = NameKey(kKnownNames[i]);
  return keys;
}();

// Whether no two known names share a key.
constexpr bool KnownNameKeysDiffer() {
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    for (std::size_t j = i + 1; j < kKeys.size(); ++j) {
      if (kKeys[i] == kKeys[j]) return false;
    }
  }
  return true;
}
static_assert(KnownNameKeysDiffer(), "each known name needs a key of its own");

enum Kind : unsigned char { kEmpty, kNull, kFalse, kTrue, kInt, kDate, kString, kError, kDouble };

// The first byte of a streamed answer's parts after its head.
constexpr unsigned char kTablePart = 'T';
constexpr unsigned char kTailPart = 'Z';
constexpr unsigned char kFailurePart = 'E';
// More tables than any database holds (a catalogue row each): an announcement beyond it is
// damage, not a reason to make room.
constexpr std::uint64_t kMaxStreamedTables = 1u << 22;

class BinaryWriter {
 public:
  BinaryWriter() = default;
  // Writes into out from its first used bytes on; Used() tells how far it has written (the
  // bytes beyond are room, not message).
  BinaryWriter(std::string& out, std::size_t used) : out_(&out), used_(used) {}
  BinaryWriter(const BinaryWriter&) = delete;
  BinaryWriter& operator=(const BinaryWriter&) = delete;

  void Raw(std::string_view bytes) {
    char* p = Room(bytes.size());
    if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  void Byte(unsigned char b) {
    *Room(1) = static_cast<char>(b);
    ++used_;
  }
  void Unsigned(std::uint64_t v) {
    char* start = Room(10);
    used_ += static_cast<std::size_t>(PutUnsigned(start, v) - start);
  }
  void Signed(std::int32_t v) {
    Unsigned((static_cast<std::uint32_t>(v) << 1) ^ static_cast<std::uint32_t>(v >> 31));
  }
  void String(std::string_view s) {
    Unsigned(s.size());
    Raw(s);
  }
  void Optional(const std::optional<std::string>& s) {
    Byte(s ? 1 : 0);
    if (s) String(*s);
  }
  void Properties(const PropertySet& set) { Items(set.Items()); }
  // Properties as a set's items, each a name and a read.
  template <typename List>
  void Items(const List& items) {
    Unsigned(items.size());
    for (const auto& [name, read] : items) {
      Name(name);
      if (read.error) {
        Byte(kError);
        String(*read.error);
      } else {
        Value(read.value);
      }
    }
  }
  void Stored(const StoredProperties& stored) {
    Optional(stored.error);
    Properties(stored.values);
  }
  void Fields(const std::vector<FieldSnapshot>& fields) {
    Unsigned(fields.size());
    for (const auto& field : fields) {
      Field(field.properties);
      if (!field.encodedStored.empty()) {
        Raw(field.encodedStored);
      } else {
        Stored(field.stored);
      }
    }
  }
  // The slots set as a bit mask, their values in slot order, then the other properties.
  void Field(const FieldProperties& p) {
    unsigned mask = 0;
    for (unsigned i = 0; i < FieldProperties::kSlotCount; ++i) {
      if (p.Has(static_cast<FieldProperties::Slot>(i))) mask |= 1u << i;
    }
    Unsigned(mask);
    for (unsigned i = 0; i < FieldProperties::kSlotCount; ++i) {
      auto slot = static_cast<FieldProperties::Slot>(i);
      if (!p.Has(slot)) continue;
      switch (FieldProperties::KindOf(slot)) {
        case FieldProperties::Kind::kBool:
          Byte(p.Bool(slot) ? 1 : 0);
          break;
        case FieldProperties::Kind::kInt:
          Signed(p.Int(slot));
          break;
        case FieldProperties::Kind::kText:
          String(p.Text(slot));
          break;
      }
    }
    Properties(p.Others());
  }
  // A field from its record: the bytes Field and Stored give for the FieldSnapshot whose
  // properties are set from it in slot order.
  void Record(const FieldRecord& f) {
    using P = FieldProperties;
    static_assert(P::kAllowZeroLength == 0 && P::kAttributes == 1 && P::kDefaultValue == 2 &&
                      P::kName == 3 && P::kOrdinalPosition == 4 && P::kRequired == 5 &&
                      P::kSize == 6 && P::kSourceField == 7 && P::kSourceTable == 8 &&
                      P::kType == 9 && P::kSlotCount == 10,
                  "the record is written in slot order");
    const bool failed = f.propertiesError != nullptr;
    unsigned mask = (1u << P::kSlotCount) - 1;
    if (failed) {
      mask &= ~((1u << P::kAllowZeroLength) | (1u << P::kDefaultValue) | (1u << P::kRequired));
    }
    // The slots and what follows them up to the stored properties, in room made at once.
    constexpr std::size_t kNumber = 10;  // the longest LEB128 of 64 bits
    const std::size_t bound = 10 * kNumber + f.defaultValue.size() + f.name.size() +
                              f.sourceField.size() + f.sourceTable.size();
    char* const start = Room(bound);
    char* p = PutUnsigned(start, mask);
    if (!failed) *p++ = f.allowZeroLength ? 1 : 0;
    p = PutSigned(p, f.attributes);
    if (!failed) p = PutString(p, f.defaultValue);
    p = PutString(p, f.name);
    p = PutSigned(p, f.ordinalPosition);
    if (!failed) *p++ = f.required ? 1 : 0;
    p = PutSigned(p, f.size);
    p = PutString(p, f.sourceField);
    p = PutString(p, f.sourceTable);
    p = PutSigned(p, f.type);
    const bool storedNone = !f.stored && f.storedValues.empty();
    if (!failed) {
      *p++ = 0;  // no other properties
      if (storedNone) {
        *p++ = 0;  // no stored error
        *p++ = 0;  // no stored values
      }
    }
    used_ += static_cast<std::size_t>(p - start);
    if (failed) {
      // The properties that failed, in the order they were set.
      Unsigned(3);
      for (P::Slot slot : {P::kAllowZeroLength, P::kDefaultValue, P::kRequired}) {
        Name(P::SlotName(slot));
        Byte(kError);
        String(*f.propertiesError);
      }
      if (storedNone) {
        Optional(std::nullopt);
        Unsigned(0);
      }
    }
    if (f.stored) {
      Stored(*f.stored);
    } else if (!storedNone) {
      Optional(std::nullopt);
      Items(f.storedValues);
    }
  }
  template <typename Keyed>
  void KeyedList(const std::vector<Keyed>& items) {
    Unsigned(items.size());
    for (const auto& item : items) {
      Properties(item.properties);
      Unsigned(item.fields.size());
      for (const auto& field : item.fields) Properties(field);
    }
  }
  void Snapshot(const DatabaseSnapshot& db) {
    // Fields already encoded make up most of a large answer: room for them at once.
    std::size_t encoded = 0;
    for (const auto& table : db.tables)
      encoded += table.encodedFields.size() + table.encodedDesign.size();
    Room(encoded + 256 * (db.tables.size() + 1));
    Head(db, db.tables.size());
    for (const auto& table : db.tables) Table(table);
    Tail(db);
  }
  // A snapshot in three parts, whose bytes in a row are the snapshot's: the head (the
  // database's own properties, errors and table count), each table, the tail (the rest).
  void Head(const DatabaseSnapshot& db, std::size_t tables) {
    Properties(db.properties);
    Optional(db.tablesError);
    Optional(db.closeError);
    Unsigned(tables);
  }
  // The fields and the design go as blocks with their length in front, so that a decoder that
  // keeps them for later takes them without walking through them.
  void Table(const TableSnapshot& table) {
    Properties(table.properties);
    Optional(table.fieldsError);
    if (!table.encodedFields.empty()) {
      String(table.encodedFields);
    } else {
      String(EncodeFields(table.fields));
    }
    if (!table.encodedDesign.empty()) {
      String(table.encodedDesign);
    } else {
      BinaryWriter design;
      design.Stored(table.stored);
      design.Optional(table.indexesError);
      design.KeyedList(table.indexes);
      String(design.Take());
    }
  }
  void Tail(const DatabaseSnapshot& db) {
    Optional(db.relationsError);
    KeyedList(db.relations);
    KeyedList(db.systemRelations);
    Optional(db.queriesError);
    Unsigned(db.queries.size());
    for (const auto& query : db.queries) {
      Properties(query.properties);
      Stored(query.stored);
    }
    Optional(db.containersError);
    Unsigned(db.containers.size());
    for (const auto& container : db.containers) {
      String(container.name);
      Unsigned(container.documents.size());
      for (const auto& document : container.documents) Properties(document);
    }
  }
  std::size_t Used() const { return used_; }
  std::string Take() {
    out_->resize(used_);
    return std::move(*out_);
  }

 private:
  void Name(std::string_view name) {
    const std::uint32_t key = NameKey(name);
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
      if (kKeys[i] == key) {
        if (kKnownNames[i] == name) return Byte(static_cast<unsigned char>(i + 1));
        break;
      }
    }
    Byte(0);
    String(name);
  }
  void Value(const Variant& v) {
    if (v.IsEmpty()) return Byte(kEmpty);
    if (v.IsNull()) return Byte(kNull);
    if (v.IsBool()) return Byte(v.AsBool() ? kTrue : kFalse);
    if (v.IsInt()) {
      Byte(kInt);
      return Signed(v.AsInt());
    }
    if (v.IsDate() || v.IsDouble()) {
      Byte(v.IsDate() ? kDate : kDouble);
      std::uint64_t bits = 0;
      double d = v.IsDate() ? v.AsDate() : v.AsDouble();
      std::memcpy(&bits, &d, sizeof bits);
      for (int i = 0; i < 8; ++i) Byte(static_cast<unsigned char>(bits >> (8 * i)));
      return;
    }
    if (v.IsString()) {
      Byte(kString);
      return String(v.AsString());
    }
    throw WireError("an object cannot be sent as a property value");
  }

  static char* PutUnsigned(char* p, std::uint64_t v) {
    while (v >= 0x80) {
      *p++ = static_cast<char>(v | 0x80);
      v >>= 7;
    }
    *p++ = static_cast<char>(v);
    return p;
  }
  static char* PutSigned(char* p, std::int32_t v) {
    return PutUnsigned(p,
                       (static_cast<std::uint32_t>(v) << 1) ^ static_cast<std::uint32_t>(v >> 31));
  }
  static char* PutString(char* p, std::string_view s) {
    p = PutUnsigned(p, s.size());
    if (!s.empty()) std::memcpy(p, s.data(), s.size());
    return p + s.size();
  }

  // Room for n more bytes after the used ones: the buffer grows by doubling.
  char* Room(std::size_t n) {
    if (out_->size() - used_ < n) out_->resize(std::max(2 * out_->size(), used_ + n + 64));
    return out_->data() + used_;
  }

  std::string own_;
  std::string* out_ = &own_;
  std::size_t used_ = 0;
};

// Reads the binary form back; every count and length is checked against what is left.
class BinaryReader {
 public:
  // With lazyFields, each table's fields are checked and kept in their wire form, for
  // DecodeFields when the object model first serves them.
  explicit BinaryReader(std::string_view in, bool lazyFields = false)
      : in_(in), lazyFields_(lazyFields) {}

  unsigned char Byte() {
    if (pos_ >= in_.size()) throw WireError("the message ends too early");
    return static_cast<unsigned char>(in_[pos_++]);
  }
  std::uint64_t Unsigned() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      unsigned char b = Byte();
      v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
    throw WireError("a number in the message is too long");
  }
  std::int32_t Signed() {
    std::uint64_t z = Unsigned();
    if (z > 0xFFFFFFFFu) throw WireError("an integer property is out of range");
    auto u = static_cast<std::uint32_t>(z);
    return static_cast<std::int32_t>((u >> 1) ^ (0u - (u & 1)));
  }
  // A count of items each taking at least minBytes.
  std::size_t Count(std::size_t minBytes) {
    std::uint64_t n = Unsigned();
    if (n > (in_.size() - pos_) / minBytes) throw WireError("a count exceeds the message");
    return static_cast<std::size_t>(n);
  }
  std::string String() { return std::string(StringView()); }
  // A text as it lies in the message.
  std::string_view StringView() {
    std::size_t n = Count(1);
    std::string_view s = in_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  void SkipString() { pos_ += Count(1); }
  void SkipProperties() {
    std::size_t n = Count(2);
    for (std::size_t i = 0; i < n; ++i) {
      SkipName();
      unsigned char kind = Byte();
      switch (kind) {
        case kEmpty:
        case kNull:
        case kFalse:
        case kTrue:
          break;
        case kInt:
          Signed();
          break;
        case kDate:
        case kDouble:
          for (int b = 0; b < 8; ++b) Byte();
          break;
        case kString:
        case kError:
          SkipString();
          break;
        default:
          throw WireError("a property has no known kind");
      }
    }
  }
  void SkipOptional() {
    switch (Byte()) {
      case 0:
        return;
      case 1:
        SkipString();
        return;
      default:
        throw WireError("an optional text is malformed");
    }
  }
  std::optional<std::string> Optional() {
    switch (Byte()) {
      case 0:
        return std::nullopt;
      case 1:
        return String();
      default:
        throw WireError("an optional text is malformed");
    }
  }
  PropertySet Properties() {
    PropertySet set;
    std::size_t n = Count(2);
    if (n == 0) return set;
    set.Reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      std::string name = Name();
      unsigned char kind = Byte();
      switch (kind) {
        case kEmpty:
          set.Set(std::move(name), Variant());
          break;
        case kNull:
          set.Set(std::move(name), Variant::MakeNull());
          break;
        case kFalse:
        case kTrue:
          set.Set(std::move(name), Variant(kind == kTrue));
          break;
        case kInt:
          set.Set(std::move(name), Variant(Signed()));
          break;
        case kDate:
        case kDouble: {
          std::uint64_t bits = 0;
          for (int b = 0; b < 8; ++b) bits |= static_cast<std::uint64_t>(Byte()) << (8 * b);
          double d = 0;
          std::memcpy(&d, &bits, sizeof d);
          set.Set(std::move(name), kind == kDate ? Variant(Variant::Date{d}) : Variant(d));
          break;
        }
        case kString:
          set.Set(std::move(name), Variant(String()));
          break;
        case kError:
          set.Fail(std::move(name), String());
          break;
        default:
          throw WireError("property " + name + " has no known kind");
      }
    }
    return set;
  }
  // Into p, a fresh FieldProperties.
  void Field(FieldProperties& p) {
    std::uint64_t mask = Unsigned();
    if (mask >> FieldProperties::kSlotCount) throw WireError("a field names unknown properties");
    for (unsigned i = 0; i < FieldProperties::kSlotCount; ++i) {
      auto slot = static_cast<FieldProperties::Slot>(i);
      if (!((mask >> i) & 1u)) continue;
      switch (FieldProperties::KindOf(slot)) {
        case FieldProperties::Kind::kBool:
          switch (Byte()) {
            case 0:
              p.SetBool(slot, false);
              break;
            case 1:
              p.SetBool(slot, true);
              break;
            default:
              throw WireError("a field's flag is malformed");
          }
          break;
        case FieldProperties::Kind::kInt:
          p.SetInt(slot, Signed());
          break;
        case FieldProperties::Kind::kText:
          p.AssignText(slot, StringView());
          break;
      }
    }
    // Through Set and Fail: a name that is also a slot's cannot be held twice.
    p.SetAll(Properties());
  }
  StoredProperties Stored() {
    StoredProperties stored;
    stored.error = Optional();
    stored.values = Properties();
    return stored;
  }
  template <typename Keyed>
  std::vector<Keyed> KeyedList() {
    std::vector<Keyed> items(Count(2));
    for (auto& item : items) {
      item.properties = Properties();
      item.fields.resize(Count(1));
      for (auto& field : item.fields) field = Properties();
    }
    return items;
  }
  DatabaseSnapshot Snapshot() {
    DatabaseSnapshot db;
    std::uint64_t tables = Head(db);
    if (tables > (in_.size() - pos_) / 3) throw WireError("a count exceeds the message");
    db.tables.resize(static_cast<std::size_t>(tables));
    for (auto& table : db.tables) Table(table);
    Tail(db);
    return db;
  }
  // The parts of a snapshot (see the writer); Head returns the table count announced.
  std::uint64_t Head(DatabaseSnapshot& db) {
    db.properties = Properties();
    db.tablesError = Optional();
    db.closeError = Optional();
    return Unsigned();
  }
  void Table(TableSnapshot& table) {
    table.properties = Properties();
    table.fieldsError = Optional();
    std::string_view fields = StringView();
    std::string_view design = StringView();
    if (lazyFields_) {
      // Checked when decoded: damage then fails only the member that asks for them.
      table.encodedFields.assign(fields);
      table.encodedDesign.assign(design);
      return;
    }
    table.fields = DecodeFields(fields);
    BinaryReader designReader(design);
    TableDesign decoded = designReader.Design();
    designReader.ExpectEnd();
    table.stored = std::move(decoded.stored);
    table.indexesError = std::move(decoded.indexesError);
    table.indexes = std::move(decoded.indexes);
  }
  // A table's stored properties and indexes.
  TableDesign Design() {
    TableDesign design;
    design.stored = Stored();
    design.indexesError = Optional();
    design.indexes = KeyedList<IndexSnapshot>();
    return design;
  }

  void Tail(DatabaseSnapshot& db) {
    db.relationsError = Optional();
    db.relations = KeyedList<RelationSnapshot>();
    db.systemRelations = KeyedList<RelationSnapshot>();
    db.queriesError = Optional();
    db.queries.resize(Count(3));
    for (auto& query : db.queries) {
      query.properties = Properties();
      query.stored = Stored();
    }
    db.containersError = Optional();
    db.containers.resize(Count(2));
    for (auto& container : db.containers) {
      container.name = String();
      container.documents.resize(Count(1));
      for (auto& document : container.documents) document = Properties();
    }
  }
  // With lazyStored, each field's stored properties are checked and kept in their wire form.
  std::vector<FieldSnapshot> Fields(bool lazyStored = false) {
    std::vector<FieldSnapshot> fields(Count(3));
    for (auto& field : fields) {
      Field(field.properties);
      if (lazyStored) {
        std::size_t start = pos_;
        SkipOptional();
        SkipProperties();
        field.encodedStored.assign(in_.substr(start, pos_ - start));
      } else {
        field.stored.error = Optional();
        field.stored.values = Properties();
      }
    }
    return fields;
  }
  void ExpectEnd() const {
    if (pos_ != in_.size()) throw WireError("the message has bytes past its end");
  }

 private:
  std::string Name() {
    unsigned char code = Byte();
    if (code == 0) return String();
    if (code > std::size(kKnownNames)) throw WireError("a property name code is unknown");
    return std::string(kKnownNames[code - 1]);
  }
  void SkipName() {
    unsigned char code = Byte();
    if (code == 0) return SkipString();
    if (code > std::size(kKnownNames)) throw WireError("a property name code is unknown");
  }

  std::string_view in_;
  std::size_t pos_ = 0;
  bool lazyFields_ = false;
};

// One part kept in its wire form, read whole by read; a failure becomes one of the object
// model, naming what arrived damaged.
template <typename Read>
auto DecodeKept(std::string_view encoded, const char* what, Read read) {
  try {
    BinaryReader r(encoded);
    auto value = read(r);
    r.ExpectEnd();
    return value;
  } catch (const WireError& e) {
    throw AutomationError(std::string(what) + " arrived damaged: " + e.what());
  }
}

// A table's fields, each field's stored properties still kept compact.
std::vector<FieldSnapshot> DecodeKeptFields(std::string_view encoded) {
  return DecodeKept(encoded, "the fields of this table",
                    [](BinaryReader& r) { return r.Fields(/*lazyStored=*/true); });
}

StoredProperties DecodeKeptStored(std::string_view encoded) {
  return DecodeKept(encoded, "the properties of this field",
                    [](BinaryReader& r) { return r.Stored(); });
}

TableDesign DecodeKeptDesign(std::string_view encoded) {
  return DecodeKept(encoded, "the design of this table",
                    [](BinaryReader& r) { return r.Design(); });
}

// A snapshot whose parts stay compact decodes them with these when they are asked for.
void DecodeKeptPartsLater(DatabaseSnapshot& snapshot) {
  snapshot.decodeFields = DecodeKeptFields;
  snapshot.decodeStored = DecodeKeptStored;
  snapshot.decodeDesign = DecodeKeptDesign;
}

}  // namespace

std::string EncodeFields(const std::vector<FieldSnapshot>& fields) {
  BinaryWriter w;
  w.Fields(fields);
  return w.Take();
}

std::vector<FieldSnapshot> DecodeFields(std::string_view encoded) {
  BinaryReader r(encoded);
  std::vector<FieldSnapshot> fields = r.Fields();
  r.ExpectEnd();
  return fields;
}

FieldsWriter::FieldsWriter(std::size_t count) : count_(count) {
  BinaryWriter w(out_, 0);
  w.Unsigned(count);
  used_ = w.Used();
}

void FieldsWriter::Add(const FieldRecord& field) {
  BinaryWriter w(out_, used_);
  w.Record(field);
  used_ = w.Used();
  ++added_;
}

std::string FieldsWriter::Take() {
  if (added_ != count_) {
    throw std::logic_error(std::to_string(added_) + " fields were written of " +
                           std::to_string(count_));
  }
  out_.resize(used_);
  return std::move(out_);
}

std::string EncodeRequest(const std::string& path, RequestScope scope) {
  std::string out(kRequestMagic);
  out += static_cast<char>(scope);
  out += path;
  return out;
}

Request DecodeRequest(std::string_view message) {
  if (message.substr(0, kRequestMagic.size()) != kRequestMagic) {
    throw WireError("the request is not of version " + std::to_string(kWireVersion));
  }
  message.remove_prefix(kRequestMagic.size());
  if (message.empty() || static_cast<unsigned char>(message[0]) > 1) {
    throw WireError("the request asks for an unknown part of the design");
  }
  return Request{std::string(message.substr(1)), static_cast<RequestScope>(message[0])};
}

std::string EncodeResponse(const ReadResponse& response) {
  BinaryWriter w;
  w.Raw(kResponseMagic);
  if (response.snapshot) {
    w.Byte(0);
    w.Snapshot(*response.snapshot);
  } else {
    w.Byte(1);
    w.String(response.error);
  }
  return w.Take();
}

std::string EncodeStreamHead(const ReadResponse& response, std::size_t tables) {
  BinaryWriter w;
  w.Raw(kResponseMagic);
  if (response.snapshot) {
    w.Byte(0);
    w.Head(*response.snapshot, tables);
  } else {
    w.Byte(1);
    w.String(response.error);
  }
  return w.Take();
}

std::string EncodeStreamTable(const TableSnapshot& table) {
  BinaryWriter w;
  w.Byte(kTablePart);
  w.Table(table);
  return w.Take();
}

std::string EncodeStreamTail(const DatabaseSnapshot& snapshot) {
  BinaryWriter w;
  w.Byte(kTailPart);
  w.Tail(snapshot);
  return w.Take();
}

std::string EncodeStreamFailure(const std::string& error) {
  BinaryWriter w;
  w.Byte(kFailurePart);
  w.String(error);
  return w.Take();
}

std::string EncodeStreamedResponse(const ReadResponse& response) {
  auto framed = [](const std::string& payload) { return FramePrefix(payload.size()) + payload; };
  if (!response.snapshot) return framed(EncodeStreamHead(response, 0));
  std::string out = framed(EncodeStreamHead(response, response.snapshot->tables.size()));
  for (const auto& table : response.snapshot->tables) out += framed(EncodeStreamTable(table));
  return out + framed(EncodeStreamTail(*response.snapshot));
}

StreamHead DecodeStreamHead(std::string_view message) {
  if (message.substr(0, kResponseMagic.size()) != kResponseMagic) {
    throw WireError("the response is not of version " + std::to_string(kWireVersion));
  }
  BinaryReader r(message.substr(kResponseMagic.size()));
  StreamHead head;
  switch (r.Byte()) {
    case 0:
      head.snapshot.emplace();
      if (std::uint64_t tables = r.Head(*head.snapshot); tables <= kMaxStreamedTables) {
        head.tables = static_cast<std::size_t>(tables);
      } else {
        throw WireError("the answer announces " + std::to_string(tables) + " tables");
      }
      break;
    case 1:
      head.error = r.String();
      break;
    default:
      throw WireError("the response holds neither a snapshot nor an error");
  }
  r.ExpectEnd();
  return head;
}

StreamPart DecodeStreamPart(std::string_view message, DatabaseSnapshot& snapshot, std::size_t table,
                            bool lazyFields) {
  BinaryReader r(message, lazyFields);
  StreamPart part;
  switch (r.Byte()) {
    case kTablePart:
      if (table >= snapshot.tables.size()) throw WireError("the reader sent too many tables");
      r.Table(snapshot.tables[table]);
      part.kind = StreamPart::kTable;
      break;
    case kTailPart:
      r.Tail(snapshot);
      part.kind = StreamPart::kTail;
      break;
    case kFailurePart:
      part.kind = StreamPart::kFailure;
      part.error = r.String();
      break;
    default:
      throw WireError("a part of the answer is of no known kind");
  }
  r.ExpectEnd();
  if (lazyFields) DecodeKeptPartsLater(snapshot);
  return part;
}

ReadResponse DecodeResponse(std::string_view message, bool lazyFields) {
  if (message.substr(0, kResponseMagic.size()) != kResponseMagic) {
    throw WireError("the response is not of version " + std::to_string(kWireVersion));
  }
  BinaryReader r(message.substr(kResponseMagic.size()), lazyFields);
  ReadResponse response;
  switch (r.Byte()) {
    case 0:
      response.snapshot = r.Snapshot();
      if (lazyFields) DecodeKeptPartsLater(*response.snapshot);
      break;
    case 1:
      response.error = r.String();
      break;
    default:
      throw WireError("the response holds neither a snapshot nor an error");
  }
  r.ExpectEnd();
  return response;
}

std::string EncodeSnapshot(const DatabaseSnapshot& snapshot) {
  return Dump(SnapshotJson(snapshot));
}

DatabaseSnapshot DecodeSnapshot(std::string_view text) {
  return SnapshotFromJson(Parse(text));
}

std::string FramePrefix(std::size_t size) {
  if (size > kMaxFrameBytes)
    throw WireError("a message of " + std::to_string(size) + " bytes is too long");
  std::string prefix(4, '\0');
  for (int i = 0; i < 4; ++i) prefix[i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  return prefix;
}

std::uint32_t FrameLength(const unsigned char prefix[4]) {
  std::uint32_t n = prefix[0] | (prefix[1] << 8) | (prefix[2] << 16) |
                    (static_cast<std::uint32_t>(prefix[3]) << 24);
  if (n > kMaxFrameBytes) throw WireError("a frame announces " + std::to_string(n) + " bytes");
  return n;
}

std::optional<std::string> ReadFrame(int fd) {
  auto readExactly = [fd](char* out, std::size_t n) -> std::size_t {
    std::size_t got = 0;
    while (got < n) {
      ssize_t r = ::read(fd, out + got, n - got);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) throw WireError("reading a frame failed");
      if (r == 0) break;
      got += static_cast<std::size_t>(r);
    }
    return got;
  };
  unsigned char prefix[4];
  std::size_t got = readExactly(reinterpret_cast<char*>(prefix), 4);
  if (got == 0) return std::nullopt;
  if (got < 4) throw WireError("the stream ended inside a frame");
  std::string payload(FrameLength(prefix), '\0');
  if (readExactly(payload.data(), payload.size()) < payload.size()) {
    throw WireError("the stream ended inside a frame");
  }
  return payload;
}

void WriteFrame(int fd, std::string_view payload) {
  // A small frame in one write (an answer streams many); a large payload as it is, behind its
  // prefix, without copying it once more.
  std::string prefix = FramePrefix(payload.size());
  constexpr std::size_t kCopiedUpTo = 64 * 1024;
  if (payload.size() <= kCopiedUpTo) {
    prefix.append(payload);
    payload = {};
  }
  for (std::string_view part : {std::string_view(prefix), payload}) {
    std::size_t sent = 0;
    while (sent < part.size()) {
      ssize_t w = ::write(fd, part.data() + sent, part.size() - sent);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) throw WireError("writing a frame failed");
      sent += static_cast<std::size_t>(w);
    }
  }
}

}  // namespace zentab::engine
