// The messages between the engine and its reader process: a request names a database file, a
// response carries its snapshot or the reason it could not be read. Each message travels in a
// frame of a 4-byte little-endian length followed by that many bytes; its bytes are a compact
// binary form that starts with a magic and version (docs/FORMAT.md, "Reader messages").
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "schema/snapshot.h"

namespace zentab::engine {

// Raised when a message is malformed or of another version.
class WireError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kWireVersion = 6;
inline constexpr std::uint32_t kMaxFrameBytes = 256u << 20;

struct ReadResponse {
  std::optional<DatabaseSnapshot> snapshot;  // set when the database was read
  std::string error;                         // the reason otherwise
};

// What a request asks the reader for: the whole design, or only what the fixed report shows.
// With kReport the design beyond it (stored properties, indexes, relations, queries, documents)
// is not read: each of its parts comes with kNotReadReason as its failure, never empty.
enum class RequestScope : std::uint8_t { kDesign = 0, kReport = 1 };
inline constexpr const char* kNotReadReason =
    "Not read: only what the report shows was asked of the reader.";

struct Request {
  std::string path;
  RequestScope scope = RequestScope::kDesign;
};

std::string EncodeRequest(const std::string& path, RequestScope scope = RequestScope::kDesign);
Request DecodeRequest(std::string_view message);

std::string EncodeResponse(const ReadResponse& response);
// With lazyFields, each table's fields and design (stored properties, indexes) are checked but
// kept in their wire form (TableSnapshot::encodedFields, encodedDesign), decoded by the object
// model when it first serves them.
ReadResponse DecodeResponse(std::string_view message, bool lazyFields = false);
// The answer as the reader process streams it, each part its own frame: the head (the
// response magic, then 0 and the database's properties, errors and table count, or 1 and the
// reason it could not be read: nothing follows), one part per table ('T'), then the tail ('Z':
// relations, queries, containers). After the head, a failure part ('E' and a reason) may end
// the answer instead: the database fails as a whole.
std::string EncodeStreamHead(const ReadResponse& response, std::size_t tables);
std::string EncodeStreamTable(const TableSnapshot& table);
std::string EncodeStreamTail(const DatabaseSnapshot& snapshot);
std::string EncodeStreamFailure(const std::string& error);
// Every frame (with its length prefix) of a whole response, streamed.
std::string EncodeStreamedResponse(const ReadResponse& response);

struct StreamHead {
  std::optional<DatabaseSnapshot> snapshot;  // its tables still to come
  std::size_t tables = 0;
  std::string error;  // the reason when there is no snapshot
};
StreamHead DecodeStreamHead(std::string_view message);

struct StreamPart {
  enum Kind { kTable, kTail, kFailure } kind = kTable;
  std::string error;  // of a failure
};
// Decodes a part after the head into snapshot: a table into snapshot.tables[table] (with
// lazyFields its fields kept compact), or the tail.
StreamPart DecodeStreamPart(std::string_view message, DatabaseSnapshot& snapshot, std::size_t table,
                            bool lazyFields);

// The fields of one table in their wire form (what TableSnapshot::encodedFields holds), and
// back; an encoded table's fields are sent as they are.
std::string EncodeFields(const std::vector<FieldSnapshot>& fields);
std::vector<FieldSnapshot> DecodeFields(std::string_view encoded);

// One field as the reader process has it: the ten properties every field has, and what is
// stored with it.
struct FieldRecord {
  bool allowZeroLength = false;
  std::int32_t attributes = 0;
  std::string_view defaultValue;
  std::string_view name;
  std::int32_t ordinalPosition = 0;
  bool required = false;
  std::int32_t size = 0;
  std::string_view sourceField;
  std::string_view sourceTable;
  std::int32_t type = 0;
  // Set when the field's stored properties cannot be read: AllowZeroLength, DefaultValue and
  // Required then fail with it (in that order) instead of holding values.
  const std::string* propertiesError = nullptr;
  // Null for none: no values and no error.
  const StoredProperties* stored = nullptr;
  // With stored null, the stored values (none failed) as a property set's items would hold
  // them: sent as stored properties without an error.
  std::span<const std::pair<std::string_view, PropertyRead>> storedValues;
};

// Writes the fields of one table straight into their wire form (what EncodeFields makes and
// TableSnapshot::encodedFields holds), without a FieldSnapshot for each: the bytes are those
// of the FieldSnapshot whose properties are set from the record in slot order.
class FieldsWriter {
 public:
  // count: the number of fields Add is called for.
  explicit FieldsWriter(std::size_t count);
  void Add(const FieldRecord& field);
  // The fields written; throws std::logic_error when fewer or more than count were added.
  std::string Take();

 private:
  std::string out_;       // the bytes written, then room for more
  std::size_t used_ = 0;  // how many of out_'s bytes are written
  std::size_t count_;
  std::size_t added_ = 0;
};

// A snapshot as readable JSON and back (zentab-dbreader --dump); strings that are not valid
// UTF-8 have their bad bytes replaced.
std::string EncodeSnapshot(const DatabaseSnapshot& snapshot);
DatabaseSnapshot DecodeSnapshot(std::string_view json);

// The frame's 4-byte length prefix for a payload of size bytes.
std::string FramePrefix(std::size_t size);
// The payload length a prefix announces; throws WireError beyond kMaxFrameBytes.
std::uint32_t FrameLength(const unsigned char prefix[4]);

// Blocking frame I/O on a file descriptor (used by the reader process). ReadFrame returns
// nothing at a clean end of input; both throw WireError on a broken stream.
std::optional<std::string> ReadFrame(int fd);
void WriteFrame(int fd, std::string_view payload);

}  // namespace zentab::engine
