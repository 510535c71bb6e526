// Databases cut short, as an interrupted copy or download leaves them: every cut on a page
// boundary is refused as a whole or yields exactly the tables whose pages are all there, the
// others failing with a message; never fewer tables read cleanly. Which pages the catalogue
// and each table need is worked out here by walking the whole file as docs/FORMAT.md lays it
// out, not by the reader under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/readerprocess.h"
#include "mkmdb/mkmdb.h"
#include "platform/paths.h"
#include "testfiles.h"

namespace zentab::engine {
namespace {

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(bytes.at(at + i));
  return v;
}

std::uint16_t U16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes.at(at)) |
                                    (static_cast<std::uint8_t>(bytes.at(at + 1)) << 8));
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// What the whole file holds, found without the reader: the pages the catalogue needs and the
// pages of each local table's definition.
struct PageWalk {
  std::size_t pageSize = 0;
  bool jet3 = false;
  std::set<std::uint32_t> catalogue;
  std::vector<std::pair<std::string, std::uint32_t>> tableLastPage;  // name, last TDEF page
  std::vector<std::uint32_t> longValuePages;

  std::size_t PageAt(std::uint32_t page) const { return page * pageSize; }

  // The bounds of a row on a data page: rows fill the page from its end.
  std::pair<std::size_t, std::size_t> Row(const std::string& f, std::uint32_t pointer) const {
    std::size_t page = PageAt(pointer >> 8);
    std::size_t row = pointer & 0xFF;
    std::size_t count = jet3 ? 8 : 12;
    std::size_t start = U16(f, page + count + 2 + 2 * row) & 0x1FFF;
    std::size_t end = row == 0 ? pageSize : U16(f, page + count + 2 * row) & 0x1FFF;
    return {page + start, page + end};
  }

  std::vector<std::uint32_t> Chain(const std::string& f, std::uint32_t first) const {
    std::vector<std::uint32_t> pages{first};
    while (std::uint32_t next = U32(f, PageAt(pages.back()) + 4)) pages.push_back(next);
    return pages;
  }
};

// localTables: the local tables' names in description order (their definitions follow page 2
// in that order, each on consecutive pages).
PageWalk Walk(const std::string& f, const std::vector<std::string>& localTables) {
  PageWalk w;
  w.jet3 = f.at(0x14) == 0;
  w.pageSize = w.jet3 ? 2048 : 4096;
  for (std::uint32_t p : w.Chain(f, 2)) w.catalogue.insert(p);
  std::uint32_t usage = U32(f, w.PageAt(2) + (w.jet3 ? 35 : 55));
  std::uint32_t free = U32(f, w.PageAt(2) + (w.jet3 ? 39 : 59));
  w.catalogue.insert(usage >> 8);
  w.catalogue.insert(free >> 8);
  auto [start, end] = w.Row(f, usage);
  if (f.at(start) == 0) {
    std::uint32_t first = U32(f, start + 1);
    for (std::size_t bit = 0; bit < (end - start - 5) * 8; ++bit) {
      if (static_cast<std::uint8_t>(f.at(start + 5 + bit / 8)) & (1u << (bit % 8))) {
        w.catalogue.insert(first + static_cast<std::uint32_t>(bit));
      }
    }
  } else {
    std::size_t covered = (w.pageSize - 4) * 8;
    for (std::size_t k = 0; k < (end - start - 1) / 4; ++k) {
      std::uint32_t mapPage = U32(f, start + 1 + 4 * k);
      if (mapPage == 0) continue;
      w.catalogue.insert(mapPage);
      for (std::size_t bit = 0; bit < covered; ++bit) {
        if (static_cast<std::uint8_t>(f.at(w.PageAt(mapPage) + 4 + bit / 8)) & (1u << (bit % 8))) {
          w.catalogue.insert(static_cast<std::uint32_t>(k * covered + bit));
        }
      }
    }
  }
  std::uint32_t next = 3;
  for (const auto& name : localTables) {
    EXPECT_EQ(f.at(w.PageAt(next)), 0x02) << name << " has no definition on page " << next;
    std::vector<std::uint32_t> chain = w.Chain(f, next);
    w.tableLastPage.emplace_back(name, chain.back());
    next = chain.back() + 1;
  }
  w.tableLastPage.emplace_back("MSysObjects", *w.catalogue.rbegin());
  for (std::uint32_t p = 0; p < f.size() / w.pageSize; ++p) {
    if (f.compare(w.PageAt(p), 1, "\x01") == 0 && f.compare(w.PageAt(p) + 4, 4, "LVAL") == 0) {
      w.longValuePages.push_back(p);
    }
  }
  return w;
}

// A generated database: the JSON description and the local tables in it.
struct Generated {
  std::string json;
  std::vector<std::string> localTables;
  std::vector<std::string> allTables;  // including links and MSysObjects
};

std::string Field(const std::string& name, const std::string& extra = "") {
  return R"({"name":")" + name + R"(","type":"long")" + extra + "}";
}

// n tables with a few properties and rows; every tenth table is a link, and table 0 has
// enough column properties to spill its property blob over several long-value pages.
Generated Describe(const char* format, int n) {
  Generated g;
  g.json = std::string(R"({"format":")") + format + R"(","tables":[)";
  for (int t = 0; t < n; ++t) {
    char name[16];
    std::snprintf(name, sizeof name, "T%04d", t);
    if (t > 0) g.json += ",";
    g.allTables.push_back(name);
    if (t % 10 == 9) {
      g.json += R"({"name":")" + std::string(name) +
                R"(","link":{"database":"C:\\db\\back.mdb","foreignName":"Stock"}})";
      continue;
    }
    g.localTables.push_back(name);
    std::string fields = Field("ID", R"(,"required":true)") + "," +
                         R"({"name":"Label","type":"text","size":20,"default":"\"x\""})";
    int wide = t == 0 ? 120 : 0;
    for (int c = 0; c < wide; ++c) {
      fields += "," + Field("Column" + std::to_string(c),
                            R"(,"default":")" + std::string(40, 'd') + R"(","required":true)");
    }
    g.json += R"({"name":")" + std::string(name) + R"(","rows":)" +
              std::to_string(t % 3 * 20 + 20) + R"(,"fields":[)" + fields + "]}";
  }
  g.json += "]}";
  g.allTables.push_back("MSysObjects");
  std::sort(g.allTables.begin(), g.allTables.end());
  return g;
}

std::string Name(const TableSnapshot& t) {
  const PropertyRead* read = t.properties.Find("Name");
  return read && read->value.IsString() ? read->value.AsString() : "(no name)";
}

class CutOff : public ::testing::TestWithParam<const char*> {
 protected:
  std::string Open(const std::string& path, std::shared_ptr<const DatabaseSnapshot>& db) {
    try {
      db = reader_.Read(path, 30);
    } catch (const AutomationError& e) {
      return e.what();
    }
    return {};
  }

  testing::TempDir dir_;
  ReaderProcess reader_{platform::ExecutableDirectory() + "zentab-dbreader"};
};

// Each cut of each database: refused naming a page of the catalogue beyond the cut, exactly
// when such a page exists; otherwise every table is there, and a table fails with a message
// exactly when its definition reaches beyond the cut.
TEST_P(CutOff, EveryCutIsRefusedOrKeepsEveryTableWithTheCutOnesFailing) {
  struct Case {
    int tables;
    std::size_t maxCuts;  // an even sample across the file beyond this many cut points
  };
  const Case cases[] = {{1, 1000}, {50, 1000}, {2000, 24}};
  int cuts = 0, refused = 0, whole = 0, failedTables = 0;
  auto started = std::chrono::steady_clock::now();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.tables) + " tables");
    Generated g = Describe(GetParam(), c.tables);
    std::string original = dir_.File("whole" + std::to_string(c.tables) + ".mdb");
    mkmdb::WriteMdbFromJson(g.json, original);
    const std::string bytes = testing::ReadBytes(original);
    const PageWalk walk = Walk(bytes, g.localTables);
    const std::uint32_t pages = static_cast<std::uint32_t>(bytes.size() / walk.pageSize);
    const std::uint32_t catalogueEnd = *walk.catalogue.rbegin() + 1;
    ASSERT_LT(catalogueEnd, pages);
    ASSERT_EQ(walk.tableLastPage.size(), g.localTables.size() + 1);
    // Long-value pages hold property blobs only; a cut that loses one loses part of the
    // catalogue too, so each table's pages are its definition's.
    for (std::uint32_t p : walk.longValuePages) ASSERT_LT(p, catalogueEnd);
    if (c.tables == 1) {
      ASSERT_GE(walk.longValuePages.size(), 2u);
    }

    std::set<std::uint32_t> points;
    if (pages - 3 <= c.maxCuts) {
      for (std::uint32_t p = 3; p < pages; ++p) points.insert(p);
    } else {
      for (std::size_t i = 0; i < c.maxCuts; ++i) {
        points.insert(static_cast<std::uint32_t>(3 + i * (pages - 3) / c.maxCuts));
      }
      for (std::uint32_t p : {3u, catalogueEnd - 1, catalogueEnd, catalogueEnd + 1, pages - 1}) {
        points.insert(p);
      }
    }
    for (std::uint32_t cut : points) {
      SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(pages) + " pages");
      std::string path = dir_.Write("cut.mdb", bytes.substr(0, cut * walk.pageSize));
      std::shared_ptr<const DatabaseSnapshot> db;
      std::string error = Open(path, db);
      ++cuts;
      if (catalogueEnd > cut) {
        ++refused;
        const std::string prefix = "'" + path + "' is truncated: page ";
        const std::string suffix = " of the catalogue lies beyond its end (the file has " +
                                   std::to_string(cut) + " pages)";
        ASSERT_EQ(error.rfind(prefix, 0), 0u) << error;
        ASSERT_NE(error.find(suffix), std::string::npos) << error;
        std::uint32_t named = std::stoul(error.substr(prefix.size()));
        EXPECT_GE(named, cut);
        EXPECT_TRUE(walk.catalogue.count(named)) << "page " << named << " is no catalogue page";
        continue;
      }
      ++whole;
      ASSERT_EQ(error, "");
      ASSERT_FALSE(db->tablesError) << *db->tablesError;
      std::vector<std::string> names;
      for (const auto& t : db->tables) names.push_back(Name(t));
      std::sort(names.begin(), names.end());
      ASSERT_EQ(names, g.allTables);
      for (const auto& [name, last] : walk.tableLastPage) {
        auto it = std::find_if(db->tables.begin(), db->tables.end(),
                               [&](const TableSnapshot& t) { return Name(t) == name; });
        const bool cutOff = last >= cut;
        failedTables += cutOff;
        if (!cutOff) {
          EXPECT_FALSE(it->fieldsError) << name << ": " << *it->fieldsError;
          continue;
        }
        ASSERT_TRUE(it->fieldsError) << name << " reads as whole";
        EXPECT_NE(it->fieldsError->find("is truncated"), std::string::npos) << *it->fieldsError;
      }
    }
  }
  std::printf("[ cut off ] %d cuts: %d refused, %d read whole, %d tables failed, %.1f s\n", cuts,
              refused, whole, failedTables,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  EXPECT_GE(cuts, 100);
  EXPECT_GT(refused, 0);
  EXPECT_GT(whole, 0);
}

// Damage of the kind a cut leaves in a file whose catalogue or tables grew at its end: one
// pointer moved past the end of an otherwise whole file.
TEST_P(CutOff, NamesThePageBeyondTheEndForTheCatalogueOrTheTableItBelongsTo) {
  Generated g = Describe(GetParam(), 12);
  std::string original = dir_.File("whole.mdb");
  mkmdb::WriteMdbFromJson(g.json, original);
  const std::string bytes = testing::ReadBytes(original);
  const PageWalk walk = Walk(bytes, g.localTables);
  const auto pages = static_cast<std::uint32_t>(bytes.size() / walk.pageSize);
  const std::string n = std::to_string(pages);
  // T0001's definition starts right after T0000's.
  const std::uint32_t t1 = walk.tableLastPage[0].second + 1;
  const std::uint32_t usage = U32(bytes, walk.PageAt(2) + (walk.jet3 ? 35 : 55));

  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    std::uint32_t page;        // the page beyond the end the message names
    const char* table;         // the table that fails, or null when the database is refused
    const char* tableMessage;  // what of that table lies beyond the end
  };
  const Case cases[] = {
      {"catalogue definition continues beyond the end",
       [&](std::string& f) { PutU32(f, walk.PageAt(2) + 4, pages + 4); }, pages + 4, nullptr,
       nullptr},
      {"catalogue free-space map beyond the end",
       [&](std::string& f) { PutU32(f, walk.PageAt(2) + (walk.jet3 ? 39 : 59), (pages + 6) << 8); },
       pages + 6, nullptr, nullptr},
      {"catalogue usage map marks a page beyond the end",
       [&](std::string& f) {
         auto [start, end] = walk.Row(f, usage);
         ASSERT_EQ(f.at(start), 0);
         std::uint32_t bit = pages + 1 - U32(f, start + 1);
         ASSERT_LT(bit / 8, end - start - 5);
         f.at(start + 5 + bit / 8) |= static_cast<char>(1 << (bit % 8));
       },
       pages + 1, nullptr, nullptr},
      {"table definition continues beyond the end",
       [&](std::string& f) { PutU32(f, walk.PageAt(t1) + 4, pages + 7); }, pages + 7, "T0001",
       "table definition"},
      {"catalogue row names a definition beyond the end",
       [&](std::string& f) {
         // The row's Id and ParentId (the Tables container) lie side by side.
         std::string key(8, '\0');
         PutU32(key, 0, t1);
         PutU32(key, 4, 0x0F000001);
         std::size_t at = f.find(key, walk.PageAt(3));
         ASSERT_NE(at, std::string::npos);
         PutU32(f, at, pages + 3);
       },
       pages + 3, "T0001", "table definition"},
      {"property blob continues beyond the end",
       [&](std::string& f) {
         ASSERT_FALSE(walk.longValuePages.empty());
         std::uint32_t lv = walk.longValuePages.front();
         auto [start, end] = walk.Row(f, lv << 8);
         ASSERT_NE(U32(f, start), 0u) << "the first long-value row ends its chain";
         PutU32(f, start, (pages + 2) << 8);
       },
       pages + 2, "T0000", "property"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string damaged = bytes;
    c.damage(damaged);
    if (::testing::Test::HasFatalFailure()) return;
    std::string path = dir_.Write("damaged.mdb", damaged);
    std::shared_ptr<const DatabaseSnapshot> db;
    std::string error = Open(path, db);
    const std::string page = std::to_string(c.page);
    if (!c.table) {
      EXPECT_EQ(error, "'" + path + "' is truncated: page " + page +
                           " of the catalogue lies beyond its end (the file has " + n + " pages).");
      continue;
    }
    ASSERT_EQ(error, "");
    ASSERT_EQ(db->tables.size(), g.allTables.size());
    for (const auto& t : db->tables) {
      // Links fail for a reason of their own: their source file is not here.
      if (std::find(g.localTables.begin(), g.localTables.end(), Name(t)) == g.localTables.end()) {
        continue;
      }
      if (Name(t) != c.table) {
        EXPECT_FALSE(t.fieldsError) << Name(t) << ": " << *t.fieldsError;
        continue;
      }
      EXPECT_EQ(t.fieldsError.value_or("(none)"),
                "Table '" + std::string(c.table) + "' in '" + path + "' is truncated: its " +
                    c.tableMessage + " page " + page +
                    " lies beyond the end of the file (the file has " + n + " pages).");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, CutOff, ::testing::Values("jet4", "jet3"));

}  // namespace
}  // namespace zentab::engine
