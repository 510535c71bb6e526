// Reads the records into the document's view.
#include "report/definition/model.h"

#include <cstdio>

#include "report/json.h"
#include "schema/names.h"
#include "schema/reader.h"

namespace zentab::report {
namespace {

std::string DateText(const std::optional<double>& date) {
  return date ? DateToText(*date) : std::string();
}

// A stored property as the document prints it.
std::string ValueText(const Variant& v) {
  if (v.IsString()) return v.AsString();
  if (v.IsBool()) return v.AsBool() ? "はい" : "いいえ";
  if (v.IsInt()) return std::to_string(v.AsInt());
  if (v.IsDouble()) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15g", v.AsDouble());
    return buffer;
  }
  if (v.IsDate()) return DateToText(v.AsDate());
  return {};
}

PropertyTexts TextsOf(const std::vector<TProperty>& properties) {
  PropertyTexts texts;
  for (const auto& p : properties) texts.values[p.Name] = ValueText(p.Value);
  return texts;
}

RelationView ViewOf(const TRelation& r) {
  RelationView view;
  view.name = r.Name;
  view.table = r.Table;
  view.foreignTable = r.ForeignTable;
  for (const auto& f : r.Fields) view.fields.emplace_back(f.Name, f.ForeignName);
  view.oneToOne = r.Attributes & 0x1;
  view.enforced = !(r.Attributes & 0x2);
  view.cascadeUpdates = r.Attributes & 0x100;
  view.cascadeDeletes = r.Attributes & 0x1000;
  return view;
}

}  // namespace

DatabaseView ViewOf(const TMdb& mdb) {
  DatabaseView db;
  db.name = mdb.Name;
  db.path = mdb.Path;
  if (auto format = FormatName(mdb.Version)) {
    db.format = *format + " (" + mdb.Version + ")";
  } else {
    db.format = mdb.Version;
  }
  db.error = mdb.ErrorMessage;
  for (const auto& t : mdb.TableDefs) {
    TableView table;
    static_cast<PropertyTexts&>(table) = TextsOf(t.Properties);
    table.name = t.Name;
    table.attributes = t.Attributes;
    table.linked = !t.SourceTableName.empty();
    table.recordCount = table.linked ? "" : std::to_string(t.RecordCount);
    table.source = t.SourceTableName;
    table.created = t.DateCreated;
    table.updated = t.LastUpdated;
    table.error = t.ErrorMessage;
    table.indexesError = t.IndexesError;
    for (const auto& f : t.Fields) {
      FieldView field;
      static_cast<PropertyTexts&>(field) = TextsOf(f.Properties);
      field.name = f.Name;
      field.type = f.TypeName;
      field.size = std::to_string(f.Size);
      field.defaultValue = f.DefaultValue;
      field.required = f.Required;
      field.allowZeroLength = f.AllowZeroLength;
      table.fields.push_back(std::move(field));
    }
    for (const auto& i : t.Indexes) {
      IndexView index;
      index.name = i.Name;
      for (const auto& f : i.Fields) {
        index.fields.push_back(f.Name);
        index.descending.push_back(f.Attributes & 0x1);
      }
      index.primary = i.Primary;
      index.unique = i.Unique;
      index.ignoreNulls = i.IgnoreNulls;
      index.required = i.Required;
      index.foreign = i.Foreign;
      table.indexes.push_back(std::move(index));
    }
    db.tables.push_back(std::move(table));
  }
  for (const auto& r : mdb.Relations) db.relations.push_back(ViewOf(r));
  db.queriesError = mdb.QueryDefsError;
  for (const auto& q : mdb.QueryDefs) {
    QueryView query;
    query.name = q.Name;
    query.typeName = std::string(QueryTypeName(q.Type));
    query.sql = q.SQL;
    query.connect = q.Connect;
    query.created = DateText(q.DateCreated);
    query.updated = DateText(q.LastUpdated);
    query.error = q.ErrorMessage;
    query.hidden = q.Hidden;
    db.queries.push_back(std::move(query));
  }
  static const std::map<std::string, std::string> kKinds = {
      {"form", "フォーム"}, {"report", "レポート"}, {"macro", "マクロ"}, {"module", "モジュール"}};
  for (const auto& d : mdb.Documents) {
    auto kind = kKinds.find(d.Kind);
    db.objects.push_back({kind == kKinds.end() ? d.Kind : kind->second, d.Name,
                          DateText(d.DateCreated), DateText(d.LastUpdated)});
  }
  return db;
}

}  // namespace zentab::report
