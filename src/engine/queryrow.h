// One row of MSysQueries as stored, the input a saved query's SQL is rebuilt from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zentab::engine {

// Null cells stay empty optionals; Order is the stored bytes of the binary column.
struct QueryRow {
  std::int32_t attribute = 0;
  std::optional<std::string> expression;
  std::optional<std::int32_t> flag;
  std::optional<std::string> name1;
  std::optional<std::string> name2;
  std::int32_t objectId = 0;
  std::optional<std::string> order;

  bool operator==(const QueryRow&) const = default;
};

using QueryRows = std::vector<QueryRow>;

}  // namespace zentab::engine
