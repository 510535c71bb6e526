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
  EXPECT_EQ(doc.Texts("//section[@id='db1-t2']/h3"), std::vector<std::string>{"受注"});
  Rows fields = doc.Rows("//section[@id='db1-t2']/table[2]/tbody/tr");
  EXPECT_EQ(
      fields,
      (Rows{
          {"1", "", "ID", "長整数型(Long)", "4", "○", "", "", "", "", "", "", ""},
          {"2", "", "顧客<名>", "テキスト型(Text)", "50", "", "○", "\"a&b\"", "", "", "", "", ""},
      }));
  EXPECT_EQ(doc.Texts("//section[@id='db1-t2']/table[2]/thead/tr/th"),
            (std::vector<std::string>{"No", "論理名", "物理名", "型", "長さ", "必須", "空文字",
                                      "既定値", "PK", "UK", "FK", "索引", "備考"}));
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
