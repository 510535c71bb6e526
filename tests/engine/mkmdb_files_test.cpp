// Databases made by the test-database writer, read through the real reader: table order and
// attributes, dates, record counts, links, type codes and sizes, ordinals, column properties,
// Jet 3 code page 932 names, protection and truncation.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/mdbengine.h"
#include "engine/readerprocess.h"
#include "mkmdb/mkmdb.h"
#include "platform/paths.h"
#include "schema/reader.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

namespace fs = std::filesystem;

class WrittenFiles : public ::testing::TestWithParam<const char*> {
 protected:
  // Writes a database of the parameter's format with the given tables (a JSON list).
  std::string Write(const std::string& name, const std::string& tables, int codePage = 1252,
                    const std::string& password = "") {
    std::string json = std::string(R"({"format":")") + GetParam() + R"(","codePage":)" +
                       std::to_string(codePage) + R"(,"password":")" + password + R"(","tables":)" +
                       tables + "}";
    std::string path = dir_.File(name);
    mkmdb::WriteMdbFromJson(json, path);
    return path;
  }
  std::shared_ptr<const DatabaseSnapshot> Read(const std::string& path) {
    return reader_.Read(path, 10);
  }
  std::string OpenError(const std::string& path) {
    try {
      reader_.Read(path, 10);
    } catch (const AutomationError& e) {
      return e.what();
    }
    return "(opened)";
  }
  bool jet3() const { return std::string(GetParam()) == "jet3"; }

  testing::TempDir dir_;
  ReaderProcess reader_{platform::ExecutableDirectory() + "zentab-dbreader"};
};

// A table's, field's or index's property set alike.
template <typename Properties>
Variant Get(const Properties& p, const char* name) {
  auto read = p.Find(name);
  if (!read) return Variant("(missing)");
  if (read->error) return Variant("(error) " + *read->error);
  return read->value;
}

const TableSnapshot& Table(const DatabaseSnapshot& db, const std::string& name) {
  for (const auto& t : db.tables) {
    if (Get(t.properties, "Name") == Variant(name)) return t;
  }
  throw std::runtime_error("no table " + name);
}

std::string LocalTable(const std::string& name, const std::string& extra = "") {
  return R"({"name":")" + name + R"(",)" + extra + R"("fields":[{"name":"ID","type":"long"}]})";
}

TEST_P(WrittenFiles, OrdersTablesByNameIgnoringCaseWithSystemHiddenAndLinks) {
  std::string tables = "[" + LocalTable("b") + "," + LocalTable("MSysAux") + "," +
                       LocalTable("~TMPCLP4711") + "," + LocalTable("_under") + "," +
                       LocalTable("Zed") + "," + LocalTable("A") + "," + LocalTable("a2") + "," +
                       R"({"name":"Lnk","link":{"database":"C:\\x.mdb","foreignName":"T"}},)" +
                       R"({"name":"odbc","odbc":{"connect":"DSN=x;","foreignName":"dbo.T"}}])";
  auto db = Read(Write("order.mdb", tables));
  std::vector<std::string> names;
  for (const auto& t : db->tables) names.push_back(Get(t.properties, "Name").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"_under", "A", "a2", "b", "Lnk", "MSysAux",
                                             "MSysObjects", "odbc", "Zed", "~TMPCLP4711"}));
}

TEST_P(WrittenFiles, ReportsTheAttributeBitsOfEachKindOfTable) {
  struct Case {
    const char* name;
    const char* json;
    std::uint32_t attributes;
  };
  const Case cases[] = {
      {"plain", R"({"name":"plain","flags":0,"fields":[{"name":"a","type":"long"}]})", 0},
      {"jetsys", R"({"name":"jetsys","flags":-2147483648,"fields":[{"name":"a","type":"long"}]})",
       0x80000000},
      {"accsys", R"({"name":"accsys","flags":2,"fields":[{"name":"a","type":"long"}]})", 0x2},
      {"temp", R"({"name":"temp","flags":1,"fields":[{"name":"a","type":"long"}]})", 0x1},
      {"hidden", R"({"name":"hidden","flags":8,"fields":[{"name":"a","type":"long"}]})", 0},
      {"linkbits", R"({"name":"linkbits","flags":196608,"fields":[{"name":"a","type":"long"}]})",
       0},
      {"all", R"({"name":"all","flags":-2147418101,"fields":[{"name":"a","type":"long"}]})",
       0x80000003},
      {"lnk", R"({"name":"lnk","link":{"database":"C:\\x.mdb","foreignName":"T"}})", 0x40000000},
      {"odbc", R"({"name":"odbc","odbc":{"connect":"DSN=x;","foreignName":"T"}})", 0x20000000},
  };
  std::string tables = "[";
  for (const auto& c : cases) tables += std::string(tables.size() > 1 ? "," : "") + c.json;
  auto db = Read(Write("attributes.mdb", tables + "]"));
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<std::uint32_t>(Get(Table(*db, c.name).properties, "Attributes").AsInt()),
              c.attributes)
        << c.name;
  }
}

// Dates through the whole path: the snapshot's OLE dates, then the reader's text.
TEST_P(WrittenFiles, CarriesDatesAtMidnightOnDayZeroAndNull) {
  std::string tables =
      "[" +
      LocalTable("t1", R"("created":"2003-02-01 00:00:00","updated":"1899-12-30 09:05:00",)") +
      "," + LocalTable("t2", R"("created":"2003-01-15 10:20:30","updated":null,)") + "," +
      LocalTable("t3", R"("created":"1899-12-30 00:00:00",)") + "]";
  std::string path = Write("dates.mdb", tables);
  auto db = Read(path);
  EXPECT_EQ(Get(Table(*db, "t1").properties, "DateCreated"), Variant(Variant::Date{37653.0}));
  EXPECT_NEAR(Get(Table(*db, "t1").properties, "LastUpdated").AsDate(), 0.378472222, 1e-9);
  EXPECT_TRUE(Get(Table(*db, "t2").properties, "LastUpdated").IsNull());

  RegisterMdbEngine();
  TMdb mdb;
  ReadMdb(path, mdb);
  std::map<std::string, std::pair<std::string, std::string>> dates;
  for (const auto& t : mdb.TableDefs) dates[t.Name] = {t.DateCreated, t.LastUpdated};
  EXPECT_EQ(dates["t1"].first, "2003/02/01");
  EXPECT_EQ(dates["t1"].second, "9:05:00");
  EXPECT_EQ(dates["t2"].first, "2003/01/15 10:20:30");
  EXPECT_EQ(dates["t2"].second, "");
  EXPECT_EQ(dates["t3"].first, "0:00:00");
}

TEST_P(WrittenFiles, ReportsStoredRecordCountsAndMinusOneForLinks) {
  std::string tables = "[" + LocalTable("none", R"("rows":0,)") + "," +
                       LocalTable("some", R"("rows":120,)") + "," +
                       LocalTable("many", R"("rows":3000,)") + "," +
                       R"({"name":"lnk","link":{"database":"C:\\x.mdb","foreignName":"T"}}])";
  auto db = Read(Write("counts.mdb", tables));
  EXPECT_EQ(Get(Table(*db, "none").properties, "RecordCount"), Variant(std::int32_t{0}));
  EXPECT_EQ(Get(Table(*db, "some").properties, "RecordCount"), Variant(std::int32_t{120}));
  EXPECT_EQ(Get(Table(*db, "many").properties, "RecordCount"), Variant(std::int32_t{3000}));
  EXPECT_EQ(Get(Table(*db, "lnk").properties, "RecordCount"), Variant(std::int32_t{-1}));
  EXPECT_EQ(Get(Table(*db, "none").properties, "SourceTableName"), Variant(""));
}

TEST_P(WrittenFiles, FindsLinkedSourcesBesideTheDatabaseOrReportsThemMissing) {
  Write("back.mdb",
        R"([{"name":"Stock","fields":[{"name":"Qty","type":"integer","ordinal":2,"required":true},)"
        R"({"name":"Item","type":"text","size":30,"ordinal":1,"default":"\"none\""}]}])");
  std::string front = Write(
      "front.mdb",
      R"([{"name":"Linked","flags":196608,"link":{"database":"Z:\\share\\back.mdb","foreignName":"Stock"}},)"
      R"({"name":"Gone","link":{"database":"Z:\\share\\missing.mdb","foreignName":"Stock"}},)"
      R"({"name":"NoTable","link":{"database":"Z:\\share\\back.mdb","foreignName":"Nothing"}},)"
      R"({"name":"Remote","odbc":{"connect":"DSN=sales;","foreignName":"dbo.Orders"}}])");
  auto db = Read(front);
  const TableSnapshot& linked = Table(*db, "Linked");
  ASSERT_FALSE(linked.fieldsError) << *linked.fieldsError;
  EXPECT_EQ(Get(linked.properties, "SourceTableName"), Variant("Stock"));
  EXPECT_EQ(static_cast<std::uint32_t>(Get(linked.properties, "Attributes").AsInt()), 0x40030000u);
  ASSERT_EQ(linked.fields.size(), 2u);
  const FieldProperties& item = linked.fields[0].properties;
  EXPECT_EQ(Get(item, "Name"), Variant("Item"));
  EXPECT_EQ(Get(item, "SourceTable"), Variant("Stock"));
  EXPECT_EQ(Get(item, "SourceField"), Variant("Item"));
  EXPECT_EQ(Get(item, "DefaultValue"), Variant("\"none\""));
  EXPECT_EQ(Get(linked.fields[1].properties, "Required"), Variant(true));

  const TableSnapshot& gone = Table(*db, "Gone");
  EXPECT_EQ(gone.fieldsError, "Could not find file 'Z:\\share\\missing.mdb'.");
  EXPECT_EQ(Get(gone.properties, "SourceTableName"), Variant("Stock"));
  EXPECT_EQ(Table(*db, "NoTable").fieldsError,
            "Could not find table 'Nothing' in 'Z:\\share\\back.mdb'.");
  const TableSnapshot& remote = Table(*db, "Remote");
  ASSERT_TRUE(remote.fieldsError);
  EXPECT_NE(remote.fieldsError->find("ODBC"), std::string::npos);
  EXPECT_EQ(Get(remote.properties, "SourceTableName"), Variant("dbo.Orders"));
}

TEST_P(WrittenFiles, MapsEveryTypeToItsCodeAndSize) {
  struct Case {
    const char* type;
    int size;
    std::int32_t code;
    std::int32_t reported;
  };
  std::vector<Case> cases = {
      {"boolean", 0, 1, 1},  {"byte", 0, 2, 1},    {"integer", 0, 3, 2},   {"long", 0, 4, 4},
      {"currency", 0, 5, 8}, {"single", 0, 6, 4},  {"double", 0, 7, 8},    {"datetime", 0, 8, 8},
      {"binary", 20, 9, 20}, {"text", 50, 10, 50}, {"text", 255, 10, 255}, {"ole", 0, 11, 0},
      {"memo", 0, 12, 0},    {"guid", 0, 15, 16},  {"decimal", 0, 20, 16},
  };
  if (!jet3()) cases.push_back({"bigint", 0, 16, 8});
  std::string fields;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    fields += std::string(i ? "," : "") + R"({"name":"f)" + std::to_string(i) + R"(","type":")" +
              cases[i].type + "\"" +
              (cases[i].size ? R"(,"size":)" + std::to_string(cases[i].size) : "") + "}";
  }
  auto db = Read(Write("types.mdb", R"([{"name":"T","fields":[)" + fields + "]}]"));
  const TableSnapshot& t = Table(*db, "T");
  ASSERT_EQ(t.fields.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Get(t.fields[i].properties, "Type"), Variant(cases[i].code)) << cases[i].type;
    EXPECT_EQ(Get(t.fields[i].properties, "Size"), Variant(cases[i].reported)) << cases[i].type;
  }
}

TEST_P(WrittenFiles, OrdersFieldsByOrdinalWithGapsAndTies) {
  auto db = Read(Write("ordinals.mdb", R"([{"name":"T","fields":[)"
                                       R"({"name":"late","type":"long","ordinal":9},)"
                                       R"({"name":"Zed","type":"long","ordinal":2},)"
                                       R"({"name":"first","type":"long","ordinal":1},)"
                                       R"({"name":"alpha","type":"long","ordinal":2}]}])"));
  const TableSnapshot& t = Table(*db, "T");
  std::vector<std::pair<std::string, std::int32_t>> got;
  for (const auto& f : t.fields) {
    got.emplace_back(Get(f.properties, "Name").AsString(),
                     Get(f.properties, "OrdinalPosition").AsInt());
  }
  EXPECT_EQ(got, (std::vector<std::pair<std::string, std::int32_t>>{
                     {"first", 1}, {"alpha", 2}, {"Zed", 2}, {"late", 9}}));
}

TEST_P(WrittenFiles, ReadsColumnPropertiesPresentAndAbsent) {
  auto db = Read(Write(
      "props.mdb",
      R"([{"name":"T","fields":[)"
      R"({"name":"none","type":"text","size":10},)"
      R"({"name":"yes","type":"text","size":10,"required":true,"allowZeroLength":true,"default":"\"abc\""},)"
      R"({"name":"no","type":"long","required":false,"allowZeroLength":false,"default":"0"},)"
      R"x({"name":"GUID","type":"guid","autoNumber":true,"default":"GenGUID()"}]}])x"));
  const TableSnapshot& t = Table(*db, "T");
  ASSERT_EQ(t.fields.size(), 4u);
  auto props = [&](std::size_t j) {
    const FieldProperties& p = t.fields[j].properties;
    return std::make_tuple(Get(p, "Name").AsString(), Get(p, "Required"), Get(p, "AllowZeroLength"),
                           Get(p, "DefaultValue"));
  };
  EXPECT_EQ(props(0),
            std::make_tuple(std::string("none"), Variant(false), Variant(false), Variant("")));
  EXPECT_EQ(props(1),
            std::make_tuple(std::string("yes"), Variant(true), Variant(true), Variant("\"abc\"")));
  EXPECT_EQ(props(2),
            std::make_tuple(std::string("no"), Variant(false), Variant(false), Variant("0")));
  EXPECT_EQ(props(3), std::make_tuple(std::string("GUID"), Variant(false), Variant(false),
                                      Variant("GenGUID()")));
}

TEST_P(WrittenFiles, ReportsFieldAttributesFromTheColumnFlags) {
  auto db = Read(Write("flags.mdb",
                       R"([{"name":"T","fields":[)"
                       R"({"name":"fixed","type":"long"},)"
                       R"({"name":"variable","type":"text","size":5},)"
                       R"({"name":"counter","type":"long","autoNumber":true},)"
                       R"({"name":"guid","type":"guid","autoNumber":true},)"
                       R"({"name":"s_Lineage","type":"binary","size":255,"replication":true},)"
                       R"({"name":"link","type":"memo","hyperlink":true}]}])"));
  const std::int32_t expected[] = {1, 2, 17, 17, 8194, 32770};
  const TableSnapshot& t = Table(*db, "T");
  ASSERT_EQ(t.fields.size(), std::size(expected));
  for (std::size_t j = 0; j < std::size(expected); ++j) {
    EXPECT_EQ(Get(t.fields[j].properties, "Attributes"), Variant(expected[j]))
        << Get(t.fields[j].properties, "Name").AsString();
    EXPECT_EQ(Get(t.fields[j].properties, "SourceTable"), Variant("T"));
  }
}

TEST_P(WrittenFiles, RefusesAPasswordProtectedFile) {
  std::string path = Write("locked.mdb", "[" + LocalTable("T") + "]", 1252, "secret");
  EXPECT_EQ(OpenError(path), "Not a valid password.");
}

TEST_P(WrittenFiles, ReportsTruncatedFilesClearly) {
  std::string path = Write("whole.mdb", "[" + LocalTable("T") + "]");
  std::string bytes = testing::ReadBytes(path);
  std::size_t page = jet3() ? 2048 : 4096;
  std::string half = dir_.Write("half.mdb", bytes.substr(0, page * 2 + page / 2));
  EXPECT_EQ(OpenError(half).rfind(
                "Unrecognized database format '" + half + "': the file is truncated", 0),
            0u)
      << OpenError(half);
}

INSTANTIATE_TEST_SUITE_P(Formats, WrittenFiles, ::testing::Values("jet4", "jet3"));

// Jet 3 text in code page 932, including characters SHIFT-JIS lacks or mangles.
TEST(Jet3CodePage932, KeepsNecExtensionsWaveDashAndTrailingBackslashBytes) {
  testing::TempDir dir;
  std::string path = dir.File("sjis.mdb");
  mkmdb::WriteMdbFromJson(
      R"({"format":"jet3","codePage":932,"tables":[{"name":"表①㈱～","fields":[)"
      R"({"name":"表示","type":"text","size":20,"default":"\"ソ\""},{"name":"能力①","type":"long"}]}]})",
      path);
  ReaderProcess reader(platform::ExecutableDirectory() + "zentab-dbreader");
  auto db = reader.Read(path, 10);
  const TableSnapshot& t = Table(*db, "表①㈱～");
  ASSERT_EQ(t.fields.size(), 2u);
  EXPECT_EQ(Get(t.fields[0].properties, "Name"), Variant("表示"));
  EXPECT_EQ(Get(t.fields[0].properties, "DefaultValue"), Variant("\"ソ\""));
  EXPECT_EQ(Get(t.fields[0].properties, "Size"), Variant(std::int32_t{20}));
  EXPECT_EQ(Get(t.fields[1].properties, "Name"), Variant("能力①"));
  EXPECT_EQ(Get(t.fields[1].properties, "SourceTable"), Variant("表①㈱～"));
  // A Jet 3 file read after it must not inherit code page 932.
  std::string latin = dir.File("latin.mdb");
  mkmdb::WriteMdbFromJson(
      R"({"format":"jet3","codePage":1252,"tables":[{"name":"Größe","fields":[{"name":"é","type":"long"}]}]})",
      latin);
  auto second = reader.Read(latin, 10);
  EXPECT_EQ(Get(Table(*second, "Größe").fields.at(0).properties, "Name"), Variant("é"));
}

}  // namespace
}  // namespace zentab::engine
