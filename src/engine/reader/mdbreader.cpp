// The reader process's work on one file: check the header, open it with libmdb, scan
// MSysObjects, then decode each table's definition pages and LvProp blob itself (libmdb's
// catalog reader hangs or crashes on damaged property blobs and drops column flags). Whatever
// libmdb is known to take on trust (the catalogue's usage map, long-value chains) is checked
// or read here first, and so is every page the catalogue names against the file's length: a
// file cut short is refused or its cut tables fail, never read as if whole.
#include "engine/reader/mdbreader.h"

#include <fcntl.h>
#include <mdbtools.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <vector>

#include "engine/indexdef.h"
#include "engine/mdbformat.h"
#include "engine/querysql.h"
#include "engine/relations.h"
#include "engine/wire.h"
#include "platform/paths.h"
#include "platform/translate.h"

namespace zentab::engine {
namespace {

using platform::Format;
using platform::Tr;

constexpr std::int32_t kTypeLocalTable = 1;
constexpr std::int32_t kTypeContainer = 3;
constexpr std::int32_t kTypeOdbcLink = 4;
constexpr std::int32_t kTypeQuery = 5;
constexpr std::int32_t kTypeAccessLink = 6;
constexpr std::int32_t kRootParentId = 0x0F000000;
constexpr std::size_t kMaxTdefPages = 512;
constexpr std::uint32_t kMaxLongValueBytes = 64u << 20;

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

// One row of MSysObjects, as far as the engine needs it.
struct CatalogRow {
  std::int32_t id = 0;
  std::int32_t parentId = 0;
  std::int32_t type = 0;
  std::int32_t flags = 0;
  std::string name;
  std::optional<double> created;
  std::optional<double> updated;
  std::string database;
  std::string foreignName;
  std::string connect;
  // The LvProp cell as stored in the row (a long value reference), read when the table is.
  std::optional<std::vector<std::uint8_t>> lvPropCell;
  // Set when the link's Database or ForeignName cannot be read.
  std::optional<std::string> linkError;
};

// An open database: the libmdb handle plus what the header said.
class Database {
 public:
  Database(std::string path, MdbHandle* mdb, DatabaseHeader header, std::uint64_t fileSize)
      : path_(std::move(path)), mdb_(mdb), header_(header), fileSize_(fileSize) {}
  ~Database() { mdb_close(mdb_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& path() const { return path_; }
  MdbHandle* mdb() const { return mdb_; }
  bool jet3() const { return header_.IsJet3(); }
  std::uint32_t jetVersion() const { return header_.jetVersion; }

  // Text as stored in this file, as UTF-8.
  std::string Decode(Bytes bytes) const {
    if (!jet3()) return DecodeJet4Text(bytes);
    if (bytes.empty()) return {};
    std::vector<char> out(bytes.size() * 4 + 16);
    int n = mdb_unicode2ascii(mdb_, reinterpret_cast<const char*>(bytes.data()), bytes.size(),
                              out.data(), out.size());
    if (n < 0) return {};
    return std::string(out.data(), std::min<std::size_t>(static_cast<std::size_t>(n), out.size()));
  }
  // Decode as a TextDecoder; it refers to this database.
  TextDecoder Decoder() const { return TextDecoder(decoder_); }

  std::size_t pageSize() const { return header_.pageSize; }
  std::uint64_t PageCount() const { return fileSize_ / header_.pageSize; }
  // The page count as a page number: no page at or above it is in the file.
  std::uint32_t End() const {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(PageCount(), std::numeric_limits<std::uint32_t>::max()));
  }

  // A copy of page number page; TruncatedError when it lies beyond the end of the file. Read
  // straight from libmdb's file in one call (libmdb's own page read costs three: it measures
  // the file and seeks every time), leaving libmdb's page buffer alone; the pages of an
  // encoded file go through libmdb, which decodes them.
  std::vector<std::uint8_t> Page(std::uint32_t page) const {
    if (page >= PageCount()) throw TruncatedError(page, PageCount());
    if (mdb_->f->db_key != 0) {
      if (mdb_read_pg(mdb_, page) != static_cast<ssize_t>(header_.pageSize)) {
        throw FormatError("page " + std::to_string(page) + " cannot be read");
      }
      return std::vector<std::uint8_t>(mdb_->pg_buf, mdb_->pg_buf + header_.pageSize);
    }
    std::vector<std::uint8_t> bytes(header_.pageSize);
    const int fd = ::fileno(mdb_->f->stream);
    const auto at = static_cast<off_t>(page) * static_cast<off_t>(header_.pageSize);
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n =
          ::pread(fd, bytes.data() + done, bytes.size() - done, at + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw FormatError("page " + std::to_string(page) + " cannot be read");
      done += static_cast<std::size_t>(n);
    }
    return bytes;
  }

  // Page(page) for pages asked for again and again (those of usage-map rows): the last one
  // read this way is kept.
  const std::vector<std::uint8_t>& KeptPage(std::uint32_t page) const {
    if (!kept_ || keptNumber_ != page) {
      kept_ = Page(page);
      keptNumber_ = page;
    }
    return *kept_;
  }

  // A table definition's pages joined: the first whole, then each continuation page from
  // offset 8.
  std::vector<std::uint8_t> TableDefinitionBytes(std::uint32_t first) const {
    std::vector<std::uint8_t> bytes = Page(first);
    if (bytes[0] != 0x02) {
      throw FormatError("page " + std::to_string(first) + " is not a table definition page");
    }
    std::set<std::uint32_t> seen{first};
    std::uint32_t next = ReadU32(bytes, 4);
    while (next != 0) {
      if (!seen.insert(next).second || seen.size() > kMaxTdefPages) {
        throw FormatError("the table definition pages form a loop");
      }
      std::vector<std::uint8_t> page = Page(next);
      if (page[0] != 0x02) {
        throw FormatError("continuation page " + std::to_string(next) +
                          " is not a table definition page");
      }
      bytes.insert(bytes.end(), page.begin() + 8, page.end());
      next = ReadU32(page, 4);
    }
    return bytes;
  }

 private:
  struct Decoding {
    const Database* db;
    std::string operator()(Bytes bytes) const { return db->Decode(bytes); }
  };

  std::string path_;
  MdbHandle* mdb_;
  DatabaseHeader header_;
  std::uint64_t fileSize_;
  Decoding decoder_{this};
  mutable std::optional<std::vector<std::uint8_t>> kept_;
  mutable std::uint32_t keptNumber_ = 0;
};

std::unique_ptr<Database> OpenDatabase(const std::string& path) {
  // Opened once, without waiting (a FIFO or device put in the file's place must not block)
  // and checked through the descriptor, so what is checked is what is read.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      throw OpenError(Format(Tr("Could not find file {0}."), {Quoted(path)}));
    throw OpenError(Format(Tr("Could not open {0}: {1}."), {Quoted(path), std::strerror(errno)}));
  }
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    throw OpenError(Format(Tr("Could not open {0}: {1}."), {Quoted(path), std::strerror(errno)}));
  }
  if (S_ISDIR(st.st_mode)) {
    throw OpenError(Format(Tr("{0} is a folder, not a database file."), {Quoted(path)}));
  }
  if (!S_ISREG(st.st_mode)) {
    throw OpenError(Format(Tr("{0} is not a regular file."), {Quoted(path)}));
  }

  std::vector<std::uint8_t> first(4096);
  ssize_t got = ::pread(fd, first.data(), first.size(), 0);
  if (got < 0) {
    throw OpenError(Format(Tr("Could not read {0}: {1}."), {Quoted(path), std::strerror(errno)}));
  }
  first.resize(static_cast<std::size_t>(got));

  auto unrecognized = [&path](const std::string& why) {
    return OpenError(Format(Tr("Unrecognized database format {0}: {1}."), {Quoted(path), why}));
  };
  DatabaseHeader header;
  try {
    header = ParseDatabaseHeader(first);
  } catch (const FormatError& e) {
    throw unrecognized(e.what());
  }
  auto size = static_cast<std::uint64_t>(st.st_size);
  if (size % header.pageSize != 0 || size < 3 * header.pageSize) {
    throw unrecognized(Format(Tr("the file is truncated ({0} bytes is not a whole number of "
                                 "{1}-byte pages, or fewer than three)"),
                              {std::to_string(size), std::to_string(header.pageSize)}));
  }
  if (header.hasPassword) throw OpenError(Tr("Not a valid password."));
  if (header.jetVersion >= 2 && header.encodingKey != 0) {
    throw OpenError(
        Format(Tr("{0} is encrypted; it cannot be read without its password."), {Quoted(path)}));
  }
  // libmdb's own choice for code page 932 ("SHIFT-JIS") loses "\", "~" and the NEC and IBM
  // extension characters; the iconv handle is made when the file is opened.
  if (header.IsJet3() && header.codePage == 932) {
    ::setenv("MDB_JET3_CHARSET", "CP932", 1);
  } else {
    ::unsetenv("MDB_JET3_CHARSET");
  }
  // libmdb opens by name; the descriptor's own name reaches the file checked above even when
  // the path has been pointed elsewhere since.
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::access(self.c_str(), R_OK) != 0) self = path;  // no /proc: the name is all there is
  MdbHandle* mdb = mdb_open(self.c_str(), MDB_NOFLAGS);
  if (!mdb) throw OpenError(Format(Tr("Unrecognized database format {0}."), {Quoted(path)}));
  return std::make_unique<Database>(path, mdb, header, size);
}

// A long value's bytes, its pages followed here: libmdb's mdb_ole_read_full goes round a
// chain of long-value rows that leads back to itself for ever, growing its buffer each time.
std::vector<std::uint8_t> ReadLongValue(const Database& db, Bytes cell) {
  LongValueReference ref = ParseLongValueReference(cell);
  if (ref.kind == LongValueReference::Kind::kInline) {
    return {ref.inlineBytes.begin(), ref.inlineBytes.end()};
  }
  if (ref.length > kMaxLongValueBytes) {
    throw FormatError("a long value claims " + std::to_string(ref.length) + " bytes");
  }
  auto rowAt = [&](std::uint32_t pointer, std::vector<std::uint8_t>& page) {
    page = db.Page(pointer >> 8);
    return DataPageRow(page, pointer & 0xFF, db.jet3());
  };
  std::vector<std::uint8_t> page;
  if (ref.kind == LongValueReference::Kind::kSingleRow) {
    Bytes row = rowAt(ref.rowPointer, page);
    if (row.size() < ref.length) {
      throw FormatError("a long value of " + std::to_string(ref.length) + " bytes has a row of " +
                        std::to_string(row.size()));
    }
    return {row.begin(), row.begin() + ref.length};
  }
  std::vector<std::uint8_t> value;
  std::set<std::uint32_t> seen;
  for (std::uint32_t pointer = ref.rowPointer; value.size() < ref.length;) {
    if (pointer == 0) {
      throw FormatError("a long value of " + std::to_string(ref.length) + " bytes ends after " +
                        std::to_string(value.size()));
    }
    if (!seen.insert(pointer).second) throw FormatError("the pages of a long value form a loop");
    Bytes row = rowAt(pointer, page);
    pointer = ReadU32(row, 0);
    Bytes part = row.subspan(4);
    value.insert(value.end(), part.begin(),
                 part.begin() + std::min<std::size_t>(part.size(), ref.length - value.size()));
  }
  return value;
}

// The columns of MSysObjects the engine reads.
enum CatalogColumn {
  kId,
  kParentId,
  kName,
  kType,
  kFlags,
  kDateCreate,
  kDateUpdate,
  kDatabase,
  kForeignName,
  kLvProp,
  kConnect,
  kCatalogColumns
};
const std::vector<std::string> kCatalogColumnNames = {
    "Id",         "ParentId", "Name",        "Type",   "Flags",  "DateCreate",
    "DateUpdate", "Database", "ForeignName", "LvProp", "Connect"};

// A cell's bytes as stored; none for Null or an absent column.
using Cell = std::optional<Bytes>;

class RawTable;

// One row as stored: each wanted column's cell.
class RawRow {
 public:
  RawRow(const RawTable& table, std::size_t row) : table_(table), row_(row) {}
  Cell operator[](std::size_t column) const;

 private:
  const RawTable& table_;
  std::size_t row_;
};

// The wanted columns of a table's rows. Nothing is bound: libmdb would turn a bound memo or
// OLE value into text as it fetches the row, following its long-value pages round any loop
// they form. The cells' bytes are kept one after another in one buffer.
class RawTable {
 public:
  explicit RawTable(std::size_t width) : types(width, 0), width_(width) {}

  std::vector<int> types;  // each wanted column's libmdb type, 0 when the table lacks it

  std::size_t RowCount() const { return width_ == 0 ? 0 : cells_.size() / width_; }
  RawRow Row(std::size_t row) const { return RawRow(*this, row); }
  Cell At(std::size_t row, std::size_t column) const {
    const Stored& cell = cells_[row * width_ + column];
    if (!cell.present) return std::nullopt;
    return Bytes(bytes_).subspan(cell.at, cell.length);
  }
  // Starts a row whose cells are all none.
  void AddRow() { cells_.resize(cells_.size() + width_); }
  // Sets a cell of the last row.
  void SetCell(std::size_t column, const std::uint8_t* data, std::size_t length) {
    cells_[cells_.size() - width_ + column] = Stored{bytes_.size(), length, true};
    bytes_.insert(bytes_.end(), data, data + length);
  }

 private:
  struct Stored {
    std::size_t at = 0;
    std::size_t length = 0;
    bool present = false;
  };
  std::size_t width_;
  std::vector<std::uint8_t> bytes_;
  std::vector<Stored> cells_;  // row by row, width_ a row
};

Cell RawRow::operator[](std::size_t column) const {
  return table_.At(row_, column);
}

struct TableDefCloser {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// Reads every row of the table whose definition starts on page, keeping the cells of the
// named columns (matched ignoring ASCII case, as libmdb does). The caller checks the usage map
// first.
RawTable ScanTable(const Database& db, const char* tableName, std::uint32_t page,
                   const std::vector<std::string>& names) {
  MdbCatalogEntry entry{};
  entry.mdb = db.mdb();
  std::snprintf(entry.object_name, sizeof entry.object_name, "%s", tableName);
  entry.object_type = MDB_TABLE;
  entry.table_pg = page;
  std::unique_ptr<MdbTableDef, TableDefCloser> table(mdb_read_table(&entry));
  if (!table)
    throw FormatError(std::string("libmdb cannot read the ") + tableName + " table definition");
  if (!mdb_read_columns(table.get())) {
    throw FormatError(std::string("the ") + tableName + " columns cannot be read");
  }
  std::vector<const MdbColumn*> columns(names.size(), nullptr);
  RawTable out(names.size());
  for (std::size_t c = 0; c < names.size(); ++c) {
    for (guint i = 0; i < table->columns->len && !columns[c]; ++i) {
      const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
      if (g_ascii_strcasecmp(col->name, names[c].c_str()) == 0) {
        columns[c] = col;
        out.types[c] = col->col_type;
      }
    }
  }
  mdb_rewind_table(table.get());
  const std::size_t bufferSize = sizeof db.mdb()->pg_buf;
  while (mdb_fetch_row(table.get())) {
    out.AddRow();
    for (std::size_t c = 0; c < names.size(); ++c) {
      const MdbColumn* col = columns[c];
      if (!col || col->cur_value_len <= 0 || col->cur_value_start < 0) continue;
      auto start = static_cast<std::size_t>(col->cur_value_start);
      auto len = static_cast<std::size_t>(col->cur_value_len);
      if (start > bufferSize || len > bufferSize - start) continue;
      const auto* p = reinterpret_cast<const std::uint8_t*>(db.mdb()->pg_buf) + start;
      out.SetCell(c, p, len);
    }
  }
  return out;
}

// Checks the usage map of the table whose definition starts on page, as far as libmdb relies
// on it while it scans the rows.
void CheckTableUsageMap(const Database& db, const char* tableName, std::uint32_t page) {
  std::vector<std::uint8_t> first = db.Page(page);
  if (first[0] != 0x02) {
    throw FormatError(std::string("page ") + std::to_string(page) + " does not hold the " +
                      tableName + " table definition");
  }
  try {
    std::uint32_t pointer = ReadU32(first, db.jet3() ? 35 : 55);
    std::vector<std::uint8_t> mapPage = db.Page(pointer >> 8);
    CheckUsageMap(DataPageRow(mapPage, pointer & 0xFF, db.jet3()));
  } catch (const FormatError& e) {
    throw FormatError(std::string("the usage map of ") + tableName + " is damaged: " + e.what());
  }
}

std::optional<std::int32_t> CellInt(const Cell& cell) {
  if (!cell) return std::nullopt;
  if (cell->size() == 1) return (*cell)[0];
  if (cell->size() == 2) return static_cast<std::int16_t>(ReadU16(*cell, 0));
  if (cell->size() == 4) return static_cast<std::int32_t>(ReadU32(*cell, 0));
  return std::nullopt;
}

std::optional<double> CellDouble(const Cell& cell) {
  if (!cell || cell->size() != 8) return std::nullopt;
  double d = 0;
  std::memcpy(&d, cell->data(), 8);
  return d;
}

// The text of a text or memo cell; a memo's long-value pages are followed here.
std::string CellText(const Database& db, int columnType, const Cell& cell) {
  if (!cell) return {};
  if (columnType == MDB_MEMO) return db.Decode(ReadLongValue(db, *cell));
  return db.Decode(*cell);
}

// The message for a database whose catalogue reaches beyond the end of the file.
std::string CatalogueTruncated(const std::string& path, const TruncatedError& e) {
  return Quoted(path) + " is truncated: page " + std::to_string(e.page()) +
         " of the catalogue lies beyond its end (the file has " + std::to_string(e.filePages()) +
         " pages).";
}

// Reads MSysObjects. Throws TruncatedError when a page the catalogue needs lies beyond the
// end of the file, FormatError for other damage.
std::vector<CatalogRow> ReadCatalog(const Database& db) {
  std::vector<std::uint8_t> page2 = db.Page(2);
  if (page2[0] != 0x02) throw FormatError("page 2 does not hold the MSysObjects table definition");
  // libmdb stops quietly at the first page of the scan it cannot read, and falls back to
  // reading the file page by page when a usage-map page is missing: rows on pages beyond the
  // end would be lost without a word. So the definition's pages, both usage-map rows and every
  // page the map names must lie inside the file.
  db.TableDefinitionBytes(2);
  const std::size_t freeMapAt = db.jet3() ? 39 : 59;
  db.Page(ReadU32(page2, freeMapAt) >> 8);
  // libmdb keeps an empty usage map as a null pointer, then reads through it as it scans the
  // rows.
  std::vector<std::uint8_t> mapPage;
  Bytes map;
  try {
    std::uint32_t pointer = ReadU32(page2, db.jet3() ? 35 : 55);
    mapPage = db.Page(pointer >> 8);
    map = DataPageRow(mapPage, pointer & 0xFF, db.jet3());
    CheckUsageMap(map);
  } catch (const TruncatedError&) {
    throw;
  } catch (const FormatError& e) {
    throw FormatError(std::string("the usage map of MSysObjects is damaged: ") + e.what());
  }
  if (auto beyond = FirstMappedPageFrom(map, db.End(), db.pageSize(),
                                        [&db](std::uint32_t page) { return db.Page(page); })) {
    throw TruncatedError(*beyond, db.PageCount());
  }
  RawTable table = ScanTable(db, "MSysObjects", 2, kCatalogColumnNames);
  for (int c : {kId, kParentId, kName, kType}) {
    if (!table.types[c]) {
      throw FormatError("MSysObjects has no column " + kCatalogColumnNames[c]);
    }
  }
  auto typed = [&](int c, std::initializer_list<int> types) {
    if (table.types[c] && std::find(types.begin(), types.end(), table.types[c]) == types.end()) {
      throw FormatError("the MSysObjects column " + kCatalogColumnNames[c] + " has type " +
                        std::to_string(table.types[c]));
    }
  };
  typed(kName, {MDB_TEXT});
  typed(kForeignName, {MDB_TEXT, MDB_MEMO});
  typed(kDatabase, {MDB_TEXT, MDB_MEMO});
  typed(kConnect, {MDB_TEXT, MDB_MEMO});
  typed(kLvProp, {MDB_OLE, MDB_MEMO});

  // The scan is over: long values can be read now without disturbing it.
  auto typeOf = [&](int c) { return table.types[c]; };
  std::vector<CatalogRow> rows;
  for (std::size_t i = 0; i < table.RowCount(); ++i) {
    const RawRow r = table.Row(i);
    CatalogRow row;
    auto id = CellInt(r[kId]);
    auto type = CellInt(r[kType]);
    if (!id || !type) continue;
    row.id = *id;
    row.type = *type;
    row.parentId = CellInt(r[kParentId]).value_or(0);
    row.flags = CellInt(r[kFlags]).value_or(0);
    row.name = CellText(db, MDB_TEXT, r[kName]);
    row.created = CellDouble(r[kDateCreate]);
    row.updated = CellDouble(r[kDateUpdate]);
    try {
      if (row.type == kTypeAccessLink) row.database = CellText(db, typeOf(kDatabase), r[kDatabase]);
      if (row.type == kTypeAccessLink || row.type == kTypeOdbcLink) {
        row.foreignName = CellText(db, typeOf(kForeignName), r[kForeignName]);
        row.connect = CellText(db, typeOf(kConnect), r[kConnect]);
      }
    } catch (const TruncatedError&) {
      throw;
    } catch (const FormatError& e) {
      row.linkError =
          "The link '" + row.name + "' in " + Quoted(db.path()) + " is damaged: " + e.what() + ".";
    }
    // Only the cell is kept: a table's properties are read when the table is.
    if (Cell cell = r[kLvProp]; (row.type == kTypeLocalTable || row.type == kTypeQuery) && cell) {
      row.lvPropCell.emplace(cell->begin(), cell->end());
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

bool SameName(std::string_view a, std::string_view b) {
  return LowerCaseKey(a) == LowerCaseKey(b);
}

// The rows that are tables, in the order the engine presents them.
std::vector<const CatalogRow*> TableRows(const std::vector<CatalogRow>& rows) {
  const CatalogRow* container = nullptr;
  for (const auto& row : rows) {
    if (row.type == kTypeContainer && row.parentId == kRootParentId &&
        SameName(row.name, "Tables")) {
      container = &row;
      break;
    }
  }
  if (!container) throw FormatError("MSysObjects has no Tables container");
  std::vector<const CatalogRow*> tables;
  for (const auto& row : rows) {
    if (row.parentId == container->id &&
        (row.type == kTypeLocalTable || row.type == kTypeOdbcLink || row.type == kTypeAccessLink)) {
      tables.push_back(&row);
    }
  }
  std::vector<std::pair<std::string, const CatalogRow*>> keyed;
  for (const auto* row : tables) keyed.emplace_back(LowerCaseKey(row->name), row);
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second->name < b.second->name;
  });
  tables.clear();
  for (const auto& [key, row] : keyed) tables.push_back(row);
  return tables;
}

// A table's date property: Null stays Null; bytes that are no date fail the property.
void SetDate(PropertySet& p, const char* name, const std::optional<double>& d,
             const CatalogRow& row, const std::string& path) {
  if (!d) return p.Append(name, Variant::MakeNull());
  if (!IsPresentableDate(*d)) {
    return p.Fail(name, "The " + std::string(name) + " of table '" + row.name + "' in " +
                            Quoted(path) + " is not a valid date.");
  }
  p.Append(name, Variant(Variant::Date{*d}));
}

// A block's properties with the values their stored types give; a value that does not fit
// its type fails that property alone. owner() names the object for that message.
template <typename Owner>
PropertySet StoredValues(const PropertyBlock& block, const TextDecoder& decode,
                         const Owner& owner) {
  PropertySet set;
  set.Reserve(block.values.size());
  for (const auto& [name, value] : block.values) {
    try {
      // The block's names are unique: no search for an earlier entry is needed.
      set.Append(name, PropertyVariant(value, decode));
    } catch (const FormatError& e) {
      set.Fail(name,
               "The property '" + name + "' of " + owner() + " is damaged: " + e.what() + ".");
    }
  }
  return set;
}

// A block's values as StoredValues gives them when every one fits its type, into out (the
// names refer to the block's); false when one does not.
bool StoredValuesRead(const PropertyBlock& block, const TextDecoder& decode,
                      std::vector<std::pair<std::string_view, PropertyRead>>& out) {
  out.clear();
  for (const auto& [name, value] : block.values) {
    try {
      out.emplace_back(name, PropertyRead{PropertyVariant(value, decode), std::nullopt});
    } catch (const FormatError&) {
      return false;
    }
  }
  return true;
}

// The indexes of a table as the engine presents them, sorted by name.
std::vector<IndexSnapshot> IndexSnapshots(std::vector<IndexDefinition> definitions) {
  SortIndexes(definitions);
  std::vector<IndexSnapshot> out;
  out.reserve(definitions.size());
  for (const auto& index : definitions) {
    IndexSnapshot snapshot;
    PropertySet& p = snapshot.properties;
    p.Append("Name", index.name);
    p.Append("Primary", index.primary);
    p.Append("Unique", index.unique);
    p.Append("IgnoreNulls", index.ignoreNulls);
    p.Append("Required", index.required);
    p.Append("Foreign", index.foreign);
    p.Append("Clustered", false);
    for (const auto& column : index.columns) {
      PropertySet field;
      field.Append("Name", column.name);
      field.Append("Attributes", std::int32_t{column.descending ? 1 : 0});
      snapshot.fields.push_back(std::move(field));
    }
    out.push_back(std::move(snapshot));
  }
  return out;
}

// Throws TruncatedError when a page a table's usage map names (or the page of the map's row)
// lies beyond the end of the file: the rows its stored count claims are not all there. The
// rows themselves are not read, so a damaged map changes nothing the engine presents.
void CheckDataPages(const Database& db, Bytes tdef) {
  std::optional<std::uint32_t> beyond;
  try {
    std::uint32_t pointer = ReadU32(tdef, db.jet3() ? 35 : 55);
    Bytes map = DataPageRow(db.KeptPage(pointer >> 8), pointer & 0xFF, db.jet3());
    beyond = FirstMappedPageFrom(map, db.End(), db.pageSize(),
                                 [&db](std::uint32_t page) { return db.Page(page); });
  } catch (const TruncatedError&) {
    throw;
  } catch (const FormatError&) {
    return;
  }
  if (beyond) throw TruncatedError(*beyond, db.PageCount());
}

// Fills the fields (and for a table of this database, the record count, indexes and stored
// properties) of a local table from its definition pages and property blob. sourceTable is the
// name its fields report as SourceTable. Without design, the indexes and the stored properties
// that exist fail with kNotReadReason instead of being read.
void ReadLocalTable(const Database& db, const CatalogRow& row, const std::string& sourceTable,
                    TableSnapshot& out, bool ownTable, bool design = true) {
  const bool setRecordCount = ownTable;
  auto truncated = [&](const char* what, const TruncatedError& e) {
    return "Table '" + row.name + "' in " + Quoted(db.path()) + " is truncated: its " + what +
           " page " + std::to_string(e.page()) + " lies beyond the end of the file (the file has " +
           std::to_string(e.filePages()) + " pages).";
  };
  TableDefinition definition;
  std::vector<std::uint8_t> tdef;
  try {
    tdef = db.TableDefinitionBytes(static_cast<std::uint32_t>(row.id) & 0x00FFFFFFu);
    definition = ParseTableDefinition(tdef, db.jet3(), db.Decoder());
    try {
      CheckDataPages(db, tdef);
    } catch (const TruncatedError& e) {
      std::string message = truncated("data", e);
      if (setRecordCount) out.properties.Fail("RecordCount", message);
      out.fieldsError = message;
      if (ownTable) out.indexesError = message;
      return;
    }
  } catch (const TruncatedError& e) {
    std::string message = truncated("table definition", e);
    if (setRecordCount) out.properties.Fail("RecordCount", message);
    out.fieldsError = message;
    if (ownTable) out.indexesError = message;
    return;
  } catch (const FormatError& e) {
    std::string message = "The definition of table '" + row.name + "' in " + Quoted(db.path()) +
                          " is damaged: " + e.what() + ".";
    if (setRecordCount) out.properties.Fail("RecordCount", message);
    out.fieldsError = message;
    if (ownTable) out.indexesError = message;
    return;
  }
  if (setRecordCount) {
    out.properties.Append("RecordCount", static_cast<std::int32_t>(definition.rowCount));
  }
  if (ownTable && !design) {
    out.indexesError = kNotReadReason;
  } else if (ownTable) {
    try {
      out.indexes = IndexSnapshots(ParseIndexSection(tdef, definition, db.jet3(), db.Decoder()));
    } catch (const FormatError& e) {
      out.indexesError = "The indexes of table '" + row.name + "' in " + Quoted(db.path()) +
                         " are damaged: " + e.what() + ".";
    }
  }

  std::vector<std::uint8_t> blob;  // the blocks' values refer to it
  std::vector<PropertyBlock> blocks;
  std::optional<std::string> propertiesError;
  if (row.lvPropCell) {
    try {
      blob = ReadLongValue(db, *row.lvPropCell);
      blocks = ParsePropertyBlob(blob, db.Decoder());
    } catch (const TruncatedError& e) {
      // The table's own pages are cut off: the whole table fails, not just some properties.
      out.fieldsError = truncated("property", e);
      return;
    } catch (const FormatError& e) {
      propertiesError = "The field properties of table '" + row.name + "' in " + Quoted(db.path()) +
                        " are damaged: " + e.what() + ".";
    }
  }
  if (ownTable) {
    out.stored.error = propertiesError;
    for (const auto& block : blocks) {
      if (!block.own) continue;
      if (!design) {
        out.stored.error = kNotReadReason;
      } else {
        out.stored.values =
            StoredValues(block, db.Decoder(), [&] { return "table '" + row.name + "'"; });
      }
      break;
    }
  }

  SortColumns(definition.columns);
  const ColumnBlockIndex index(blocks);
  // The fields go straight into their wire form, one record at a time.
  FieldsWriter fields(definition.columns.size());
  std::optional<StoredProperties> failedStored;
  if (ownTable && propertiesError) failedStored.emplace().error = propertiesError;
  // Without design, a field that has stored properties has them unread.
  std::optional<StoredProperties> notRead;
  if (ownTable && !design) notRead.emplace().error = kNotReadReason;
  // A field's stored values, the buffer reused from field to field.
  std::vector<std::pair<std::string_view, PropertyRead>> storedValues;
  for (const auto& column : definition.columns) {
    FieldRecord field;
    const PropertyBlock* block = propertiesError ? nullptr : index.Find(column.name);
    auto flag = [block](std::string_view name) {
      const PropertyValue* v = block ? block->Find(name) : nullptr;
      return v != nullptr && !v->bytes.empty() && v->bytes[0] != 0;
    };
    std::string defaultValue;
    if (propertiesError) {
      field.propertiesError = &*propertiesError;
    } else {
      field.allowZeroLength = flag("AllowZeroLength");
      field.required = flag("Required");
      const PropertyValue* v = block ? block->Find("DefaultValue") : nullptr;
      if (v) defaultValue = db.Decode(v->bytes);
      field.defaultValue = defaultValue;
    }
    field.attributes = FieldAttributes(column.flags);
    field.name = column.name;
    field.ordinalPosition = static_cast<std::int32_t>(column.ordinal);
    field.size = FieldSize(column, db.jet3());
    field.sourceField = column.name;
    field.sourceTable = sourceTable;
    field.type = FieldTypeCode(column.type);
    StoredProperties stored;
    if (ownTable) {
      if (failedStored) {
        field.stored = &*failedStored;
      } else if (block && notRead) {
        field.stored = &*notRead;
      } else if (block && StoredValuesRead(*block, db.Decoder(), storedValues)) {
        field.storedValues = storedValues;
      } else if (block) {
        // Some value does not fit its type: the property set says which.
        stored.values = StoredValues(*block, db.Decoder(), [&] {
          return "field '" + column.name + "' of table '" + row.name + "'";
        });
        field.stored = &stored;
      }
    }
    fields.Add(field);
  }
  out.encodedFields = fields.Take();
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The databases that links point to, opened once per request.
class LinkedSources {
 public:
  explicit LinkedSources(std::string basePath) : base_(std::move(basePath)) {}

  void ReadFields(const CatalogRow& link, TableSnapshot& out) {
    std::string resolved;
    if (IsRegularFile(link.database)) {
      resolved = link.database;
    } else {
      std::string name = LinkFileName(link.database);
      std::string beside = platform::DirectoryOf(base_) + name;
      if (!name.empty() && IsRegularFile(beside)) resolved = beside;
    }
    if (resolved.empty()) {
      out.fieldsError = "Could not find file '" + link.database + "'.";
      return;
    }
    Source* source = nullptr;
    try {
      source = &Open(resolved);
    } catch (const std::bad_alloc&) {
      throw;  // the whole read fails: no table may come out blank for want of memory
    } catch (const std::exception& e) {
      out.fieldsError = e.what();
      return;
    }
    if (source->error) {
      out.fieldsError = *source->error;
      return;
    }
    const CatalogRow* target = nullptr;
    for (const auto* row : source->tables) {
      if (row->name == link.foreignName) target = row;
    }
    for (const auto* row : source->tables) {
      if (!target && SameName(row->name, link.foreignName)) target = row;
    }
    if (!target) {
      out.fieldsError =
          "Could not find table '" + link.foreignName + "' in '" + link.database + "'.";
      return;
    }
    if (target->type != kTypeLocalTable) {
      out.fieldsError =
          "Table '" + link.foreignName + "' in '" + link.database + "' is itself a linked table.";
      return;
    }
    ReadLocalTable(*source->db, *target, link.foreignName, out, false);
  }

 private:
  struct Source {
    std::unique_ptr<Database> db;
    std::vector<CatalogRow> rows;
    std::vector<const CatalogRow*> tables;
    std::optional<std::string> error;
  };

  Source& Open(const std::string& path) {
    auto it = sources_.find(path);
    if (it != sources_.end()) return *it->second;
    auto source = std::make_unique<Source>();
    source->db = OpenDatabase(path);
    try {
      source->rows = ReadCatalog(*source->db);
      source->tables = TableRows(source->rows);
    } catch (const TruncatedError& e) {
      source->error = CatalogueTruncated(path, e);
    } catch (const FormatError& e) {
      source->error = "Could not read the tables of " + Quoted(path) + ": " + e.what() + ".";
    }
    return *sources_.emplace(path, std::move(source)).first->second;
  }

  std::string base_;
  std::map<std::string, std::unique_ptr<Source>> sources_;
};

// The row of a system table in the Tables container (tables as TableRows gives them), by name;
// null when there is none.
const CatalogRow* SystemTableRow(const std::vector<const CatalogRow*>& tables,
                                 std::string_view name) {
  for (const auto* row : tables) {
    if (row->type == kTypeLocalTable && SameName(row->name, name)) return row;
  }
  return nullptr;
}

std::optional<std::int32_t> RequiredInt(const RawRow& row, std::size_t c, const char* column) {
  auto value = CellInt(row[c]);
  if (!value) throw FormatError(std::string("a row has no valid ") + column);
  return value;
}

// MSysRelationships, grouped into relations; user relations and system ones apart.
void ReadRelations(const Database& db, const std::vector<const CatalogRow*>& tables,
                   DatabaseSnapshot& snapshot) {
  const CatalogRow* table = SystemTableRow(tables, "MSysRelationships");
  if (!table) return;
  const std::vector<std::string> names = {"szRelationship",
                                          "grbit",
                                          "ccolumn",
                                          "icolumn",
                                          "szObject",
                                          "szColumn",
                                          "szReferencedObject",
                                          "szReferencedColumn"};
  try {
    auto page = static_cast<std::uint32_t>(table->id) & 0x00FFFFFFu;
    CheckTableUsageMap(db, "MSysRelationships", page);
    RawTable raw = ScanTable(db, "MSysRelationships", page, names);
    for (std::size_t c = 0; c < names.size(); ++c) {
      int expected = (c >= 1 && c <= 3) ? MDB_LONGINT : MDB_TEXT;
      if (raw.types[c] != expected) {
        throw FormatError("its column " + names[c] + " is missing or of type " +
                          std::to_string(raw.types[c]));
      }
    }
    std::vector<RelationshipRow> relationRows;
    for (std::size_t i = 0; i < raw.RowCount(); ++i) {
      const RawRow r = raw.Row(i);
      RelationshipRow row;
      row.name = CellText(db, MDB_TEXT, r[0]);
      row.attributes = *RequiredInt(r, 1, "grbit");
      row.columnCount = *RequiredInt(r, 2, "ccolumn");
      row.columnIndex = *RequiredInt(r, 3, "icolumn");
      row.foreignTable = CellText(db, MDB_TEXT, r[4]);
      row.foreignColumn = CellText(db, MDB_TEXT, r[5]);
      row.table = CellText(db, MDB_TEXT, r[6]);
      row.column = CellText(db, MDB_TEXT, r[7]);
      relationRows.push_back(std::move(row));
    }
    for (const auto& relation : GroupRelationships(relationRows)) {
      RelationSnapshot out;
      out.properties.Set("Name", relation.name);
      out.properties.Set("Table", relation.table);
      out.properties.Set("ForeignTable", relation.foreignTable);
      out.properties.Set("Attributes", relation.attributes);
      for (const auto& [name, foreignName] : relation.fields) {
        PropertySet field;
        field.Set("Name", name);
        field.Set("ForeignName", foreignName);
        out.fields.push_back(std::move(field));
      }
      (relation.system ? snapshot.systemRelations : snapshot.relations).push_back(std::move(out));
    }
  } catch (const FormatError& e) {
    snapshot.relations.clear();
    snapshot.systemRelations.clear();
    snapshot.relationsError = "The relationships in " + Quoted(db.path()) +
                              " cannot be read: MSysRelationships is damaged: " + e.what() + ".";
  }
}

using QueryRows = std::vector<QueryRow>;

// The MSysQueries rows of every query, by the query's Id, in stored order.
std::map<std::int32_t, QueryRows> ReadQueryRows(const Database& db,
                                                const std::vector<const CatalogRow*>& tables) {
  std::map<std::int32_t, QueryRows> out;
  const CatalogRow* table = SystemTableRow(tables, "MSysQueries");
  if (!table) return out;
  const std::vector<std::string> names = {"Attribute", "Expression", "Flag",  "Name1",
                                          "Name2",     "ObjectId",   "Order", "LvExtra"};
  auto page = static_cast<std::uint32_t>(table->id) & 0x00FFFFFFu;
  CheckTableUsageMap(db, "MSysQueries", page);
  RawTable raw = ScanTable(db, "MSysQueries", page, names);
  if (!raw.types[0] || !raw.types[5]) throw FormatError("MSysQueries has no Attribute or ObjectId");
  auto text = [&](const RawRow& r, std::size_t c) -> std::optional<std::string> {
    if (!r[c]) return std::nullopt;
    return CellText(db, raw.types[c], r[c]);
  };
  for (std::size_t i = 0; i < raw.RowCount(); ++i) {
    const RawRow r = raw.Row(i);
    QueryRow row;
    row.attribute = *RequiredInt(r, 0, "Attribute");
    row.expression = text(r, 1);
    row.flag = CellInt(r[2]).value_or(0);
    row.name1 = text(r, 3);
    row.name2 = text(r, 4);
    row.objectId = *RequiredInt(r, 5, "ObjectId");
    if (Cell order = r[6]) row.order = std::string(order->begin(), order->end());
    row.extra = CellInt(r[7]).value_or(0);
    out[row.objectId].push_back(std::move(row));
  }
  return out;
}

// An object's date property: Null stays Null; bytes that are no date fail the property.
void SetObjectDate(PropertySet& p, const char* name, const std::optional<double>& d,
                   const std::string& object) {
  if (!d) return p.Set(name, Variant::MakeNull());
  if (!IsPresentableDate(*d)) {
    return p.Fail(name, "The " + std::string(name) + " of " + object + " is not a valid date.");
  }
  p.Set(name, Variant(Variant::Date{*d}));
}

// Rows of the given parent, ordered by name as tables are.
std::vector<const CatalogRow*> ChildrenByName(const std::vector<CatalogRow>& rows,
                                              std::int32_t parentId, std::int32_t type) {
  std::vector<std::pair<std::string, const CatalogRow*>> keyed;
  for (const auto& row : rows) {
    if (row.parentId == parentId && (type == 0 || row.type == type)) {
      keyed.emplace_back(LowerCaseKey(row.name), &row);
    }
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second->name < b.second->name;
  });
  std::vector<const CatalogRow*> out;
  for (const auto& [key, row] : keyed) out.push_back(row);
  return out;
}

void ReadQueries(const Database& db, const std::vector<CatalogRow>& rows,
                 const std::vector<const CatalogRow*>& tables, DatabaseSnapshot& snapshot) {
  const CatalogRow* container = nullptr;
  for (const auto& row : rows) {
    if (row.type == kTypeContainer && row.parentId == kRootParentId &&
        SameName(row.name, "Tables")) {
      container = &row;
      break;
    }
  }
  if (!container) return;
  std::map<std::int32_t, QueryRows> queryRows;
  std::optional<std::string> rowsError;
  try {
    queryRows = ReadQueryRows(db, tables);
  } catch (const FormatError& e) {
    rowsError = "The query definitions in " + Quoted(db.path()) +
                " cannot be read: MSysQueries is damaged: " + e.what() + ".";
  }
  for (const CatalogRow* row : ChildrenByName(rows, container->id, kTypeQuery)) {
    QuerySnapshot query;
    PropertySet& p = query.properties;
    const std::string object = "query '" + row->name + "' in " + Quoted(db.path());
    p.Set("Name", row->name);
    p.Set("Type", static_cast<std::int32_t>(QueryTypeFromFlags(row->flags)));
    p.Set("Hidden", IsHiddenQuery(row->name, row->flags));
    // A pass-through query's ODBC connect string comes with its SQL; "" for every other.
    p.Set("Connect", std::string());
    if (rowsError) {
      p.Fail("SQL", *rowsError);
    } else {
      auto it = queryRows.find(row->id);
      try {
        if (it == queryRows.end()) throw FormatError("it has no rows in MSysQueries");
        QuerySql rebuilt = RebuildQuerySql(it->second, row->flags);
        p.Set("SQL", rebuilt.sql);
        p.Set("Connect", rebuilt.connect);
      } catch (const FormatError& e) {
        p.Fail("SQL", "The SQL of " + object + " cannot be rebuilt: " + e.what() + ".");
      }
    }
    SetObjectDate(p, "DateCreated", row->created, object);
    SetObjectDate(p, "LastUpdated", row->updated, object);
    if (row->lvPropCell) {
      try {
        const std::vector<std::uint8_t> blob = ReadLongValue(db, *row->lvPropCell);
        for (const auto& block : ParsePropertyBlob(blob, db.Decoder())) {
          if (block.own) {
            query.stored.values = StoredValues(block, db.Decoder(), [&] { return object; });
            break;
          }
        }
      } catch (const FormatError& e) {
        query.stored.error = "The properties of " + object + " are damaged: " + e.what() + ".";
      }
    }
    snapshot.queries.push_back(std::move(query));
  }
}

// The containers of forms, reports, macros and modules, each with its documents.
void ReadContainers(const Database& db, const std::vector<CatalogRow>& rows,
                    DatabaseSnapshot& snapshot) {
  for (const char* name : {"Forms", "Reports", "Scripts", "Modules"}) {
    ContainerSnapshot container;
    container.name = name;
    for (const auto& row : rows) {
      if (row.type != kTypeContainer || row.parentId != kRootParentId || !SameName(row.name, name))
        continue;
      for (const CatalogRow* document : ChildrenByName(rows, row.id, 0)) {
        PropertySet p;
        const std::string object = "document '" + document->name + "' in " + Quoted(db.path());
        p.Set("Name", document->name);
        SetObjectDate(p, "DateCreated", document->created, object);
        SetObjectDate(p, "LastUpdated", document->updated, object);
        container.documents.push_back(std::move(p));
      }
      break;
    }
    snapshot.containers.push_back(std::move(container));
  }
}

// The engine's version text for the format byte of the header.
std::string VersionText(std::uint32_t jetVersion) {
  switch (jetVersion) {
    case 0:
      return "3.0";
    case 1:
      return "4.0";
    case 2:
      return "12.0";
    case 3:
      return "14.0";
    default:
      return std::to_string(jetVersion + 11) + ".0";
  }
}

}  // namespace

void ReadDatabaseFile(const std::string& path, SnapshotSink& sink, RequestScope scope) {
  const bool design = scope == RequestScope::kDesign;
  std::unique_ptr<Database> db = OpenDatabase(path);
  DatabaseSnapshot snapshot;
  snapshot.properties.Set("Version", VersionText(db->jetVersion()));
  std::vector<CatalogRow> rows;
  std::vector<const CatalogRow*> tables;
  try {
    rows = ReadCatalog(*db);
    tables = TableRows(rows);
  } catch (const TruncatedError& e) {
    // Part of the catalogue is missing: some tables would be missing from the snapshot
    // without a trace, so the database is refused as a whole.
    throw OpenError(CatalogueTruncated(path, e));
  } catch (const FormatError& e) {
    std::string message = "Could not read the tables of " + Quoted(path) + ": " + e.what() + ".";
    snapshot.tablesError = message;
    snapshot.relationsError = message;
    snapshot.queriesError = message;
    snapshot.containersError = message;
    sink.Head(snapshot, 0);
    sink.Tail(std::move(snapshot));
    return;
  }
  sink.Head(snapshot, tables.size());
  LinkedSources links(path);
  for (const CatalogRow* row : tables) {
    TableSnapshot table;
    PropertySet& p = table.properties;
    p.Reserve(7);
    bool link = row->type != kTypeLocalTable;
    p.Append("Attributes", TableAttributes(row->type, row->flags));
    p.Append("Connect", row->connect);
    SetDate(p, "DateCreated", row->created, *row, path);
    SetDate(p, "LastUpdated", row->updated, *row, path);
    p.Append("Name", row->name);
    if (!link) {
      ReadLocalTable(*db, *row, row->name, table, true, design);
      p.Append("SourceTableName", std::string());
    } else {
      p.Append("RecordCount", std::int32_t{-1});
      p.Append("SourceTableName", row->foreignName);
      if (row->linkError) {
        table.fieldsError = *row->linkError;
      } else if (row->type == kTypeOdbcLink) {
        table.fieldsError = "The fields of ODBC-linked table '" + row->name +
                            "' cannot be read: no ODBC data source is reachable from this engine.";
      } else {
        links.ReadFields(*row, table);
      }
    }
    sink.Table(std::move(table));
  }
  if (design) {
    ReadRelations(*db, tables, snapshot);
    ReadQueries(*db, rows, tables, snapshot);
    ReadContainers(*db, rows, snapshot);
  } else {
    snapshot.relationsError = kNotReadReason;
    snapshot.queriesError = kNotReadReason;
    snapshot.containersError = kNotReadReason;
  }
  sink.Tail(std::move(snapshot));
}

DatabaseSnapshot ReadDatabaseFile(const std::string& path, RequestScope scope) {
  // The parts put together again.
  class Collect final : public SnapshotSink {
   public:
    void Head(const DatabaseSnapshot& head, std::size_t tables) override {
      snapshot.properties = head.properties;
      snapshot.tablesError = head.tablesError;
      snapshot.closeError = head.closeError;
      snapshot.tables.reserve(tables);
    }
    void Table(TableSnapshot table) override {
      if (!table.encodedFields.empty()) {
        table.fields = DecodeFields(table.encodedFields);
        table.encodedFields.clear();
      }
      snapshot.tables.push_back(std::move(table));
    }
    void Tail(DatabaseSnapshot rest) override {
      snapshot.relationsError = std::move(rest.relationsError);
      snapshot.relations = std::move(rest.relations);
      snapshot.systemRelations = std::move(rest.systemRelations);
      snapshot.queriesError = std::move(rest.queriesError);
      snapshot.queries = std::move(rest.queries);
      snapshot.containersError = std::move(rest.containersError);
      snapshot.containers = std::move(rest.containers);
    }
    DatabaseSnapshot snapshot;
  } collect;
  ReadDatabaseFile(path, collect, scope);
  return std::move(collect.snapshot);
}

}  // namespace zentab::engine
