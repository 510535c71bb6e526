// The section's fixed texts and the rules that fill them from the records; rows are built
// straight into one buffer, as UTF-8 or already in the report's CP932.
#include "report/section.h"

#include <charconv>
#include <string>
#include <vector>

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

const char* BoolText(bool b) {
  return b ? "True" : "False";
}

// Appends section text to one buffer in the encoding asked for: the fixed markup converted once,
// each text from the records escaped (and converted) straight into the buffer. Every piece
// converted on its own sits between ASCII bytes of the markup, so the bytes are those of
// converting the whole section at once.
class SectionWriter {
 public:
  SectionWriter(std::string& out, SectionEncoding encoding)
      : out_(out),
        cp932_(encoding == SectionEncoding::kCp932),
        rowStart_(Fixed("<tr>")),
        rowEnd_(Fixed("</tr>")),
        cell_(Fixed(kCell)),
        numberCell_(Fixed(kNumberCell)),
        cellEnd_(Fixed(kCellEnd)),
        empty_(Fixed("&nbsp;")),
        true_(Fixed(BoolText(true))),
        false_(Fixed(BoolText(false))) {}

  // A fixed UTF-8 text in the writer's encoding.
  std::string Fixed(std::string_view utf8) const {
    return cp932_ ? platform::Utf8ToCp932Html(utf8) : std::string(utf8);
  }
  // Text already in the writer's encoding, as Fixed makes it.
  void Raw(std::string_view text) { out_ += text; }
  // UTF-8 markup or text already escaped.
  void Markup(std::string_view utf8) {
    if (cp932_) {
      platform::AppendUtf8ToCp932Html(out_, utf8);
    } else {
      out_ += utf8;
    }
  }
  // A text from the records.
  void Escaped(std::string_view text) {
    if (cp932_) {
      platform::AppendHtmlEscapedCp932(out_, text);
    } else {
      platform::AppendHtmlEscaped(out_, text);
    }
  }
  void Number(std::int32_t value) {
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    Markup(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  }

  void RowStart() { out_ += rowStart_; }
  void RowEnd() { out_ += rowEnd_; }
  void CellStart() { out_ += cell_; }
  void CellEnd() { out_ += cellEnd_; }
  // A text cell; "&nbsp;" when the text is empty.
  void TextCell(std::string_view text) {
    out_ += cell_;
    if (text.empty()) {
      out_ += empty_;
    } else {
      Escaped(text);
    }
    out_ += cellEnd_;
  }
  void NumberCell(std::int32_t value) {
    out_ += numberCell_;
    Number(value);
    out_ += cellEnd_;
  }
  void BoolCell(bool value) {
    out_ += cell_;
    out_ += value ? true_ : false_;
    out_ += cellEnd_;
  }

 private:
  std::string& out_;
  bool cp932_;
  std::string rowStart_, rowEnd_, cell_, numberCell_, cellEnd_, empty_, true_, false_;
};

// A template with the database's name filled in as FillTemplate's first step does, split where
// its second step puts the table's name; the parts already in the writer's encoding. A database
// name holding '#' could form "#TBLNAME#" with the text around it and would join the parts in a
// way converting them apart might not reproduce, so such a template is filled whole each time.
class BoundTemplate {
 public:
  BoundTemplate(const SectionWriter& w, std::string_view pattern, std::string_view mdbName)
      : pattern_(pattern), mdbName_(mdbName), whole_(mdbName.find('#') != std::string_view::npos) {
    if (whole_) return;
    const std::string filled = ReplaceAll(pattern, "#MDBNAME#", platform::HtmlEscape(mdbName));
    constexpr std::string_view kSlot = "#TBLNAME#";
    std::size_t from = 0;
    for (auto hit = filled.find(kSlot); hit != std::string::npos; hit = filled.find(kSlot, from)) {
      parts_.push_back(w.Fixed(std::string_view(filled).substr(from, hit - from)));
      from = hit + kSlot.size();
    }
    parts_.push_back(w.Fixed(std::string_view(filled).substr(from)));
  }

  void Write(SectionWriter& w, std::string_view tableName) const {
    if (whole_) {
      w.Markup(FillTemplate(pattern_, mdbName_, tableName));
      return;
    }
    w.Raw(parts_[0]);
    for (std::size_t i = 1; i < parts_.size(); ++i) {
      w.Escaped(tableName);
      w.Raw(parts_[i]);
    }
  }

 private:
  std::string_view pattern_;
  std::string mdbName_;
  bool whole_;
  std::vector<std::string> parts_;
};

void WriteTableListRow(SectionWriter& w, const BoundTemplate& link, const TTableDef& table) {
  w.RowStart();
  w.CellStart();
  link.Write(w, table.Name);
  w.CellEnd();
  w.TextCell(table.Attributes);
  w.NumberCell(table.RecordCount);
  w.TextCell(table.SourceTableName);
  w.TextCell(table.DateCreated);
  w.TextCell(table.LastUpdated);
  w.RowEnd();
}

void WriteFieldTableRow(SectionWriter& w, const TTableDefField& field) {
  w.RowStart();
  w.NumberCell(field.OrdinalPosition);
  w.TextCell(field.Name);
  w.TextCell(field.TypeName);
  w.NumberCell(field.Size);
  w.BoolCell(field.AllowZeroLength);
  w.BoolCell(field.Required);
  w.TextCell(field.Attributes);
  w.TextCell(field.DefaultValue);
  w.TextCell(field.SourceTable);
  w.TextCell(field.SourceField);
  w.RowEnd();
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
  std::string row;
  SectionWriter w(row, SectionEncoding::kUtf8);
  WriteTableListRow(w, BoundTemplate(w, kTableLink, mdbName), table);
  return row;
}

std::string FieldTableRow(const TTableDefField& field) {
  std::string row;
  SectionWriter w(row, SectionEncoding::kUtf8);
  WriteFieldTableRow(w, field);
  return row;
}

void RenderMdbSection(const TMdb& mdb, const SectionSink& sink, SectionEncoding encoding) {
  std::string out;
  out.reserve(kPieceSize + kPieceSize / 4);
  SectionWriter w(out, encoding);
  auto flushWhenFull = [&] {
    if (out.size() >= kPieceSize) {
      sink(out);
      out.clear();
    }
  };
  w.Markup(ReplaceAll(kMdbHeading, "#MDBNAME#", platform::HtmlEscape(mdb.Name)));
  w.Markup(TableListHeader());
  const BoundTemplate link(w, kTableLink, mdb.Name);
  for (const auto& table : mdb.TableDefs) {
    WriteTableListRow(w, link, table);
    flushWhenFull();
  }
  const std::string tableEnd = w.Fixed(TableListFooter());
  w.Raw(tableEnd);
  const BoundTemplate heading(w, kTableHeading, mdb.Name);
  const std::string fieldHeader = w.Fixed(FieldTableHeader());
  for (const auto& table : mdb.TableDefs) {
    heading.Write(w, table.Name);
    w.Raw(fieldHeader);
    for (const auto& field : table.Fields) {
      WriteFieldTableRow(w, field);
      flushWhenFull();
    }
    w.Raw(tableEnd);
  }
  if (!out.empty()) sink(out);
}

std::string RenderMdbSection(const TMdb& mdb) {
  std::string out;
  RenderMdbSection(mdb, [&out](std::string_view piece) { out += piece; });
  return out;
}

}  // namespace zentab
