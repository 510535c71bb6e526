// Reading a database's design property by property, along the whole object path each time,
// with failures kept per field, per table and per file.
#include "schema/reader.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <new>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "schema/names.h"

namespace zentab {
namespace {

Variant Table(const ObjectRef& database, std::int32_t i) {
  return database->Invoke("TableDefs", Variant(i));
}

Variant TableProperty(const ObjectRef& database, std::int32_t i, std::string_view name) {
  return InvokeOn(Table(database, i), name);
}

Variant FieldProperty(const ObjectRef& database, std::int32_t i, std::int32_t j,
                      std::string_view name) {
  Variant field = InvokeOn(Table(database, i), "Fields", Variant(j));
  return InvokeOn(field, name);
}

std::int32_t CountOf(const Variant& collection) {
  std::int32_t n = VariantToInt(InvokeOn(collection, "Count"));
  if (n < 0) throw AutomationError("Invalid collection count " + std::to_string(n));
  return n;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  auto doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(year + (m <= 2));
}

constexpr std::int64_t kOleEpochToUnixDays = 25569;  // 1899-12-30 .. 1970-01-01
constexpr std::int64_t kLastOleDay = 2958465;        // 9999-12-31

std::optional<double> DateValue(const Variant& v) {
  if (v.IsDate()) return v.AsDate();
  if (v.IsNull()) return std::nullopt;
  throw AutomationError("Type mismatch");
}

// Every property of object's Properties collection; a value that cannot be read keeps its
// reason in the property.
void ReadProperties(const Variant& object, std::vector<TProperty>& out) {
  Variant properties = InvokeOn(object, "Properties");
  std::int32_t n = CountOf(properties);
  out.clear();
  out.reserve(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) {
    Variant property = InvokeOn(properties, "Item", Variant(k));
    TProperty& p = out.emplace_back();
    p.Name = VariantToText(InvokeOn(property, "Name"));
    try {
      p.Value = InvokeOn(property, "Value");
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      p.Value = Variant::MakeNull();
      p.ErrorMessage = FailureMessage(e);
    }
  }
}

void ReadIndexes(const Variant& table, std::vector<TIndex>& out) {
  Variant indexes = InvokeOn(table, "Indexes");
  std::int32_t n = CountOf(indexes);
  out.assign(static_cast<std::size_t>(n), TIndex{});
  for (std::int32_t k = 0; k < n; ++k) {
    Variant index = InvokeOn(indexes, "Item", Variant(k));
    TIndex& x = out[static_cast<std::size_t>(k)];
    x.Name = VariantToText(InvokeOn(index, "Name"));
    x.Primary = VariantToBool(InvokeOn(index, "Primary"));
    x.Unique = VariantToBool(InvokeOn(index, "Unique"));
    x.IgnoreNulls = VariantToBool(InvokeOn(index, "IgnoreNulls"));
    x.Required = VariantToBool(InvokeOn(index, "Required"));
    x.Foreign = VariantToBool(InvokeOn(index, "Foreign"));
    x.Clustered = VariantToBool(InvokeOn(index, "Clustered"));
    Variant fields = InvokeOn(index, "Fields");
    std::int32_t m = CountOf(fields);
    for (std::int32_t f = 0; f < m; ++f) {
      Variant field = InvokeOn(fields, "Item", Variant(f));
      x.Fields.push_back(TIndexField{VariantToText(InvokeOn(field, "Name")),
                                     VariantToInt(InvokeOn(field, "Attributes"))});
    }
  }
}

void ReadRelations(const ObjectRef& database, const char* member, std::vector<TRelation>& out) {
  Variant relations = database->Invoke(member);
  std::int32_t n = CountOf(relations);
  out.assign(static_cast<std::size_t>(n), TRelation{});
  for (std::int32_t k = 0; k < n; ++k) {
    Variant relation = InvokeOn(relations, "Item", Variant(k));
    TRelation& r = out[static_cast<std::size_t>(k)];
    r.Name = VariantToText(InvokeOn(relation, "Name"));
    r.Table = VariantToText(InvokeOn(relation, "Table"));
    r.ForeignTable = VariantToText(InvokeOn(relation, "ForeignTable"));
    r.Attributes = VariantToInt(InvokeOn(relation, "Attributes"));
    Variant fields = InvokeOn(relation, "Fields");
    std::int32_t m = CountOf(fields);
    for (std::int32_t f = 0; f < m; ++f) {
      Variant field = InvokeOn(fields, "Item", Variant(f));
      r.Fields.push_back(TRelationField{VariantToText(InvokeOn(field, "Name")),
                                        VariantToText(InvokeOn(field, "ForeignName"))});
    }
  }
}

void ReadQueryDefs(const ObjectRef& database, std::vector<TQueryDef>& out) {
  Variant queries = database->Invoke("QueryDefs");
  std::int32_t n = CountOf(queries);
  out.assign(static_cast<std::size_t>(n), TQueryDef{});
  for (std::int32_t k = 0; k < n; ++k) {
    TQueryDef& q = out[static_cast<std::size_t>(k)];
    try {
      Variant query = InvokeOn(queries, "Item", Variant(k));
      q.Name = VariantToText(InvokeOn(query, "Name"));
      q.Type = VariantToInt(InvokeOn(query, "Type"));
      q.Hidden = VariantToBool(InvokeOn(query, "Hidden"));
      q.DateCreated = DateValue(InvokeOn(query, "DateCreated"));
      q.LastUpdated = DateValue(InvokeOn(query, "LastUpdated"));
      q.SQL = VariantToTextNullAsEmpty(InvokeOn(query, "SQL"));
      q.Connect = VariantToTextNullAsEmpty(InvokeOn(query, "Connect"));
      ReadProperties(query, q.Properties);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      q.ErrorMessage = FailureMessage(e);
    }
  }
}

void ReadDocuments(const ObjectRef& database, std::vector<TDocument>& out) {
  static constexpr std::pair<const char*, const char*> kContainers[] = {
      {"Forms", "form"}, {"Reports", "report"}, {"Scripts", "macro"}, {"Modules", "module"}};
  out.clear();
  for (const auto& [container, kind] : kContainers) {
    Variant documents = InvokeOn(database->Invoke("Containers", Variant(container)), "Documents");
    std::int32_t n = CountOf(documents);
    for (std::int32_t k = 0; k < n; ++k) {
      TDocument& d = out.emplace_back();
      d.Kind = kind;
      try {
        Variant document = InvokeOn(documents, "Item", Variant(k));
        d.Name = VariantToText(InvokeOn(document, "Name"));
        d.DateCreated = DateValue(InvokeOn(document, "DateCreated"));
        d.LastUpdated = DateValue(InvokeOn(document, "LastUpdated"));
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception& e) {
        d.ErrorMessage = FailureMessage(e);
      }
    }
  }
}

// What the fixed report does not show; each failure is kept beside what it concerns.
void ReadDatabaseObjects(const ObjectRef& database, TMdb& mdb) {
  try {
    mdb.Version = VariantToText(database->Invoke("Version"));
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    mdb.Version.clear();
  }
  try {
    ReadRelations(database, "Relations", mdb.Relations);
    ReadRelations(database, "SystemRelations", mdb.SystemRelations);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    mdb.Relations.clear();
    mdb.SystemRelations.clear();
    mdb.RelationsError = FailureMessage(e);
  }
  try {
    ReadQueryDefs(database, mdb.QueryDefs);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    mdb.QueryDefs.clear();
    mdb.QueryDefsError = FailureMessage(e);
  }
  try {
    ReadDocuments(database, mdb.Documents);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    mdb.Documents.clear();
    mdb.DocumentsError = FailureMessage(e);
  }
}

}  // namespace

std::int32_t VariantToInt(const Variant& v) {
  if (v.IsInt()) return v.AsInt();
  if (v.IsBool()) return v.AsBool() ? -1 : 0;
  if (v.IsDate() || v.IsDouble()) {
    double r = std::nearbyint(v.IsDate() ? v.AsDate() : v.AsDouble());
    if (r >= -2147483648.0 && r <= 2147483647.0) return static_cast<std::int32_t>(r);
    throw AutomationError("Overflow");
  }
  if (v.IsString()) {
    const std::string& s = v.AsString();
    std::int32_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec == std::errc() && end == s.data() + s.size() && !s.empty()) return value;
    throw AutomationError("Type mismatch");
  }
  if (v.IsNull()) throw AutomationError("Invalid use of Null");
  if (v.IsEmpty()) return 0;
  throw AutomationError("Type mismatch");
}

bool VariantToBool(const Variant& v) {
  if (v.IsBool()) return v.AsBool();
  if (v.IsString()) {
    if (SameMemberName(v.AsString(), "True")) return true;
    if (SameMemberName(v.AsString(), "False")) return false;
  }
  return VariantToInt(v) != 0;
}

std::string VariantToText(const Variant& v) {
  if (v.IsEmpty()) return {};
  if (v.IsString()) return v.AsString();
  if (v.IsInt()) return std::to_string(v.AsInt());
  if (v.IsDouble()) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", v.AsDouble());
    return text;
  }
  if (v.IsBool()) return v.AsBool() ? "True" : "False";
  if (v.IsDate()) return DateToText(v.AsDate());
  if (v.IsNull()) throw AutomationError("Invalid use of Null");
  throw AutomationError("Type mismatch");
}

std::string VariantToText(Variant&& v) {
  if (v.IsString()) return v.TakeString();
  return VariantToText(static_cast<const Variant&>(v));
}

std::string VariantToTextNullAsEmpty(const Variant& v) {
  return v.IsNull() ? std::string() : VariantToText(v);
}

std::string DateToText(double oleDate) {
  if (!std::isfinite(oleDate)) throw AutomationError("Invalid date value");
  double whole = std::trunc(oleDate);
  auto days = static_cast<std::int64_t>(whole);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(oleDate - whole) * 86400.0));
  if (seconds >= 86400 && days == kLastOleDay) {
    seconds = 86399;  // rounding must not carry the last day past the year 9999
  } else if (seconds >= 86400) {
    seconds -= 86400;
    days += 1;
  }
  char text[40];  // yyyy/mm/dd hh:mm:ss, or a year of more digits
  char* out = text;
  auto two = [&out](int v) {
    *out++ = static_cast<char>('0' + v / 10);
    *out++ = static_cast<char>('0' + v % 10);
  };
  if (days != 0) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(days - kOleEpochToUnixDays, y, m, d);
    // Digit by digit for the years a date of a real table has (every table has two); any
    // other year as the general formatting writes it.
    if (y >= 0 && y <= 9999) {
      two(y / 100);
      two(y % 100);
    } else {
      out += std::snprintf(out, 16, "%04d", y);
    }
    *out++ = '/';
    two(m);
    *out++ = '/';
    two(d);
    if (seconds == 0) return std::string(text, out);
    *out++ = ' ';
  }
  auto hours = static_cast<int>(seconds / 3600);
  if (hours >= 10) *out++ = static_cast<char>('0' + hours / 10);
  *out++ = static_cast<char>('0' + hours % 10);
  *out++ = ':';
  two(static_cast<int>(seconds / 60 % 60));
  *out++ = ':';
  two(static_cast<int>(seconds % 60));
  return std::string(text, out);
}

std::string FailureMessage(const std::exception& error) {
  std::string message = error.what();
  if (dynamic_cast<const AutomationError*>(&error)) {
    while (!message.empty()) {
      auto c = static_cast<unsigned char>(message.back());
      if (c == ' ' || c == '.' || c < 0x20 || c == 0x7F) {
        message.pop_back();
      } else {
        break;
      }
    }
  }
  return message;
}

void ReadAheadMdb(const std::string& path) {
  try {
    CreateAutomationObject(kEngineProgId)->Invoke("ReadAhead", Variant(path));
  } catch (const AutomationError&) {
    // An engine without the member, or none at all: ReadMdb says what is wrong.
  }
}

void OpenMdb(ObjectRef& engine, ObjectRef& database, const std::string& path) {
  engine = CreateAutomationObject(kEngineProgId);
  try {
    Variant workspace = engine->Invoke("Workspaces", Variant(std::int32_t{0}));
    const Variant args[] = {Variant(path), Variant(false), Variant(false)};
    Variant db = InvokeOn(workspace, "OpenDatabase", args);
    if (!db.IsObject() || !db.AsObject())
      throw AutomationError("OpenDatabase returned no database");
    database = db.AsObject();
  } catch (...) {
    engine.reset();
    throw;
  }
}

void CloseMdb(ObjectRef& engine, ObjectRef& database) {
  struct Release {
    ObjectRef& engine;
    ObjectRef& database;
    ~Release() {
      database.reset();
      engine.reset();
    }
  } release{engine, database};
  if (database) database->Invoke("Close");
}

void ReadField(const ObjectRef& database, std::int32_t i, std::int32_t j, TTableDefField& field,
               ReadScope scope) {
  auto read = [&](std::string_view name) { return FieldProperty(database, i, j, name); };
  try {
    field.AllowZeroLength = VariantToBool(read("AllowZeroLength"));
    field.AttributeBits = VariantToInt(read("Attributes"));
    field.Attributes = FieldAttributesText(field.AttributeBits);
    field.DefaultValue = VariantToText(read("DefaultValue"));
    field.Name = VariantToText(read("Name"));
    field.OrdinalPosition = VariantToInt(read("OrdinalPosition"));
    field.Required = VariantToBool(read("Required"));
    field.Size = VariantToInt(read("Size"));
    field.SourceField = VariantToText(read("SourceField"));
    field.SourceTable = VariantToText(read("SourceTable"));
    field.Type = VariantToInt(read("Type"));
    field.TypeName = FieldTypeName(field.Type);
  } catch (const std::bad_alloc&) {
    throw;  // not a read failure of this item: the job cannot go on
  } catch (const std::exception& e) {
    field.ErrorMessage = FailureMessage(e);
    return;
  }
  if (scope == ReadScope::kReport) return;
  try {
    ReadProperties(InvokeOn(Table(database, i), "Fields", Variant(j)), field.Properties);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    field.PropertiesError = FailureMessage(e);
  }
}

void ReadTableDef(const ObjectRef& database, std::int32_t i, TTableDef& table, ReadScope scope) {
  auto read = [&](std::string_view name) { return TableProperty(database, i, name); };
  try {
    table.AttributeBits = VariantToInt(read("Attributes"));
    table.Attributes = TableAttributesText(table.AttributeBits);
    Variant created = read("DateCreated");
    table.DateCreated = VariantToTextNullAsEmpty(created);
    if (created.IsDate()) table.DateCreatedValue = created.AsDate();
    Variant updated = read("LastUpdated");
    table.LastUpdated = VariantToTextNullAsEmpty(updated);
    if (updated.IsDate()) table.LastUpdatedValue = updated.AsDate();
    table.Name = VariantToText(read("Name"));
    table.RecordCount = VariantToInt(read("RecordCount"));
    table.SourceTableName = VariantToText(read("SourceTableName"));
    std::int32_t m = CountOf(read("Fields"));
    table.Fields.clear();
    table.Fields.resize(static_cast<std::size_t>(m));
    for (std::int32_t j = 0; j < m; ++j) {
      ReadField(database, i, j, table.Fields[static_cast<std::size_t>(j)], scope);
    }
  } catch (const std::bad_alloc&) {
    throw;  // not a read failure of this item: the job cannot go on
  } catch (const std::exception& e) {
    table.ErrorMessage = FailureMessage(e);
    return;
  }
  if (scope == ReadScope::kReport) return;
  try {
    Variant object = Table(database, i);
    table.Connect = VariantToTextNullAsEmpty(InvokeOn(object, "Connect"));
    ReadProperties(object, table.Properties);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    table.PropertiesError = FailureMessage(e);
  }
  try {
    ReadIndexes(Table(database, i), table.Indexes);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    table.Indexes.clear();
    table.IndexesError = FailureMessage(e);
  }
}

void ReadMdb(const std::string& path, TMdb& mdb, ReadScope scope) {
  mdb = TMdb{};
  mdb.StartTick = platform::TickCount();
  mdb.Path = path;
  ObjectRef engine;
  ObjectRef database;
  OpenMdb(engine, database, path);
  try {
    // The report is UTF-8 inside: a CP932 file name is shown as the characters it holds.
    mdb.Name = platform::NameAsUtf8(platform::FileNameOf(path));
    std::int32_t n = CountOf(database->Invoke("TableDefs"));
    mdb.TableDefs.assign(static_cast<std::size_t>(n), TTableDef{});
    for (std::int32_t i = 0; i < n; ++i) {
      TTableDef table;
      ReadTableDef(database, i, table, scope);
      mdb.TableDefs[static_cast<std::size_t>(i)] = std::move(table);
    }
  } catch (const std::bad_alloc&) {
    throw;  // not a read failure of this item: the job cannot go on
  } catch (const std::exception& e) {
    mdb.ErrorMessage = FailureMessage(e);
  }
  if (scope == ReadScope::kDesign && mdb.ErrorMessage.empty()) ReadDatabaseObjects(database, mdb);
  CloseMdb(engine, database);
  mdb.EndTick = platform::TickCount();
}

}  // namespace zentab
