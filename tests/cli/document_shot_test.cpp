// The definition document as a reader sees it: zentab-cli --details over the sample database
// and a corpus file, rendered by headless Chromium; the relationship diagram must be there and
// drawn. Skipped without Chromium (and the corpus file without the corpus).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fakes/chromium.h"
#include "fakes/html_query.h"
#include "fakes/temp_dir.h"

namespace zentab {
namespace {

// Only the diagrams stay visible, so the inked pixels are the diagram's own.
std::string DiagramsOnly(std::string html) {
  const std::string style =
      "<style>body>*{display:none!important}body>section.database{display:block!important}"
      "section.database>*{display:none!important}"
      "section.database>div.diagram{display:block!important;border:none!important}</style>";
  html.insert(html.find("</head>"), style);
  return html;
}

struct ShotCase {
  const char* name;
  std::string (*database)(const fakes::TempDir& dir);  // empty when it is not available
};

class DocumentShot : public ::testing::TestWithParam<ShotCase> {};

TEST_P(DocumentShot, ShowsADrawnRelationshipDiagram) {
  std::string chromium = fakes::FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "no chromium on PATH";
  fakes::TempDir dir;
  std::string database = GetParam().database(dir);
  if (database.empty()) GTEST_SKIP() << "no such database here";
  std::string command = std::string(ZENTAB_CLI_PATH) + " --details " + dir.File("d.html") + " " +
                        database + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::string html = fakes::ReadBytes(dir.File("d.html"));
  fakes::HtmlQuery doc(html);
  ASSERT_EQ(doc.Texts("//div[@class='diagram']/*[local-name()='svg']").size(), 1u);

  auto whole = fakes::RenderPage(chromium, dir.File("d.html"), dir.File("whole.png"), 1100, 900);
  auto diagram = fakes::RenderPage(chromium, dir.Write("only.html", DiagramsOnly(html)),
                                   dir.File("only.png"), 1100, 900);
  ASSERT_TRUE(whole && diagram) << "chromium gave no screenshot";
  EXPECT_GT(whole->InkedPixels(), 20000u);
  EXPECT_GT(diagram->InkedPixels(), 2000u) << "the diagram is blank";
}

INSTANTIATE_TEST_SUITE_P(
    Databases, DocumentShot,
    ::testing::Values(ShotCase{"Sample",
                               [](const fakes::TempDir& dir) {
                                 std::string mdb = dir.File("sample.mdb");
                                 std::string command = std::string(ZENTAB_MKMDB_PATH) + " " +
                                                       ZENTAB_TEST_DATA_DIR "/sample.json " + mdb;
                                 return std::system(command.c_str()) == 0 ? mdb : std::string();
                               }},
                      ShotCase{"Corpus",
                               [](const fakes::TempDir&) {
                                 const char* shared = std::getenv("ZENTAB_SHARED_DIR");
                                 std::string path = std::string(shared ? shared : "") +
                                                    "/corpus/indexTestV2003.mdb";
                                 return shared && std::filesystem::exists(path) ? path
                                                                                : std::string();
                               }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zentab
