// The schema reader over the in-memory engine: what lands in the records, and how failures
// are kept per field, per table and per file.
#include "schema/reader.h"

#include <gtest/gtest.h>

#include "fakes/fixed_clock.h"
#include "fakes/memory_engine.h"

namespace zentab {
namespace {

using fakes::FieldSpec;
using fakes::MakeField;
using fakes::MakeTable;
using fakes::TableSpec;

DatabaseSnapshot SalesDatabase() {
  DatabaseSnapshot db;
  db.tables.push_back(fakes::SalesOrdersTable(1 | 16));
  db.tables.push_back(MakeTable(TableSpec{.name = "MSysObjects",
                                          .attributes = static_cast<std::int32_t>(0x80000002u),
                                          .dateCreated = Variant::MakeNull(),
                                          .lastUpdated = Variant::MakeNull(),
                                          .recordCount = 31}));
  return db;
}

class ReaderTest : public ::testing::Test {
 protected:
  fakes::MemoryEngine engine;
  fakes::FixedClock clock{{2004, 3, 15, 14, 7, 9}, 5000, 7};
};

TEST_F(ReaderTest, ReadsEveryTableAndFieldIntoTheRecords) {
  engine.Add("/data/Sales.mdb", SalesDatabase());
  TMdb mdb;
  ReadMdb("/data/Sales.mdb", mdb);

  EXPECT_EQ(mdb.Name, "Sales.mdb");
  EXPECT_EQ(mdb.ErrorMessage, "");
  ASSERT_EQ(mdb.TableDefs.size(), 2u);
  const TTableDef& orders = mdb.TableDefs[0];
  EXPECT_EQ(orders.Name, "Orders");
  EXPECT_EQ(orders.Attributes, "");
  EXPECT_EQ(orders.RecordCount, 120);
  EXPECT_EQ(orders.DateCreated, "2003/01/15 10:20:30");
  EXPECT_EQ(orders.LastUpdated, "2003/02/01 9:05:00");
  ASSERT_EQ(orders.Fields.size(), 2u);
  const TTableDefField& id = orders.Fields[0];
  EXPECT_EQ(id.Name, "ID");
  EXPECT_EQ(id.TypeName, "長整数型(Long)");
  EXPECT_EQ(id.Attributes, "サイズ固定,オートナンバー,降順ソート");
  EXPECT_EQ(id.Size, 4);
  EXPECT_TRUE(id.Required);
  EXPECT_FALSE(id.AllowZeroLength);
  EXPECT_EQ(id.DefaultValue, "0");
  EXPECT_EQ(id.SourceTable, "Orders");
  EXPECT_EQ(id.SourceField, "ID");
  EXPECT_EQ(orders.Fields[1].TypeName, "テキスト型(Text)");
  EXPECT_EQ(orders.Fields[1].Attributes, "サイズ可変");
  EXPECT_TRUE(orders.Fields[1].AllowZeroLength);

  const TTableDef& system = mdb.TableDefs[1];
  EXPECT_EQ(system.Attributes, "システムテーブル");
  EXPECT_EQ(system.DateCreated, "");  // Null dates are empty, not failures
  EXPECT_EQ(system.LastUpdated, "");
  EXPECT_EQ(system.ErrorMessage, "");
  EXPECT_TRUE(system.Fields.empty());
}

TEST_F(ReaderTest, TakesTicksAroundOpeningReadingAndClosing) {
  engine.Add("db.mdb", SalesDatabase());
  TMdb mdb;
  ReadMdb("db.mdb", mdb);
  EXPECT_EQ(mdb.StartTick, 5000u);
  EXPECT_EQ(mdb.EndTick, 5007u);
  EXPECT_EQ(mdb.Name, "db.mdb");  // a path without a folder is its own name
}

TEST_F(ReaderTest, AnEmptyDatabaseIsStillOpenedAndClosed) {
  engine.Add("/d/empty.mdb", DatabaseSnapshot{});
  TMdb mdb;
  ReadMdb("/d/empty.mdb", mdb);
  EXPECT_TRUE(mdb.TableDefs.empty());
  EXPECT_EQ(mdb.Name, "empty.mdb");
  EXPECT_EQ(engine.OpenCount(), 1);
  EXPECT_NE(mdb.EndTick, 0u);
}

TEST_F(ReaderTest, KeepsADoubleByteNameWhole) {
  engine.Add("/d/表\\x.mdb", DatabaseSnapshot{});
  TMdb mdb;
  ReadMdb("/d/表\\x.mdb", mdb);
  EXPECT_EQ(mdb.Name, "表\\x.mdb");
}

TEST_F(ReaderTest, AFailingFieldPropertyStopsThatFieldOnly) {
  DatabaseSnapshot db = SalesDatabase();
  FieldSnapshot& id = db.tables[0].fields[0];
  id.properties.Fail("OrdinalPosition", "Property not found.  ");
  engine.Add("x.mdb", db);
  TMdb mdb;
  ReadMdb("x.mdb", mdb);
  const auto& fields = mdb.TableDefs[0].Fields;
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].ErrorMessage, "Property not found");  // trailing dots and blanks go
  EXPECT_EQ(fields[0].Name, "ID");                          // read before the failure
  EXPECT_FALSE(fields[0].Required);                         // never reached
  EXPECT_EQ(fields[0].TypeName, "");
  EXPECT_EQ(fields[1].ErrorMessage, "");
  EXPECT_EQ(fields[1].Name, "Customer");
  EXPECT_EQ(mdb.TableDefs[0].ErrorMessage, "");
}

TEST_F(ReaderTest, NullTextPropertiesAreFailures) {
  for (const char* property : {"Name", "DefaultValue", "SourceField", "SourceTable"}) {
    DatabaseSnapshot db = SalesDatabase();
    db.tables[0].fields[1].properties.Set(property, Variant::MakeNull());
    engine.Add("n.mdb", db);
    TMdb mdb;
    ReadMdb("n.mdb", mdb);
    EXPECT_EQ(mdb.TableDefs[0].Fields[1].ErrorMessage, "Invalid use of Null") << property;
  }
  for (const char* property : {"Name", "SourceTableName"}) {
    DatabaseSnapshot db = SalesDatabase();
    db.tables[0].properties.Set(property, Variant::MakeNull());
    engine.Add("n.mdb", db);
    TMdb mdb;
    ReadMdb("n.mdb", mdb);
    EXPECT_EQ(mdb.TableDefs[0].ErrorMessage, "Invalid use of Null") << property;
  }
}

TEST_F(ReaderTest, AFailingFieldCollectionStopsThatTableOnly) {
  DatabaseSnapshot db = SalesDatabase();
  db.tables[0].fieldsError = "Could not find file 'C:\\db\\back.mdb'.";
  engine.Add("l.mdb", db);
  TMdb mdb;
  ReadMdb("l.mdb", mdb);
  ASSERT_EQ(mdb.TableDefs.size(), 2u);
  EXPECT_EQ(mdb.TableDefs[0].ErrorMessage, "Could not find file 'C:\\db\\back.mdb'");
  EXPECT_EQ(mdb.TableDefs[0].Name, "Orders");
  EXPECT_EQ(mdb.TableDefs[0].RecordCount, 120);
  EXPECT_TRUE(mdb.TableDefs[0].Fields.empty());
  EXPECT_EQ(mdb.TableDefs[1].Name, "MSysObjects");
  EXPECT_EQ(mdb.TableDefs[1].ErrorMessage, "");
}

TEST_F(ReaderTest, EveryItemStartsFromAnEmptyRecord) {
  DatabaseSnapshot db = SalesDatabase();
  db.tables[1].properties.Fail("Attributes", "boom");
  db.tables[0].fields[1].properties.Fail("AllowZeroLength", "boom");
  engine.Add("e.mdb", db);
  TMdb mdb;
  ReadMdb("e.mdb", mdb);
  EXPECT_EQ(mdb.TableDefs[1].Name, "");  // nothing carried over from Orders
  EXPECT_EQ(mdb.TableDefs[1].RecordCount, 0);
  EXPECT_EQ(mdb.TableDefs[0].Fields[1].Name, "");
  EXPECT_EQ(mdb.TableDefs[0].Fields[1].DefaultValue, "");
  EXPECT_EQ(mdb.TableDefs[0].Fields[0].ErrorMessage, "");
}

TEST_F(ReaderTest, AFailingTableCountIsKeptInTheDatabaseRecord) {
  DatabaseSnapshot db = SalesDatabase();
  db.tablesError = "Unrecognized database format '/d/x.mdb'.";
  engine.Add("/d/x.mdb", db);
  TMdb mdb;
  ReadMdb("/d/x.mdb", mdb);
  EXPECT_EQ(mdb.ErrorMessage, "Unrecognized database format '/d/x.mdb'");
  EXPECT_TRUE(mdb.TableDefs.empty());
  EXPECT_EQ(mdb.Name, "x.mdb");
  EXPECT_NE(mdb.EndTick, 0u);
}

TEST_F(ReaderTest, OpenAndCloseFailuresReachTheCaller) {
  engine.FailOpen("/d/bad.mdb", "Not a valid password.");
  TMdb mdb;
  try {
    ReadMdb("/d/bad.mdb", mdb);
    FAIL() << "opening should fail";
  } catch (const AutomationError& e) {
    EXPECT_STREQ(e.what(), "Not a valid password.");
  }
  EXPECT_EQ(mdb.StartTick, 5000u);
  EXPECT_EQ(mdb.Name, "");
  EXPECT_EQ(mdb.EndTick, 0u);

  DatabaseSnapshot db;
  db.closeError = "Disk I/O error";
  engine.Add("/d/close.mdb", db);
  TMdb closing;
  EXPECT_THROW(ReadMdb("/d/close.mdb", closing), AutomationError);
  EXPECT_EQ(closing.EndTick, 0u);
}

TEST(ReaderWithoutEngine, FailsToCreateTheEngine) {
  TMdb mdb;
  EXPECT_THROW(ReadMdb("/d/a.mdb", mdb), AutomationError);
}

TEST_F(ReaderTest, UnknownTypeCodesAreNamedNotFailed) {
  DatabaseSnapshot db = SalesDatabase();
  db.tables[0].fields[1].properties.Set("Type", 13);
  engine.Add("t.mdb", db);
  TMdb mdb;
  ReadMdb("t.mdb", mdb);
  EXPECT_EQ(mdb.TableDefs[0].Fields[1].TypeName, "UnKnown(13)");
  EXPECT_EQ(mdb.TableDefs[0].Fields[1].ErrorMessage, "");
}

// The database's name is its file name as characters: a CP932 name (from a Japanese Windows
// machine) is decoded; bytes that are neither UTF-8 nor CP932 are kept as they are.
TEST_F(ReaderTest, NamesTheDatabaseByTheCharactersOfItsFileName) {
  struct Case {
    const char* path;
    const char* name;
  };
  const Case cases[] = {
      {"/data/Sales.mdb", "Sales.mdb"},
      {"/data/顧客.mdb", "顧客.mdb"},
      {"/data/\x8C\xDA\x8B\x71.mdb", "顧客.mdb"},
      {"/data/\xFF.mdb", "\xFF.mdb"},
  };
  for (const auto& c : cases) {
    engine.Add(c.path, DatabaseSnapshot{});
    TMdb mdb;
    ReadMdb(c.path, mdb);
    EXPECT_EQ(mdb.Name, c.name) << c.path;
  }
}

struct DateCase {
  double value;
  const char* text;
};

TEST(DateToText, UsesTheJapaneseLocaleForm) {
  const DateCase cases[] = {
      {37636.43090277778, "2003/01/15 10:20:30"},
      {37653.37847222222, "2003/02/01 9:05:00"},
      {37653.0, "2003/02/01"},  // midnight: the date alone
      {0.0, "0:00:00"},         // day 0: the time alone
      {0.5, "12:00:00"},
      {1.0, "1899/12/31"},
      {-1.25, "1899/12/29 6:00:00"},  // negative: the fraction's absolute value
      {37653.999999, "2003/02/02"},   // rounds up into the next midnight
      {2.0 + 59.6 / 86400, "1900/01/01 0:01:00"},
      {2958465.0, "9999/12/31"},
      // The last tenth of a second of the last day stays on that day.
      {2958465.0 + 86399.9 / 86400, "9999/12/31 23:59:59"},
      {2958465.0 + 86399.5 / 86400, "9999/12/31 23:59:59"},
      {-657434.0, "0100/01/01"},  // the earliest date the engine knows
      {-657434.5, "0100/01/01 12:00:00"},
      {2958466.75, "10000/01/01 18:00:00"},  // past the last: written as it comes
  };
  for (const auto& c : cases) EXPECT_EQ(DateToText(c.value), c.text) << c.value;
}

TEST(Conversions, FollowTheEnginesRules) {
  EXPECT_EQ(VariantToInt(Variant(std::int32_t{-7})), -7);
  EXPECT_EQ(VariantToInt(Variant(true)), -1);
  EXPECT_EQ(VariantToInt(Variant("42")), 42);
  EXPECT_THROW(VariantToInt(Variant("4x")), AutomationError);
  EXPECT_THROW(VariantToInt(Variant::MakeNull()), AutomationError);
  EXPECT_TRUE(VariantToBool(Variant(std::int32_t{2})));
  EXPECT_FALSE(VariantToBool(Variant(false)));
  EXPECT_THROW(VariantToBool(Variant::MakeNull()), AutomationError);
  EXPECT_EQ(VariantToText(Variant()), "");
  EXPECT_EQ(VariantToText(Variant(std::int32_t{-3})), "-3");
  EXPECT_EQ(VariantToText(Variant("表")), "表");
  EXPECT_THROW(VariantToText(Variant::MakeNull()), AutomationError);
  EXPECT_EQ(VariantToTextNullAsEmpty(Variant::MakeNull()), "");
  EXPECT_EQ(VariantToTextNullAsEmpty(Variant(Variant::Date{37653.0})), "2003/02/01");
}

// Member names match whatever their letter case, at every length the word-wise comparison
// splits differently (none, one word, two overlapping words, beyond two words); a character
// that differs only in the bit case folding flips (@ and `, [ and {) still differs.
TEST(MemberNames, MatchIgnoringLetterCaseOnly) {
  auto reference = [](std::string a, std::string b) {
    for (auto* s : {&a, &b})
      for (char& c : *s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return a == b;
  };
  const std::string base = "AttributesOrdinal@Source[Field";
  for (std::size_t n = 0; n <= base.size(); ++n) {
    std::string name = base.substr(0, n);
    EXPECT_TRUE(SameMemberName(name, name)) << name;
    EXPECT_FALSE(SameMemberName(name, name + "x")) << name;
    for (std::size_t k = 0; k < n; ++k) {
      for (char other : {static_cast<char>(name[k] ^ 0x20), static_cast<char>(name[k] ^ 0x01)}) {
        std::string changed = name;
        changed[k] = other;
        EXPECT_EQ(SameMemberName(name, changed), reference(name, changed))
            << name << " " << changed;
        EXPECT_EQ(SameMemberName(changed, name), reference(name, changed))
            << name << " " << changed;
      }
    }
  }
  EXPECT_TRUE(SameMemberName("SOURCETABLE", "sourceTable"));
  EXPECT_FALSE(SameMemberName("Source@able", "Source`able"));
}

TEST(FailureMessage, TrimsOnlyEngineDescriptions) {
  EXPECT_EQ(FailureMessage(AutomationError("Not a valid password.")), "Not a valid password");
  EXPECT_EQ(FailureMessage(AutomationError("x. .\r\n")), "x");
  EXPECT_EQ(FailureMessage(std::runtime_error("plain.")), "plain.");
}

// What the fixed report does not show reaches the records; its failures stay beside what they
// concern and never touch the ErrorMessage the fixed report prints.
TEST_F(ReaderTest, ReadsIndexesPropertiesRelationsQueriesAndDocuments) {
  DatabaseSnapshot db = SalesDatabase();
  db.properties.Set("Version", "4.0");
  TableSnapshot& orders = db.tables[0];
  orders.stored.values.Set("Description", "受注");
  orders.fields[0].stored.values.Set("Caption", "No");
  IndexSnapshot index;
  for (const char* flag : {"Primary", "Unique", "IgnoreNulls", "Required", "Foreign"})
    index.properties.Set(flag, std::string(flag) != "IgnoreNulls");
  index.properties.Set("Name", "PrimaryKey");
  index.properties.Set("Clustered", false);
  PropertySet key;
  key.Set("Name", "ID");
  key.Set("Attributes", std::int32_t{1});
  index.fields.push_back(key);
  orders.indexes.push_back(index);
  db.tables[1].indexesError = "The indexes of table 'MSysObjects' are damaged";
  db.relationsError = "MSysRelationships is damaged";
  QuerySnapshot query;
  query.properties.Set("Name", "q");
  query.properties.Set("Type", std::int32_t{80});
  query.properties.Set("Hidden", true);
  query.properties.Set("SQL", "");
  query.properties.Set("DateCreated", Variant(Variant::Date{2.5}));
  query.properties.Set("LastUpdated", Variant::MakeNull());
  db.queries.push_back(query);
  for (const char* name : {"Forms", "Reports", "Scripts", "Modules"}) {
    ContainerSnapshot container{name, {}};
    PropertySet document;
    document.Set("Name", std::string("doc of ") + name);
    document.Set("DateCreated", Variant::MakeNull());
    document.Fail("LastUpdated", "not a date");
    container.documents.push_back(document);
    db.containers.push_back(container);
  }
  engine.Add("/data/Sales.mdb", db);
  TMdb mdb;
  ReadMdb("/data/Sales.mdb", mdb);

  EXPECT_EQ(mdb.ErrorMessage, "");
  EXPECT_EQ(mdb.Path, "/data/Sales.mdb");
  EXPECT_EQ(mdb.Version, "4.0");
  const TTableDef& t = mdb.TableDefs[0];
  EXPECT_EQ(t.ErrorMessage, "");
  EXPECT_EQ(t.Properties, (std::vector<TProperty>{{"Description", Variant("受注"), ""}}));
  EXPECT_EQ(t.Fields[0].Properties, (std::vector<TProperty>{{"Caption", Variant("No"), ""}}));
  EXPECT_EQ(t.Fields[0].AttributeBits, 1 | 16);
  EXPECT_EQ(
      t.Indexes,
      (std::vector<TIndex>{{"PrimaryKey", true, true, false, true, true, false, {{"ID", 1}}}}));
  EXPECT_EQ(mdb.TableDefs[1].ErrorMessage, "");
  EXPECT_EQ(mdb.TableDefs[1].IndexesError, "The indexes of table 'MSysObjects' are damaged");
  EXPECT_EQ(mdb.RelationsError, "MSysRelationships is damaged");
  ASSERT_EQ(mdb.QueryDefs.size(), 1u);
  EXPECT_EQ(mdb.QueryDefs[0].Type, 80);
  EXPECT_TRUE(mdb.QueryDefs[0].Hidden);
  EXPECT_EQ(mdb.QueryDefs[0].DateCreated, 2.5);
  EXPECT_FALSE(mdb.QueryDefs[0].LastUpdated);
  std::vector<std::string> documents;
  for (const auto& d : mdb.Documents)
    documents.push_back(d.Kind + ":" + d.Name + ":" + d.ErrorMessage);
  EXPECT_EQ(documents, (std::vector<std::string>{
                           "form:doc of Forms:not a date", "report:doc of Reports:not a date",
                           "macro:doc of Scripts:not a date", "module:doc of Modules:not a date"}));
}

}  // namespace
}  // namespace zentab
