// Real Access files from the shared corpus (skipped when it is absent): links found beside the
// database and missing, an ODBC link, the newer formats, table order, saved queries' SQL, and
// zentab-cli over every corpus file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "corpus_queries.h"
#include "engine/mdbformat.h"
#include "engine/readerprocess.h"
#include "platform/paths.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

namespace fs = std::filesystem;

class Corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::CorpusDir();
    if (dir_.empty()) GTEST_SKIP() << "no corpus at $ZENTAB_SHARED_DIR/corpus";
  }
  std::shared_ptr<const DatabaseSnapshot> Read(const std::string& path) {
    return reader_.Read(path, 30);
  }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
  ReaderProcess reader_{platform::ExecutableDirectory() + "zentab-dbreader"};
};

const TableSnapshot* FindTable(const DatabaseSnapshot& db, const std::string& name) {
  for (const auto& t : db.tables) {
    if (t.properties.Find("Name")->value.AsString() == name) return &t;
  }
  return nullptr;
}

// A table's, field's or index's property set alike.
template <typename Properties>
Variant Value(const Properties& p, const char* name) {
  auto read = p.Find(name);
  if (!read || read->error) return Variant::MakeNull();
  return read->value;
}

TEST_F(Corpus, FindsALinkedSourceBesideTheDatabaseAndReportsAMissingOne) {
  testing::TempDir alone, together;
  fs::copy_file(File("linkerTestV2007.accdb"), alone.File("linker.accdb"));
  fs::copy_file(File("linkerTestV2007.accdb"), together.File("linker.accdb"));
  fs::copy_file(File("linkeeTest.accdb"), together.File("linkeeTest.accdb"));

  auto missing = Read(alone.File("linker.accdb"));
  const TableSnapshot* link = FindTable(*missing, "Table2");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->fieldsError, "Could not find file 'Z:\\jackcess_test\\linkeeTest.accdb'.");
  EXPECT_EQ(Value(link->properties, "RecordCount"), Variant(std::int32_t{-1}));
  EXPECT_EQ(Value(link->properties, "SourceTableName"), Variant("Table1"));
  EXPECT_EQ(Value(link->properties, "Attributes").AsInt() & 0x40000000, 0x40000000);
  EXPECT_TRUE(Value(link->properties, "DateCreated").IsDate());

  auto found = Read(together.File("linker.accdb"));
  link = FindTable(*found, "Table2");
  ASSERT_NE(link, nullptr);
  EXPECT_FALSE(link->fieldsError) << *link->fieldsError;
  ASSERT_EQ(link->fields.size(), 2u);
  EXPECT_EQ(Value(link->fields[0].properties, "Name"), Variant("ID"));
  EXPECT_EQ(Value(link->fields[0].properties, "SourceTable"), Variant("Table1"));
  EXPECT_EQ(Value(link->fields[0].properties, "SourceField"), Variant("ID"));
  EXPECT_EQ(Value(link->fields[0].properties, "Attributes"), Variant(std::int32_t{17}));
  EXPECT_EQ(Value(link->fields[1].properties, "Size"), Variant(std::int32_t{255}));
  EXPECT_EQ(Value(link->fields[1].properties, "AllowZeroLength"), Variant(true));
}

TEST_F(Corpus, ReportsAnOdbcLinkWithoutFields) {
  auto db = Read(File("odbcLinkerTestV2007.accdb"));
  int odbc = 0;
  for (const auto& t : db->tables) {
    std::int32_t attributes = Value(t.properties, "Attributes").AsInt();
    if (!(attributes & 0x20000000)) continue;
    ++odbc;
    ASSERT_TRUE(t.fieldsError);
    EXPECT_NE(t.fieldsError->find("no ODBC data source is reachable"), std::string::npos);
    EXPECT_EQ(Value(t.properties, "RecordCount"), Variant(std::int32_t{-1}));
    EXPECT_FALSE(Value(t.properties, "SourceTableName").AsString().empty());
  }
  EXPECT_EQ(odbc, 1);
}

TEST_F(Corpus, ReadsAJet3FileFieldByField) {
  auto db = Read(File("testV1997.mdb"));
  const TableSnapshot* table = FindTable(*db, "Table1");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(Value(table->properties, "RecordCount"), Variant(std::int32_t{2}));
  EXPECT_EQ(Value(table->properties, "Attributes"), Variant(std::int32_t{0}));
  EXPECT_EQ(Value(table->properties, "SourceTableName"), Variant(""));
  struct Expected {
    const char* name;
    std::int32_t type, size, attributes;
    const char* defaultValue;
  };
  const Expected expected[] = {
      {"A", 10, 50, 2, ""}, {"B", 10, 100, 2, ""}, {"C", 2, 1, 1, "0"},
      {"D", 3, 2, 1, "0"},  {"E", 4, 4, 1, "0"},   {"F", 7, 8, 1, "0"},
      {"G", 8, 8, 1, ""},   {"H", 5, 8, 1, "0"},   {"I", 1, 1, 1, ""},
  };
  ASSERT_EQ(table->fields.size(), std::size(expected));
  for (std::size_t j = 0; j < std::size(expected); ++j) {
    const FieldProperties& f = table->fields[j].properties;
    EXPECT_EQ(Value(f, "Name"), Variant(expected[j].name));
    EXPECT_EQ(Value(f, "OrdinalPosition"), Variant(static_cast<std::int32_t>(j)));
    EXPECT_EQ(Value(f, "Type"), Variant(expected[j].type)) << expected[j].name;
    EXPECT_EQ(Value(f, "Size"), Variant(expected[j].size)) << expected[j].name;
    EXPECT_EQ(Value(f, "Attributes"), Variant(expected[j].attributes)) << expected[j].name;
    EXPECT_EQ(Value(f, "DefaultValue"), Variant(expected[j].defaultValue)) << expected[j].name;
    EXPECT_EQ(Value(f, "SourceTable"), Variant("Table1"));
  }
  const TableSnapshot* guid = FindTable(*db, "Table4");
  ASSERT_NE(guid, nullptr);
  ASSERT_EQ(guid->fields.size(), 2u);
  EXPECT_EQ(Value(guid->fields[1].properties, "Type"), Variant(std::int32_t{15}));
  EXPECT_EQ(Value(guid->fields[1].properties, "Attributes"), Variant(std::int32_t{17}));
  EXPECT_EQ(Value(guid->fields[1].properties, "DefaultValue"), Variant("GenGUID()"));
}

TEST_F(Corpus, OrdersTablesByNameIgnoringCaseInEveryFormat) {
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    auto db = Read(entry.path().string());
    ASSERT_FALSE(db->tablesError) << entry.path() << ": " << *db->tablesError;
    std::vector<std::string> keys;
    for (const auto& t : db->tables)
      keys.push_back(LowerCaseKey(Value(t.properties, "Name").AsString()));
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << entry.path();
    EXPECT_FALSE(keys.empty()) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0);
}

// One query of each type in every format, read by the reader process: Type, SQL and hidden
// state as Access shows them.
TEST_F(Corpus, ReadsEveryQueryTypeOfTheQueryTestFiles) {
  for (const char* file : {"queryTestV1997.mdb", "queryTestV2000.mdb", "queryTestV2003.mdb",
                           "queryTestV2007.accdb", "queryTestV2010.accdb"}) {
    SCOPED_TRACE(file);
    auto db = Read(File(file));
    ASSERT_FALSE(db->queriesError) << *db->queriesError;
    std::map<std::string, const PropertySet*> byName;
    for (const auto& q : db->queries)
      byName[Value(q.properties, "Name").AsString()] = &q.properties;
    ASSERT_EQ(byName.size(), testing::CorpusQueries().size());
    for (const auto& expected : testing::CorpusQueries()) {
      SCOPED_TRACE(expected.name);
      ASSERT_TRUE(byName.contains(expected.name));
      const PropertySet& q = *byName.at(expected.name);
      const PropertyRead* sql = q.Find("SQL");
      ASSERT_NE(sql, nullptr);
      EXPECT_FALSE(sql->error) << *sql->error;
      EXPECT_EQ(sql->value.AsString(), expected.sql);
      EXPECT_EQ(Value(q, "Type"), Variant(expected.objectFlags));
      EXPECT_EQ(Value(q, "Hidden"), Variant(false));
    }
  }
}

// The 56 record sources a file's forms and controls keep as queries: hidden, each with its SQL.
TEST_F(Corpus, RecordSourcesOfFormsAreHiddenQueries) {
  auto db = Read(File("odbcLinkerTestV2007.accdb"));
  ASSERT_FALSE(db->queriesError) << *db->queriesError;
  ASSERT_EQ(db->queries.size(), 56u);
  for (const auto& q : db->queries) {
    SCOPED_TRACE(Value(q.properties, "Name").AsString());
    EXPECT_EQ(Value(q.properties, "Hidden"), Variant(true));
    const PropertyRead* sql = q.properties.Find("SQL");
    ASSERT_NE(sql, nullptr);
    EXPECT_FALSE(sql->error) << *sql->error;
  }
}

// zentab-cli over every corpus file, one job each: every file is documented within the
// timeout.
TEST_F(Corpus, CommandLineDocumentsEveryFile) {
  testing::TempDir out;
  std::vector<std::string> failures;
  int documented = 0;
  auto start = std::chrono::steady_clock::now();
  for (const auto& entry : fs::directory_iterator(dir_)) {
    std::string file = entry.path().string();
    std::string errors = out.File("stderr.txt");
    std::string command = "timeout -s KILL 60 '" + std::string(ZENTAB_CLI_PATH) +
                          "' --read-timeout 20 --output '" + out.Path() + "' '" + file +
                          "' >/dev/null 2>'" + errors + "'";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << file;
    int code = WEXITSTATUS(status);
    if (code == 0) {
      ++documented;
    } else {
      failures.push_back(entry.path().filename().string() + " (exit " + std::to_string(code) +
                         "): " + testing::ReadBytes(errors));
    }
  }
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("[ corpus  ] %d documented, %zu failed, %.1f s\n", documented, failures.size(),
              seconds);
  for (const auto& f : failures) ADD_FAILURE() << f;
  EXPECT_GT(documented, 0);
}

// A table's, field's or index's property set alike.
template <typename Properties>
std::string Text(const Properties& p, const char* name) {
  Variant v = Value(p, name);
  return v.IsString() ? v.AsString() : "(not text)";
}

// An index as "name: key, key-desc [primary unique ignoreNulls required foreign]".
std::string Describe(const IndexSnapshot& index) {
  std::string out = Text(index.properties, "Name") + ":";
  for (const auto& field : index.fields) {
    out += " " + Text(field, "Name");
    if (Value(field, "Attributes") == Variant(std::int32_t{1})) out += "-desc";
  }
  out += " [";
  for (const char* flag : {"Primary", "Unique", "IgnoreNulls", "Required", "Foreign"}) {
    if (Value(index.properties, flag) == Variant(true)) out += std::string(" ") + flag;
  }
  return out + " ]";
}

std::vector<std::string> Indexes(const DatabaseSnapshot& db, const std::string& table) {
  const TableSnapshot* t = FindTable(db, table);
  if (!t) return {"(no table " + table + ")"};
  if (t->indexesError) return {"(error) " + *t->indexesError};
  std::vector<std::string> out;
  for (const auto& index : t->indexes) out.push_back(Describe(index));
  return out;
}

// The indexes as Access shows them in these files. mdbtools (mdb-schema --indexes) lists the
// primary keys and the "id" indexes too, but leaves out Table1's two foreign-key indexes and
// the hidden ".rC" indexes behind the relationships.
TEST_F(Corpus, ReadsIndexKeysAndFlagsInEveryFormat) {
  for (const char* file : {"indexTestV1997.mdb", "indexTestV2000.mdb", "indexTestV2003.mdb",
                           "indexTestV2007.accdb", "indexTestV2010.accdb"}) {
    SCOPED_TRACE(file);
    auto db = Read(File(file));
    EXPECT_EQ(Indexes(*db, "Table1"),
              (std::vector<std::string>{"id: id [ ]", "PrimaryKey: id [ Primary Unique Required ]",
                                        "Table2Table1: otherfk1 [ Foreign ]",
                                        "Table3Table1: otherfk2 [ Foreign ]"}));
    EXPECT_EQ(Indexes(*db, "Table2"),
              (std::vector<std::string>{".rC: id [ Unique Required ]", "id: id [ ]",
                                        "PrimaryKey: id [ Primary Unique Required ]"}));
  }
  for (const char* file : {"testIndexPropertiesV2000.mdb", "testIndexPropertiesV2003.mdb",
                           "testIndexPropertiesV2007.accdb", "testIndexPropertiesV2010.accdb"}) {
    SCOPED_TRACE(file);
    auto db = Read(File(file));
    EXPECT_EQ(Indexes(*db, "TableUnique2_temp"),
              (std::vector<std::string>{"DataIndex: data1 data2 [ Unique ]",
                                        "PrimaryKey: row [ Primary Unique Required ]"}));
    EXPECT_EQ(Indexes(*db, "TableIgnoreNulls1"),
              (std::vector<std::string>{"DataIndex: data [ IgnoreNulls ]",
                                        "PrimaryKey: row [ Primary Unique Required ]"}));
  }
}

// A table with attachment, multi-value and version-history columns: each has a hidden unique
// index named after it, and none of those is the primary key.
TEST_F(Corpus, HiddenIndexesOfComplexColumnsAreNotPrimaryKeys) {
  for (const char* file : {"complexDataTestV2007.accdb", "complexDataTestV2010.accdb"}) {
    SCOPED_TRACE(file);
    auto db = Read(File(file));
    const TableSnapshot* table = FindTable(*db, "Table1");
    ASSERT_NE(table, nullptr);
    std::vector<std::string> primary;
    int hidden = 0;
    for (const auto& index : table->indexes) {
      if (Value(index.properties, "Primary") == Variant(true)) primary.push_back(Describe(index));
      std::string name = Text(index.properties, "Name");
      if (name.rfind("PrimaryKey", 0) != 0) {
        ++hidden;
        EXPECT_EQ(Describe(index).find("Primary"), std::string::npos) << Describe(index);
      }
    }
    EXPECT_EQ(primary, (std::vector<std::string>{"PrimaryKey: id [ Primary Unique Required ]"}));
    EXPECT_GE(hidden, 2);
  }
}

// mdbtools 1.0 (mdb-schema --relations) prints only the navigation pane's relationship for
// these files and drops both of the user's.
TEST_F(Corpus, ReadsRelationshipsApartFromTheSystemOnes) {
  for (const char* file : {"indexTestV1997.mdb", "indexTestV2000.mdb", "indexTestV2003.mdb",
                           "indexTestV2007.accdb", "indexTestV2010.accdb"}) {
    SCOPED_TRACE(file);
    auto db = Read(File(file));
    ASSERT_FALSE(db->relationsError) << *db->relationsError;
    std::vector<std::string> got;
    for (const auto& r : db->relations) {
      std::string line = Text(r.properties, "Name") + " " + Text(r.properties, "Table") + "->" +
                         Text(r.properties, "ForeignTable") + " " +
                         std::to_string(Value(r.properties, "Attributes").AsInt());
      for (const auto& f : r.fields) line += " " + Text(f, "Name") + "=" + Text(f, "ForeignName");
      got.push_back(line);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"Table2Table1 Table2->Table1 4096 id=otherfk1",
                                             "Table3Table1 Table3->Table1 256 id=otherfk2"}));
    for (const auto& r : db->systemRelations) {
      EXPECT_EQ(Text(r.properties, "Name").rfind("MSysNavPane", 0), 0u);
    }
  }
}

// The column properties as mdb-prop shows them.
TEST_F(Corpus, ReadsExpressionsAndFormatsOfCalculatedColumns) {
  auto db = Read(File("calcFieldTestV2010.accdb"));
  const TableSnapshot* table = FindTable(*db, "Table1");
  ASSERT_NE(table, nullptr);
  std::map<std::string, std::string> got;
  for (const auto& field : table->fields) {
    for (const char* name : {"Expression", "Format"}) {
      if (field.stored.values.Find(name)) {
        got[Text(field.properties, "Name") + "." + name] = Text(field.stored.values, name);
      }
    }
  }
  EXPECT_EQ(got["LastFirst.Expression"], "[LastName] & \", \" & [FirstName]");
  EXPECT_EQ(got["LastFirstLen.Expression"], "Len([LastFirst])");
  EXPECT_EQ(got["Salary.Format"], "$#,##0.00;($#,##0.00)");
  EXPECT_EQ(got["IsRich.Format"], "Yes/No");
  EXPECT_EQ(got["IsRich.Expression"], "[Salary]>100000");
  EXPECT_EQ(got.count("ID.Expression"), 0u);
  EXPECT_EQ(Value(FindTable(*db, "Table1")->fields[3].stored.values, "ResultType"),
            Variant(std::int32_t{10}));
}

// Every index of every readable corpus file names at least one key, and every key is a column
// of its table: mdbtools leaves the key list empty on 30 of the 214 Jet 4 index rows.
TEST_F(Corpus, EveryIndexNamesColumnsOfItsTable) {
  int indexes = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    std::shared_ptr<const DatabaseSnapshot> db;
    try {
      db = Read(entry.path().string());
    } catch (const AutomationError&) {
      continue;
    }
    for (const auto& table : db->tables) {
      std::string name = Text(table.properties, "Name");
      SCOPED_TRACE(entry.path().filename().string() + " " + name);
      EXPECT_FALSE(table.indexesError) << *table.indexesError;
      std::set<std::string> columns;
      for (const auto& field : table.fields) columns.insert(Text(field.properties, "Name"));
      for (const auto& index : table.indexes) {
        ++indexes;
        EXPECT_FALSE(index.fields.empty()) << Describe(index);
        for (const auto& field : index.fields) {
          EXPECT_EQ(columns.count(Text(field, "Name")), 1u) << Describe(index);
        }
      }
    }
  }
  EXPECT_GT(indexes, 200);
}

}  // namespace
}  // namespace zentab::engine
