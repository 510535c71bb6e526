// How messages name the place in a description they are about: `table "Orders", field "ID"`,
// or `table #2` / `field #3` when the name itself is missing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zentab::mkmdb {

inline std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

inline std::string TableContext(std::size_t index, const std::string& name) {
  return name.empty() ? "table #" + std::to_string(index + 1) : "table " + Quoted(name);
}

inline std::string FieldContext(const std::string& tableContext, std::size_t index,
                                const std::string& name) {
  return tableContext + ", " +
         (name.empty() ? "field #" + std::to_string(index + 1) : "field " + Quoted(name));
}

}  // namespace zentab::mkmdb
