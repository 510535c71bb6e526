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

}  // namespace

std::int32_t VariantToInt(const Variant& v) {
  if (v.IsInt()) return v.AsInt();
  if (v.IsBool()) return v.AsBool() ? -1 : 0;
  if (v.IsDate()) {
    double r = std::nearbyint(v.AsDate());
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
  if (v.IsBool()) return v.AsBool() ? "True" : "False";
  if (v.IsDate()) return DateToText(v.AsDate());
  if (v.IsNull()) throw AutomationError("Invalid use of Null");
  throw AutomationError("Type mismatch");
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
  char time[32];
  std::snprintf(time, sizeof time, "%d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  if (days == 0) return time;
  int y = 0, m = 0, d = 0;
  CivilFromDays(days - kOleEpochToUnixDays, y, m, d);
  char date[32];
  std::snprintf(date, sizeof date, "%04d/%02d/%02d", y, m, d);
  if (seconds == 0) return date;
  return std::string(date) + " " + time;
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

void ReadField(const ObjectRef& database, std::int32_t i, std::int32_t j, TTableDefField& field) {
  auto read = [&](std::string_view name) { return FieldProperty(database, i, j, name); };
  try {
    field.AllowZeroLength = VariantToBool(read("AllowZeroLength"));
    field.Attributes = FieldAttributesText(VariantToInt(read("Attributes")));
    field.DefaultValue = VariantToText(read("DefaultValue"));
    field.Name = VariantToText(read("Name"));
    field.OrdinalPosition = VariantToInt(read("OrdinalPosition"));
    field.Required = VariantToBool(read("Required"));
    field.Size = VariantToInt(read("Size"));
    field.SourceField = VariantToText(read("SourceField"));
    field.SourceTable = VariantToText(read("SourceTable"));
    field.TypeName = FieldTypeName(VariantToInt(read("Type")));
  } catch (const std::bad_alloc&) {
    throw;  // not a read failure of this item: the job cannot go on
  } catch (const std::exception& e) {
    field.ErrorMessage = FailureMessage(e);
  }
}

void ReadTableDef(const ObjectRef& database, std::int32_t i, TTableDef& table) {
  auto read = [&](std::string_view name) { return TableProperty(database, i, name); };
  try {
    table.Attributes = TableAttributesText(VariantToInt(read("Attributes")));
    table.DateCreated = VariantToTextNullAsEmpty(read("DateCreated"));
    table.LastUpdated = VariantToTextNullAsEmpty(read("LastUpdated"));
    table.Name = VariantToText(read("Name"));
    table.RecordCount = VariantToInt(read("RecordCount"));
    table.SourceTableName = VariantToText(read("SourceTableName"));
    std::int32_t m = CountOf(read("Fields"));
    table.Fields.assign(static_cast<std::size_t>(m), TTableDefField{});
    for (std::int32_t j = 0; j < m; ++j) {
      TTableDefField field;
      ReadField(database, i, j, field);
      table.Fields[static_cast<std::size_t>(j)] = std::move(field);
    }
  } catch (const std::bad_alloc&) {
    throw;  // not a read failure of this item: the job cannot go on
  } catch (const std::exception& e) {
    table.ErrorMessage = FailureMessage(e);
  }
}

void ReadMdb(const std::string& path, TMdb& mdb) {
  mdb = TMdb{};
  mdb.StartTick = platform::TickCount();
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
      ReadTableDef(database, i, table);
      mdb.TableDefs[static_cast<std::size_t>(i)] = std::move(table);
    }
  } catch (const std::bad_alloc&) {
    throw;  // not a read failure of this item: the job cannot go on
  } catch (const std::exception& e) {
    mdb.ErrorMessage = FailureMessage(e);
  }
  CloseMdb(engine, database);
  mdb.EndTick = platform::TickCount();
}

}  // namespace zentab
