// The late-bound object model over a snapshot: member lookup, collections and failures.
#include "schema/snapshot.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

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

// A field's property is one thing at a time, whether set as a value of its own type, a value
// of another type or a failure, in any order and spelled in any case.
TEST(FieldProperties, HoldTheLastValueOrFailureOfEachProperty) {
  struct Step {
    const char* name;
    std::optional<Variant> value;  // a failure when absent
  };
  struct Case {
    std::vector<Step> steps;
    const char* read;
    std::optional<Variant> expected;  // a failure when absent
    std::size_t items;
  };
  const Case cases[] = {
      {{{"Size", Variant(std::int32_t{50})}}, "size", Variant(std::int32_t{50}), 1},
      {{{"Size", Variant(std::int32_t{50})}, {"SIZE", std::nullopt}}, "Size", std::nullopt, 1},
      {{{"Size", std::nullopt}, {"size", Variant(std::int32_t{7})}},
       "Size",
       Variant(std::int32_t{7}),
       1},
      {{{"Required", Variant::MakeNull()}}, "Required", Variant::MakeNull(), 1},
      {{{"Required", Variant::MakeNull()}, {"Required", Variant(true)}},
       "required",
       Variant(true),
       1},
      {{{"Name", Variant("a")}, {"Name", Variant(std::int32_t{3})}},
       "Name",
       Variant(std::int32_t{3}),
       1},
      {{{"Caption", Variant("x")}, {"Type", Variant(std::int32_t{10})}},
       "caption",
       Variant("x"),
       2},
      {{{"Type", Variant(std::int32_t{10})}}, "Name", std::nullopt, 1},
  };
  for (const Case& c : cases) {
    FieldProperties p;
    for (const Step& step : c.steps) {
      if (step.value) {
        p.Set(step.name, *step.value);
      } else {
        p.Fail(step.name, "boom");
      }
    }
    std::optional<PropertyRead> read = p.Find(c.read);
    EXPECT_EQ(p.Items().size(), c.items) << c.read;
    if (c.expected) {
      ASSERT_TRUE(read) << c.read;
      EXPECT_FALSE(read->error) << c.read;
      EXPECT_EQ(read->value, *c.expected) << c.read;
    } else if (c.steps.back().value) {
      EXPECT_FALSE(read) << c.read;  // never set
    } else {
      ASSERT_TRUE(read) << c.read;
      EXPECT_EQ(read->error, "boom");
    }
  }
}

// Fields kept encoded are decoded when a table's fields are first asked for; a field object
// stays usable after its table has been left for another, and a decoding failure fails the
// Fields member with its reason.
TEST(SnapshotEngine, DecodesEncodedFieldsTableByTable) {
  static int decoded = 0;
  auto db = std::make_shared<DatabaseSnapshot>();
  // The test's encoding: the field names, one character each; "!" cannot be decoded.
  db->decodeFields = [](std::string_view encoded) {
    if (encoded == "!") throw AutomationError("damaged fields");
    ++decoded;
    std::vector<FieldSnapshot> fields(encoded.size());
    for (std::size_t j = 0; j < encoded.size(); ++j) {
      fields[j].properties.Set("Name", std::string(1, encoded[j]));
    }
    return fields;
  };
  for (const char* encoded : {"ab", "c", "!"}) {
    TableSnapshot t;
    t.encodedFields = encoded;
    db->tables.push_back(t);
  }
  ObjectRef database = OpenOne(db);
  auto table = [&](std::int32_t i) { return database->Invoke("TableDefs", Variant(i)); };
  Variant b = InvokeOn(table(0), "Fields", Variant(std::int32_t{1}));
  EXPECT_EQ(InvokeOn(InvokeOn(table(0), "Fields"), "Count").AsInt(), 2);
  EXPECT_EQ(decoded, 1);  // once per table while it is being read
  EXPECT_EQ(InvokeOn(InvokeOn(table(1), "Fields", Variant(std::int32_t{0})), "Name").AsString(),
            "c");
  EXPECT_EQ(InvokeOn(b, "Name").AsString(), "b");
  try {
    InvokeOn(table(2), "Fields");
    ADD_FAILURE() << "damaged fields were served";
  } catch (const AutomationError& e) {
    EXPECT_STREQ(e.what(), "damaged fields");
  }
}

// A design kept encoded is decoded once, when the table's Properties or Indexes are first
// asked for; its objects outlive the table; a damaged one fails those two members only.
TEST(SnapshotEngine, DecodesATablesDesignWhenItIsAskedFor) {
  static int decoded = 0;
  auto db = std::make_shared<DatabaseSnapshot>();
  // The test's encoding: the index name; "!" cannot be decoded.
  db->decodeDesign = [](std::string_view encoded) {
    if (encoded == "!") throw AutomationError("damaged design");
    ++decoded;
    TableDesign design;
    design.stored.values.Set("Description", std::string(encoded) + " table");
    IndexSnapshot index;
    index.properties.Set("Name", std::string(encoded));
    design.indexes.push_back(index);
    return design;
  };
  for (const char* encoded : {"PrimaryKey", "!"}) {
    TableSnapshot t;
    t.properties.Set("Name", "T");
    t.encodedDesign = encoded;
    db->tables.push_back(t);
  }
  ObjectRef database = OpenOne(db);
  auto table = [&](std::int32_t i) { return database->Invoke("TableDefs", Variant(i)); };
  EXPECT_EQ(InvokeOn(table(0), "Name").AsString(), "T");
  EXPECT_EQ(decoded, 0);  // nothing asked beyond the fixed report yet
  Variant index = InvokeOn(table(0), "Indexes", Variant(std::int32_t{0}));
  EXPECT_EQ(InvokeOn(InvokeOn(table(0), "Properties", Variant("Description")), "Value").AsString(),
            "PrimaryKey table");
  EXPECT_EQ(decoded, 1);
  EXPECT_EQ(InvokeOn(table(1), "Name").AsString(), "T");  // the damaged one still has its name
  EXPECT_EQ(InvokeOn(index, "Name").AsString(), "PrimaryKey");  // its table was left
  for (const char* member : {"Indexes", "Properties"}) {
    try {
      InvokeOn(table(1), member);
      ADD_FAILURE() << member << " of a damaged design was served";
    } catch (const AutomationError& e) {
      EXPECT_STREQ(e.what(), "damaged design");
    }
  }
}

// A field's stored properties kept encoded are decoded once, when its Properties are first
// asked for; a damaged set fails that member only.
TEST(SnapshotEngine, DecodesAFieldsStoredPropertiesWhenTheyAreAskedFor) {
  static int decoded = 0;
  auto db = std::make_shared<DatabaseSnapshot>();
  // The test's encoding: the caption; "!" cannot be decoded.
  db->decodeStored = [](std::string_view encoded) {
    if (encoded == "!") throw AutomationError("damaged properties");
    ++decoded;
    StoredProperties stored;
    stored.values.Set("Caption", std::string(encoded));
    return stored;
  };
  TableSnapshot t;
  for (const char* encoded : {"番号", "!"}) {
    FieldSnapshot f;
    f.properties.Set("Name", "F");
    f.encodedStored = encoded;
    t.fields.push_back(f);
  }
  db->tables.push_back(t);
  ObjectRef database = OpenOne(db);
  auto field = [&](std::int32_t j) {
    return InvokeOn(database->Invoke("TableDefs", Variant(std::int32_t{0})), "Fields", Variant(j));
  };
  EXPECT_EQ(InvokeOn(field(0), "Name").AsString(), "F");
  EXPECT_EQ(decoded, 0);
  Variant caption = InvokeOn(field(0), "Properties", Variant("Caption"));
  EXPECT_EQ(InvokeOn(InvokeOn(field(0), "Properties"), "Count").AsInt(), 1);
  EXPECT_EQ(decoded, 1);
  EXPECT_EQ(InvokeOn(field(1), "Name").AsString(), "F");
  EXPECT_THROW(InvokeOn(field(1), "Properties"), AutomationError);
  EXPECT_EQ(InvokeOn(caption, "Value").AsString(), "番号");
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

std::shared_ptr<DatabaseSnapshot> DesignDatabase() {
  auto db = std::make_shared<DatabaseSnapshot>();
  db->properties.Set("Version", "4.0");
  TableSnapshot t;
  t.stored.values.Set("Description", "受注ヘッダ");
  t.stored.values.Fail("Broken", "damaged");
  FieldSnapshot f;
  f.stored.error = "The field properties are damaged";
  t.fields.push_back(f);
  IndexSnapshot index;
  index.properties.Set("Name", "PrimaryKey");
  PropertySet key;
  key.Set("Name", "ID");
  index.fields.push_back(key);
  t.indexes.push_back(index);
  db->tables.push_back(t);
  RelationSnapshot user, system;
  user.properties.Set("Name", "OrdersLines");
  system.properties.Set("Name", "MSysNavPaneGroupsToObjects");
  db->relations.push_back(user);
  db->systemRelations.push_back(system);
  QuerySnapshot query;
  query.properties.Set("Name", "q");
  query.stored.values.Set("ODBCTimeout", std::int32_t{60});
  db->queries.push_back(query);
  ContainerSnapshot forms{"Forms", {}};
  PropertySet form;
  form.Set("Name", "受注入力");
  forms.documents.push_back(form);
  db->containers.push_back(forms);
  return db;
}

TEST(SnapshotEngine, ServesStoredPropertiesByIndexAndByName) {
  ObjectRef database = OpenOne(DesignDatabase());
  Variant table = database->Invoke("TableDefs", Variant(std::int32_t{0}));
  Variant properties = InvokeOn(table, "Properties");
  EXPECT_EQ(InvokeOn(properties, "Count").AsInt(), 2);
  Variant first = InvokeOn(properties, "Item", Variant(std::int32_t{0}));
  EXPECT_EQ(InvokeOn(first, "Name").AsString(), "Description");
  EXPECT_EQ(InvokeOn(first, "Value").AsString(), "受注ヘッダ");
  EXPECT_EQ(InvokeOn(first, "Type").AsInt(), 10);
  Variant byName = InvokeOn(table, "Properties", Variant("description"));
  EXPECT_EQ(InvokeOn(byName, "Value").AsString(), "受注ヘッダ");
  // A property that could not be read still has its name; its value fails with the reason.
  Variant broken = InvokeOn(properties, "Item", Variant(std::int32_t{1}));
  EXPECT_EQ(InvokeOn(broken, "Name").AsString(), "Broken");
  EXPECT_THROW(InvokeOn(broken, "Value"), AutomationError);
  EXPECT_THROW(InvokeOn(table, "Properties", Variant("Caption")), AutomationError);
  EXPECT_THROW(InvokeOn(properties, "Item", Variant(std::int32_t{2})), AutomationError);
  // Damaged field properties fail the whole collection.
  Variant field = InvokeOn(table, "Fields", Variant(std::int32_t{0}));
  EXPECT_THROW(InvokeOn(InvokeOn(field, "Properties"), "Count"), AutomationError);
}

TEST(SnapshotEngine, ServesIndexesRelationsQueriesAndContainers) {
  ObjectRef database = OpenOne(DesignDatabase());
  EXPECT_EQ(database->Invoke("Version").AsString(), "4.0");
  Variant index = InvokeOn(database->Invoke("TableDefs", Variant(std::int32_t{0})), "Indexes",
                           Variant(std::int32_t{0}));
  EXPECT_EQ(InvokeOn(index, "Name").AsString(), "PrimaryKey");
  EXPECT_EQ(InvokeOn(InvokeOn(index, "Fields", Variant(std::int32_t{0})), "Name").AsString(), "ID");
  EXPECT_EQ(InvokeOn(database->Invoke("Relations"), "Count").AsInt(), 1);
  EXPECT_EQ(InvokeOn(database->Invoke("Relations", Variant(std::int32_t{0})), "Name").AsString(),
            "OrdersLines");
  EXPECT_EQ(
      InvokeOn(database->Invoke("SystemRelations", Variant(std::int32_t{0})), "Name").AsString(),
      "MSysNavPaneGroupsToObjects");
  Variant query = database->Invoke("QueryDefs", Variant(std::int32_t{0}));
  EXPECT_EQ(InvokeOn(InvokeOn(query, "Properties", Variant("ODBCTimeout")), "Value").AsInt(), 60);
  Variant forms = database->Invoke("Containers", Variant("forms"));
  EXPECT_EQ(InvokeOn(forms, "Name").AsString(), "Forms");
  EXPECT_EQ(InvokeOn(InvokeOn(forms, "Documents", Variant(std::int32_t{0})), "Name").AsString(),
            "受注入力");
  EXPECT_THROW(database->Invoke("Containers", Variant("Tables")), AutomationError);
}

TEST(SnapshotEngine, FailsEachCollectionWithItsOwnReason) {
  auto db = DesignDatabase();
  db->tables[0].indexesError = "indexes damaged";
  db->relationsError = "relations damaged";
  db->queriesError = "queries damaged";
  db->containersError = "containers damaged";
  ObjectRef database = OpenOne(db);
  auto reason = [&](const std::function<void()>& call) {
    try {
      call();
    } catch (const AutomationError& e) {
      return std::string(e.what());
    }
    return std::string("(no failure)");
  };
  Variant table = database->Invoke("TableDefs", Variant(std::int32_t{0}));
  EXPECT_EQ(reason([&] { InvokeOn(InvokeOn(table, "Indexes"), "Count"); }), "indexes damaged");
  EXPECT_EQ(reason([&] { InvokeOn(database->Invoke("Relations"), "Count"); }), "relations damaged");
  EXPECT_EQ(reason([&] { InvokeOn(database->Invoke("SystemRelations"), "Count"); }),
            "relations damaged");
  EXPECT_EQ(reason([&] { database->Invoke("QueryDefs", Variant(std::int32_t{0})); }),
            "queries damaged");
  EXPECT_EQ(reason([&] { database->Invoke("Containers", Variant("Forms")); }),
            "containers damaged");
  // The fields still read.
  EXPECT_EQ(InvokeOn(InvokeOn(table, "Fields"), "Count").AsInt(), 1);
}

}  // namespace
}  // namespace zentab
