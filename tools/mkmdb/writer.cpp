// Lays out a whole database (every page number decided before the first byte is written)
// and streams it to a temporary file beside the output, which is renamed into place.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "mkmdb/context.h"
#include "mkmdb/encoding.h"
#include "mkmdb/jetformat.h"
#include "mkmdb/layout.h"
#include "mkmdb/mkmdb.h"
#include "mkmdb/pages.h"

namespace zentab::mkmdb {
namespace {

// MSysObjects and its fixed rows.
constexpr std::uint32_t kCatalogPage = 2;  // readers look for MSysObjects here
constexpr std::uint32_t kContainersParentId = 0x0F000000;
constexpr std::uint32_t kTablesContainerId = 0x0F000001;
constexpr std::uint32_t kDatabasesContainerId = 0x0F000002;
constexpr std::uint32_t kRelationshipsContainerId = 0x0F000003;
constexpr std::uint32_t kLinkIdBase = 0x80000000;  // objects without a table definition
constexpr std::uint32_t kSystemObjectFlags = 0x80000000;
constexpr std::uint16_t kTypeLocalTable = 1;
constexpr std::uint16_t kTypeContainer = 3;
constexpr std::uint16_t kTypeOdbcLink = 4;
constexpr std::uint16_t kTypeAccessLink = 6;

// Forms, reports, macros and modules: their container and the type their rows have.
struct ObjectKind {
  ObjectDescription::Kind kind;
  const char* container;
  std::uint16_t type;
};
constexpr ObjectKind kObjectKinds[] = {
    {ObjectDescription::Kind::kForm, "Forms", 0x8000},
    {ObjectDescription::Kind::kReport, "Reports", 0x8004},
    {ObjectDescription::Kind::kMacro, "Scripts", 0x8002},
    {ObjectDescription::Kind::kModule, "Modules", 0x8007},
};

enum CatalogColumn {
  kId,
  kParentId,
  kName,
  kType,
  kDateCreate,
  kDateUpdate,
  kOwner,
  kFlags,
  kDatabase,
  kConnect,
  kForeignName,
  kRmtInfoShort,
  kRmtInfoLong,
  kLv,
  kLvProp,
  kLvModule,
  kLvExtra,
  kCatalogColumnCount
};

struct CatalogColumnDef {
  const char* name;
  FieldType type;
  int size;
};
constexpr CatalogColumnDef kCatalogColumns[kCatalogColumnCount] = {
    {"Id", FieldType::kLong, 0},
    {"ParentId", FieldType::kLong, 0},
    {"Name", FieldType::kText, 255},
    {"Type", FieldType::kInteger, 0},
    {"DateCreate", FieldType::kDateTime, 0},
    {"DateUpdate", FieldType::kDateTime, 0},
    {"Owner", FieldType::kBinary, 255},
    {"Flags", FieldType::kLong, 0},
    {"Database", FieldType::kMemo, 0},
    {"Connect", FieldType::kMemo, 0},
    {"ForeignName", FieldType::kText, 255},
    {"RmtInfoShort", FieldType::kBinary, 255},
    {"RmtInfoLong", FieldType::kOle, 0},
    {"Lv", FieldType::kOle, 0},
    {"LvProp", FieldType::kOle, 0},
    {"LvModule", FieldType::kOle, 0},
    {"LvExtra", FieldType::kOle, 0},
};

// The system tables written when the description needs them, with the columns Access gives
// them, in physical order.
constexpr CatalogColumnDef kRelationshipColumns[] = {
    {"szRelationship", FieldType::kText, 255},
    {"grbit", FieldType::kLong, 0},
    {"ccolumn", FieldType::kLong, 0},
    {"icolumn", FieldType::kLong, 0},
    {"szObject", FieldType::kText, 255},
    {"szColumn", FieldType::kText, 255},
    {"szReferencedObject", FieldType::kText, 255},
    {"szReferencedColumn", FieldType::kText, 255},
};
constexpr std::uint16_t kTypeRelationship = 8;
// Relationship attribute bits a foreign-key index records.
constexpr std::uint32_t kRelationCascadeUpdates = 0x100;
constexpr std::uint32_t kRelationCascadeDeletes = 0x1000;
constexpr std::uint32_t kRelationCascadeNull = 0x2000;
constexpr CatalogColumnDef kQueryColumns[] = {
    {"ObjectId", FieldType::kLong, 0},  {"Attribute", FieldType::kByte, 0},
    {"Order", FieldType::kBinary, 255}, {"Name1", FieldType::kText, 255},
    {"Name2", FieldType::kText, 255},   {"Expression", FieldType::kMemo, 0},
    {"Flag", FieldType::kInteger, 0},   {"LvExtra", FieldType::kLong, 0},  // Jet 4 only
};
constexpr std::size_t kJet3QueryColumns = 7;
constexpr std::uint16_t kTypeQuery = 5;

std::string U16Bytes(std::uint16_t v) {
  std::string out;
  PutU16(out, v);
  return out;
}
std::string U32Bytes(std::uint32_t v) {
  std::string out;
  PutU32(out, v);
  return out;
}
std::string U64Bytes(std::uint64_t v) {
  std::string out;
  PutU64(out, v);
  return out;
}
std::string DoubleBytes(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return U64Bytes(bits);
}

void SetCell(Cell& cell, std::string bytes) {
  cell.null = false;
  cell.bytes = std::move(bytes);
}

// Generated row values: the row number in every type, so that a reader's output shows each
// row distinctly; text and binary keep a constant width so every row has the same size.
class RowValues {
 public:
  RowValues(const JetFormat& format, const TextEncoder& encoder, const TableDescription& table,
            const TableLayout& layout)
      : layout_(layout), table_(table), cells_(layout.columns.size()) {
    for (int d = 0; d < 10; ++d) {
      digits_[d] = encoder.Encode(std::string(1, static_cast<char>('0' + d)));
    }
    space_ = encoder.Encode(" ");
    // ValidateDescription rejects code pages that store these in more than one byte.
    for (const std::string& unit : digits_) {
      if (unit.size() != format.textUnitBytes) throw std::logic_error("digit width");
    }
    if (space_.size() != format.textUnitBytes) throw std::logic_error("space width");
  }

  const std::vector<Cell>& For(std::uint64_t row) {
    for (std::size_t i = 0; i < layout_.columns.size(); ++i) {
      Fill(layout_.columns[i], table_.fields[i], row, cells_[i]);
    }
    return cells_;
  }

 private:
  static constexpr int kDigits = 8;

  // The last `width` decimal digits of row, zero-padded.
  std::string Digits(std::uint64_t row, int width) const {
    std::string out;
    std::uint64_t divisor = 1;
    for (int i = 1; i < width; ++i) divisor *= 10;
    for (int i = 0; i < width; ++i) {
      out += digits_[(row / divisor) % 10];
      divisor /= 10;
    }
    return out;
  }

  void Fill(const ColumnSpec& column, const FieldDescription& field, std::uint64_t row,
            Cell& cell) const {
    cell.null = false;
    cell.boolean = false;
    cell.bytes.clear();
    switch (column.type) {
      case FieldType::kBoolean:
        cell.boolean = row % 2 == 1;
        break;
      case FieldType::kByte:
        cell.bytes.assign(1, static_cast<char>(row & 0xFF));
        break;
      case FieldType::kInteger:
        cell.bytes = U16Bytes(static_cast<std::uint16_t>(row));
        break;
      case FieldType::kLong:
        cell.bytes = U32Bytes(static_cast<std::uint32_t>(field.autoNumber ? row + 1 : row));
        break;
      case FieldType::kBigInt:
        cell.bytes = U64Bytes(row);
        break;
      case FieldType::kCurrency:  // scaled by 10,000
        cell.bytes = U64Bytes(row * 10000);
        break;
      case FieldType::kSingle: {
        const float value = static_cast<float>(row);
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        cell.bytes = U32Bytes(bits);
        break;
      }
      case FieldType::kDouble:
        cell.bytes = DoubleBytes(static_cast<double>(row));
        break;
      case FieldType::kDateTime:  // a day per row, cycling through ten years
        cell.bytes = DoubleBytes(kDefaultDate + static_cast<double>(row % 3653));
        break;
      case FieldType::kGuid:
        cell.bytes = U32Bytes(static_cast<std::uint32_t>(row + 1)) + U16Bytes(column.number) +
                     U16Bytes(0x4000) + std::string("\x80\x00\x00\x00\x00\x00\x00\x01", 8);
        break;
      case FieldType::kDecimal:
        cell.bytes.assign(column.length, '\0');  // zero
        break;
      case FieldType::kText: {
        const int width = std::min(field.size, kDigits);
        cell.bytes = Digits(row, width);
        if (column.IsFixed()) {
          for (int i = width; i < field.size; ++i) cell.bytes += space_;
        }
        break;
      }
      case FieldType::kBinary: {
        const std::size_t width = column.IsFixed() ? column.length : std::min(field.size, 4);
        cell.bytes = U64Bytes(row).substr(0, std::min<std::size_t>(width, 8));
        cell.bytes.resize(width, '\0');
        break;
      }
      case FieldType::kMemo:
        cell.bytes = LongValueInline(Digits(row, kDigits));
        break;
      case FieldType::kOle:
        cell.null = true;
        break;
    }
  }

  const TableLayout& layout_;
  const TableDescription& table_;
  std::vector<Cell> cells_;
  std::string digits_[10];
  std::string space_;
};

struct UsageMaps {
  std::uint32_t usedRow = 0;  // row pointers of the two map rows
  std::uint32_t freeRow = 0;
  bool reference = false;               // type 1: through usage-map pages
  std::vector<std::uint32_t> mapPages;  // type 1: page per slot, 0 where no data page lies
};

// A table that owns data pages: MSysObjects or a local table.
struct StoredTable {
  const TableDescription* description = nullptr;  // null for MSysObjects
  std::string context;
  TableLayout layout;
  std::uint32_t rowBytes = 0;
  std::uint32_t rowsPerPage = 0;
  std::uint64_t rowCount = 0;
  std::uint32_t autoNumber = 0;
  std::uint32_t definitionPage = 0;
  std::uint32_t definitionPages = 0;
  std::uint32_t firstDataPage = 0;
  std::uint64_t dataPages = 0;
  UsageMaps maps;
  std::vector<RealIndexSpec> realIndexes;  // root pages right after the definition
  std::vector<LogicalIndexSpec> logicalIndexes;
  std::string catalogLvProp;
  // System tables other than MSysObjects: their name, rows and data pages, made at planning.
  std::string systemName;
  std::vector<std::string> systemRows;
  std::vector<std::string>
      systemPages;  // the LvProp cell: a long-value reference, or empty for Null
};

class DatabaseWriter {
 public:
  explicit DatabaseWriter(const Description& description)
      : description_(description),
        format_(JetFormat::For(description.format)),
        encoder_(description.format, description.codePage) {}

  void Plan();
  void Write(std::FILE* file, const std::string& path);

 private:
  std::uint32_t Allocate(std::uint64_t count, const std::string& context = "description");
  ColumnSpec MakeColumn(const std::string& name, FieldType type, std::uint16_t length,
                        std::uint8_t flags, std::uint16_t ordinal);
  void PlanLocalTable(std::size_t index);
  void PlanIndexes(const TableDescription& table, StoredTable& stored);
  void LinkForeignIndexes();
  std::string PlaceLongValue(const std::string& value);
  void FlushLongValuePage();
  void PlanCatalog();
  TableLayout SystemLayout(const CatalogColumnDef* columns, std::size_t count);
  StoredTable& AddSystemTable(const std::string& name, TableLayout layout);
  void PlanRelationships();
  std::uint32_t FirstQueryId() const;
  void PlanQueries();
  void PackSystemRows();
  void PlanUsageMaps();
  std::string TableDefinitionStream(const StoredTable& table) const;

  const Description& description_;
  const JetFormat& format_;
  TextEncoder encoder_;
  std::uint64_t nextPage_ = 0;

  StoredTable catalog_;
  std::vector<StoredTable> tables_;
  std::vector<StoredTable> systemTables_;  // definitions after the local tables' ones
  StoredTable* queriesTable_ = nullptr;    // MSysQueries, when there are queries
  std::vector<std::string> queryLvProp_;   // each query's LvProp cell, or empty
  std::vector<std::string> catalogRows_;

  std::uint32_t firstLongValuePage_ = 0;
  std::vector<std::string> longValuePages_;
  std::unique_ptr<DataPageBuilder> longValueBuilder_;

  std::vector<std::string> catalogPages_;
  std::vector<std::string> mapRowPages_;  // page 1, then the rest in order
  std::uint32_t firstExtraMapPage_ = 0;
};

std::uint32_t DatabaseWriter::Allocate(std::uint64_t count, const std::string& context) {
  if (nextPage_ + count > kMaxPages) {
    throw DescriptionError(context + ": the database would need more than " +
                           std::to_string(kMaxPages) + " pages");
  }
  const auto first = static_cast<std::uint32_t>(nextPage_);
  nextPage_ += count;
  return first;
}

ColumnSpec DatabaseWriter::MakeColumn(const std::string& name, FieldType type, std::uint16_t length,
                                      std::uint8_t flags, std::uint16_t ordinal) {
  ColumnSpec column;
  column.name = name;
  column.storedName = encoder_.Encode(name);
  column.type = type;
  column.length = length;
  column.flags = flags;
  column.ordinal = ordinal;
  if (type == FieldType::kDecimal) {
    column.precision = 18;
    column.scale = 0;
  }
  return column;
}

// Field names match ignoring the case of ASCII letters, as the description's checks do.
char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Logical indexes with the same columns, orders and flags share one real index.
void DatabaseWriter::PlanIndexes(const TableDescription& table, StoredTable& stored) {
  for (const IndexDescription& index : table.indexes) {
    RealIndexSpec real;
    for (const IndexColumn& column : index.fields) {
      const auto field = std::find_if(
          stored.layout.columns.begin(), stored.layout.columns.end(), [&](const ColumnSpec& c) {
            return c.name.size() == column.name.size() &&
                   std::equal(c.name.begin(), c.name.end(), column.name.begin(),
                              [](char a, char b) { return FoldAscii(a) == FoldAscii(b); });
          });
      if (field == stored.layout.columns.end()) throw std::logic_error("index field not found");
      real.columns.emplace_back(field->number, column.descending);
    }
    if (index.unique) real.flags |= kIndexUnique;
    if (index.ignoreNulls) real.flags |= kIndexIgnoreNulls;
    if (index.required) real.flags |= kIndexRequired;
    const auto same = std::find_if(
        stored.realIndexes.begin(), stored.realIndexes.end(), [&](const RealIndexSpec& other) {
          return other.columns == real.columns && other.flags == real.flags;
        });
    LogicalIndexSpec logical;
    logical.storedName = encoder_.Encode(index.name);
    logical.real = static_cast<std::uint32_t>(same - stored.realIndexes.begin());
    logical.type = index.primary ? kIndexTypePrimary : index.foreign ? kIndexTypeForeign : 0;
    if (same == stored.realIndexes.end()) stored.realIndexes.push_back(std::move(real));
    stored.logicalIndexes.push_back(std::move(logical));
  }
}

// A foreign-key index refers to the relationship whose columns on its table are the index's
// fields, in order; the index on the other side over the other columns is its related index.
void DatabaseWriter::LinkForeignIndexes() {
  auto sameName = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return FoldAscii(x) == FoldAscii(y);
           });
  };
  auto covers = [&](const IndexDescription& index, const RelationshipDescription& relationship,
                    bool referenced) {
    if (index.fields.size() != relationship.fields.size()) return false;
    for (std::size_t i = 0; i < index.fields.size(); ++i) {
      const RelationshipColumn& pair = relationship.fields[i];
      if (!sameName(index.fields[i].name, referenced ? pair.name : pair.foreignName)) return false;
    }
    return true;
  };
  auto stored = [&](const std::string& name) -> StoredTable* {
    for (StoredTable& table : tables_) {
      if (sameName(table.description->name, name)) return &table;
    }
    return nullptr;  // a linked table
  };
  for (StoredTable& table : tables_) {
    const auto& indexes = table.description->indexes;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      if (!indexes[i].foreign) continue;
      for (const RelationshipDescription& relationship : description_.relationships) {
        const bool referencing = sameName(relationship.foreignTable, table.description->name) &&
                                 covers(indexes[i], relationship, false);
        const bool referenced = !referencing &&
                                sameName(relationship.table, table.description->name) &&
                                covers(indexes[i], relationship, true);
        if (!referencing && !referenced) continue;
        LogicalIndexSpec& logical = table.logicalIndexes[i];
        logical.relatedSide = referenced ? 1 : 2;
        logical.cascadeUpdates = relationship.attributes & kRelationCascadeUpdates ? 1 : 0;
        logical.cascadeDeletes = (relationship.attributes & kRelationCascadeDeletes ? 1 : 0) |
                                 (relationship.attributes & kRelationCascadeNull ? 2 : 0);
        const StoredTable* other =
            stored(referenced ? relationship.foreignTable : relationship.table);
        if (other) {
          logical.relatedPage = other->definitionPage;
          const auto& otherIndexes = other->description->indexes;
          for (std::size_t k = 0; k < otherIndexes.size(); ++k) {
            if (covers(otherIndexes[k], relationship, !referenced)) {
              logical.relatedIndex = static_cast<std::uint32_t>(k);
              break;
            }
          }
        }
        break;
      }
    }
  }
}

void DatabaseWriter::PlanLocalTable(std::size_t index) {
  const TableDescription& table = description_.tables[index];
  StoredTable stored;
  stored.description = &table;
  stored.context = TableContext(index, table.name);
  std::vector<ColumnSpec> columns;
  bool autoLong = false;
  for (const FieldDescription& field : table.fields) {
    std::uint8_t flags = kColumnUpdatable;
    if (field.fixed) flags |= kColumnFixed;
    if (field.autoNumber)
      flags |= field.type == FieldType::kGuid ? kColumnAutoGuid : kColumnAutoLong;
    if (field.replication) flags |= kColumnReplication;
    if (field.hyperlink) flags |= kColumnHyperlink;
    autoLong = autoLong || (field.autoNumber && field.type == FieldType::kLong);
    columns.push_back(MakeColumn(field.name, field.type,
                                 ColumnLength(format_, field.type, field.size), flags,
                                 static_cast<std::uint16_t>(field.ordinal)));
  }
  stored.layout = MakeLayout(std::move(columns));
  stored.rowCount = table.rows;
  stored.autoNumber = autoLong ? static_cast<std::uint32_t>(table.rows) : 0;

  std::string row;
  RowValues values(format_, encoder_, table, stored.layout);
  EncodeRow(format_, stored.layout, values.For(0), row);
  if (row.size() > format_.MaxRowBytes()) {
    throw DescriptionError(stored.context + ": a row takes " + std::to_string(row.size()) +
                           " bytes, more than the " + std::to_string(format_.MaxRowBytes()) +
                           " a page holds");
  }
  stored.rowBytes = static_cast<std::uint32_t>(row.size());
  stored.rowsPerPage =
      std::min<std::uint32_t>(kMaxRowsPerPage, format_.RowSpace() / (stored.rowBytes + 2));
  stored.dataPages = (stored.rowCount + stored.rowsPerPage - 1) / stored.rowsPerPage;

  PlanIndexes(table, stored);
  stored.definitionPages = TableDefinitionPageCount(format_, TableDefinitionStream(stored).size());
  stored.definitionPage = Allocate(stored.definitionPages, stored.context);
  for (RealIndexSpec& real : stored.realIndexes) real.rootPage = Allocate(1, stored.context);
  tables_.push_back(std::move(stored));
}

std::string DatabaseWriter::TableDefinitionStream(const StoredTable& table) const {
  TableDefinitionInfo info;
  info.layout = &table.layout;
  info.system = table.description == nullptr;
  info.rowCount = static_cast<std::uint32_t>(table.rowCount);
  info.autoNumber = table.autoNumber;
  info.usedMap = table.maps.usedRow;
  info.freeMap = table.maps.freeRow;
  info.codePage = description_.codePage;
  info.realIndexes = &table.realIndexes;
  info.logicalIndexes = &table.logicalIndexes;
  return BuildTableDefinition(format_, info);
}

void DatabaseWriter::FlushLongValuePage() {
  if (longValueBuilder_->RowCount() > 0) longValuePages_.push_back(longValueBuilder_->Finish());
}

// Puts a value on long-value pages and returns the 12-byte reference to it. A value that
// fits one row takes a row of the current page; a longer one is chained over rows that
// each fill a page of their own.
std::string DatabaseWriter::PlaceLongValue(const std::string& value) {
  const auto length = static_cast<std::uint32_t>(value.size());
  auto currentPage = [&] {
    return firstLongValuePage_ + static_cast<std::uint32_t>(longValuePages_.size());
  };
  if (value.size() <= format_.MaxRowBytes()) {
    if (!longValueBuilder_->Fits(value.size())) FlushLongValuePage();
    const std::uint32_t row = longValueBuilder_->Add(value);
    return LongValueSinglePage(length, RowPointer(currentPage(), row));
  }
  FlushLongValuePage();
  const std::size_t chunk = format_.MaxRowBytes() - 4;
  const std::uint32_t first = currentPage();
  for (std::size_t at = 0; at < value.size(); at += chunk) {
    const bool last = at + chunk >= value.size();
    const std::uint32_t next = last ? 0 : RowPointer(currentPage() + 1, 0);
    longValueBuilder_->Add(U32Bytes(next) + value.substr(at, chunk));
    if (!last) FlushLongValuePage();
  }
  return LongValueChain(length, RowPointer(first, 0));
}

void DatabaseWriter::PlanCatalog() {
  // Long values too big to keep in the catalog row go to long-value pages first.
  firstLongValuePage_ = static_cast<std::uint32_t>(nextPage_);
  longValueBuilder_ = std::make_unique<DataPageBuilder>(format_, kLongValueOwner);
  const std::size_t inlineLimit = format_.pageSize / 4;
  for (StoredTable& table : tables_) {
    const auto blob = BuildPropertyBlob(format_, encoder_, *table.description);
    if (!blob) continue;
    table.catalogLvProp =
        blob->size() <= inlineLimit ? LongValueInline(*blob) : PlaceLongValue(*blob);
  }
  std::vector<std::string> linkLvProp;  // each linked table's LvProp cell, or empty
  for (const TableDescription& table : description_.tables) {
    if (!table.link) continue;
    const auto blob = BuildPropertyBlob(format_, encoder_, table);
    linkLvProp.push_back(!blob                         ? std::string()
                         : blob->size() <= inlineLimit ? LongValueInline(*blob)
                                                       : PlaceLongValue(*blob));
  }
  PlanQueries();
  FlushLongValuePage();
  Allocate(longValuePages_.size());

  std::vector<Cell> cells(kCatalogColumnCount);
  auto text = [&](CatalogColumn column, std::string_view utf8) {
    SetCell(cells[column], encoder_.Encode(utf8));
  };
  auto date = [&](CatalogColumn column, const std::optional<double>& value) {
    if (value) SetCell(cells[column], DoubleBytes(*value));
  };
  auto addRow = [&](std::uint32_t id, std::uint32_t parentId, const std::string& name,
                    std::uint16_t type, std::optional<double> created,
                    std::optional<double> updated, std::uint32_t flags,
                    const std::string& context) {
    SetCell(cells[kId], U32Bytes(id));
    SetCell(cells[kParentId], U32Bytes(parentId));
    text(kName, name);
    SetCell(cells[kType], U16Bytes(type));
    date(kDateCreate, created);
    date(kDateUpdate, updated);
    SetCell(cells[kFlags], U32Bytes(flags));
    std::string row;
    EncodeRow(format_, catalog_.layout, cells, row);
    if (row.size() > format_.MaxRowBytes()) {
      throw DescriptionError(context + ": its MSysObjects row takes " + std::to_string(row.size()) +
                             " bytes, more than the " + std::to_string(format_.MaxRowBytes()) +
                             " a page holds");
    }
    catalogRows_.push_back(std::move(row));
    for (Cell& cell : cells) cell = Cell{};
  };

  const std::optional<double> fixedDate = kDefaultDate;
  addRow(kTablesContainerId, kContainersParentId, "Tables", kTypeContainer, fixedDate, fixedDate,
         kSystemObjectFlags, "container \"Tables\"");
  addRow(kDatabasesContainerId, kContainersParentId, "Databases", kTypeContainer, fixedDate,
         fixedDate, kSystemObjectFlags, "container \"Databases\"");
  addRow(kRelationshipsContainerId, kContainersParentId, "Relationships", kTypeContainer, fixedDate,
         fixedDate, kSystemObjectFlags, "container \"Relationships\"");
  addRow(kCatalogPage, kTablesContainerId, "MSysObjects", kTypeLocalTable, fixedDate, fixedDate,
         kSystemObjectFlags, "table \"MSysObjects\"");
  for (const StoredTable& table : systemTables_) {
    addRow(table.definitionPage, kTablesContainerId, table.systemName, kTypeLocalTable, fixedDate,
           fixedDate, kSystemObjectFlags, table.context);
  }

  std::uint32_t linkId = kLinkIdBase;
  auto local = tables_.begin();
  for (std::size_t i = 0; i < description_.tables.size(); ++i) {
    const TableDescription& table = description_.tables[i];
    if (table.link) {
      const LinkDescription& link = *table.link;
      if (link.odbc) {
        SetCell(cells[kConnect], LongValueInline(encoder_.Encode(link.connect)));
      } else {
        SetCell(cells[kDatabase], LongValueInline(encoder_.Encode(link.database)));
      }
      text(kForeignName, link.foreignName);
      const std::string& lvProp = linkLvProp.at(linkId - kLinkIdBase);
      if (!lvProp.empty()) SetCell(cells[kLvProp], lvProp);
      addRow(++linkId, kTablesContainerId, table.name, link.odbc ? kTypeOdbcLink : kTypeAccessLink,
             table.created, table.updated, table.flags, TableContext(i, table.name));
      continue;
    }
    if (!local->catalogLvProp.empty()) SetCell(cells[kLvProp], local->catalogLvProp);
    addRow(local->definitionPage, kTablesContainerId, table.name, kTypeLocalTable, table.created,
           table.updated, table.flags, local->context);
    ++local;
  }

  for (const ObjectKind& kind : kObjectKinds) {
    std::uint32_t containerId = 0;
    for (const ObjectDescription& object : description_.objects) {
      if (object.kind != kind.kind) continue;
      if (containerId == 0) {
        containerId = ++linkId;
        addRow(containerId, kContainersParentId, kind.container, kTypeContainer, fixedDate,
               fixedDate, 0, "container " + Quoted(kind.container));
      }
      addRow(++linkId, containerId, object.name, kind.type, object.created, object.updated,
             object.flags, "object " + Quoted(object.name));
    }
  }

  for (const RelationshipDescription& relationship : description_.relationships) {
    addRow(++linkId, kRelationshipsContainerId, relationship.name, kTypeRelationship, fixedDate,
           fixedDate, 0, "relationship " + Quoted(relationship.name));
  }
  PlanRelationships();
  if (!description_.queries.empty() && linkId + 1 != FirstQueryId()) {
    throw std::logic_error("query numbering differs from the plan");
  }
  for (std::size_t i = 0; i < description_.queries.size(); ++i) {
    const QueryDescription& query = description_.queries[i];
    if (!queryLvProp_[i].empty()) SetCell(cells[kLvProp], queryLvProp_[i]);
    addRow(++linkId, kTablesContainerId, query.name, kTypeQuery, query.created, query.updated,
           query.flags, "query " + Quoted(query.name));
  }

  DataPageBuilder builder(format_, kCatalogPage);
  for (const std::string& row : catalogRows_) {
    if (!builder.Fits(row.size())) catalogPages_.push_back(builder.Finish());
    builder.Add(row);
  }
  if (builder.RowCount() > 0) catalogPages_.push_back(builder.Finish());
  catalog_.rowCount = catalogRows_.size();
  catalog_.dataPages = catalogPages_.size();
  catalog_.firstDataPage = catalog_.dataPages > 0 ? Allocate(catalog_.dataPages) : 0;
}

void DatabaseWriter::PlanUsageMaps() {
  std::vector<StoredTable*> owners{&catalog_};
  for (StoredTable& table : tables_) owners.push_back(&table);
  for (StoredTable& table : systemTables_) owners.push_back(&table);

  // Usage-map rows: two per table and one per real index, page 1 first, further pages after
  // the data.
  constexpr int kUsedRow = -1;
  constexpr int kFreeRow = -2;
  std::vector<std::pair<StoredTable*, int>> mapRows;  // owner, which row (index number)
  for (StoredTable* owner : owners) {
    mapRows.emplace_back(owner, kUsedRow);
    mapRows.emplace_back(owner, kFreeRow);
    for (std::size_t k = 0; k < owner->realIndexes.size(); ++k) {
      mapRows.emplace_back(owner, static_cast<int>(k));
    }
  }
  const std::string sample(format_.mapRowSize, '\0');
  DataPageBuilder probe(format_, 0);
  std::uint32_t perPage = 0;
  while (probe.Fits(sample.size())) {
    probe.Add(sample);
    ++perPage;
  }
  const std::uint64_t rowCount = mapRows.size();
  const std::uint64_t extraPages =
      rowCount <= perPage ? 0 : (rowCount - perPage + perPage - 1) / perPage;
  firstExtraMapPage_ = Allocate(extraPages);
  for (std::uint64_t i = 0; i < rowCount; ++i) {
    const std::uint64_t pageIndex = i / perPage;
    const std::uint32_t page =
        pageIndex == 0 ? 1 : firstExtraMapPage_ + static_cast<std::uint32_t>(pageIndex - 1);
    const std::uint32_t pointer = RowPointer(page, static_cast<std::uint32_t>(i % perPage));
    auto [owner, which] = mapRows[i];
    (which == kUsedRow   ? owner->maps.usedRow
     : which == kFreeRow ? owner->maps.freeRow
                         : owner->realIndexes[which].usedMap) = pointer;
  }

  // Tables whose data pages an inline map cannot cover get usage-map pages, after all else.
  for (StoredTable* owner : owners) {
    if (owner->dataPages <= format_.InlineMapPages()) continue;
    const std::uint64_t lastSlot =
        (owner->firstDataPage + owner->dataPages - 1) / format_.MapPagePages();
    if (lastSlot >= format_.MapPageSlots()) {
      throw DescriptionError(owner->context +
                             ": its data pages reach beyond what a usage map can "
                             "cover (" +
                             std::to_string(format_.MapPageSlots()) + " usage-map pages of " +
                             std::to_string(format_.MapPagePages()) + " pages)");
    }
    owner->maps.reference = true;
    owner->maps.mapPages.assign(lastSlot + 1, 0);
    for (std::uint64_t slot = owner->firstDataPage / format_.MapPagePages(); slot <= lastSlot;
         ++slot) {
      owner->maps.mapPages[slot] = Allocate(1);
    }
  }

  DataPageBuilder builder(format_, 0);
  for (std::uint64_t i = 0; i < rowCount; ++i) {
    const StoredTable& owner = *mapRows[i].first;
    const int which = mapRows[i].second;
    std::string row;
    if (which >= 0) {
      const std::uint32_t root = owner.realIndexes[which].rootPage;
      row = InlineMapRow(format_, root, root, 1);
    } else if (which == kUsedRow && owner.maps.reference) {
      row = ReferenceMapRow(format_, owner.maps.mapPages);
    } else {
      // The free-space map marks nothing: every page is written full.
      row = InlineMapRow(format_, owner.firstDataPage, owner.firstDataPage,
                         which == kUsedRow ? owner.dataPages : 0);
    }
    builder.Add(row);
    if (builder.RowCount() == perPage || i + 1 == rowCount)
      mapRowPages_.push_back(builder.Finish());
  }
}

// Columns of a system table: fixed unless text, binary or long; binary as wide as text.
TableLayout DatabaseWriter::SystemLayout(const CatalogColumnDef* defs, std::size_t count) {
  std::vector<ColumnSpec> columns;
  for (std::uint16_t i = 0; i < count; ++i) {
    const CatalogColumnDef& def = defs[i];
    const bool fixed =
        def.type != FieldType::kText && def.type != FieldType::kBinary && !IsLongValue(def.type);
    // Binary system columns are as wide as the text ones (Jet 4: 510 bytes).
    const int size = def.type == FieldType::kBinary
                         ? def.size * static_cast<int>(format_.textUnitBytes)
                         : def.size;
    columns.push_back(MakeColumn(def.name, def.type, ColumnLength(format_, def.type, size),
                                 static_cast<std::uint8_t>((fixed ? kColumnFixed : 0) |
                                                           kColumnUpdatable | kColumnReplication),
                                 i));
  }
  return MakeLayout(std::move(columns));
}

StoredTable& DatabaseWriter::AddSystemTable(const std::string& name, TableLayout layout) {
  StoredTable& table = systemTables_.emplace_back();
  table.systemName = name;
  table.context = "table " + Quoted(name);
  table.layout = std::move(layout);
  table.definitionPages = 1;
  table.definitionPage = Allocate(1, table.context);
  return table;
}

// Rows of MSysRelationships: one per column pair.
void DatabaseWriter::PlanRelationships() {
  if (description_.relationships.empty()) return;
  StoredTable& table = systemTables_.front();
  std::vector<Cell> cells(table.layout.columns.size());
  for (const RelationshipDescription& relationship : description_.relationships) {
    for (std::size_t i = 0; i < relationship.fields.size(); ++i) {
      const RelationshipColumn& pair = relationship.fields[i];
      SetCell(cells[0], encoder_.Encode(relationship.name));
      SetCell(cells[1], U32Bytes(relationship.attributes));
      SetCell(cells[2], U32Bytes(static_cast<std::uint32_t>(relationship.fields.size())));
      SetCell(cells[3], U32Bytes(static_cast<std::uint32_t>(i)));
      SetCell(cells[4], encoder_.Encode(relationship.foreignTable));
      SetCell(cells[5], encoder_.Encode(pair.foreignName));
      SetCell(cells[6], encoder_.Encode(relationship.table));
      SetCell(cells[7], encoder_.Encode(pair.name));
      std::string row;
      EncodeRow(format_, table.layout, cells, row);
      table.systemRows.push_back(std::move(row));
    }
  }
}

// Objects without a table definition are numbered from kLinkIdBase + 1: links, containers
// and their objects, relationships, then queries.
std::uint32_t DatabaseWriter::FirstQueryId() const {
  std::uint32_t id = kLinkIdBase + 1;
  for (const TableDescription& table : description_.tables) id += table.link ? 1 : 0;
  for (const ObjectKind& kind : kObjectKinds) {
    std::uint32_t count = 0;
    for (const ObjectDescription& object : description_.objects) count += object.kind == kind.kind;
    id += count + (count > 0 ? 1 : 0);
  }
  return id + static_cast<std::uint32_t>(description_.relationships.size());
}

// Rows of MSysQueries, and the queries' property blobs; long values go to long-value pages.
void DatabaseWriter::PlanQueries() {
  if (!queriesTable_) return;
  StoredTable& table = *queriesTable_;
  const std::size_t inlineLimit = format_.pageSize / 4;
  std::vector<Cell> cells(table.layout.columns.size());
  std::uint32_t id = FirstQueryId();
  for (const QueryDescription& query : description_.queries) {
    TableDescription owner;
    owner.properties = query.properties;
    const auto blob = BuildPropertyBlob(format_, encoder_, owner);
    queryLvProp_.push_back(!blob                         ? std::string()
                           : blob->size() <= inlineLimit ? LongValueInline(*blob)
                                                         : PlaceLongValue(*blob));
    for (const QueryRow& row : query.rows) {
      for (Cell& cell : cells) cell = Cell{};
      SetCell(cells[0], U32Bytes(id));
      SetCell(cells[1], std::string(1, static_cast<char>(row.attribute)));
      if (row.order) SetCell(cells[2], *row.order);
      if (row.name1) SetCell(cells[3], encoder_.Encode(*row.name1));
      if (row.name2) SetCell(cells[4], encoder_.Encode(*row.name2));
      if (row.expression) {
        const std::string value = encoder_.Encode(*row.expression);
        SetCell(cells[5],
                value.size() <= inlineLimit ? LongValueInline(value) : PlaceLongValue(value));
      }
      if (row.flag) SetCell(cells[6], U16Bytes(static_cast<std::uint16_t>(*row.flag)));
      if (row.lvExtra) SetCell(cells[7], U32Bytes(static_cast<std::uint32_t>(*row.lvExtra)));
      std::string encoded;
      EncodeRow(format_, table.layout, cells, encoded);
      table.systemRows.push_back(std::move(encoded));
    }
    ++id;
  }
}

// Puts the system tables' rows on data pages of their own, after the local tables' data.
void DatabaseWriter::PackSystemRows() {
  for (StoredTable& table : systemTables_) {
    DataPageBuilder builder(format_, table.definitionPage);
    for (const std::string& row : table.systemRows) {
      if (row.size() > format_.MaxRowBytes()) {
        throw DescriptionError(table.context + ": a row takes " + std::to_string(row.size()) +
                               " bytes, more than the " + std::to_string(format_.MaxRowBytes()) +
                               " a page holds");
      }
      if (!builder.Fits(row.size())) table.systemPages.push_back(builder.Finish());
      builder.Add(row);
    }
    if (builder.RowCount() > 0) table.systemPages.push_back(builder.Finish());
    table.rowCount = table.systemRows.size();
    table.dataPages = table.systemPages.size();
    table.firstDataPage = table.dataPages > 0 ? Allocate(table.dataPages, table.context) : 0;
  }
}

void DatabaseWriter::Plan() {
  Allocate(1);  // header
  Allocate(1);  // first usage-map rows
  catalog_.context = "table \"MSysObjects\"";
  catalog_.definitionPage = Allocate(1);
  catalog_.definitionPages = 1;
  catalog_.layout = SystemLayout(kCatalogColumns, kCatalogColumnCount);

  for (std::size_t i = 0; i < description_.tables.size(); ++i) {
    if (!description_.tables[i].link) PlanLocalTable(i);
  }
  LinkForeignIndexes();
  systemTables_.reserve(2);
  if (!description_.relationships.empty()) {
    AddSystemTable("MSysRelationships",
                   SystemLayout(kRelationshipColumns, std::size(kRelationshipColumns)));
  }
  if (!description_.queries.empty()) {
    queriesTable_ = &AddSystemTable(
        "MSysQueries",
        SystemLayout(kQueryColumns, format_.jet3 ? kJet3QueryColumns : std::size(kQueryColumns)));
  }
  PlanCatalog();
  for (StoredTable& table : tables_) {
    table.firstDataPage = table.dataPages > 0 ? Allocate(table.dataPages, table.context) : 0;
  }
  PackSystemRows();
  PlanUsageMaps();
  std::vector<const StoredTable*> system{&catalog_};
  for (const StoredTable& table : systemTables_) system.push_back(&table);
  for (const StoredTable* table : system) {
    if (TableDefinitionStream(*table).size() > format_.pageSize) {
      throw std::logic_error("system table definition exceeds its page");
    }
  }
}

// Writes pages in order, checking that each lands where the plan put it.
class PageSink {
 public:
  PageSink(std::FILE* file, const std::string& path, std::uint32_t pageSize)
      : file_(file), path_(path), pageSize_(pageSize) {}
  void Put(std::uint64_t expectedPage, const std::string& page) {
    if (page.size() != pageSize_ || expectedPage != written_) {
      throw std::logic_error("page " + std::to_string(written_) + " written out of plan");
    }
    if (std::fwrite(page.data(), 1, page.size(), file_) != page.size()) {
      throw OutputError("cannot write " + Quoted(path_) + ": " + std::strerror(errno));
    }
    ++written_;
  }
  std::uint64_t Written() const { return written_; }

 private:
  std::FILE* file_;
  const std::string& path_;
  std::uint32_t pageSize_;
  std::uint64_t written_ = 0;
};

void DatabaseWriter::Write(std::FILE* file, const std::string& path) {
  PageSink sink(file, path, format_.pageSize);
  sink.Put(0, BuildHeaderPage(format_, description_.codePage,
                              encoder_.Encode(description_.password), kDefaultDate));
  sink.Put(1, mapRowPages_.at(0));
  sink.Put(kCatalogPage, TableDefinitionPage(format_, TableDefinitionStream(catalog_), 0, 0));
  for (const StoredTable& table : tables_) {
    const std::string stream = TableDefinitionStream(table);
    if (TableDefinitionPageCount(format_, stream.size()) != table.definitionPages) {
      throw std::logic_error("table definition changed size after planning");
    }
    for (std::uint32_t i = 0; i < table.definitionPages; ++i) {
      const std::uint32_t next = i + 1 < table.definitionPages ? table.definitionPage + i + 1 : 0;
      sink.Put(table.definitionPage + i, TableDefinitionPage(format_, stream, i, next));
    }
    for (const RealIndexSpec& real : table.realIndexes) {
      sink.Put(real.rootPage, IndexRootPage(format_, table.definitionPage));
    }
  }
  for (const StoredTable& table : systemTables_) {
    sink.Put(table.definitionPage,
             TableDefinitionPage(format_, TableDefinitionStream(table), 0, 0));
  }
  for (std::size_t i = 0; i < longValuePages_.size(); ++i) {
    sink.Put(firstLongValuePage_ + i, longValuePages_[i]);
  }
  for (std::size_t i = 0; i < catalogPages_.size(); ++i) {
    sink.Put(catalog_.firstDataPage + i, catalogPages_[i]);
  }

  std::string row;
  for (const StoredTable& table : tables_) {
    RowValues values(format_, encoder_, *table.description, table.layout);
    DataPageBuilder builder(format_, table.definitionPage);
    std::uint64_t page = table.firstDataPage;
    for (std::uint64_t r = 0; r < table.rowCount; ++r) {
      row.clear();
      EncodeRow(format_, table.layout, values.For(r), row);
      if (row.size() != table.rowBytes) throw std::logic_error("row size differs between rows");
      if (builder.RowCount() == table.rowsPerPage) sink.Put(page++, builder.Finish());
      builder.Add(row);
    }
    if (builder.RowCount() > 0) sink.Put(page++, builder.Finish());
    if (page - table.firstDataPage != table.dataPages && table.rowCount > 0) {
      throw std::logic_error("data page count differs from the plan");
    }
  }

  for (const StoredTable& table : systemTables_) {
    for (std::size_t i = 0; i < table.systemPages.size(); ++i) {
      sink.Put(table.firstDataPage + i, table.systemPages[i]);
    }
  }

  for (std::size_t i = 1; i < mapRowPages_.size(); ++i) {
    sink.Put(firstExtraMapPage_ + i - 1, mapRowPages_[i]);
  }
  std::vector<const StoredTable*> owners{&catalog_};
  for (const StoredTable& table : tables_) owners.push_back(&table);
  for (const StoredTable& table : systemTables_) owners.push_back(&table);
  for (const StoredTable* owner : owners) {
    const auto& pages = owner->maps.mapPages;
    for (std::uint32_t slot = 0; slot < pages.size(); ++slot) {
      if (pages[slot] == 0) continue;
      sink.Put(pages[slot], UsageMapPage(format_, slot, owner->firstDataPage, owner->dataPages));
    }
  }
  if (sink.Written() != nextPage_) throw std::logic_error("page count differs from the plan");
}

// A temporary file beside the output; removed unless committed.
class TempFile {
 public:
  explicit TempFile(const std::string& outputPath) : outputPath_(outputPath) {
    std::string pattern = outputPath + ".tmp-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      throw OutputError("cannot create a file beside " + Quoted(outputPath) + ": " +
                        std::strerror(errno));
    }
    path_ = pattern;
    file_ = fdopen(fd, "wb");
    if (!file_) {
      const int error = errno;
      ::close(fd);
      ::unlink(path_.c_str());
      throw OutputError("cannot write " + Quoted(outputPath) + ": " + std::strerror(error));
    }
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    fchmod(fd, 0644);
  }
  ~TempFile() {
    if (file_) std::fclose(file_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  std::FILE* File() const { return file_; }

  void Commit() {
    const bool flushed = std::fflush(file_) == 0;
    const int error = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
      throw OutputError("cannot write " + Quoted(outputPath_) + ": " +
                        std::strerror(flushed ? errno : error));
    }
    if (std::rename(path_.c_str(), outputPath_.c_str()) != 0) {
      throw OutputError("cannot write " + Quoted(outputPath_) + ": " + std::strerror(errno));
    }
    committed_ = true;
  }

 private:
  std::string outputPath_;
  std::string path_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

// Writes a description ValidateDescription has accepted.
void WriteValidated(const Description& description, const std::string& outputPath) {
  DatabaseWriter writer(description);
  writer.Plan();
  TempFile temp(outputPath);
  writer.Write(temp.File(), outputPath);
  temp.Commit();
}

}  // namespace

void WriteMdb(const Description& description, const std::string& outputPath) {
  ValidateDescription(description);
  WriteValidated(description, outputPath);
}

void WriteMdbFromJson(const std::string& jsonText, const std::string& outputPath) {
  WriteValidated(ParseDescription(jsonText), outputPath);
}

}  // namespace zentab::mkmdb
