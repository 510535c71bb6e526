// The saved queries of the corpus's query test databases (queryTestV1997.mdb …
// queryTestV2010.accdb): their MSysQueries rows and the SQL worked out by hand from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/querysql.h"

namespace zentab::engine::testing {

using Text = std::optional<std::string>;

// Arguments in the column order mdb-export prints: Attribute, Name1, Name2, Expression, Flag.
QueryRow Row(int attribute, Text name1, Text name2, Text expression, int flag = 0);

// A query's clause rows between its start and end rows.
std::vector<QueryRow> Query(std::vector<QueryRow> clauses);

struct StoredQuery {
  std::string name;
  std::int32_t objectFlags;
  std::vector<QueryRow> rows;
  std::string sql;
  std::string connect;
};

// The same rows in all five files.
const std::vector<StoredQuery>& CorpusQueries();

}  // namespace zentab::engine::testing
