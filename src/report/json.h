// The JSON document of a job: every database's tables, fields, indexes, relationships, queries
// and objects, rendered from the records (docs/zentab.schema.json describes it).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "schema/imdb.h"

namespace zentab {

// Writes the document piece by piece to a sink, one database at a time, so that a job need
// not keep every database's records: the head when made, each database's object on Add, the
// end on Finish.
class JsonDocumentWriter {
 public:
  using Sink = std::function<void(std::string_view)>;
  // generated is the job's time as "yyyy-mm-ddThh:nn:ss".
  JsonDocumentWriter(Sink sink, const std::string& generated);
  void Add(const TMdb& mdb);
  void Finish();

 private:
  Sink sink_;
  bool first_ = true;
};

// The whole document as UTF-8 text, as JsonDocumentWriter writes it.
std::string RenderJson(const std::vector<TMdb>& databases, const std::string& generated);

// An automation date as ISO 8601 local time without zone ("2003-01-15T10:25:00"), rounded to
// the second; none when the date cannot be presented.
std::optional<std::string> IsoDateTime(double oleDate);

// The JSON name of a database format version ("4.0" -> "Jet4", "12.0" -> "ACE12"); none for
// an unknown version.
std::optional<std::string> FormatName(const std::string& version);

}  // namespace zentab
