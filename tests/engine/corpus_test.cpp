// Real Access files from the shared corpus (skipped when it is absent): links found beside the
// database and missing, an ODBC link, the newer formats, table order, and zentab-cli over
// every corpus file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

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

Variant Value(const PropertySet& p, const char* name) {
  const PropertyRead* read = p.Find(name);
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
    const PropertySet& f = table->fields[j].properties;
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

}  // namespace
}  // namespace zentab::engine
