// Rendering of a database section: the worked Sales.mdb example byte for byte, placeholder
// rules, empty cells and escaping; the section rendered straight into CP932 against the UTF-8
// section converted afterwards.
#include "report/section.h"

#include <gtest/gtest.h>

#include "platform/text.h"

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

// Where two renderings part, with a little of each, instead of both in full.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  if (at == a.size() && at == b.size()) return "";
  const std::size_t from = at > 40 ? at - 40 : 0;
  return "at byte " + std::to_string(at) + ": " + a.substr(from, 80) + " | " + b.substr(from, 80);
}

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

// A database name that holds a placeholder, or begins with the end of one, takes the table's
// name in the second step, worked out by hand; in both encodings.
TEST(RenderMdbSection, FillsPlaceholdersThatADatabaseNameForms) {
  struct Case {
    const char* mdbName;
    const char* link;
    const char* heading;
  };
  const Case cases[] = {
      {"x#TBLNAME#.mdb", R"(<a href="#xT.mdb_T">T</a>)",
       R"(<h2 id="xT.mdb_T"><a href="#xT.mdb">T (in xT.mdb)</a></h2>)"},
      {"TBLNAME#.mdb", R"(<a href="T.mdb_T">T</a>)",
       R"(<h2 id="TBLNAME#.mdb_T"><a href="T.mdb">T (in TBLNAME#.mdb)</a></h2>)"},
      {"#MDBNAME#", R"(<a href="##MDBNAME#_T">T</a>)",
       R"(<h2 id="#MDBNAME#_T"><a href="##MDBNAME#">T (in #MDBNAME#)</a></h2>)"},
  };
  for (const auto& c : cases) {
    TMdb mdb;
    mdb.Name = c.mdbName;
    TTableDef table;
    table.Name = "T";
    mdb.TableDefs = {table};
    const std::string html = RenderMdbSection(mdb);
    EXPECT_NE(html.find(std::string("<tr><td nowrap>") + c.link + "</td>"), std::string::npos)
        << c.mdbName << ": " << html;
    EXPECT_NE(html.find(c.heading), std::string::npos) << c.mdbName << ": " << html;
    std::string cp932;
    RenderMdbSection(
        mdb, [&](std::string_view piece) { cp932 += piece; }, SectionEncoding::kCp932);
    EXPECT_EQ(FirstDifference(cp932, platform::Utf8ToCp932Html(html)), "") << c.mdbName;
  }
}

// The section rendered straight into CP932 is the UTF-8 section converted, byte for byte, for
// names and texts that escape, that CP932 lacks, and that are not UTF-8 at all, next to the
// placeholders, the markup and each other.
TEST(RenderMdbSection, RendersCp932AsTheConvertedUtf8Section) {
  const std::string texts[] = {
      "",
      "顧客台帳",
      R"(<b a="1">&amp;)",
      "caf\xC3\xA9 \xF0\x9F\x98\x80 \u301C\u00A5\\~",
      "\xE8",        // a lead byte with nothing after it
      "\xA1\xA8表",  // continuation bytes first
      "ｱｲｳ#TBLNAME#",
  };
  const std::string mdbNames[] = {"Sales.mdb", "顧客<台帳>&\"x\".mdb", "\x95\x5C.mdb",
                                  "x\xE8#TBLNAME#", "#MDBNAME#\xE8"};
  for (const auto& mdbName : mdbNames) {
    TMdb mdb = SalesMdb();
    mdb.Name = mdbName;
    for (std::size_t i = 0; i < std::size(texts); ++i) {
      TTableDef table;
      table.Name = texts[i];
      table.Attributes = texts[(i + 1) % std::size(texts)];
      table.SourceTableName = texts[(i + 2) % std::size(texts)];
      table.DateCreated = texts[(i + 3) % std::size(texts)];
      table.LastUpdated = texts[(i + 4) % std::size(texts)];
      table.RecordCount = i == 0 ? -2147483647 - 1 : static_cast<std::int32_t>(i) * 1000;
      for (std::size_t j = 0; j < std::size(texts); ++j) {
        TTableDefField field;
        field.Name = texts[j];
        field.OrdinalPosition = static_cast<std::int32_t>(j);
        field.TypeName = texts[(j + i) % std::size(texts)];
        field.Size = j == 0 ? 2147483647 : -static_cast<std::int32_t>(j);
        field.AllowZeroLength = j % 2 == 0;
        field.Required = j % 3 == 0;
        field.Attributes = texts[(j + 1) % std::size(texts)];
        field.DefaultValue = texts[(j + 2) % std::size(texts)];
        field.SourceTable = texts[(j + 3) % std::size(texts)];
        field.SourceField = texts[(j + 4) % std::size(texts)];
        table.Fields.push_back(field);
      }
      mdb.TableDefs.push_back(table);
    }
    std::string cp932;
    RenderMdbSection(
        mdb, [&](std::string_view piece) { cp932 += piece; }, SectionEncoding::kCp932);
    EXPECT_EQ(FirstDifference(cp932, platform::Utf8ToCp932Html(RenderMdbSection(mdb))), "")
        << mdbName;
  }
  // The hand-made case the fallback exists for: the database name ends in a lead byte just
  // before a placeholder and the table name begins with the rest of the character.
  TMdb mdb;
  mdb.Name = "x\xE8#TBLNAME#";
  TTableDef table;
  table.Name = "\xA1\xA8";
  mdb.TableDefs = {table};
  std::string cp932;
  RenderMdbSection(
      mdb, [&](std::string_view piece) { cp932 += piece; }, SectionEncoding::kCp932);
  EXPECT_NE(cp932.find(R"(<a href="#x)"
                       "\x95\x5C_"),
            std::string::npos);
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

// The same section in CP932: bounded pieces of whole rows that together are the UTF-8
// section converted.
TEST(RenderMdbSection, HandsACp932SectionOnInBoundedPiecesOfWholeRows) {
  TMdb mdb;
  mdb.Name = "大.mdb";
  TTableDef table;
  table.Name = "表";
  for (int f = 0; f < 3000; ++f) {
    TTableDefField field;
    field.Name = "項目\u00E9" + std::to_string(f);
    table.Fields.push_back(field);
  }
  mdb.TableDefs = {table};
  std::vector<std::string> pieces;
  RenderMdbSection(
      mdb, [&](std::string_view piece) { pieces.emplace_back(piece); }, SectionEncoding::kCp932);
  ASSERT_GT(pieces.size(), 2u);
  std::string whole;
  for (const auto& piece : pieces) {
    EXPECT_LT(piece.size(), 64u * 1024 + 1024);
    EXPECT_TRUE(piece.ends_with("</tr>") || piece.ends_with("</table>"));
    whole += piece;
  }
  EXPECT_EQ(FirstDifference(whole, platform::Utf8ToCp932Html(RenderMdbSection(mdb))), "");
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

// One table's field rows, in which the type, attribute and source-table texts change, repeat,
// share a length with another text, go empty and outnumber the texts a section keeps made:
// every cell holds its own field's text, worked out by hand, never one made for another field.
// A source field that is the field's name, escaped or empty, is written as the name is. The
// section in CP932 is the same text converted.
TEST(RenderMdbSection, EveryFieldRowHoldsItsOwnTexts) {
  struct Row {
    std::string typeName, attributes, sourceTable, name, sourceField;
    std::string typeCell, attributesCell, sourceTableCell, nameCell, sourceFieldCell;
  };
  std::vector<Row> rows = {
      {"長整数型(Long)", "サイズ固定", "T", "a", "a",  //
       "長整数型(Long)", "サイズ固定", "T", "a", "a"},
      // The same length in bytes as the texts before it.
      {"整数型(Integer)", "サイズ可変", "U", "b", "a",  //
       "整数型(Integer)", "サイズ可変", "U", "b", "a"},
      {"長整数型(Long)", "サイズ固定", "T", "<n>", "<n>",  //
       "長整数型(Long)", "サイズ固定", "T", "&lt;n&gt;", "&lt;n&gt;"},
      {"", "", "", "", "",  //
       "&nbsp;", "&nbsp;", "&nbsp;", "&nbsp;", "&nbsp;"},
      {"a<b", "&", "\"T\"", "x", "",  //
       "a&lt;b", "&amp;", "&quot;T&quot;", "x", "&nbsp;"},
      {"長整数型(Long)", "", "T", "", "x",  //
       "長整数型(Long)", "&nbsp;", "T", "&nbsp;", "x"},
  };
  // More texts than are kept; then the beginnings of the first ones, as long as the texts that
  // took their places; then the first ones again.
  for (int i = 0; i < 20; ++i) {
    const std::string text = "型" + std::to_string(i) + "é\\~";
    rows.push_back({text, text, text, "n", "n", text, text, text, "n", "n"});
  }
  rows.push_back({"長整数", "サイズ", "T", "n", "n", "長整数", "サイズ", "T", "n", "n"});
  rows.push_back(rows[1]);
  rows.push_back(rows[0]);
  rows.push_back(rows[20]);

  TMdb mdb;
  mdb.Name = "c.mdb";
  TTableDef table;
  table.Name = "T";
  std::string expected;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    TTableDefField field;
    field.OrdinalPosition = static_cast<std::int32_t>(i);
    field.TypeName = r.typeName;
    field.Attributes = r.attributes;
    field.SourceTable = r.sourceTable;
    field.Name = r.name;
    field.SourceField = r.sourceField;
    table.Fields.push_back(field);
    expected += "<tr><td nowrap align=right>" + std::to_string(i) + "</td><td nowrap>" +
                r.nameCell + "</td><td nowrap>" + r.typeCell +
                "</td><td nowrap align=right>0</td><td nowrap>False</td><td nowrap>False</td>"
                "<td nowrap>" +
                r.attributesCell + "</td><td nowrap>&nbsp;</td><td nowrap>" + r.sourceTableCell +
                "</td><td nowrap>" + r.sourceFieldCell + "</td></tr>";
  }
  mdb.TableDefs = {table};
  const std::string html = RenderMdbSection(mdb);
  const std::string start = kFieldTableHeader;
  const std::size_t at = html.find(start);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(FirstDifference(html.substr(at + start.size()), expected + "</table>"), "");
  std::string cp932;
  RenderMdbSection(
      mdb, [&](std::string_view piece) { cp932 += piece; }, SectionEncoding::kCp932);
  EXPECT_EQ(FirstDifference(cp932, platform::Utf8ToCp932Html(html)), "");
}

// A row far longer than a piece, with texts that grow most when escaped and converted.
TEST(RenderMdbSection, WritesRowsLongerThanAPiece) {
  TMdb mdb;
  mdb.Name = "l.mdb";
  TTableDef table;
  table.Name = "T";
  TTableDefField field;
  field.Name = std::string(20000, '"');
  field.DefaultValue = std::string(20000, '\xFF');
  table.Fields = {field};
  mdb.TableDefs = {table};
  std::string quotes;
  std::string replaced;
  for (int i = 0; i < 20000; ++i) {
    quotes += "&quot;";
    replaced += "&#65533;";
  }
  std::string cp932;
  RenderMdbSection(
      mdb, [&](std::string_view piece) { cp932 += piece; }, SectionEncoding::kCp932);
  EXPECT_NE(cp932.find("<td nowrap>" + quotes + "</td>"), std::string::npos);
  EXPECT_NE(cp932.find("<td nowrap>" + replaced + "</td>"), std::string::npos);
  EXPECT_TRUE(cp932.ends_with("</td></tr></table>"));
}

}  // namespace
}  // namespace zentab
