// Files the writer makes, read back by mdbtools' own programs (mdb-tables, mdb-schema,
// mdb-prop, mdb-count, mdb-export): the tables, columns, types, sizes, properties, catalog
// rows and row values the descriptions asked for. Skipped when mdbtools is not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "mkmdb/mkmdb.h"
#include "mkmdb_support.h"

namespace zentab::mkmdb {
namespace {

using testing::ParseCsv;
using testing::ShellQuote;
using testing::TempDir;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// How mdb-schema's access backend names each type.
std::string SchemaType(const FieldDescription& field) {
  switch (field.type) {
    case FieldType::kBoolean:
      return "Boolean";
    case FieldType::kByte:
      return "Byte";
    case FieldType::kInteger:
      return "Integer";
    case FieldType::kLong:
      return "Long Integer";
    case FieldType::kCurrency:
      return "Currency";
    case FieldType::kSingle:
      return "Single";
    case FieldType::kDouble:
      return "Double";
    case FieldType::kDateTime:
      return "DateTime";
    case FieldType::kBinary:
      return "Binary";
    case FieldType::kText:
      return "Text (" + std::to_string(field.size) + ")";
    case FieldType::kOle:
      return "OLE (255)";
    case FieldType::kMemo:
      return "Memo/Hyperlink (255)";
    case FieldType::kGuid:
      return "Replication ID";
    case FieldType::kDecimal:
      return "Numeric (18, 0)";
    case FieldType::kBigInt:
      return "Unknown_0013";
  }
  return "?";
}

// The containers and MSysObjects types of forms, reports, macros and modules in files Access
// writes.
const char* ContainerOf(ObjectDescription::Kind kind) {
  switch (kind) {
    case ObjectDescription::Kind::kForm:
      return "Forms";
    case ObjectDescription::Kind::kReport:
      return "Reports";
    case ObjectDescription::Kind::kMacro:
      return "Scripts";
    case ObjectDescription::Kind::kModule:
      break;
  }
  return "Modules";
}
std::uint16_t ObjectType(ObjectDescription::Kind kind) {
  switch (kind) {
    case ObjectDescription::Kind::kForm:
      return 0x8000;
    case ObjectDescription::Kind::kReport:
      return 0x8004;
    case ObjectDescription::Kind::kMacro:
      return 0x8002;
    case ObjectDescription::Kind::kModule:
      break;
  }
  return 0x8007;
}

// How mdb-prop prints a property: Booleans as yes/no, numbers as printf's %d and %g.
std::string Shown(const PropertyValue& value) {
  char number[64];
  switch (value.kind) {
    case PropertyValue::Kind::kBoolean:
      return value.boolean ? "yes" : "no";
    case PropertyValue::Kind::kLong:
      return std::to_string(value.integer);
    case PropertyValue::Kind::kDouble:
      std::snprintf(number, sizeof number, "%g", value.number);
      return number;
    case PropertyValue::Kind::kText:
      break;
  }
  return value.text;
}

// What a row holds in the simple columns: its number (autonumbers count from 1), text as
// its last digits, zero-padded (and space-padded to the size when fixed).
std::optional<std::string> ExpectedValue(const FieldDescription& field, std::uint64_t row) {
  switch (field.type) {
    case FieldType::kLong:
      return std::to_string(field.autoNumber ? row + 1 : row);
    case FieldType::kInteger:
    case FieldType::kDouble:
      return std::to_string(row);
    case FieldType::kBoolean:
      return row % 2 ? "1" : "0";
    case FieldType::kText:
    case FieldType::kMemo: {
      const int width = field.type == FieldType::kMemo ? 8 : std::min(field.size, 8);
      std::string digits = std::to_string(row);
      digits = std::string(width > int(digits.size()) ? width - digits.size() : 0, '0') + digits;
      digits = digits.substr(digits.size() - width);
      if (field.type == FieldType::kText && field.fixed) digits.resize(field.size, ' ');
      return digits;
    }
    default:
      return std::nullopt;
  }
}

class MdbToolsReadBack : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HavePrograms(
            {"mdb-tables", "mdb-schema", "mdb-prop", "mdb-count", "mdb-export"})) {
      GTEST_SKIP() << "mdbtools' programs are not installed";
    }
  }

  // Writes the description and checks everything mdbtools reads back against it.
  void WriteAndCheck(const std::string& json, std::uint64_t exportRowsUpTo = 5000) {
    description_ = ParseDescription(json);
    path_ = dir_.File("db.mdb");
    WriteMdbFromJson(json, path_);
    env_ = "MDB_JET3_CHARSET=CP" + std::to_string(description_.codePage) + " ";
    CheckTableList();
    CheckCatalog();
    CheckRelationships();
    CheckQueries();
    // A broken file can make every further read spin until its time limit: stop at the first.
    for (const TableDescription& table : description_.tables) {
      if (table.link && !HasFailure()) CheckProperties(table);
      if (table.link || HasFailure()) continue;
      SCOPED_TRACE("table " + table.name);
      CheckSchema(table);
      CheckIndexes(table);
      CheckProperties(table);
      CheckRows(table, exportRowsUpTo);
    }
  }

  std::string Tool(const std::string& program, const std::string& args) {
    const auto result = mkmdb::testing::Run(env_ + program + " " + args, false, true);
    EXPECT_EQ(result.status, 0) << program << " " << args;
    return result.out;
  }

  void CheckTableList() {
    std::vector<std::string> expected{"MSysObjects"};
    std::set<std::string> all{"3 Tables", "3 Databases", "3 Relationships", "1 MSysObjects"};
    if (!description_.relationships.empty()) {
      expected.push_back("MSysRelationships");
      all.insert("1 MSysRelationships");
    }
    if (!description_.queries.empty()) {
      expected.push_back("MSysQueries");
      all.insert("1 MSysQueries");
    }
    for (const QueryDescription& query : description_.queries) all.insert("5 " + query.name);
    for (const RelationshipDescription& relationship : description_.relationships) {
      all.insert("8 " + relationship.name);
    }
    for (const TableDescription& table : description_.tables) {
      if (!table.link) expected.push_back(table.name);
      all.insert(std::to_string(!table.link ? 1 : table.link->odbc ? 4 : 6) + " " + table.name);
    }
    // mdb-tables names an object's type by its low byte.
    for (const ObjectDescription& object : description_.objects) {
      all.insert(std::to_string(ObjectType(object.kind) & 0xFF) + " " + object.name);
      all.insert(std::string("3 ") + ContainerOf(object.kind));
    }
    EXPECT_EQ(Lines(Tool("mdb-tables", "-S -1 " + ShellQuote(path_))), expected);
    const auto listed = Lines(Tool("mdb-tables", "-S -t all -T -1 " + ShellQuote(path_)));
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), all);
  }

  void CheckCatalog() {
    const auto rows = ParseCsv(Tool("mdb-export", "-b hex " + ShellQuote(path_) + " MSysObjects"));
    ASSERT_FALSE(rows.empty());
    const std::vector<std::string> columns{
        "Id",          "ParentId", "Name",     "Type",     "DateCreate",  "DateUpdate",
        "Owner",       "Flags",    "Database", "Connect",  "ForeignName", "RmtInfoShort",
        "RmtInfoLong", "Lv",       "LvProp",   "LvModule", "LvExtra"};
    ASSERT_EQ(rows[0], columns);
    // Rows by container (ParentId) and name: names repeat across containers.
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> rowOf;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i].size(), columns.size());
      EXPECT_TRUE(rowOf.emplace(std::make_pair(rows[i][1], rows[i][2]), rows[i]).second)
          << "one row per name in a container: " << rows[i][2];
    }
    std::map<std::string, std::vector<std::string>> byName;  // the containers
    for (const auto& [key, row] : rowOf) {
      if (key.first == "251658240") byName[key.second] = row;  // 0x0F000000
    }
    for (const char* container : {"Tables", "Databases", "Relationships"}) {
      ASSERT_TRUE(byName.count(container)) << container;
      EXPECT_EQ(byName[container][1], "251658240");  // 0x0F000000
      EXPECT_EQ(byName[container][3], "3");
    }
    const std::string tablesId = byName["Tables"][0];
    const auto catalog = std::make_pair(tablesId, std::string("MSysObjects"));
    EXPECT_EQ(rowOf[catalog][0], "2");
    for (const ObjectDescription& object : description_.objects) {
      SCOPED_TRACE(std::string("catalog row of ") + object.name);
      ASSERT_TRUE(byName.count(ContainerOf(object.kind)));
      const auto& container = byName[ContainerOf(object.kind)];
      EXPECT_EQ(container[3], "3");
      ASSERT_TRUE(rowOf.count({container[0], object.name}));
      const auto& row = rowOf[{container[0], object.name}];
      EXPECT_EQ(row[3], std::to_string(static_cast<std::int16_t>(ObjectType(object.kind))));
      EXPECT_EQ(row[7], std::to_string(static_cast<std::int32_t>(object.flags)));
      EXPECT_EQ(row[4].empty(), !object.created.has_value());
      EXPECT_LT(std::stoll(row[0]), 0) << "objects have no table definition page";
    }
    for (const TableDescription& table : description_.tables) {
      SCOPED_TRACE("catalog row of " + table.name);
      ASSERT_TRUE(rowOf.count({tablesId, table.name}));
      const auto& row = rowOf[{tablesId, table.name}];
      EXPECT_EQ(row[3], !table.link ? "1" : table.link->odbc ? "4" : "6");
      EXPECT_EQ(row[7], std::to_string(static_cast<std::int32_t>(table.flags)));
      EXPECT_EQ(row[4].empty(), !table.created.has_value());
      EXPECT_EQ(row[5].empty(), !table.updated.has_value());
      if (table.link) {
        EXPECT_LT(std::stoll(row[0]), 0) << "links have no table definition page";
        EXPECT_EQ(row[8], table.link->database);
        EXPECT_EQ(row[9], table.link->connect);
        EXPECT_EQ(row[10], table.link->foreignName);
        EXPECT_EQ(row[14].empty(), table.properties.empty()) << "LvProp";
      } else {
        EXPECT_GT(std::stoll(row[0]), 2);
        const bool anyProperty =
            !table.properties.empty() ||
            std::any_of(table.fields.begin(), table.fields.end(), [](const FieldDescription& f) {
              return f.required || f.allowZeroLength || f.defaultValue || !f.properties.empty();
            });
        EXPECT_EQ(row[14].empty(), !anyProperty) << "LvProp";
      }
    }
  }

  // MSysRelationships as mdb-export reads it, and the foreign keys mdb-schema makes of it:
  // one per column pair of each enforced relationship (attribute 2 unset).
  void CheckRelationships() {
    if (description_.relationships.empty()) return;
    std::vector<std::vector<std::string>> expected{{"szRelationship", "grbit", "ccolumn", "icolumn",
                                                    "szObject", "szColumn", "szReferencedObject",
                                                    "szReferencedColumn"}};
    std::set<std::string> foreignKeys;
    auto lower = [](std::string text) {
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return text;
    };
    for (const RelationshipDescription& r : description_.relationships) {
      for (std::size_t i = 0; i < r.fields.size(); ++i) {
        expected.push_back({r.name, std::to_string(static_cast<std::int32_t>(r.attributes)),
                            std::to_string(r.fields.size()), std::to_string(i), r.foreignTable,
                            r.fields[i].foreignName, r.table, r.fields[i].name});
        if (r.attributes & 2) continue;
        foreignKeys.insert("ALTER TABLE \"" + r.foreignTable + "\" ADD CONSTRAINT \"" +
                           lower(r.foreignTable) + "_" + lower(r.fields[i].foreignName) +
                           "_fk\" FOREIGN KEY (\"" + lower(r.fields[i].foreignName) +
                           "\") REFERENCES \"" + r.table + "\"(\"" + lower(r.fields[i].name) +
                           "\")" + (r.attributes & 0x100 ? " ON UPDATE CASCADE" : "") +
                           (r.attributes & 0x1000 ? " ON DELETE CASCADE" : "") +
                           " DEFERRABLE INITIALLY IMMEDIATE;");
      }
    }
    EXPECT_EQ(ParseCsv(Tool("mdb-export", ShellQuote(path_) + " MSysRelationships")), expected);
    std::set<std::string> printed;
    for (const std::string& line :
         Lines(Tool("mdb-schema", "--relations --no-indexes " + ShellQuote(path_) + " postgres"))) {
      if (line.find("FOREIGN KEY") != std::string::npos) printed.insert(line);
    }
    EXPECT_EQ(printed, foreignKeys);
  }

  // MSysQueries as mdb-export reads it (Order in hexadecimal; mdb-export 1.0 stops a binary
  // value at its first zero byte, so descriptions here give none), the queries mdb-queries
  // lists, their catalog rows and their properties.
  void CheckQueries() {
    if (description_.queries.empty()) return;
    const bool jet4 = description_.format == JetVersion::kJet4;
    std::vector<std::vector<std::string>> expected{
        {"ObjectId", "Attribute", "Order", "Name1", "Name2", "Expression", "Flag"}};
    if (jet4) expected[0].push_back("LvExtra");
    const auto catalog =
        ParseCsv(Tool("mdb-export", "-b hex " + ShellQuote(path_) + " MSysObjects"));
    std::string names;
    for (const QueryDescription& query : description_.queries) {
      SCOPED_TRACE("query " + query.name);
      names += query.name + " ";
      const auto row = std::find_if(catalog.begin(), catalog.end(), [&](const auto& r) {
        return r.size() > 7 && r[2] == query.name && r[3] == "5";
      });
      ASSERT_NE(row, catalog.end());
      EXPECT_EQ((*row)[1], "251658241") << "in the Tables container";
      EXPECT_EQ((*row)[7], std::to_string(static_cast<std::int32_t>(query.flags)));
      EXPECT_EQ((*row)[4].empty(), !query.created.has_value());
      const std::string id = (*row)[0];
      EXPECT_LT(std::stoll(id), 0) << "queries have no table definition page";
      for (const QueryRow& q : query.rows) {
        std::string order;
        for (const char c : q.order.value_or("")) {
          static const char* kHex = "0123456789ABCDEF";
          order += kHex[static_cast<unsigned char>(c) >> 4];
          order += kHex[static_cast<unsigned char>(c) & 15];
        }
        expected.push_back({id, std::to_string(q.attribute), order, q.name1.value_or(""),
                            q.name2.value_or(""), q.expression.value_or(""),
                            q.flag ? std::to_string(static_cast<std::int16_t>(*q.flag)) : ""});
        if (jet4) expected.back().push_back(q.lvExtra ? std::to_string(*q.lvExtra) : "");
      }
      if (!query.properties.empty()) {
        std::map<std::string, std::string> shown;
        for (const auto& [name, value] : query.properties) shown[name] = Shown(value);
        std::map<std::string, std::string> read;
        for (const std::string& line :
             Lines(Tool("mdb-prop", ShellQuote(path_) + " " + ShellQuote(query.name)))) {
          const auto colon = line.find(": ");
          if (line[0] == '\t') read[line.substr(1, colon - 1)] = line.substr(colon + 2);
        }
        EXPECT_EQ(read, shown);
      }
    }
    EXPECT_EQ(ParseCsv(Tool("mdb-export", "-b hex " + ShellQuote(path_) + " MSysQueries")),
              expected);
    EXPECT_EQ(Lines(Tool("mdb-queries", "-L " + ShellQuote(path_))),
              std::vector<std::string>{names.substr(0, names.size() - 1)});
  }

  void CheckSchema(const TableDescription& table) {
    const auto lines = Lines(
        Tool("mdb-schema", "-T " + ShellQuote(table.name) + " " + ShellQuote(path_) + " access"));
    std::vector<std::string> columns;
    for (const std::string& line : lines) {
      if (line.size() < 2 || line[0] != '\t' || line[1] != '[') continue;
      const auto close = line.find(']');
      std::string type = line.substr(line.find_first_not_of('\t', close + 1));
      if (type.back() == ',') type.pop_back();
      const auto notNull = type.find(" NOT NULL");
      if (notNull != std::string::npos) type.erase(notNull);
      columns.push_back(line.substr(2, close - 2) + " " + type);
    }
    std::vector<std::string> expected;
    for (const FieldDescription& field : table.fields) {
      expected.push_back(field.name + " " + SchemaType(field));
    }
    EXPECT_EQ(columns, expected);
  }

  // The indexes mdb-schema's postgres backend prints: the primary key as a constraint, the
  // others as CREATE [UNIQUE] INDEX, foreign-key indexes not at all. mdbtools 1.0 gives a
  // logical index that shares its real index with an earlier one no columns (or another
  // index's), so those are left to the byte checks of mkmdb_format_test.
  void CheckIndexes(const TableDescription& table) {
    auto lower = [](std::string text) {
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return text;
    };
    const std::string tableName = lower(table.name);
    std::vector<std::string> expected;
    std::vector<std::string> realKeys;
    std::vector<std::string> skipped;  // what mdb-schema prints for the shared ones
    for (const IndexDescription& index : table.indexes) {
      std::string key = std::to_string(index.unique) + std::to_string(index.ignoreNulls) +
                        std::to_string(index.required);
      std::string columns;
      for (const IndexColumn& column : index.fields) {
        key += "," + lower(column.name) + (column.descending ? "-" : "+");
        columns += std::string(columns.empty() ? "" : ", ") + "\"" + lower(column.name) + "\"" +
                   (column.descending && !index.primary ? " DESC" : "");
      }
      const bool shared = std::find(realKeys.begin(), realKeys.end(), key) != realKeys.end();
      if (!shared) realKeys.push_back(key);
      if (shared) skipped.push_back("_" + lower(index.name) + "_idx\"");
      if (shared || index.foreign) continue;
      if (index.primary) {
        expected.push_back("ALTER TABLE \"" + tableName + "\" ADD CONSTRAINT \"" + tableName +
                           "_pkey\" PRIMARY KEY (" + columns + ");");
      } else {
        expected.push_back(std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX \"" +
                           tableName + "_" + lower(index.name) + "_idx\" ON \"" + tableName +
                           "\" (" + columns + ");");
      }
    }
    std::vector<std::string> printed;
    for (const std::string& line :
         Lines(Tool("mdb-schema", "--indexes --no-relations -T " + ShellQuote(table.name) + " " +
                                      ShellQuote(path_) + " postgres"))) {
      if (line.rfind("CREATE ", 0) == 0 && line.find(" INDEX ") != std::string::npos) {
        const bool skip = std::any_of(skipped.begin(), skipped.end(), [&](const std::string& name) {
          return line.find(name) != std::string::npos;
        });
        if (!skip) printed.push_back(line);
      } else if (line.rfind("ALTER TABLE", 0) == 0 &&
                 line.find("PRIMARY KEY") != std::string::npos) {
        printed.push_back(line);
      }
    }
    std::sort(expected.begin(), expected.end());
    std::sort(printed.begin(), printed.end());
    EXPECT_EQ(printed, expected);
  }

  void CheckProperties(const TableDescription& table) {
    std::map<std::string, std::map<std::string, std::string>> expected;
    // mdb-prop names the table's own block "(none)".
    for (const auto& [name, value] : table.properties) expected["(none)"][name] = Shown(value);
    for (const FieldDescription& f : table.fields) {
      for (const auto& [name, value] : f.properties) expected[f.name][name] = Shown(value);
      if (f.required) expected[f.name]["Required"] = *f.required ? "yes" : "no";
      if (f.allowZeroLength)
        expected[f.name]["AllowZeroLength"] = *f.allowZeroLength ? "yes" : "no";
      if (f.defaultValue) expected[f.name]["DefaultValue"] = *f.defaultValue;
    }
    // mdb-prop 1.0 prints the last long property blob it read for a table whose LvProp is
    // Null; CheckCatalog checks that those are Null instead.
    if (expected.empty()) return;
    const auto result = mkmdb::testing::Run(
        env_ + "mdb-prop " + ShellQuote(path_) + " " + ShellQuote(table.name), false, true);
    std::map<std::string, std::map<std::string, std::string>> read;
    std::string block;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("name: ", 0) == 0) {
        block = line.substr(6);
        read[block];
      } else if (line.size() > 1 && line[0] == '\t') {
        const auto colon = line.find(": ");
        read[block][line.substr(1, colon - 1)] = line.substr(colon + 2);
      }
    }
    EXPECT_EQ(read, expected);
  }

  void CheckRows(const TableDescription& table, std::uint64_t exportRowsUpTo) {
    EXPECT_EQ(Lines(Tool("mdb-count", ShellQuote(path_) + " " + ShellQuote(table.name))),
              std::vector<std::string>{std::to_string(table.rows)});
    if (table.rows > exportRowsUpTo) return;
    const auto rows = ParseCsv(
        Tool("mdb-export", "-b strip " + ShellQuote(path_) + " " + ShellQuote(table.name)));
    ASSERT_EQ(rows.size(), table.rows + 1) << "header line and every row";
    for (std::uint64_t r = 0; r < table.rows; ++r) {
      ASSERT_EQ(rows[r + 1].size(), table.fields.size()) << "row " << r;
      for (std::size_t f = 0; f < table.fields.size(); ++f) {
        const auto value = ExpectedValue(table.fields[f], r);
        if (value) {
          EXPECT_EQ(rows[r + 1][f], *value) << "row " << r << " " << table.fields[f].name;
        }
      }
    }
  }

  TempDir dir_;
  Description description_;
  std::string path_;
  std::string env_;
};

// Every field type and option, in both formats; tables local, linked, hidden, empty.
std::string EveryOption(const char* format, int codePage, const char* password) {
  return std::string(R"({"format": ")") + format + R"(", "codePage": )" + std::to_string(codePage) +
         R"(, "password": ")" + password + R"json(", "tables": [
    {"name": "Orders", "created": "2003-01-15 10:20:30", "updated": "2003-02-01 09:05:00",
     "flags": 0, "rows": 700, "properties": {"Description": "Order headers",
       "ValidationRule": "[Qty]>0", "OrderByOn": false, "RowHeight": -1, "Zoom": 0.125,
       "Big": 2147483647, "Small": -2147483648, "Huge": 1e+300},
     "fields": [
      {"name": "ID", "type": "long", "ordinal": 1, "autoNumber": true, "required": true,
       "allowZeroLength": false, "default": "0",
       "properties": {"Description": "Order number", "Caption": "No.", "DecimalPlaces": 2,
                      "ColumnHidden": true, "Scale": -2.5}},
      {"name": "Customer", "type": "text", "size": 50, "ordinal": 4, "allowZeroLength": true,
       "hyperlink": false},
      {"name": "Paid", "type": "boolean", "default": "No"},
      {"name": "Qty", "type": "byte"},
      {"name": "Line", "type": "integer", "required": false},
      {"name": "Price", "type": "currency", "default": "0"},
      {"name": "Weight", "type": "single"},
      {"name": "Ratio", "type": "double"},
      {"name": "Shipped", "type": "datetime", "default": "=Now()"},
      {"name": "Blob", "type": "binary", "size": 16},
      {"name": "Photo", "type": "ole"},
      {"name": "Site", "type": "memo", "hyperlink": true},
      {"name": "RowGuid", "type": "guid", "autoNumber": true, "replication": true,
       "default": "GenGUID()"},
      {"name": "Amount", "type": "decimal"},
      {"name": "Code", "type": "text", "size": 12, "fixed": true, "required": true},
      {"name": "Short", "type": "text", "size": 3, "ordinal": 40},
      {"name": "Counter", "type": "long", "fixed": false},
      {"name": "Note", "type": "text", "size": 255, "default": "\"none\"",
       "allowZeroLength": false, "properties": {"ValidationText": "Text that is longer than 255 characters is stored as a memo property: ....................................................................................................................................................................................................."}}],
     "indexes": [
      {"name": "PrimaryKey", "fields": ["ID"], "primary": true},
      {"name": "ByCustomer", "fields": [{"name": "Customer", "descending": true}],
       "unique": true},
      {"name": "ShippedLine", "fields": [{"name": "Shipped", "descending": true}, "Line", "Qty"],
       "ignoreNulls": true},
      {"name": "Coded", "fields": ["Code"], "required": true, "ignoreNulls": true},
      {"name": "QtyFk", "fields": ["Qty"], "foreign": true},
      {"name": "IdAgain", "fields": ["ID"], "unique": true, "required": true}]},
    {"name": "Linked", "link": {"database": "C:\\db\\back.mdb", "foreignName": "Stock"},
     "properties": {"Description": "Stock of the back end", "ReadOnly": true}},
    {"name": "Remote", "odbc": {"connect": "ODBC;DSN=sales;", "foreignName": "dbo.Orders"},
     "flags": 1},
    {"name": "Hidden", "flags": 1, "created": null, "updated": null, "rows": 2,
     "fields": [{"name": "X", "type": "long"}, {"name": "Y", "type": "integer"}]},
    {"name": "SystemLike", "flags": -2147483646, "fields": [{"name": "X", "type": "long"}]},
    {"name": "Empty", "rows": 0, "fields": [{"name": "X", "type": "text", "size": 1}]}],
  "objects": [
    {"kind": "form", "name": "Order entry", "created": "2003-01-02 03:04:05", "flags": 8},
    {"kind": "report", "name": "Invoice", "created": null, "updated": null},
    {"kind": "form", "name": "Orders"}, {"kind": "report", "name": "Orders"},
    {"kind": "macro", "name": "AutoExec", "flags": -1},
    {"kind": "module", "name": "Tools", "flags": 2}],
  "relationships": [
    {"name": "OrdersHidden", "table": "Orders", "foreignTable": "Hidden", "attributes": 4352,
     "fields": [{"name": "ID", "foreignName": "X"}, {"name": "Line", "foreignName": "Y"}]},
    {"name": "OrdersEmpty", "table": "Orders", "foreignTable": "Empty", "attributes": 256,
     "fields": [{"name": "Code", "foreignName": "X"}]},
    {"name": "EmptySystemLike", "table": "Empty", "foreignTable": "SystemLike",
     "attributes": 4097, "fields": [{"name": "X", "foreignName": "X"}]},
    {"name": "SelfJoin", "table": "Hidden", "foreignTable": "Hidden", "attributes": 0,
     "fields": [{"name": "X", "foreignName": "Y"}]},
    {"name": "ToLink", "table": "Orders", "foreignTable": "Linked", "attributes": -2147483646,
     "fields": [{"name": "ID", "foreignName": "StockID"}]},
    {"name": "Unenforced", "table": "Orders", "foreignTable": "Hidden", "attributes": 2,
     "fields": [{"name": "ID", "foreignName": "X"}]}],
  "queries": [
    {"name": "Active orders", "flags": 0, "created": "2004-05-06 07:08:09",
     "properties": {"Description": "Orders not yet shipped", "ODBCTimeout": 60,
                    "ReturnsRecords": true},
     "rows": [
      {"attribute": 0, "flag": 0}, {"attribute": 255},
      {"attribute": 3, "flag": 0},
      {"attribute": 5, "name1": "Orders", "name2": "o"},
      {"attribute": 5, "name1": "Hidden"},
      {"attribute": 6, "expression": "o.ID", "name2": "Number", "flag": 0},
      {"attribute": 7, "name1": "Orders", "name2": "Hidden",
       "expression": "[Orders].[ID]=[Hidden].[X]", "flag": 2},
      {"attribute": 8, "expression": "(((o.Customer)>\"blah\"))"},
      {"attribute": 11, "expression": "o.Shipped", "name1": "D", "order": "FF7f01"},
      {"attribute": 2, "name1": "[Start date]", "flag": 8, "expression": null,
       "name2": null, "order": null}]},
    {"name": "Make copy", "flags": 80, "created": null, "updated": null,
     "rows": [{"attribute": 1, "name1": "Copy", "name2": "C:\\other.mdb", "flag": -1},
              {"attribute": 6, "expression": "LongExpression)json" +
         std::string(3000, 'x') + R"json(", "flag": 65535}]},
    {"name": "No rows", "flags": 96}]})json";
}

TEST_F(MdbToolsReadBack, Jet4WithEveryOption) {
  WriteAndCheck(EveryOption("jet4", 1252, ""));
}

TEST_F(MdbToolsReadBack, Jet3WithEveryOptionAndPassword) {
  WriteAndCheck(EveryOption("jet3", 1252, "secret"));
}

TEST_F(MdbToolsReadBack, Jet4WithPassword) {
  WriteAndCheck(EveryOption("jet4", 1252, "secret"));
}

TEST_F(MdbToolsReadBack, JapaneseNamesInBothFormats) {
  for (const char* format : {"jet3", "jet4"}) {
    SCOPED_TRACE(format);
    WriteAndCheck(std::string(R"({"format": ")") + format + R"(", "codePage": 932, "tables": [
      {"name": "顧客①", "rows": 3, "properties": {"Description": "受注ヘッダ"}, "fields": [
        {"name": "表～名", "type": "text", "size": 20, "default": "\"表\"", "required": true,
         "properties": {"Description": "論理名", "Caption": "表名"}},
        {"name": "㈱会社", "type": "long"}]},
      {"name": "受注明細", "rows": 300, "fields": [{"name": "番号", "type": "long"},
        {"name": "メモ", "type": "memo", "allowZeroLength": true}]},
      {"name": "リンク表", "link": {"database": "Z:\\共有\\元.mdb", "foreignName": "在庫表"}}],
      "objects": [{"kind": "form", "name": "受注入力"}, {"kind": "module", "name": "共通関数"}]})");
  }
}

// Rows over 256 and 512 bytes exercise the Jet 3 jump table; many columns and long names make
// the table definition span pages and the property blob go to long-value pages.
TEST_F(MdbToolsReadBack, WideRowsAndWideTables) {
  for (const char* format : {"jet3", "jet4"}) {
    SCOPED_TRACE(format);
    std::string rowFields;
    for (int i = 0; i < 70; ++i) {
      rowFields += std::string(i ? "," : "") + R"({"name": "D)" + std::to_string(i) +
                   R"(", "type": ")" +
                   (i % 7 == 3   ? "text"
                    : i % 7 == 6 ? "memo"
                                 : "double") +
                   R"("})";
    }
    std::string wideFields;
    for (int i = 0; i < 255; ++i) {
      wideFields += std::string(i ? "," : "") + R"({"name": "Column_)" + std::to_string(i) +
                    R"(_with_a_long_name_to_make_the_definition_span_pages", "type": ")" +
                    (i % 3 == 0   ? "byte"
                     : i % 3 == 1 ? "boolean"
                                  : "integer") +
                    R"(", "required": true, "default": "1", "allowZeroLength": false})";
    }
    // Indexes over the last columns put the index section on the definition's last pages.
    std::string indexes;
    for (int i = 0; i < 12; ++i) {
      indexes += std::string(i ? "," : "") + R"({"name": "Index_number_)" + std::to_string(i) +
                 R"(_with_a_long_name", "unique": )" + (i % 2 ? "true" : "false") +
                 R"(, "fields": [)";
      for (int k = 0; k <= i % 10; ++k) {
        indexes += std::string(k ? "," : "") + R"({"name": "Column_)" +
                   std::to_string(254 - i - k) +
                   R"(_with_a_long_name_to_make_the_definition_span_pages", "descending": )" +
                   (k % 2 ? "true" : "false") + "}";
      }
      indexes += "]}";
    }
    WriteAndCheck(std::string(R"({"format": ")") + format + R"(", "tables": [
      {"name": "Rows", "rows": 40, "fields": [)" +
                  rowFields + R"(]},
      {"name": "Columns", "rows": 30, "fields": [)" +
                  wideFields + R"(], "indexes": [)" + indexes + "]}]}");
  }
}

// Jet 3 rows whose variable data ends just before, at and after the 256- and 512-byte marks,
// and whose offset table alone pushes the row over a mark (the jump table's placeholder).
TEST_F(MdbToolsReadBack, Jet3RowsAroundOffsetBoundaries) {
  std::string tables;
  for (const int pad : {200, 228, 232, 236, 240, 244, 248, 252, 255}) {
    for (const int fixedBefore : {0, 1}) {
      std::string fields =
          R"({"name": "P", "type": "text", "fixed": true, "size": )" + std::to_string(pad) + "}";
      if (fixedBefore) fields += R"(, {"name": "Q", "type": "text", "fixed": true, "size": 255})";
      for (int v = 0; v < 12; ++v) {
        fields += R"(, {"name": "V)" + std::to_string(v) + R"(", "type": "text", "size": )" +
                  std::to_string(v % 3 + 1) + "}";
      }
      tables += std::string(tables.empty() ? "" : ",") + R"({"name": "T)" + std::to_string(pad) +
                "_" + std::to_string(fixedBefore) + R"(", "rows": 12, "fields": [)" + fields + "]}";
    }
  }
  WriteAndCheck(R"({"format": "jet3", "tables": [)" + tables + "]}");
}

// Enough data pages that the usage maps go through usage-map pages.
TEST_F(MdbToolsReadBack, TablesBeyondTheInlineUsageMap) {
  for (const char* format : {"jet3", "jet4"}) {
    SCOPED_TRACE(format);
    WriteAndCheck(std::string(R"({"format": ")") + format + R"(", "tables": [
      {"name": "Big", "rows": 8000, "fields": [
        {"name": "ID", "type": "long", "autoNumber": true},
        {"name": "Pad", "type": "text", "size": 255, "fixed": true}]}]})",
                  8000);
  }
}

// Enough tables and indexes that their usage-map rows fill several pages.
TEST_F(MdbToolsReadBack, UsageMapRowsBeyondTheFirstPage) {
  for (const char* format : {"jet3", "jet4"}) {
    SCOPED_TRACE(format);
    std::string tables;
    for (int t = 0; t < 20; ++t) {
      tables += std::string(t ? "," : "") + R"({"name": "T)" + std::to_string(t) +
                R"(", "rows": 3, "fields": [{"name": "A", "type": "long"},
          {"name": "B", "type": "text", "size": 4}], "indexes": [
          {"name": "PrimaryKey", "fields": ["A"], "primary": true},
          {"name": "ByB", "fields": [{"name": "B", "descending": true}]},
          {"name": "BA", "fields": ["B", "A"], "unique": true}]})";
    }
    WriteAndCheck(std::string(R"({"format": ")") + format + R"(", "tables": [)" + tables + "]}");
  }
}

// The row values of the types the checks above leave out, as mdb-export prints them: each row
// r holds r in its type (a byte wraps at 256, currency has four decimals, dates count days
// from 2000-01-01, GUIDs count from 1 in their first group and carry the column number).
TEST_F(MdbToolsReadBack, ValuesOfEveryNumericDateAndGuidType) {
  using namespace std::chrono;
  struct Column {
    const char* json;
    std::string (*expected)(std::uint64_t row);
  };
  const Column columns[] = {
      {R"({"name": "B", "type": "byte"})", [](std::uint64_t r) { return std::to_string(r % 256); }},
      {R"({"name": "C", "type": "currency"})",
       [](std::uint64_t r) { return std::to_string(r) + ".0000"; }},
      {R"({"name": "S", "type": "single"})", [](std::uint64_t r) { return std::to_string(r); }},
      {R"({"name": "D", "type": "datetime"})",
       [](std::uint64_t r) {
         const year_month_day day{sys_days{year{2000} / January / 1} + days{r}};
         char text[32];
         std::snprintf(text, sizeof text, "%04d-%02u-%02u 00:00:00", int(day.year()),
                       unsigned(day.month()), unsigned(day.day()));
         return std::string(text);
       }},
      {R"({"name": "G", "type": "guid"})",
       [](std::uint64_t r) {
         char text[48];
         std::snprintf(text, sizeof text, "{%08X-0004-4000-8000000000000001}",
                       static_cast<unsigned>(r + 1));
         return std::string(text);
       }},
      {R"({"name": "N", "type": "decimal"})", [](std::uint64_t) { return std::string("0"); }},
  };
  constexpr std::uint64_t kRows = 300;  // past a byte's range and 2000-02-29
  std::string fields;
  for (const Column& c : columns) fields += std::string(fields.empty() ? "" : ",") + c.json;
  for (const char* format : {"jet3", "jet4"}) {
    SCOPED_TRACE(format);
    const std::string path = dir_.File(std::string(format) + ".mdb");
    WriteMdbFromJson(std::string(R"({"format": ")") + format +
                         R"(", "tables": [{"name": "T", "rows": )" + std::to_string(kRows) +
                         R"(, "fields": [)" + fields + "]}]}",
                     path);
    const auto rows =
        ParseCsv(Tool("mdb-export", "-b raw -T '%Y-%m-%d %H:%M:%S' " + ShellQuote(path) + " T"));
    ASSERT_EQ(rows.size(), kRows + 1);
    for (std::uint64_t r = 0; r < kRows; ++r) {
      ASSERT_EQ(rows[r + 1].size(), std::size(columns)) << "row " << r;
      for (std::size_t c = 0; c < std::size(columns); ++c) {
        EXPECT_EQ(rows[r + 1][c], columns[c].expected(r)) << "row " << r << " " << columns[c].json;
      }
    }
  }
}

TEST_F(MdbToolsReadBack, SampleDatabase) {
  std::ifstream in(ZENTAB_SAMPLE_JSON);
  std::ostringstream json;
  json << in.rdbuf();
  ASSERT_FALSE(json.str().empty()) << ZENTAB_SAMPLE_JSON;
  WriteAndCheck(json.str());
  bool link = false, hidden = false, japanese = false;
  for (const TableDescription& table : description_.tables) {
    link = link || (table.link && !table.link->odbc);
    hidden = hidden || (table.flags & 1);
    japanese = japanese || static_cast<unsigned char>(table.name[0]) >= 0x80;
  }
  EXPECT_TRUE(link && hidden && japanese) << "the demo shows links, hidden and Japanese tables";
}

}  // namespace
}  // namespace zentab::mkmdb
