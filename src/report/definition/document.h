// The definition document (テーブル定義書): one self-contained UTF-8 HTML file beside the report
// with, per database, a summary, the relationship diagram, checks a reviewer wants at a
// glance, every table with its fields, keys and indexes, the queries and the other objects.
#pragma once

#include <string>
#include <vector>

#include "schema/imdb.h"

namespace zentab::report {

// The whole document for the databases of one job; generated is the time shown on its cover
// ("yyyy/mm/dd hh:nn:ss"). Every text from a record is HTML-escaped.
std::string RenderDefinitionDocument(const std::vector<TMdb>& mdbs, const std::string& generated);

// Renders the document for the databases, stamped with the current time, and writes it whole
// to path (UTF-8; never left half-written). Throws std::runtime_error naming path and the
// reason.
void WriteDefinitionDocument(const std::vector<TMdb>& mdbs, const std::string& path);

// Where the window puts the document of a report: beside it, named after it
// ("20261208093000.html" gives "20261208093000-定義書.html").
std::string DefinitionDocumentPathFor(const std::string& reportPath);

}  // namespace zentab::report
