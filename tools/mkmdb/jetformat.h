// Page sizes and structure offsets that differ between Jet 3 and Jet 4 files, and the
// little-endian byte helpers the page builders share. docs/FORMAT.md ("Writing") is the map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mkmdb/mkmdb.h"

namespace zentab::mkmdb {

struct JetFormat {
  JetVersion version;
  bool jet3;
  std::uint32_t pageSize;           // 2048 or 4096
  std::uint32_t rowCountOffset;     // data page: number of rows; the row offsets follow
  std::uint32_t columnsStart;       // table definition: first column descriptor (no indexes)
  std::uint32_t columnEntrySize;    // table definition: bytes per column descriptor
  std::uint32_t mapRowSize;         // usage map row: type byte + 4-byte start/pointers + bitmap
  std::uint32_t textUnitBytes;      // bytes per character of a text column's length
  std::uint32_t headerMaskedBytes;  // header bytes from 0x18 masked with the fixed RC4 key
  std::uint32_t passwordBytes;      // header password field at 0x42

  // Bytes a data page holds for rows and their 2-byte offsets.
  std::uint32_t RowSpace() const { return pageSize - rowCountOffset - 2; }
  // The largest single row a data page holds.
  std::uint32_t MaxRowBytes() const { return RowSpace() - 2; }
  // Pages an inline (type 0) usage map covers from its start page.
  std::uint32_t InlineMapPages() const { return (mapRowSize - 5) * 8; }
  // Pages one usage-map page (type 5, behind a type 1 map) covers.
  std::uint32_t MapPagePages() const { return (pageSize - 4) * 8; }
  // Usage-map pages one type 1 map row can point to.
  std::uint32_t MapPageSlots() const { return (mapRowSize - 1) / 4; }

  static const JetFormat& For(JetVersion version);
};

inline const JetFormat& JetFormat::For(JetVersion version) {
  static constexpr JetFormat kJet3{.version = JetVersion::kJet3,
                                   .jet3 = true,
                                   .pageSize = 2048,
                                   .rowCountOffset = 0x08,
                                   .columnsStart = 43,
                                   .columnEntrySize = 18,
                                   .mapRowSize = 133,
                                   .textUnitBytes = 1,
                                   .headerMaskedBytes = 126,
                                   .passwordBytes = 20};
  static constexpr JetFormat kJet4{.version = JetVersion::kJet4,
                                   .jet3 = false,
                                   .pageSize = 4096,
                                   .rowCountOffset = 0x0C,
                                   .columnsStart = 63,
                                   .columnEntrySize = 25,
                                   .mapRowSize = 69,
                                   .textUnitBytes = 2,
                                   .headerMaskedBytes = 128,
                                   .passwordBytes = 40};
  return version == JetVersion::kJet3 ? kJet3 : kJet4;
}

// Memo and OLE values live outside the row's fixed and variable areas.
inline bool IsLongValue(FieldType type) {
  return type == FieldType::kMemo || type == FieldType::kOle;
}
// Text and binary fields have a size of their own; every other type's is set by the type.
inline bool HasSize(FieldType type) {
  return type == FieldType::kText || type == FieldType::kBinary;
}

// Rows a data page holds at most, whatever their size: a row pointer keeps the row number
// in one byte.
inline constexpr std::uint32_t kMaxRowsPerPage = 255;
// Page numbers in row pointers take three bytes.
inline constexpr std::uint64_t kMaxPages = std::uint64_t{1} << 24;

// Row pointer ("pg_row"): page number in the upper three bytes, row number in the lowest.
inline std::uint32_t RowPointer(std::uint32_t page, std::uint32_t row) {
  if (page >= kMaxPages || row >= kMaxRowsPerPage) {
    throw std::logic_error("row pointer out of range");
  }
  return (page << 8) | row;
}

// Narrows a computed value to 16 bits, failing loudly instead of wrapping.
inline std::uint16_t CheckedU16(std::uint64_t value, const char* what) {
  if (value > 0xFFFF) {
    throw std::logic_error(std::string(what) + " does not fit in 16 bits");
  }
  return static_cast<std::uint16_t>(value);
}

inline void PutU8(std::string& out, std::uint8_t v) {
  out.push_back(static_cast<char>(v));
}
inline void PutU16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
inline void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void PutU64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Overwrites bytes already in out; the range must lie inside it.
inline void SetU16(std::string& out, std::size_t at, std::uint16_t v) {
  if (at + 2 > out.size()) throw std::logic_error("16-bit store past the end of the buffer");
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}
inline void SetU32(std::string& out, std::size_t at, std::uint32_t v) {
  if (at + 4 > out.size()) throw std::logic_error("32-bit store past the end of the buffer");
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void SetBytes(std::string& out, std::size_t at, std::string_view bytes) {
  if (at + bytes.size() > out.size()) throw std::logic_error("store past the end of the buffer");
  out.replace(at, bytes.size(), bytes);
}

}  // namespace zentab::mkmdb
