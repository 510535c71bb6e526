// Renders the definition document from the records: cover and contents, then per database its
// summary, diagram, checks, tables, queries and objects. Inline CSS only; no script.
#include "report/definition/document.h"

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/tempfiles.h"
#include "platform/text.h"
#include "report/definition/diagram.h"
#include "report/definition/model.h"

namespace zentab::report {
namespace {

using platform::HtmlEscape;

constexpr std::string_view kStyle = R"(
body{font-family:"IPAPGothic","IPAexGothic","Noto Sans CJK JP",sans-serif;font-size:10pt;color:#1d2329;margin:1.5em 2em;line-height:1.45}
h1{font-size:18pt;margin:0 0 .3em}
h2{font-size:15pt;border-bottom:3px solid #2f4f6f;padding-bottom:.15em;margin:2em 0 .6em}
h3{font-size:12pt;border-left:6px solid #2f4f6f;padding-left:.45em;margin:1.8em 0 .4em}
h4{font-size:10.5pt;margin:1em 0 .3em;color:#2f4f6f}
table{border-collapse:collapse;margin:.3em 0 .9em}
th,td{border:1px solid #9aa5b1;padding:2px 6px;vertical-align:top}
th{background:#e4ebf2;text-align:left;white-space:nowrap;font-weight:600}
td.n{text-align:right;white-space:nowrap}td.c{text-align:center}
td.note{font-size:9pt;color:#3b4650}
table.kv th{width:9em}
.muted{color:#6b7785}
.ok{color:#2d6a2d}.warn{color:#9a3b00}
pre.sql{background:#f4f6f8;border:1px solid #c8d0d8;padding:.5em .7em;white-space:pre-wrap;font-family:"IPAGothic",monospace;font-size:9pt;margin:.2em 0 1em}
.diagram{border:1px solid #c8d0d8;padding:.5em;overflow-x:auto}
.diagram svg{max-width:100%;height:auto}
nav ol{margin:.2em 0 .8em 1.2em;padding:0}
nav li{margin:.1em 0}
nav ol ol{columns:3;column-gap:2em;font-size:9pt}
a{color:#1f5a96;text-decoration:none}
@page{size:A4;margin:14mm 12mm}
@media print{
body{margin:0;font-size:8.5pt}
thead{display:table-header-group}
tr,pre.sql{break-inside:avoid}
h2,h3,h4{break-after:avoid}
section.database{break-before:page}
.diagram{border:none;overflow:visible}
.diagram svg{max-width:100%;max-height:240mm}
a{color:inherit}
}
)";

// A cell's text: escaped, or a non-breaking space when empty.
std::string Cell(std::string_view text) {
  return text.empty() ? std::string("&nbsp;") : HtmlEscape(text);
}

std::string Row(const std::vector<std::string>& cells, const std::vector<std::string>& classes) {
  std::string out = "<tr>";
  for (std::size_t i = 0; i < cells.size(); ++i) {
    std::string cls = i < classes.size() ? classes[i] : "";
    out += cls.empty() ? "<td>" : "<td class=\"" + cls + "\">";
    out += cells[i];
    out += "</td>";
  }
  return out + "</tr>\n";
}

std::string Head(const std::vector<std::string_view>& titles) {
  std::string out = "<table><thead><tr>";
  for (auto t : titles) {
    out += "<th>";
    out += t;
    out += "</th>";
  }
  return out + "</tr></thead><tbody>\n";
}

constexpr std::string_view kTableEnd = "</tbody></table>\n";

const char* Mark(bool b) {
  return b ? "○" : "";
}

std::string DatabaseAnchor(std::size_t d) {
  return "db" + std::to_string(d + 1);
}
std::string TableAnchor(std::size_t d, std::size_t t) {
  return DatabaseAnchor(d) + "-t" + std::to_string(t + 1);
}

// What the document says about one table's fields: keys, indexes and foreign references.
struct FieldKeys {
  std::string pk, uk, fk, indexes;
};

std::map<std::string, FieldKeys> KeysOf(const TableView& table, const DatabaseView& db) {
  std::map<std::string, FieldKeys> keys;
  for (const auto& index : table.indexes) {
    for (std::size_t i = 0; i < index.fields.size(); ++i) {
      auto& k = keys[index.fields[i]];
      if (index.primary) k.pk = index.fields.size() > 1 ? std::to_string(i + 1) : "○";
      if (index.unique && !index.primary) k.uk = "○";
      if (!k.indexes.empty()) k.indexes += ", ";
      k.indexes += index.name;
    }
  }
  for (const auto& rel : db.relations) {
    if (rel.foreignTable != table.name) continue;
    for (const auto& [name, foreignName] : rel.fields) {
      auto& k = keys[foreignName];
      if (!k.fk.empty()) k.fk += ", ";
      k.fk += "→ " + rel.table + "." + name;
    }
  }
  return keys;
}

std::string Notes(const FieldView& field) {
  static constexpr std::pair<std::string_view, std::string_view> kShown[] = {
      {"Caption", "標題"},
      {"Format", "書式"},
      {"InputMask", "定型入力"},
      {"ValidationRule", "入力規則"},
      {"ValidationText", "エラーメッセージ"},
      {"RowSource", "値集合ソース"},
      {"Expression", "式"},
  };
  std::string out;
  for (const auto& [name, label] : kShown) {
    std::string value = field.Property(std::string(name));
    if (value.empty()) continue;
    if (!out.empty()) out += "<br>";
    out += std::string(label) + ": " + HtmlEscape(value);
  }
  return out.empty() ? "&nbsp;" : out;
}

bool IsUserTable(const TableView& t) {
  return !t.linked && t.name.rfind("MSys", 0) != 0 && t.name.rfind("~", 0) != 0;
}

// A relationship whose foreign fields lead no index of the foreign table.
bool ForeignKeyIndexed(const RelationView& rel, const DatabaseView& db) {
  for (const auto& t : db.tables) {
    if (t.name != rel.foreignTable) continue;
    for (const auto& index : t.indexes) {
      if (index.fields.size() < rel.fields.size()) continue;
      bool leads = true;
      for (std::size_t i = 0; i < rel.fields.size(); ++i) {
        leads = leads && index.fields[i] == rel.fields[i].second;
      }
      if (leads) return true;
    }
  }
  return false;
}

std::string Checks(const DatabaseView& db) {
  std::vector<std::string> noKey, noDescription, unindexed, unenforced;
  for (const auto& t : db.tables) {
    if (!IsUserTable(t)) continue;
    if (std::none_of(t.indexes.begin(), t.indexes.end(),
                     [](const IndexView& i) { return i.primary; }))
      noKey.push_back(t.name);
    for (const auto& f : t.fields) {
      if (f.Property("Description").empty()) noDescription.push_back(t.name + "." + f.name);
    }
  }
  for (const auto& rel : db.relations) {
    if (!ForeignKeyIndexed(rel, db)) unindexed.push_back(rel.name + " (" + rel.foreignTable + ")");
    if (!rel.enforced) unenforced.push_back(rel.name);
  }
  auto item = [](std::string_view title, const std::vector<std::string>& names) {
    std::string out = "<tr><th>" + std::string(title) + "</th><td class=\"n\">" +
                      std::to_string(names.size()) + "</td><td>";
    if (names.empty()) {
      out += "<span class=\"ok\">なし</span>";
    } else {
      std::string list;
      for (std::size_t i = 0; i < names.size() && i < 50; ++i) {
        if (i) list += ", ";
        list += names[i];
      }
      out += "<span class=\"warn\">" + HtmlEscape(list) + "</span>";
      if (names.size() > 50) out += " ほか " + std::to_string(names.size() - 50) + " 件";
    }
    return out + "</td></tr>\n";
  };
  return "<h4>チェック</h4><table class=\"kv\">" + item("主キーのないテーブル", noKey) +
         item("インデックスのない外部キー", unindexed) +
         item("参照整合性のないリレーションシップ", unenforced) +
         item("説明のないフィールド", noDescription) + "</table>\n";
}

std::string Diagram(const DatabaseView& db) {
  if (db.relations.empty()) {
    return "<h4>リレーションシップ図</h4><p class=\"muted\">リレーションシップはありません。</p>\n";
  }
  std::vector<DiagramTable> tables;
  for (const auto& t : db.tables) {
    DiagramTable box{t.name, {}};
    auto keys = KeysOf(t, db);
    for (const auto& f : t.fields) {
      auto k = keys.find(f.name);
      if (k == keys.end() || (k->second.pk.empty() && k->second.fk.empty())) continue;
      box.fields.push_back({f.name, !k->second.pk.empty(), !k->second.fk.empty()});
    }
    tables.push_back(std::move(box));
  }
  std::vector<DiagramEdge> edges;
  for (const auto& rel : db.relations) {
    edges.push_back({rel.table, rel.foreignTable, rel.oneToOne, rel.enforced});
  }
  std::string svg;
  try {
    svg = RenderRelationshipDiagram(tables, edges);
  } catch (const std::bad_alloc&) {
    throw;  // out of memory ends the job; only a layout failure is the diagram's own
  } catch (const std::exception& e) {
    return "<h4>リレーションシップ図</h4><p class=\"warn\">図を描けませんでした: " +
           HtmlEscape(e.what()) + "</p>\n";
  }
  return "<h4>リレーションシップ図</h4><div class=\"diagram\">" + svg + "</div>\n";
}

std::string TableSection(const TableView& t, const DatabaseView& db, const std::string& anchor) {
  std::string description = t.Property("Description");
  std::string out = "<section class=\"table\" id=\"" + anchor + "\"><h3>" +
                    (description.empty() ? "" : HtmlEscape(description) + " / ") +
                    HtmlEscape(t.name) + "</h3>\n";
  out += "<table class=\"kv\">";
  out += "<tr><th>論理名</th><td>" + Cell(description) + "</td></tr>";
  out += "<tr><th>物理名</th><td>" + Cell(t.name) + "</td></tr>";
  out += "<tr><th>属性</th><td>" + Cell(t.attributes) + "</td></tr>";
  out += "<tr><th>レコード数</th><td>" + Cell(t.recordCount) + "</td></tr>";
  if (t.linked) out += "<tr><th>リンク元</th><td>" + Cell(t.source) + "</td></tr>";
  out += "<tr><th>作成日時</th><td>" + Cell(t.created) + "</td></tr>";
  out += "<tr><th>更新日時</th><td>" + Cell(t.updated) + "</td></tr>";
  if (!t.error.empty())
    out += "<tr><th>読み取りエラー</th><td class=\"warn\">" + Cell(t.error) + "</td></tr>";
  out += "</table>\n";

  auto keys = KeysOf(t, db);
  out += "<h4>フィールド</h4>" + Head({"No", "論理名", "物理名", "型", "長さ", "必須", "空文字",
                                       "既定値", "PK", "UK", "FK", "索引", "備考"});
  int no = 0;
  for (const auto& f : t.fields) {
    const FieldKeys& k = keys[f.name];
    out += Row({std::to_string(++no), Cell(f.Property("Description")), Cell(f.name), Cell(f.type),
                Cell(f.size), Mark(f.required), Mark(f.allowZeroLength), Cell(f.defaultValue),
                Cell(k.pk), Cell(k.uk), Cell(k.fk), Cell(k.indexes), Notes(f)},
               {"n", "", "", "", "n", "c", "c", "", "c", "c", "", "", "note"});
  }
  out += kTableEnd;

  out += "<h4>インデックス</h4>";
  if (!t.indexesError.empty()) {
    out += "<p class=\"warn\">" + HtmlEscape(t.indexesError) + "</p>\n";
  } else if (t.indexes.empty()) {
    out += "<p class=\"muted\">インデックスはありません。</p>\n";
  } else {
    out += Head({"名前", "フィールド", "主キー", "固有", "Null無視", "必須", "外部キー"});
    for (const auto& i : t.indexes) {
      std::string fields;
      for (std::size_t j = 0; j < i.fields.size(); ++j) {
        if (j) fields += ", ";
        fields += i.fields[j] + (i.descending[j] ? " (降順)" : "");
      }
      out += Row({Cell(i.name), Cell(fields), Mark(i.primary), Mark(i.unique), Mark(i.ignoreNulls),
                  Mark(i.required), Mark(i.foreign)},
                 {"", "", "c", "c", "c", "c", "c"});
    }
    out += kTableEnd;
  }

  std::string relations;
  for (const auto& rel : db.relations) {
    if (rel.table != t.name && rel.foreignTable != t.name) continue;
    std::string pairs;
    for (const auto& [name, foreignName] : rel.fields) {
      if (!pairs.empty()) pairs += ", ";
      pairs += rel.table + "." + name + " → " + rel.foreignTable + "." + foreignName;
    }
    relations += Row({Cell(rel.name), Cell(pairs), Cell(rel.oneToOne ? "1 : 1" : "1 : ∞"),
                      Mark(rel.enforced), Mark(rel.cascadeUpdates), Mark(rel.cascadeDeletes)},
                     {"", "", "c", "c", "c", "c"});
  }
  if (!relations.empty()) {
    out += "<h4>リレーションシップ</h4>" +
           Head({"名前", "フィールド", "種類", "参照整合性", "連鎖更新", "連鎖削除"}) + relations +
           std::string(kTableEnd);
  }
  return out + "</section>\n";
}

std::string Queries(const DatabaseView& db) {
  std::string out = "<h3>クエリ</h3>\n";
  if (!db.queriesError.empty())
    return out + "<p class=\"warn\">" + HtmlEscape(db.queriesError) + "</p>\n";
  if (db.queries.empty()) return out + "<p class=\"muted\">クエリはありません。</p>\n";
  for (bool hidden : {false, true}) {
    bool any = false;
    for (const auto& q : db.queries) {
      if (q.hidden != hidden) continue;
      if (!any && hidden) out += "<h4>非表示のクエリ(フォームやコントロールの値集合ソース)</h4>\n";
      any = true;
      out += "<h4>" + HtmlEscape(q.name) + " <span class=\"muted\">" + HtmlEscape(q.typeName) +
             "</span></h4>\n";
      out += "<p class=\"muted\">作成 " + Cell(q.created) + " / 更新 " + Cell(q.updated) + "</p>\n";
      if (!q.error.empty()) {
        out += "<p class=\"warn\">" + HtmlEscape(q.error) + "</p>\n";
      } else if (!q.sql.empty()) {
        out += "<pre class=\"sql\">" + HtmlEscape(q.sql) + "</pre>\n";
      }
      if (!q.connect.empty()) {
        out += "<p class=\"muted\">接続文字列: " + HtmlEscape(q.connect) + "</p>\n";
      }
    }
  }
  return out;
}

std::string Objects(const DatabaseView& db) {
  std::string out = "<h3>オブジェクト</h3>\n";
  if (db.objects.empty())
    return out + "<p class=\"muted\">フォーム、レポート、マクロ、モジュールはありません。</p>\n";
  out += Head({"種類", "名前", "作成日時", "更新日時"});
  for (const auto& o : db.objects) {
    out += Row({Cell(o.kind), Cell(o.name), Cell(o.created), Cell(o.updated)}, {});
  }
  return out + std::string(kTableEnd);
}

std::string Summary(const DatabaseView& db) {
  std::size_t fields = 0, indexes = 0;
  for (const auto& t : db.tables) {
    fields += t.fields.size();
    indexes += t.indexes.size();
  }
  auto row = [](std::string_view title, std::string value) {
    return "<tr><th>" + std::string(title) + "</th><td class=\"n\">" + value + "</td></tr>";
  };
  auto text = [](std::string_view title, std::string_view value) {
    return "<tr><th>" + std::string(title) + "</th><td>" + Cell(value) + "</td></tr>";
  };
  return "<table class=\"kv\">" + text("パス", db.path) + text("形式", db.format) +
         row("テーブル", std::to_string(db.tables.size())) +
         row("フィールド", std::to_string(fields)) + row("インデックス", std::to_string(indexes)) +
         row("リレーションシップ", std::to_string(db.relations.size())) +
         row("クエリ", std::to_string(db.queries.size())) +
         row("オブジェクト", std::to_string(db.objects.size())) + "</table>\n";
}

}  // namespace

std::string RenderDefinitionDocument(const std::vector<TMdb>& mdbs, const std::string& generated) {
  std::vector<DatabaseView> dbs;
  for (const auto& mdb : mdbs) {
    dbs.push_back(ViewOf(mdb));
    // The user's own tables first; system tables (MSys…) after them, each group in its order.
    std::stable_partition(dbs.back().tables.begin(), dbs.back().tables.end(),
                          [](const TableView& t) { return t.name.rfind("MSys", 0) != 0; });
  }

  std::string out =
      "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">\n"
      "<title>テーブル定義書</title>\n<style>";
  out += kStyle;
  out += "</style></head>\n<body>\n<h1>テーブル定義書</h1>\n<p class=\"muted\">作成日時 " +
         HtmlEscape(generated) + "</p>\n<nav><h2>目次</h2><ol>\n";
  for (std::size_t d = 0; d < dbs.size(); ++d) {
    out += "<li><a href=\"#" + DatabaseAnchor(d) + "\">" + HtmlEscape(dbs[d].name) + "</a><ol>";
    for (std::size_t t = 0; t < dbs[d].tables.size(); ++t) {
      out += "<li><a href=\"#" + TableAnchor(d, t) + "\">" + HtmlEscape(dbs[d].tables[t].name) +
             "</a></li>";
    }
    out += "</ol></li>\n";
  }
  out += "</ol></nav>\n";

  for (std::size_t d = 0; d < dbs.size(); ++d) {
    const auto& db = dbs[d];
    out += "<section class=\"database\" id=\"" + DatabaseAnchor(d) + "\"><h2>" +
           HtmlEscape(db.name) + "</h2>\n";
    if (!db.error.empty()) {
      out += "<p class=\"warn\">" + HtmlEscape(db.error) + "</p></section>\n";
      continue;
    }
    out += Summary(db) + Diagram(db) + Checks(db);
    for (std::size_t t = 0; t < db.tables.size(); ++t) {
      out += TableSection(db.tables[t], db, TableAnchor(d, t));
    }
    out += Queries(db) + Objects(db) + "</section>\n";
  }
  return out + "</body></html>\n";
}

void WriteDefinitionDocument(const std::vector<TMdb>& mdbs, const std::string& path) {
  platform::WriteFileWhole(
      path, RenderDefinitionDocument(mdbs, platform::FormatNow("yyyy/mm/dd hh:nn:ss")));
}

std::string DefinitionDocumentPathFor(const std::string& reportPath) {
  std::string stem = reportPath;
  if (stem.size() >= 5 && stem.compare(stem.size() - 5, 5, ".html") == 0)
    stem.resize(stem.size() - 5);
  return stem + "-定義書.html";
}

}  // namespace zentab::report
