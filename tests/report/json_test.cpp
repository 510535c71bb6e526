// The JSON document from hand-made records: keys and their order, stored value types, dates,
// relationship flags, and failures as null with their reason.
#include "report/json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace zentab {
namespace {

using nlohmann::ordered_json;

TMdb Sample() {
  TMdb mdb;
  mdb.Path = "/data/sales.mdb";
  mdb.Name = "sales.mdb";
  mdb.Version = "4.0";
  TTableDef t;
  t.Name = "受注";
  t.AttributeBits = 2;
  t.Attributes = "dbSystemObject";
  t.RecordCount = 8;
  t.DateCreatedValue = 37636.0 + (10 * 3600 + 25 * 60) / 86400.0;
  t.Properties = {{"Description", Variant("受注ヘッダ"), ""},
                  {"Flag", Variant(true), ""},
                  {"N", Variant(std::int32_t{3}), ""},
                  {"Ratio", Variant(0.5), ""},
                  {"Broken", Variant::MakeNull(), "The property 'Broken' is damaged"}};
  TTableDefField f;
  f.Name = "ID";
  f.Type = 4;
  f.TypeName = "長整数型(Long)";
  f.AttributeBits = 17;
  f.Size = 4;
  f.Properties = {{"Caption", Variant("受注No"), ""}};
  t.Fields = {f};
  t.Indexes = {{"PrimaryKey", true, true, false, true, false, false, {{"ID", 0}, {"Day", 1}}}};
  mdb.TableDefs = {t};
  mdb.Relations = {{"受注明細", "受注", "明細", 256 | 1, {{"ID", "受注ID"}}},
                   {"loose", "a", "b", 2 | 4096, {}}};
  mdb.QueryDefs = {{"q", 48, "", false, 1.5, std::nullopt, {}, ""},
                   {"~sq_ff", 0, "", true, std::nullopt, std::nullopt, {}, ""}};
  mdb.Documents = {{"form", "受注入力", 0.0, std::nullopt, ""}};
  return mdb;
}

TEST(JsonDocument, KeepsKeysTypesAndOrderOfTheDesignNote) {
  TMdb failed;
  failed.Path = "/data/locked.mdb";
  failed.Name = "locked.mdb";
  failed.ErrorMessage = "Not a valid password";
  failed.TableDefs = {TTableDef{}};  // whatever was read before, an unreadable file lists none
  auto doc = ordered_json::parse(RenderJson({Sample(), failed}, "2026-12-08T07:49:00"));
  EXPECT_EQ(doc["zentab"], 1);
  EXPECT_EQ(doc["generated"], "2026-12-08T07:49:00");
  const auto& db = doc["databases"][0];
  std::vector<std::string> keys;
  for (const auto& [key, value] : db.items()) keys.push_back(key);
  EXPECT_EQ(keys,
            (std::vector<std::string>{"path", "name", "format", "error", "tables", "relationships",
                                      "systemRelationships", "queries", "objects"}));
  EXPECT_EQ(db["format"], "Jet4");
  const auto& t = db["tables"][0];
  EXPECT_EQ(t["attributes"], 2);
  EXPECT_EQ(t["dateCreated"], "2003-01-15T10:25:00");
  EXPECT_TRUE(t["lastUpdated"].is_null());
  EXPECT_EQ(t["properties"]["Description"], "受注ヘッダ");
  EXPECT_EQ(t["properties"]["Flag"], true);
  EXPECT_TRUE(t["properties"]["N"].is_number_integer());
  EXPECT_EQ(t["properties"]["Ratio"], 0.5);
  EXPECT_TRUE(t["properties"]["Broken"].is_null());
  EXPECT_EQ(t["error"], "The property 'Broken' is damaged");
  EXPECT_EQ(t["fields"][0]["attributes"], 17);
  EXPECT_EQ(t["fields"][0]["type"], 4);
  EXPECT_EQ(t["fields"][0]["properties"]["Caption"], "受注No");
  EXPECT_TRUE(t["fields"][0]["error"].is_null());
  EXPECT_EQ(t["indexes"][0]["fields"][1], (ordered_json{{"name", "Day"}, {"descending", true}}));
  const auto& r = db["relationships"];
  EXPECT_EQ(r[0]["cardinality"], "1:1");
  EXPECT_EQ(r[0]["enforced"], true);
  EXPECT_EQ(r[0]["cascadeUpdates"], true);
  EXPECT_EQ(r[0]["cascadeDeletes"], false);
  EXPECT_EQ(r[1]["cardinality"], "1:n");
  EXPECT_EQ(r[1]["enforced"], false);
  EXPECT_EQ(r[1]["cascadeDeletes"], true);
  EXPECT_EQ(db["queries"][0]["typeName"], "更新クエリ");
  EXPECT_EQ(db["queries"][0]["hidden"], false);
  EXPECT_EQ(db["queries"][1]["hidden"], true);
  EXPECT_EQ(db["queries"][0]["dateCreated"], "1899-12-31T12:00:00");
  // Day 0 at midnight is a date and a time, not the empty text the fixed report shows.
  EXPECT_EQ(db["objects"][0]["dateCreated"], "1899-12-30T00:00:00");
  const auto& bad = doc["databases"][1];
  EXPECT_EQ(bad["error"], "Not a valid password");
  EXPECT_TRUE(bad["format"].is_null());
  EXPECT_TRUE(bad["tables"].empty());
}

TEST(JsonDocument, WritesDatesAsIsoLocalTimeAndNamesFormats) {
  const std::pair<double, const char*> dates[] = {
      {0.0, "1899-12-30T00:00:00"},
      {0.378472222222, "1899-12-30T09:05:00"},
      {37653.0, "2003-02-01T00:00:00"},
      {37653.99999999, "2003-02-02T00:00:00"},  // rounds to the next day
      {-1.5, "1899-12-29T12:00:00"},
  };
  for (const auto& [date, text] : dates) EXPECT_EQ(IsoDateTime(date), text) << date;
  EXPECT_FALSE(IsoDateTime(1e300));
  EXPECT_FALSE(IsoDateTime(-1e300));
  const std::pair<const char*, const char*> formats[] = {
      {"3.0", "Jet3"},   {"4.0", "Jet4"},   {"12.0", "ACE12"}, {"14.0", "ACE14"},
      {"15.0", "ACE15"}, {"16.0", "ACE16"}, {"17.0", "ACE17"}};
  for (const auto& [version, name] : formats) EXPECT_EQ(FormatName(version), name) << version;
  EXPECT_FALSE(FormatName(""));
  EXPECT_FALSE(FormatName("13.0"));
}

}  // namespace
}  // namespace zentab
