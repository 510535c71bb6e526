// The section's fixed texts and the rules that fill them from the records.
#include "report/section.h"

#include <string>

#include "platform/text.h"

namespace zentab {
namespace {

constexpr std::string_view kMdbHeading = R"(<h1 id="#MDBNAME#"><a href="#">#MDBNAME#</a></h1>)";
constexpr std::string_view kTableLink = R"(<a href="##MDBNAME#_#TBLNAME#">#TBLNAME#</a>)";
constexpr std::string_view kTableHeading =
    R"(<h2 id="#MDBNAME#_#TBLNAME#"><a href="##MDBNAME#">#TBLNAME# (in #MDBNAME#)</a></h2>)";
constexpr std::string_view kTableStart = "<table cellpadding=3 cellspacing=0 border=1><tr>";
constexpr std::string_view kCell = "<td nowrap>";
constexpr std::string_view kNumberCell = "<td nowrap align=right>";
constexpr std::string_view kCellEnd = "</td>";
// A rendered piece is handed on once it holds this much.
constexpr std::size_t kPieceSize = 64 * 1024;

std::string ReplaceAll(std::string_view text, std::string_view placeholder,
                       std::string_view value) {
  std::string out;
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = text.find(placeholder, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(value);
    pos = hit + placeholder.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::string HeaderRow(std::initializer_list<std::string_view> titles) {
  std::string out(kTableStart);
  for (auto title : titles) {
    out += "<th nowrap>";
    out += title;
    out += "</th>";
  }
  out += "</tr>";
  return out;
}

void AppendCell(std::string& row, std::string_view opening, std::string_view content) {
  row += opening;
  row += content;
  row += kCellEnd;
}

const char* BoolText(bool b) {
  return b ? "True" : "False";
}

}  // namespace

std::string CellText(std::string_view text) {
  return text.empty() ? std::string("&nbsp;") : platform::HtmlEscape(text);
}

std::string FillTemplate(std::string_view pattern, std::string_view mdbName,
                         std::string_view tableName) {
  std::string withDb = ReplaceAll(pattern, "#MDBNAME#", platform::HtmlEscape(mdbName));
  return ReplaceAll(withDb, "#TBLNAME#", platform::HtmlEscape(tableName));
}

std::string TableListHeader() {
  return HeaderRow({"テーブル名", "属性", "レコード数", "リンク元", "作成日", "更新日"});
}

std::string TableListFooter() {
  return "</table>";
}

std::string FieldTableHeader() {
  return HeaderRow({"番号", "フィールド名", "型", "長さ", "空文字可", "NULL不可", "属性", "規定値",
                    "リンク元テーブル", "リンク元フィールド"});
}

std::string FieldTableFooter() {
  return "</table>";
}

std::string TableListRow(std::string_view mdbName, const TTableDef& table) {
  std::string row = "<tr><td nowrap>";
  row += FillTemplate(kTableLink, mdbName, table.Name);
  row += kCellEnd;
  AppendCell(row, kCell, CellText(table.Attributes));
  AppendCell(row, kNumberCell, std::to_string(table.RecordCount));
  AppendCell(row, kCell, CellText(table.SourceTableName));
  AppendCell(row, kCell, CellText(table.DateCreated));
  AppendCell(row, kCell, CellText(table.LastUpdated));
  row += "</tr>";
  return row;
}

std::string FieldTableRow(const TTableDefField& field) {
  std::string row = "<tr><td nowrap align=right>";
  row += std::to_string(field.OrdinalPosition);
  row += kCellEnd;
  AppendCell(row, kCell, CellText(field.Name));
  AppendCell(row, kCell, CellText(field.TypeName));
  AppendCell(row, kNumberCell, std::to_string(field.Size));
  AppendCell(row, kCell, BoolText(field.AllowZeroLength));
  AppendCell(row, kCell, BoolText(field.Required));
  AppendCell(row, kCell, CellText(field.Attributes));
  AppendCell(row, kCell, CellText(field.DefaultValue));
  AppendCell(row, kCell, CellText(field.SourceTable));
  AppendCell(row, kCell, CellText(field.SourceField));
  row += "</tr>";
  return row;
}

void RenderMdbSection(const TMdb& mdb, const SectionSink& sink) {
  std::string out = ReplaceAll(kMdbHeading, "#MDBNAME#", platform::HtmlEscape(mdb.Name));
  auto flushWhenFull = [&] {
    if (out.size() >= kPieceSize) {
      sink(out);
      out.clear();
    }
  };
  out += TableListHeader();
  for (const auto& table : mdb.TableDefs) {
    out += TableListRow(mdb.Name, table);
    flushWhenFull();
  }
  out += TableListFooter();
  for (const auto& table : mdb.TableDefs) {
    out += FillTemplate(kTableHeading, mdb.Name, table.Name);
    out += FieldTableHeader();
    for (const auto& field : table.Fields) {
      out += FieldTableRow(field);
      flushWhenFull();
    }
    out += FieldTableFooter();
  }
  if (!out.empty()) sink(out);
}

std::string RenderMdbSection(const TMdb& mdb) {
  std::string out;
  RenderMdbSection(mdb, [&out](std::string_view piece) { out += piece; });
  return out;
}

}  // namespace zentab
