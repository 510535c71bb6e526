// A table's columns as the file stores them (descriptor fields, place in the row) and the
// encoding of one row from its cell values (docs/FORMAT.md, "Data rows").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mkmdb/jetformat.h"

namespace zentab::mkmdb {

// Column descriptor flag bits.
inline constexpr std::uint8_t kColumnFixed = 0x01;
inline constexpr std::uint8_t kColumnUpdatable = 0x02;
inline constexpr std::uint8_t kColumnAutoLong = 0x04;
inline constexpr std::uint8_t kColumnReplication = 0x10;
inline constexpr std::uint8_t kColumnAutoGuid = 0x40;
inline constexpr std::uint8_t kColumnHyperlink = 0x80;

struct ColumnSpec {
  std::string name;        // UTF-8, for messages
  std::string storedName;  // in the file's text encoding
  FieldType type = FieldType::kLong;
  std::uint16_t length = 0;  // descriptor column length: bytes (text: characters x unit)
  std::uint8_t flags = 0;
  std::uint16_t ordinal = 0;
  std::uint8_t precision = 0;  // decimal only
  std::uint8_t scale = 0;      // decimal only
  // Assigned by MakeLayout:
  std::uint16_t number = 0;       // physical column number: the null-mask bit
  std::uint16_t varIndex = 0;     // variable columns: slot in the offset table; fixed: slots before
  std::uint16_t fixedOffset = 0;  // fixed columns: start within the fixed area

  bool IsFixed() const { return (flags & kColumnFixed) != 0; }
  // Bytes the column takes in the fixed area: booleans live in the null mask only.
  std::uint32_t FixedBytes() const { return IsFixed() && type != FieldType::kBoolean ? length : 0; }
};

struct TableLayout {
  std::vector<ColumnSpec> columns;  // in physical order
  std::uint16_t varCount = 0;
  std::uint32_t fixedBytes = 0;
};

// The descriptor length of a field of this type (text: size characters; binary: size bytes).
std::uint16_t ColumnLength(const JetFormat& format, FieldType type, int size);

// Numbers the columns in the given order and places them in the row.
TableLayout MakeLayout(std::vector<ColumnSpec> columns);

// One value of a row. Booleans live in the null mask: `boolean` is the value, `null` is ignored.
struct Cell {
  bool null = true;
  bool boolean = false;
  std::string bytes;  // fixed columns: exactly FixedBytes(); variable columns: any length
};

// Appends the row holding `cells` (one per column, in layout order) to out.
void EncodeRow(const JetFormat& format, const TableLayout& layout, const std::vector<Cell>& cells,
               std::string& out);

}  // namespace zentab::mkmdb
