// The late-bound object model over a snapshot: member lookup, collections and failures.
#include "schema/snapshot.h"

#include <gtest/gtest.h>

namespace zentab {
namespace {

ObjectRef OpenOne(std::shared_ptr<const DatabaseSnapshot> db) {
  ObjectRef engine = MakeSnapshotEngine([db](const std::string&) { return db; });
  Variant ws = engine->Invoke("Workspaces", Variant(std::int32_t{0}));
  const Variant args[] = {Variant("x.mdb"), Variant(false), Variant(false)};
  return InvokeOn(ws, "OpenDatabase", args).AsObject();
}

TEST(SnapshotEngine, LooksMembersUpIgnoringCase) {
  auto db = std::make_shared<DatabaseSnapshot>();
  TableSnapshot t;
  t.properties.Set("Name", "Orders");
  db->tables.push_back(t);
  ObjectRef database = OpenOne(db);
  EXPECT_EQ(InvokeOn(database->Invoke("tabledefs"), "COUNT").AsInt(), 1);
  Variant table = database->Invoke("TableDefs", Variant(std::int32_t{0}));
  EXPECT_EQ(InvokeOn(table, "name").AsString(), "Orders");
  EXPECT_THROW(InvokeOn(table, "Nmae"), AutomationError);
}

TEST(SnapshotEngine, RejectsIndexesOutsideTheCollection) {
  auto db = std::make_shared<DatabaseSnapshot>();
  db->tables.emplace_back();
  ObjectRef database = OpenOne(db);
  EXPECT_THROW(database->Invoke("TableDefs", Variant(std::int32_t{1})), AutomationError);
  EXPECT_THROW(database->Invoke("TableDefs", Variant(std::int32_t{-1})), AutomationError);
  Variant table = database->Invoke("TableDefs", Variant(std::int32_t{0}));
  EXPECT_EQ(InvokeOn(InvokeOn(table, "Fields"), "Count").AsInt(), 0);
  EXPECT_THROW(InvokeOn(table, "Fields", Variant(std::int32_t{0})), AutomationError);
}

TEST(SnapshotEngine, ObjectsOutliveTheirDatabaseReference) {
  auto db = std::make_shared<DatabaseSnapshot>();
  TableSnapshot t;
  FieldSnapshot f;
  f.properties.Set("Size", std::int32_t{50});
  t.fields.push_back(f);
  db->tables.push_back(t);
  Variant field;
  {
    ObjectRef database = OpenOne(std::move(db));
    field = InvokeOn(database->Invoke("TableDefs", Variant(std::int32_t{0})), "Fields",
                     Variant(std::int32_t{0}));
  }
  EXPECT_EQ(InvokeOn(field, "Size").AsInt(), 50);
}

TEST(SnapshotEngine, ReportsFailuresWithTheirMessages) {
  auto db = std::make_shared<DatabaseSnapshot>();
  db->tablesError = "cannot read MSysObjects";
  db->closeError = "close failed";
  ObjectRef database = OpenOne(db);
  try {
    InvokeOn(database->Invoke("TableDefs"), "Count");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_STREQ(e.what(), "cannot read MSysObjects");
  }
  EXPECT_THROW(database->Invoke("Close"), AutomationError);

  ObjectRef engine =
      MakeSnapshotEngine([](const std::string& path) -> std::shared_ptr<const DatabaseSnapshot> {
        throw AutomationError("Could not find file '" + path + "'.");
      });
  Variant ws = engine->Invoke("Workspaces", Variant(std::int32_t{0}));
  const Variant args[] = {Variant("/nope.mdb"), Variant(false), Variant(false)};
  EXPECT_THROW(InvokeOn(ws, "OpenDatabase", args), AutomationError);
  EXPECT_THROW(engine->Invoke("Workspaces", Variant(std::int32_t{1})), AutomationError);
}

TEST(EngineRegistry, CreatesRegisteredEnginesOnly) {
  EXPECT_THROW(CreateAutomationObject("No.Such.Engine"), AutomationError);
  RegisterEngineFactory("Test.Engine", [] {
    return MakeSnapshotEngine(
        [](const std::string&) { return std::make_shared<DatabaseSnapshot>(); });
  });
  EXPECT_NE(CreateAutomationObject("Test.Engine"), nullptr);
  RegisterEngineFactory("Test.Engine", {});
  EXPECT_THROW(CreateAutomationObject("Test.Engine"), AutomationError);
}

}  // namespace
}  // namespace zentab
