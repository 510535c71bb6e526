// The relationship diagram: which tables and edges are drawn, how keys and cardinality are
// marked, and that names reach the SVG as text, never as markup.
#include "report/definition/diagram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "fakes/chromium.h"
#include "fakes/temp_dir.h"

namespace zentab::report {
namespace {

// The text elements of each SVG group of the given class ("node" or "edge"), in order.
std::vector<std::vector<std::string>> GroupTexts(const std::string& svg, const std::string& kind) {
  std::vector<std::vector<std::string>> groups;
  const std::regex group("<g id=\"[a-z]+[0-9]+\" class=\"" + kind + "\">([\\s\\S]*?)</g>");
  const std::regex text("<text[^>]*>([^<]*)</text>");
  for (std::sregex_iterator g(svg.begin(), svg.end(), group), end; g != end; ++g) {
    std::string body = (*g)[1];
    std::vector<std::string> texts;
    for (std::sregex_iterator t(body.begin(), body.end(), text); t != end; ++t) {
      texts.push_back((*t)[1]);
    }
    groups.push_back(texts);
  }
  return groups;
}

TEST(DiagramTest, DrawsNothingWithoutRelationships) {
  EXPECT_EQ(RenderRelationshipDiagram({{"受注", {{"ID", true, false}}}}, {}), "");
}

TEST(DiagramTest, DrawsTheTablesOfEachRelationshipWithTheirKeys) {
  std::vector<DiagramTable> tables = {
      {"受注", {{"受注ID", true, false}}},
      {"受注明細", {{"受注ID", false, true}, {"明細No", true, false}}},
      {"得意先", {{"得意先ID", true, false}}},
      {"ログ", {{"ID", true, false}}},  // in no relationship: left out
  };
  std::vector<DiagramEdge> edges = {{"受注", "受注明細", false, true},
                                    {"得意先", "受注", false, true}};
  std::string svg = RenderRelationshipDiagram(tables, edges);
  ASSERT_EQ(svg.rfind("<svg", 0), 0u) << svg.substr(0, 80);

  auto nodes = GroupTexts(svg, "node");
  std::vector<std::vector<std::string>> expected = {
      {"受注", "PK 受注ID"}, {"受注明細", "FK 受注ID", "PK 明細No"}, {"得意先", "PK 得意先ID"}};
  std::sort(nodes.begin(), nodes.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(nodes, expected);
  auto drawn = GroupTexts(svg, "edge");
  ASSERT_EQ(drawn.size(), 2u);
  for (auto labels : drawn) {
    std::sort(labels.begin(), labels.end());
    EXPECT_EQ(labels, (std::vector<std::string>{"1", "∞"}));
  }
}

TEST(DiagramTest, MarksOneToOneAndRelationshipsWithoutIntegrity) {
  struct Case {
    DiagramEdge edge;
    std::vector<std::string> labels;
    bool dashed;
  } cases[] = {
      {{"A", "B", true, true}, {"1", "1"}, false},
      {{"A", "B", false, false}, {"参照整合性なし", "1", "∞"}, true},
  };
  for (const auto& c : cases) {
    std::string svg = RenderRelationshipDiagram({}, {c.edge});
    auto edges = GroupTexts(svg, "edge");
    ASSERT_EQ(edges.size(), 1u);
    auto labels = edges[0];
    std::sort(labels.begin(), labels.end());
    auto want = c.labels;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(labels, want);
    EXPECT_EQ(svg.find("stroke-dasharray") != std::string::npos, c.dashed);
  }
}

// Hundreds of tables in many separate groups make a picture that can be scaled to a page, not
// a strip hundreds of boxes long.
TEST(DiagramTest, ManyGroupsPackIntoAPageShapedPicture) {
  std::vector<DiagramTable> tables;
  std::vector<DiagramEdge> edges;
  for (int i = 0; i < 150; ++i) {
    std::string parent = "親" + std::to_string(i), child = "子" + std::to_string(i);
    tables.push_back({parent, {{"ID", true, false}}});
    tables.push_back({child, {{"親ID", false, true}}});
    edges.push_back({parent, child, false, true});
  }
  std::string svg = RenderRelationshipDiagram(tables, edges);
  std::smatch size;
  ASSERT_TRUE(
      std::regex_search(svg, size, std::regex(R"(width="([0-9.]+)pt" height="([0-9.]+)pt")")));
  double ratio = std::stod(size[1]) / std::stod(size[2]);
  EXPECT_GT(ratio, 0.25) << size[0];
  EXPECT_LT(ratio, 4.0) << size[0];
  EXPECT_EQ(GroupTexts(svg, "node").size(), 300u);
}

TEST(DiagramTest, NamesAreTextNotMarkup) {
  std::string svg = RenderRelationshipDiagram({{"A&B<i>", {{"x\"y", true, false}}}},
                                              {{"A&B<i>", "<script>", false, true}});
  auto nodes = GroupTexts(svg, "node");
  std::sort(nodes.begin(), nodes.end());
  EXPECT_EQ(nodes, (std::vector<std::vector<std::string>>{{"&lt;script&gt;"},
                                                          {"A&amp;B&lt;i&gt;", "PK x&quot;y"}}));
  EXPECT_EQ(svg.find("<script>"), std::string::npos);
  EXPECT_EQ(svg.find("<i>"), std::string::npos);
}

// What a reader sees: Chromium draws the diagram's boxes, lines and names; the same page without
// the diagram stays white, so the count measures the drawing.
TEST(DiagramTest, ChromiumDrawsTheDiagram) {
  std::string chromium = fakes::FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "no chromium on PATH";
  fakes::TempDir dir;
  std::string svg = RenderRelationshipDiagram(
      {{"受注", {{"受注ID", true, false}}}, {"受注明細", {{"受注ID", false, true}}}},
      {{"受注", "受注明細", false, true}});
  auto page = [](const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body +
           "</body></html>";
  };
  auto drawn =
      fakes::RenderPage(chromium, dir.Write("d.html", page(svg)), dir.File("d.png"), 640, 320);
  auto blank =
      fakes::RenderPage(chromium, dir.Write("b.html", page("")), dir.File("b.png"), 640, 320);
  ASSERT_TRUE(drawn && blank) << "chromium gave no screenshot";
  EXPECT_EQ(blank->InkedPixels(), 0u);
  EXPECT_GT(drawn->InkedPixels(), 1000u);
}

}  // namespace
}  // namespace zentab::report
