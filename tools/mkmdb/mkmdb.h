// The test-database writer: turns a JSON description of tables and fields into an Access
// (Jet 3 or Jet 4) database file, so that tests can create exactly the files they need.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zentab::mkmdb {

// The description is malformed or asks for something the file format cannot hold. The
// message names the table and field concerned ("table \"Orders\", field \"ID\": ...").
class DescriptionError : public std::runtime_error {
  using runtime_error::runtime_error;
};

// The output file could not be written; the message names the path.
class OutputError : public std::runtime_error {
  using runtime_error::runtime_error;
};

enum class JetVersion { kJet3, kJet4 };

// Field types, valued as the type codes stored in column descriptors.
enum class FieldType : std::uint8_t {
  kBoolean = 0x01,
  kByte = 0x02,
  kInteger = 0x03,
  kLong = 0x04,
  kCurrency = 0x05,
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kGuid = 0x0F,
  kDecimal = 0x10,
  kBigInt = 0x13,
};

// A table or field property kept in MSysObjects.LvProp, with the type it is stored as.
struct PropertyValue {
  enum class Kind { kText, kBoolean, kLong, kDouble };
  Kind kind = Kind::kText;
  std::string text;  // kText, UTF-8
  bool boolean = false;
  std::int32_t integer = 0;
  double number = 0;
};
// Properties in the order they are written; names are unique ignoring ASCII case.
using Properties = std::vector<std::pair<std::string, PropertyValue>>;

struct FieldDescription {
  std::string name;  // UTF-8
  FieldType type = FieldType::kLong;
  int size = 0;     // characters for text, bytes for binary; unused for other types
  int ordinal = 0;  // the position number stored in the column descriptor
  bool fixed = true;
  bool autoNumber = false;
  bool hyperlink = false;
  bool replication = false;
  // Column properties written to MSysObjects.LvProp; an absent one is not written at all.
  std::optional<bool> required;
  std::optional<bool> allowZeroLength;
  std::optional<std::string> defaultValue;
  Properties properties;  // further column properties
};

struct LinkDescription {
  bool odbc = false;        // false: type 6 link to an Access file; true: type 4 ODBC link
  std::string database;     // Access links: the linked file's path (MSysObjects.Database)
  std::string connect;      // ODBC links: the connect string (MSysObjects.Connect)
  std::string foreignName;  // the table's name in its source
};

struct IndexColumn {
  std::string name;  // a field of the table
  bool descending = false;
};

struct IndexDescription {
  std::string name;
  std::vector<IndexColumn> fields;  // 1-10 columns
  bool primary = false;             // the logical index of type 1
  bool foreign = false;             // type 2: the index on the many side of a relationship
  bool unique = false;              // defaults to `primary`
  bool ignoreNulls = false;
  bool required = false;  // defaults to `primary`
};

struct TableDescription {
  std::string name;  // UTF-8
  // OLE automation dates (days since 1899-12-30); nullopt is stored as Null.
  std::optional<double> created;
  std::optional<double> updated;
  std::uint32_t flags = 0;  // MSysObjects.Flags, bit for bit
  std::uint64_t rows = 0;
  std::vector<FieldDescription> fields;
  Properties properties;  // the table's own properties
  std::vector<IndexDescription> indexes;
  std::optional<LinkDescription> link;  // set for linked tables, which have no fields or rows
};

// A form, report, macro or module: a row in MSysObjects under its container.
struct ObjectDescription {
  enum class Kind { kForm, kReport, kMacro, kModule };
  Kind kind = Kind::kForm;
  std::string name;
  std::optional<double> created;  // as TableDescription
  std::optional<double> updated;
  std::uint32_t flags = 0;
};

// One row of MSysRelationships per column pair.
struct RelationshipColumn {
  std::string name;         // in `table`, the referenced (one) side
  std::string foreignName;  // in `foreignTable`, the referencing (many) side
};

struct RelationshipDescription {
  std::string name;              // szRelationship
  std::string table;             // szReferencedObject
  std::string foreignTable;      // szObject
  std::uint32_t attributes = 0;  // grbit, bit for bit
  std::vector<RelationshipColumn> fields;
};

// One row of MSysQueries; absent values are Null.
struct QueryRow {
  int attribute = 0;  // 0-255
  std::optional<std::string> expression;
  std::optional<int> flag;  // 16 bits
  std::optional<std::string> name1;
  std::optional<std::string> name2;
  std::optional<std::string> order;     // bytes (given as hexadecimal digits)
  std::optional<std::int32_t> lvExtra;  // Jet 4 only
};

struct QueryDescription {
  std::string name;
  std::optional<double> created;
  std::optional<double> updated;
  std::uint32_t flags = 0;  // MSysObjects.Flags: the query type as stored
  Properties properties;
  std::vector<QueryRow> rows;
};

struct Description {
  JetVersion format = JetVersion::kJet4;
  int codePage = 1252;   // stored in the header; Jet 3 names and text use it
  std::string password;  // empty: not protected
  std::vector<TableDescription> tables;
  std::vector<ObjectDescription> objects;
  std::vector<RelationshipDescription> relationships;
  std::vector<QueryDescription> queries;
};

// The date stored for "created"/"updated" when the description does not give one.
inline constexpr double kDefaultDate = 36526.0;  // 2000-01-01 00:00:00

// Checks a description against what the file format can hold: names present, unique and
// storable in the file's text encoding, sizes and options fitting their field types.
// Throws DescriptionError.
void ValidateDescription(const Description& description);

// Parses and validates a JSON description (the format is documented in README.md of
// tools/mkmdb). Throws DescriptionError.
Description ParseDescription(const std::string& jsonText);

// Validates the description and writes the database to outputPath, through a temporary file
// beside it that is renamed into place: on any error nothing is left at outputPath (an
// existing file there is left untouched). Throws DescriptionError or OutputError. The same
// description always gives the same bytes.
void WriteMdb(const Description& description, const std::string& outputPath);

// Validates the description (JSON text) and writes the database to outputPath. On any error
// (bad description: message names the table and field; I/O: names the path) throws and leaves
// no output file behind (write to a temp file beside it and rename).
void WriteMdbFromJson(const std::string& jsonText, const std::string& outputPath);

}  // namespace zentab::mkmdb
