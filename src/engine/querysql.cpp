// Rebuilding a saved query's SQL from its MSysQueries rows, in the layout Access shows: the
// clauses of each query type, joins nested the way Access nests them, names bracketed only
// where they need it; rows that do not make a query end in a FormatError.
#include "engine/querysql.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "schema/names.h"

namespace zentab::engine {
namespace {

constexpr std::string_view kNewline = "\r\n";

enum Attribute : int {
  kStartRow = 0,
  kTypeRow = 1,
  kParameterRow = 2,
  kFlagsRow = 3,
  kRemoteDatabaseRow = 4,
  kTableRow = 5,
  kColumnRow = 6,
  kJoinRow = 7,
  kWhereRow = 8,
  kGroupByRow = 9,
  kHavingRow = 10,
  kOrderByRow = 11,
  kLastClauseAttribute = kOrderByRow,
  kEndRow = 255,
};

// Flag bits of the flags row (attribute 3).
constexpr int kSelectStar = 0x01;
constexpr int kDistinct = 0x02;
constexpr int kOwnerAccess = 0x04;
constexpr int kDistinctRow = 0x08;
constexpr int kTop = 0x10;
constexpr int kTopPercent = 0x20;
constexpr int kUnionDistinct = 0x02;  // on a union query: UNION rather than UNION ALL

// Flag bits of column rows.
constexpr int kAppendValue = 0x8000;  // append query: a VALUES item
constexpr int kPivotColumn = 0x01;    // crosstab: the PIVOT expression (column heading)
constexpr int kRowHeading = 0x02;     // crosstab: a row heading

// The two halves of a union query are table rows with these names in Name2.
constexpr std::string_view kUnionPart1 = "X7YZ_____1";
constexpr std::string_view kUnionPart2 = "X7YZ_____2";

[[noreturn]] void Fail(const std::string& reason) {
  throw FormatError("MSysQueries: " + reason);
}

std::string_view AttributeName(int attribute) {
  static constexpr std::array<std::string_view, 12> kNames = {
      "start",  "type", "parameter", "flags",    "remote database", "table",
      "column", "join", "WHERE",     "GROUP BY", "HAVING",          "ORDER BY"};
  return attribute >= 0 && attribute <= kLastClauseAttribute ? kNames[attribute] : "end";
}

// The type row's Flag, mapped to the query type.
std::optional<int> TypeOfTypeRow(int flag) {
  static constexpr std::array<int, 9> kTypes = {
      kSelectQuery,   kMakeTableQuery,      kAppendQuery,      kUpdateQuery, kDeleteQuery,
      kCrosstabQuery, kDataDefinitionQuery, kPassThroughQuery, kUnionQuery};
  if (flag < 1 || flag > static_cast<int>(kTypes.size())) return std::nullopt;
  return kTypes[flag - 1];
}

// A parameter row's Flag is the data type of the parameter; empty for an unknown type.
std::string_view ParameterTypeName(int flag) {
  static constexpr std::array<std::string_view, 16> kNames = {
      "Value",    "Bit",    "Byte", "Short",      "Long", "Currency", "IEEESingle", "IEEEDouble",
      "DateTime", "Binary", "Text", "LongBinary", "Memo", "",         "",           "Guid"};
  return flag >= 0 && flag < static_cast<int>(kNames.size()) ? kNames[flag] : std::string_view();
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

bool IsBracketed(std::string_view name) {
  return name.size() >= 2 && name.front() == '[' && name.back() == ']';
}

// Access brackets a name that holds anything but letters, digits and '_' (letters beyond ASCII
// included, so Japanese names stay bare), or that starts with a digit or '_'.
std::string Identifier(std::string_view name) {
  if (IsBracketed(name)) return std::string(name);
  const bool plain = !name.empty() && name.front() != '_' &&
                     !(name.front() >= '0' && name.front() <= '9') &&
                     std::ranges::all_of(name, [](char c) {
                       const auto u = static_cast<unsigned char>(c);
                       return u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') ||
                              (u >= 'a' && u <= 'z') || u == '_';
                     });
  return plain ? std::string(name) : "[" + std::string(name) + "]";
}

// A dotted name (`Table.Column`, `[Some Table].[Column]`): each part bracketed on its own.
std::string QualifiedName(std::string_view name) {
  std::string out;
  std::size_t partStart = 0;
  bool inBrackets = false;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size()) {
      if (name[i] == '[') inBrackets = true;
      if (name[i] == ']') inBrackets = false;
      if (name[i] != '.' || inBrackets) continue;
    }
    if (partStart > 0) out += '.';
    out += Identifier(name.substr(partStart, i - partStart));
    partStart = i + 1;
  }
  return out;
}

std::string Alias(const std::optional<std::string>& alias) {
  return alias ? " AS " + Identifier(*alias) : std::string();
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (const auto& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}

// Stored SQL text (pass-through, data definition, union halves) may end in NUL characters.
std::string StoredText(const std::string& text) {
  return text.substr(0, text.find_last_not_of('\0') + 1);
}

// " IN 'path' [type]" naming an external database; empty when neither is given.
std::string RemoteDatabase(const std::optional<std::string>& path,
                           const std::optional<std::string>& type) {
  if (!path && !type) return {};
  std::string out = " IN '" + path.value_or("") + "'";
  if (type) out += " [" + *type + "]";
  return out;
}

// The rows of one query, grouped by attribute.
class QueryRows {
 public:
  explicit QueryRows(std::span<const QueryRow> rows) {
    if (rows.empty()) Fail("the query has no rows");
    bool ordered = false;
    for (const auto& row : rows) {
      if (row.objectId != rows.front().objectId) Fail("rows of more than one query were given");
      if (row.attribute == kStartRow) {
        hasStart_ = true;
      } else if (row.attribute == kEndRow) {
        hasEnd_ = true;
      } else if (row.attribute > kStartRow && row.attribute <= kLastClauseAttribute) {
        byAttribute_[row.attribute].push_back(&row);
        ordered = ordered || !row.order.empty();
      } else {
        Fail("unknown Attribute " + std::to_string(row.attribute));
      }
    }
    if (!hasStart_ || !hasEnd_) Fail("the rows are incomplete (no start or end row)");
    if (ordered) {
      for (auto& list : byAttribute_) {
        std::ranges::stable_sort(list, {}, [](const QueryRow* row) { return row->order; });
      }
    }
  }

  const std::vector<const QueryRow*>& All(int attribute) const { return byAttribute_[attribute]; }

  // The single row of an attribute that occurs at most once, or nullptr.
  const QueryRow* Unique(int attribute) const {
    const auto& list = byAttribute_[attribute];
    if (list.size() > 1) Fail("more than one " + std::string(AttributeName(attribute)) + " row");
    return list.empty() ? nullptr : list.front();
  }

  int Flags() const {
    const QueryRow* row = Unique(kFlagsRow);
    return row ? row->flag : 0;
  }

 private:
  std::array<std::vector<const QueryRow*>, kLastClauseAttribute + 1> byAttribute_;
  bool hasStart_ = false;
  bool hasEnd_ = false;
};

const std::string& Required(const std::optional<std::string>& text, std::string_view what) {
  if (!text || text->empty()) Fail(std::string(what) + " is missing");
  return *text;
}

// A FROM item: a table or sub-query, or a join of two items.
struct Source {
  std::string key;   // the name joins refer to: the alias, else the table name
  std::string text;  // a table or sub-query as written
  std::unique_ptr<Source> left, right;
  int joinType = 0;
  std::vector<std::string> conditions;

  bool IsJoin() const { return left != nullptr; }

  bool Contains(std::string_view table) const {
    return IsJoin() ? left->Contains(table) || right->Contains(table)
                    : EqualsIgnoreCase(key, table);
  }

  // Joins inside joins are parenthesised; the outermost is not.
  void Render(std::string& out, bool outermost) const {
    if (!IsJoin()) {
      out += text;
      return;
    }
    if (!outermost) out += '(';
    left->Render(out, false);
    out += joinType == 1 ? " INNER JOIN " : joinType == 2 ? " LEFT JOIN " : " RIGHT JOIN ";
    right->Render(out, false);
    out += " ON ";
    out += conditions.size() > 1 ? "(" + Join(conditions, ") AND (") + ")" : conditions.front();
    if (!outermost) out += ')';
  }
};

std::unique_ptr<Source> TableSource(const QueryRow& row) {
  auto source = std::make_unique<Source>();
  if (row.expression && !row.name1) {
    source->text = "(" + *row.expression + ")" + (row.name2 ? " " + Alias(row.name2) : "");
    source->key = row.name2.value_or("");
  } else if (row.expression) {
    // A table of another database named in place: [C:\other.mdb].Table
    const std::string& database = *row.expression;
    source->text = (IsBracketed(database) ? database : "[" + database + "]") + "." +
                   QualifiedName(*row.name1) + Alias(row.name2);
    source->key = row.name2.value_or(*row.name1);
  } else {
    source->text = QualifiedName(Required(row.name1, "the name of a table row")) + Alias(row.name2);
    source->key = row.name2.value_or(*row.name1);
  }
  return source;
}

// The FROM list: tables joined by no join row first, in row order, then the join trees in the
// order they were completed. Each join row joins the items holding its two tables; a further
// row between tables already in one join adds its condition to that join.
std::string FromList(const QueryRows& rows) {
  // Far beyond what Access lets a query hold; keeps join trees shallow and the search short.
  constexpr std::size_t kMaxItems = 1024;
  if (rows.All(kTableRow).size() > kMaxItems || rows.All(kJoinRow).size() > kMaxItems) {
    Fail("more than " + std::to_string(kMaxItems) + " tables or joins");
  }
  std::vector<std::unique_ptr<Source>> sources;
  for (const QueryRow* row : rows.All(kTableRow)) sources.push_back(TableSource(*row));

  for (const QueryRow* row : rows.All(kJoinRow)) {
    const std::string& from = Required(row->name1, "the first table of a join");
    const std::string& to = Required(row->name2, "the second table of a join");
    const std::string& on = Required(row->expression, "the ON condition of a join");
    if (row->flag < 1 || row->flag > 3) Fail("unknown join type " + std::to_string(row->flag));
    auto find = [&](const std::string& table) {
      auto it = std::ranges::find_if(sources, [&](const auto& s) { return s->Contains(table); });
      if (it == sources.end()) Fail("a join names table " + table + ", which the query lacks");
      return static_cast<std::size_t>(it - sources.begin());
    };
    const std::size_t fromIndex = find(from);
    const std::size_t toIndex = find(to);
    if (fromIndex == toIndex) {
      Source& joined = *sources[fromIndex];
      if (!joined.IsJoin() || joined.joinType != row->flag) {
        Fail("conflicting joins between " + from + " and " + to);
      }
      joined.conditions.insert(joined.conditions.begin(), on);
      continue;
    }
    auto join = std::make_unique<Source>();
    join->left = std::move(sources[fromIndex]);
    join->right = std::move(sources[toIndex]);
    join->joinType = row->flag;
    join->conditions.push_back(on);
    sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(std::max(fromIndex, toIndex)));
    sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(std::min(fromIndex, toIndex)));
    sources.push_back(std::move(join));
  }

  std::string out;
  for (const auto& source : sources) {
    if (!out.empty()) out += ", ";
    source->Render(out, true);
  }
  return out;
}

std::string ParametersLine(const QueryRows& rows) {
  std::vector<std::string> declarations;
  for (const QueryRow* row : rows.All(kParameterRow)) {
    const std::string& name = Required(row->name1, "the name of a parameter");
    const std::string_view type = ParameterTypeName(row->flag);
    if (type.empty()) Fail("parameter " + name + " has unknown type " + std::to_string(row->flag));
    std::string declaration = name.find('[') != std::string::npos ? name : Identifier(name);
    declaration += ' ';
    declaration += type;
    if (row->flag == 10 && row->extra > 0) declaration += " ( " + std::to_string(row->extra) + " )";
    declarations.push_back(std::move(declaration));
  }
  if (declarations.empty()) return {};
  return "PARAMETERS " + Join(declarations, ", ") + ";" + std::string(kNewline);
}

std::string ColumnText(const QueryRow& row) {
  return Required(row.expression, "the expression of a column") + Alias(row.name1);
}

// DISTINCT / DISTINCTROW and TOP n [PERCENT], each with a leading space.
std::string Predicate(const QueryRows& rows) {
  const int flags = rows.Flags();
  std::string out;
  if (flags & kDistinct) {
    out += " DISTINCT";
  } else if (flags & kDistinctRow) {
    out += " DISTINCTROW";
  }
  if (flags & kTop) {
    out += " TOP " + Required(rows.Unique(kFlagsRow)->name1, "the TOP value");
    if (flags & kTopPercent) out += " PERCENT";
  }
  return out;
}

std::string Expressions(const std::vector<const QueryRow*>& list, std::string_view what) {
  std::vector<std::string> items;
  for (const QueryRow* row : list) items.push_back(Required(row->expression, what));
  return Join(items, ", ");
}

struct SelectParts {
  std::string_view verb = "SELECT";
  std::vector<const QueryRow*> columns;
  std::vector<const QueryRow*> groupBy;
  std::string into;
  bool columnsRequired = true;
};

SelectParts Parts(std::vector<const QueryRow*> columns, std::vector<const QueryRow*> groupBy) {
  SelectParts parts;
  parts.columns = std::move(columns);
  parts.groupBy = std::move(groupBy);
  return parts;
}

// The SELECT (or DELETE) statement's own lines: verb, FROM, WHERE, GROUP BY, HAVING, ORDER BY.

// The ORDER BY clause (with its line break) of rows' ORDER BY items, or nothing.
std::string OrderByClause(const QueryRows& rows) {
  std::vector<std::string> orderBy;
  for (const QueryRow* row : rows.All(kOrderByRow)) {
    std::string item = Required(row->expression, "an ORDER BY item");
    if (row->name1 && EqualsIgnoreCase(*row->name1, "D")) item += " DESC";
    orderBy.push_back(std::move(item));
  }
  if (orderBy.empty()) return {};
  return std::string(kNewline) + "ORDER BY " + Join(orderBy, ", ");
}

std::string SelectClauses(const QueryRows& rows, const SelectParts& parts) {
  std::vector<std::string> columns;
  for (const QueryRow* row : parts.columns) columns.push_back(ColumnText(*row));
  if (rows.Flags() & kSelectStar) columns.push_back("*");
  if (columns.empty() && parts.columnsRequired) Fail("the query has no output columns");

  std::string out = std::string(parts.verb) + Predicate(rows);
  if (!columns.empty()) out += " " + Join(columns, ", ");
  out += parts.into;

  const std::string from = FromList(rows);
  if (!from.empty()) {
    const QueryRow* remote = rows.Unique(kRemoteDatabaseRow);
    out += std::string(kNewline) + "FROM " + from;
    if (remote) out += RemoteDatabase(remote->name1, remote->expression);
  }
  if (const QueryRow* where = rows.Unique(kWhereRow)) {
    out += std::string(kNewline) + "WHERE " + Required(where->expression, "the WHERE condition");
  }
  if (!parts.groupBy.empty()) {
    out += std::string(kNewline) + "GROUP BY " + Expressions(parts.groupBy, "a GROUP BY item");
  }
  if (const QueryRow* having = rows.Unique(kHavingRow)) {
    out += std::string(kNewline) + "HAVING " + Required(having->expression, "the HAVING condition");
  }
  return out + OrderByClause(rows);
}

std::vector<const QueryRow*> Filter(const std::vector<const QueryRow*>& list,
                                    bool (*keep)(const QueryRow&)) {
  std::vector<const QueryRow*> out;
  std::ranges::copy_if(list, std::back_inserter(out),
                       [&](const QueryRow* row) { return keep(*row); });
  return out;
}

std::string SelectStatement(const QueryRows& rows, std::string into) {
  SelectParts parts = Parts(rows.All(kColumnRow), rows.All(kGroupByRow));
  parts.into = std::move(into);
  return SelectClauses(rows, parts);
}

std::string AppendStatement(const QueryRows& rows, const QueryRow& typeRow) {
  const auto& columns = rows.All(kColumnRow);
  std::vector<std::string> targets;
  for (const QueryRow* row : columns) {
    if (row->name2) targets.push_back(QualifiedName(*row->name2));
  }
  std::string out = "INSERT INTO " + QualifiedName(Required(typeRow.name1, "the target table"));
  if (!targets.empty()) out += " ( " + Join(targets, ", ") + " )";
  out += RemoteDatabase(typeRow.name2, typeRow.expression);
  out += kNewline;
  const auto values =
      Filter(columns, [](const QueryRow& r) { return (r.flag & kAppendValue) != 0; });
  if (!values.empty()) return out + "VALUES (" + Expressions(values, "an appended value") + ")";
  const auto selected =
      Filter(columns, [](const QueryRow& r) { return (r.flag & kAppendValue) == 0; });
  return out + SelectClauses(rows, Parts(selected, rows.All(kGroupByRow)));
}

std::string UpdateStatement(const QueryRows& rows) {
  const std::string from = FromList(rows);
  if (from.empty()) Fail("the update query names no table");
  std::vector<std::string> assignments;
  for (const QueryRow* row : rows.All(kColumnRow)) {
    assignments.push_back(QualifiedName(Required(row->name2, "the field an update sets")) + " = " +
                          Required(row->expression, "the value an update sets"));
  }
  if (assignments.empty()) Fail("the update query sets no field");
  std::string out = "UPDATE ";
  if (rows.Flags() & kDistinctRow) out += "DISTINCTROW ";
  out += from;
  if (const QueryRow* remote = rows.Unique(kRemoteDatabaseRow)) {
    out += RemoteDatabase(remote->name1, remote->expression);
  }
  out += " SET " + Join(assignments, ", ");
  if (const QueryRow* where = rows.Unique(kWhereRow)) {
    out += std::string(kNewline) + "WHERE " + Required(where->expression, "the WHERE condition");
  }
  return out;
}

const QueryRow& OnlyOne(const std::vector<const QueryRow*>& list, std::string_view what) {
  if (list.size() != 1) {
    Fail("a crosstab query needs one " + std::string(what) + ", not " +
         std::to_string(list.size()));
  }
  return *list.front();
}

std::string CrosstabStatement(const QueryRows& rows) {
  const auto& columns = rows.All(kColumnRow);
  const QueryRow& value = OnlyOne(
      Filter(columns,
             [](const QueryRow& r) { return (r.flag & (kPivotColumn | kRowHeading)) == 0; }),
      "value (TRANSFORM) column");
  const QueryRow& pivot =
      OnlyOne(Filter(columns, [](const QueryRow& r) { return (r.flag & kPivotColumn) != 0; }),
              "PIVOT column");
  std::string out = "TRANSFORM " + ColumnText(value) + std::string(kNewline);
  auto rowHeading = [](const QueryRow& r) { return (r.flag & kRowHeading) != 0; };
  out += SelectClauses(
      rows, Parts(Filter(columns, rowHeading), Filter(rows.All(kGroupByRow), rowHeading)));
  out += std::string(kNewline) + "PIVOT " + Required(pivot.expression, "the PIVOT expression");
  if (pivot.name1 && !pivot.name1->empty()) out += " In (" + *pivot.name1 + ")";
  return out;
}

// A union half as stored, trimmed, its line breaks made CR LF.
std::string UnionPart(const QueryRows& rows, std::string_view id) {
  for (const QueryRow* row : rows.All(kTableRow)) {
    if (row->name2 != id || !row->expression) continue;
    const std::string text = StoredText(*row->expression);
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) break;
    const auto last = text.find_last_not_of(" \t\r\n");
    std::string out;
    for (std::size_t i = first; i <= last; ++i) {
      if (text[i] != '\r' && text[i] != '\n') {
        out += text[i];
      } else if (text[i - 1] != '\r' && text[i - 1] != '\n') {
        out += kNewline;
      }
    }
    return out;
  }
  Fail("a half of the union (" + std::string(id) + ") is missing");
}

std::string UnionStatement(const QueryRows& rows) {
  std::string out = UnionPart(rows, kUnionPart1) + std::string(kNewline) + "UNION ";
  if (!(rows.Flags() & kUnionDistinct)) out += "ALL ";
  out += UnionPart(rows, kUnionPart2);
  return out + OrderByClause(rows);
}

int ResolveType(const QueryRows& rows, std::int32_t objectFlags) {
  const int objectType = QueryTypeFromFlags(objectFlags);
  const QueryRow* typeRow = rows.Unique(kTypeRow);
  if (!typeRow) {
    if (QueryTypeName(objectType).empty()) {
      Fail("query type " + std::to_string(objectType) + " cannot be shown as SQL");
    }
    return objectType;
  }
  const auto rowType = TypeOfTypeRow(typeRow->flag);
  if (!rowType) Fail("unknown query type " + std::to_string(typeRow->flag) + " in the type row");
  // A select query's object flags may leave the type to the rows.
  if (objectType != kSelectQuery && objectType != *rowType) {
    Fail("the type row (" + std::string(QueryTypeName(*rowType)) +
         ") contradicts the object flags (" + std::to_string(objectType) + ")");
  }
  return *rowType;
}

}  // namespace

int QueryTypeFromFlags(std::int32_t objectFlags) {
  return objectFlags & 0xF0;
}

bool IsHiddenQuery(std::string_view name, std::int32_t objectFlags) {
  constexpr std::int32_t kHiddenObject = 0x08;
  return name.starts_with('~') || (objectFlags & kHiddenObject) != 0;
}

QuerySql RebuildQuerySql(std::span<const QueryRow> rows, std::int32_t objectFlags) {
  const QueryRows grouped(rows);
  QuerySql result;
  result.type = ResolveType(grouped, objectFlags);
  const QueryRow* typeRow = grouped.Unique(kTypeRow);

  if (result.type == kPassThroughQuery || result.type == kDataDefinitionQuery) {
    if (!typeRow) Fail("the type row holding the stored SQL is missing");
    result.sql = StoredText(Required(typeRow->expression, "the stored SQL"));
    if (result.type == kPassThroughQuery) result.connect = typeRow->name1.value_or("");
    return result;
  }

  std::string statement;
  switch (result.type) {
    case kSelectQuery:
      statement = SelectStatement(grouped, {});
      break;
    case kMakeTableQuery: {
      if (!typeRow) Fail("the type row naming the new table is missing");
      statement = SelectStatement(
          grouped, " INTO " + QualifiedName(Required(typeRow->name1, "the new table")) +
                       RemoteDatabase(typeRow->name2, typeRow->expression));
      break;
    }
    case kAppendQuery:
      if (!typeRow) Fail("the type row naming the target table is missing");
      statement = AppendStatement(grouped, *typeRow);
      break;
    case kUpdateQuery:
      statement = UpdateStatement(grouped);
      break;
    case kDeleteQuery: {
      SelectParts parts = Parts(grouped.All(kColumnRow), grouped.All(kGroupByRow));
      parts.verb = "DELETE";
      parts.columnsRequired = false;
      statement = SelectClauses(grouped, parts);
      break;
    }
    case kCrosstabQuery:
      statement = CrosstabStatement(grouped);
      break;
    case kUnionQuery:
      statement = UnionStatement(grouped);
      break;
  }
  result.sql = ParametersLine(grouped) + statement;
  if (grouped.Flags() & kOwnerAccess)
    result.sql += std::string(kNewline) + "WITH OWNERACCESS OPTION";
  result.sql += ';';
  return result;
}

}  // namespace zentab::engine
