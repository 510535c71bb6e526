// Rendering of one database's section of the report: heading, table list, and a heading and
// field table per table. Output is UTF-8, or CP932 for the report file; every text from a
// record is HTML-escaped.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "schema/imdb.h"

namespace zentab {

// Receives a section piece by piece; every piece is whole rows of text.
using SectionSink = std::function<void(std::string_view piece)>;

// The text a section is handed on in: UTF-8, or the report's CP932 bytes, exactly what
// platform::AppendUtf8ToCp932Html makes of the UTF-8 text.
enum class SectionEncoding { kUtf8, kCp932 };

std::string RenderMdbSection(const TMdb& mdb);
// The same text handed to sink in pieces of a bounded size, so that a large database's
// section never has to be held whole; each piece is built in one buffer reused for the next.
void RenderMdbSection(const TMdb& mdb, const SectionSink& sink,
                      SectionEncoding encoding = SectionEncoding::kUtf8);
std::string TableListHeader();
std::string TableListRow(std::string_view mdbName, const TTableDef& table);
std::string TableListFooter();
std::string FieldTableHeader();
std::string FieldTableRow(const TTableDefField& field);
std::string FieldTableFooter();

// The escaped text, or "&nbsp;" when it is empty.
std::string CellText(std::string_view text);

// Replaces every "#MDBNAME#" of a template by mdbName, then every "#TBLNAME#" of the result by
// tableName; text a step inserts is not searched again by that step. Both names are
// substituted HTML-escaped.
std::string FillTemplate(std::string_view pattern, std::string_view mdbName,
                         std::string_view tableName);

}  // namespace zentab
