// Rendering of a database section: the worked Sales.mdb example byte for byte, placeholder
// rules, empty cells and escaping.
#include "report/section.h"

#include <gtest/gtest.h>

namespace zentab {
namespace {

const std::string kTableListHeader =
    "<table cellpadding=3 cellspacing=0 border=1><tr><th nowrap>テーブル名</th><th nowrap>属性</th>"
    "<th nowrap>レコード数</th><th nowrap>リンク元</th><th nowrap>作成日</th><th nowrap>更新日</th>"
    "</tr>";
const std::string kFieldTableHeader =
    "<table cellpadding=3 cellspacing=0 border=1><tr><th nowrap>番号</th><th "
    "nowrap>フィールド名</th>"
    "<th nowrap>型</th><th nowrap>長さ</th><th nowrap>空文字可</th><th nowrap>NULL不可</th>"
    "<th nowrap>属性</th><th nowrap>規定値</th><th nowrap>リンク元テーブル</th>"
    "<th nowrap>リンク元フィールド</th></tr>";

TMdb SalesMdb() {
  TMdb mdb;
  mdb.Name = "Sales.mdb";
  TTableDef orders;
  orders.Name = "Orders";
  orders.RecordCount = 120;
  orders.DateCreated = "2003/01/15 10:20:30";
  orders.LastUpdated = "2003/02/01 9:05:00";
  TTableDefField id;
  id.Name = "ID";
  id.OrdinalPosition = 0;
  id.TypeName = "長整数型(Long)";
  id.Size = 4;
  id.Required = true;
  id.DefaultValue = "0";
  id.SourceTable = "Orders";
  id.SourceField = "ID";
  TTableDefField customer;
  customer.Name = "Customer";
  customer.OrdinalPosition = 1;
  customer.TypeName = "テキスト型(Text)";
  customer.Size = 50;
  customer.AllowZeroLength = true;
  customer.Attributes = "サイズ可変";
  customer.SourceTable = "Orders";
  customer.SourceField = "Customer";
  orders.Fields = {id, customer};
  mdb.TableDefs = {orders};
  return mdb;
}

TEST(RenderMdbSection, RendersTheSalesExampleByteForByte) {
  const std::string expected =
      R"(<h1 id="Sales.mdb"><a href="#">Sales.mdb</a></h1>)" + kTableListHeader +
      R"(<tr><td nowrap><a href="#Sales.mdb_Orders">Orders</a></td><td nowrap>&nbsp;</td><td nowrap align=right>120</td><td nowrap>&nbsp;</td><td nowrap>2003/01/15 10:20:30</td><td nowrap>2003/02/01 9:05:00</td></tr>)"
      "</table>"
      R"(<h2 id="Sales.mdb_Orders"><a href="#Sales.mdb">Orders (in Sales.mdb)</a></h2>)" +
      kFieldTableHeader +
      R"(<tr><td nowrap align=right>0</td><td nowrap>ID</td><td nowrap>長整数型(Long)</td><td nowrap align=right>4</td><td nowrap>False</td><td nowrap>True</td><td nowrap>&nbsp;</td><td nowrap>0</td><td nowrap>Orders</td><td nowrap>ID</td></tr>)"
      R"(<tr><td nowrap align=right>1</td><td nowrap>Customer</td><td nowrap>テキスト型(Text)</td><td nowrap align=right>50</td><td nowrap>True</td><td nowrap>False</td><td nowrap>サイズ可変</td><td nowrap>&nbsp;</td><td nowrap>Orders</td><td nowrap>Customer</td></tr>)"
      "</table>";
  EXPECT_EQ(RenderMdbSection(SalesMdb()), expected);
}

TEST(RenderMdbSection, ADatabaseWithoutTablesHasAnEmptyTableList) {
  TMdb mdb;
  mdb.Name = "e.mdb";
  EXPECT_EQ(RenderMdbSection(mdb),
            R"(<h1 id="e.mdb"><a href="#">e.mdb</a></h1>)" + kTableListHeader + "</table>");
}

TEST(RenderMdbSection, KeepsTheRecordsOrder) {
  TMdb mdb = SalesMdb();
  TTableDef empty;
  empty.Name = "A";
  mdb.TableDefs.insert(mdb.TableDefs.begin(), empty);
  std::swap(mdb.TableDefs[1].Fields[0], mdb.TableDefs[1].Fields[1]);
  std::string html = RenderMdbSection(mdb);
  EXPECT_LT(html.find("#Sales.mdb_A\""), html.find("#Sales.mdb_Orders\""));
  EXPECT_LT(html.find("<h2 id=\"Sales.mdb_A\""), html.find("<h2 id=\"Sales.mdb_Orders\""));
  EXPECT_LT(html.find(">Customer<"), html.find(">ID<"));
  // A table without fields: heading, header row and the end of the table.
  EXPECT_NE(html.find(R"(A (in Sales.mdb)</a></h2>)" + kFieldTableHeader + "</table>"),
            std::string::npos);
}

TEST(CellText, EmptyBecomesNbspAndBlanksStay) {
  EXPECT_EQ(CellText(""), "&nbsp;");
  EXPECT_EQ(CellText(" "), " ");
  EXPECT_EQ(CellText("a<b"), "a&lt;b");
}

TEST(TableListRow, WritesNegativeCountsAndEmptyNames) {
  TTableDef linked;
  linked.RecordCount = -1;
  linked.SourceTableName = "Stock";
  EXPECT_EQ(
      TableListRow("S.mdb", linked),
      R"(<tr><td nowrap><a href="#S.mdb_"></a></td><td nowrap>&nbsp;</td><td nowrap align=right>-1</td><td nowrap>Stock</td><td nowrap>&nbsp;</td><td nowrap>&nbsp;</td></tr>)");
  TMdb mdb;
  mdb.Name = "S.mdb";
  mdb.TableDefs = {linked};
  EXPECT_NE(RenderMdbSection(mdb).find(R"(<h2 id="S.mdb_"><a href="#S.mdb"> (in S.mdb)</a></h2>)"),
            std::string::npos);
}

TEST(FillTemplate, SubstitutesDatabaseThenTableWithoutRescanningInsertedText) {
  // A database name holding "#TBLNAME#" gets the table name in the second step; a
  // "#MDBNAME#" inside a name stays as it is.
  EXPECT_EQ(FillTemplate("##MDBNAME#_#TBLNAME#", "a#TBLNAME#.mdb", "T"), "#aT.mdb_T");
  EXPECT_EQ(FillTemplate("#MDBNAME#/#TBLNAME#", "#MDBNAME#", "#MDBNAME#"), "#MDBNAME#/#MDBNAME#");
  EXPECT_EQ(FillTemplate("#TBLNAME##TBLNAME#", "d", "#TBLNAME#"), "#TBLNAME##TBLNAME#");
  TMdb mdb;
  mdb.Name = "x#TBLNAME#.mdb";
  EXPECT_EQ(RenderMdbSection(mdb).rfind(
                R"(<h1 id="x#TBLNAME#.mdb"><a href="#">x#TBLNAME#.mdb</a></h1>)", 0),
            0u);
}

TEST(FieldTableRow, EscapesEveryTextTakenFromTheDatabase) {
  TTableDefField field;
  field.Name = "<script>";
  field.DefaultValue = R"("<none>")";
  field.SourceTable = "A&B";
  field.SourceField = "<script>";
  field.TypeName = "テキスト型(Text)";
  std::string row = FieldTableRow(field);
  EXPECT_EQ(row.find("<script>"), std::string::npos);
  EXPECT_NE(row.find("<td nowrap>&quot;&lt;none&gt;&quot;</td>"), std::string::npos);
  EXPECT_NE(row.find("<td nowrap>A&amp;B</td>"), std::string::npos);

  TTableDef table;
  table.Name = R"(x"><img src=y onerror=alert(1)>)";
  std::string link = TableListRow(R"(d"b.mdb)", table);
  EXPECT_EQ(link.find("<img"), std::string::npos);
  EXPECT_NE(link.find(R"(href="#d&quot;b.mdb_x&quot;&gt;&lt;img)"), std::string::npos);
}

// A large database's section comes in bounded pieces, each ending at a row or table end, and
// none is lost: every one of its 3 x 1,000 field rows and 3 table rows arrives.
TEST(RenderMdbSection, HandsALargeSectionOnInBoundedPiecesOfWholeRows) {
  TMdb mdb;
  mdb.Name = "大.mdb";
  for (int t = 0; t < 3; ++t) {
    TTableDef table;
    table.Name = "表" + std::to_string(t);
    for (int f = 0; f < 1000; ++f) {
      TTableDefField field;
      field.Name = "項目" + std::to_string(f);
      field.TypeName = "テキスト型(Text)";
      table.Fields.push_back(field);
    }
    mdb.TableDefs.push_back(table);
  }
  std::vector<std::string> pieces;
  RenderMdbSection(mdb, [&](std::string_view piece) { pieces.emplace_back(piece); });
  ASSERT_GT(pieces.size(), 2u);
  std::string whole;
  for (const auto& piece : pieces) {
    EXPECT_LT(piece.size(), 64u * 1024 + 1024);
    const bool endsRow = piece.ends_with("</tr>") || piece.ends_with("</table>");
    EXPECT_TRUE(endsRow) << piece.substr(piece.size() - std::min<std::size_t>(piece.size(), 40));
    whole += piece;
  }
  auto count = [&whole](std::string_view what) {
    std::size_t n = 0;
    for (auto at = whole.find(what); at != std::string::npos; at = whole.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<tr><td nowrap align=right>"), 3000u);
  EXPECT_EQ(count(R"(<tr><td nowrap><a href="#大.mdb_表)"), 3u);
  EXPECT_EQ(count("<h2 "), 3u);
  EXPECT_TRUE(
      whole.ends_with("<td nowrap>項目999</td><td nowrap>テキスト型(Text)</td>"
                      "<td nowrap align=right>0</td><td nowrap>False</td>"
                      "<td nowrap>False</td><td nowrap>&nbsp;</td><td nowrap>&nbsp;</td>"
                      "<td nowrap>&nbsp;</td><td nowrap>&nbsp;</td></tr></table>"));
}

// Each text the database supplies, alone, in both kinds of row: the cell holds it escaped.
TEST(Rows, EscapeEachTextCellOnItsOwn) {
  const std::string raw = R"(<b a="1">&)";
  const std::string cell = "<td nowrap>&lt;b a=&quot;1&quot;&gt;&amp;</td>";
  struct TableCase {
    const char* cell;
    std::string TTableDef::*text;
  };
  const TableCase tableCases[] = {
      {"Attributes", &TTableDef::Attributes},
      {"SourceTableName", &TTableDef::SourceTableName},
      {"DateCreated", &TTableDef::DateCreated},
      {"LastUpdated", &TTableDef::LastUpdated},
  };
  for (const auto& c : tableCases) {
    TTableDef table;
    table.*c.text = raw;
    std::string row = TableListRow("d.mdb", table);
    EXPECT_NE(row.find(cell), std::string::npos) << c.cell << ": " << row;
    EXPECT_EQ(row.find(raw), std::string::npos) << c.cell << ": " << row;
  }
  struct FieldCase {
    const char* cell;
    std::string TTableDefField::*text;
  };
  const FieldCase fieldCases[] = {
      {"Name", &TTableDefField::Name},
      {"TypeName", &TTableDefField::TypeName},
      {"Attributes", &TTableDefField::Attributes},
      {"DefaultValue", &TTableDefField::DefaultValue},
      {"SourceTable", &TTableDefField::SourceTable},
      {"SourceField", &TTableDefField::SourceField},
  };
  for (const auto& c : fieldCases) {
    TTableDefField field;
    field.*c.text = raw;
    std::string row = FieldTableRow(field);
    EXPECT_NE(row.find(cell), std::string::npos) << c.cell << ": " << row;
    EXPECT_EQ(row.find(raw), std::string::npos) << c.cell << ": " << row;
  }
}

}  // namespace
}  // namespace zentab
