// Saved queries: the SQL text Access shows for a query, rebuilt from its MSysQueries rows, and
// the query type, type name and hidden state taken from its MSysObjects row (docs/FORMAT.md,
// "Saved queries (MSysQueries)").
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/mdbformat.h"

namespace zentab::engine {

// One MSysQueries row, its text columns already decoded to UTF-8. Null text is std::nullopt;
// a Null Flag or LvExtra is 0.
struct QueryRow {
  int attribute = 0;                      // Attribute: which clause item the row describes
  std::optional<std::string> expression;  // Expression
  int flag = 0;                           // Flag
  std::optional<std::string> name1;       // Name1
  std::optional<std::string> name2;       // Name2
  std::int32_t objectId = 0;              // ObjectId: the query's MSysObjects Id
  std::string order;                      // Order (binary), empty when Null
  std::int32_t extra = 0;                 // LvExtra (Jet 4 and later): size of a Text parameter
};

// Query types, as MSysObjects Flags & 0xF0 (the values of a QueryDef's Type).
enum QueryType : int {
  kSelectQuery = 0,
  kCrosstabQuery = 16,
  kDeleteQuery = 32,
  kUpdateQuery = 48,
  kAppendQuery = 64,
  kMakeTableQuery = 80,
  kDataDefinitionQuery = 96,
  kPassThroughQuery = 112,
  kUnionQuery = 128,
};

// The query type held in a query's MSysObjects Flags.
int QueryTypeFromFlags(std::int32_t objectFlags);

// A query Access keeps out of sight: the record sources of forms, reports and controls
// (`~sq_…`, any name starting with `~`) and objects flagged hidden.
bool IsHiddenQuery(std::string_view name, std::int32_t objectFlags);

struct QuerySql {
  int type = kSelectQuery;  // the type the rows were read as (QueryType)
  std::string sql;          // as Access shows it: clauses on lines joined by CR LF
  std::string connect;      // pass-through queries: the ODBC connect string; else empty
};

// Rebuilds the SQL of one query from all its MSysQueries rows, the start (Attribute 0) and end
// (255) rows included, in any order: rows are grouped by Attribute and keep their stored order
// within an attribute unless Order says otherwise.
// `objectFlags` is the query's MSysObjects Flags. Throws FormatError naming the reason when
// the rows do not make a query: an unknown attribute or join type, a join naming a table the
// query does not have, a clause item missing, or rows that contradict each other.
QuerySql RebuildQuerySql(std::span<const QueryRow> rows, std::int32_t objectFlags);

}  // namespace zentab::engine
