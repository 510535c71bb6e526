// Column placement and row encoding for Jet 3 (1-byte offsets with a jump table) and Jet 4
// (2-byte offsets).
#include "mkmdb/layout.h"

#include <stdexcept>

namespace zentab::mkmdb {

std::uint16_t ColumnLength(const JetFormat& format, FieldType type, int size) {
  switch (type) {
    case FieldType::kBoolean:
    case FieldType::kByte:
      return 1;
    case FieldType::kInteger:
      return 2;
    case FieldType::kLong:
    case FieldType::kSingle:
      return 4;
    case FieldType::kCurrency:
    case FieldType::kDouble:
    case FieldType::kDateTime:
    case FieldType::kBigInt:
      return 8;
    case FieldType::kGuid:
      return 16;
    case FieldType::kDecimal:
      return 17;
    case FieldType::kText:
      return CheckedU16(static_cast<std::uint64_t>(size) * format.textUnitBytes, "text length");
    case FieldType::kBinary:
      return CheckedU16(static_cast<std::uint64_t>(size), "binary length");
    case FieldType::kMemo:
    case FieldType::kOle:
      return 0;
  }
  throw std::logic_error("unknown field type");
}

TableLayout MakeLayout(std::vector<ColumnSpec> columns) {
  TableLayout layout;
  std::uint32_t fixedBytes = 0;
  std::uint32_t varCount = 0;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    ColumnSpec& column = columns[i];
    column.number = CheckedU16(i, "column number");
    column.varIndex = CheckedU16(varCount, "variable column slot");
    if (column.IsFixed()) {
      column.fixedOffset = column.FixedBytes() == 0 ? 0 : CheckedU16(fixedBytes, "fixed offset");
      fixedBytes += column.FixedBytes();
    } else {
      column.fixedOffset = 0;
      ++varCount;
    }
  }
  layout.columns = std::move(columns);
  layout.varCount = CheckedU16(varCount, "variable column count");
  layout.fixedBytes = CheckedU16(fixedBytes, "fixed area size");
  return layout;
}

namespace {

void AppendNullMask(const TableLayout& layout, const std::vector<Cell>& cells, std::string& out) {
  const std::size_t start = out.size();
  out.append((layout.columns.size() + 7) / 8, '\0');
  for (std::size_t i = 0; i < layout.columns.size(); ++i) {
    const ColumnSpec& column = layout.columns[i];
    const bool set = column.type == FieldType::kBoolean ? cells[i].boolean : !cells[i].null;
    if (set) out[start + column.number / 8] |= static_cast<char>(1 << (column.number % 8));
  }
}

// Writes the fixed area and the variable data after the column count; returns the
// row-relative start of every variable column plus the end of the data (EOD).
std::vector<std::uint32_t> AppendData(const TableLayout& layout, const std::vector<Cell>& cells,
                                      std::size_t rowStart, std::string& out) {
  const std::size_t fixedStart = out.size();
  out.append(layout.fixedBytes, '\0');
  std::vector<std::uint32_t> offsets(layout.varCount + 1, 0);
  for (std::size_t i = 0; i < layout.columns.size(); ++i) {
    const ColumnSpec& column = layout.columns[i];
    const Cell& cell = cells[i];
    if (!column.IsFixed() || column.FixedBytes() == 0 || cell.null) continue;
    if (cell.bytes.size() != column.FixedBytes()) {
      throw std::logic_error("fixed value of column " + column.name + " has the wrong size");
    }
    SetBytes(out, fixedStart + column.fixedOffset, cell.bytes);
  }
  for (std::size_t i = 0; i < layout.columns.size(); ++i) {
    const ColumnSpec& column = layout.columns[i];
    if (column.IsFixed()) continue;
    offsets[column.varIndex] = static_cast<std::uint32_t>(out.size() - rowStart);
    if (!cells[i].null) out += cells[i].bytes;
  }
  offsets[layout.varCount] = static_cast<std::uint32_t>(out.size() - rowStart);
  return offsets;
}

void EncodeJet4(const TableLayout& layout, const std::vector<Cell>& cells, std::string& out) {
  const std::size_t rowStart = out.size();
  PutU16(out, CheckedU16(layout.columns.size(), "row column count"));
  const auto offsets = AppendData(layout, cells, rowStart, out);
  if (layout.varCount > 0) {
    PutU16(out, CheckedU16(offsets[layout.varCount], "end of row data"));
    for (std::size_t v = layout.varCount; v-- > 0;) {
      PutU16(out, CheckedU16(offsets[v], "variable column offset"));
    }
    PutU16(out, layout.varCount);
  }
  AppendNullMask(layout, cells, out);
}

// Jet 3 keeps only the low byte of each offset; the jump table records, for every 256-byte
// boundary the data crosses, the first offset slot at or beyond it (docs/FORMAT.md).
void EncodeJet3(const TableLayout& layout, const std::vector<Cell>& cells, std::string& out) {
  const std::size_t rowStart = out.size();
  if (layout.columns.size() > 0xFF) throw std::logic_error("Jet 3 row holds at most 255 columns");
  PutU8(out, static_cast<std::uint8_t>(layout.columns.size()));
  const auto offsets = AppendData(layout, cells, rowStart, out);
  if (layout.varCount > 0) {
    const std::uint32_t n = layout.varCount;
    const std::uint32_t dataEnd = offsets[n];
    const std::uint32_t maskBytes = static_cast<std::uint32_t>((layout.columns.size() + 7) / 8);
    const std::uint32_t boundaries = dataEnd >> 8;
    // A reader derives the jump count from the row length; when the offset table pushes the
    // row past one more boundary than the data crosses, a 0xFF placeholder fills that slot.
    const std::uint32_t lengthWithoutDummy = dataEnd + 1 + n + boundaries + 1 + maskBytes;
    bool dummy = false;
    if ((lengthWithoutDummy - 1) / 256 != boundaries) {
      dummy = true;
      if (lengthWithoutDummy / 256 != boundaries + 1) {
        throw std::logic_error("Jet 3 row offset table cannot be laid out");
      }
    }
    PutU8(out, static_cast<std::uint8_t>(dataEnd & 0xFF));
    for (std::uint32_t v = n; v-- > 0;) PutU8(out, static_cast<std::uint8_t>(offsets[v] & 0xFF));
    if (dummy) PutU8(out, 0xFF);
    for (std::uint32_t k = boundaries; k >= 1; --k) {
      std::uint32_t slot = 0;
      while (offsets[slot] < 256 * k) ++slot;  // offsets[n] == dataEnd >= 256 * k stops it
      PutU8(out, static_cast<std::uint8_t>(slot));
    }
    PutU8(out, static_cast<std::uint8_t>(n));
  }
  AppendNullMask(layout, cells, out);
}

}  // namespace

void EncodeRow(const JetFormat& format, const TableLayout& layout, const std::vector<Cell>& cells,
               std::string& out) {
  if (cells.size() != layout.columns.size()) {
    throw std::logic_error("row has a different number of cells than columns");
  }
  if (format.jet3) {
    EncodeJet3(layout, cells, out);
  } else {
    EncodeJet4(layout, cells, out);
  }
}

}  // namespace zentab::mkmdb
