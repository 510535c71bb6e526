// Databases made by the test-database writer with indexes, relationships, stored properties
// and objects, read back through the reader process and the schema reader into the records:
// every item written comes back exactly, in both formats.
#include <gtest/gtest.h>

#include "engine/mdbengine.h"
#include "engine/wire.h"
#include "mkmdb/mkmdb.h"
#include "schema/reader.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

// Orders (one side) and Lines (many side), every index feature, properties of each type, one
// relationship of one pair and one of two pairs, and one object of each kind.
constexpr const char* kDesign = R"json({
  "tables": [
    {"name": "Orders", "properties": {"Description": "受注ヘッダ", "Flag": true, "N": 3,
                                      "Ratio": 0.25},
     "fields": [
       {"name": "ID", "type": "long", "autoNumber": true,
        "properties": {"Description": "受注番号", "Caption": "受注No", "DecimalPlaces": 2}},
       {"name": "Branch", "type": "integer"},
       {"name": "Date", "type": "datetime", "properties": {"Format": "yyyy/mm/dd"}},
       {"name": "Note", "type": "text", "size": 40, "required": true,
        "properties": {"InputMask": ">LL", "ColumnHidden": false}}],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["ID"], "primary": true},
       {"name": "ByDate", "fields": [{"name": "Date", "descending": true}, "Note"],
        "ignoreNulls": true},
       {"name": "BranchKey", "fields": ["Branch", "ID"], "unique": true, "required": false},
       {"name": "NoteRequired", "fields": ["Note"], "required": true}]},
    {"name": "Lines",
     "fields": [{"name": "OrderID", "type": "long"}, {"name": "Branch", "type": "integer"},
                {"name": "Qty", "type": "double"}],
     "indexes": [{"name": "OrdersLines", "fields": ["OrderID"], "foreign": true},
                 {"name": "BranchOrders", "fields": ["Branch", "OrderID"], "foreign": true}]}
  ],
  "relationships": [
    {"name": "OrdersLines", "table": "Orders", "foreignTable": "Lines", "attributes": 4352,
     "fields": [{"name": "ID", "foreignName": "OrderID"}]},
    {"name": "BranchOrders", "table": "Orders", "foreignTable": "Lines", "attributes": 16777218,
     "fields": [{"name": "Branch", "foreignName": "Branch"}, {"name": "ID", "foreignName": "OrderID"}]}
  ],
  "objects": [
    {"kind": "form", "name": "受注入力", "created": "2003-01-15 10:20:30", "updated": null},
    {"kind": "report", "name": "売上", "created": "2003-02-01 00:00:00"},
    {"kind": "macro", "name": "AutoExec"},
    {"kind": "module", "name": "Module1"},
    {"kind": "form", "name": "a form"}
  ],
  "queries": [
    {"name": "DeleteOld", "flags": 32, "created": "2003-01-15 10:20:30",
     "properties": {"Description": "古い受注", "ODBCTimeout": 60},
     "rows": [{"attribute": 0}, {"attribute": 1, "flag": 5}, {"attribute": 3, "flag": 0},
              {"attribute": 5, "name1": "Orders"}, {"attribute": 6, "expression": "Orders.ID"},
              {"attribute": 8, "expression": "(((Orders.ID)>1))"}, {"attribute": 255}]},
    {"name": "Broken", "rows": [{"attribute": 0}, {"attribute": 12, "expression": "x"},
                                {"attribute": 255}]}
  ]
})json";

class DesignFiles : public ::testing::TestWithParam<const char*> {
 protected:
  // The design read back whole, or with a reader asked for the fixed report alone.
  TMdb ReadDesign(bool readerReadsDesign = true) {
    std::string json = std::string(kDesign);
    json.insert(1, std::string(R"("format":")") + GetParam() + R"(","codePage":932,)");
    std::string path = dir_.File("design.mdb");
    mkmdb::WriteMdbFromJson(json, path);
    EngineOptions options;
    options.readDesign = readerReadsDesign;
    RegisterMdbEngine(options);
    TMdb mdb;
    ReadMdb(path, mdb);
    RegisterMdbEngine();
    return mdb;
  }
  testing::TempDir dir_;
};

const TTableDef& Table(const TMdb& mdb, const std::string& name) {
  for (const auto& t : mdb.TableDefs) {
    if (t.Name == name) return t;
  }
  throw std::runtime_error("no table " + name);
}

const TTableDefField& Field(const TTableDef& table, const std::string& name) {
  for (const auto& f : table.Fields) {
    if (f.Name == name) return f;
  }
  throw std::runtime_error("no field " + name);
}

std::vector<TProperty> Props(std::initializer_list<std::pair<const char*, Variant>> items) {
  std::vector<TProperty> out;
  for (const auto& [name, value] : items) out.push_back(TProperty{name, value, ""});
  return out;
}

// The stored properties the description names, without those the writer adds of its own.
std::vector<TProperty> Named(const std::vector<TProperty>& all,
                             std::initializer_list<const char*> names) {
  std::vector<TProperty> out;
  for (const char* name : names) {
    for (const auto& p : all) {
      if (p.Name == name) out.push_back(p);
    }
  }
  return out;
}

TEST_P(DesignFiles, ReadsBackEveryIndexWithItsFlagsAndKeyOrder) {
  TMdb mdb = ReadDesign();
  ASSERT_EQ(mdb.ErrorMessage, "");
  const TTableDef& orders = Table(mdb, "Orders");
  EXPECT_EQ(orders.IndexesError, "");
  // By name, ignoring case.
  std::vector<TIndex> expected = {
      {"BranchKey", false, true, false, false, false, false, {{"Branch", 0}, {"ID", 0}}},
      {"ByDate", false, false, true, false, false, false, {{"Date", 1}, {"Note", 0}}},
      {"NoteRequired", false, false, false, true, false, false, {{"Note", 0}}},
      {"PrimaryKey", true, true, false, true, false, false, {{"ID", 0}}},
  };
  EXPECT_EQ(orders.Indexes, expected);
  std::vector<TIndex> lines = {
      {"BranchOrders", false, false, false, false, true, false, {{"Branch", 0}, {"OrderID", 0}}},
      {"OrdersLines", false, false, false, false, true, false, {{"OrderID", 0}}},
  };
  EXPECT_EQ(Table(mdb, "Lines").Indexes, lines);
}

TEST_P(DesignFiles, ReadsBackTableAndFieldPropertiesWithTheirStoredTypes) {
  TMdb mdb = ReadDesign();
  const TTableDef& orders = Table(mdb, "Orders");
  EXPECT_EQ(orders.PropertiesError, "");
  EXPECT_EQ(Named(orders.Properties, {"Description", "Flag", "N", "Ratio"}),
            Props({{"Description", "受注ヘッダ"},
                   {"Flag", true},
                   {"N", std::int32_t{3}},
                   {"Ratio", 0.25}}));
  EXPECT_EQ(Named(Field(orders, "ID").Properties, {"Description", "Caption", "DecimalPlaces"}),
            Props({{"Description", "受注番号"},
                   {"Caption", "受注No"},
                   {"DecimalPlaces", std::int32_t{2}}}));
  EXPECT_EQ(Named(Field(orders, "Date").Properties, {"Format"}), Props({{"Format", "yyyy/mm/dd"}}));
  EXPECT_EQ(Named(Field(orders, "Note").Properties, {"InputMask", "ColumnHidden", "Required"}),
            Props({{"InputMask", ">LL"}, {"ColumnHidden", false}, {"Required", true}}));
  EXPECT_TRUE(Field(orders, "Note").Required);
  EXPECT_TRUE(Field(orders, "Branch").Properties.empty());
  // The type codes and attribute bits behind the fixed report's texts.
  EXPECT_EQ(Field(orders, "ID").Type, 4);
  EXPECT_EQ(Field(orders, "ID").AttributeBits, 17);
  EXPECT_EQ(Field(orders, "Note").Type, 10);
  EXPECT_EQ(Field(orders, "Note").AttributeBits, 2);
}

TEST_P(DesignFiles, ReadsBackRelationshipsWithTheirColumnPairsInOrder) {
  TMdb mdb = ReadDesign();
  EXPECT_EQ(mdb.RelationsError, "");
  std::vector<TRelation> expected = {
      {"BranchOrders", "Orders", "Lines", 16777218, {{"Branch", "Branch"}, {"ID", "OrderID"}}},
      {"OrdersLines", "Orders", "Lines", 4352, {{"ID", "OrderID"}}},
  };
  EXPECT_EQ(mdb.Relations, expected);
  EXPECT_TRUE(mdb.SystemRelations.empty());
}

TEST_P(DesignFiles, ListsFormsReportsMacrosAndModulesWithTheirDates) {
  TMdb mdb = ReadDesign();
  EXPECT_EQ(mdb.DocumentsError, "");
  const double jan15 = 37636.0 + (10 * 3600 + 20 * 60 + 30) / 86400.0;
  const double feb1 = 37653.0;
  const double y2000 = 36526.0;  // the writer's default date
  std::vector<std::string> got;
  for (const auto& d : mdb.Documents) got.push_back(d.Kind + ":" + d.Name);
  EXPECT_EQ(got, (std::vector<std::string>{"form:a form", "form:受注入力", "report:売上",
                                           "macro:AutoExec", "module:Module1"}));
  ASSERT_EQ(mdb.Documents.size(), 5u);
  EXPECT_NEAR(*mdb.Documents[1].DateCreated, jan15, 1e-6);
  EXPECT_FALSE(mdb.Documents[1].LastUpdated);
  EXPECT_EQ(mdb.Documents[2].DateCreated, feb1);
  EXPECT_EQ(mdb.Documents[3].DateCreated, y2000);
  EXPECT_EQ(mdb.Version, GetParam() == std::string("jet3") ? "3.0" : "4.0");
}

// The query's SQL as Access shows a delete query of these rows; rows that make no query fail
// that query's SQL alone.
TEST_P(DesignFiles, ReadsBackQueriesWithTheirTypeDatesPropertiesAndSql) {
  TMdb mdb = ReadDesign();
  EXPECT_EQ(mdb.QueryDefsError, "");
  ASSERT_EQ(mdb.QueryDefs.size(), 2u);
  const TQueryDef& broken = mdb.QueryDefs[0];
  EXPECT_EQ(broken.Name, "Broken");
  EXPECT_NE(broken.ErrorMessage.find("Attribute 12"), std::string::npos) << broken.ErrorMessage;
  const TQueryDef& q = mdb.QueryDefs[1];
  EXPECT_EQ(q.Name, "DeleteOld");
  EXPECT_EQ(q.ErrorMessage, "");
  EXPECT_EQ(q.Type, 32);
  EXPECT_NEAR(*q.DateCreated, 37636.0 + (10 * 3600 + 20 * 60 + 30) / 86400.0, 1e-6);
  EXPECT_EQ(q.SQL, "DELETE Orders.ID\r\nFROM Orders\r\nWHERE (((Orders.ID)>1));");
  EXPECT_EQ(Named(q.Properties, {"Description", "ODBCTimeout"}),
            Props({{"Description", "古い受注"}, {"ODBCTimeout", std::int32_t{60}}}));
}

// A reader asked for the fixed report alone gives the same tables and fields, and every part
// of the design beyond them fails with its reason instead of coming back empty; a field without
// stored properties still has none.
TEST_P(DesignFiles, ReadsTheReportAloneWithTheRestMarkedNotRead) {
  const TMdb whole = ReadDesign();
  const TMdb part = ReadDesign(/*readerReadsDesign=*/false);
  ASSERT_EQ(part.ErrorMessage, "");
  ASSERT_EQ(part.TableDefs.size(), whole.TableDefs.size());
  auto fixed = [](const TTableDef& t) {
    std::vector<std::string> cells = {t.Name,
                                      t.Attributes,
                                      t.DateCreated,
                                      t.LastUpdated,
                                      std::to_string(t.RecordCount),
                                      t.SourceTableName,
                                      t.ErrorMessage};
    for (const auto& f : t.Fields) {
      cells.insert(cells.end(), {std::to_string(f.AllowZeroLength), f.Attributes, f.DefaultValue,
                                 f.Name, std::to_string(f.OrdinalPosition),
                                 std::to_string(f.Required), std::to_string(f.Size), f.SourceField,
                                 f.SourceTable, f.TypeName, f.ErrorMessage});
    }
    return cells;
  };
  for (std::size_t i = 0; i < whole.TableDefs.size(); ++i) {
    EXPECT_EQ(fixed(part.TableDefs[i]), fixed(whole.TableDefs[i])) << whole.TableDefs[i].Name;
  }
  const std::string notRead = kNotReadReason;
  auto says = [&notRead](const std::string& error) {
    return error.find(notRead.substr(0, notRead.size() - 1)) != std::string::npos;
  };
  const TTableDef& orders = Table(part, "Orders");
  EXPECT_TRUE(says(orders.IndexesError)) << orders.IndexesError;
  EXPECT_TRUE(orders.Indexes.empty());
  EXPECT_TRUE(says(orders.PropertiesError)) << orders.PropertiesError;
  EXPECT_TRUE(says(Field(orders, "ID").PropertiesError)) << Field(orders, "ID").PropertiesError;
  EXPECT_EQ(Field(orders, "Branch").PropertiesError, "");
  EXPECT_TRUE(Field(orders, "Branch").Properties.empty());
  EXPECT_TRUE(says(part.RelationsError)) << part.RelationsError;
  EXPECT_TRUE(says(part.QueryDefsError)) << part.QueryDefsError;
  EXPECT_TRUE(says(part.DocumentsError)) << part.DocumentsError;
  EXPECT_TRUE(part.Relations.empty() && part.QueryDefs.empty() && part.Documents.empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, DesignFiles, ::testing::Values("jet4", "jet3"));

}  // namespace
}  // namespace zentab::engine
