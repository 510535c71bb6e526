// The format decoders on hand-built bytes: header, table definitions, LvProp validation, and
// the value mappings the engine presents.
#include "engine/mdbformat.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "testfiles.h"

namespace zentab::engine {
namespace {

using Buffer = std::vector<std::uint8_t>;

Bytes AsBytes(const std::string& s) {
  return Bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

void Put16(Buffer& b, std::size_t at, std::uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}
void Put32(Buffer& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

std::string Latin(Bytes bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A UTF-16LE string of ASCII text.
Buffer Utf16(const std::string& s) {
  Buffer out;
  for (char c : s) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

TEST(DatabaseHeader, ReadsVersionCodePageAndPasswordState) {
  struct Case {
    std::uint8_t version;
    std::uint16_t codePage;
    std::string password;
    double created;
    bool protectedFile;
  };
  const Case cases[] = {
      {0, 932, "", 0, false},          {0, 1252, "a", 0, true},    {1, 1252, "", 40000.75, false},
      {1, 1252, "pw", 40000.75, true}, {1, 1252, "", -3.5, false}, {3, 1252, "", 43000.0, false},
  };
  for (const auto& c : cases) {
    DatabaseHeader h = ParseDatabaseHeader(
        AsBytes(testing::MakeHeaderPage(c.version, c.codePage, c.password, c.created)));
    EXPECT_EQ(h.jetVersion, c.version);
    EXPECT_EQ(h.codePage, c.codePage);
    EXPECT_EQ(h.hasPassword, c.protectedFile) << int(c.version) << " '" << c.password << "'";
    EXPECT_EQ(h.pageSize, c.version == 0 ? 2048u : 4096u);
    EXPECT_EQ(h.encodingKey, 0u);
  }
  EXPECT_EQ(
      ParseDatabaseHeader(AsBytes(testing::MakeHeaderPage(3, 1252, "", 1, 0xBEEF))).encodingKey,
      0xBEEFu);
}

TEST(DatabaseHeader, RejectsWhatIsNotADatabase) {
  std::string page = testing::MakeHeaderPage(1, 1252, "");
  EXPECT_THROW(ParseDatabaseHeader(AsBytes(page.substr(0, 0x97))), FormatError);
  std::string wrongMagic = page;
  wrongMagic[4] = 'X';
  EXPECT_THROW(ParseDatabaseHeader(AsBytes(wrongMagic)), FormatError);
  EXPECT_THROW(ParseDatabaseHeader(AsBytes(std::string(4096, '\0'))), FormatError);
}

// A Jet 4 table definition: rows, one real index, then columns (type, ordinal, flags, length).
Buffer Jet4Tdef(std::uint32_t rows, const std::vector<ColumnDefinition>& columns) {
  Buffer b(63 + 12, 0);
  b[0] = 0x02;
  b[1] = 0x01;
  Put32(b, 16, rows);
  Put16(b, 45, static_cast<std::uint16_t>(columns.size()));
  Put32(b, 51, 1);
  for (const auto& c : columns) {
    std::size_t at = b.size();
    b.resize(at + 25, 0);
    b[at] = c.type;
    Put16(b, at + 9, c.ordinal);
    b[at + 15] = c.flags;
    Put16(b, at + 23, c.length);
  }
  for (const auto& c : columns) {
    Buffer name = Utf16(c.name);
    Put16(b, b.size(), static_cast<std::uint16_t>(name.size()));
    b.insert(b.end(), name.begin(), name.end());
  }
  return b;
}

TEST(TableDefinition, ReadsJet4Descriptors) {
  Buffer b = Jet4Tdef(120, {{0x04, 1, 0x05, 4, "ID"}, {0x0A, 3, 0x02, 100, "Customer"}});
  TableDefinition t = ParseTableDefinition(b, false, DecodeJet4Text);
  EXPECT_EQ(t.rowCount, 120u);
  ASSERT_EQ(t.columns.size(), 2u);
  EXPECT_EQ(t.columns[0].name, "ID");
  EXPECT_EQ(t.columns[0].flags, 0x05);
  EXPECT_EQ(t.columns[1].ordinal, 3);
  EXPECT_EQ(t.columns[1].length, 100);
  EXPECT_EQ(t.columns[1].name, "Customer");
}

TEST(TableDefinition, ReadsJet3Descriptors) {
  Buffer b(43, 0);
  b[0] = 0x02;
  Put32(b, 12, 7);
  Put16(b, 25, 1);
  b.resize(43 + 18, 0);
  b[43] = 0x0A;
  Put16(b, 43 + 5, 2);
  b[43 + 13] = 0x82;
  Put16(b, 43 + 16, 40);
  b.push_back(4);
  for (char c : std::string("Memo")) b.push_back(static_cast<std::uint8_t>(c));
  TableDefinition t = ParseTableDefinition(b, true, Latin);
  EXPECT_EQ(t.rowCount, 7u);
  ASSERT_EQ(t.columns.size(), 1u);
  EXPECT_EQ(t.columns[0].ordinal, 2);
  EXPECT_EQ(t.columns[0].flags, 0x82);
  EXPECT_EQ(t.columns[0].length, 40);
  EXPECT_EQ(t.columns[0].name, "Memo");
}

TEST(TableDefinition, RejectsCountsAndNamesBeyondTheBuffer) {
  Buffer good = Jet4Tdef(1, {{0x04, 1, 0x05, 4, "ID"}});
  Buffer tooManyColumns = good;
  Put16(tooManyColumns, 45, 400);
  Buffer hugeIndexCount = good;
  Put32(hugeIndexCount, 51, 0x7FFFFFFF);
  Buffer longName = good;
  Put16(longName, 63 + 12 + 25, 0xFFFF);
  Buffer cutName(good.begin(), good.end() - 1);
  Buffer notTdef = good;
  notTdef[0] = 0x01;
  for (const Buffer* b : {&tooManyColumns, &hugeIndexCount, &longName, &cutName, &notTdef}) {
    EXPECT_THROW(ParseTableDefinition(*b, false, DecodeJet4Text), FormatError);
  }
  EXPECT_THROW(ParseTableDefinition(Buffer(20, 2), false, DecodeJet4Text), FormatError);
  EXPECT_NO_THROW(ParseTableDefinition(good, false, DecodeJet4Text));
}

// A long value cell: the reference (length word with its kind bits, row pointer, 4 unused
// bytes) and any inline bytes.
Buffer LongValueCell(std::uint32_t word, std::uint32_t pointer, const std::string& inlineBytes) {
  Buffer b(12, 0);
  Put32(b, 0, word);
  Put32(b, 4, pointer);
  b.insert(b.end(), inlineBytes.begin(), inlineBytes.end());
  return b;
}

TEST(LongValue, ReadsTheThreeKindsOfReference) {
  Buffer inlineCell = LongValueCell(0x80000003, 0, "abcXY");
  auto inlined = ParseLongValueReference(inlineCell);
  EXPECT_EQ(inlined.kind, LongValueReference::Kind::kInline);
  EXPECT_EQ(Latin(inlined.inlineBytes), "abc");  // the declared length, not the rest of the row

  auto single = ParseLongValueReference(LongValueCell(0x40000010, 0x0705, ""));
  EXPECT_EQ(single.kind, LongValueReference::Kind::kSingleRow);
  EXPECT_EQ(single.length, 0x10u);
  EXPECT_EQ(single.rowPointer, 0x0705u);

  auto chain = ParseLongValueReference(LongValueCell(0x00012345, 0x1200, ""));
  EXPECT_EQ(chain.kind, LongValueReference::Kind::kRowChain);
  EXPECT_EQ(chain.length, 0x12345u);
}

TEST(LongValue, RejectsShortCellsAndInlineValuesLongerThanTheirRow) {
  Buffer cell = LongValueCell(0x40000001, 0x100, "");
  cell.pop_back();
  EXPECT_THROW(ParseLongValueReference(cell), FormatError);
  EXPECT_THROW(ParseLongValueReference(LongValueCell(0x80000004, 0, "abc")), FormatError);
}

// A Jet 4 data page holding rows packed from the end of the page down, as Access stores them.
Buffer DataPage(const std::vector<std::string>& rows, std::size_t size = 4096) {
  Buffer page(size, 0);
  page[0] = 0x01;
  Put16(page, 12, static_cast<std::uint16_t>(rows.size()));
  std::size_t end = size;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::size_t start = end - rows[i].size();
    std::copy(rows[i].begin(), rows[i].end(), page.begin() + static_cast<std::ptrdiff_t>(start));
    Put16(page, 14 + 2 * i, static_cast<std::uint16_t>(start));
    end = start;
  }
  return page;
}

TEST(LongValue, FindsRowsOnADataPage) {
  Buffer page = DataPage({"first row", "second", "3"});
  EXPECT_EQ(Latin(DataPageRow(page, 0, false)), "first row");
  EXPECT_EQ(Latin(DataPageRow(page, 1, false)), "second");
  EXPECT_EQ(Latin(DataPageRow(page, 2, false)), "3");

  // Jet 3 keeps the row count at offset 8.
  Buffer jet3(2048, 0);
  jet3[0] = 0x01;
  Put16(jet3, 8, 1);
  Put16(jet3, 10, 2040);
  EXPECT_EQ(DataPageRow(jet3, 0, true).size(), 8u);
}

TEST(LongValue, RejectsMissingDeletedAndMisplacedRows) {
  Buffer page = DataPage({"first row", "second"});
  EXPECT_THROW(DataPageRow(page, 2, false), FormatError);

  Buffer deleted = page;
  Put16(deleted, 16, static_cast<std::uint16_t>(ReadU16(page, 16) | 0x8000));
  EXPECT_THROW(DataPageRow(deleted, 1, false), FormatError);

  Buffer reversed = page;  // row 1 would end before it starts
  Put16(reversed, 16, static_cast<std::uint16_t>(ReadU16(page, 14) + 1));
  EXPECT_THROW(DataPageRow(reversed, 1, false), FormatError);

  Buffer intoHeader = page;  // a row may not start inside the row offset table
  Put16(intoHeader, 16, 15);
  EXPECT_THROW(DataPageRow(intoHeader, 1, false), FormatError);

  Buffer tablePage = page;
  tablePage[0] = 0x02;
  EXPECT_THROW(DataPageRow(tablePage, 0, false), FormatError);
}

TEST(UsageMap, NeedsItsTypeAndForTypeZeroItsFirstPage) {
  EXPECT_NO_THROW(CheckUsageMap(Buffer{0, 1, 0, 0, 0}));
  EXPECT_NO_THROW(CheckUsageMap(Buffer{1}));
  EXPECT_THROW(CheckUsageMap(Buffer{}), FormatError);
  EXPECT_THROW(CheckUsageMap(Buffer{0, 1, 0, 0}), FormatError);
}

// The first page at or above the file's end that a usage map names, and which usage-map pages
// it reads on the way (only those that cover pages from the end on).
TEST(UsageMap, FindsTheFirstNamedPageAtOrBeyondTheEnd) {
  // Type 1 maps over 16-byte pages: each usage-map page covers (16 - 4) * 8 = 96 pages.
  constexpr std::size_t kPage = 16;
  Buffer map1{1};
  Put32(map1, 1, 7);  // pages 0 .. 95
  Put32(map1, 5, 0);  // pages 96 .. 191: none
  Put32(map1, 9, 8);  // pages 192 .. 287
  Buffer page7(kPage, 0), page8(kPage, 0);
  page7[4] = 1 << 5;       // page 5
  page8[4 + 1] = 1;        // page 192 + 8 = 200
  page8[4 + 11] = 1 << 7;  // page 192 + 95 = 287
  Buffer map0{0};
  Put32(map0, 1, 100);
  map0.resize(5 + 3);
  map0[5] = 1;       // page 100
  map0[6] = 1 << 1;  // page 109
  map0[7] = 1 << 7;  // page 123
  Buffer wrapping{0};
  Put32(wrapping, 1, 0xFFFFFFF8u);
  wrapping.resize(5 + 2);
  wrapping[6] = (1 << 2) | (1 << 6);  // bits 10 and 14: pages 2 and 6 once the sum wraps

  struct Case {
    const char* name;
    Buffer map;
    std::uint32_t end;
    std::optional<std::uint32_t> expected;
    std::vector<std::uint32_t> reads;
  };
  const Case cases[] = {
      {"type 0, all below the end", map0, 124, std::nullopt, {}},
      {"type 0, the last page is the end", map0, 123, 123, {}},
      {"type 0, within its bitmap", map0, 101, 109, {}},
      {"type 0, end before its first page", map0, 50, 100, {}},
      {"type 0, no bitmap bytes", Buffer{0, 100, 0, 0, 0}, 0, std::nullopt, {}},
      {"type 0, pages that wrap round stay below the end", wrapping, 5, 6, {}},
      {"type 0, only wrapped pages below the end", wrapping, 7, std::nullopt, {}},
      {"type 1, usage-map pages below the end cover pages below it", map1, 288, std::nullopt, {}},
      {"type 1, reads only the usage-map page reaching the end", map1, 100, 200, {8}},
      {"type 1, the last covered page", map1, 201, 287, {8}},
      {"type 1, a usage-map page at the end", map1, 8, 8, {7}},
      {"type 1, its first usage-map page beyond the end", map1, 4, 7, {}},
      {"another type", Buffer{2, 1, 1, 1, 1}, 0, std::nullopt, {}},
      {"empty", Buffer{}, 0, std::nullopt, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint32_t> reads;
    auto read = [&](std::uint32_t page) {
      reads.push_back(page);
      return page == 7 ? page7 : page8;
    };
    EXPECT_EQ(FirstMappedPageFrom(c.map, c.end, kPage, read), c.expected) << c.name;
    EXPECT_EQ(reads, c.reads) << c.name;
  }
  // A usage-map page that cannot be read whole is damage, not an empty map.
  EXPECT_THROW(FirstMappedPageFrom(map1, 100, kPage, [](std::uint32_t) { return Buffer(8); }),
               FormatError);
}

// An LvProp blob: a names chunk, then one value chunk per block.
struct Record {
  std::uint8_t type;
  std::uint16_t nameIndex;
  Buffer value;
};
Buffer Blob(const std::vector<std::string>& names,
            const std::vector<std::pair<std::string, std::vector<Record>>>& blocks) {
  Buffer b = {'M', 'R', '2', 0};
  Buffer chunk;
  for (const auto& n : names) {
    Buffer u = Utf16(n);
    Put16(chunk, chunk.size(), static_cast<std::uint16_t>(u.size()));
    chunk.insert(chunk.end(), u.begin(), u.end());
  }
  auto addChunk = [&b](std::uint16_t type, const Buffer& body) {
    std::size_t at = b.size();
    Put32(b, at, static_cast<std::uint32_t>(body.size() + 6));
    Put16(b, at + 4, type);
    b.insert(b.end(), body.begin(), body.end());
  };
  addChunk(0x80, chunk);
  for (const auto& [name, records] : blocks) {
    Buffer body(6, 0);
    Buffer u = Utf16(name);
    Put16(body, 4, static_cast<std::uint16_t>(u.size()));
    body.insert(body.end(), u.begin(), u.end());
    for (const auto& r : records) {
      std::size_t at = body.size();
      Put16(body, at, static_cast<std::uint16_t>(8 + r.value.size()));
      body.push_back(0);
      body.push_back(r.type);
      Put16(body, at + 4, r.nameIndex);
      Put16(body, at + 6, static_cast<std::uint16_t>(r.value.size()));
      body.insert(body.end(), r.value.begin(), r.value.end());
    }
    Put32(body, 0, static_cast<std::uint32_t>(body.size()));
    addChunk(name.empty() ? 0x00 : 0x01, body);
  }
  return b;
}

// The bytes of a block's value called name; fails the test when the block or value is missing.
Buffer ValueBytes(const PropertyBlock* block, std::string_view name) {
  const PropertyValue* value = block ? block->Find(name) : nullptr;
  if (!value) {
    ADD_FAILURE() << "no value " << name;
    return {};
  }
  return Buffer(value->bytes.begin(), value->bytes.end());
}

TEST(PropertyBlob, ReadsBlocksByColumn) {
  Buffer blob = Blob({"Required", "DefaultValue", "AllowZeroLength"},
                     {{"", {{0x0A, 1, Utf16("x")}}},
                      {"Customer", {{0x01, 0, {1}}, {0x0A, 1, Utf16("\"abc\"")}}},
                      {"ID", {{0x01, 2, {0}}}}});
  auto blocks = ParsePropertyBlob(blob, DecodeJet4Text);
  ASSERT_EQ(blocks.size(), 3u);
  const PropertyBlock* customer = FindColumnBlock(blocks, "customer");
  ASSERT_NE(customer, nullptr);
  EXPECT_EQ(ValueBytes(customer, "Required"), Buffer{1});
  EXPECT_EQ(DecodeJet4Text(customer->Find("DefaultValue")->bytes), "\"abc\"");
  EXPECT_EQ(FindColumnBlock(blocks, "ID")->Find("AllowZeroLength")->type, 0x01);
  EXPECT_EQ(customer->Find("AllowZeroLength"), nullptr);
  EXPECT_EQ(customer->Find("required"), nullptr);  // property names are matched exactly
  EXPECT_EQ(FindColumnBlock(blocks, "Missing"), nullptr);
  // The table's own block (no name) never stands for a column.
  EXPECT_EQ(FindColumnBlock(blocks, ""), nullptr);
}

TEST(PropertyBlob, PrefersTheExactlyNamedBlock) {
  Buffer blob = Blob({"Required"}, {{"NAME", {{0x01, 0, {0}}}}, {"Name", {{0x01, 0, {1}}}}});
  auto blocks = ParsePropertyBlob(blob, DecodeJet4Text);
  EXPECT_EQ(ValueBytes(FindColumnBlock(blocks, "Name"), "Required"), Buffer{1});
  EXPECT_EQ(ValueBytes(FindColumnBlock(blocks, "NAME"), "Required"), Buffer{0});
  EXPECT_EQ(ValueBytes(FindColumnBlock(blocks, "name"), "Required"), Buffer{0});
}

// Blocks are found by name through one index: exactly first (wherever the block lies), then by
// the name folded as LowerCaseKey folds it, beyond ASCII too; the first block of a name wins.
TEST(PropertyBlob, IndexFindsBlocksExactlyThenIgnoringCase) {
  // Each block's one value tells the blocks apart: its Required byte is its position.
  const std::vector<std::string> names = {
      "",  // the table's own block
      "Amount",
      "AMOUNT",
      "amount",  // three that fold alike, the exact one last
      "ÄRGER",
      "ärger",        // non-ASCII, folded by LowerCaseKey
      "\u212Aelvin",  // KELVIN SIGN folds to an ASCII 'k'
      "Total",
      "total",  // the exact one is the second
      "Dup",
      "Dup",  // two of one name: the first wins
      "Émile",
  };
  static const std::uint8_t kPositions[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  std::vector<PropertyBlock> blocks(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    blocks[i].own = names[i].empty();
    blocks[i].name = names[i];
    blocks[i].values.push_back({"Required", PropertyValue{0x01, Bytes(&kPositions[i], 1)}});
  }
  const ColumnBlockIndex index(blocks);
  struct Case {
    const char* column;
    int want;  // the block's position; -1 for none
  };
  const Case cases[] = {
      {"amount", 3}, {"AMOUNT", 2}, {"Amount", 1}, {"aMoUnT", 1},  // first folded match
      {"ärger", 5},  {"ÄRGER", 4},  {"Ärger", 4},  {"äRGER", 4},  {"kelvin", 6},   {"KELVIN", 6},
      {"total", 8},  {"TOTAL", 7},  {"Total", 7},  {"Dup", 9},    {"dup", 9},      {"émile", 11},
      {"ÉMILE", 11}, {"Emile", -1}, {"", -1},      {"Amoun", -1}, {"amounts", -1},
  };
  for (const auto& c : cases) {
    const PropertyBlock* block = index.Find(c.column);
    if (c.want < 0) {
      EXPECT_EQ(block, nullptr) << c.column;
      continue;
    }
    ASSERT_NE(block, nullptr) << c.column;
    EXPECT_EQ(ValueBytes(block, "Required"), Buffer{static_cast<std::uint8_t>(c.want)}) << c.column;
  }
  EXPECT_EQ(ColumnBlockIndex({}).Find("Amount"), nullptr);
}

// A block's values are kept by name in byte order, a later record of a name replacing an
// earlier one (the record's name index picks the name).
TEST(PropertyBlob, KeepsTheLastValueOfANameInNameOrder) {
  const Buffer blob =
      Blob({"Required", "DefaultValue", "Caption", "AllowZeroLength"}, {{"ID",
                                                                         {{0x01, 0, {0}},
                                                                          {0x0A, 2, Utf16("c")},
                                                                          {0x0A, 1, Utf16("1")},
                                                                          {0x01, 0, {1}},
                                                                          {0x01, 3, {1}}}}});
  const auto blocks = ParsePropertyBlob(blob, DecodeJet4Text);
  ASSERT_EQ(blocks.size(), 1u);
  std::vector<std::string> order;
  for (const auto& [name, value] : blocks[0].values) order.push_back(name);
  EXPECT_EQ(order,
            (std::vector<std::string>{"AllowZeroLength", "Caption", "DefaultValue", "Required"}));
  EXPECT_EQ(ValueBytes(&blocks[0], "Required"), Buffer{1});
  EXPECT_EQ(ValueBytes(&blocks[0], "DefaultValue"), Utf16("1"));
}

TEST(PropertyBlob, RejectsDamagedBlobs) {
  const Buffer good = Blob({"Required"}, {{"ID", {{0x01, 0, {1}}}}});
  ASSERT_NO_THROW(ParsePropertyBlob(good, DecodeJet4Text));
  // Offsets in good: names chunk at 4 (length 6 + 2 + 16 = 24), value chunk at 28, its body at
  // 34: block length, name length at 38, name "ID" at 40..43, the record at 44.
  struct Case {
    const char* label;
    std::size_t at;
    int width;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"bad header", 0, 1, 'X'},
      {"zero-length chunk", 4, 4, 0},
      {"chunk shorter than its header", 28, 4, 5},
      {"chunk past the blob", 28, 4, 1000},
      {"block name past the chunk", 38, 2, 200},
      {"zero-length record", 44, 2, 0},
      {"record shorter than 8", 44, 2, 7},
      {"record past the chunk", 44, 2, 100},
      {"unknown name index", 48, 2, 1},
      {"value past the record", 50, 2, 5},
  };
  for (const auto& c : cases) {
    Buffer bad = good;
    if (c.width == 1) bad[c.at] = static_cast<std::uint8_t>(c.value);
    if (c.width == 2) Put16(bad, c.at, static_cast<std::uint16_t>(c.value));
    if (c.width == 4) Put32(bad, c.at, c.value);
    EXPECT_THROW(ParsePropertyBlob(bad, DecodeJet4Text), FormatError) << c.label;
  }
  Buffer valuesFirst = {'K', 'K', 'D', 0, 12, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0};
  EXPECT_THROW(ParsePropertyBlob(valuesFirst, Latin), FormatError);
  Buffer cut(good.begin(), good.end() - 1);
  EXPECT_THROW(ParsePropertyBlob(cut, DecodeJet4Text), FormatError);
}

TEST(FieldValues, MapsJetTypesToEngineCodesAndSizes) {
  struct Case {
    std::uint8_t jet;
    std::uint16_t length;
    std::int32_t code;
    std::int32_t jet4Size;
    std::int32_t jet3Size;
  };
  const Case cases[] = {
      {0x01, 0, 1, 1, 1},       {0x02, 1, 2, 1, 1},     {0x03, 2, 3, 2, 2},
      {0x04, 4, 4, 4, 4},       {0x05, 8, 5, 8, 8},     {0x06, 4, 6, 4, 4},
      {0x07, 8, 7, 8, 8},       {0x08, 8, 8, 8, 8},     {0x09, 255, 9, 255, 255},
      {0x0A, 100, 10, 50, 100}, {0x0B, 0, 11, 0, 0},    {0x0C, 0, 12, 0, 0},
      {0x0F, 16, 15, 16, 16},   {0x10, 17, 20, 16, 16}, {0x13, 8, 16, 8, 8},
      {0x11, 12, -17, 12, 12},  {0x12, 4, -18, 4, 4},   {0x14, 9, -20, 9, 9},
      {0x0D, 3, -13, 3, 3},
  };
  for (const auto& c : cases) {
    ColumnDefinition column{c.jet, 0, 0, c.length, "x"};
    EXPECT_EQ(FieldTypeCode(c.jet), c.code) << int(c.jet);
    EXPECT_EQ(FieldSize(column, false), c.jet4Size) << int(c.jet);
    EXPECT_EQ(FieldSize(column, true), c.jet3Size) << int(c.jet);
  }
}

TEST(FieldValues, MapsColumnFlagsToAttributes) {
  const std::pair<std::uint8_t, std::int32_t> cases[] = {
      {0x00, 2},  {0x01, 1},    {0x02, 2},     {0x03, 1},    {0x05, 17},
      {0x41, 17}, {0x12, 8194}, {0x82, 32770}, {0x13, 8193}, {0xD7, 1 | 16 | 8192 | 32768},
  };
  for (auto [flags, attributes] : cases)
    EXPECT_EQ(FieldAttributes(flags), attributes) << int(flags);
}

TEST(TableValues, MapsObjectTypeAndFlagsToAttributes) {
  struct Case {
    std::int32_t type;
    std::uint32_t flags;
    std::uint32_t attributes;
  };
  const Case cases[] = {
      {1, 0, 0},
      {1, 0x80000000, 0x80000000},
      {1, 0x2, 0x2},
      {1, 0x1, 0x1},
      {1, 0x8, 0},         // hidden in the navigation pane: not reported
      {1, 0x00030000, 0},  // link bits only count for links
      {6, 0, 0x40000000},
      {6, 0x00030008, 0x40030000},
      {4, 0x00020000, 0x20020000},
      {4, 0x80000002, 0xA0000002},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        static_cast<std::uint32_t>(TableAttributes(c.type, static_cast<std::int32_t>(c.flags))),
        c.attributes)
        << c.type << " " << std::hex << c.flags;
  }
}

TEST(TableValues, PresentsOnlyDatesWithinTheAutomationRange) {
  EXPECT_TRUE(IsPresentableDate(0.0));
  EXPECT_TRUE(IsPresentableDate(-657434.0));      // 0100-01-01
  EXPECT_TRUE(IsPresentableDate(2958465.99999));  // 9999-12-31 23:59:59
  EXPECT_FALSE(IsPresentableDate(-657434.5));
  EXPECT_FALSE(IsPresentableDate(2958466.0));
  EXPECT_FALSE(IsPresentableDate(1e300));
  EXPECT_FALSE(IsPresentableDate(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(IsPresentableDate(-std::numeric_limits<double>::infinity()));
}

TEST(Ordering, SortsColumnsByOrdinalThenNameIgnoringCase) {
  std::vector<ColumnDefinition> columns = {{0x04, 5, 0, 4, "b"},
                                           {0x04, 2, 0, 4, "Zeta"},
                                           {0x04, 2, 0, 4, "alpha"},
                                           {0x04, 0, 0, 4, "x"}};
  SortColumns(columns);
  std::vector<std::string> names;
  for (const auto& c : columns) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"x", "alpha", "Zeta", "b"}));
}

TEST(Ordering, LowerCasesBeyondAscii) {
  EXPECT_EQ(LowerCaseKey("MSysObjects"), "msysobjects");
  EXPECT_EQ(LowerCaseKey("ÄRGER Ω"), "ärger ω");
  EXPECT_EQ(LowerCaseKey("表①"), "表①");
  // "_" (0x5F) sorts after upper-case letters but before lower-case ones.
  EXPECT_LT(LowerCaseKey("_tmp"), LowerCaseKey("Apple"));
}

// Plain UTF-16LE by the boundaries of its encodings: the all-ASCII form written in place, the
// 1-, 2-, 3- and 4-byte forms, and the surrogates and odd bytes that become U+FFFD.
TEST(Text, DecodesEveryWidthOfJet4Text) {
  const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    const char* label;
    Buffer bytes;
    std::string want;
  };
  const Case cases[] = {
      {"empty", {}, ""},
      {"ASCII", {'I', 0, 'd', 0, '_', 0, '9', 0}, "Id_9"},
      {"U+007F stays one byte", {0x7F, 0}, "\x7F"},
      {"U+0000", {0, 0, 'a', 0}, std::string("\0a", 2)},
      {"U+0080", {0x80, 0}, "\xC2\x80"},
      {"low byte ASCII, high byte not", {'A', 0x01}, "\xC5\x81"},  // U+0141
      {"U+07FF", {0xFF, 0x07}, "\xDF\xBF"},
      {"U+0800", {0x00, 0x08}, "\xE0\xA0\x80"},
      {"U+FFFF", {0xFF, 0xFF}, "\xEF\xBF\xBF"},
      {"ASCII then kanji", {'a', 0, 0x68, 0x88, 'b', 0}, "a表b"},
      {"pair between ASCII",
       {'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 'b', 0},
       "a\xF0\x9F\x98\x80"
       "b"},
      {"U+10FFFF", {0xFF, 0xDB, 0xFF, 0xDF}, "\xF4\x8F\xBF\xBF"},
      {"high surrogate last", {'a', 0, 0x3D, 0xD8}, "a" + bad},
      {"low surrogate alone", {0x00, 0xDE, 'a', 0}, bad + "a"},
      {"pair reversed", {0x00, 0xDE, 0x3D, 0xD8}, bad + bad},
      {"two high surrogates", {0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, bad + "\xF0\x9F\x98\x80"},
      {"odd byte after ASCII", {'a', 0, 'b'}, "a" + bad},
      {"odd byte after a high surrogate", {0x3D, 0xD8, 0x00}, bad + bad},
      {"one byte", {'a'}, bad},
      // U+1F603: no zero byte in its units, which would toggle back.
      {"compressed, a pair in its plain run",
       {0xFF, 0xFE, 'x', 0, 0x3D, 0xD8, 0x03, 0xDE},
       "x\xF0\x9F\x98\x83"},
      {"compressed, high bytes as Latin-1",
       {0xFF, 0xFE, 0xE9, 'a'},
       "\xC3\xA9"
       "a"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeJet4Text(c.bytes), c.want) << c.label;
}

TEST(Text, DecodesJet4PlainAndCompressedText) {
  EXPECT_EQ(DecodeJet4Text(Utf16("Orders")), "Orders");
  const Buffer compressed = {0xFF, 0xFE, 'a', 'b', 0x00, 0x68, 0x88, 0x00, 'c'};
  EXPECT_EQ(DecodeJet4Text(compressed), "ab表c");
  const Buffer pair = {0x3D, 0xD8, 0x00, 0xDE};  // U+1F600
  EXPECT_EQ(DecodeJet4Text(pair), "\xF0\x9F\x98\x80");
  const Buffer lone = {0x3D, 0xD8, 'a', 0};
  EXPECT_EQ(DecodeJet4Text(lone),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(DecodeJet4Text(Buffer{'a', 0, 'b'}), "a\xEF\xBF\xBD");
  EXPECT_EQ(DecodeJet4Text(Buffer{0xFF, 0xFE, 0x00, 0x41}), "\xEF\xBF\xBD");
}

TEST(Text, TakesTheFileNameOfAStoredLinkPath) {
  EXPECT_EQ(LinkFileName("Z:\\share\\back.mdb"), "back.mdb");
  EXPECT_EQ(LinkFileName("/srv/data/back.mdb"), "back.mdb");
  EXPECT_EQ(LinkFileName("back.mdb"), "back.mdb");
  EXPECT_EQ(LinkFileName("C:\\dir\\"), "");
}

// Each stored property type gives the value of its kind; values too short for their type are
// refused rather than read past.
TEST(PropertyValues, PresentEachStoredTypeAsItsKindOfValue) {
  struct Case {
    std::uint8_t type;
    Buffer bytes;
    Variant want;
  };
  const Case cases[] = {
      {0x01, {0x00}, Variant(false)},
      {0x01, {0xFF}, Variant(true)},
      {0x02, {0xFF}, Variant(std::int32_t{255})},
      {0x03, {0xFE, 0xFF}, Variant(std::int32_t{-2})},
      {0x04, {0x00, 0x00, 0x00, 0x80}, Variant(std::int32_t{-2147483647 - 1})},
      // Currency: 12.3456 as 123456 ten-thousandths.
      {0x05, {0x40, 0xE2, 0x01, 0, 0, 0, 0, 0}, Variant(12.3456)},
      {0x06, {0x00, 0x00, 0xC0, 0x3F}, Variant(1.5)},
      {0x07, {0, 0, 0, 0, 0, 0, 0xD0, 0xBF}, Variant(-0.25)},
      // 2003-01-15 06:00.
      {0x08, {0, 0, 0, 0, 0x88, 0x60, 0xE2, 0x40}, Variant(Variant::Date{37636.25})},
      {0x0A, {'a', 0, 0x42, 0x30}, Variant("aあ")},
      {0x0C, {'m', 0}, Variant("m")},
      {0x0F,
       {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE, 1, 2, 3, 4, 5, 6, 7, 8},
       Variant("{12345678-9ABC-DEF0-0102-030405060708}")},
      {0x09, {0x0A, 0xFF}, Variant("0AFF")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PropertyVariant(PropertyValue{c.type, c.bytes}, DecodeJet4Text), c.want)
        << int(c.type);
  }
  const Case tooShort[] = {{0x01, {}, {}},
                           {0x03, {1}, {}},
                           {0x04, {1, 2, 3}, {}},
                           {0x07, {1, 2, 3, 4}, {}},
                           {0x0F, {1, 2}, {}},
                           // A date property that is no date.
                           {0x08, {0, 0, 0, 0, 0, 0, 0xF8, 0x7F}, {}}};
  for (const auto& c : tooShort) {
    EXPECT_THROW(PropertyVariant(PropertyValue{c.type, c.bytes}, DecodeJet4Text), FormatError)
        << int(c.type);
  }
}

}  // namespace
}  // namespace zentab::engine
