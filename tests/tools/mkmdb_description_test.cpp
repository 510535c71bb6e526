// The description: what a well-formed one means (defaults, dates, flags) and how a bad one
// fails (message naming table and field, no file written).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "mkmdb/encoding.h"
#include "mkmdb/mkmdb.h"
#include "mkmdb_support.h"

namespace zentab::mkmdb {
namespace {

using testing::TempDir;

TEST(MkmdbDescription, FillsDefaultsTheWayTheFormatDocumentsThem) {
  const Description d = ParseDescription(R"({"tables": [
    {"name": "T", "fields": [
      {"name": "A", "type": "text"}, {"name": "B", "type": "binary"},
      {"name": "C", "type": "long"}, {"name": "D", "type": "memo"},
      {"name": "E", "type": "text", "fixed": true, "ordinal": 9}]}]})");
  EXPECT_EQ(d.format, JetVersion::kJet4);
  EXPECT_EQ(d.codePage, 1252);
  EXPECT_EQ(d.password, "");
  const TableDescription& t = d.tables.at(0);
  EXPECT_EQ(t.rows, 0u);
  EXPECT_EQ(t.flags, 0u);
  EXPECT_EQ(t.created, kDefaultDate);
  EXPECT_EQ(t.updated, kDefaultDate);
  EXPECT_EQ(t.fields[0].size, 50);
  EXPECT_EQ(t.fields[1].size, 255);
  EXPECT_EQ(t.fields[2].size, 0);
  // Ordinals default to the field's index; "fixed" to the type's nature.
  EXPECT_EQ(t.fields[3].ordinal, 3);
  EXPECT_EQ(t.fields[4].ordinal, 9);
  EXPECT_FALSE(t.fields[0].fixed);
  EXPECT_TRUE(t.fields[2].fixed);
  EXPECT_FALSE(t.fields[3].fixed);
  EXPECT_TRUE(t.fields[4].fixed);
  // Properties not mentioned stay absent, so a file can lack them.
  EXPECT_FALSE(t.fields[0].required.has_value());
  EXPECT_FALSE(t.fields[0].allowZeroLength.has_value());
  EXPECT_FALSE(t.fields[0].defaultValue.has_value());
}

TEST(MkmdbDescription, ReadsFlagsBitForBitAndNullDates) {
  const Description d = ParseDescription(R"({"format": "jet3", "codePage": 932, "password": "pw",
    "tables": [
    {"name": "A", "flags": -2147483648, "created": null, "updated": "2003-02-01 09:05:00",
     "fields": [{"name": "X", "type": "byte", "required": false, "default": ""}]},
    {"name": "B", "flags": 4294967295, "fields": [{"name": "X", "type": "byte"}]},
    {"name": "L", "link": {"database": "Z:\\back.mdb", "foreignName": "Stock"}},
    {"name": "O", "odbc": {"connect": "DSN=x;", "foreignName": "dbo.T"}}]})");
  EXPECT_EQ(d.format, JetVersion::kJet3);
  EXPECT_EQ(d.codePage, 932);
  EXPECT_EQ(d.password, "pw");
  EXPECT_EQ(d.tables[0].flags, 0x80000000u);
  EXPECT_EQ(d.tables[1].flags, 0xFFFFFFFFu);
  EXPECT_FALSE(d.tables[0].created.has_value());
  EXPECT_EQ(d.tables[0].fields[0].required, std::optional<bool>(false));
  EXPECT_EQ(d.tables[0].fields[0].defaultValue, std::optional<std::string>(""));
  ASSERT_TRUE(d.tables[2].link.has_value());
  EXPECT_FALSE(d.tables[2].link->odbc);
  EXPECT_EQ(d.tables[2].link->database, "Z:\\back.mdb");
  ASSERT_TRUE(d.tables[3].link.has_value());
  EXPECT_TRUE(d.tables[3].link->odbc);
  EXPECT_EQ(d.tables[3].link->connect, "DSN=x;");
  EXPECT_EQ(d.tables[3].link->foreignName, "dbo.T");
}

struct DateCase {
  const char* text;
  std::optional<double> expected;
};

TEST(MkmdbDescription, ConvertsLocalDateTimesToAutomationDates) {
  const DateCase cases[] = {
      {"1899-12-30 00:00:00", 0.0},
      {"1899-12-30", 0.0},
      {"2000-01-01", kDefaultDate},
      {"2003-01-15 10:20:30", 37636.0 + (10 * 3600 + 20 * 60 + 30) / 86400.0},
      {"2003-01-15T10:20", 37636.0 + (10 * 3600 + 20 * 60) / 86400.0},
      {"2000-02-29 00:00:00", 36585.0},
      {"1899-12-29 06:00:00", -1.25},  // before the epoch the fraction counts away from zero
      {"9999-12-31 23:59:59", 2958465.0 + 86399 / 86400.0},
      {"2001-02-29 00:00:00", std::nullopt},
      {"1900-02-29", std::nullopt},
      {"2003-13-01 00:00:00", std::nullopt},
      {"2003-01-15 24:00:00", std::nullopt},
      {"2003-01-15 10:60:00", std::nullopt},
      {"2003-1-15", std::nullopt},
      {"0099-01-01", std::nullopt},
      {"2003-01-15 10:20:30Z", std::nullopt},
      {"", std::nullopt},
  };
  for (const DateCase& c : cases) {
    const auto got = ParseLocalDateTime(c.text);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.text;
    if (got) {
      EXPECT_NEAR(*got, *c.expected, 1e-9) << c.text;
    }
  }
}

struct BadCase {
  const char* what;
  const char* json;
  std::vector<std::string> mentions;  // every one must appear in the message
};

const BadCase kBadCases[] = {
    {"unknown type",
     R"({"tables": [{"name": "Orders", "fields": [{"name": "ID", "type": "strng"}]}]})",
     {"table \"Orders\"", "field \"ID\"", "strng"}},
    {"missing field name",
     R"({"tables": [{"name": "Orders", "fields": [{"name": "A", "type": "long"},
        {"type": "long"}]}]})",
     {"table \"Orders\"", "field #2", "\"name\""}},
    {"missing table name",
     R"({"tables": [{"name": "A", "fields": [{"name": "X", "type": "long"}]},
        {"fields": [{"name": "X", "type": "long"}]}]})",
     {"table #2", "\"name\""}},
    {"duplicate table name, other case",
     R"({"tables": [{"name": "Orders", "fields": [{"name": "X", "type": "long"}]},
        {"name": "ORDERS", "fields": [{"name": "X", "type": "long"}]}]})",
     {"table \"ORDERS\"", "duplicate"}},
    {"table named like the catalog",
     R"({"tables": [{"name": "msysobjects", "fields": [{"name": "X", "type": "long"}]}]})",
     {"table \"msysobjects\"", "duplicate"}},
    {"duplicate field name",
     R"({"tables": [{"name": "T", "fields": [{"name": "Id", "type": "long"},
        {"name": "ID", "type": "text"}]}]})",
     {"table \"T\"", "field \"ID\"", "duplicate"}},
    {"text size over 255",
     R"({"tables": [{"name": "Orders", "fields": [{"name": "Customer", "type": "text",
        "size": 256}]}]})",
     {"table \"Orders\"", "field \"Customer\"", "256"}},
    {"text size zero",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "text", "size": 0}]}]})",
     {"table \"T\"", "field \"C\"", "size 0"}},
    {"size on a long",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "long", "size": 4}]}]})",
     {"table \"T\"", "field \"C\"", "\"size\""}},
    {"unknown key in a field",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "long",
        "colour": "red"}]}]})",
     {"table \"T\"", "field \"C\"", "\"colour\""}},
    {"unknown key in a table",
     R"({"tables": [{"name": "T", "colour": 1, "fields": [{"name": "C", "type": "long"}]}]})",
     {"table \"T\"", "\"colour\""}},
    {"property given twice through its shortcut",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "long", "required": true,
        "properties": {"required": false}}]}]})",
     {"table \"T\"", "field \"C\"", "property \"required\"", "duplicate"}},
    {"integer property beyond a Long",
     R"({"tables": [{"name": "T", "properties": {"N": 2147483648},
        "fields": [{"name": "C", "type": "long"}]}]})",
     {"table \"T\"", "property \"N\"", "Long"}},
    {"null property",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "long",
        "properties": {"Caption": null}}]}]})",
     {"table \"T\"", "field \"C\"", "property \"Caption\""}},
    {"properties not an object",
     R"({"tables": [{"name": "T", "properties": ["Description"],
        "fields": [{"name": "C", "type": "long"}]}]})",
     {"table \"T\"", "\"properties\""}},
    {"property text beyond the Jet 3 code page",
     R"({"format": "jet3", "tables": [{"name": "T", "properties": {"Description": "表"},
        "fields": [{"name": "C", "type": "long"}]}]})",
     {"table \"T\"", "property \"Description\"", "cannot be stored"}},
    {"indexes on a link",
     R"({"tables": [{"name": "L", "link": {"database": "x.mdb", "foreignName": "T"},
        "indexes": []}]})",
     {"table \"L\"", "\"indexes\""}},
    {"link property beyond the Jet 3 code page",
     R"({"format": "jet3", "tables": [{"name": "L", "link": {"database": "x.mdb",
        "foreignName": "T"}, "properties": {"Description": "表"}}]})",
     {"table \"L\"", "property \"Description\"", "cannot be stored"}},
    {"unknown object kind",
     R"({"tables": [], "objects": [{"kind": "query", "name": "Q"}]})",
     {"object \"Q\"", "\"kind\"", "query"}},
    {"object without a name",
     R"({"tables": [], "objects": [{"kind": "form", "name": "A"}, {"kind": "form"}]})",
     {"object #2", "\"name\""}},
    {"two forms of one name",
     R"({"tables": [], "objects": [{"kind": "form", "name": "Entry"},
        {"kind": "report", "name": "Entry"}, {"kind": "form", "name": "ENTRY"}]})",
     {"object \"ENTRY\"", "duplicate"}},
    {"index on a missing field",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "I", "fields": ["Z"]}]}]})",
     {"table \"T\"", "index \"I\"", "\"Z\""}},
    {"index on a memo field",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "I", "fields": ["M"]}]}]})",
     {"index \"I\"", "memo"}},
    {"index without fields",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "I", "fields": []}]}]})",
     {"index \"I\"", "1 to 10"}},
    {"index over eleven fields",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "I", "fields": ["A","A","A","A","A","A","A","A","A","A","A"]}]}]})",
     {"index \"I\"", "1 to 10"}},
    {"index naming a field twice",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "I", "fields": ["A", {"name": "a", "descending": true}]}]}]})",
     {"index \"I\"", "twice"}},
    {"two indexes of one name",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "I", "fields": ["A"]}, {"name": "i", "fields": ["A"]}]}]})",
     {"index \"i\"", "duplicate"}},
    {"two primary keys",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "P", "fields": ["A"], "primary": true}, {"name": "Q", "fields": ["A"], "primary": true}]}]})",
     {"index \"Q\"", "primary"}},
    {"primary and foreign",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "P", "fields": ["A"], "primary": true, "foreign": true}]}]})",
     {"index \"P\"", "foreign"}},
    {"clustered index",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "P", "fields": ["A"], "clustered": true}]}]})",
     {"index \"P\"", "clustered"}},
    {"index without a name",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"fields": ["A"]}]}]})",
     {"index #1", "\"name\""}},
    {"unknown key in an index",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"},
        {"name": "M", "type": "memo"}], "indexes": [{"name": "P", "fields": ["A"], "sparse": true}]}]})",
     {"index \"P\"", "sparse"}},
    {"relationship to a missing table",
     R"({"tables": [{"name": "A", "fields": [{"name": "ID", "type": "long"}]},
        {"name": "B", "fields": [{"name": "AID", "type": "long"}]}], "relationships": [{"name": "R", "table": "A", "foreignTable": "C", "fields": [{"name": "ID", "foreignName": "AID"}]}]})",
     {"relationship \"R\"", "\"C\""}},
    {"relationship on a missing field",
     R"({"tables": [{"name": "A", "fields": [{"name": "ID", "type": "long"}]},
        {"name": "B", "fields": [{"name": "AID", "type": "long"}]}], "relationships": [{"name": "R", "table": "A", "foreignTable": "B", "fields": [{"name": "ID", "foreignName": "BID"}]}]})",
     {"relationship \"R\"", "\"BID\"", "table \"B\""}},
    {"relationship without pairs",
     R"({"tables": [{"name": "A", "fields": [{"name": "ID", "type": "long"}]},
        {"name": "B", "fields": [{"name": "AID", "type": "long"}]}], "relationships": [{"name": "R", "table": "A", "foreignTable": "B", "fields": []}]})",
     {"relationship \"R\"", "pair"}},
    {"two relationships of one name",
     R"({"tables": [{"name": "A", "fields": [{"name": "ID", "type": "long"}]},
        {"name": "B", "fields": [{"name": "AID", "type": "long"}]}], "relationships": [{"name": "R", "table": "A", "foreignTable": "B", "fields": [{"name": "ID", "foreignName": "AID"}]}, {"name": "r", "table": "A", "foreignTable": "B", "fields": [{"name": "ID", "foreignName": "AID"}]}]})",
     {"relationship \"r\"", "duplicate"}},
    {"attributes beyond 32 bits",
     R"({"tables": [{"name": "A", "fields": [{"name": "ID", "type": "long"}]},
        {"name": "B", "fields": [{"name": "AID", "type": "long"}]}], "relationships": [{"name": "R", "table": "A", "foreignTable": "B", "attributes": 4294967296, "fields": [{"name": "ID", "foreignName": "AID"}]}]})",
     {"relationship \"R\"", "attributes"}},
    {"query named like a table",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "t", "rows": []}]})",
     {"query \"t\"", "duplicate"}},
    {"query row without attribute",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "Q", "rows": [{"flag": 0}]}]})",
     {"query \"Q\"", "row #1", "attribute"}},
    {"attribute beyond a byte",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "Q", "rows": [{"attribute": 256}]}]})",
     {"query \"Q\"", "row #1", "attribute"}},
    {"flag beyond 16 bits",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "Q", "rows": [{"attribute": 0}, {"attribute": 6, "flag": 65536}]}]})",
     {"query \"Q\"", "row #2", "flag"}},
    {"order not hexadecimal",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "Q", "rows": [{"attribute": 11, "order": "0g"}]}]})",
     {"query \"Q\"", "order", "hexadecimal"}},
    {"order of an odd length",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "Q", "rows": [{"attribute": 11, "order": "012"}]}]})",
     {"query \"Q\"", "order"}},
    {"LvExtra in Jet 3",
     R"({"format": "jet3", "tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "Q", "rows": [{"attribute": 0, "lvExtra": 1}]}]})",
     {"query \"Q\"", "LvExtra"}},
    {"unknown key in a query row",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "Q", "rows": [{"attribute": 0, "name3": "x"}]}]})",
     {"query \"Q\"", "name3"}},
    {"name1 over 255 characters",
     R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}], "queries": [{"name": "Q", "rows": [{"attribute": 5, "name1": "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"}]}]})",
     {"query \"Q\"", "name1", "255"}},
    {"unknown key at the top", R"({"tables": [], "version": 2})", {"description", "\"version\""}},
    {"unknown key in a link",
     R"({"tables": [{"name": "L", "link": {"database": "x.mdb", "foreignName": "T",
        "connect": "x"}}]})",
     {"table \"L\"", "\"connect\""}},
    {"link with fields",
     R"({"tables": [{"name": "L", "link": {"database": "x.mdb", "foreignName": "T"},
        "fields": []}]})",
     {"table \"L\"", "\"fields\""}},
    {"link without foreign name",
     R"({"tables": [{"name": "L", "link": {"database": "x.mdb"}}]})",
     {"table \"L\"", "foreignName"}},
    {"both link kinds",
     R"({"tables": [{"name": "L", "link": {"database": "x", "foreignName": "T"},
        "odbc": {"connect": "DSN=x", "foreignName": "T"}}]})",
     {"table \"L\"", "\"odbc\""}},
    {"table without fields",
     R"({"tables": [{"name": "T", "fields": []}]})",
     {"table \"T\"", "field"}},
    {"autoNumber on text",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "text",
        "autoNumber": true}]}]})",
     {"table \"T\"", "field \"C\"", "autoNumber"}},
    {"hyperlink on text",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "text",
        "hyperlink": true}]}]})",
     {"table \"T\"", "field \"C\"", "hyperlink"}},
    {"fixed memo",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "memo", "fixed": true}]}]})",
     {"table \"T\"", "field \"C\"", "fixed"}},
    {"variable boolean",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "boolean",
        "fixed": false}]}]})",
     {"table \"T\"", "field \"C\"", "boolean"}},
    {"ordinal out of range",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "long",
        "ordinal": 65536}]}]})",
     {"table \"T\"", "field \"C\"", "ordinal"}},
    {"required not a boolean",
     R"({"tables": [{"name": "T", "fields": [{"name": "C", "type": "long",
        "required": "yes"}]}]})",
     {"table \"T\"", "field \"C\"", "required"}},
    {"bad date",
     R"({"tables": [{"name": "T", "created": "15/01/2003",
        "fields": [{"name": "C", "type": "long"}]}]})",
     {"table \"T\"", "created", "15/01/2003"}},
    {"flags beyond 32 bits",
     R"({"tables": [{"name": "T", "flags": 4294967296,
        "fields": [{"name": "C", "type": "long"}]}]})",
     {"table \"T\"", "flags"}},
    {"negative rows",
     R"({"tables": [{"name": "T", "rows": -1, "fields": [{"name": "C", "type": "long"}]}]})",
     {"table \"T\"", "rows"}},
    {"name beyond the Jet 3 code page",
     R"({"format": "jet3", "codePage": 1252, "tables": [{"name": "T",
        "fields": [{"name": "表", "type": "long"}]}]})",
     {"table \"T\"", "field \"表\"", "cannot be stored"}},
    {"code page without a converter",
     R"({"format": "jet3", "codePage": 12345, "tables": []})",
     {"codePage 12345"}},
    {"name longer than 64 characters",
     R"({"tables": [{"name": "T", "fields": [{"name":
        "A234567890123456789012345678901234567890123456789012345678901234X",
        "type": "long"}]}]})",
     {"table \"T\"", "64"}},
    {"password longer than the header holds",
     R"({"password": "123456789012345678901", "tables": []})",
     {"password"}},
    {"row larger than a page",
     R"({"format": "jet3", "tables": [{"name": "Wide", "fields": [
        {"name": "A", "type": "text", "size": 255, "fixed": true},
        {"name": "B", "type": "text", "size": 255, "fixed": true},
        {"name": "C", "type": "text", "size": 255, "fixed": true},
        {"name": "D", "type": "text", "size": 255, "fixed": true},
        {"name": "E", "type": "text", "size": 255, "fixed": true},
        {"name": "F", "type": "text", "size": 255, "fixed": true},
        {"name": "G", "type": "text", "size": 255, "fixed": true},
        {"name": "H", "type": "text", "size": 255, "fixed": true}]}]})",
     {"table \"Wide\"", "bytes"}},
    {"not JSON", R"({"tables": [)", {"not valid JSON"}},
    {"tables missing", R"({"format": "jet4"})", {"\"tables\""}},
};

TEST(MkmdbDescription, BadDescriptionsNameTheirPlaceAndWriteNothing) {
  for (const BadCase& c : kBadCases) {
    TempDir dir;
    const std::string output = dir.File("out.mdb");
    try {
      WriteMdbFromJson(c.json, output);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const DescriptionError& e) {
      const std::string message = e.what();
      for (const std::string& part : c.mentions) {
        EXPECT_NE(message.find(part), std::string::npos)
            << c.what << ": \"" << message << "\" does not mention " << part;
      }
    }
    EXPECT_TRUE(dir.Files().empty()) << c.what << ": left a file behind";
  }
}

TEST(MkmdbDescription, FailureLeavesAnExistingOutputUntouched) {
  TempDir dir;
  const std::string output = dir.File("out.mdb");
  std::ofstream(output) << "previous";
  EXPECT_THROW(WriteMdbFromJson(R"({"tables": [{"name": "T"}]})", output), DescriptionError);
  EXPECT_EQ(testing::ReadBytes(output), "previous");
  EXPECT_EQ(dir.Files(), std::vector<std::string>{"out.mdb"});
}

TEST(MkmdbDescription, UnwritableOutputNamesThePath) {
  TempDir dir;
  const std::string output = dir.File("missing-folder/out.mdb");
  try {
    WriteMdbFromJson(R"({"tables": []})", output);
    ADD_FAILURE() << "wrote into a folder that does not exist";
  } catch (const OutputError& e) {
    EXPECT_NE(std::string(e.what()).find(output), std::string::npos) << e.what();
  }
  EXPECT_TRUE(dir.Files().empty());
}

TEST(MkmdbDescription, ValidatesHandBuiltDescriptionsToo) {
  Description d;
  TableDescription t;
  t.name = "T";
  FieldDescription f;
  f.name = "Big";
  f.type = FieldType::kText;
  f.size = 300;
  t.fields.push_back(f);
  d.tables.push_back(t);
  TempDir dir;
  EXPECT_THROW(WriteMdb(d, dir.File("x.mdb")), DescriptionError);
  EXPECT_TRUE(dir.Files().empty());
}

TEST(MkmdbCommandLine, ReportsBadDescriptionsWithStatusOne) {
  TempDir dir;
  const std::string json = dir.File("bad.json");
  std::ofstream(json) << R"({"tables": [{"name": "Orders", "fields": [{"name": "ID",
    "type": "strng"}]}]})";
  const std::string output = dir.File("out.mdb");
  const auto result =
      testing::Run(std::string(ZENTAB_MKMDB_PATH) + " " + json + " " + output, true);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("table \"Orders\", field \"ID\""), std::string::npos) << result.out;
  EXPECT_FALSE(std::filesystem::exists(output));

  EXPECT_EQ(testing::Run(std::string(ZENTAB_MKMDB_PATH) + " " + json).status, 2);
  EXPECT_EQ(
      testing::Run(std::string(ZENTAB_MKMDB_PATH) + " " + dir.File("none.json") + " " + output)
          .status,
      1);
}

}  // namespace
}  // namespace zentab::mkmdb
