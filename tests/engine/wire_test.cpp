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
  FieldSnapshot f;
  f.properties.Set("Required", true);
  f.properties.Set("AllowZeroLength", false);
  f.properties.Set("DefaultValue", "");
  f.properties.Set("Empty", Variant());
  t.fields.push_back(f);
  db.tables.push_back(t);
  TableSnapshot link;
  link.properties.Set("Name", "Linked");
  link.fieldsError = "Could not find file 'Z:\\back.mdb'.";
  db.tables.push_back(link);
  return db;
}

TEST(Wire, CarriesEveryValueKindAndFailure) {
  DatabaseSnapshot db = Sample();
  EXPECT_EQ(DecodeSnapshot(EncodeSnapshot(db)), db);
  DatabaseSnapshot broken;
  broken.tablesError = "Could not read the tables";
  broken.closeError = "close";
  EXPECT_EQ(DecodeSnapshot(EncodeSnapshot(broken)), broken);

  ReadResponse ok{db, ""};
  ReadResponse decoded = DecodeResponse(EncodeResponse(ok));
  ASSERT_TRUE(decoded.snapshot);
  EXPECT_EQ(*decoded.snapshot, db);
  ReadResponse failed =
      DecodeResponse(EncodeResponse(ReadResponse{std::nullopt, "Not a valid password."}));
  EXPECT_FALSE(failed.snapshot);
  EXPECT_EQ(failed.error, "Not a valid password.");
  EXPECT_EQ(DecodeRequest(EncodeRequest("/d/ア.mdb")), "/d/ア.mdb");
}

TEST(Wire, ReplacesInvalidUtf8InsteadOfFailing) {
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

TEST(Wire, RefusesMalformedAndForeignMessages) {
  const char* bad[] = {
      "",
      "{not json",
      "[1,2]",
      R"({"version":2,"error":"x"})",
      R"({"error":"x"})",
      R"({"version":1})",
      R"({"version":1,"snapshot":{"tables":"x"}})",
      R"({"version":1,"snapshot":{"tables":[{"properties":[{"name":"A"}],"fields":[]}]}})",
      R"({"version":1,"snapshot":{"tables":[{"properties":[{"name":"A","value":{"int":4294967296}}],"fields":[]}]}})",
      R"({"version":1,"snapshot":{"tables":[{"properties":[{"name":"A","value":{"kind":1}}],"fields":[]}]}})",
      R"({"version":1,"snapshot":{"tables":[{"properties":[]}]}})",
  };
  for (const char* message : bad) EXPECT_THROW(DecodeResponse(message), WireError) << message;
  EXPECT_THROW(DecodeRequest(R"({"version":1})"), WireError);
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
