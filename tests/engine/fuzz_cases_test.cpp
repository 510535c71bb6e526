// Damaged files kept from fuzzing (tests/engine/data/fuzz/, described in its README.md): each
// ends in a snapshot or a clear error from the reader process within the timeout, and the
// damage it carries is reported where it belongs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "engine/readerprocess.h"
#include "platform/paths.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

namespace fs = std::filesystem;

constexpr int kTimeout = 15;

std::vector<fs::path> CaseFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(ZENTAB_FUZZ_CASES_DIR)) {
    auto ext = entry.path().extension();
    if (ext == ".mdb" || ext == ".accdb") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Each case is read as the fuzzer read it: as db.mdb in a folder of its own, so that a link to
// "...\db.mdb" leads back to the file itself.
class FuzzCases : public ::testing::Test {
 protected:
  std::string Place(const fs::path& file) {
    std::string path = dir_.File("db.mdb");
    fs::copy_file(file, path, fs::copy_options::overwrite_existing);
    return path;
  }
  std::shared_ptr<const DatabaseSnapshot> Read(const std::string& name) {
    return reader_.Read(Place(fs::path(ZENTAB_FUZZ_CASES_DIR) / name), kTimeout);
  }

  testing::TempDir dir_;
  ReaderProcess reader_{platform::ExecutableDirectory() + "zentab-dbreader"};
};

const TableSnapshot& Table(const DatabaseSnapshot& db, const std::string& name) {
  for (const auto& t : db.tables) {
    if (t.properties.Find("Name")->value.AsString() == name) return t;
  }
  throw std::runtime_error("no table " + name);
}

PropertyRead Property(const FieldSnapshot& field, const char* name) {
  std::optional<PropertyRead> read = field.properties.Find(name);
  if (!read) throw std::runtime_error(std::string("no property ") + name);
  return *read;
}

TEST_F(FuzzCases, EachEndsInASnapshotOrAClearErrorInTime) {
  auto files = CaseFiles();
  ASSERT_GE(files.size(), 2u);
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::string path = Place(file);
    auto before = std::chrono::steady_clock::now();
    try {
      EXPECT_NE(reader_.Read(path, kTimeout), nullptr);
    } catch (const AutomationError& e) {
      std::string message = e.what();
      EXPECT_EQ(message.find("timed out"), std::string::npos) << message;
      EXPECT_EQ(message.find("stopped unexpectedly"), std::string::npos) << message;
      EXPECT_TRUE(message.find(path) != std::string::npos || message == "Not a valid password.")
          << message;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(kTimeout));
  }
}

// The last part of the LvProp chain names itself as the next; the parts before it already hold
// the declared length, so the properties read in full.
TEST_F(FuzzCases, ALongValueChainThatLoopsPastItsLengthStillReads) {
  auto db = Read("lvprop-chain-loop-jet3.mdb");
  const TableSnapshot& table = Table(*db, "幅広");
  ASSERT_EQ(table.fields.size(), 60u);
  for (std::size_t i : {std::size_t{0}, std::size_t{59}}) {
    const FieldSnapshot& field = table.fields[i];
    EXPECT_EQ(Property(field, "DefaultValue").value.AsString(), std::to_string(i * 1000 + 1));
    EXPECT_TRUE(Property(field, "Required").value.AsBool());
  }
}

// The chain returns to its first part and the cell declares far more bytes than the parts
// hold: the properties of that table fail with the reason, its fields and the other tables
// still read, here and through a link back to the same file.
TEST_F(FuzzCases, ALongValueChainThatLoopsShortOfItsLengthFailsTheProperties) {
  auto db = Read("lvprop-chain-loop-long-jet4.mdb");
  for (const char* name : {"Wide", "Link"}) {
    SCOPED_TRACE(name);
    const TableSnapshot& table = Table(*db, name);
    EXPECT_FALSE(table.fieldsError) << *table.fieldsError;
    ASSERT_EQ(table.fields.size(), 40u);
    const FieldSnapshot& field = table.fields[3];
    EXPECT_EQ(Property(field, "Name").value.AsString(), "Field03");
    EXPECT_EQ(Property(field, "Size").value.AsInt(), 50);
    for (const char* property : {"DefaultValue", "Required", "AllowZeroLength"}) {
      const PropertyRead read = Property(field, property);
      ASSERT_TRUE(read.error) << property;
      EXPECT_NE(read.error->find("form a loop"), std::string::npos) << *read.error;
    }
  }
}

// Every stored date is NaN or 1e300: those properties fail, the rest of the table reads.
TEST_F(FuzzCases, StoredDatesThatAreNoDatesFailTheirProperties) {
  auto db = Read("dates-out-of-range-jet3.mdb");
  const TableSnapshot& table = Table(*db, "T");
  for (const char* name : {"DateCreated", "LastUpdated"}) {
    const PropertyRead* read = table.properties.Find(name);
    ASSERT_NE(read, nullptr);
    ASSERT_TRUE(read->error) << name;
    EXPECT_NE(read->error->find("is not a valid date"), std::string::npos) << *read->error;
  }
  EXPECT_EQ(table.fields.size(), 2u);
  EXPECT_EQ(table.properties.Find("Attributes")->value.AsInt(), 1);
}

// MSysObjects' usage map is an empty row: the table collection fails, the file stays open.
TEST_F(FuzzCases, AnEmptyCatalogUsageMapFailsTheTables) {
  auto db = Read("usage-map-empty-jet3.mdb");
  ASSERT_TRUE(db->tablesError);
  EXPECT_NE(db->tablesError->find("usage map"), std::string::npos) << *db->tablesError;
  EXPECT_TRUE(db->tables.empty());
}

}  // namespace
}  // namespace zentab::engine
