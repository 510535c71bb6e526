// Saved queries of every type written by the test-database writer as MSysQueries rows and read
// back through the reader process: each query's Type, hidden state and SQL as Access shows it, and
// a damaged query failing alone while the others stay intact, in both formats.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "corpus_queries.h"
#include "engine/mdbengine.h"
#include "mkmdb/mkmdb.h"
#include "schema/reader.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

using nlohmann::json;
using Text = std::optional<std::string>;
const Text _;  // Null

// One MSysQueries row in the writer's description; arguments in mdb-export's column order.
json Row(int attribute, Text name1, Text name2, Text expression, int flag = 0) {
  json row = {{"attribute", attribute}, {"flag", flag}};
  row["name1"] = name1 ? json(*name1) : json(nullptr);
  row["name2"] = name2 ? json(*name2) : json(nullptr);
  row["expression"] = expression ? json(*expression) : json(nullptr);
  return row;
}

// A query's clause rows between its start and end rows.
json Rows(std::vector<json> clauses) {
  json rows = json::array({Row(0, _, _, _)});
  for (auto& c : clauses) rows.push_back(std::move(c));
  rows.push_back(Row(255, _, _, _));
  return rows;
}

struct QueryCase {
  std::string name;
  int flags;  // MSysObjects.Flags
  json rows;
  int type;           // the QueryDef's Type
  std::string sql;    // as Access shows it; empty when the query must fail
  std::string error;  // a part of the query's error message
  bool hidden = false;
  std::string connect;  // a pass-through query's connect string
};

using namespace std::string_literals;

// The corpus's query rows in the writer's description, with their start and end rows.
json RowsOf(const std::vector<QueryRow>& rows) {
  json out = json::array();
  for (const auto& r : rows)
    out.push_back(Row(r.attribute, r.name1, r.name2, r.expression, r.flag));
  return out;
}

// The queries of the corpus's query test files (whose flags are their types), then rows and
// texts as the rebuilder's unit tests pin them (worked out by hand from Access files).
std::vector<QueryCase> Cases() {
  std::vector<QueryCase> cases;
  for (const auto& q : testing::CorpusQueries()) {
    cases.push_back(
        {q.name, q.objectFlags, RowsOf(q.rows), q.objectFlags, q.sql, "", false, q.connect});
  }
  std::vector<QueryCase> own = {
      {"SelectTop", 0,
       Rows({Row(3, "10", _, _, 0x10), Row(5, "T", _, _), Row(6, _, _, "T.a"),
             Row(11, "D", _, "T.a"), Row(11, _, _, "T.b")}),
       0, "SELECT TOP 10 T.a\r\nFROM T\r\nORDER BY T.a DESC, T.b;"},
      {"SelectAliases", 0,
       Rows({Row(5, "Order Details", "od", _), Row(5, "得意先", _, _),
             Row(5, "Ordrar-Detaljer", _, _), Row(5, "2010売上", "_y", _),
             Row(5, "Sales2010", "[x y]", _), Row(6, "Some.Alias", _, "od.[Unit Price]"),
             Row(6, "売上_合計", _, "Sum(得意先.金額)")}),
       0,
       "SELECT od.[Unit Price] AS [Some.Alias], Sum(得意先.金額) AS 売上_合計\r\n"
       "FROM [Order Details] AS od, 得意先, [Ordrar-Detaljer], [2010売上] AS [_y], Sales2010 AS "
       "[x y];"},
      {"SelectSubQuery", 0,
       Rows({Row(2, "__ID", _, _, 0), Row(3, _, _, _, 0x01 | 0x08),
             Row(5, _, "AAAA-Old", "SELECT L.ID, L.[ID (parent)] FROM L"),
             Row(8, _, _, "([__ID] = [ID (parent)])")}),
       0,
       "PARAMETERS [__ID] Value;\r\nSELECT DISTINCTROW *\r\n"
       "FROM (SELECT L.ID, L.[ID (parent)] FROM L)  AS [AAAA-Old]\r\n"
       "WHERE ([__ID] = [ID (parent)]);"},
      {"SelectParameters", 0,
       Rows({Row(2, "Start Date", _, _, 8), Row(2, "Code", _, _, 10),
             Row(2, "[Forms]![F]![C]", _, _, 4), Row(2, "Key", _, _, 15), Row(2, "Note", _, _, 12),
             Row(2, "Flag", _, _, 1), Row(5, "T", _, _), Row(6, _, _, "T.a")}),
       0,
       "PARAMETERS [Start Date] DateTime, Code Text, [Forms]![F]![C] Long, Key Guid, Note Memo, "
       "Flag Bit;\r\nSELECT T.a\r\nFROM T;"},
      {"SelectJoinTree", 0,
       Rows({Row(3, _, _, _, 1), Row(5, "A", _, _), Row(5, "B", _, _), Row(5, "C", _, _),
             Row(5, "D", _, _), Row(5, "E", _, _), Row(7, "A", "B", "A.x = B.x", 1),
             Row(7, "C", "D", "C.y = D.y", 2), Row(7, "B", "C", "B.z = C.z", 3)}),
       0,
       "SELECT *\r\nFROM E, (A INNER JOIN B ON A.x = B.x) RIGHT JOIN (C LEFT JOIN D ON C.y = D.y) "
       "ON B.z = C.z;"},
      {"SelectJoinByAlias", 0,
       Rows({Row(3, _, _, _, 1), Row(5, "Orders", "o", _), Row(5, "Lines", "l", _),
             Row(7, "o", "l", "o.a = l.a", 1), Row(7, "O", "L", "o.b = l.b", 1),
             Row(7, "l", "o", "o.c = l.c", 1)}),
       0,
       "SELECT *\r\nFROM Orders AS o INNER JOIN Lines AS l ON (o.c = l.c) AND (o.b = l.b) AND "
       "(o.a = l.a);"},
      {"MakeTableExternal", 80,
       Rows({Row(1, "Archive 2003", "C:\\old.mdb", _, 2), Row(5, "T", _, _), Row(6, _, _, "T.*")}),
       80, "SELECT T.* INTO [Archive 2003] IN 'C:\\old.mdb'\r\nFROM T;"},
      {"AppendValues", 64,
       Rows({Row(1, "T", _, _, 3), Row(6, _, "ID", "54", -32768),
             Row(6, _, "Field 3", "'hello'", -32768)}),
       64, "INSERT INTO T ( ID, [Field 3] )\r\nVALUES (54, 'hello');"},
      {"DeleteSubQuery", 32,
       Rows({Row(1, _, _, _, 5), Row(3, _, _, _, 1), Row(5, "T", _, _),
             Row(8, _, _, "T.id In (SELECT id FROM U)")}),
       32, "DELETE *\r\nFROM T\r\nWHERE T.id In (SELECT id FROM U);"},
      {"Crosstab", 16,
       Rows({Row(5, "S", _, _), Row(6, _, _, "Sum(S.amt)", 0), Row(6, _, _, "S.region", 2),
             Row(6, R"("Q1","Q2")", _, "S.quarter", 1), Row(9, _, _, "S.region", 2),
             Row(9, _, _, "S.quarter", 1)}),
       16,
       "TRANSFORM Sum(S.amt)\r\nSELECT S.region\r\nFROM S\r\nGROUP BY S.region\r\n"
       R"(PIVOT S.quarter In ("Q1","Q2");)"},
      {"PassThrough", 112,
       Rows({Row(1, "ODBC;DSN=Sales;UID=ro;", _, "ALTER TABLE Table4 DROP COLUMN col5;\0"s, 8)}),
       112, "ALTER TABLE Table4 DROP COLUMN col5;", "", false, "ODBC;DSN=Sales;UID=ro;"},
      // A form's record source and a query flagged hidden.
      {"~sq_fOrders", 0, Rows({Row(5, "T", _, _), Row(6, _, _, "T.a")}), 0, "SELECT T.a\r\nFROM T;",
       "", true},
      {"FlaggedHidden", 32 | 8, Rows({Row(1, _, _, _, 5), Row(3, _, _, _, 1), Row(5, "T", _, _)}),
       32, "DELETE *\r\nFROM T;", "", true},
      // Damaged: each fails alone, naming the query and the reason.
      {"BadJoin", 0,
       Rows({Row(5, "T", _, _), Row(5, "U", _, _), Row(6, _, _, "T.a"),
             Row(7, "T", "X", "T.a = X.a", 1)}),
       0, "", "table X"},
      {"BadNoEnd", 32, json::array({Row(0, _, _, _), Row(1, _, _, _, 5), Row(5, "T", _, _)}), 32,
       "", "incomplete"},
      {"BadNoRows", 48, json::array(), 48, "", "no rows"},
  };
  cases.insert(cases.end(), own.begin(), own.end());
  return cases;
}

class QueryFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(QueryFiles, EveryQueryTypeReadsBackWithItsTypeAndSql) {
  const auto cases = Cases();
  json description = {
      {"format", GetParam()},
      {"codePage", 932},
      {"tables", json::array({{{"name", "T"},
                               {"fields", json::array({{{"name", "a"}, {"type", "long"}}})}}})}};
  for (const auto& c : cases) {
    description["queries"].push_back({{"name", c.name}, {"flags", c.flags}, {"rows", c.rows}});
  }
  testing::TempDir dir;
  const std::string path = dir.File("queries.mdb");
  mkmdb::WriteMdbFromJson(description.dump(), path);
  RegisterMdbEngine();
  TMdb mdb;
  ReadMdb(path, mdb);
  ASSERT_EQ(mdb.ErrorMessage, "");
  EXPECT_EQ(mdb.QueryDefsError, "");
  ASSERT_EQ(mdb.QueryDefs.size(), cases.size());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TQueryDef* q = nullptr;
    for (const auto& d : mdb.QueryDefs) {
      if (d.Name == c.name) q = &d;
    }
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->Type, c.type);
    EXPECT_EQ(q->SQL, c.sql);
    EXPECT_EQ(q->Hidden, c.hidden);
    // Only the pass-through queries carry a connect string.
    EXPECT_EQ(q->Connect, c.connect);
    if (c.error.empty()) {
      EXPECT_EQ(q->ErrorMessage, "");
    } else {
      EXPECT_NE(q->ErrorMessage.find("'" + c.name + "'"), std::string::npos) << q->ErrorMessage;
      EXPECT_NE(q->ErrorMessage.find(c.error), std::string::npos) << q->ErrorMessage;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, QueryFiles, ::testing::Values("jet4", "jet3"));

}  // namespace
}  // namespace zentab::engine
