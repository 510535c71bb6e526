// The messages between the engine and the reader: every value kind and failure survives the
// trip, and malformed or foreign messages are refused.
#include "engine/wire.h"

#include <gtest/gtest.h>

namespace zentab::engine {
namespace {

DatabaseSnapshot Sample() {
  DatabaseSnapshot db;
  TableSnapshot t;
  t.properties.Set("Attributes", std::int32_t{-2147483647 - 1});
  t.properties.Set("DateCreated", Variant(Variant::Date{37636.430902777775}));
  t.properties.Set("LastUpdated", Variant::MakeNull());
  t.properties.Set("Name", "表①㈱～\\");
  t.properties.Fail("RecordCount", "The definition of table 'x' is damaged.");
  t.stored.values.Set("Description", "受注ヘッダ");
  t.stored.values.Set("RowHeight", -0.5);
  t.stored.values.Fail("Broken", "The property 'Broken' is damaged.");
  FieldSnapshot f;
  f.properties.Set("Required", true);
  f.properties.Set("AllowZeroLength", false);
  f.properties.Set("DefaultValue", "");
  f.properties.Set("Empty", Variant());
  f.stored.values.Set("Caption", "番号");
  t.fields.push_back(f);
  FieldSnapshot full;
  full.properties.Set("Name", "受注番号");
  full.properties.Set("Type", std::int32_t{-4});
  full.properties.Set("Size", std::int32_t{300000});
  full.properties.Fail("DefaultValue", "The field properties of table 'x' are damaged.");
  full.properties.Set("Attributes", Variant::MakeNull());
  full.properties.Set("sourcetable", "表①");
  t.fields.push_back(full);
  FieldSnapshot damaged;
  damaged.stored.error = "The field properties are damaged.";
  t.fields.push_back(damaged);
  IndexSnapshot index;
  index.properties.Set("Name", "PrimaryKey");
  index.properties.Set("Primary", true);
  PropertySet key;
  key.Set("Name", "ID");
  key.Set("Attributes", std::int32_t{1});
  index.fields.push_back(key);
  t.indexes.push_back(index);
  db.tables.push_back(t);
  TableSnapshot link;
  link.properties.Set("Name", "Linked");
  link.fieldsError = "Could not find file 'Z:\\back.mdb'.";
  link.indexesError = "The indexes are damaged.";
  db.tables.push_back(link);
  db.properties.Set("Version", "4.0");
  RelationSnapshot relation;
  relation.properties.Set("Attributes", std::int32_t{4352});
  PropertySet pair;
  pair.Set("ForeignName", "OrderID");
  relation.fields.push_back(pair);
  db.relations.push_back(relation);
  db.systemRelations.push_back(RelationSnapshot{});
  QuerySnapshot query;
  query.properties.Set("SQL", "");
  query.stored.values.Set("ODBCTimeout", std::int32_t{60});
  db.queries.push_back(query);
  ContainerSnapshot forms{"Forms", {}};
  PropertySet form;
  form.Set("Name", "受注入力");
  form.Set("DateCreated", Variant(Variant::Date{1.25}));
  forms.documents.push_back(form);
  db.containers.push_back(forms);
  db.containers.push_back(ContainerSnapshot{"Modules", {}});
  return db;
}

TEST(Wire, CarriesEveryValueKindAndFailure) {
  DatabaseSnapshot db = Sample();
  EXPECT_EQ(DecodeSnapshot(EncodeSnapshot(db)), db);
  DatabaseSnapshot broken;
  broken.tablesError = "Could not read the tables";
  broken.closeError = "close";
  broken.relationsError = "relations";
  broken.queriesError = "queries";
  broken.containersError = "containers";
  EXPECT_EQ(DecodeSnapshot(EncodeSnapshot(broken)), broken);

  ReadResponse ok{db, ""};
  ReadResponse decoded = DecodeResponse(EncodeResponse(ok));
  ASSERT_TRUE(decoded.snapshot);
  EXPECT_EQ(*decoded.snapshot, db);
  decoded = DecodeResponse(EncodeResponse(ReadResponse{broken, ""}));
  ASSERT_TRUE(decoded.snapshot);
  EXPECT_EQ(*decoded.snapshot, broken);
  ReadResponse failed =
      DecodeResponse(EncodeResponse(ReadResponse{std::nullopt, "Not a valid password."}));
  EXPECT_FALSE(failed.snapshot);
  EXPECT_EQ(failed.error, "Not a valid password.");
  for (RequestScope scope : {RequestScope::kDesign, RequestScope::kReport}) {
    Request request = DecodeRequest(EncodeRequest("/d/ア.mdb", scope));
    EXPECT_EQ(request.path, "/d/ア.mdb");
    EXPECT_EQ(request.scope, scope);
  }
  EXPECT_THROW(DecodeRequest(std::string("ZTQ\x06\x02/d.mdb", 10)), WireError);
  EXPECT_THROW(DecodeRequest(std::string("ZTQ\x06", 4)), WireError);
}

// Known names travel as one byte; names that look like one (same length, first and last
// letter, or another case) must arrive as themselves.
TEST(Wire, CarriesNamesThatResembleKnownOnesInFull) {
  DatabaseSnapshot db;
  TableSnapshot t;
  const char* names[] = {"Nome",   "name",    "Names", "SourceTablE", "SourceFielD", "Caption",
                         "Cation", "Connect", "",      "DateCreated", "Description", "Dx"};
  std::int32_t i = 0;
  for (const char* name : names) t.properties.Append(name, i++);
  db.tables.push_back(t);
  ReadResponse back = DecodeResponse(EncodeResponse(ReadResponse{db, ""}));
  ASSERT_TRUE(back.snapshot);
  ASSERT_EQ(back.snapshot->tables.size(), 1u);
  EXPECT_EQ(back.snapshot->tables[0].properties, t.properties);
}

TEST(Wire, CarriesBytesThatAreNotUtf8Unchanged) {
  DatabaseSnapshot db;
  TableSnapshot t;
  t.properties.Set("Name", std::string("a\xFF\0b", 4));
  t.properties.Set("A property of our own", std::int32_t{7});
  db.tables.push_back(t);
  ReadResponse back = DecodeResponse(EncodeResponse(ReadResponse{db, ""}));
  ASSERT_TRUE(back.snapshot);
  EXPECT_EQ(*back.snapshot, db);
}

// Fields kept in their compact form decode to what the eager decoder gives, table by table.
TEST(Wire, KeepsFieldsAndDesignCompactUntilTheyAreAskedFor) {
  const DatabaseSnapshot db = Sample();
  ReadResponse lazy = DecodeResponse(EncodeResponse(ReadResponse{db, ""}), true);
  ASSERT_TRUE(lazy.snapshot);
  ASSERT_NE(lazy.snapshot->decodeFields, nullptr);
  ASSERT_NE(lazy.snapshot->decodeDesign, nullptr);
  ASSERT_NE(lazy.snapshot->decodeStored, nullptr);
  ASSERT_EQ(lazy.snapshot->tables.size(), db.tables.size());
  for (std::size_t i = 0; i < db.tables.size(); ++i) {
    TableSnapshot table = lazy.snapshot->tables[i];
    EXPECT_TRUE(table.fields.empty());
    EXPECT_TRUE(table.indexes.empty() && table.stored == StoredProperties{});
    table.fields = lazy.snapshot->decodeFields(table.encodedFields);
    table.encodedFields.clear();
    for (auto& field : table.fields) {
      EXPECT_EQ(field.stored, StoredProperties{});  // kept compact until asked for
      field.stored = lazy.snapshot->decodeStored(field.encodedStored);
      field.encodedStored.clear();
    }
    TableDesign design = lazy.snapshot->decodeDesign(table.encodedDesign);
    table.stored = design.stored;
    table.indexesError = design.indexesError;
    table.indexes = design.indexes;
    table.encodedDesign.clear();
    EXPECT_EQ(table, db.tables[i]) << i;
  }
  const TableSnapshot& first = lazy.snapshot->tables[0];
  EXPECT_THROW(lazy.snapshot->decodeFields(first.encodedFields + "x"), AutomationError);
  const std::string stored = lazy.snapshot->decodeFields(first.encodedFields)[0].encodedStored;
  EXPECT_THROW(lazy.snapshot->decodeStored(stored + "x"), AutomationError);
  EXPECT_THROW(lazy.snapshot->decodeStored(stored.substr(0, stored.size() - 1)), AutomationError);
  for (const std::string& damaged :
       {first.encodedDesign + "x", first.encodedDesign.substr(0, first.encodedDesign.size() - 1)}) {
    try {
      lazy.snapshot->decodeDesign(damaged);
      ADD_FAILURE() << "a damaged design was decoded";
    } catch (const AutomationError& e) {
      EXPECT_NE(std::string(e.what()).find("the design of this table arrived damaged"),
                std::string::npos);
    }
  }
  // Kept compact, both go out again exactly as they came; and the reader's side: fields
  // encoded table by table are sent exactly as the fields themselves.
  EXPECT_EQ(EncodeResponse(ReadResponse{*lazy.snapshot, ""}), EncodeResponse(ReadResponse{db, ""}));
  DatabaseSnapshot compact = db;
  for (auto& table : compact.tables) {
    table.encodedFields = EncodeFields(table.fields);
    table.fields.clear();
  }
  EXPECT_EQ(EncodeResponse(ReadResponse{compact, ""}), EncodeResponse(ReadResponse{db, ""}));
}

// The reader writes each field from its record; its bytes must be those of the field set up
// property by property (slots in order, failures among the others) and encoded as a snapshot.
TEST(Wire, WritesFieldRecordsAsTheFieldsTheyStandFor) {
  const std::string damaged = "The field properties of table 'x' are damaged.";
  StoredProperties stored;
  stored.values.Set("Caption", "受注番号");
  stored.values.Set("DecimalPlaces", std::int32_t{-2});
  stored.values.Fail("Format", "The property 'Format' is damaged.");
  StoredProperties storedError;
  storedError.error = damaged;
  const std::string longText(300, 'n');  // lengths past one LEB128 byte

  struct Case {
    const char* label;
    FieldRecord record;
  };
  std::vector<Case> cases;
  FieldRecord plain;
  plain.allowZeroLength = true;
  plain.attributes = 2;
  plain.defaultValue = "=Date()";
  plain.name = "受注日";
  plain.ordinalPosition = 3;
  plain.required = false;
  plain.size = 8;
  plain.sourceField = "受注日";
  plain.sourceTable = "受注";
  plain.type = 8;
  cases.push_back({"plain", plain});
  FieldRecord withStored = plain;
  withStored.required = true;
  withStored.attributes = -2147483647 - 1;
  withStored.type = -0x11;
  withStored.stored = &stored;
  cases.push_back({"stored values", withStored});
  // The same values as stored's, none failed, handed over as items.
  const std::vector<std::pair<std::string_view, PropertyRead>> items = {
      {"Caption", PropertyRead{Variant("受注番号"), std::nullopt}},
      {"DecimalPlaces", PropertyRead{Variant(std::int32_t{-2}), std::nullopt}},
      {"ValidationRule", PropertyRead{Variant(std::string(200, 'v')), std::nullopt}},
      {"Format", PropertyRead{Variant(Variant::Date{2.5}), std::nullopt}},
      {"InputMask", PropertyRead{Variant::MakeNull(), std::nullopt}},
      {"Hidden", PropertyRead{Variant(false), std::nullopt}},
      {"ColumnWidth", PropertyRead{Variant(-1.25), std::nullopt}}};
  FieldRecord withItems = plain;
  withItems.storedValues = items;
  cases.push_back({"stored items", withItems});
  FieldRecord failedItems = withItems;  // the failure's own stored properties win
  failedItems.propertiesError = &damaged;
  failedItems.storedValues = items;
  failedItems.stored = &storedError;
  cases.push_back({"failed, stored error over items", failedItems});
  FieldRecord failedWithItems = withItems;
  failedWithItems.propertiesError = &damaged;
  cases.push_back({"failed, stored items", failedWithItems});
  FieldRecord empty;  // every text empty, every number 0
  cases.push_back({"empty", empty});
  FieldRecord failed = plain;
  failed.propertiesError = &damaged;
  failed.stored = &storedError;
  cases.push_back({"failed, stored error", failed});
  FieldRecord failedLinked = failed;
  failedLinked.stored = nullptr;
  cases.push_back({"failed, nothing stored", failedLinked});
  FieldRecord longNames = plain;
  longNames.name = longText;
  longNames.sourceField = longText;
  longNames.defaultValue = longText;
  longNames.ordinalPosition = 70000;
  cases.push_back({"long", longNames});

  auto snapshotOf = [](const FieldRecord& r) {
    FieldSnapshot f;
    FieldProperties& p = f.properties;
    using P = FieldProperties;
    if (r.propertiesError) {
      p.Fail("AllowZeroLength", *r.propertiesError);
    } else {
      p.SetBool(P::kAllowZeroLength, r.allowZeroLength);
    }
    p.SetInt(P::kAttributes, r.attributes);
    if (r.propertiesError) {
      p.Fail("DefaultValue", *r.propertiesError);
    } else {
      p.SetText(P::kDefaultValue, std::string(r.defaultValue));
    }
    p.SetText(P::kName, std::string(r.name));
    p.SetInt(P::kOrdinalPosition, r.ordinalPosition);
    if (r.propertiesError) {
      p.Fail("Required", *r.propertiesError);
    } else {
      p.SetBool(P::kRequired, r.required);
    }
    p.SetInt(P::kSize, r.size);
    p.SetText(P::kSourceField, std::string(r.sourceField));
    p.SetText(P::kSourceTable, std::string(r.sourceTable));
    p.SetInt(P::kType, r.type);
    if (r.stored) {
      f.stored = *r.stored;
    } else {
      for (const auto& [name, read] : r.storedValues)
        f.stored.values.Set(std::string(name), read.value);
    }
    return f;
  };

  for (const auto& c : cases) {
    FieldsWriter one(1);
    one.Add(c.record);
    const std::string bytes = one.Take();
    const FieldSnapshot want = snapshotOf(c.record);
    EXPECT_EQ(bytes, EncodeFields({want})) << c.label;
    const auto back = DecodeFields(bytes);
    ASSERT_EQ(back.size(), 1u) << c.label;
    EXPECT_EQ(back[0], want) << c.label;
  }

  // Many fields in one buffer, which grows as they are added.
  std::vector<FieldSnapshot> all;
  FieldsWriter many(600);
  for (int i = 0; i < 600; ++i) {
    const FieldRecord& r = cases[static_cast<std::size_t>(i) % cases.size()].record;
    many.Add(r);
    all.push_back(snapshotOf(r));
  }
  EXPECT_EQ(many.Take(), EncodeFields(all));
  EXPECT_EQ(FieldsWriter(0).Take(), EncodeFields({}));

  // A count that does not match the fields added is the writer's caller's mistake.
  FieldsWriter tooFew(2);
  tooFew.Add(plain);
  EXPECT_THROW(tooFew.Take(), std::logic_error);
  FieldsWriter tooMany(0);
  tooMany.Add(plain);
  EXPECT_THROW(tooMany.Take(), std::logic_error);
}

// Streamed, a response is its head, a part per table and the tail: put together again they
// are the snapshot; a failure part and a head that is an error read as such, and parts that do
// not fit the head are refused.
TEST(Wire, StreamsAResponseInParts) {
  const DatabaseSnapshot db = Sample();
  std::string frames = EncodeStreamedResponse(ReadResponse{db, ""});
  std::vector<std::string> parts;
  for (std::size_t pos = 0; pos < frames.size();) {
    std::uint32_t length = FrameLength(reinterpret_cast<const unsigned char*>(frames.data() + pos));
    parts.push_back(frames.substr(pos + 4, length));
    pos += 4 + length;
  }
  ASSERT_EQ(parts.size(), db.tables.size() + 2);
  StreamHead head = DecodeStreamHead(parts.front());
  ASSERT_TRUE(head.snapshot);
  ASSERT_EQ(head.tables, db.tables.size());
  DatabaseSnapshot back = *head.snapshot;
  back.tables.resize(head.tables);
  for (std::size_t i = 0; i < head.tables; ++i) {
    EXPECT_EQ(DecodeStreamPart(parts[i + 1], back, i, false).kind, StreamPart::kTable);
  }
  EXPECT_THROW(DecodeStreamPart(parts[1], back, head.tables, false), WireError);
  EXPECT_EQ(DecodeStreamPart(parts.back(), back, head.tables, false).kind, StreamPart::kTail);
  EXPECT_EQ(back, db);

  StreamPart failed = DecodeStreamPart(EncodeStreamFailure("boom"), back, 0, false);
  EXPECT_EQ(failed.kind, StreamPart::kFailure);
  EXPECT_EQ(failed.error, "boom");
  StreamHead refused = DecodeStreamHead(EncodeStreamHead(ReadResponse{std::nullopt, "locked"}, 0));
  EXPECT_FALSE(refused.snapshot);
  EXPECT_EQ(refused.error, "locked");
  EXPECT_THROW(DecodeStreamPart("X", back, 0, false), WireError);
  // A head announcing more tables than a database can hold.
  std::string huge = EncodeStreamHead(ReadResponse{DatabaseSnapshot{}, ""}, 0);
  huge.pop_back();
  EXPECT_THROW(DecodeStreamHead(huge + std::string("\x80\x80\x80\x80\x01", 5)), WireError);
}

TEST(Wire, RefusesEveryTruncationOfAResponse) {
  std::string message = EncodeResponse(ReadResponse{Sample(), ""});
  for (bool lazy : {false, true}) {
    for (std::size_t n = 0; n < message.size(); ++n) {
      EXPECT_THROW(DecodeResponse(message.substr(0, n), lazy), WireError) << n;
    }
    EXPECT_THROW(DecodeResponse(message + "x", lazy), WireError);
  }
}

TEST(Wire, RefusesCountsBeyondTheMessage) {
  std::string message = EncodeResponse(ReadResponse{DatabaseSnapshot{}, ""});
  // Magic, "snapshot" kind, no database properties, two absent errors, then the table count
  // and seven bytes for the empty relation, query and container lists: claim a billion tables.
  ASSERT_EQ(message.size(), 16u);
  EXPECT_THROW(DecodeResponse(message.substr(0, 8) + std::string("\x80\x94\xEB\xDC\x03", 5) +
                              message.substr(9)),
               WireError);
  // The same for a billion containers, the last list.
  message.pop_back();
  EXPECT_THROW(DecodeResponse(message + std::string("\x80\x94\xEB\xDC\x03", 5)), WireError);
}

TEST(Wire, DumpFormReplacesInvalidUtf8InsteadOfFailing) {
  DatabaseSnapshot db;
  TableSnapshot t;
  t.properties.Set("Name", std::string("a\xFF"
                                       "b",
                                       3));
  db.tables.push_back(t);
  DatabaseSnapshot back = DecodeSnapshot(EncodeSnapshot(db));
  EXPECT_EQ(back.tables[0].properties.Find("Name")->value.AsString(),
            "a\xEF\xBF\xBD"
            "b");
}

// A response of one table with one field whose slot mask and values are field; everything
// else empty. The table's fields and design go as blocks behind their length.
std::string OneFieldMessage(const std::string& field) {
  using namespace std::literals;
  const std::string fields = "\x01"s + field + std::string(3, '\0');
  const std::string design(4, '\0');
  return "ZTA\x06\x00\x00\x00\x00\x01\x00\x00"s + static_cast<char>(fields.size()) + fields +
         static_cast<char>(design.size()) + design + std::string(7, '\0');
}

TEST(Wire, RefusesMalformedAndForeignMessages) {
  using namespace std::literals;
  const std::string bad[] = {
      "",
      "{not json",
      std::string("ZTA\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 16),  // older
      std::string("ZTA\x06\x07", 5),          // neither snapshot nor error
      std::string("ZTA\x06\x00\x00\x02", 7),  // a malformed optional text
      // A database property whose kind is unknown.
      std::string("ZTA\x06\x00\x01\x06\x09\x00\x00\x00", 11),
      // A property name code past the known names.
      std::string("ZTA\x06\x00\x01\x7F\x01\x00\x00\x00", 11),
      // An integer wider than 32 bits.
      std::string("ZTA\x06\x00\x01\x02\x04\xFF\xFF\xFF\xFF\x7F\x00\x00\x00", 15),
  };
  const std::string badFields[] = {
      // One table of one field whose slot mask names an eleventh property ...
      OneFieldMessage("\x80\x08"s),
      // ... or whose AllowZeroLength flag is neither 0 nor 1.
      OneFieldMessage("\x01\x02"s),
  };
  // The same table with a good flag reads (the two above fail for their one fault alone).
  const std::string good = OneFieldMessage("\x01\x01"s);
  for (bool lazy : {false, true}) {
    EXPECT_NO_THROW(DecodeResponse(good, lazy));
    for (const auto& message : bad) EXPECT_THROW(DecodeResponse(message, lazy), WireError);
  }
  for (const auto& message : badFields) {
    EXPECT_THROW(DecodeResponse(message), WireError);
    // Kept whole for later, they fail the fields alone, when they are asked for.
    ReadResponse kept = DecodeResponse(message, /*lazyFields=*/true);
    ASSERT_TRUE(kept.snapshot && kept.snapshot->decodeFields);
    EXPECT_THROW(kept.snapshot->decodeFields(kept.snapshot->tables.at(0).encodedFields),
                 AutomationError);
  }
  const std::string goodFieldsThenCut = good.substr(0, good.size() - 8);  // into the design
  EXPECT_THROW(DecodeResponse(goodFieldsThenCut, /*lazyFields=*/true), WireError);
  for (const auto& message : bad) EXPECT_THROW(DecodeResponse(message), WireError) << message;
  EXPECT_THROW(DecodeRequest(R"({"version":1})"), WireError);
  const char* badDumps[] = {
      "{not json",
      R"({"version":1,"tables":[]})",
      R"({"version":2,"tables":"x"})",
      R"({"version":2,"tables":[{"properties":[{"name":"A"}],"fields":[]}]})",
      R"({"version":2,"tables":[{"properties":[{"name":"A","value":{"int":4294967296}}],"fields":[]}]})",
      R"({"version":2,"tables":[],"relations":[{"properties":[],"fields":[[{"name":"B"}]]}]})",
  };
  for (const char* dump : badDumps) EXPECT_THROW(DecodeSnapshot(dump), WireError) << dump;
}

TEST(Wire, FramesCarryTheirLength) {
  std::string prefix = FramePrefix(0x01020304);
  EXPECT_EQ(prefix, std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(FrameLength(reinterpret_cast<const unsigned char*>(prefix.data())), 0x01020304u);
  const unsigned char huge[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_THROW(FrameLength(huge), WireError);
  EXPECT_THROW(FramePrefix(std::size_t{kMaxFrameBytes} + 1), WireError);
}

}  // namespace
}  // namespace zentab::engine
