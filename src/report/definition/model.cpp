// Reads the records into the document's view.
#include "report/definition/model.h"

namespace zentab::report {

DatabaseView ViewOf(const TMdb& mdb) {
  DatabaseView db;
  db.name = mdb.Name;
  db.error = mdb.ErrorMessage;
  for (const auto& t : mdb.TableDefs) {
    TableView table;
    table.name = t.Name;
    table.attributes = t.Attributes;
    table.linked = !t.SourceTableName.empty();
    table.recordCount = table.linked ? "" : std::to_string(t.RecordCount);
    table.source = t.SourceTableName;
    table.created = t.DateCreated;
    table.updated = t.LastUpdated;
    table.error = t.ErrorMessage;
    for (const auto& f : t.Fields) {
      FieldView field;
      field.name = f.Name;
      field.type = f.TypeName;
      field.size = std::to_string(f.Size);
      field.defaultValue = f.DefaultValue;
      field.required = f.Required;
      field.allowZeroLength = f.AllowZeroLength;
      table.fields.push_back(std::move(field));
    }
    db.tables.push_back(std::move(table));
  }
  return db;
}

}  // namespace zentab::report
