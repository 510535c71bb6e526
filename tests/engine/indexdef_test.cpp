// The index section decoder on hand-built bytes in both layouts, and the grouping of
// MSysRelationships rows: the entries as laid out in docs/FORMAT.md, every damage refused.
#include "engine/indexdef.h"

#include <gtest/gtest.h>

#include "engine/relations.h"

namespace zentab::engine {
namespace {

using Buffer = std::vector<std::uint8_t>;

std::string Latin(Bytes bytes) {
  return std::string(bytes.begin(), bytes.end());
}

struct Real {
  std::vector<std::pair<std::uint16_t, std::uint8_t>> columns;  // number, order byte
  std::uint8_t flags;
};
struct Logical {
  std::uint32_t real;
  std::uint8_t side;  // which side of a relationship
  std::uint8_t type;
  std::string name;
};

// An index section as the layout tables give it, with 0xEE filling every byte the decoder has
// no business reading.
Buffer Section(bool jet3, const std::vector<Real>& reals, const std::vector<Logical>& logicals) {
  Buffer b;
  for (const Real& r : reals) {
    Buffer e(jet3 ? 39 : 52, 0xEE);
    std::size_t at = jet3 ? 0 : 4;
    for (std::size_t k = 0; k < 10; ++k) {
      std::uint16_t number = k < r.columns.size() ? r.columns[k].first : 0xFFFF;
      e[at + 3 * k] = number & 0xFF;
      e[at + 3 * k + 1] = number >> 8;
      e[at + 3 * k + 2] = k < r.columns.size() ? r.columns[k].second : 0;
    }
    e[jet3 ? 38 : 46] = r.flags;
    b.insert(b.end(), e.begin(), e.end());
  }
  for (const Logical& l : logicals) {
    Buffer e(jet3 ? 20 : 28, 0xEE);
    std::size_t at = jet3 ? 4 : 8;
    for (int i = 0; i < 4; ++i) e[at + i] = static_cast<std::uint8_t>(l.real >> (8 * i));
    e[jet3 ? 8 : 12] = l.side;
    e[jet3 ? 19 : 23] = l.type;
    b.insert(b.end(), e.begin(), e.end());
  }
  for (const Logical& l : logicals) {
    if (jet3) {
      b.push_back(static_cast<std::uint8_t>(l.name.size()));
      b.insert(b.end(), l.name.begin(), l.name.end());
    } else {
      std::size_t n = l.name.size() * 2;
      b.push_back(n & 0xFF);
      b.push_back(n >> 8);
      for (char c : l.name) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(0);
      }
    }
  }
  return b;
}

TableDefinition Columns(std::uint32_t reals, std::uint32_t logicals) {
  TableDefinition t;
  // Column numbers need not follow storage order: a deleted column leaves a gap.
  t.columns = {{0x04, 1, 0, 4, "ID", 0}, {0x0A, 2, 0, 20, "Name", 3}, {0x08, 3, 0, 8, "Day", 2}};
  t.realIndexCount = reals;
  t.logicalIndexCount = logicals;
  t.indexSectionAt = 0;
  return t;
}

std::vector<IndexDefinition> Parse(bool jet3, const std::vector<Real>& reals,
                                   const std::vector<Logical>& logicals) {
  Buffer b = Section(jet3, reals, logicals);
  auto decode = jet3 ? TextDecoder(Latin) : TextDecoder(DecodeJet4Text);
  return ParseIndexSection(b,
                           Columns(static_cast<std::uint32_t>(reals.size()),
                                   static_cast<std::uint32_t>(logicals.size())),
                           jet3, decode);
}

class IndexSection : public ::testing::TestWithParam<bool> {};

TEST_P(IndexSection, DecodesKeysFlagsAndKindsOfEachLogicalIndex) {
  bool jet3 = GetParam();
  auto indexes = Parse(jet3,
                       {{{{0, 0x01}}, 0x00},             // ID
                        {{{2, 0x00}, {3, 0x01}}, 0x83},  // Day descending, Name; flags
                        {{{3, 0x01}}, 0x8A}},            // Name; ignore nulls, required
                       {{1, 0, 0, "ByDay"},
                        {0, 0, 1, "PrimaryKey"},   // type 1 on flags 0: still unique
                        {2, 2, 2, "NamesOrders"},  // many side of a relationship
                        {0, 1, 2, ".rB"},          // one side: no foreign key here
                        {0, 0, 0, "ID"}});         // shares the key's real index
  ASSERT_EQ(indexes.size(), 5u);
  struct Want {
    const char* name;
    bool primary, unique, ignoreNulls, required, foreign;
    std::vector<std::pair<std::string, bool>> keys;
  };
  const Want want[] = {
      {"ByDay", false, true, true, false, false, {{"Day", true}, {"Name", false}}},
      {"PrimaryKey", true, true, false, true, false, {{"ID", false}}},
      {"NamesOrders", false, false, true, true, true, {{"Name", false}}},
      {".rB", false, false, false, false, false, {{"ID", false}}},
      {"ID", false, false, false, false, false, {{"ID", false}}},
  };
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    const auto& got = indexes[i];
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(got.name, want[i].name);
    EXPECT_EQ(got.primary, want[i].primary);
    EXPECT_EQ(got.unique, want[i].unique);
    EXPECT_EQ(got.ignoreNulls, want[i].ignoreNulls);
    EXPECT_EQ(got.required, want[i].required);
    EXPECT_EQ(got.foreign, want[i].foreign);
    std::vector<std::pair<std::string, bool>> keys;
    for (const auto& c : got.columns) keys.emplace_back(c.name, c.descending);
    EXPECT_EQ(keys, want[i].keys);
  }
  SortIndexes(indexes);
  std::vector<std::string> names;
  for (const auto& x : indexes) names.push_back(x.name);
  EXPECT_EQ(names, (std::vector<std::string>{".rB", "ByDay", "ID", "NamesOrders", "PrimaryKey"}));
}

TEST_P(IndexSection, RefusesEveryDamageWithAReason) {
  bool jet3 = GetParam();
  auto decode = jet3 ? TextDecoder(Latin) : TextDecoder(DecodeJet4Text);
  const Buffer good = Section(jet3, {{{{0, 1}}, 0}}, {{0, 0, 1, "PrimaryKey"}});
  EXPECT_NO_THROW(ParseIndexSection(good, Columns(1, 1), jet3, decode));
  // Every cut of the section, the names included, is refused.
  for (std::size_t n = 0; n < good.size(); ++n) {
    Buffer cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(ParseIndexSection(cut, Columns(1, 1), jet3, decode), FormatError) << n;
  }
  struct Case {
    const char* what;
    Buffer bytes;
    TableDefinition table;
  };
  TableDefinition past = Columns(1, 1);
  past.indexSectionAt = good.size() + 1;
  const Case cases[] = {
      {"unknown column", Section(jet3, {{{{7, 1}}, 0}}, {{0, 0, 1, "K"}}), Columns(1, 1)},
      {"real index out of range", Section(jet3, {{{{0, 1}}, 0}}, {{1, 0, 1, "K"}}), Columns(1, 1)},
      {"huge counts", good, Columns(1, 100000)},
      {"section past the end", good, past},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(ParseIndexSection(c.bytes, c.table, jet3, decode), FormatError) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, IndexSection, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Jet3" : "Jet4"; });

RelationshipRow Row(const char* name, std::int32_t count, std::int32_t index, const char* column,
                    const char* foreignColumn, std::int32_t attributes = 256,
                    const char* table = "Orders", const char* foreignTable = "Lines") {
  return {name, attributes, count, index, foreignTable, foreignColumn, table, column};
}

TEST(Relationships, GroupsPairsInColumnOrderAndKeepsSystemOnesApart) {
  auto relations = GroupRelationships({
      Row("b2", 2, 1, "ID", "OrderID"),
      Row("MSysNavPaneGroupsToObjects", 1, 0, "Id", "GroupID", 4352, "MSysNavPaneGroups",
          "MSysNavPaneGroupToObjects"),
      Row("b2", 2, 0, "Branch", "Branch"),
      Row("A1", 1, 0, "ID", "OrderID", 4096),
      Row("sysPair", 1, 0, "Id", "ParentId", 0, "MSysA", "msysB"),
      Row("half", 1, 0, "Id", "ParentId", 0, "MSysA", "Lines"),
  });
  std::vector<std::string> names;
  for (const auto& r : relations) names.push_back(r.name + (r.system ? " (system)" : ""));
  EXPECT_EQ(names,
            (std::vector<std::string>{"A1", "b2", "half", "MSysNavPaneGroupsToObjects (system)",
                                      "sysPair (system)"}));
  const Relationship& b2 = relations[1];
  EXPECT_EQ(b2.table, "Orders");
  EXPECT_EQ(b2.foreignTable, "Lines");
  EXPECT_EQ(b2.attributes, 256);
  EXPECT_EQ(b2.fields, (std::vector<std::pair<std::string, std::string>>{{"Branch", "Branch"},
                                                                         {"ID", "OrderID"}}));
  EXPECT_EQ(relations[0].attributes, 4096);
}

TEST(Relationships, RefusesRowsThatDoNotMakeOneWholeRelationship) {
  const std::vector<std::vector<RelationshipRow>> bad = {
      {Row("r", 2, 0, "a", "b")},                                          // a pair missing
      {Row("r", 1, 0, "a", "b"), Row("r", 1, 0, "c", "d")},                // more rows than pairs
      {Row("r", 2, 0, "a", "b"), Row("r", 2, 0, "c", "d")},                // a pair repeated
      {Row("r", 1, 1, "a", "b")},                                          // index past the count
      {Row("r", 1, -1, "a", "b")},                                         // negative index
      {Row("r", 0, 0, "a", "b")},                                          // no pairs
      {Row("r", 2, 0, "a", "b"), Row("r", 2, 1, "c", "d", 4096)},          // attributes disagree
      {Row("r", 2, 0, "a", "b"), Row("r", 2, 1, "c", "d", 256, "Other")},  // tables disagree
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EXPECT_THROW(GroupRelationships(bad[i]), FormatError) << i;
  }
}

}  // namespace
}  // namespace zentab::engine
