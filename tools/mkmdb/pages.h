// Builders for every page image the writer emits: the header page, table definitions,
// data and long-value pages, usage maps, and the property blob kept in MSysObjects.LvProp.
// Each follows the matching table in docs/FORMAT.md ("Writing").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mkmdb/encoding.h"
#include "mkmdb/jetformat.h"
#include "mkmdb/layout.h"

namespace zentab::mkmdb {

// XORs `length` bytes of `bytes` from `offset` with the RC4 keystream of the 4-byte key
// (stored little-endian). Applying it twice restores the bytes.
void Rc4Xor(std::uint32_t key, std::string& bytes, std::size_t offset, std::size_t length);

// The key that masks the header from 0x18.
inline constexpr std::uint32_t kHeaderMaskKey = 0x6b39dac7;

// Page 0. `password` is already in the file's text encoding (empty: not protected); Jet 4
// masks it further with the integer part of `creationDate`, stored at 0x72.
std::string BuildHeaderPage(const JetFormat& format, int codePage, std::string_view password,
                            double creationDate);

// A real index: the key columns and flags one or more logical indexes share.
struct RealIndexSpec {
  std::vector<std::pair<std::uint16_t, bool>> columns;  // column number, descending
  std::uint8_t flags = 0;                               // kIndexUnique, ...
  std::uint32_t rootPage = 0;
  std::uint32_t usedMap = 0;  // row pointer of the usage map of its pages
};

// A logical index: a name, its real index and its type.
struct LogicalIndexSpec {
  std::string storedName;  // in the file's text encoding
  std::uint32_t real = 0;  // number of its real index
  std::uint8_t type = 0;   // kIndexTypePrimary, kIndexTypeForeign or 0
  // Foreign-key indexes of a relationship: this table's side (1 referenced, 2 referencing),
  // the other table's index over the other columns and its definition page.
  std::uint8_t relatedSide = 0;
  std::uint32_t relatedIndex = 0xFFFFFFFF;  // none
  std::uint32_t relatedPage = 0;
  std::uint8_t cascadeUpdates = 0;  // 1: cascade updates
  std::uint8_t cascadeDeletes = 0;  // 1: cascade deletes, 2: set Null on delete
};

inline constexpr std::uint8_t kIndexUnique = 0x01;
inline constexpr std::uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr std::uint8_t kIndexRequired = 0x08;
inline constexpr std::uint8_t kIndexTypePrimary = 1;
inline constexpr std::uint8_t kIndexTypeForeign = 2;

struct TableDefinitionInfo {
  const TableLayout* layout = nullptr;
  bool system = false;
  std::uint32_t rowCount = 0;
  std::uint32_t autoNumber = 0;  // last number an autonumber column handed out
  std::uint32_t usedMap = 0;     // row pointer of the usage map of the table's data pages
  std::uint32_t freeMap = 0;     // row pointer of the map of data pages with free space
  int codePage = 0;              // Jet 3 text columns record it
  const std::vector<RealIndexSpec>* realIndexes = nullptr;  // null or empty: none
  const std::vector<LogicalIndexSpec>* logicalIndexes = nullptr;
};

// An index page of a real index without entries: an empty leaf, its root.
std::string IndexRootPage(const JetFormat& format, std::uint32_t tableDefinitionPage);

// The table definition as one logical byte stream: the first page holds its first
// pageSize bytes, each continuation page the next pageSize - 8 after its own 8-byte header.
std::string BuildTableDefinition(const JetFormat& format, const TableDefinitionInfo& info);
std::uint32_t TableDefinitionPageCount(const JetFormat& format, std::size_t streamLength);
// Page `index` (0-based) of the stream; nextPage is 0 on the last one.
std::string TableDefinitionPage(const JetFormat& format, std::string_view stream,
                                std::uint32_t index, std::uint32_t nextPage);

// Owner field of long-value pages: the bytes "LVAL".
inline constexpr std::uint32_t kLongValueOwner = 0x4C41564C;

// A data page (rows for one table, usage-map rows, or long values) filled from its end.
class DataPageBuilder {
 public:
  DataPageBuilder(const JetFormat& format, std::uint32_t owner);
  bool Fits(std::size_t rowBytes) const;
  std::uint32_t Add(std::string_view row);  // returns the row number
  std::uint32_t RowCount() const { return rows_; }
  std::uint32_t FreeBytes() const;
  const std::string& Finish();  // the page image; the builder then starts empty again
  void Reset();

 private:
  const JetFormat& format_;
  std::uint32_t owner_;
  std::string page_;
  std::string finished_;
  std::uint32_t rows_ = 0;
  std::uint32_t dataStart_ = 0;  // lowest byte used by rows
};

// Usage map rows (mapRowSize bytes). Inline (type 0): a bitmap of the pages from `start`;
// the pages [first, first + count) are marked. Reference (type 1): the usage-map pages.
std::string InlineMapRow(const JetFormat& format, std::uint32_t start, std::uint32_t first,
                         std::uint64_t count);
std::string ReferenceMapRow(const JetFormat& format, const std::vector<std::uint32_t>& mapPages);
// A usage-map page (type 5) covering the pages [slot * MapPagePages(), ...).
std::string UsageMapPage(const JetFormat& format, std::uint32_t slot, std::uint32_t first,
                         std::uint64_t count);

// The 12-byte reference a row holds for a memo or OLE value.
std::string LongValueInline(std::string_view value);  // followed by the value itself
std::string LongValueSinglePage(std::uint32_t length, std::uint32_t rowPointer);
std::string LongValueChain(std::uint32_t length, std::uint32_t firstRowPointer);

// The LvProp blob of a local table: the Required, AllowZeroLength and DefaultValue
// properties its fields have. nullopt when none has any.
std::optional<std::string> BuildPropertyBlob(const JetFormat& format, const TextEncoder& encoder,
                                             const TableDescription& table);

}  // namespace zentab::mkmdb
