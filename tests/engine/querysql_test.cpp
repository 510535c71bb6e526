// Saved-query SQL rebuilt from MSysQueries rows: the nine query types as stored in real files
// (rows copied from the corpus's query test databases, the SQL worked out by hand), the clause
// kinds one by one, and damaged row sets.
#include "engine/querysql.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../tools/mkmdb_support.h"
#include "corpus_queries.h"
#include "schema/names.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

using namespace std::string_literals;
using testing::CorpusQueries;
using testing::Query;
using testing::Row;
using testing::StoredQuery;
using testing::Text;
const Text _;  // Null

TEST(QuerySqlTest, CorpusQueriesComeOutAsAccessShowsThem) {
  for (const auto& query : CorpusQueries()) {
    SCOPED_TRACE(query.name);
    const QuerySql result = RebuildQuerySql(query.rows, query.objectFlags);
    EXPECT_EQ(result.sql, query.sql);
    EXPECT_EQ(result.connect, query.connect);
    EXPECT_EQ(result.type, query.objectFlags);
  }
}

// MSysQueries rows of each query object in a file, as mdb-export reads them.
struct FileQuery {
  std::int32_t flags = 0;
  std::vector<QueryRow> rows;
};

std::map<std::string, FileQuery> ExportQueries(const std::string& path) {
  namespace mt = mkmdb::testing;
  auto table = [&](const std::string& name, const std::string& binary) {
    const auto run = mt::Run("mdb-export -b " + binary + " " + mt::ShellQuote(path) + " " + name);
    EXPECT_EQ(run.status, 0) << path << " " << name;
    auto rows = mt::ParseCsv(run.out);
    std::map<std::string, std::size_t> columns;
    for (std::size_t i = 0; !rows.empty() && i < rows[0].size(); ++i) columns[rows[0][i]] = i;
    if (!rows.empty()) rows.erase(rows.begin());
    return std::pair(rows, columns);
  };
  std::map<std::string, FileQuery> queries;
  std::map<std::string, std::string> nameOfId;
  const auto [objects, o] = table("MSysObjects", "strip");
  for (const auto& row : objects) {
    if (row.at(o.at("Type")) != "5") continue;
    nameOfId[row.at(o.at("Id"))] = row.at(o.at("Name"));
    queries[row.at(o.at("Name"))].flags = std::stoi(row.at(o.at("Flags")));
  }
  const auto [rows, q] = table("MSysQueries", "hex");
  auto text = [](const std::string& field) { return field.empty() ? Text() : Text(field); };
  for (const auto& row : rows) {
    const auto& flag = row.at(q.at("Flag"));
    const auto extra = q.find("LvExtra");
    queries[nameOfId.at(row.at(q.at("ObjectId")))].rows.push_back(
        {.attribute = std::stoi(row.at(q.at("Attribute"))),
         .expression = text(row.at(q.at("Expression"))),
         .flag = flag.empty() ? 0 : std::stoi(flag),
         .name1 = text(row.at(q.at("Name1"))),
         .name2 = text(row.at(q.at("Name2"))),
         .objectId = std::stoi(row.at(q.at("ObjectId"))),
         .order = row.at(q.at("Order")),
         .extra = extra == q.end() || row.at(extra->second).empty()
                      ? 0
                      : std::stoi(row.at(extra->second))});
  }
  return queries;
}

class QuerySqlCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::CorpusDir();
    if (dir_.empty()) GTEST_SKIP() << "no corpus at $ZENTAB_SHARED_DIR/corpus";
    if (!mkmdb::testing::HavePrograms({"mdb-export"})) GTEST_SKIP() << "no mdb-export";
  }
  std::string dir_;
};

// The same queries read from the five files by mdbtools (which drops the NUL that ends stored
// SQL), in every format's own row order.
TEST_F(QuerySqlCorpusTest, QueryTestFilesInEveryFormat) {
  for (const char* file : {"queryTestV1997.mdb", "queryTestV2000.mdb", "queryTestV2003.mdb",
                           "queryTestV2007.accdb", "queryTestV2010.accdb"}) {
    SCOPED_TRACE(file);
    const auto queries = ExportQueries(dir_ + "/" + file);
    ASSERT_EQ(queries.size(), CorpusQueries().size());
    for (const auto& expected : CorpusQueries()) {
      SCOPED_TRACE(expected.name);
      ASSERT_TRUE(queries.contains(expected.name));
      const auto& query = queries.at(expected.name);
      EXPECT_EQ(query.flags, expected.objectFlags);
      const QuerySql result = RebuildQuerySql(query.rows, query.flags);
      EXPECT_EQ(result.sql, expected.sql);
      EXPECT_EQ(result.connect, expected.connect);
    }
  }
}

// The record sources Access saves for forms and controls: hidden, and every one readable.
TEST_F(QuerySqlCorpusTest, HiddenRecordSourcesOfForms) {
  const auto queries = ExportQueries(dir_ + "/odbcLinkerTestV2007.accdb");
  ASSERT_EQ(queries.size(), 56u);
  for (const auto& [name, query] : queries) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(IsHiddenQuery(name, query.flags));
    try {
      EXPECT_EQ(RebuildQuerySql(query.rows, query.flags).type, kSelectQuery);
    } catch (const FormatError& e) {
      ADD_FAILURE() << e.what();
    }
  }
  const auto& logg = queries.at("~sq_cAAAA-OrdrarOLD~sq_cLogg");
  EXPECT_EQ(RebuildQuerySql(logg.rows, logg.flags).sql,
            "PARAMETERS [__ID] Value;\r\nSELECT DISTINCTROW *\r\n"
            "FROM (SELECT [Ordrar-Logg].ID, [Ordrar-Logg].[ID (parent)], [Ordrar-Logg].Datum, "
            "[Ordrar-Logg].Anteckning, [Ordrar-Logg].Handläggare FROM [Ordrar-Logg])  AS "
            "[AAAA-OrdrarOLD]\r\nWHERE ([__ID] = [ID (parent)]);");
}

// Jet 4 files store a query's rows interleaved across attributes (the crosstab of
// queryTestV2003.mdb, in its storage order); only the order within an attribute counts.
TEST(QuerySqlTest, RowsInterleavedAcrossAttributesGiveTheSameSql) {
  const std::vector<QueryRow> rows = {
      Row(0, _, _, _),
      Row(255, _, _, _),
      Row(1, _, _, _, 6),
      Row(6, "CountOfcol2", _, "Count([Table2].[col2])", 0),
      Row(6, _, _, "Table2_1.col1", 2),
      Row(6, _, _, "[Table2].[col3]", 2),
      Row(6, "AvgOfcol2", _, "Avg(Table2_1.col2)", 2),
      Row(7, "Table1", "Table2", "[Table1].[col1]=[Table2].[col1]", 1),
      Row(7, "Table2", "Table2_1", "[Table2].[col1]=Table2_1.col3", 1),
      Row(5, "Table1", _, _),
      Row(5, "Table2", _, _),
      Row(5, "Table2", "Table2_1", _),
      Row(8, _, _,
          R"(((([Table1].[col1])>"10") And ((Table2_1.col1) Is Not Null) And )"
          R"(((Avg(Table2_1.col2))>"10")))"),
      Row(9, _, _, "Table2_1.col1", 2),
      Row(9, _, _, "[Table2].[col3]", 2),
      Row(11, _, _, "[Table2].[col3]"),
      Row(9, _, _, "[Table1].[col1]", 1),
      Row(6, _, _, "[Table1].[col1]", 1)};
  const auto& crosstab = CorpusQueries()[5];
  ASSERT_EQ(crosstab.name, "CrosstabQuery");
  EXPECT_EQ(RebuildQuerySql(rows, 16).sql, crosstab.sql);
}

struct ClauseCase {
  std::string what;
  std::int32_t objectFlags;
  std::vector<QueryRow> clauses;
  std::string sql;
};

TEST(QuerySqlTest, EachClauseKind) {
  const std::vector<ClauseCase> cases = {
      {"TOP n PERCENT with DISTINCTROW",
       0,
       {Row(3, "5", _, _, 0x08 | 0x10 | 0x20), Row(5, "T", _, _), Row(6, _, _, "T.a")},
       "SELECT DISTINCTROW TOP 5 PERCENT T.a\r\nFROM T;"},
      {"TOP n",
       0,
       {Row(3, "10", _, _, 0x10), Row(5, "T", _, _), Row(6, _, _, "T.a"), Row(11, "D", _, "T.a"),
        Row(11, _, _, "T.b")},
       "SELECT TOP 10 T.a\r\nFROM T\r\nORDER BY T.a DESC, T.b;"},
      {"* and WITH OWNERACCESS OPTION",
       0,
       {Row(1, _, _, _, 1), Row(3, _, _, _, 0x01 | 0x04), Row(5, "T", _, _)},
       "SELECT *\r\nFROM T\r\nWITH OWNERACCESS OPTION;"},
      {"names bracketed only where they need it",
       0,
       {Row(5, "Order Details", "od", _), Row(5, "得意先", _, _), Row(5, "Ordrar-Detaljer", _, _),
        Row(5, "2010売上", "_y", _), Row(5, "Sales2010", "[x y]", _),
        Row(6, "Some.Alias", _, "od.[Unit Price]"), Row(6, "売上_合計", _, "Sum(得意先.金額)")},
       "SELECT od.[Unit Price] AS [Some.Alias], Sum(得意先.金額) AS 売上_合計\r\n"
       "FROM [Order Details] AS od, 得意先, [Ordrar-Detaljer], [2010売上] AS [_y], Sales2010 AS "
       "[x y];"},
      {"sub-query in FROM with a bracketed alias",
       0,
       {Row(2, "__ID", _, _, 0), Row(3, _, _, _, 0x01 | 0x08),
        Row(5, _, "AAAA-Old", "SELECT L.ID, L.[ID (parent)] FROM L"),
        Row(8, _, _, "([__ID] = [ID (parent)])")},
       "PARAMETERS [__ID] Value;\r\nSELECT DISTINCTROW *\r\n"
       "FROM (SELECT L.ID, L.[ID (parent)] FROM L)  AS [AAAA-Old]\r\n"
       "WHERE ([__ID] = [ID (parent)]);"},
      {"parameters of several types",
       0,
       {Row(2, "Start Date", _, _, 8), Row(2, "Code", _, _, 10), Row(2, "[Forms]![F]![C]", _, _, 4),
        Row(2, "Key", _, _, 15), Row(2, "Note", _, _, 12), Row(2, "Flag", _, _, 1),
        Row(5, "T", _, _), Row(6, _, _, "T.a")},
       "PARAMETERS [Start Date] DateTime, Code Text, [Forms]![F]![C] Long, Key Guid, Note Memo, "
       "Flag Bit;\r\nSELECT T.a\r\nFROM T;"},
      {"every parameter type",
       0,
       {Row(2, "a", _, _, 0), Row(2, "b", _, _, 1), Row(2, "c", _, _, 2), Row(2, "d", _, _, 3),
        Row(2, "e", _, _, 4), Row(2, "f", _, _, 5), Row(2, "g", _, _, 6), Row(2, "h", _, _, 7),
        Row(2, "i", _, _, 8), Row(2, "j", _, _, 9), Row(2, "k", _, _, 10), Row(2, "l", _, _, 11),
        Row(2, "m", _, _, 12), Row(2, "n", _, _, 15), Row(6, _, _, "1")},
       "PARAMETERS a Value, b Bit, c Byte, d Short, e Long, f Currency, g IEEESingle, "
       "h IEEEDouble, i DateTime, j Binary, k Text, l LongBinary, m Memo, n Guid;\r\nSELECT 1;"},
      {"a Text parameter with its size (LvExtra)",
       0,
       {[] {
          auto row = Row(2, "Name", _, _, 10);
          row.extra = 50;
          return row;
        }(),
        Row(5, "T", _, _), Row(6, _, _, "T.a")},
       "PARAMETERS Name Text ( 50 );\r\nSELECT T.a\r\nFROM T;"},
      {"tables from an external database",
       0,
       {Row(4, "C:\\data\\old.mdb", _, _), Row(5, "T", _, _), Row(6, _, _, "T.a")},
       "SELECT T.a\r\nFROM T IN 'C:\\data\\old.mdb';"},
      {"a table of another database named in place",
       0,
       {Row(5, "Customers", "c", "C:\\db\\other.mdb"), Row(5, "Orders", _, "[;DATABASE=x.mdb]"),
        Row(6, _, _, "c.*"), Row(7, "c", "Orders", "c.id = Orders.cid", 2)},
       "SELECT c.*\r\nFROM [C:\\db\\other.mdb].Customers AS c LEFT JOIN "
       "[;DATABASE=x.mdb].Orders ON c.id = Orders.cid;"},
      {"update of unique records through a join",
       48,
       {Row(1, _, _, _, 4), Row(3, _, _, _, 0x08), Row(5, "A", _, _), Row(5, "B", _, _),
        Row(6, _, "A.x", "[B].[x]"), Row(7, "A", "B", "A.id = B.id", 1)},
       "UPDATE DISTINCTROW A INNER JOIN B ON A.id = B.id SET A.x = [B].[x];"},
      {"make-table into an external database",
       80,
       {Row(1, "Archive 2003", "C:\\old.mdb", _, 2), Row(5, "T", _, _), Row(6, _, _, "T.*")},
       "SELECT T.* INTO [Archive 2003] IN 'C:\\old.mdb'\r\nFROM T;"},
      {"make-table into a dBASE folder",
       80,
       {Row(1, "Out", _, "dBASE IV;", 2), Row(5, "T", _, _), Row(6, _, _, "T.a")},
       "SELECT T.a INTO Out IN '' [dBASE IV;]\r\nFROM T;"},
      {"append VALUES (Flag 0x8000, stored as a negative Short)",
       64,
       {Row(1, "T", _, _, 3), Row(6, _, "ID", "54", -32768),
        Row(6, _, "Field 3", "'hello'", -32768)},
       "INSERT INTO T ( ID, [Field 3] )\r\nVALUES (54, 'hello');"},
      {"join trees with LEFT, RIGHT and a table outside them",
       0,
       {Row(3, _, _, _, 1), Row(5, "A", _, _), Row(5, "B", _, _), Row(5, "C", _, _),
        Row(5, "D", _, _), Row(5, "E", _, _), Row(7, "A", "B", "A.x = B.x", 1),
        Row(7, "C", "D", "C.y = D.y", 2), Row(7, "B", "C", "B.z = C.z", 3)},
       "SELECT *\r\nFROM E, (A INNER JOIN B ON A.x = B.x) RIGHT JOIN (C LEFT JOIN D ON C.y = D.y) "
       "ON B.z = C.z;"},
      {"joins named by alias, three conditions on one join",
       0,
       {Row(3, _, _, _, 1), Row(5, "Orders", "o", _), Row(5, "Lines", "l", _),
        Row(7, "o", "l", "o.a = l.a", 1), Row(7, "O", "L", "o.b = l.b", 1),
        Row(7, "l", "o", "o.c = l.c", 1)},
       "SELECT *\r\nFROM Orders AS o INNER JOIN Lines AS l ON (o.c = l.c) AND (o.b = l.b) AND "
       "(o.a = l.a);"},
      {"a sub-query in WHERE passes through",
       32,
       {Row(1, _, _, _, 5), Row(3, _, _, _, 1), Row(5, "T", _, _),
        Row(8, _, _, "T.id In (SELECT id FROM U)")},
       "DELETE *\r\nFROM T\r\nWHERE T.id In (SELECT id FROM U);"},
      {"crosstab with fixed column headings",
       16,
       {Row(5, "S", _, _), Row(6, _, _, "Sum(S.amt)", 0), Row(6, _, _, "S.region", 2),
        Row(6, R"("Q1","Q2")", _, "S.quarter", 1), Row(9, _, _, "S.region", 2),
        Row(9, _, _, "S.quarter", 1)},
       "TRANSFORM Sum(S.amt)\r\nSELECT S.region\r\nFROM S\r\nGROUP BY S.region\r\n"
       R"(PIVOT S.quarter In ("Q1","Q2");)"},
      {"union of distinct rows, ordered, lone LF line breaks",
       128,
       {Row(3, _, _, _, 3), Row(5, _, "X7YZ_____2", "SELECT b FROM U\n"),
        Row(5, _, "X7YZ_____1", "  SELECT a\n\nFROM T  "), Row(11, "D", _, "a")},
       "SELECT a\r\nFROM T\r\nUNION SELECT b FROM U\r\nORDER BY a DESC;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      EXPECT_EQ(RebuildQuerySql(Query(c.clauses), c.objectFlags).sql, c.sql);
    } catch (const FormatError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

// Order, when stored, decides the order within an attribute.
TEST(QuerySqlTest, OrderColumnSortsRowsOfOneAttribute) {
  auto rows = Query({Row(5, "T", _, _), Row(6, _, _, "T.second"), Row(6, _, _, "T.first"),
                     Row(11, _, _, "T.b"), Row(11, _, _, "T.a")});
  rows[2].order = "\x00\x02"s;
  rows[3].order = "\x00\x01"s;
  rows[4].order = "\x80"s;  // bytes compare unsigned: 0x80 sorts after 0x7F
  rows[5].order = "\x7f"s;
  EXPECT_EQ(RebuildQuerySql(rows, 0).sql,
            "SELECT T.first, T.second\r\nFROM T\r\nORDER BY T.a, T.b;");
}

struct DamageCase {
  std::string what;
  std::int32_t objectFlags;
  std::vector<QueryRow> rows;
  std::string message;  // a part of the error message
};

TEST(QuerySqlTest, DamagedRowSetsAreErrors) {
  const auto table = Row(5, "T", _, _);
  const auto column = Row(6, _, _, "T.a");
  auto otherQuery = Query({table, column});
  otherQuery[1].objectId = 7;
  std::vector<QueryRow> chain = {column};  // T0 joined to T1 … T1025, one nesting level each
  for (int i = 0; i <= 1025; ++i) {
    const std::string t = "T" + std::to_string(i);
    chain.push_back(Row(5, t, _, _));
    if (i > 0) chain.push_back(Row(7, "T" + std::to_string(i - 1), t, "x", 1));
  }
  const std::vector<DamageCase> cases = {
      {"no rows", 0, {}, "no rows"},
      {"unknown attribute", 0, Query({table, column, Row(12, _, _, "x")}), "unknown Attribute 12"},
      {"no end row", 0, {Row(0, _, _, _), table, column}, "incomplete"},
      {"no start row", 0, {table, column, Row(255, _, _, _)}, "incomplete"},
      {"rows of two queries", 0, otherQuery, "more than one query"},
      {"dangling join", 0,
       Query({table, Row(5, "U", _, _), column, Row(7, "T", "X", "T.a = X.a", 1)}), "table X"},
      {"unknown join type", 0,
       Query({table, Row(5, "U", _, _), column, Row(7, "T", "U", "T.a = U.a", 4)}), "join type 4"},
      {"inner and left join between the same tables", 0,
       Query({table, Row(5, "U", _, _), column, Row(7, "T", "U", "T.a = U.a", 1),
              Row(7, "T", "U", "T.b = U.b", 2)}),
       "conflicting joins"},
      {"join without ON", 0, Query({table, Row(5, "U", _, _), column, Row(7, "T", "U", _, 1)}),
       "ON condition"},
      {"two WHERE rows", 0, Query({table, column, Row(8, _, _, "a"), Row(8, _, _, "b")}),
       "more than one WHERE"},
      {"no output columns", 0, Query({table}), "no output columns"},
      {"a join chain deeper than any query", 0, Query(chain), "more than 1024"},
      {"TOP without its value", 0, Query({Row(3, _, _, _, 0x10), table, column}), "TOP value"},
      {"unknown parameter type", 0, Query({Row(2, "p", _, _, 99), table, column}),
       "unknown type 99"},
      {"parameter type between known ones", 0, Query({Row(2, "p", _, _, 13), table, column}),
       "unknown type 13"},
      {"type row contradicting the object", 32, Query({Row(1, _, _, _, 4), table, column}),
       "contradicts"},
      {"unknown type row", 0, Query({Row(1, _, _, _, 42), table, column}), "unknown query type 42"},
      {"a type Access does not save as SQL", 144, Query({table, column}), "144"},
      {"update setting nothing", 48, Query({Row(1, _, _, _, 4), table}), "sets no field"},
      {"make-table without its table", 80, Query({Row(1, _, _, _, 2), table, column}), "new table"},
      {"append without its target", 64, Query({table, column}), "target table"},
      {"crosstab without PIVOT", 16,
       Query({Row(1, _, _, _, 6), table, Row(6, _, _, "Sum(T.x)", 0), Row(6, _, _, "T.a", 2)}),
       "PIVOT column"},
      {"crosstab with two values", 16,
       Query({Row(1, _, _, _, 6), table, Row(6, _, _, "Sum(T.x)", 0), Row(6, _, _, "Sum(T.y)", 0),
              Row(6, _, _, "T.b", 1)}),
       "not 2"},
      {"union missing a half", 128,
       Query({Row(1, _, _, _, 9), Row(5, _, "X7YZ_____1", "SELECT 1")}), "X7YZ_____2"},
      {"pass-through without SQL", 112, Query({Row(1, "ODBC;", _, _, 8)}), "stored SQL"},
      {"data definition without a type row", 96, Query({}), "type row"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      RebuildQuerySql(c.rows, c.objectFlags);
      ADD_FAILURE() << "no error";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(QuerySqlTest, TypeNameAndHiddenStateFromTheObjectRow) {
  struct Case {
    std::string name;
    std::int32_t flags;
    int type;
    std::string_view typeName;
    bool hidden;
  };
  const std::vector<Case> cases = {
      {"SelectQuery", 0, 0, "選択クエリ", false},
      {"CrosstabQuery", 16, 16, "クロス集計クエリ", false},
      {"DeleteQuery", 32, 32, "削除クエリ", false},
      {"UpdateQuery", 48, 48, "更新クエリ", false},
      {"AppendQuery", 64, 64, "追加クエリ", false},
      {"MakeTableQuery", 80, 80, "テーブル作成クエリ", false},
      {"DataDefinitionQuery", 96, 96, "データ定義クエリ", false},
      {"PassthroughQuery", 112, 112, "パススルークエリ", false},
      {"UnionQuery", 128, 128, "ユニオンクエリ", false},
      {"~sq_cOrdrar~sq_cLogg", 3, 0, "選択クエリ", true},
      {"Hidden update", 48 | 8, 48, "更新クエリ", true},
      {"Bulk pass-through", 144, 144, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(QueryTypeFromFlags(c.flags), c.type);
    EXPECT_EQ(zentab::QueryTypeName(QueryTypeFromFlags(c.flags)), c.typeName);
    EXPECT_EQ(IsHiddenQuery(c.name, c.flags), c.hidden);
  }
}

}  // namespace
}  // namespace zentab::engine
