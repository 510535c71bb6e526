// The peer column of zentab-bench: reads the facts zentab-cli documents with the mdb-reader
// package (every table's catalogue row with its LvProp blob, columns and row count) and prints
// how many databases, tables and fields it read, so a run that read nothing shows.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const catalogueColumns = ["Id", "ParentId", "Name", "Type", "Flags", "DateCreate", "DateUpdate",
  "ForeignName", "Database", "LvProp"];
let databases = 0, tables = 0, fields = 0, failed = 0;
for (const path of process.argv.slice(2)) {
  try {
    const reader = new MDBReader(readFileSync(path));
    const catalogue = reader.getTable("MSysObjects").getData({ columns: catalogueColumns });
    const names = reader.getTableNames({ normalTables: true, systemTables: true, linkedTables: true });
    for (const name of names) {
      ++tables;
      try {
        const table = reader.getTable(name);
        fields += table.getColumns().length;
        void table.rowCount;
      } catch {
        // a linked table has no definition here; its catalogue row was read above
      }
    }
    void catalogue;
    ++databases;
  } catch {
    ++failed;
  }
}
console.log(`${databases} ${tables} ${fields} ${failed}`);
