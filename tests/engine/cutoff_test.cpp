// Databases cut short, as an interrupted copy or download leaves them: every cut on a page
// boundary is refused as a whole or yields exactly the tables the file holds, those whose own
// pages are cut off failing with a message; never fewer tables read cleanly. The oracle is
// the whole file: its tables as mdbtools' exporter lists them, and the pages the catalogue and
// each table need, walked here as docs/FORMAT.md lays them out.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
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

// One MSysObjects row as mdbtools' own exporter reads it from the whole file.
struct ExportedRow {
  long long id = 0;
  long long parentId = 0;
  long long type = 0;
  std::string name;
};

// MSysObjects through mdb-export (binary columns stripped; unit and record separators between
// columns and rows); empty when it cannot be read.
std::vector<ExportedRow> ExportCatalogue(const std::string& path) {
  std::string command =
      "mdb-export -b strip -d '\x1f' -R '\x1e' -Q '" + path + "' MSysObjects 2>/dev/null";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[65536];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    ::pclose(pipe);
  }
  auto split = [](const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1) {
      parts.push_back(text.substr(from, at - from));
    }
    parts.push_back(text.substr(from));
    return parts;
  };
  std::vector<std::string> lines = split(out, '\x1e');
  if (lines.size() < 2) return {};
  std::vector<std::string> header = split(lines[0], '\x1f');
  auto column = [&](const char* name) {
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
  };
  const std::size_t id = column("Id"), parent = column("ParentId"), name = column("Name"),
                    type = column("Type");
  std::vector<ExportedRow> rows;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> cells = split(lines[i], '\x1f');
    if (cells.size() != header.size()) continue;
    rows.push_back(
        {std::stoll(cells[id]), std::stoll(cells[parent]), std::stoll(cells[type]), cells[name]});
  }
  return rows;
}

// What the whole file holds, found without the reader under test: the tables the engine
// presents (from the exported catalogue), the pages the catalogue needs and the last page each
// local table needs (walked as docs/FORMAT.md lays the pages out).
struct PageWalk {
  std::size_t pageSize = 0;
  bool jet3 = false;
  std::uint32_t pages = 0;
  std::set<std::uint32_t> catalogue;
  std::vector<std::string> tables;  // sorted
  struct LocalTable {
    std::string name;
    std::uint32_t first = 0;  // its definition's first page
    std::uint32_t last = 0;   // the last page of its definition, usage map and rows
  };
  std::vector<LocalTable> local;
  std::set<std::uint32_t> longValuePages;

  std::size_t PageAt(std::uint32_t page) const { return page * pageSize; }
  std::uint32_t CatalogueEnd() const { return *catalogue.rbegin() + 1; }

  // The bounds of a row on a data page: rows fill the page from its end.
  std::pair<std::size_t, std::size_t> Row(const std::string& f, std::uint32_t pointer) const {
    std::size_t page = PageAt(pointer >> 8);
    std::size_t row = pointer & 0xFF;
    std::size_t count = jet3 ? 8 : 12;
    std::size_t start = U16(f, page + count + 2 + 2 * row) & 0x1FFF;
    std::size_t end = row == 0 ? pageSize : U16(f, page + count + 2 * row) & 0x1FFF;
    return {page + start, page + end};
  }

  // The pages a usage map needs: the page of its row, its usage-map pages and every page it
  // marks; pointer is the row pointer a table definition holds at offset 35 / 55.
  std::set<std::uint32_t> MapPages(const std::string& f, std::uint32_t pointer) const {
    std::set<std::uint32_t> pages{pointer >> 8};
    auto [start, end] = Row(f, pointer);
    auto marked = [&](std::size_t bitmap, std::size_t bit) {
      return (static_cast<std::uint8_t>(f.at(bitmap + bit / 8)) >> (bit % 8)) & 1;
    };
    if (f.at(start) == 0) {
      std::uint32_t first = U32(f, start + 1);
      for (std::size_t bit = 0; bit < (end - start - 5) * 8; ++bit) {
        if (marked(start + 5, bit)) pages.insert(first + static_cast<std::uint32_t>(bit));
      }
      return pages;
    }
    std::size_t covered = (pageSize - 4) * 8;
    for (std::size_t k = 0; k < (end - start - 1) / 4; ++k) {
      std::uint32_t mapPage = U32(f, start + 1 + 4 * k);
      if (mapPage == 0) continue;
      pages.insert(mapPage);
      for (std::size_t bit = 0; bit < covered; ++bit) {
        if (marked(PageAt(mapPage) + 4, bit)) {
          pages.insert(static_cast<std::uint32_t>(k * covered + bit));
        }
      }
    }
    return pages;
  }

  // A table definition's pages, following offset 4 from the first.
  std::vector<std::uint32_t> Chain(const std::string& f, std::uint32_t first) const {
    std::vector<std::uint32_t> chain{first};
    while (std::uint32_t next = U32(f, PageAt(chain.back()) + 4)) {
      if (std::find(chain.begin(), chain.end(), next) != chain.end()) break;
      chain.push_back(next);
    }
    return chain;
  }
};

PageWalk Walk(const std::string& path) {
  const std::string f = testing::ReadBytes(path);
  PageWalk w;
  w.jet3 = f.at(0x14) == 0;
  w.pageSize = w.jet3 ? 2048 : 4096;
  w.pages = static_cast<std::uint32_t>(f.size() / w.pageSize);
  for (std::uint32_t p : w.Chain(f, 2)) w.catalogue.insert(p);
  const std::size_t usageAt = w.jet3 ? 35 : 55;
  w.catalogue.merge(w.MapPages(f, U32(f, w.PageAt(2) + usageAt)));
  w.catalogue.insert(U32(f, w.PageAt(2) + (w.jet3 ? 39 : 59)) >> 8);
  std::vector<ExportedRow> rows = ExportCatalogue(path);
  long long container = -1;
  for (const auto& r : rows) {
    if (r.type == 3 && r.parentId == 0x0F000000 && r.name == "Tables") container = r.id;
  }
  for (const auto& r : rows) {
    if (r.parentId != container || (r.type != 1 && r.type != 4 && r.type != 6)) continue;
    w.tables.push_back(r.name);
    if (r.type == 1) {
      auto first = static_cast<std::uint32_t>(r.id & 0x00FFFFFF);
      std::vector<std::uint32_t> chain = w.Chain(f, first);
      std::set<std::uint32_t> data = w.MapPages(f, U32(f, w.PageAt(first) + usageAt));
      w.local.push_back({r.name, first, std::max(*data.rbegin(), chain.back())});
    }
  }
  std::sort(w.tables.begin(), w.tables.end());
  for (std::uint32_t p = 0; p < w.pages; ++p) {
    if (f.compare(w.PageAt(p), 1, "\x01") == 0 && f.compare(w.PageAt(p) + 4, 4, "LVAL") == 0) {
      w.longValuePages.insert(p);
    }
  }
  return w;
}

// A generated database's description and its tables' names (links, MSysObjects included).
struct Generated {
  std::string json;
  std::vector<std::string> tables;  // sorted
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
    g.tables.push_back(name);
    if (t % 10 == 9) {
      g.json += R"({"name":")" + std::string(name) +
                R"(","link":{"database":"C:\\db\\back.mdb","foreignName":"Stock"}})";
      continue;
    }
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
  g.tables.push_back("MSysObjects");
  std::sort(g.tables.begin(), g.tables.end());
  return g;
}

std::string Name(const TableSnapshot& t) {
  const PropertyRead* read = t.properties.Find("Name");
  return read && read->value.IsString() ? read->value.AsString() : "(no name)";
}

// How the read of one cut file went.
struct Tally {
  int cuts = 0, refused = 0, whole = 0, failedTables = 0;
};

class CutOff : public ::testing::Test {
 protected:
  std::string Open(const std::string& path, std::shared_ptr<const DatabaseSnapshot>& db) {
    try {
      db = reader_.Read(path, 30);
    } catch (const AutomationError& e) {
      return e.what();
    }
    return {};
  }

  // Reads bytes cut after cut pages and checks the outcome against the walk of the whole
  // file: refused, naming a page of the catalogue beyond the cut, exactly when the catalogue
  // reaches beyond it (or when one of its long values does); otherwise every table is there,
  // and a local table whose definition, usage map or rows reach beyond the cut fails saying
  // so. With
  // cleanOtherwise, every other local table must read without a failure.
  void CheckCut(const PageWalk& walk, const std::string& bytes, std::uint32_t cut,
                bool cleanOtherwise, Tally& tally) {
    SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(walk.pages) +
                 " pages");
    std::string path = dir_.Write("cut.mdb", bytes.substr(0, cut * walk.pageSize));
    std::shared_ptr<const DatabaseSnapshot> db;
    std::string error = Open(path, db);
    ++tally.cuts;
    if (!error.empty()) {
      ++tally.refused;
      const std::string prefix = "'" + path + "' is truncated: page ";
      const std::string suffix =
          " of the catalogue lies beyond its end (the file has " + std::to_string(cut) + " pages)";
      ASSERT_EQ(error.rfind(prefix, 0), 0u) << error;
      ASSERT_NE(error.find(suffix), std::string::npos) << error;
      auto named = static_cast<std::uint32_t>(std::stoul(error.substr(prefix.size())));
      EXPECT_GE(named, cut);
      EXPECT_TRUE(walk.catalogue.count(named) || walk.longValuePages.count(named))
          << "page " << named << " belongs to no catalogue structure";
      EXPECT_TRUE(walk.CatalogueEnd() > cut || walk.longValuePages.count(named)) << error;
      return;
    }
    ASSERT_LE(walk.CatalogueEnd(), cut) << "the catalogue reaches beyond the cut, yet it was read";
    ++tally.whole;
    ASSERT_FALSE(db->tablesError) << *db->tablesError;
    std::vector<std::string> names;
    for (const auto& t : db->tables) names.push_back(Name(t));
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names, walk.tables);
    for (const auto& [name, first, last] : walk.local) {
      auto it = std::find_if(db->tables.begin(), db->tables.end(),
                             [&](const TableSnapshot& t) { return Name(t) == name; });
      ASSERT_NE(it, db->tables.end()) << name;
      if (last < cut) {
        if (cleanOtherwise) {
          EXPECT_FALSE(it->fieldsError) << name << ": " << *it->fieldsError;
        }
        continue;
      }
      ++tally.failedTables;
      ASSERT_TRUE(it->fieldsError) << name << " reads as whole";
      EXPECT_NE(it->fieldsError->find("is truncated"), std::string::npos) << *it->fieldsError;
    }
  }

  testing::TempDir dir_;
  ReaderProcess reader_{platform::ExecutableDirectory() + "zentab-dbreader"};
};

class CutOffFormats : public CutOff, public ::testing::WithParamInterface<const char*> {};

// Generated databases of 1, 50 and 2,000 tables, cut at every page boundary after the first
// three (an even sample for the largest), and always just before, at and after the end of
// the catalogue.
TEST_P(CutOffFormats, EveryCutIsRefusedOrKeepsEveryTableWithTheCutOnesFailing) {
  struct Case {
    int tables;
    std::uint32_t maxCuts;
  };
  const Case cases[] = {{1, 1000}, {50, 1000}, {2000, 24}};
  Tally tally;
  auto started = std::chrono::steady_clock::now();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.tables) + " tables");
    Generated g = Describe(GetParam(), c.tables);
    std::string original = dir_.File("whole" + std::to_string(c.tables) + ".mdb");
    mkmdb::WriteMdbFromJson(g.json, original);
    const std::string bytes = testing::ReadBytes(original);
    const PageWalk walk = Walk(original);
    ASSERT_EQ(walk.tables, g.tables);
    ASSERT_LT(walk.CatalogueEnd(), walk.pages);
    // The writer puts long values (property blobs) before the catalogue's rows: a cut that
    // loses one loses part of the catalogue too, so a table's own pages are its definition's.
    for (std::uint32_t p : walk.longValuePages) ASSERT_LT(p, walk.CatalogueEnd());
    if (c.tables == 1) {
      ASSERT_GE(walk.longValuePages.size(), 2u);
    }
    std::set<std::uint32_t> points;
    const std::uint32_t end = walk.CatalogueEnd();
    if (walk.pages - 3 <= c.maxCuts) {
      for (std::uint32_t p = 3; p < walk.pages; ++p) points.insert(p);
    } else {
      for (std::uint32_t i = 0; i < c.maxCuts; ++i) {
        points.insert(3 + i * (walk.pages - 3) / c.maxCuts);
      }
      for (std::uint32_t p : {end - 1, end, end + 1, walk.pages - 1}) points.insert(p);
    }
    for (std::uint32_t cut : points) {
      CheckCut(walk, bytes, cut, true, tally);
      if (HasFatalFailure()) return;
    }
  }
  std::printf("[ cut off ] %d cuts: %d refused, %d read whole, %d tables failed, %.1f s\n",
              tally.cuts, tally.refused, tally.whole, tally.failedTables,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  EXPECT_GE(tally.cuts, 100);
  EXPECT_GT(tally.refused, 0);
  EXPECT_GT(tally.whole, 0);
}

// Real files lay their pages out as they grew, so cuts there also leave a whole catalogue
// with tables cut off. Each file is cut just before, at and after the end of its catalogue
// and at three points across it.
TEST_F(CutOff, CorpusFilesCutAnywhereAreRefusedOrKeepEveryTable) {
  std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no shared corpus";
  Tally tally;
  int files = 0;
  auto started = std::chrono::steady_clock::now();
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    const std::string original = entry.path().string();
    SCOPED_TRACE(original);
    std::shared_ptr<const DatabaseSnapshot> whole;
    if (!Open(original, whole).empty() || whole->tablesError) continue;
    const PageWalk walk = Walk(original);
    if (walk.tables.empty()) continue;
    ++files;
    const std::string bytes = testing::ReadBytes(original);
    const std::uint32_t end = walk.CatalogueEnd();
    std::set<std::uint32_t> points{end - 1, end, end + 1};
    for (std::uint32_t i = 1; i <= 3; ++i) points.insert(3 + i * (walk.pages - 3) / 4);
    for (std::uint32_t cut : points) {
      if (cut < 3 || cut >= walk.pages) continue;
      CheckCut(walk, bytes, cut, false, tally);
      if (HasFatalFailure()) return;
    }
  }
  std::printf(
      "[ cut off ] %d corpus files, %d cuts: %d refused, %d read whole, %d tables "
      "failed, %.1f s\n",
      files, tally.cuts, tally.refused, tally.whole, tally.failedTables,
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  EXPECT_GT(files, 0);
  EXPECT_GT(tally.failedTables, 0);
}

// Damage of the kind a cut leaves in a file whose catalogue or tables grew at its end: one
// pointer moved past the end of an otherwise whole file.
TEST_P(CutOffFormats, NamesThePageBeyondTheEndForTheCatalogueOrTheTableItBelongsTo) {
  Generated g = Describe(GetParam(), 12);
  std::string original = dir_.File("whole.mdb");
  mkmdb::WriteMdbFromJson(g.json, original);
  const std::string bytes = testing::ReadBytes(original);
  const PageWalk walk = Walk(original);
  const std::uint32_t pages = walk.pages;
  const std::string n = std::to_string(pages);
  auto local = [&](const std::string& name) {
    return std::find_if(walk.local.begin(), walk.local.end(),
                        [&](const PageWalk::LocalTable& t) { return t.name == name; });
  };
  ASSERT_NE(local("T0001"), walk.local.end());
  const std::uint32_t t1 = local("T0001")->first;
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
      {"a link's path lies on a page beyond the end",
       [&](std::string& f) {
         // The memo reference sits right before the path it keeps inline; it is made to point
         // at a long-value row instead.
         std::string stored;
         for (char ch : std::string("C:\\db\\back.mdb")) {
           stored += ch;
           if (!walk.jet3) stored += '\0';
         }
         std::size_t at = f.find(stored, walk.PageAt(3));
         ASSERT_NE(at, std::string::npos);
         const auto length = static_cast<std::uint32_t>(stored.size());
         ASSERT_EQ(U32(f, at - 12), 0x80000000u | length);
         PutU32(f, at - 12, 0x40000000u | length);
         PutU32(f, at - 8, (pages + 9) << 8);
       },
       pages + 9, nullptr, nullptr},
      {"table's usage map marks a page beyond the end",
       [&](std::string& f) {
         auto [start, end] = walk.Row(f, U32(f, walk.PageAt(t1) + (walk.jet3 ? 35 : 55)));
         ASSERT_EQ(f.at(start), 0);
         std::uint32_t bit = pages + 5 - U32(f, start + 1);
         ASSERT_LT(bit / 8, end - start - 5);
         f.at(start + 5 + bit / 8) |= static_cast<char>(1 << (bit % 8));
       },
       pages + 5, "T0001", "data"},
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
         std::uint32_t lv = *walk.longValuePages.begin();
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
    if (HasFatalFailure()) return;
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
    ASSERT_EQ(db->tables.size(), g.tables.size());
    for (const auto& t : db->tables) {
      // Links fail for a reason of their own: their source file is not here.
      if (local(Name(t)) == walk.local.end()) continue;
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

INSTANTIATE_TEST_SUITE_P(Formats, CutOffFormats, ::testing::Values("jet4", "jet3"));

}  // namespace
}  // namespace zentab::engine
