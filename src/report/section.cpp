// The section's fixed texts and the rules that fill them from the records; rows are built
// straight into one buffer, as UTF-8 or already in the report's CP932, each with one check for
// room.
#include "report/section.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>
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

// The section's bytes on their way to the sink: room for a whole row is made once and the
// row written through a pointer, with no check per piece of it.
class SectionBuffer {
 public:
  // Where n more bytes go; SetEnd says how many of them were written.
  char* Room(std::size_t n) {
    if (capacity_ - size_ < n) Grow(n);
    return data_.get() + size_;
  }
  void SetEnd(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
  void Append(std::string_view bytes) {
    char* at = Room(bytes.size());
    std::memcpy(at, bytes.data(), bytes.size());
    SetEnd(at + bytes.size());
  }
  std::size_t size() const { return size_; }
  std::string_view View() const { return {data_.get(), size_}; }
  void Clear() { size_ = 0; }

 private:
  void Grow(std::size_t n) {
    const std::size_t capacity = std::max({2 * capacity_, size_ + n, kPieceSize + kPieceSize / 4});
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Markup is printable ASCII without a backslash or a tilde: the same bytes in CP932 (the
// conversion refuses a system converter that would change them), copied as it is in both
// encodings.
template <std::size_t N>
char* Put(char* at, const char (&markup)[N]) {
  std::memcpy(at, markup, N - 1);
  return at + (N - 1);
}

// The longest a number takes: "-2147483648".
constexpr std::size_t kNumberBytes = 11;

char* PutNumber(char* at, std::int32_t value) {
  return std::to_chars(at, at + kNumberBytes, value).ptr;
}

char* PutBool(char* at, bool value) {
  return value ? Put(at, "True") : Put(at, "False");
}

// The most a row's own bytes take besides the room for its texts (kHtmlBytesPerByte per byte):
// per cell the longest opening tag, its end, and a number, "False" or "&nbsp;".
constexpr std::size_t kCellBytes = kNumberCell.size() + kCellEnd.size() + kNumberBytes;
constexpr std::size_t kRowBytes = sizeof "<tr></tr>" + 10 * kCellBytes;

// A text from the records as a cell holds it: escaped, converted to CP932 when kCp932, and
// "&nbsp;" when empty.
template <bool kCp932>
char* PutText(char* at, std::string_view text) {
  if (text.empty()) return Put(at, "&nbsp;");
  return kCp932 ? platform::WriteHtmlEscapedCp932(at, text) : platform::WriteHtmlEscaped(at, text);
}

// Cell contents already made, by the text they were made from: the type and attribute texts of
// a database's fields come from a small set, and a table's fields share its name as their
// source table. The slot used last is tried first, then the others by the texts' lengths; a
// slot serves only the text it was made from, compared byte for byte. A text not found takes
// the slot filled longest ago.
class CellCache {
 public:
  template <bool kCp932>
  [[gnu::always_inline]] char* Put(char* at, std::string_view text) {
    if (Holds(last_, text)) return Copy(at, last_);
    return Find<kCp932>(at, text);
  }

 private:
  struct Slot {
    std::string text;
    std::string cell;
  };

  template <bool kCp932>
  [[gnu::noinline]] char* Find(char* at, std::string_view text) {
    for (std::size_t i = 0; i < filled_; ++i) {
      if (i != last_ && Holds(i, text)) {
        last_ = i;
        return Copy(at, i);
      }
    }
    char* end = PutText<kCp932>(at, text);
    last_ = next_;
    next_ = (next_ + 1) % kSlots;
    filled_ = std::max(filled_, last_ + 1);
    sizes_[last_] = text.size();
    slots_[last_].text.assign(text);
    slots_[last_].cell.assign(at, end);
    return end;
  }

  bool Holds(std::size_t i, std::string_view text) const {
    return i < filled_ && sizes_[i] == text.size() &&
           std::memcmp(slots_[i].text.data(), text.data(), text.size()) == 0;
  }
  char* Copy(char* at, std::size_t i) const {
    const std::string& cell = slots_[i].cell;
    std::memcpy(at, cell.data(), cell.size());
    return at + cell.size();
  }

  static constexpr std::size_t kSlots = 16;

  std::array<std::size_t, kSlots> sizes_{};
  std::array<Slot, kSlots> slots_;
  std::size_t filled_ = 0;
  std::size_t next_ = 0;
  std::size_t last_ = 0;
};

// A fixed UTF-8 text in the section's encoding.
std::string Fixed(bool cp932, std::string_view utf8) {
  return cp932 ? platform::Utf8ToCp932Html(utf8) : std::string(utf8);
}

// A template with the database's name filled in as FillTemplate's first step does, split where
// its second step puts the table's name; the parts already in the section's encoding. A database
// name holding '#' could form "#TBLNAME#" with the text around it and would join the parts in a
// way converting them apart might not reproduce, so such a template is filled whole each time.
template <bool kCp932>
class BoundTemplate {
 public:
  BoundTemplate(std::string_view pattern, std::string_view mdbName)
      : pattern_(pattern), mdbName_(mdbName), whole_(mdbName.find('#') != std::string_view::npos) {
    if (whole_) return;
    const std::string filled = ReplaceAll(pattern, "#MDBNAME#", platform::HtmlEscape(mdbName));
    constexpr std::string_view kSlot = "#TBLNAME#";
    std::size_t from = 0;
    for (auto hit = filled.find(kSlot); hit != std::string::npos; hit = filled.find(kSlot, from)) {
      parts_.push_back(Fixed(kCp932, std::string_view(filled).substr(from, hit - from)));
      from = hit + kSlot.size();
    }
    parts_.push_back(Fixed(kCp932, std::string_view(filled).substr(from)));
    for (const auto& part : parts_) partBytes_ += part.size();
  }

  void Write(SectionBuffer& out, std::string_view tableName) const {
    if (whole_) {
      out.Append(Fixed(kCp932, FillTemplate(pattern_, mdbName_, tableName)));
      return;
    }
    const std::size_t escaped = platform::kHtmlBytesPerByte * tableName.size();
    char* at = out.Room(partBytes_ + (parts_.size() - 1) * escaped);
    std::memcpy(at, parts_[0].data(), parts_[0].size());
    at += parts_[0].size();
    for (std::size_t i = 1; i < parts_.size(); ++i) {
      at = kCp932 ? platform::WriteHtmlEscapedCp932(at, tableName)
                  : platform::WriteHtmlEscaped(at, tableName);
      std::memcpy(at, parts_[i].data(), parts_[i].size());
      at += parts_[i].size();
    }
    out.SetEnd(at);
  }

 private:
  std::string_view pattern_;
  std::string mdbName_;
  bool whole_;
  std::vector<std::string> parts_;
  std::size_t partBytes_ = 0;
};

template <bool kCp932>
void WriteTableListRow(SectionBuffer& out, const BoundTemplate<kCp932>& link,
                       const TTableDef& table) {
  out.Append("<tr><td nowrap>");
  link.Write(out, table.Name);
  const std::size_t texts = table.Attributes.size() + table.SourceTableName.size() +
                            table.DateCreated.size() + table.LastUpdated.size();
  char* at = out.Room(kRowBytes + platform::kHtmlBytesPerByte * texts);
  at = Put(at, "</td><td nowrap>");
  at = PutText<kCp932>(at, table.Attributes);
  at = Put(at, "</td><td nowrap align=right>");
  at = PutNumber(at, table.RecordCount);
  at = Put(at, "</td><td nowrap>");
  at = PutText<kCp932>(at, table.SourceTableName);
  at = Put(at, "</td><td nowrap>");
  at = PutText<kCp932>(at, table.DateCreated);
  at = Put(at, "</td><td nowrap>");
  at = PutText<kCp932>(at, table.LastUpdated);
  at = Put(at, "</td></tr>");
  out.SetEnd(at);
}

// The caches a section's field rows share.
struct FieldCaches {
  CellCache typeName;
  CellCache attributes;
  CellCache sourceTable;
};

template <bool kCp932>
void WriteFieldTableRow(SectionBuffer& out, FieldCaches& caches, const TTableDefField& field) {
  const std::size_t texts = field.Name.size() + field.TypeName.size() + field.Attributes.size() +
                            field.DefaultValue.size() + field.SourceTable.size() +
                            field.SourceField.size();
  char* at = out.Room(kRowBytes + platform::kHtmlBytesPerByte * texts);
  at = Put(at, "<tr><td nowrap align=right>");
  at = PutNumber(at, field.OrdinalPosition);
  at = Put(at, "</td><td nowrap>");
  char* const name = at;
  at = PutText<kCp932>(at, field.Name);
  const std::size_t nameBytes = static_cast<std::size_t>(at - name);
  at = Put(at, "</td><td nowrap>");
  at = caches.typeName.Put<kCp932>(at, field.TypeName);
  at = Put(at, "</td><td nowrap align=right>");
  at = PutNumber(at, field.Size);
  at = Put(at, "</td><td nowrap>");
  at = PutBool(at, field.AllowZeroLength);
  at = Put(at, "</td><td nowrap>");
  at = PutBool(at, field.Required);
  at = Put(at, "</td><td nowrap>");
  at = caches.attributes.Put<kCp932>(at, field.Attributes);
  at = Put(at, "</td><td nowrap>");
  at = PutText<kCp932>(at, field.DefaultValue);
  at = Put(at, "</td><td nowrap>");
  at = caches.sourceTable.Put<kCp932>(at, field.SourceTable);
  at = Put(at, "</td><td nowrap>");
  // A field's source field is mostly its own name, whose cell is already written.
  if (field.SourceField == field.Name) {
    std::memcpy(at, name, nameBytes);
    at += nameBytes;
  } else {
    at = PutText<kCp932>(at, field.SourceField);
  }
  at = Put(at, "</td></tr>");
  out.SetEnd(at);
}

template <bool kCp932>
void Render(const TMdb& mdb, const SectionSink& sink) {
  SectionBuffer out;
  auto flushWhenFull = [&] {
    if (out.size() >= kPieceSize) {
      sink(out.View());
      out.Clear();
    }
  };
  out.Append(Fixed(kCp932, ReplaceAll(kMdbHeading, "#MDBNAME#", platform::HtmlEscape(mdb.Name))));
  // The fixed rows, made once in each encoding.
  static const std::string listHeader = Fixed(kCp932, TableListHeader());
  static const std::string tableEnd = Fixed(kCp932, TableListFooter());
  static const std::string fieldHeader = Fixed(kCp932, FieldTableHeader());
  out.Append(listHeader);
  const BoundTemplate<kCp932> link(kTableLink, mdb.Name);
  for (const auto& table : mdb.TableDefs) {
    WriteTableListRow<kCp932>(out, link, table);
    flushWhenFull();
  }
  out.Append(tableEnd);
  const BoundTemplate<kCp932> heading(kTableHeading, mdb.Name);
  FieldCaches caches;
  for (const auto& table : mdb.TableDefs) {
    heading.Write(out, table.Name);
    out.Append(fieldHeader);
    for (const auto& field : table.Fields) {
      WriteFieldTableRow<kCp932>(out, caches, field);
      flushWhenFull();
    }
    out.Append(tableEnd);
  }
  if (out.size() != 0) sink(out.View());
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
  SectionBuffer row;
  WriteTableListRow<false>(row, BoundTemplate<false>(kTableLink, mdbName), table);
  return std::string(row.View());
}

std::string FieldTableRow(const TTableDefField& field) {
  SectionBuffer row;
  FieldCaches caches;
  WriteFieldTableRow<false>(row, caches, field);
  return std::string(row.View());
}

void RenderMdbSection(const TMdb& mdb, const SectionSink& sink, SectionEncoding encoding) {
  if (encoding == SectionEncoding::kCp932) {
    Render<true>(mdb, sink);
  } else {
    Render<false>(mdb, sink);
  }
}

std::string RenderMdbSection(const TMdb& mdb) {
  std::string out;
  RenderMdbSection(mdb, [&out](std::string_view piece) { out += piece; });
  return out;
}

}  // namespace zentab
