// Decoding of the database header, table definitions and LvProp blobs, every length and offset
// checked against the buffer before use; and the mapping of stored values to engine values.
#include "engine/mdbformat.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/translate.h"

namespace zentab::engine {
namespace {

constexpr std::size_t kHeaderMaskStart = 0x18;
constexpr std::size_t kHeaderEnd = 0x18 + 128;

// The fixed RC4 key that masks part of the header page of every Access database.
void Rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) {
  std::array<std::uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  std::uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<std::uint8_t>(j + s[i] + key[i % key.size()]);
    std::swap(s[i], s[j]);
  }
  std::uint8_t a = 0, b = 0;
  for (auto& byte : data) {
    a = static_cast<std::uint8_t>(a + 1);
    b = static_cast<std::uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    byte ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
  }
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes UTF-8 leniently: a byte that does not start a valid sequence stands for itself.
std::vector<std::uint32_t> CodePoints(std::string_view s) {
  std::vector<std::uint32_t> out;
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80             ? 0
            : (c & 0xE0) == 0xC0 ? 1
            : (c & 0xF0) == 0xE0 ? 2
            : (c & 0xF8) == 0xF0 ? 3
                                 : -1;
    std::uint32_t cp = n <= 0 ? c : (c & (0x3Fu >> n));
    bool ok = n >= 0 && s.size() - i > static_cast<std::size_t>(n);
    for (int k = 1; ok && k <= n; ++k) {
      auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (d & 0x3F);
      }
    }
    if (ok) {
      out.push_back(cp);
      i += static_cast<std::size_t>(n) + 1;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

}  // namespace

void ThrowBeyond(std::size_t size, Bytes bytes, std::size_t offset) {
  throw FormatError("a " + std::to_string(size) + "-byte value at offset " +
                    std::to_string(offset) + " lies beyond the end of its structure (" +
                    std::to_string(bytes.size()) + " bytes)");
}

DatabaseHeader ParseDatabaseHeader(Bytes page0) {
  static constexpr char kJet[] = "Standard Jet DB";
  static constexpr char kAce[] = "Standard ACE DB";
  if (page0.size() < kHeaderEnd)
    throw FormatError(platform::Tr("the file is too short to be a database"));
  if (page0[0] != 0 || page0[1] != 1 || page0[2] != 0 || page0[3] != 0 ||
      (std::memcmp(page0.data() + 4, kJet, sizeof kJet) != 0 &&
       std::memcmp(page0.data() + 4, kAce, sizeof kAce) != 0)) {
    throw FormatError(platform::Tr("the file does not start with an Access database header"));
  }
  DatabaseHeader header;
  header.jetVersion = page0[0x14];
  header.pageSize = header.IsJet3() ? 2048 : 4096;
  std::vector<std::uint8_t> plain(page0.begin(), page0.begin() + kHeaderEnd);
  const std::uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
  std::size_t masked = header.IsJet3() ? 126 : 128;
  Rc4(key, std::span<std::uint8_t>(plain).subspan(kHeaderMaskStart, masked));
  header.codePage = ReadU16(plain, 0x3C);
  header.encodingKey = ReadU32(plain, 0x3E);
  std::size_t passwordLength = header.IsJet3() ? 20 : 40;
  std::array<std::uint8_t, 4> mask{};
  if (!header.IsJet3()) {
    // Jet 4 masks the password once more with the whole-day part of the creation date.
    double created = 0;
    std::memcpy(&created, plain.data() + 0x72, sizeof created);
    std::int32_t days = 0;
    if (created > -2147483648.0 && created < 2147483648.0)
      days = static_cast<std::int32_t>(created);
    auto bits = static_cast<std::uint32_t>(days);
    for (int i = 0; i < 4; ++i) mask[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  for (std::size_t i = 0; i < passwordLength; ++i) {
    if ((plain[0x42 + i] ^ mask[i % 4]) != 0) header.hasPassword = true;
  }
  return header;
}

TableDefinition ParseTableDefinition(Bytes tdef, bool jet3, const TextDecoder& decode) {
  const std::size_t rowsAt = jet3 ? 12 : 16;
  const std::size_t columnsAt = jet3 ? 25 : 45;
  const std::size_t logicalIndexesAt = jet3 ? 27 : 47;
  const std::size_t realIndexesAt = jet3 ? 31 : 51;
  const std::size_t descriptorsAt = jet3 ? 43 : 63;
  const std::size_t realIndexSize = jet3 ? 8 : 12;
  const std::size_t descriptorSize = jet3 ? 18 : 25;
  const std::size_t numberAt = jet3 ? 1 : 5;
  const std::size_t ordinalAt = jet3 ? 5 : 9;
  const std::size_t flagsAt = jet3 ? 13 : 15;
  const std::size_t lengthAt = jet3 ? 16 : 23;

  if (tdef.empty() || tdef[0] != 0x02) throw FormatError("the page is not a table definition");
  TableDefinition table;
  table.rowCount = ReadU32(tdef, rowsAt);
  std::size_t count = ReadU16(tdef, columnsAt);
  std::uint32_t realIndexes = ReadU32(tdef, realIndexesAt);
  table.realIndexCount = realIndexes;
  table.logicalIndexCount = ReadU32(tdef, logicalIndexesAt);
  if (realIndexes > 1000) {
    throw FormatError("the table definition claims " + std::to_string(realIndexes) + " indexes");
  }
  std::size_t pos = descriptorsAt + realIndexSize * realIndexes;
  if (pos > tdef.size() || (tdef.size() - pos) / descriptorSize < count) {
    throw FormatError("the table definition is too short for its " + std::to_string(count) +
                      " column descriptors");
  }
  table.columns.resize(count);
  for (auto& column : table.columns) {
    Bytes d = tdef.subspan(pos, descriptorSize);
    column.type = d[0];
    column.number = ReadU16(d, numberAt);
    column.ordinal = ReadU16(d, ordinalAt);
    column.flags = d[flagsAt];
    column.length = ReadU16(d, lengthAt);
    pos += descriptorSize;
  }
  for (auto& column : table.columns) {
    column.name = ReadDefinitionName(tdef, pos, jet3, decode, "a column name");
  }
  table.indexSectionAt = pos;
  return table;
}

std::string ReadDefinitionName(Bytes tdef, std::size_t& pos, bool jet3, const TextDecoder& decode,
                               std::string_view what) {
  // The message is made only when it is needed: this runs for every column of every table.
  auto beyond = [what] {
    return FormatError(std::string(what) + " lies beyond the table definition");
  };
  std::size_t length = 0;
  if (jet3) {
    if (pos >= tdef.size()) throw beyond();
    length = tdef[pos];
    pos += 1;
  } else {
    length = ReadU16(tdef, pos);
    pos += 2;
  }
  if (length > tdef.size() - pos) throw beyond();
  std::string name = decode(tdef.subspan(pos, length));
  pos += length;
  return name;
}

LongValueReference ParseLongValueReference(Bytes cell) {
  constexpr std::size_t kReferenceSize = 12;
  if (cell.size() < kReferenceSize) {
    throw FormatError("a long value reference has " + std::to_string(cell.size()) +
                      " bytes, not 12");
  }
  std::uint32_t word = ReadU32(cell, 0);
  LongValueReference ref;
  ref.length = word & 0x3FFFFFFFu;
  ref.rowPointer = ReadU32(cell, 4);
  if (word & 0x80000000u) {
    ref.kind = LongValueReference::Kind::kInline;
    Bytes rest = cell.subspan(kReferenceSize);
    if (ref.length > rest.size()) {
      throw FormatError("an inline long value of " + std::to_string(ref.length) +
                        " bytes has only " + std::to_string(rest.size()) + " in its row");
    }
    ref.inlineBytes = rest.first(ref.length);
  } else if (word & 0x40000000u) {
    ref.kind = LongValueReference::Kind::kSingleRow;
  } else {
    ref.kind = LongValueReference::Kind::kRowChain;
  }
  return ref;
}

Bytes DataPageRow(Bytes page, std::size_t row, bool jet3) {
  constexpr std::uint16_t kDeleted = 0x8000;
  constexpr std::uint16_t kOffsetMask = 0x1FFF;
  const std::size_t countAt = jet3 ? 8 : 12;
  if (page.empty() || page[0] != 0x01) throw FormatError("the row is not on a data page");
  std::uint16_t count = ReadU16(page, countAt);
  if (row >= count) {
    throw FormatError("a data page has " + std::to_string(count) + " rows, not row " +
                      std::to_string(row));
  }
  std::uint16_t entry = ReadU16(page, countAt + 2 + 2 * row);
  if (entry & kDeleted) throw FormatError("row " + std::to_string(row) + " is deleted");
  std::size_t start = entry & kOffsetMask;
  std::size_t end = row == 0 ? page.size() : ReadU16(page, countAt + 2 * row) & kOffsetMask;
  if (start < countAt + 2 + 2 * static_cast<std::size_t>(count) || start > end ||
      end > page.size()) {
    throw FormatError("row " + std::to_string(row) + " of a data page lies at " +
                      std::to_string(start) + ".." + std::to_string(end) + ", outside its page");
  }
  return page.subspan(start, end - start);
}

void CheckUsageMap(Bytes map) {
  if (map.empty()) throw FormatError("the usage map is empty");
  if (map[0] == 0 && map.size() < 5) {
    throw FormatError("the usage map has " + std::to_string(map.size()) +
                      " bytes, too few for its first page number");
  }
}

TruncatedError::TruncatedError(std::uint32_t page, std::uint64_t filePages)
    : FormatError("page " + std::to_string(page) +
                  " lies beyond the end of the file (the file has " + std::to_string(filePages) +
                  " pages)"),
      page_(page),
      filePages_(filePages) {}

namespace {

// The first bit set in bitmap at index from or above.
std::optional<std::uint64_t> FirstBitFrom(Bytes bitmap, std::uint64_t from) {
  for (std::uint64_t byte = from / 8; byte < bitmap.size(); ++byte) {
    std::uint8_t bits = bitmap[byte];
    if (byte == from / 8) bits &= static_cast<std::uint8_t>(0xFF << (from % 8));
    if (bits != 0) return byte * 8 + static_cast<std::uint64_t>(std::countr_zero(bits));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> FirstMappedPageFrom(Bytes map, std::uint32_t end, std::size_t pageSize,
                                                 const PageReader& readPage) {
  if (map.empty()) return std::nullopt;
  if (map[0] == 0) {
    if (map.size() < 5) return std::nullopt;
    std::uint32_t first = ReadU32(map, 1);
    // libmdb adds in 32 bits: a map starting near 2^32 wraps round to low page numbers.
    for (auto bit = FirstBitFrom(map.subspan(5), end > first ? end - first : 0); bit;
         bit = FirstBitFrom(map.subspan(5), *bit + 1)) {
      auto page = static_cast<std::uint32_t>(first + *bit);
      if (page >= end) return page;
    }
    return std::nullopt;
  }
  if (map[0] != 1 || pageSize <= 4) return std::nullopt;
  const std::uint64_t covered = (static_cast<std::uint64_t>(pageSize) - 4) * 8;
  const std::size_t entries = (map.size() - 1) / 4;
  for (std::size_t k = 0; k < entries; ++k) {
    std::uint32_t mapPage = ReadU32(map, 1 + 4 * k);
    if (mapPage == 0) continue;
    if (mapPage >= end) return mapPage;
    std::uint64_t base = k * covered;
    if (base + covered <= end) continue;
    std::vector<std::uint8_t> page = readPage(mapPage);
    if (page.size() < pageSize) {
      throw FormatError("usage-map page " + std::to_string(mapPage) + " cannot be read whole");
    }
    Bytes bitmap = Bytes(page).subspan(4, pageSize - 4);
    auto bit = FirstBitFrom(bitmap, end > base ? end - base : 0);
    if (bit) return static_cast<std::uint32_t>(base + *bit);
  }
  return std::nullopt;
}

std::vector<PropertyBlock> ParsePropertyBlob(Bytes blob, const TextDecoder& decode) {
  if (blob.size() < 4 || !((blob[0] == 'K' && blob[1] == 'K' && blob[2] == 'D' && blob[3] == 0) ||
                           (blob[0] == 'M' && blob[1] == 'R' && blob[2] == '2' && blob[3] == 0))) {
    throw FormatError("the property blob has no KKD or MR2 header");
  }
  std::vector<std::string> names;
  bool haveNames = false;
  std::vector<PropertyBlock> blocks;
  // Room for every block at once: the chunk headers are counted first, as far as they hold.
  std::size_t chunks = 0;
  for (std::size_t at = 4; blob.size() - at >= 6;) {
    std::uint32_t length = ReadU32(blob, at);
    if (length < 6 || length > blob.size() - at) break;
    if (ReadU16(blob, at + 4) <= 0x02) ++chunks;
    at += length;
  }
  blocks.reserve(chunks);
  std::size_t pos = 4;
  while (pos < blob.size()) {
    std::uint32_t chunkLength = ReadU32(blob, pos);
    std::uint16_t chunkType = ReadU16(blob, pos + 4);
    if (chunkLength < 6 || chunkLength > blob.size() - pos) {
      throw FormatError("a property chunk at offset " + std::to_string(pos) + " has length " +
                        std::to_string(chunkLength));
    }
    Bytes chunk = blob.subspan(pos + 6, chunkLength - 6);
    if (chunkType == 0x80) {
      names.clear();
      haveNames = true;
      std::size_t p = 0;
      while (p < chunk.size()) {
        std::uint16_t length = ReadU16(chunk, p);
        if (length > chunk.size() - p - 2) throw FormatError("a property name runs past its chunk");
        names.push_back(decode(chunk.subspan(p + 2, length)));
        p += 2 + length;
      }
    } else if (chunkType <= 0x02) {
      if (!haveNames) throw FormatError("property values come before the property names");
      PropertyBlock& block = blocks.emplace_back();
      block.own = chunkType == 0x00;
      std::uint16_t nameLength = ReadU16(chunk, 4);
      if (nameLength > chunk.size() - 6)
        throw FormatError("a property block name runs past its chunk");
      block.name = decode(chunk.subspan(6, nameLength));
      std::size_t q = 6 + nameLength;
      if (q < chunk.size()) block.values.reserve(4);
      while (q < chunk.size()) {
        if (chunk.size() - q < 8) throw FormatError("a property record is cut short");
        std::uint16_t recordLength = ReadU16(chunk, q);
        if (recordLength < 8 || recordLength > chunk.size() - q) {
          throw FormatError("a property record has length " + std::to_string(recordLength));
        }
        std::uint16_t nameIndex = ReadU16(chunk, q + 4);
        std::uint16_t valueLength = ReadU16(chunk, q + 6);
        if (nameIndex >= names.size())
          throw FormatError("a property record names no known property");
        if (valueLength > recordLength - 8)
          throw FormatError("a property value runs past its record");
        PropertyValue value{chunk[q + 3], chunk.subspan(q + 8, valueLength)};
        const std::string& name = names[nameIndex];
        auto& values = block.values;
        auto at = std::lower_bound(
            values.begin(), values.end(), name,
            [](const auto& item, const std::string& key) { return item.first < key; });
        if (at != values.end() && at->first == name) {
          at->second = value;
        } else {
          values.emplace(at, name, value);
        }
        q += recordLength;
      }
    }
    pos += chunkLength;
  }
  return blocks;
}

Variant PropertyVariant(const PropertyValue& value, const TextDecoder& decode) {
  const auto& b = value.bytes;
  auto need = [&](std::size_t n) {
    if (b.size() < n) {
      throw FormatError("a property of type " + std::to_string(value.type) + " has " +
                        std::to_string(b.size()) + " bytes, not " + std::to_string(n));
    }
  };
  auto u64 = [&] {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[static_cast<std::size_t>(i)];
    return v;
  };
  switch (value.type) {
    case 0x01:
      need(1);
      return Variant(b[0] != 0);
    case 0x02:
      need(1);
      return Variant(static_cast<std::int32_t>(b[0]));
    case 0x03:
      need(2);
      return Variant(static_cast<std::int32_t>(static_cast<std::int16_t>(ReadU16(b, 0))));
    case 0x04:
      need(4);
      return Variant(static_cast<std::int32_t>(ReadU32(b, 0)));
    case 0x05:
      need(8);
      return Variant(static_cast<double>(static_cast<std::int64_t>(u64())) / 10000.0);
    case 0x06: {
      need(4);
      std::uint32_t bits = ReadU32(b, 0);
      float f = 0;
      std::memcpy(&f, &bits, sizeof f);
      return Variant(static_cast<double>(f));
    }
    case 0x07:
    case 0x08: {
      need(8);
      std::uint64_t bits = u64();
      double d = 0;
      std::memcpy(&d, &bits, sizeof d);
      if (value.type == 0x07) return Variant(d);
      if (!IsPresentableDate(d)) throw FormatError("a date property holds no valid date");
      return Variant(Variant::Date{d});
    }
    case 0x0A:
    case 0x0C:
      return Variant(decode(b));
    case 0x0F: {
      need(16);
      char text[40];
      std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                    ReadU32(b, 0), ReadU16(b, 4), ReadU16(b, 6), b[8], b[9], b[10], b[11], b[12],
                    b[13], b[14], b[15]);
      return Variant(std::string(text));
    }
    default: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      std::string text;
      text.reserve(b.size() * 2);
      for (std::uint8_t byte : b) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
      }
      return Variant(std::move(text));
    }
  }
}

const PropertyValue* PropertyBlock::Find(std::string_view name) const {
  // A block holds a handful of values: a scan that compares lengths first beats a search.
  for (const auto& [key, value] : values) {
    if (key == name) return &value;
  }
  return nullptr;
}

namespace {

constexpr char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

// FNV-1a of a name as LowerCaseKey folds it; ascii tells whether the name is ASCII (and so
// folds letter by letter without a copy).
std::uint32_t FoldedHash(std::string_view name, bool& ascii) {
  constexpr std::uint32_t kBasis = 2166136261u;
  auto add = [](std::uint32_t hash, char c) {
    return (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  };
  // ASCII folds letter by letter in one pass; anything else is folded whole first.
  std::uint32_t hash = kBasis;
  ascii = true;
  for (char c : name) {
    if (c & 0x80) {
      ascii = false;
      break;
    }
    hash = add(hash, LowerAscii(c));
  }
  if (!ascii) {
    hash = kBasis;
    for (char c : LowerCaseKey(name)) hash = add(hash, c);
  }
  return hash;
}

bool SameAsciiIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

ColumnBlockIndex::ColumnBlockIndex(const std::vector<PropertyBlock>& blocks) {
  // In blob order, so that the first block of a name is the one found. A table has at most a
  // few hundred columns: a scan over hashes of the folded names beats a hash table.
  named_.reserve(blocks.size());
  for (const auto& block : blocks) {
    if (block.own || block.name.empty()) continue;
    Entry entry{&block, 0, false};
    entry.hash = FoldedHash(block.name, entry.ascii);
    named_.push_back(entry);
  }
}

const PropertyBlock* ColumnBlockIndex::Find(std::string_view column) const {
  bool ascii = false;
  const std::uint32_t hash = FoldedHash(column, ascii);
  const PropertyBlock* folded = nullptr;
  std::optional<std::string> key;  // the column's folded name, made only when needed
  for (const Entry& entry : named_) {
    if (entry.hash != hash) continue;
    if (entry.block->name == column) return entry.block;
    if (folded) continue;  // a later block may still match exactly
    bool same = false;
    if (entry.ascii && ascii) {
      same = SameAsciiIgnoringCase(entry.block->name, column);
    } else {
      if (!key) key = LowerCaseKey(column);
      same = LowerCaseKey(entry.block->name) == *key;
    }
    if (same) folded = entry.block;
  }
  return folded;
}

const PropertyBlock* FindColumnBlock(const std::vector<PropertyBlock>& blocks,
                                     std::string_view column) {
  return ColumnBlockIndex(blocks).Find(column);
}

std::int32_t FieldTypeCode(std::uint8_t jetType) {
  if ((jetType >= 0x01 && jetType <= 0x0C) || jetType == 0x0F) return jetType;
  if (jetType == 0x10) return 20;
  if (jetType == 0x13) return 16;
  return -static_cast<std::int32_t>(jetType);
}

std::int32_t FieldSize(const ColumnDefinition& column, bool jet3) {
  switch (column.type) {
    case 0x01:
    case 0x02:
      return 1;
    case 0x03:
      return 2;
    case 0x04:
    case 0x06:
      return 4;
    case 0x05:
    case 0x07:
    case 0x08:
    case 0x13:
      return 8;
    case 0x0F:
    case 0x10:
      return 16;
    case 0x0B:
    case 0x0C:
      return 0;
    case 0x0A:
      return jet3 ? column.length : column.length / 2;
    default:
      return column.length;
  }
}

std::int32_t FieldAttributes(std::uint8_t flags) {
  std::int32_t bits = (flags & 0x01) ? 1 : 2;
  if (flags & 0x44) bits |= 16;
  if (flags & 0x10) bits |= 8192;
  if (flags & 0x80) bits |= 32768;
  return bits;
}

bool IsPresentableDate(double oleDate) {
  constexpr double kFirst = -657434.0;  // 0100-01-01
  constexpr double kEnd = 2958466.0;    // 10000-01-01
  return std::isfinite(oleDate) && oleDate >= kFirst && oleDate < kEnd;
}

std::int32_t TableAttributes(std::int32_t objectType, std::int32_t flags) {
  auto f = static_cast<std::uint32_t>(flags);
  std::uint32_t bits = f & 0x80000003u;
  if (objectType == 6) bits |= 0x40000000u;
  if (objectType == 4) bits |= 0x20000000u;
  if (objectType == 4 || objectType == 6) bits |= f & 0x00030000u;
  return static_cast<std::int32_t>(bits);
}

void SortColumns(std::vector<ColumnDefinition>& columns) {
  auto byOrdinal = [](const ColumnDefinition& a, const ColumnDefinition& b) {
    return a.ordinal < b.ordinal;
  };
  // Usually every ordinal differs (often they are in order already): the names are folded
  // only where two columns share one.
  if (!std::is_sorted(columns.begin(), columns.end(), byOrdinal)) {
    std::stable_sort(columns.begin(), columns.end(), byOrdinal);
  }
  if (std::adjacent_find(columns.begin(), columns.end(),
                         [](const ColumnDefinition& a, const ColumnDefinition& b) {
                           return a.ordinal == b.ordinal;
                         }) == columns.end()) {
    return;
  }
  // Each name is folded once, not once per comparison.
  std::vector<std::pair<std::string, ColumnDefinition>> keyed;
  keyed.reserve(columns.size());
  for (auto& column : columns) keyed.emplace_back(LowerCaseKey(column.name), std::move(column));
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.second.ordinal != b.second.ordinal) return a.second.ordinal < b.second.ordinal;
    return a.first < b.first;
  });
  for (std::size_t i = 0; i < columns.size(); ++i) columns[i] = std::move(keyed[i].second);
}

std::string LowerCaseKey(std::string_view utf8) {
  std::string out;
  if (IsAscii(utf8)) {
    // ASCII folds on its own.
    out.resize(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) out[i] = LowerAscii(utf8[i]);
    return out;
  }
  out.reserve(utf8.size());
  for (std::uint32_t cp : CodePoints(utf8)) {
    AppendUtf8(out, static_cast<std::uint32_t>(g_unichar_tolower(static_cast<gunichar>(cp))));
  }
  return out;
}

namespace {

// Appends count UTF-16 code units, unit(i) the i-th, as UTF-8: a surrogate pair as its code
// point, an unpaired surrogate as U+FFFD. The room is made once, at most 3 bytes a unit (a
// pair's 4 bytes come from 2 units).
template <typename Unit>
void AppendUtf16(std::string& out, std::size_t count, const Unit& unit) {
  const std::size_t start = out.size();
  out.resize(start + 3 * count);
  char* p = out.data() + start;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t u = unit(i);
    if (u < 0x80) {
      *p++ = static_cast<char>(u);
      continue;
    }
    if (u < 0x800) {
      *p++ = static_cast<char>(0xC0 | (u >> 6));
      *p++ = static_cast<char>(0x80 | (u & 0x3F));
      continue;
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      std::uint32_t next = i + 1 < count ? unit(i + 1) : 0;
      if (u <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
        std::uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00);
        *p++ = static_cast<char>(0xF0 | (cp >> 18));
        *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        ++i;
        continue;
      }
      u = 0xFFFD;
    }
    *p++ = static_cast<char>(0xE0 | (u >> 12));
    *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (u & 0x3F));
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}

}  // namespace

std::string DecodeJet4Text(Bytes bytes) {
  std::string out;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    // Compressed: single bytes stand for U+0000..U+00FF; a zero byte toggles to plain UTF-16LE.
    // The units are gathered first (a pair may straddle a toggle) into one buffer per thread.
    thread_local std::vector<std::uint16_t> units;
    units.clear();
    units.reserve(bytes.size());
    bool compressed = true;
    std::size_t i = 2;
    while (i < bytes.size()) {
      if (bytes[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        units.push_back(bytes[i]);
        ++i;
      } else if (bytes.size() - i >= 2) {
        units.push_back(static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8)));
        i += 2;
      } else {
        units.push_back(0xFFFD);
        ++i;
      }
    }
    AppendUtf16(out, units.size(), [](std::size_t k) -> std::uint32_t { return units[k]; });
    return out;
  }
  const std::uint8_t* data = bytes.data();
  const std::size_t count = bytes.size() / 2;
  // Names are mostly ASCII: one byte a unit, written in place up to the first other unit; the
  // rest, if any, unit by unit.
  out.resize(count);
  std::size_t ascii = 0;
  for (; ascii < count && data[2 * ascii + 1] == 0 && data[2 * ascii] < 0x80; ++ascii) {
    out[ascii] = static_cast<char>(data[2 * ascii]);
  }
  if (ascii < count) {
    out.resize(ascii);
    const std::uint8_t* rest = data + 2 * ascii;
    AppendUtf16(out, count - ascii, [rest](std::size_t k) -> std::uint32_t {
      return static_cast<std::uint32_t>(rest[2 * k] | (rest[2 * k + 1] << 8));
    });
  }
  // A trailing odd byte is no whole unit.
  if (bytes.size() % 2) out += "\xEF\xBF\xBD";
  return out;
}

std::string LinkFileName(std::string_view storedPath) {
  auto cut = storedPath.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? storedPath : storedPath.substr(cut + 1));
}

}  // namespace zentab::engine
