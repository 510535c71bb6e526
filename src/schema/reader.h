// The schema reader: opens one database through the engine registered as "DAO.DBEngine.36"
// and reads every table definition and field into the records.
#pragma once

#include <cstdint>
#include <string>

#include "schema/automation.h"
#include "schema/imdb.h"

namespace zentab {

inline constexpr const char* kEngineProgId = "DAO.DBEngine.36";

// What ReadMdb reads: what the fixed report shows, or also the design beyond it (stored
// properties, indexes, relations, queries and documents).
enum class ReadScope { kReport, kDesign };

// Reads the database at path into mdb (every item starts from an empty record). Returns
// normally once the database was opened and closed, also when reading its tables failed (the
// failure is then in the records' ErrorMessage). Throws AutomationError when the engine
// cannot be created, or the database cannot be opened or closed; StartTick is written first.
// Running out of memory is no read failure of an item: std::bad_alloc always escapes.
void ReadMdb(const std::string& path, TMdb& mdb, ReadScope scope = ReadScope::kDesign);

// Tells the engine the database this thread will read after those it is reading or was told of,
// so that it can start on it early: at once when nothing else is on its way, else while the
// one before is handled. An engine that cannot does nothing, and nothing here fails.
void ReadAheadMdb(const std::string& path);

// Creates the engine and opens the database at path, shared and not read-only.
void OpenMdb(ObjectRef& engine, ObjectRef& database, const std::string& path);

// Closes the database and releases both references (also when Close fails).
void CloseMdb(ObjectRef& engine, ObjectRef& database);

// Reads table i with all its fields. Throws only std::bad_alloc: any other failure ends the
// table's reading and is kept in table.ErrorMessage (failures beyond the fixed report in their
// own members).
void ReadTableDef(const ObjectRef& database, std::int32_t i, TTableDef& table,
                  ReadScope scope = ReadScope::kDesign);

// Reads field j of table i. Throws only std::bad_alloc: any other failure ends the field's
// reading and is kept in field.ErrorMessage (a failure to read its stored properties in
// PropertiesError).
void ReadField(const ObjectRef& database, std::int32_t i, std::int32_t j, TTableDefField& field,
               ReadScope scope = ReadScope::kDesign);

// The engine's value conversions; each throws AutomationError where the value has no such form.
std::int32_t VariantToInt(const Variant& v);
bool VariantToBool(const Variant& v);
std::string VariantToText(const Variant& v);
// The same, moving a text out of a variant about to go.
std::string VariantToText(Variant&& v);
std::string VariantToTextNullAsEmpty(const Variant& v);

// An automation date as text: "yyyy/MM/dd H:mm:ss", rounded to the second; the date alone at
// exactly midnight, the time alone when the whole-day part is 0.
std::string DateToText(double oleDate);

// The message kept for a failure: the description less trailing blanks, control characters
// and full stops.
std::string FailureMessage(const std::exception& error);

}  // namespace zentab
