// Page images: header, table definitions, data pages, usage maps, long-value references and
// property blobs.
#include "mkmdb/pages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace zentab::mkmdb {

void Rc4Xor(std::uint32_t key, std::string& bytes, std::size_t offset, std::size_t length) {
  if (offset + length > bytes.size()) throw std::logic_error("RC4 range past the buffer");
  const std::array<std::uint8_t, 4> keyBytes{
      static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8),
      static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 24)};
  std::array<std::uint8_t, 256> state;
  for (int i = 0; i < 256; ++i) state[i] = static_cast<std::uint8_t>(i);
  std::uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<std::uint8_t>(j + state[i] + keyBytes[i % 4]);
    std::swap(state[i], state[j]);
  }
  std::uint8_t x = 0, y = 0;
  for (std::size_t n = 0; n < length; ++n) {
    x = static_cast<std::uint8_t>(x + 1);
    y = static_cast<std::uint8_t>(y + state[x]);
    std::swap(state[x], state[y]);
    bytes[offset + n] ^= static_cast<char>(state[static_cast<std::uint8_t>(state[x] + state[y])]);
  }
}

namespace {

constexpr std::size_t kHeaderMaskStart = 0x18;
constexpr std::size_t kHeaderSortOrderJet3 = 0x3A;
constexpr std::size_t kHeaderCodePage = 0x3C;
constexpr std::size_t kHeaderDatabaseKey = 0x3E;
constexpr std::size_t kHeaderPassword = 0x42;
constexpr std::size_t kHeaderSortOrderJet4 = 0x6E;
constexpr std::size_t kHeaderCreationDate = 0x72;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;
// Seen at descriptor bytes 1-4 and table-definition bytes 12-15 of every Jet 4 file Access
// writes; its meaning is not known.
constexpr std::uint32_t kJet4TableMagic = 0x0659;
// Starts every Jet 4 real index entry; its meaning is not known.
constexpr std::uint32_t kJet4IndexMagic = 1923;
// Set in the flags of every Jet 4 real index Access writes; its meaning is not known.
constexpr std::uint8_t kJet4IndexFlag = 0x80;
constexpr std::size_t kIndexColumnSlots = 10;
constexpr std::uint8_t kIndexAscending = 0x01;
constexpr std::uint8_t kIndexDescending = 0x00;

std::uint64_t DoubleBits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

std::string BuildHeaderPage(const JetFormat& format, int codePage, std::string_view password,
                            double creationDate) {
  if (password.size() > format.passwordBytes) throw std::logic_error("password too long");
  std::string page(format.pageSize, '\0');
  SetBytes(page, 0, std::string_view("\x00\x01\x00\x00Standard Jet DB", 19));
  SetU32(page, 0x14, format.jet3 ? 0 : 1);
  SetU16(page, kHeaderCodePage, CheckedU16(static_cast<std::uint64_t>(codePage), "code page"));
  SetU32(page, kHeaderDatabaseKey, 0);  // 0: pages are not encrypted
  std::string passwordField(format.passwordBytes, '\0');
  passwordField.replace(0, password.size(), password);
  if (format.jet3) {
    SetU16(page, kHeaderSortOrderJet3, kGeneralSortOrder);
  } else {
    SetU32(page, kHeaderSortOrderJet4, kGeneralSortOrder);
    std::string date;
    PutU64(date, DoubleBits(creationDate));
    SetBytes(page, kHeaderCreationDate, date);
    const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(creationDate));
    for (std::size_t i = 0; i < passwordField.size(); ++i) {
      passwordField[i] ^= static_cast<char>((mask >> (8 * (i % 4))) & 0xFF);
    }
  }
  SetBytes(page, kHeaderPassword, passwordField);
  Rc4Xor(kHeaderMaskKey, page, kHeaderMaskStart, format.headerMaskedBytes);
  return page;
}

std::string BuildTableDefinition(const JetFormat& format, const TableDefinitionInfo& info) {
  const TableLayout& layout = *info.layout;
  const auto columnCount = CheckedU16(layout.columns.size(), "column count");
  const std::uint8_t tableType = info.system ? 0x53 : 0x4E;
  std::string out;
  PutU8(out, 0x02);  // table definition page
  PutU8(out, 0x01);
  PutU16(out, 0);  // Jet 3: "VC"; Jet 4: free space; both set per page
  PutU32(out, 0);  // next page; set per page
  PutU32(out, 0);  // total length; set below
  if (format.jet3) {
    PutU32(out, info.rowCount);
    PutU32(out, info.autoNumber);
  } else {
    PutU32(out, kJet4TableMagic);
    PutU32(out, info.rowCount);
    PutU32(out, info.autoNumber);
    PutU8(out, info.system ? 0 : 1);  // autonumber in use
    out.append(3 + 4 + 8, '\0');
  }
  PutU8(out, tableType);
  PutU16(out, columnCount);  // most columns a row has
  PutU16(out, layout.varCount);
  PutU16(out, columnCount);
  static const std::vector<RealIndexSpec> kNoRealIndexes;
  static const std::vector<LogicalIndexSpec> kNoLogicalIndexes;
  const auto& reals = info.realIndexes ? *info.realIndexes : kNoRealIndexes;
  const auto& logicals = info.logicalIndexes ? *info.logicalIndexes : kNoLogicalIndexes;
  PutU32(out, static_cast<std::uint32_t>(logicals.size()));
  PutU32(out, static_cast<std::uint32_t>(reals.size()));
  PutU32(out, info.usedMap);
  PutU32(out, info.freeMap);
  if (out.size() != format.columnsStart) throw std::logic_error("table definition header size");

  // Each real index's entry count: the writer puts no entries in its indexes.
  for (std::size_t i = 0; i < reals.size(); ++i) {
    PutU32(out, 0);
    PutU32(out, 0);  // entries
    if (!format.jet3) PutU32(out, 0);
  }

  for (const ColumnSpec& column : layout.columns) {
    const std::size_t start = out.size();
    // Text sort order, or a decimal column's precision and scale.
    auto putSortOrder = [&] {
      if (column.type == FieldType::kDecimal) {
        PutU8(out, column.precision);
        PutU8(out, column.scale);
      } else {
        PutU16(out, kGeneralSortOrder);
      }
    };
    PutU8(out, static_cast<std::uint8_t>(column.type));
    if (format.jet3) {
      PutU16(out, column.number);
      PutU16(out, column.varIndex);
      PutU16(out, column.ordinal);
      PutU16(out, 1);  // always 1 in files Access writes
      putSortOrder();
      PutU16(out, CheckedU16(static_cast<std::uint64_t>(info.codePage), "code page"));
      PutU8(out, column.flags);
      PutU16(out, column.fixedOffset);
      PutU16(out, column.length);
    } else {
      PutU32(out, kJet4TableMagic);
      PutU16(out, column.number);
      PutU16(out, column.varIndex);
      PutU16(out, column.ordinal);
      putSortOrder();
      PutU16(out, 0);  // sort order version
      PutU8(out, column.flags);
      PutU8(out, 0);  // no compressed text
      PutU32(out, 0);
      PutU16(out, column.fixedOffset);
      PutU16(out, column.length);
    }
    if (out.size() - start != format.columnEntrySize) throw std::logic_error("descriptor size");
  }
  for (const ColumnSpec& column : layout.columns) {
    if (format.jet3) {
      if (column.storedName.size() > 0xFF) throw std::logic_error("Jet 3 name too long");
      PutU8(out, static_cast<std::uint8_t>(column.storedName.size()));
    } else {
      PutU16(out, CheckedU16(column.storedName.size(), "column name length"));
    }
    out += column.storedName;
  }
  for (const RealIndexSpec& real : reals) {
    const std::size_t start = out.size();
    if (!format.jet3) PutU32(out, kJet4IndexMagic);
    if (real.columns.empty() || real.columns.size() > kIndexColumnSlots) {
      throw std::logic_error("an index has 1 to 10 columns");
    }
    for (std::size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
      if (slot < real.columns.size()) {
        PutU16(out, real.columns[slot].first);
        PutU8(out, real.columns[slot].second ? kIndexDescending : kIndexAscending);
      } else {
        PutU16(out, 0xFFFF);
        PutU8(out, 0);
      }
    }
    PutU32(out, real.usedMap);
    PutU32(out, real.rootPage);
    if (format.jet3) {
      PutU8(out, real.flags);
    } else {
      PutU32(out, 0);
      PutU8(out, real.flags | kJet4IndexFlag);
      out.append(5, '\0');
    }
    if (out.size() - start != (format.jet3 ? 39u : 52u)) throw std::logic_error("index size");
  }
  for (std::size_t i = 0; i < logicals.size(); ++i) {
    const LogicalIndexSpec& logical = logicals[i];
    const std::size_t start = out.size();
    if (!format.jet3) PutU32(out, kJet4TableMagic);
    PutU32(out, static_cast<std::uint32_t>(i));  // index number
    PutU32(out, logical.real);
    PutU8(out, logical.relatedSide);
    PutU32(out, logical.relatedIndex);
    PutU32(out, logical.relatedPage);
    // Access writes 4 and 4 here for indexes outside relationships; foreign keys hold their
    // cascade flags.
    const bool foreign = logical.type == kIndexTypeForeign;
    PutU8(out, foreign ? logical.cascadeUpdates : 4);
    PutU8(out, foreign ? logical.cascadeDeletes : 4);
    PutU8(out, logical.type);
    if (!format.jet3) PutU32(out, 0);
    if (out.size() - start != (format.jet3 ? 20u : 28u)) throw std::logic_error("index size");
  }
  for (const LogicalIndexSpec& logical : logicals) {
    if (format.jet3) {
      if (logical.storedName.size() > 0xFF) throw std::logic_error("Jet 3 name too long");
      PutU8(out, static_cast<std::uint8_t>(logical.storedName.size()));
    } else {
      PutU16(out, CheckedU16(logical.storedName.size(), "index name length"));
    }
    out += logical.storedName;
  }
  PutU16(out, 0xFFFF);  // end of the (empty) list of long-value column maps
  SetU32(out, 8, static_cast<std::uint32_t>(out.size()));
  return out;
}

std::uint32_t TableDefinitionPageCount(const JetFormat& format, std::size_t streamLength) {
  if (streamLength <= format.pageSize) return 1;
  const std::size_t perPage = format.pageSize - 8;
  return static_cast<std::uint32_t>(1 + (streamLength - format.pageSize + perPage - 1) / perPage);
}

std::string TableDefinitionPage(const JetFormat& format, std::string_view stream,
                                std::uint32_t index, std::uint32_t nextPage) {
  const std::size_t perPage = format.pageSize - 8;
  std::string page(format.pageSize, '\0');
  std::size_t used;
  if (index == 0) {
    used = std::min<std::size_t>(stream.size(), format.pageSize);
    SetBytes(page, 0, stream.substr(0, used));
  } else {
    const std::size_t from = format.pageSize + (index - 1) * perPage;
    if (from >= stream.size()) throw std::logic_error("table definition page past its end");
    const std::string_view part = stream.substr(from, perPage);
    SetBytes(page, 0, stream.substr(0, 2));  // page type and the constant 0x01
    SetBytes(page, 8, part);
    used = 8 + part.size();
  }
  if (format.jet3) {
    SetBytes(page, 2, "VC");
  } else {
    const std::size_t free = format.pageSize - used;
    SetU16(page, 2, CheckedU16(free >= 8 ? free - 8 : 0, "table definition free space"));
  }
  SetU32(page, 4, nextPage);
  return page;
}

std::string IndexRootPage(const JetFormat& format, std::uint32_t tableDefinitionPage) {
  // Jet 4 has 4 more header bytes before the page links and one after the prefix length.
  const std::size_t entriesStart = format.jet3 ? 22 + 226 : 27 + 453;
  std::string page(format.pageSize, '\0');
  page[0] = 0x04;  // leaf
  page[1] = 0x01;
  SetU16(page, 2, CheckedU16(format.pageSize - entriesStart, "index page free space"));
  SetU32(page, 4, tableDefinitionPage);
  // Previous, next and tail pages, the prefix length and the entry bitmap stay zero.
  return page;
}

DataPageBuilder::DataPageBuilder(const JetFormat& format, std::uint32_t owner)
    : format_(format), owner_(owner) {
  Reset();
}

void DataPageBuilder::Reset() {
  page_.assign(format_.pageSize, '\0');
  page_[0] = 0x01;  // data page
  page_[1] = 0x01;
  SetU32(page_, 4, owner_);
  rows_ = 0;
  dataStart_ = format_.pageSize;
}

std::uint32_t DataPageBuilder::FreeBytes() const {
  return dataStart_ - (format_.rowCountOffset + 2 + 2 * rows_);
}

bool DataPageBuilder::Fits(std::size_t rowBytes) const {
  return rows_ < kMaxRowsPerPage && rowBytes + 2 <= FreeBytes();
}

std::uint32_t DataPageBuilder::Add(std::string_view row) {
  if (!Fits(row.size())) throw std::logic_error("row does not fit on the page");
  dataStart_ -= static_cast<std::uint32_t>(row.size());
  SetBytes(page_, dataStart_, row);
  SetU16(page_, format_.rowCountOffset + 2 + 2 * rows_, CheckedU16(dataStart_, "row offset"));
  return rows_++;
}

const std::string& DataPageBuilder::Finish() {
  SetU16(page_, 2, CheckedU16(FreeBytes(), "free space"));
  SetU16(page_, format_.rowCountOffset, CheckedU16(rows_, "row count"));
  finished_.swap(page_);
  Reset();
  return finished_;
}

std::string InlineMapRow(const JetFormat& format, std::uint32_t start, std::uint32_t first,
                         std::uint64_t count) {
  if (count > 0 && (first < start || first - start + count > format.InlineMapPages())) {
    throw std::logic_error("pages outside the inline usage map");
  }
  std::string row;
  PutU8(row, 0x00);
  PutU32(row, start);
  row.append(format.mapRowSize - 5, '\0');
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t bit = first - start + i;
    row[5 + bit / 8] |= static_cast<char>(1 << (bit % 8));
  }
  return row;
}

std::string ReferenceMapRow(const JetFormat& format, const std::vector<std::uint32_t>& mapPages) {
  if (mapPages.size() > format.MapPageSlots()) throw std::logic_error("too many usage-map pages");
  std::string row;
  PutU8(row, 0x01);
  for (const std::uint32_t page : mapPages) PutU32(row, page);
  row.append(format.mapRowSize - row.size(), '\0');
  return row;
}

std::string UsageMapPage(const JetFormat& format, std::uint32_t slot, std::uint32_t first,
                         std::uint64_t count) {
  std::string page(format.pageSize, '\0');
  page[0] = 0x05;
  page[1] = 0x01;
  const std::uint64_t covered = format.MapPagePages();
  const std::uint64_t from = std::max<std::uint64_t>(first, slot * covered);
  const std::uint64_t to = std::min<std::uint64_t>(first + count, (slot + 1) * covered);
  for (std::uint64_t p = from; p < to; ++p) {
    const std::uint64_t bit = p - slot * covered;
    page[4 + bit / 8] |= static_cast<char>(1 << (bit % 8));
  }
  return page;
}

namespace {

std::string LongValueReference(std::uint32_t lengthAndFlags, std::uint32_t rowPointer) {
  std::string out;
  PutU32(out, lengthAndFlags);
  PutU32(out, rowPointer);
  PutU32(out, 0);
  return out;
}

constexpr std::uint32_t kLongValueMaxLength = 0x00FFFFFF;

std::uint32_t CheckedLongValueLength(std::size_t length) {
  if (length > kLongValueMaxLength) throw std::logic_error("long value too long");
  return static_cast<std::uint32_t>(length);
}

}  // namespace

std::string LongValueInline(std::string_view value) {
  return LongValueReference(CheckedLongValueLength(value.size()) | 0x80000000u, 0) +
         std::string(value);
}

std::string LongValueSinglePage(std::uint32_t length, std::uint32_t rowPointer) {
  return LongValueReference(CheckedLongValueLength(length) | 0x40000000u, rowPointer);
}

std::string LongValueChain(std::uint32_t length, std::uint32_t firstRowPointer) {
  return LongValueReference(CheckedLongValueLength(length), firstRowPointer);
}

namespace {

// One property of a block in LvProp.
struct PropertyRecord {
  std::string name;  // UTF-8
  std::uint8_t type;
  std::uint8_t ddl;
  std::string value;  // stored bytes
};

}  // namespace

std::optional<std::string> BuildPropertyBlob(const JetFormat& format, const TextEncoder& encoder,
                                             const TableDescription& table) {
  using Record = PropertyRecord;
  constexpr std::uint8_t kBooleanProperty = 0x01;
  constexpr std::uint8_t kLongProperty = 0x04;
  constexpr std::uint8_t kDoubleProperty = 0x07;
  constexpr std::uint8_t kTextProperty = 0x0A;
  constexpr std::uint8_t kMemoProperty = 0x0C;
  constexpr std::size_t kTextPropertyMaxChars = 255;  // longer text is stored as memo
  constexpr std::uint16_t kNameChunk = 0x80;
  constexpr std::uint16_t kTableChunk = 0x00;
  constexpr std::uint16_t kColumnChunk = 0x01;

  auto recordOf = [&](const std::string& name, const PropertyValue& property) {
    Record record{name, 0, 0, {}};
    switch (property.kind) {
      case PropertyValue::Kind::kBoolean:
        record.type = kBooleanProperty;
        record.value.assign(1, property.boolean ? 1 : 0);
        break;
      case PropertyValue::Kind::kLong:
        record.type = kLongProperty;
        PutU32(record.value, static_cast<std::uint32_t>(property.integer));
        break;
      case PropertyValue::Kind::kDouble: {
        record.type = kDoubleProperty;
        std::uint64_t bits;
        std::memcpy(&bits, &property.number, sizeof bits);
        PutU64(record.value, bits);
        break;
      }
      case PropertyValue::Kind::kText: {
        record.value = encoder.Encode(property.text);
        const std::size_t chars = record.value.size() / format.textUnitBytes;
        record.type = chars > kTextPropertyMaxChars ? kMemoProperty : kTextProperty;
        break;
      }
    }
    return record;
  };

  // The records of each block: the table's own (name empty), then the columns'.
  std::vector<std::pair<const std::string*, std::vector<Record>>> blocks;
  static const std::string kNoName;
  std::vector<Record> own;
  for (const auto& [name, property] : table.properties) own.push_back(recordOf(name, property));
  if (!own.empty()) blocks.emplace_back(&kNoName, std::move(own));
  for (const FieldDescription& field : table.fields) {
    std::vector<Record> records;
    // The shortcut properties are design (DDL) properties.
    if (field.defaultValue) {
      records.push_back({"DefaultValue", kMemoProperty, 1, encoder.Encode(*field.defaultValue)});
    }
    if (field.required) {
      records.push_back({"Required", kBooleanProperty, 1, std::string(1, *field.required)});
    }
    if (field.allowZeroLength) {
      records.push_back(
          {"AllowZeroLength", kBooleanProperty, 1, std::string(1, *field.allowZeroLength)});
    }
    for (const auto& [name, property] : field.properties)
      records.push_back(recordOf(name, property));
    if (!records.empty()) blocks.emplace_back(&field.name, std::move(records));
  }
  if (blocks.empty()) return std::nullopt;

  // Each name once: the shortcut names first in a fixed order, then the rest as first used.
  std::vector<std::string> names;
  auto nameIndex = [&](const std::string& name) -> std::uint16_t {
    const auto it = std::find(names.begin(), names.end(), name);
    if (it != names.end()) return static_cast<std::uint16_t>(it - names.begin());
    throw std::logic_error("property name not listed");
  };
  for (const char* shortcut : {"DefaultValue", "Required", "AllowZeroLength"}) {
    for (const auto& block : blocks) {
      const bool used = std::any_of(block.second.begin(), block.second.end(), [&](const Record& r) {
        return r.ddl == 1 && r.name == shortcut;
      });
      if (used) {
        names.push_back(shortcut);
        break;
      }
    }
  }
  for (const auto& block : blocks) {
    for (const Record& record : block.second) {
      if (std::find(names.begin(), names.end(), record.name) == names.end()) {
        names.push_back(record.name);
      }
    }
  }

  auto chunk = [](std::uint16_t type, const std::string& body) {
    std::string out;
    PutU32(out, static_cast<std::uint32_t>(6 + body.size()));
    PutU16(out, type);
    return out + body;
  };
  auto named = [&](std::string_view utf8) {
    const std::string stored = encoder.Encode(utf8);
    std::string out;
    PutU16(out, CheckedU16(stored.size(), "property name length"));
    return out + stored;
  };

  std::string blob(format.jet3 ? std::string("KKD\0", 4) : std::string("MR2\0", 4));
  std::string namesBody;
  for (const std::string& name : names) namesBody += named(name);
  blob += chunk(kNameChunk, namesBody);

  for (const auto& [blockName, records] : blocks) {
    std::string values;
    for (const Record& record : records) {
      PutU16(values, CheckedU16(8 + record.value.size(), "property record length"));
      PutU8(values, record.ddl);
      PutU8(values, record.type);
      PutU16(values, nameIndex(record.name));
      PutU16(values, CheckedU16(record.value.size(), "property value length"));
      values += record.value;
    }
    const std::string name = named(*blockName);
    std::string body;
    PutU32(body, static_cast<std::uint32_t>(4 + name.size()));
    body += name + values;
    blob += chunk(blockName->empty() ? kTableChunk : kColumnChunk, body);
  }
  return blob;
}

}  // namespace zentab::mkmdb
