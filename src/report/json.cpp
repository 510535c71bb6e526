// Rendering the records as the JSON document: keys and order fixed, Null and unreadable values
// as null with the reason in the nearest "error".
#include "report/json.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "schema/names.h"
#include "schema/reader.h"

namespace zentab {
namespace {

using nlohmann::json;
// Keys stay in the order the document defines them.
using ordered = nlohmann::ordered_json;

constexpr int kDocumentVersion = 1;

ordered Error(const std::string& message) {
  return message.empty() ? ordered(nullptr) : ordered(message);
}

ordered Date(const std::optional<double>& d) {
  if (!d) return nullptr;
  auto text = IsoDateTime(*d);
  return text ? ordered(*text) : ordered(nullptr);
}

ordered Value(const Variant& v) {
  if (v.IsBool()) return v.AsBool();
  if (v.IsInt()) return v.AsInt();
  if (v.IsDouble()) return std::isfinite(v.AsDouble()) ? ordered(v.AsDouble()) : ordered(nullptr);
  if (v.IsDate()) return Date(v.AsDate());
  if (v.IsString()) return v.AsString();
  return nullptr;
}

// Properties as an object by name; a property that could not be read is null and its reason is
// appended to errors.
ordered Properties(const std::vector<TProperty>& properties, std::string& errors) {
  ordered out = ordered::object();
  for (const auto& p : properties) {
    out[p.Name] = p.ErrorMessage.empty() ? Value(p.Value) : ordered(nullptr);
    if (!p.ErrorMessage.empty()) errors += (errors.empty() ? "" : "; ") + p.ErrorMessage;
  }
  return out;
}

std::string Joined(std::string a, const std::string& b) {
  if (b.empty()) return a;
  return a.empty() ? b : a + "; " + b;
}

ordered Field(const TTableDefField& f) {
  std::string errors = f.PropertiesError;
  ordered properties = Properties(f.Properties, errors);
  ordered out;
  out["ordinalPosition"] = f.OrdinalPosition;
  out["name"] = f.Name;
  out["type"] = f.Type;
  out["typeName"] = f.TypeName;
  out["size"] = f.Size;
  out["allowZeroLength"] = f.AllowZeroLength;
  out["required"] = f.Required;
  out["attributes"] = f.AttributeBits;
  out["attributesText"] = f.Attributes;
  out["defaultValue"] = f.DefaultValue;
  out["sourceTable"] = f.SourceTable;
  out["sourceField"] = f.SourceField;
  out["properties"] = std::move(properties);
  out["error"] = Error(Joined(f.ErrorMessage, errors));
  return out;
}

ordered Index(const TIndex& x) {
  ordered fields = ordered::array();
  for (const auto& f : x.Fields) {
    fields.push_back(ordered{{"name", f.Name}, {"descending", (f.Attributes & 1) != 0}});
  }
  ordered out;
  out["name"] = x.Name;
  out["primary"] = x.Primary;
  out["unique"] = x.Unique;
  out["ignoreNulls"] = x.IgnoreNulls;
  out["required"] = x.Required;
  out["foreign"] = x.Foreign;
  out["clustered"] = x.Clustered;
  out["fields"] = std::move(fields);
  return out;
}

ordered Table(const TTableDef& t) {
  std::string errors = t.PropertiesError;
  ordered properties = Properties(t.Properties, errors);
  ordered fields = ordered::array();
  for (const auto& f : t.Fields) fields.push_back(Field(f));
  ordered indexes = ordered::array();
  for (const auto& x : t.Indexes) indexes.push_back(Index(x));
  ordered out;
  out["name"] = t.Name;
  out["attributes"] = t.AttributeBits;
  out["attributesText"] = t.Attributes;
  out["recordCount"] = t.RecordCount;
  out["sourceTableName"] = t.SourceTableName;
  out["connect"] = t.Connect;
  out["dateCreated"] = Date(t.DateCreatedValue);
  out["lastUpdated"] = Date(t.LastUpdatedValue);
  out["properties"] = std::move(properties);
  out["error"] = Error(Joined(Joined(t.ErrorMessage, errors), t.IndexesError));
  out["fields"] = std::move(fields);
  out["indexes"] = std::move(indexes);
  return out;
}

ordered Relation(const TRelation& r) {
  constexpr std::int32_t kOneToOne = 1;
  constexpr std::int32_t kNotEnforced = 2;
  constexpr std::int32_t kCascadeUpdates = 256;
  constexpr std::int32_t kCascadeDeletes = 4096;
  ordered fields = ordered::array();
  for (const auto& f : r.Fields) {
    fields.push_back(ordered{{"name", f.Name}, {"foreignName", f.ForeignName}});
  }
  ordered out;
  out["name"] = r.Name;
  out["table"] = r.Table;
  out["foreignTable"] = r.ForeignTable;
  out["attributes"] = r.Attributes;
  out["enforced"] = (r.Attributes & kNotEnforced) == 0;
  out["cascadeUpdates"] = (r.Attributes & kCascadeUpdates) != 0;
  out["cascadeDeletes"] = (r.Attributes & kCascadeDeletes) != 0;
  out["cardinality"] = (r.Attributes & kOneToOne) ? "1:1" : "1:n";
  out["fields"] = std::move(fields);
  return out;
}

ordered Query(const TQueryDef& q) {
  std::string errors = q.ErrorMessage;
  ordered properties = Properties(q.Properties, errors);
  ordered out;
  out["name"] = q.Name;
  out["type"] = q.Type;
  out["typeName"] = std::string(QueryTypeName(q.Type));
  out["hidden"] = q.Hidden;
  out["sql"] = q.SQL;
  out["connect"] = q.Connect;
  out["dateCreated"] = Date(q.DateCreated);
  out["lastUpdated"] = Date(q.LastUpdated);
  out["properties"] = std::move(properties);
  out["error"] = Error(errors);
  return out;
}

ordered Database(const TMdb& mdb) {
  ordered tables = ordered::array();
  ordered relations = ordered::array();
  ordered systemRelations = ordered::array();
  ordered queries = ordered::array();
  ordered objects = ordered::array();
  if (mdb.ErrorMessage.empty()) {
    for (const auto& t : mdb.TableDefs) tables.push_back(Table(t));
    for (const auto& r : mdb.Relations) relations.push_back(Relation(r));
    for (const auto& r : mdb.SystemRelations) systemRelations.push_back(Relation(r));
    for (const auto& q : mdb.QueryDefs) queries.push_back(Query(q));
    for (const auto& d : mdb.Documents) {
      objects.push_back(ordered{{"kind", d.Kind},
                                {"name", d.Name},
                                {"dateCreated", Date(d.DateCreated)},
                                {"lastUpdated", Date(d.LastUpdated)},
                                {"error", Error(d.ErrorMessage)}});
    }
  }
  auto format = FormatName(mdb.Version);
  ordered out;
  out["path"] = mdb.Path;
  out["name"] = mdb.Name;
  out["format"] = format ? ordered(*format) : ordered(nullptr);
  out["error"] =
      Error(Joined(Joined(Joined(mdb.ErrorMessage, mdb.RelationsError), mdb.QueryDefsError),
                   mdb.DocumentsError));
  out["tables"] = std::move(tables);
  out["relationships"] = std::move(relations);
  out["systemRelationships"] = std::move(systemRelations);
  out["queries"] = std::move(queries);
  out["objects"] = std::move(objects);
  return out;
}

}  // namespace

std::optional<std::string> IsoDateTime(double oleDate) {
  // 0100-01-01 up to 9999-12-31 23:59:59, the automation date range.
  if (!(oleDate >= -657434.0 && oleDate < 2958466.0)) return std::nullopt;
  std::string text;
  try {
    text = DateToText(oleDate);
  } catch (const AutomationError&) {
    return std::nullopt;
  }
  // DateToText drops the time at midnight and the date in the first day; rebuild the full form
  // from its parts.
  int y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
  auto slash = text.find('/');
  auto colon = text.find(':');
  if (slash != std::string::npos && std::sscanf(text.c_str(), "%d/%d/%d", &y, &mo, &d) != 3) {
    return std::nullopt;
  }
  if (colon != std::string::npos) {
    auto space = text.find(' ');
    const char* time = text.c_str() + (space == std::string::npos ? 0 : space + 1);
    if (std::sscanf(time, "%d:%d:%d", &h, &mi, &s) != 3) return std::nullopt;
  }
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
  return std::string(out);
}

std::optional<std::string> FormatName(const std::string& version) {
  if (version == "3.0") return "Jet3";
  if (version == "4.0") return "Jet4";
  for (const char* ace : {"12", "14", "15", "16", "17"}) {
    if (version == std::string(ace) + ".0") return std::string("ACE") + ace;
  }
  return std::nullopt;
}

JsonDocumentWriter::JsonDocumentWriter(Sink sink, const std::string& generated)
    : sink_(std::move(sink)) {
  sink_("{\n  \"zentab\": " + std::to_string(kDocumentVersion) + ",\n  \"generated\": " +
        ordered(generated).dump(-1, ' ', false, json::error_handler_t::replace) +
        ",\n  \"databases\": [");
}

void JsonDocumentWriter::Add(const TMdb& mdb) {
  std::string text = Database(mdb).dump(2, ' ', false, json::error_handler_t::replace);
  // Nested two levels deep in the document.
  std::string indented = (first_ ? "\n    " : ",\n    ");
  indented.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    indented += c;
    if (c == '\n') indented += "    ";
  }
  first_ = false;
  sink_(indented);
}

void JsonDocumentWriter::Finish() {
  sink_(first_ ? "]\n}\n" : "\n  ]\n}\n");
}

std::string RenderJson(const std::vector<TMdb>& databases, const std::string& generated) {
  std::string out;
  JsonDocumentWriter writer([&out](std::string_view piece) { out.append(piece); }, generated);
  for (const auto& mdb : databases) writer.Add(mdb);
  writer.Finish();
  return out;
}

}  // namespace zentab
