// The definition document, read back with an HTML parser: what each section lists, how names
// reach it (as text), that its links lead somewhere and that it needs nothing from outside.
#include "report/definition/document.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fakes/chromium.h"
#include "fakes/html_query.h"
#include "fakes/temp_dir.h"

namespace zentab::report {
namespace {

using fakes::HtmlQuery;
using Rows = std::vector<std::vector<std::string>>;

TTableDefField Field(std::string name, std::string type, int size, bool required = false,
                     bool allowZeroLength = false, std::string defaultValue = "") {
  TTableDefField f;
  f.Name = std::move(name);
  f.TypeName = std::move(type);
  f.Size = size;
  f.Required = required;
  f.AllowZeroLength = allowZeroLength;
  f.DefaultValue = std::move(defaultValue);
  return f;
}

TTableDef Table(std::string name, std::vector<TTableDefField> fields, std::string source = "") {
  TTableDef t;
  t.Name = std::move(name);
  t.RecordCount = source.empty() ? 8 : -1;
  t.SourceTableName = std::move(source);
  t.Fields = std::move(fields);
  return t;
}

TMdb Sales() {
  TMdb mdb;
  mdb.Name = "sales.mdb";
  mdb.TableDefs = {
      Table("MSysObjects", {Field("Id", "長整数型(Long)", 4)}),
      Table("受注", {Field("ID", "長整数型(Long)", 4, true),
                     Field("顧客<名>", "テキスト型(Text)", 50, false, true, "\"a&b\"")}),
      Table("在庫", {Field("品番", "テキスト型(Text)", 10)}, "Stock"),
  };
  return mdb;
}

TEST(DocumentTest, ListsEveryFieldOfATableWithItsRules) {
  HtmlQuery doc(RenderDefinitionDocument({Sales()}, "2026/12/08 09:30:00"));
  ASSERT_TRUE(doc.Parsed());
  // The user's tables come first, system tables after them.
  EXPECT_EQ(doc.Texts("//section[@id='db1']/section/h3"),
            (std::vector<std::string>{"受注", "在庫", "MSysObjects"}));
  Rows fields = doc.Rows("//section[@id='db1-t1']/table[2]/tbody/tr");
  EXPECT_EQ(
      fields,
      (Rows{
          {"1", "", "ID", "長整数型(Long)", "4", "○", "", "", "", "", "", "", ""},
          {"2", "", "顧客<名>", "テキスト型(Text)", "50", "", "○", "\"a&b\"", "", "", "", "", ""},
      }));
  EXPECT_EQ(doc.Texts("//section[@id='db1-t1']/table[2]/thead/tr/th"),
            (std::vector<std::string>{"No", "論理名", "物理名", "型", "長さ", "必須", "空文字",
                                      "既定値", "PK", "UK", "FK", "索引", "備考"}));
}

TProperty Text(std::string name, std::string value) {
  return TProperty{std::move(name), Variant(std::move(value)), ""};
}

// Keys, indexes, relationships and descriptions: where each shows up in the table's rows.
TEST(DocumentTest, ShowsKeysRelationshipsAndDescriptionsWhereAReviewerLooks) {
  TMdb mdb = Sales();
  TTableDef& orders = mdb.TableDefs[1];
  orders.Properties = {Text("Description", "受注ヘッダ")};
  orders.Fields[0].Properties = {Text("Description", "受注番号"), Text("Caption", "受注No")};
  orders.Fields[1].Properties = {Text("Format", "@;\"(なし)\"")};
  TTableDefField customerId = Field("顧客ID", "長整数型(Long)", 4);
  orders.Fields.push_back(customerId);
  orders.Indexes = {TIndex{"PrimaryKey", true, true, false, true, false, false, {{"ID", 0}}},
                    TIndex{"名前順", false, true, true, false, false, false, {{"顧客<名>", 1}}}};
  TTableDef customers = Table("顧客", {Field("ID", "長整数型(Long)", 4)});
  customers.Indexes = {TIndex{"PrimaryKey", true, true, false, true, false, false, {{"ID", 0}}}};
  mdb.TableDefs.push_back(customers);
  // Cascade updates, integrity enforced; the foreign key has no index of its own.
  mdb.Relations = {TRelation{"顧客受注", "顧客", "受注", 256, {{"ID", "顧客ID"}}}};

  HtmlQuery doc(RenderDefinitionDocument({mdb}, "x"));
  EXPECT_EQ(doc.Texts("//section[@id='db1-t1']/h3"), std::vector<std::string>{"受注ヘッダ / 受注"});
  Rows fields = doc.Rows("//section[@id='db1-t1']/table[2]/tbody/tr");
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0],
            (std::vector<std::string>{"1", "受注番号", "ID", "長整数型(Long)", "4", "○", "", "",
                                      "○", "", "", "PrimaryKey", "標題: 受注No"}));
  EXPECT_EQ(fields[1][8], "");         // PK
  EXPECT_EQ(fields[1][9], "○");        // UK
  EXPECT_EQ(fields[1][11], "名前順");  // 索引
  EXPECT_EQ(fields[1][12], "書式: @;\"(なし)\"");
  EXPECT_EQ(fields[2][10], "→ 顧客.ID");  // FK
  EXPECT_EQ(doc.Rows("//section[@id='db1-t1']/table[3]/tbody/tr"),
            (Rows{{"PrimaryKey", "ID", "○", "○", "", "○", ""},
                  {"名前順", "顧客<名> (降順)", "", "○", "○", "", ""}}));
  EXPECT_EQ(doc.Rows("//section[@id='db1-t1']/table[4]/tbody/tr"),
            (Rows{{"顧客受注", "顧客.ID → 受注.顧客ID", "1 : ∞", "○", "○", ""}}));
  Rows checks = doc.Rows("//section[@id='db1']/table[2]/tr");
  EXPECT_EQ(checks[1],
            (std::vector<std::string>{"インデックスのない外部キー", "1", "顧客受注 (受注)"}));
  EXPECT_EQ(checks[2],
            (std::vector<std::string>{"参照整合性のないリレーションシップ", "0", "なし"}));
  EXPECT_EQ(doc.Texts("//section[@id='db1']/div[@class='diagram']/*[local-name()='svg']").size(),
            1u);
}

TEST(DocumentTest, EveryContentsLinkLeadsToItsSection) {
  TMdb second = Sales();
  second.Name = "stock.mdb";
  HtmlQuery doc(RenderDefinitionDocument({Sales(), second}, "x"));
  std::vector<std::string> links = doc.Texts("//nav//a/@href");
  ASSERT_EQ(links.size(), 8u);  // two databases of three tables
  std::vector<std::string> ids = doc.Texts("//@id");
  std::set<std::string> targets(ids.begin(), ids.end());
  EXPECT_EQ(targets.size(), ids.size()) << "ids are unique";
  for (const auto& link : links) EXPECT_TRUE(targets.count(link.substr(1))) << link;
}

TEST(DocumentTest, DatabaseTextsAreTextAndNothingComesFromOutside) {
  TMdb mdb = Sales();
  mdb.Name = "<script>alert(1)</script>.mdb";
  mdb.TableDefs[1].Name = "<img src=http://x/>";
  std::string html = RenderDefinitionDocument({mdb}, "<b>");
  HtmlQuery doc(html);
  EXPECT_TRUE(doc.Texts("//script").empty());
  EXPECT_TRUE(doc.Texts("//img").empty());
  EXPECT_TRUE(doc.Texts("//b").empty());
  EXPECT_EQ(doc.Texts("//section[@id='db1']/h2"),
            std::vector<std::string>{"<script>alert(1)</script>.mdb"});
  EXPECT_EQ(doc.Texts("//*[@src] | //link | //@href[not(starts-with(., '#'))]").size(), 0u);
  EXPECT_EQ(doc.Texts("//meta/@charset"), std::vector<std::string>{"utf-8"});
}

TEST(DocumentTest, ChecksCountOnlyTheUsersOwnTables) {
  HtmlQuery doc(RenderDefinitionDocument({Sales()}, "x"));
  Rows checks = doc.Rows("//section[@id='db1']/table[2]/tr");
  ASSERT_EQ(checks.size(), 4u);
  // MSysObjects (a system table) and 在庫 (a link) are not the user's to key or describe.
  EXPECT_EQ(checks[0], (std::vector<std::string>{"主キーのないテーブル", "1", "受注"}));
  EXPECT_EQ(checks[3],
            (std::vector<std::string>{"説明のないフィールド", "2", "受注.ID, 受注.顧客<名>"}));
  EXPECT_EQ(doc.Texts("//section[@id='db1']//div[@class='diagram']").size(), 0u);
  EXPECT_EQ(doc.Texts("//section[@id='db1']/p[@class='muted']")[0],
            "リレーションシップはありません。");
}

// Hidden queries (as the reader marks them, whatever their names) come after the others under
// their own heading.
TEST(DocumentTest, ListsHiddenQueriesApart) {
  TMdb mdb = Sales();
  mdb.QueryDefs = {
      {"Lookup", 0, "SELECT 1;", true, std::nullopt, std::nullopt, {}, ""},
      {"~sq_cVisible", 48, "UPDATE T SET a = 1;", false, std::nullopt, std::nullopt, {}, ""},
      {"Plain", 0, "SELECT 2;", false, std::nullopt, std::nullopt, {}, ""}};
  HtmlQuery doc(RenderDefinitionDocument({mdb}, "x"));
  EXPECT_EQ(doc.Texts("//section[@id='db1']//h4[contains(., 'クエリ')]"),
            (std::vector<std::string>{"~sq_cVisible 更新クエリ", "Plain 選択クエリ",
                                      "非表示のクエリ(フォームやコントロールの値集合ソース)",
                                      "Lookup 選択クエリ"}));
  EXPECT_EQ(doc.Texts("//section[@id='db1']//pre"),
            (std::vector<std::string>{"UPDATE T SET a = 1;", "SELECT 2;", "SELECT 1;"}));
}

TEST(DocumentTest, AnUnreadableDatabaseShowsItsErrorAndNoTables) {
  TMdb broken;
  broken.Name = "broken.mdb";
  broken.ErrorMessage = "Unrecognized database format 'broken.mdb'.";
  HtmlQuery doc(RenderDefinitionDocument({broken, Sales()}, "x"));
  EXPECT_EQ(doc.Texts("//section[@id='db1']/p"), std::vector<std::string>{broken.ErrorMessage});
  EXPECT_TRUE(doc.Texts("//section[@id='db1']//section").empty());
  EXPECT_EQ(doc.Texts("//section[@id='db2']//section").size(), 3u);
}

}  // namespace
}  // namespace zentab::report
