// The Access file-format facts the reader process decodes itself, as pure functions over byte
// buffers: the database header, table definitions and LvProp property blobs (docs/FORMAT.md,
// "Reader"), and the mapping of what they hold to the values the engine presents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "schema/automation.h"

namespace zentab::engine {

using Bytes = std::span<const std::uint8_t>;

// A structure in the file is damaged; the message says which and why.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A page that the file's structures name lies beyond its end: the file was cut short, as a
// copy or download that stopped leaves it.
class TruncatedError : public FormatError {
 public:
  TruncatedError(std::uint32_t page, std::uint64_t filePages);
  std::uint32_t page() const { return page_; }
  std::uint64_t filePages() const { return filePages_; }

 private:
  std::uint32_t page_;
  std::uint64_t filePages_;
};

// Turns text bytes as stored (UTF-16LE in Jet 4 and later, code-page bytes in Jet 3) into
// UTF-8. It runs for every name of every column, so it refers to its function or callable
// object instead of holding a copy: what it refers to must outlive it.
class TextDecoder {
 public:
  using Function = std::string (*)(Bytes);
  // NOLINTNEXTLINE(google-explicit-constructor): a decoding function stands for its decoder.
  TextDecoder(Function decode) : function_(decode) {}
  template <typename Callable>
  requires(!std::is_same_v<std::remove_cvref_t<Callable>, TextDecoder> &&
           !std::is_function_v<Callable> &&
           std::is_invocable_r_v<std::string, const Callable&, Bytes>)
      // NOLINTNEXTLINE(google-explicit-constructor)
      TextDecoder(const Callable& decode)
      : object_(&decode), call_([](const void* object, Bytes bytes) -> std::string {
          return (*static_cast<const Callable*>(object))(bytes);
        }) {}

  std::string operator()(Bytes bytes) const {
    return call_ ? call_(object_, bytes) : function_(bytes);
  }

 private:
  Function function_ = nullptr;
  const void* object_ = nullptr;
  std::string (*call_)(const void*, Bytes) = nullptr;
};

// --- Database header (page 0) ---

struct DatabaseHeader {
  std::uint32_t jetVersion = 0;  // 0 Jet 3, 1 Jet 4, 2 and up the newer formats
  std::uint16_t codePage = 0;
  std::uint32_t encodingKey = 0;  // non-zero: pages are encrypted
  bool hasPassword = false;
  std::size_t pageSize = 0;

  bool IsJet3() const { return jetVersion == 0; }
};

// Decodes the first page (at least the first 0x98 bytes of the file). Throws FormatError when
// the bytes do not start an Access database.
DatabaseHeader ParseDatabaseHeader(Bytes page0);

// --- Table definitions ---

struct ColumnDefinition {
  std::uint8_t type = 0;
  std::uint16_t ordinal = 0;
  std::uint8_t flags = 0;
  std::uint16_t length = 0;
  std::string name;
  std::uint16_t number = 0;  // what index sections refer to the column by
};

struct TableDefinition {
  std::uint32_t rowCount = 0;
  std::vector<ColumnDefinition> columns;  // in storage order
  std::uint32_t logicalIndexCount = 0;
  std::uint32_t realIndexCount = 0;
  std::size_t indexSectionAt = 0;  // where the real-index entries start, after the names
};

// Parses a table definition whose pages have already been joined (the first page whole, then
// each continuation page from offset 8).
TableDefinition ParseTableDefinition(Bytes tdef, bool jet3, const TextDecoder& decode);

// --- Long values (memo, OLE and LvProp cells) ---

// The reference a row holds for a long value: a 4-byte length whose top two bits say where
// the bytes are, a 4-byte row pointer (page << 8 | row) and 4 unused bytes; inline bytes
// follow it in the row.
struct LongValueReference {
  enum class Kind { kInline, kSingleRow, kRowChain };
  Kind kind = Kind::kInline;
  std::uint32_t length = 0;      // the bytes the value declares
  std::uint32_t rowPointer = 0;  // the first (or only) row holding it; not for inline values
  Bytes inlineBytes;             // inline values: the bytes after the reference, within cell
};

// Decodes a long value cell (the reference and any inline bytes). Throws FormatError when the
// cell is shorter than a reference or an inline value is longer than the cell.
LongValueReference ParseLongValueReference(Bytes cell);

// The bytes of row row on a data page: from its offset up to the previous row's offset (the
// page end for row 0). Throws FormatError when the page is not a data page, has no such row,
// the row is deleted or its bounds lie outside the page or out of order.
Bytes DataPageRow(Bytes page, std::size_t row, bool jet3);

// Checks a table's usage map (the row its definition points to) as far as libmdb relies on
// it: at least the type byte, and for a type 0 map the 4-byte number of its first page.
// Throws FormatError.
void CheckUsageMap(Bytes map);

// Reads one whole page of the file (for the pages of a type 1 usage map).
using PageReader = std::function<std::vector<std::uint8_t>(std::uint32_t page)>;

// The first page numbered end or above that a usage map names, as libmdb walks it: a type 0
// map marks pages in its bitmap from its first page on; a type 1 map lists usage-map pages,
// entry k covering pages [k * m, (k + 1) * m) with m = (page size - 4) * 8 bits from offset 4.
// A listed usage-map page numbered end or above is itself the answer; the others are read
// with readPage only when they cover a page numbered end or above. nullopt when there is none,
// and for a map of another type (libmdb then scans every page of the file instead).
std::optional<std::uint32_t> FirstMappedPageFrom(Bytes map, std::uint32_t end, std::size_t pageSize,
                                                 const PageReader& readPage);

// --- LvProp property blobs ---

struct PropertyValue {
  std::uint8_t type = 0;
  Bytes bytes;  // within the blob it was read from
};

// One block of properties: the object's own (the table's, the query's) or one column's.
struct PropertyBlock {
  bool own = false;  // stored as the object's own block (chunk type 0)
  std::string name;
  // By property name as stored, in byte order of the names, each name once (a later record of
  // a name replaces an earlier one).
  std::vector<std::pair<std::string, PropertyValue>> values;

  // The value of the property called exactly name; null when there is none.
  const PropertyValue* Find(std::string_view name) const;
};

// Validates and parses an LvProp blob. Throws FormatError when any length runs outside the
// blob or a record refers to a name that is not there. The values refer to the blob's bytes:
// the blob must outlive the blocks.
std::vector<PropertyBlock> ParsePropertyBlob(Bytes blob, const TextDecoder& decode);

// The value a stored property presents, by its stored type: Boolean as a Boolean; Byte,
// Integer and Long as integers; Currency, Single and Double as numbers; Date as a date; Text
// and Memo as text; a GUID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; other binary values as
// upper-case hexadecimal text. Throws FormatError when the bytes do not fit the type.
Variant PropertyVariant(const PropertyValue& value, const TextDecoder& decode);

// The column blocks of one blob, indexed once for lookups by column name.
class ColumnBlockIndex {
 public:
  explicit ColumnBlockIndex(const std::vector<PropertyBlock>& blocks);
  // The first block with exactly the column's name, else the first whose name differs only in
  // letter case (as LowerCaseKey folds it); null when there is none. The blocks must outlive
  // the index.
  const PropertyBlock* Find(std::string_view column) const;

 private:
  struct Entry {
    const PropertyBlock* block;
    std::uint32_t hash;  // of the folded name
    bool ascii;          // the name is ASCII: it folds letter by letter
  };
  std::vector<Entry> named_;  // the column blocks, in blob order
};

// ColumnBlockIndex(blocks).Find(column), for a single lookup.
const PropertyBlock* FindColumnBlock(const std::vector<PropertyBlock>& blocks,
                                     std::string_view column);

// --- What the engine presents ---

// The engine's type code for a Jet column type (negated Jet code where there is none).
std::int32_t FieldTypeCode(std::uint8_t jetType);

// The engine's field size for a column.
std::int32_t FieldSize(const ColumnDefinition& column, bool jet3);

// The engine's field attribute bits for a column flag byte.
std::int32_t FieldAttributes(std::uint8_t flags);

// The engine's table attribute bits for an MSysObjects row.
std::int32_t TableAttributes(std::int32_t objectType, std::int32_t flags);

// Whether a stored date is one the engine can present: finite and within the automation date
// range, 0100-01-01 to 9999-12-31 23:59:59.
bool IsPresentableDate(double oleDate);

// Field order: by ordinal position, ties by name ignoring case.
void SortColumns(std::vector<ColumnDefinition>& columns);

// The key tables are ordered by: the name lower-cased (Unicode simple lower case); compare keys
// bytewise (code-point order), then the names themselves.
std::string LowerCaseKey(std::string_view utf8);

// Jet 4 text: UTF-16LE, or the compressed form that starts with FF FE. Unpaired surrogates
// and a trailing odd byte become U+FFFD.
std::string DecodeJet4Text(Bytes bytes);

// The file name in a stored link path: the text after the last "\" or "/".
std::string LinkFileName(std::string_view storedPath);

// Throws the FormatError of ReadU16 and ReadU32 for a value of size bytes at offset.
[[noreturn]] void ThrowBeyond(std::size_t size, Bytes bytes, std::size_t offset);

// Little-endian readers that check the range first.
inline std::uint16_t ReadU16(Bytes bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) ThrowBeyond(2, bytes, offset);
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}
// A name stored in a table definition at pos (Jet 3: a 1-byte length, Jet 4: a 2-byte one, then
// that many bytes), decoded; pos moves past it. FormatError ("<what> lies beyond the table
// definition", or ReadU16's) when it does not fit.
std::string ReadDefinitionName(Bytes tdef, std::size_t& pos, bool jet3, const TextDecoder& decode,
                               std::string_view what);
inline std::uint32_t ReadU32(Bytes bytes, std::size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 4) ThrowBeyond(4, bytes, offset);
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

}  // namespace zentab::engine
