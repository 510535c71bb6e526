// The bytes the writer puts in the file, checked at the offsets docs/FORMAT.md gives:
// header, column descriptors, table definitions over several pages, usage maps, text encoding.
#include <gtest/gtest.h>

#include <cstring>

#include "mkmdb/mkmdb.h"
#include "mkmdb/pages.h"
#include "mkmdb_support.h"

namespace zentab::mkmdb {
namespace {

using testing::Page;
using testing::ReadBytes;
using testing::TempDir;
using testing::U16;
using testing::U32;

// The page the first local table's definition starts on (FORMAT.md, "Page order").
constexpr std::uint32_t kFirstTablePage = 3;

struct Geometry {
  JetVersion version;
  std::uint32_t pageSize;
  std::uint32_t rowCountOffset;
  std::uint32_t columnsStart;
  std::uint32_t entrySize;
  std::uint32_t numberAt, ordinalAt, flagsAt, lengthAt;
  std::uint32_t usedMapAt;
  const char* format;
};
const Geometry kJet3{JetVersion::kJet3, 2048, 8, 43, 18, 1, 5, 13, 16, 35, "jet3"};
const Geometry kJet4{JetVersion::kJet4, 4096, 12, 63, 25, 5, 9, 15, 23, 55, "jet4"};

std::string Write(const TempDir& dir, const std::string& json, const std::string& name = "t.mdb") {
  const std::string path = dir.File(name);
  WriteMdbFromJson(json, path);
  return ReadBytes(path);
}

// A table definition's logical bytes, following its chain of pages.
std::string TableDefinition(const std::string& file, const Geometry& g, std::uint32_t page,
                            std::uint32_t* pages = nullptr) {
  std::string stream = Page(file, g.pageSize, page);
  std::uint32_t count = 1;
  for (std::uint32_t next = U32(stream, 4); next != 0; ++count) {
    const std::string more = Page(file, g.pageSize, next);
    EXPECT_EQ(more[0], 0x02) << "continuation page " << next;
    stream += more.substr(8);
    next = U32(more, 4);
  }
  if (pages) *pages = count;
  return stream;
}

// The bytes of the row a row pointer names.
std::string Row(const std::string& file, const Geometry& g, std::uint32_t pointer) {
  const std::string page = Page(file, g.pageSize, pointer >> 8);
  const std::uint32_t row = pointer & 0xFF;
  const std::uint32_t start = U16(page, g.rowCountOffset + 2 + 2 * row) & 0x1FFF;
  const std::uint32_t end = row == 0 ? g.pageSize : U16(page, g.rowCountOffset + 2 * row) & 0x1FFF;
  return page.substr(start, end - start);
}

std::string Header(const std::string& file, const Geometry& g) {
  std::string page = Page(file, g.pageSize, 0);
  Rc4Xor(kHeaderMaskKey, page, 0x18, g.version == JetVersion::kJet3 ? 126 : 128);
  return page;
}

TEST(MkmdbFormat, HeaderMaskIsThePublishedKeystream) {
  std::string zeros(8, '\0');
  Rc4Xor(kHeaderMaskKey, zeros, 0, zeros.size());
  EXPECT_EQ(zeros, std::string("\xB5\x6F\x03\x62\x61\x08\xC2\x55", 8));
}

struct HeaderCase {
  const Geometry* g;
  int codePage;
  std::string password;
  std::string stored;  // the password as the header keeps it, before any date mask
};

TEST(MkmdbFormat, HeaderRecordsVersionCodePageAndPassword) {
  const HeaderCase cases[] = {
      {&kJet3, 932, "secret", "secret"},
      {&kJet3, 1252, "", ""},
      {&kJet4, 1252, "", ""},
      {&kJet4, 932, "pässwort", std::string("p\0\xE4\0s\0s\0w\0o\0r\0t\0", 16)},
  };
  for (const HeaderCase& c : cases) {
    TempDir dir;
    const std::string file =
        Write(dir, std::string(R"({"format": ")") + c.g->format + R"(", "codePage": )" +
                       std::to_string(c.codePage) + R"(, "password": ")" + c.password +
                       R"(", "tables": []})");
    SCOPED_TRACE(std::string(c.g->format) + " password '" + c.password + "'");
    ASSERT_EQ(file.size() % c.g->pageSize, 0u);
    const std::string header = Header(file, *c.g);
    EXPECT_EQ(header.substr(4, 15), "Standard Jet DB");
    EXPECT_EQ(static_cast<int>(header[0x14]), c.g->version == JetVersion::kJet3 ? 0 : 1);
    EXPECT_EQ(U16(header, 0x3C), c.codePage);
    EXPECT_EQ(U32(header, 0x3E), 0u) << "a database key would mean encrypted pages";
    std::string password = header.substr(0x42, c.g->version == JetVersion::kJet3 ? 20 : 40);
    if (c.g->version == JetVersion::kJet4) {
      double created;
      std::memcpy(&created, header.data() + 0x72, sizeof created);
      EXPECT_EQ(created, kDefaultDate);
      const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
      for (std::size_t i = 0; i < password.size(); ++i) {
        password[i] ^= static_cast<char>(mask >> (8 * (i % 4)));
      }
    }
    EXPECT_EQ(password, c.stored + std::string(password.size() - c.stored.size(), '\0'));
  }
}

TEST(MkmdbFormat, SameDescriptionGivesTheSameBytes) {
  const char* json = R"({"format": "jet3", "codePage": 932, "password": "x", "tables": [
    {"name": "受注", "rows": 700, "fields": [{"name": "ID", "type": "long", "autoNumber": true,
     "required": true}, {"name": "Memo", "type": "memo", "default": "\"a\""}]},
    {"name": "L", "link": {"database": "a.mdb", "foreignName": "T"}}]})";
  TempDir dir;
  const std::string first = Write(dir, json, "a.mdb");
  const std::string second = Write(dir, json, "b.mdb");
  EXPECT_GT(first.size(), 3u * 2048);
  EXPECT_TRUE(first == second);
}

TEST(MkmdbFormat, DescriptorsCarryPositionFlagsAndLength) {
  const char* fields = R"([
    {"name": "A", "type": "long", "autoNumber": true, "ordinal": 7},
    {"name": "B", "type": "guid", "autoNumber": true, "replication": true, "ordinal": 0},
    {"name": "C", "type": "memo", "hyperlink": true, "ordinal": 3},
    {"name": "D", "type": "text", "size": 10, "fixed": true},
    {"name": "E", "type": "text", "size": 20},
    {"name": "F", "type": "boolean"},
    {"name": "G", "type": "binary", "size": 7}])";
  struct Expected {
    std::uint8_t type, flags;
    std::uint16_t ordinal, jet3Length, jet4Length;
  };
  const Expected expected[] = {
      {0x04, 0x01 | 0x02 | 0x04, 7, 4, 4},
      {0x0F, 0x01 | 0x02 | 0x10 | 0x40, 0, 16, 16},
      {0x0C, 0x02 | 0x80, 3, 0, 0},
      {0x0A, 0x01 | 0x02, 3, 10, 20},
      {0x0A, 0x02, 4, 20, 40},
      {0x01, 0x01 | 0x02, 5, 1, 1},
      {0x09, 0x02, 6, 7, 7},
  };
  for (const Geometry* g : {&kJet3, &kJet4}) {
    SCOPED_TRACE(g->format);
    TempDir dir;
    const std::string file =
        Write(dir, std::string(R"({"format": ")") + g->format +
                       R"(", "tables": [{"name": "T", "rows": 3, "fields": )" + fields + "}]}");
    const std::string tdef = TableDefinition(file, *g, kFirstTablePage);
    ASSERT_EQ(tdef[0], 0x02);
    EXPECT_EQ(U32(tdef, g->version == JetVersion::kJet3 ? 12 : 16), 3u) << "row count";
    EXPECT_EQ(U16(tdef, g->columnsStart - 18), 7u) << "column count";
    for (std::size_t i = 0; i < std::size(expected); ++i) {
      const std::string d = tdef.substr(g->columnsStart + i * g->entrySize, g->entrySize);
      SCOPED_TRACE("column " + std::to_string(i));
      EXPECT_EQ(static_cast<std::uint8_t>(d[0]), expected[i].type);
      EXPECT_EQ(U16(d, g->numberAt), i);
      EXPECT_EQ(U16(d, g->ordinalAt), expected[i].ordinal);
      EXPECT_EQ(static_cast<std::uint8_t>(d[g->flagsAt]), expected[i].flags);
      EXPECT_EQ(U16(d, g->lengthAt),
                g->version == JetVersion::kJet3 ? expected[i].jet3Length : expected[i].jet4Length);
    }
  }
}

TEST(MkmdbFormat, Jet3NamesAreStoredInTheCodePage) {
  TempDir dir;
  const std::string file = Write(dir, R"({"format": "jet3", "codePage": 932, "tables": [
    {"name": "表①", "rows": 1, "fields": [{"name": "㈱～表", "type": "long"}]}]})");
  const std::string tdef = TableDefinition(file, kJet3, kFirstTablePage);
  // The name follows the descriptor: a length byte, then CP932 (表 ends in the byte 0x5C).
  const std::string name("\x87\x8A\x81\x60\x95\x5C", 6);
  EXPECT_EQ(tdef.substr(kJet3.columnsStart + kJet3.entrySize, 7), "\x06" + name);
  EXPECT_NE(file.find(std::string("\x95\x5C\x87\x40", 4)), std::string::npos)
      << "table name in the catalog";
}

TEST(MkmdbFormat, WideTableDefinitionContinuesOnChainedPages) {
  std::string fields;
  for (int i = 0; i < 255; ++i) {
    char name[80];
    std::snprintf(name, sizeof name, "Field_%03d_with_a_name_long_enough_to_need_many_pages_", i);
    fields += std::string(i ? "," : "") + R"({"name": ")" + name + R"(", "type": "byte"})";
  }
  TempDir dir;
  const std::string file =
      Write(dir, R"({"tables": [{"name": "Wide", "rows": 2, "fields": [)" + fields + "]}]}");
  std::uint32_t pages = 0;
  const std::string tdef = TableDefinition(file, kJet4, kFirstTablePage, &pages);
  EXPECT_GE(pages, 5u);
  EXPECT_EQ(U16(tdef, 45), 255u);
  const std::uint32_t length = U32(tdef, 8);
  ASSERT_LE(length, tdef.size());
  EXPECT_EQ(U16(tdef, length - 2), 0xFFFF) << "the definition ends with its terminator";
  // The last column's name sits just before the terminator.
  const std::string last = "Field_254_with_a_name_long_enough_to_need_many_pages_";
  std::string utf16;
  for (const char c : last) utf16 += std::string{c, '\0'};
  EXPECT_EQ(tdef.substr(length - 2 - utf16.size(), utf16.size()), utf16);
}

// Byte fields whose names make a table definition exactly `length` bytes long: the header, a
// descriptor per column, each name with its length (one byte in Jet 3, two and UTF-16 text in
// Jet 4) and the two-byte terminator. Names are "cNNN" padded with "x" to at most 64 characters.
std::string FieldsForDefinitionLength(const Geometry& g, std::uint32_t length) {
  const bool jet3 = g.version == JetVersion::kJet3;
  const std::uint32_t perName = jet3 ? 1 : 2, perChar = jet3 ? 1 : 2;
  for (std::uint32_t n = 1; n < 256; ++n) {
    const std::uint32_t fixed = g.columnsStart + n * (g.entrySize + perName) + 2;
    if (fixed > length || (length - fixed) % perChar != 0) continue;
    const std::uint32_t chars = (length - fixed) / perChar;
    if (chars < 4 * n || chars > 64 * n) continue;
    std::string fields;
    for (std::uint32_t i = 0; i < n; ++i) {
      char name[8];
      std::snprintf(name, sizeof name, "c%03u", i);
      const std::uint32_t size = chars / n + (i < chars % n ? 1 : 0);
      fields += std::string(i ? "," : "") + R"({"name": ")" + name + std::string(size - 4, 'x') +
                R"(", "type": "byte"})";
    }
    return fields;
  }
  return {};
}

// Definitions that end one byte short of, exactly at and one byte past the first page and the
// first continuation page: each is stored whole on as many pages as it needs.
TEST(MkmdbFormat, TableDefinitionsAroundPageBoundaries) {
  for (const Geometry* g : {&kJet3, &kJet4}) {
    const std::uint32_t first = g->pageSize, next = g->pageSize - 8;
    struct Case {
      std::uint32_t length, pages;
    };
    const Case cases[] = {{first - 1, 1},        {first, 1},        {first + 1, 2},
                          {first + next - 1, 2}, {first + next, 2}, {first + next + 1, 3}};
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(g->format) + " definition of " + std::to_string(c.length));
      const std::string fields = FieldsForDefinitionLength(*g, c.length);
      ASSERT_FALSE(fields.empty());
      TempDir dir;
      std::string file;
      ASSERT_NO_THROW(file =
                          Write(dir, std::string(R"({"format": ")") + g->format +
                                         R"(", "tables": [{"name": "T", "rows": 3, "fields": [)" +
                                         fields + "]}]}"));
      std::uint32_t pages = 0;
      const std::string tdef = TableDefinition(file, *g, kFirstTablePage, &pages);
      EXPECT_EQ(pages, c.pages);
      EXPECT_EQ(U32(tdef, 8), c.length);
      ASSERT_GE(tdef.size(), c.length);
      EXPECT_EQ(U16(tdef, c.length - 2), 0xFFFF) << "the definition ends with its terminator";
      const std::string lastChar = g->version == JetVersion::kJet3 ? "x" : std::string("x\0", 2);
      EXPECT_EQ(tdef.substr(c.length - 2 - lastChar.size(), lastChar.size()), lastChar)
          << "the last name ends just before it";
    }
  }
}

// mdbtools prints no Big Integer values, so they are read from the rows themselves: a table
// of one such column keeps row r's eight little-endian bytes right after the column count.
TEST(MkmdbFormat, BigIntegerRowsHoldTheirRowNumbers) {
  for (const Geometry* g : {&kJet3, &kJet4}) {
    SCOPED_TRACE(g->format);
    TempDir dir;
    const std::string file =
        Write(dir, std::string(R"({"format": ")") + g->format +
                       R"(", "tables": [{"name": "T", "rows": 600, "fields": [)"
                       R"({"name": "N", "type": "bigint"}]}]})");
    const std::size_t countBytes = g->version == JetVersion::kJet3 ? 1 : 2;
    std::vector<std::uint64_t> values;
    for (std::uint32_t p = 1; p < file.size() / g->pageSize; ++p) {
      const std::string page = Page(file, g->pageSize, p);
      if (page[0] != 0x01 || U32(page, 4) != kFirstTablePage) continue;
      for (std::uint32_t r = 0; r < U16(page, g->rowCountOffset); ++r) {
        const std::string row = Row(file, *g, p << 8 | r);
        ASSERT_EQ(row.size(), countBytes + 8 + 1) << "count, value and null mask";
        std::uint64_t value = 0;
        for (int b = 7; b >= 0; --b) {
          value = value << 8 | static_cast<std::uint8_t>(row[countBytes + b]);
        }
        values.push_back(value);
      }
    }
    ASSERT_EQ(values.size(), 600u);
    for (std::uint64_t r = 0; r < values.size(); ++r) EXPECT_EQ(values[r], r);
  }
}

// The property blob read by the layout FORMAT.md gives ("LvProp"), as "column/Name=value".
std::vector<std::string> DecodeProperties(const std::string& blob, bool utf16) {
  auto text = [&](const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += utf16 ? 2 : 1) out += bytes[i];
    return out;
  };
  std::vector<std::string> names, entries;
  std::size_t at = 4;
  while (at < blob.size()) {
    const std::uint32_t length = U32(blob, at);
    const std::uint16_t type = U16(blob, at + 4);
    EXPECT_GE(length, 6u);
    const std::string chunk = blob.substr(at + 6, length - 6);
    if (type == 0x80) {
      for (std::size_t p = 0; p < chunk.size(); p += 2 + U16(chunk, p)) {
        names.push_back(text(chunk.substr(p + 2, U16(chunk, p))));
      }
    } else {
      EXPECT_EQ(type, 1) << "column block";
      const std::uint32_t header = U32(chunk, 0);
      EXPECT_EQ(header, 6u + U16(chunk, 4)) << "block header counts itself and the name";
      const std::string column = text(chunk.substr(6, U16(chunk, 4)));
      for (std::size_t p = header; p < chunk.size(); p += U16(chunk, p)) {
        const std::uint8_t valueType = static_cast<std::uint8_t>(chunk[p + 3]);
        const std::uint16_t size = U16(chunk, p + 6);
        EXPECT_EQ(U16(chunk, p), 8u + size) << "record length";
        EXPECT_EQ(chunk[p + 2], 1) << "design property";
        const std::string value = chunk.substr(p + 8, size);
        const std::string name = names.at(U16(chunk, p + 4));
        if (valueType == 0x01) {
          entries.push_back(column + "/" + name + "=" + (value == "\x01" ? "true" : "false"));
        } else {
          EXPECT_EQ(valueType, 0x0C) << "text kept as memo";
          entries.push_back(column + "/" + name + "=" + text(value));
        }
      }
    }
    at += length;
  }
  EXPECT_EQ(at, blob.size());
  return entries;
}

TEST(MkmdbFormat, PropertyBlobHoldsOnlyTheGivenProperties) {
  for (const Geometry* g : {&kJet3, &kJet4}) {
    SCOPED_TRACE(g->format);
    const Description d = ParseDescription(std::string(R"({"format": ")") + g->format +
                                           R"(", "tables": [{"name": "T", "fields": [
      {"name": "A", "type": "long", "required": true, "default": "7"},
      {"name": "B", "type": "text"},
      {"name": "C", "type": "text", "allowZeroLength": false, "required": false}]}]})");
    const TextEncoder encoder(d.format, d.codePage);
    const auto blob = BuildPropertyBlob(JetFormat::For(d.format), encoder, d.tables[0]);
    ASSERT_TRUE(blob.has_value());
    EXPECT_EQ(blob->substr(0, 4),
              g->version == JetVersion::kJet3 ? std::string("KKD\0", 4) : std::string("MR2\0", 4));
    EXPECT_EQ(DecodeProperties(*blob, g->version == JetVersion::kJet4),
              (std::vector<std::string>{"A/DefaultValue=7", "A/Required=true", "C/Required=false",
                                        "C/AllowZeroLength=false"}));
  }
  const Description none =
      ParseDescription(R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": "long"}]}]})");
  const TextEncoder encoder(none.format, none.codePage);
  EXPECT_FALSE(BuildPropertyBlob(JetFormat::For(none.format), encoder, none.tables[0]));
}

// Pages a usage map row marks: inline bitmap or the bitmaps of its usage-map pages.
std::vector<std::uint32_t> MappedPages(const std::string& file, const Geometry& g,
                                       const std::string& map, bool* reference) {
  std::vector<std::uint32_t> pages;
  *reference = map[0] == 1;
  if (map[0] == 0) {
    const std::uint32_t start = U32(map, 1);
    for (std::uint32_t bit = 0; bit < (map.size() - 5) * 8; ++bit) {
      if (map[5 + bit / 8] >> (bit % 8) & 1) pages.push_back(start + bit);
    }
    return pages;
  }
  const std::uint32_t perPage = (g.pageSize - 4) * 8;
  for (std::uint32_t slot = 0; 1 + 4 * slot < map.size(); ++slot) {
    const std::uint32_t mapPage = U32(map, 1 + 4 * slot);
    if (mapPage == 0) continue;
    const std::string bitmap = Page(file, g.pageSize, mapPage);
    EXPECT_EQ(bitmap[0], 0x05);
    for (std::uint32_t bit = 0; bit < perPage; ++bit) {
      if (bitmap[4 + bit / 8] >> (bit % 8) & 1) pages.push_back(slot * perPage + bit);
    }
  }
  return pages;
}

struct RealIndexExpectation {
  std::vector<std::pair<std::uint16_t, std::uint8_t>> columns;  // number, order byte
  std::uint8_t jet3Flags;                                       // Jet 4 adds 0x80
};
struct LogicalIndexExpectation {
  const char* name;
  std::uint32_t real;
  std::uint8_t type;
  std::uint8_t cascade;  // both cascade bytes
};

// Index sections of a table with fields A (long), B (text, 3 characters), C (datetime): the
// entry counts before the columns, the real and logical index entries and names after them,
// an empty leaf per real index as its root, and a usage map row marking only that root.
TEST(MkmdbFormat, IndexEntriesFollowTheColumns) {
  const RealIndexExpectation reals[] = {
      {{{0, 0x01}}, 0x09},             // PrimaryKey: unique and required by default
      {{{1, 0x00}}, 0x03},             // ByB: descending, unique, ignoring nulls
      {{{2, 0x01}, {0, 0x01}}, 0x08},  // ByCA: two columns, required
      {{{1, 0x01}}, 0x00},             // Fk: foreign, no flags
  };
  const LogicalIndexExpectation logicals[] = {
      {"PrimaryKey", 0, 1, 4}, {"ByB", 1, 0, 4},       {"ByCA", 2, 0, 4},
      {"Fk", 3, 2, 0},         {"SameAsKey", 0, 0, 4},
  };
  for (const Geometry* g : {&kJet3, &kJet4}) {
    SCOPED_TRACE(g->format);
    const bool jet3 = g->version == JetVersion::kJet3;
    TempDir dir;
    const std::string file = Write(dir, std::string(R"({"format": ")") + g->format +
                                            R"(", "tables": [{"name": "T", "rows": 2, "fields": [
      {"name": "A", "type": "long"}, {"name": "B", "type": "text", "size": 3},
      {"name": "C", "type": "datetime"}], "indexes": [
      {"name": "PrimaryKey", "fields": ["A"], "primary": true},
      {"name": "ByB", "fields": [{"name": "B", "descending": true}], "unique": true,
       "ignoreNulls": true},
      {"name": "ByCA", "fields": ["C", "a"], "required": true},
      {"name": "Fk", "fields": ["B"], "foreign": true},
      {"name": "SameAsKey", "fields": ["A"], "unique": true, "required": true}]}]})");
    const std::string tdef = TableDefinition(file, *g, kFirstTablePage);
    const std::uint32_t countsAt = g->columnsStart - 16;
    EXPECT_EQ(U32(tdef, countsAt), std::size(logicals));
    EXPECT_EQ(U32(tdef, countsAt + 4), std::size(reals));

    std::size_t at = g->columnsStart;
    for (std::size_t i = 0; i < std::size(reals); ++i) {
      EXPECT_EQ(U32(tdef, at + 4), 0u) << "no entries are written";
      at += jet3 ? 8 : 12;
    }
    at += 3 * g->entrySize;
    for (const char* name : {"A", "B", "C"}) {
      at += (jet3 ? 1 : 2) + std::strlen(name) * (jet3 ? 1 : 2);
    }
    std::vector<std::uint32_t> roots;
    for (const RealIndexExpectation& real : reals) {
      const std::string entry = tdef.substr(at, jet3 ? 39 : 52);
      const std::size_t slots = jet3 ? 0 : 4;
      if (!jet3) {
        EXPECT_EQ(U32(entry, 0), 1923u);
      }
      for (std::size_t slot = 0; slot < 10; ++slot) {
        const std::size_t s = slots + 3 * slot;
        if (slot < real.columns.size()) {
          EXPECT_EQ(U16(entry, s), real.columns[slot].first) << "slot " << slot;
          EXPECT_EQ(static_cast<std::uint8_t>(entry[s + 2]), real.columns[slot].second);
        } else {
          EXPECT_EQ(U16(entry, s), 0xFFFF) << "unused slot " << slot;
        }
      }
      const std::uint32_t usedMap = U32(entry, slots + 30);
      const std::uint32_t root = U32(entry, slots + 34);
      roots.push_back(root);
      EXPECT_EQ(static_cast<std::uint8_t>(entry[jet3 ? 38 : 46]),
                jet3 ? real.jet3Flags : real.jet3Flags | 0x80);
      const std::string page = Page(file, g->pageSize, root);
      EXPECT_EQ(page[0], 0x04) << "an index leaf page";
      EXPECT_EQ(U32(page, 4), kFirstTablePage) << "owned by the table definition";
      EXPECT_EQ(U16(page, 2), jet3 ? 2048 - 248 : 4096 - 480) << "free space after the bitmap";
      EXPECT_EQ(page.find_first_not_of('\0', 8), std::string::npos) << "no entries";
      bool reference = false;
      EXPECT_EQ(MappedPages(file, *g, Row(file, *g, usedMap), &reference),
                std::vector<std::uint32_t>{root});
      at += entry.size();
    }
    for (std::size_t i = 1; i < roots.size(); ++i) EXPECT_NE(roots[i], roots[i - 1]);
    for (std::size_t i = 0; i < std::size(logicals); ++i) {
      const std::string entry = tdef.substr(at, jet3 ? 20 : 28);
      const std::size_t base = jet3 ? 0 : 4;
      if (!jet3) {
        EXPECT_EQ(U32(entry, 0), 0x0659u);
      }
      EXPECT_EQ(U32(entry, base), i) << "index number";
      EXPECT_EQ(U32(entry, base + 4), logicals[i].real) << logicals[i].name;
      EXPECT_EQ(U32(entry, base + 9), 0xFFFFFFFFu) << "no related index";
      EXPECT_EQ(static_cast<std::uint8_t>(entry[base + 17]), logicals[i].cascade);
      EXPECT_EQ(static_cast<std::uint8_t>(entry[base + 18]), logicals[i].cascade);
      EXPECT_EQ(static_cast<std::uint8_t>(entry[base + 19]), logicals[i].type) << logicals[i].name;
      at += entry.size();
    }
    for (const LogicalIndexExpectation& logical : logicals) {
      const std::size_t length = jet3 ? static_cast<std::uint8_t>(tdef[at]) : U16(tdef, at);
      at += jet3 ? 1 : 2;
      std::string name;
      for (std::size_t k = 0; k < length; k += jet3 ? 1 : 2) name += tdef[at + k];
      EXPECT_EQ(name, logical.name);
      at += length;
    }
    EXPECT_EQ(U16(tdef, at), 0xFFFF) << "the list of long-value column maps ends the definition";
    EXPECT_EQ(U32(tdef, 8), at + 2) << "recorded length";
  }
}

// The logical index entries of a table definition whose columns have the given names, walked
// over with the sizes docs/FORMAT.md gives.
std::vector<std::string> LogicalIndexEntries(const std::string& tdef, const Geometry& g,
                                             const std::vector<std::string>& columns) {
  const bool jet3 = g.version == JetVersion::kJet3;
  const std::uint32_t logicalCount = U32(tdef, g.columnsStart - 16);
  const std::uint32_t realCount = U32(tdef, g.columnsStart - 12);
  std::size_t at = g.columnsStart + realCount * (jet3 ? 8 : 12) + columns.size() * g.entrySize;
  for (const std::string& name : columns) at += (jet3 ? 1 : 2) + name.size() * (jet3 ? 1 : 2);
  at += realCount * (jet3 ? 39 : 52);
  std::vector<std::string> entries;
  for (std::uint32_t i = 0; i < logicalCount; ++i, at += jet3 ? 20 : 28) {
    entries.push_back(tdef.substr(at + (jet3 ? 0 : 4), 20));
  }
  return entries;
}

struct ForeignCase {
  std::uint32_t page;  // the table definition
  std::vector<std::string> columns;
  std::size_t index;  // logical index number
  std::uint8_t side;
  std::uint32_t relatedIndex;
  std::uint32_t relatedPage;
  std::uint8_t cascadeUpdates, cascadeDeletes;
};

// A foreign-key index names the relationship's other table and its index over the other
// columns, and the relationship's cascades. Pages by hand: A's definition on 3, its three
// index roots on 4-6, B's definition on 7.
TEST(MkmdbFormat, ForeignKeyIndexesReferToTheOtherSide) {
  const ForeignCase cases[] = {
      {3, {"ID", "Code"}, 2, 1, 0, 7, 1, 1},                  // A's side of AB: B's AidKey
      {7, {"AID", "ACode", "X"}, 0, 2, 0, 3, 1, 1},           // AB, cascade updates and deletes
      {7, {"AID", "ACode", "X"}, 1, 2, 1, 3, 1, 2},           // ACode: cascade updates, set Null
      {7, {"AID", "ACode", "X"}, 2, 0, 0xFFFFFFFF, 0, 0, 0},  // in no relationship
  };
  for (const Geometry* g : {&kJet3, &kJet4}) {
    SCOPED_TRACE(g->format);
    TempDir dir;
    const std::string file = Write(dir, std::string(R"({"format": ")") + g->format +
                                            R"(", "tables": [
      {"name": "A", "fields": [{"name": "ID", "type": "long"}, {"name": "Code", "type": "long"}],
       "indexes": [{"name": "PrimaryKey", "fields": ["ID"], "primary": true},
                   {"name": "CodeKey", "fields": ["Code"], "unique": true},
                   {"name": "ToB", "fields": ["id"], "foreign": true}]},
      {"name": "B", "fields": [{"name": "AID", "type": "long"}, {"name": "ACode", "type": "long"},
                               {"name": "X", "type": "long"}],
       "indexes": [{"name": "AidKey", "fields": ["AID"], "foreign": true},
                   {"name": "ACodeKey", "fields": ["ACode"], "foreign": true},
                   {"name": "Orphan", "fields": ["X"], "foreign": true}]}],
      "relationships": [
        {"name": "AB", "table": "A", "foreignTable": "B", "attributes": 4352,
         "fields": [{"name": "ID", "foreignName": "AID"}]},
        {"name": "ACodeB", "table": "A", "foreignTable": "B", "attributes": 8448,
         "fields": [{"name": "Code", "foreignName": "ACode"}]}]})");
    for (const ForeignCase& c : cases) {
      SCOPED_TRACE("page " + std::to_string(c.page) + ", index " + std::to_string(c.index));
      const auto entries = LogicalIndexEntries(TableDefinition(file, *g, c.page), *g, c.columns);
      ASSERT_GT(entries.size(), c.index);
      const std::string& entry = entries[c.index];
      EXPECT_EQ(static_cast<std::uint8_t>(entry[8]), c.side);
      EXPECT_EQ(U32(entry, 9), c.relatedIndex);
      EXPECT_EQ(U32(entry, 13), c.relatedPage);
      EXPECT_EQ(static_cast<std::uint8_t>(entry[17]), c.cascadeUpdates);
      EXPECT_EQ(static_cast<std::uint8_t>(entry[18]), c.cascadeDeletes);
      EXPECT_EQ(static_cast<std::uint8_t>(entry[19]), 2) << "foreign-key index";
    }
  }
}

TEST(MkmdbFormat, UsageMapIsInlineWithinItsRangeAndReferencesMapPagesBeyond) {
  // A fixed Text(255) row takes a page's seventh in Jet 4 and eighth in Jet 3.
  struct Case {
    const Geometry* g;
    int rows;
    bool reference;
  };
  const Case cases[] = {{&kJet4, 40, false}, {&kJet4, 4000, true}, {&kJet3, 8000, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.g->format) + " " + std::to_string(c.rows) + " rows");
    TempDir dir;
    const std::string file = Write(
        dir, std::string(R"({"format": ")") + c.g->format + R"(", "tables": [{"name": "T",
          "rows": )" +
                 std::to_string(c.rows) +
                 R"(, "fields": [{"name": "X", "type": "text", "size": 255, "fixed": true}]}]})");
    const std::string tdef = TableDefinition(file, *c.g, kFirstTablePage);
    bool reference = false;
    const auto pages =
        MappedPages(file, *c.g, Row(file, *c.g, U32(tdef, c.g->usedMapAt)), &reference);
    EXPECT_EQ(reference, c.reference);
    std::uint64_t rows = 0;
    for (const std::uint32_t p : pages) {
      const std::string page = Page(file, c.g->pageSize, p);
      ASSERT_EQ(page[0], 0x01) << "page " << p;
      EXPECT_EQ(U32(page, 4), kFirstTablePage) << "page " << p << " belongs to the table";
      rows += U16(page, c.g->rowCountOffset);
    }
    EXPECT_EQ(rows, static_cast<std::uint64_t>(c.rows));
  }
}

}  // namespace
}  // namespace zentab::mkmdb
