// The corpus's query test databases: their query rows and the SQL Access shows for them.
#include "corpus_queries.h"

namespace zentab::engine::testing {
namespace {
const Text _;  // Null
}  // namespace

using namespace std::string_literals;

QueryRow Row(int attribute, Text name1, Text name2, Text expression, int flag) {
  return {.attribute = attribute,
          .expression = std::move(expression),
          .flag = flag,
          .name1 = std::move(name1),
          .name2 = std::move(name2)};
}

std::vector<QueryRow> Query(std::vector<QueryRow> clauses) {
  std::vector<QueryRow> rows = {Row(0, _, _, _)};
  rows.insert(rows.end(), clauses.begin(), clauses.end());
  rows.push_back(Row(255, _, _, _));
  return rows;
}

const std::vector<StoredQuery>& CorpusQueries() {
  static const std::vector<StoredQuery> queries = {
      {"SelectQuery", 0,
       Query({Row(1, _, _, _, 1), Row(3, _, _, _, 2), Row(5, "Table1", _, _),
              Row(5, "Table2", _, _), Row(5, "Table3", _, _), Row(6, _, _, "Table1.*", 0),
              Row(6, _, _, "Table2.col1", 0), Row(6, _, _, "Table2.col2", 0),
              Row(6, _, _, "Table3.col3", 0),
              Row(7, "Table1", "Table3", "Table1.col1 = Table3.col1", 2),
              Row(7, "Table3", "Table2", "Table3.col1 = Table2.col1", 1),
              Row(7, "Table3", "Table2", "Table3.col1 = Table2.col2", 1),
              Row(8, _, _, R"((((Table2.col2)="foo" Or (Table2.col2) In ("buzz","bazz"))))"),
              Row(11, _, _, "Table2.col1")}),
       "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\r\n"
       "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON "
       "(Table3.col1 = Table2.col2) AND (Table3.col1 = Table2.col1)\r\n"
       R"(WHERE (((Table2.col2)="foo" Or (Table2.col2) In ("buzz","bazz"))))"
       "\r\nORDER BY Table2.col1;"},
      {"DeleteQuery", 32,
       Query({Row(1, _, _, _, 5), Row(3, _, _, _, 0), Row(5, "Table1", _, _),
              Row(6, _, _, "Table1.col1", 0), Row(6, _, _, "Table1.col2", 0),
              Row(6, _, _, "Table1.col3", 0), Row(8, _, _, R"((((Table1.col1)>"blah")))")}),
       "DELETE Table1.col1, Table1.col2, Table1.col3\r\nFROM Table1\r\n"
       R"(WHERE (((Table1.col1)>"blah"));)"},
      {"AppendQuery", 64,
       Query({Row(1, "Table3", _, _, 3), Row(5, "Table3", _, _), Row(5, "Table1", _, _),
              Row(5, "Table2", _, _), Row(6, _, "col2", "[Table1].[col2]", 0),
              Row(6, _, "col2", "[Table2].[col2]", 0), Row(6, _, "col3", "[Table2].[col3]", 0),
              Row(7, "Table1", "Table2", "[Table1].[col1]=[Table2].[col1]", 1)}),
       "INSERT INTO Table3 ( col2, col2, col3 )\r\n"
       "SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3]\r\n"
       "FROM Table3, Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1];"},
      {"UpdateQuery", 48,
       Query({Row(1, _, _, _, 4), Row(2, "User Name", _, _, 10), Row(3, _, _, _, 0),
              Row(5, "Table1", _, _), Row(6, _, "Table1.col1", R"("foo")", 0),
              Row(6, _, "Table1.col2", "[Table2].[col3]", 0),
              Row(6, _, "[Table2].[col1]", "[User Name]", 0),
              Row(8, _, _, "((([Table2].[col1]) Is Not Null))")}),
       "PARAMETERS [User Name] Text;\r\n"
       R"(UPDATE Table1 SET Table1.col1 = "foo", Table1.col2 = [Table2].[col3], )"
       "[Table2].[col1] = [User Name]\r\nWHERE ((([Table2].[col1]) Is Not Null));"},
      {"MakeTableQuery", 80,
       Query({Row(1, "Table4", _, _, 2), Row(3, _, _, _, 0), Row(5, "Table2", _, _),
              Row(5, "Table1", _, _), Row(5, "Table3", _, _),
              Row(6, "MaxOfcol1", _, "Max(Table2.col1)", 0), Row(6, _, _, "Table2.col2", 0),
              Row(6, _, _, "Table3.col2", 0),
              Row(7, "Table2", "Table1", "Table2.col1 = Table1.col2", 1),
              Row(7, "Table1", "Table3", "Table1.col2 = Table3.col3", 3),
              Row(9, _, _, "Table2.col2", 0), Row(9, _, _, "Table3.col2", 0),
              Row(10, _, _, R"((((Max(Table2.col1))="buzz") AND ((Table2.col2)<>"blah")))")}),
       "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4\r\n"
       "FROM (Table2 INNER JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON "
       "Table1.col2 = Table3.col3\r\nGROUP BY Table2.col2, Table3.col2\r\n"
       R"(HAVING (((Max(Table2.col1))="buzz") AND ((Table2.col2)<>"blah"));)"},
      {"CrosstabQuery", 16,
       Query({Row(1, _, _, _, 6), Row(5, "Table1", _, _), Row(5, "Table2", _, _),
              Row(5, "Table2", "Table2_1", _),
              Row(6, "CountOfcol2", _, "Count([Table2].[col2])", 0),
              Row(6, _, _, "Table2_1.col1", 2), Row(6, _, _, "[Table2].[col3]", 2),
              Row(6, "AvgOfcol2", _, "Avg(Table2_1.col2)", 2), Row(6, _, _, "[Table1].[col1]", 1),
              Row(7, "Table1", "Table2", "[Table1].[col1]=[Table2].[col1]", 1),
              Row(7, "Table2", "Table2_1", "[Table2].[col1]=Table2_1.col3", 1),
              Row(8, _, _,
                  R"(((([Table1].[col1])>"10") And ((Table2_1.col1) Is Not Null) And )"
                  R"(((Avg(Table2_1.col2))>"10")))"),
              Row(9, _, _, "Table2_1.col1", 2), Row(9, _, _, "[Table2].[col3]", 2),
              Row(9, _, _, "[Table1].[col1]", 1), Row(11, _, _, "[Table2].[col3]")}),
       "TRANSFORM Count([Table2].[col2]) AS CountOfcol2\r\n"
       "SELECT Table2_1.col1, [Table2].[col3], Avg(Table2_1.col2) AS AvgOfcol2\r\n"
       "FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 AS "
       "Table2_1 ON [Table2].[col1]=Table2_1.col3\r\n"
       R"(WHERE ((([Table1].[col1])>"10") And ((Table2_1.col1) Is Not Null) And )"
       R"(((Avg(Table2_1.col2))>"10")))"
       "\r\nGROUP BY Table2_1.col1, [Table2].[col3]\r\nORDER BY [Table2].[col3]\r\n"
       "PIVOT [Table1].[col1];"},
      {"UnionQuery", 128,
       Query({Row(1, _, _, _, 9), Row(3, _, _, _, 1),
              Row(5, _, "X7YZ_____1",
                  "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\n"
                  "Select Table2.col1, Table2.col2\r\n"),
              Row(5, _, "X7YZ_____2",
                  "Select Table3.col1, Table3.col2\r\nwhere Table3.col3 > \"blah\"")}),
       "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\n"
       "Select Table2.col1, Table2.col2\r\nUNION ALL Select Table3.col1, Table3.col2\r\n"
       "where Table3.col3 > \"blah\";"},
      {"PassthroughQuery", 112,
       Query({Row(1, "ODBC;", _, "ALTER TABLE Table4 DROP COLUMN col5;\0"s, 8)}),
       "ALTER TABLE Table4 DROP COLUMN col5;", "ODBC;"},
      {"DataDefinitionQuery", 96,
       Query({Row(1, _, _, "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);\0"s, 7)}),
       "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);"},
  };
  return queries;
}

}  // namespace zentab::engine::testing
