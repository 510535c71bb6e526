// The base window: path intake from the command line and from drops, the settings file, and
// Escape closing.
#include "app/baseform.h"

#include <QDropEvent>
#include <QGuiApplication>
#include <QListWidget>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "app/mainform.h"
#include "app_support.h"

namespace zentab::app {
namespace {

using testing::WindowTest;

// A window that records every intake it is told about.
class ProbeForm : public TBaseForm {
 public:
  explicit ProbeForm(std::vector<std::string> arguments = {})
      : TBaseForm("TProbeForm", QRect(10, 20, 300, 200), std::move(arguments)) {}
  int intakes = 0;

 protected:
  void FilesReceived() override { ++intakes; }
};

// A drag that enters the window and drops there; false when the window refused the drag.
bool Drop(QWidget& target, const QMimeData& data) {
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&target, &drop);
  return true;
}

bool Drop(QWidget& target, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  return Drop(target, data);
}

using BaseFormIntake = WindowTest;

TEST_F(BaseFormIntake, CommandLineIsTakenWhenShownAndSortedIntoFilesAndFolders) {
  std::string file = Touch("a.txt");
  std::string folder = dir.File("sub");
  std::filesystem::create_directory(folder);
  ProbeForm form({file, folder, dir.File("missing.mdb"), file});
  EXPECT_EQ(form.intakes, 0);
  form.show();
  EXPECT_EQ(form.intakes, 1);
  EXPECT_EQ(form.FileList(), (std::vector<std::string>{file, file}));
  EXPECT_EQ(form.DirList(), (std::vector<std::string>{folder}));
}

TEST_F(BaseFormIntake, StartingWithoutArgumentsStillReportsAnIntake) {
  ProbeForm form;
  form.show();
  EXPECT_EQ(form.intakes, 1);
  EXPECT_TRUE(form.FileList().empty());
  EXPECT_TRUE(form.DirList().empty());
}

TEST_F(BaseFormIntake, DropTakesWholeLocalPathsAndReplacesTheLastIntake) {
  // A path far longer than 255 bytes, with a Japanese name.
  std::string deep = dir.Path() + std::string(120, 'd') + "/" + std::string(120, 'e');
  std::filesystem::create_directories(deep);
  std::string longPath = deep + "/顧客台帳.mdb";
  std::ofstream(longPath).put('x');
  ASSERT_GT(longPath.size(), 255u);
  // A name that is not UTF-8 keeps its bytes, as on the command line.
  std::string raw = dir.File("\xff\xfe.mdb");
  std::ofstream(raw).put('x');
  std::string folder = dir.File("f");
  std::filesystem::create_directory(folder);

  ProbeForm form;
  QMimeData text;
  text.setText(QString::fromStdString(longPath));
  QDragEnterEvent plainText(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&form, &plainText);
  EXPECT_FALSE(plainText.isAccepted());

  // A uri-list as a file manager sends it: a comment, CR LF line ends, a host name.
  QMimeData dropped;
  dropped.setData("text/uri-list",
                  "# two files, an address and a folder\r\n" +
                      QUrl::fromLocalFile(QString::fromUtf8(longPath)).toEncoded() + "\r\n" +
                      "file://localhost" + QByteArray::fromStdString(raw).toPercentEncoding("/") +
                      "\r\n" + "https://example.org/x.mdb\r\n" +
                      QUrl::fromLocalFile(QString::fromUtf8(folder)).toEncoded() + "\r\n");
  EXPECT_TRUE(Drop(form, dropped));
  EXPECT_EQ(form.intakes, 1);
  EXPECT_EQ(form.FileList(), (std::vector<std::string>{longPath, raw}));
  EXPECT_EQ(form.DirList(), (std::vector<std::string>{folder}));

  std::string other = Touch("other.mdb");
  EXPECT_TRUE(Drop(form, {QUrl::fromLocalFile(QString::fromUtf8(other))}));
  EXPECT_EQ(form.intakes, 2);
  EXPECT_EQ(form.FileList(), (std::vector<std::string>{other}));
  EXPECT_TRUE(form.DirList().empty());
}

TEST_F(BaseFormIntake, ADropWithoutLocalFilesIsRefusedAndKeepsTheList) {
  std::string kept = Touch("kept.mdb");
  ProbeForm form({kept});
  form.show();
  ASSERT_EQ(form.FileList(), (std::vector<std::string>{kept}));
  const QList<QList<QUrl>> drops = {
      {QUrl(QStringLiteral("https://example.org/x.mdb"))},
      {QUrl(QStringLiteral("https://example.org/a.mdb")), QUrl(QStringLiteral("ftp://h/b.mdb"))},
      {QUrl(QStringLiteral("file:"))},
  };
  for (const auto& urls : drops) {
    EXPECT_FALSE(Drop(form, urls)) << urls.first().toString().toStdString();
    // A window that gets the drop anyway (the enter event went elsewhere) still keeps its list.
    QMimeData data;
    data.setUrls(urls);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
    EXPECT_FALSE(drop.isAccepted());
  }
  EXPECT_EQ(form.intakes, 1);
  EXPECT_EQ(form.FileList(), (std::vector<std::string>{kept}));
}

TEST_F(BaseFormIntake, CheckPathTellsFoldersFromFilesAndRejectsTheRest) {
  EXPECT_TRUE(CheckPath(dir.Path()));
  EXPECT_FALSE(CheckPath(Touch("x")));
  try {
    CheckPath(dir.File("nothing"));
    ADD_FAILURE() << "no error for a missing path";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "is not path");
  }
}

using BaseFormSettings = WindowTest;

TEST_F(BaseFormSettings, FirstRunUsesTheFormBoundsAndWritesFiveKeysInOrder) {
  {
    TMainForm form({});
    EXPECT_EQ(form.SettingsFile(), SettingsFile());
    EXPECT_EQ(form.pos(), QPoint(61, 124));
    EXPECT_EQ(form.size(), QSize(361, 306));
    EXPECT_FALSE(form.EscapeClose);
    form.move(-20, -30);
    form.resize(400, 300);
  }
  EXPECT_EQ(fakes::ReadBytes(SettingsFile()),
            "[TMainForm]\nTop=-30\nLeft=-20\nWidth=400\nHeight=300\nEscapeClose=0\n");
  TMainForm again({});
  EXPECT_EQ(again.pos(), QPoint(-20, -30));
  EXPECT_EQ(again.size(), QSize(400, 300));
}

TEST_F(BaseFormSettings, ReadsHexadecimalAndFallsBackKeyByKey) {
  WriteSettings(
      "[Other]\nTop=1\n[TMainForm]\nTop=0x20\nLeft=-15\nWidth=abc\nHeight=$100\n"
      "EscapeClose=7\n");
  {
    TMainForm form({});
    EXPECT_EQ(form.pos(), QPoint(-15, 32));
    EXPECT_EQ(form.size(), QSize(361, 256));
    EXPECT_TRUE(form.EscapeClose);
  }
  // The window's own lines are rewritten in place; the other section stays.
  EXPECT_EQ(fakes::ReadBytes(SettingsFile()),
            "[Other]\nTop=1\n[TMainForm]\nTop=32\nLeft=-15\nWidth=361\nHeight=256\n"
            "EscapeClose=1\n");
}

TEST_F(BaseFormSettings, AnExecutableFolderThatCannotBeWrittenUsesTheUserSettingsFolder) {
  // A folder that is not there cannot be written, whoever runs the test.
  platform::SetExecutablePath(dir.File("bin/zentab"));
  std::string userFile = ConfigHome() + "zentab/zentab.ini";
  {
    TMainForm form({});
    EXPECT_EQ(form.SettingsFile(), userFile);
    EXPECT_EQ(form.pos(), QPoint(61, 124));
    form.move(5, 6);
  }
  EXPECT_EQ(fakes::ReadBytes(userFile),
            "[TMainForm]\nTop=6\nLeft=5\nWidth=361\nHeight=306\nEscapeClose=0\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("bin")));
  TMainForm again({});
  EXPECT_EQ(again.pos(), QPoint(5, 6));
}

TEST_F(BaseFormSettings, WithoutAnyWritableFolderTheValuesAreLostSilently) {
  platform::SetExecutablePath(dir.File("missing/zentab"));
  // The settings folder's parent is a file: nothing can be made there.
  std::ofstream(dir.File("config")).put('x');
  { TMainForm form({}); }
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  EXPECT_EQ(dir.Files(), (std::vector<std::string>{"config"}));
}

struct BoundsCase {
  const char* name;
  const char* settings;
};

class BaseFormBounds : public WindowTest, public ::testing::WithParamInterface<BoundsCase> {};

// Stored sizes are kept within what the screen offers and what the start button needs; the
// position is restored as stored.
TEST_P(BaseFormBounds, StoredSizesStayBetweenTheButtonAndTheScreen) {
  WriteSettings(GetParam().settings);
  QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
  {
    TMainForm form({});
    form.show();
    EXPECT_EQ(form.pos(), QPoint(-7, 9));
    EXPECT_LE(form.width(), room.width());
    EXPECT_LE(form.height(), room.height());
    auto* start = form.findChild<QWidget*>("btnStart");
    ASSERT_NE(start, nullptr);
    QRect button(start->mapTo(&form, QPoint(0, 0)), start->size());
    EXPECT_TRUE(form.rect().contains(button)) << form.width() << "x" << form.height();
    EXPECT_TRUE(start->visibleRegion().boundingRect() == start->rect());
  }
  std::string saved = fakes::ReadBytes(SettingsFile());
  auto value = [&](const std::string& key) {
    std::size_t at = saved.find(key + "=");
    return at == std::string::npos ? -1 : std::stoi(saved.substr(at + key.size() + 1));
  };
  EXPECT_GE(value("Width"), 91);
  EXPECT_LE(value("Width"), room.width());
  EXPECT_GE(value("Height"), 41);
  EXPECT_LE(value("Height"), room.height());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, BaseFormBounds,
    ::testing::Values(
        BoundsCase{"Negative", "[TMainForm]\nTop=9\nLeft=-7\nWidth=-100\nHeight=0\n"},
        BoundsCase{"Tiny", "[TMainForm]\nTop=9\nLeft=-7\nWidth=70\nHeight=111\n"},
        BoundsCase{"Huge", "[TMainForm]\nTop=9\nLeft=-7\nWidth=100000\nHeight=100000\n"},
        BoundsCase{"Largest", "[TMainForm]\nTop=9\nLeft=-7\nWidth=2147483647\nHeight=1\n"}),
    [](const ::testing::TestParamInfo<BoundsCase>& info) { return info.param.name; });

struct EscapeCase {
  const char* name;
  const char* settings;
  bool closes;
};

class BaseFormEscape : public WindowTest, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(BaseFormEscape, ClosesTheWindowOnlyWhenSwitchedOn) {
  WriteSettings(GetParam().settings);
  TMainForm form({});
  form.show();
  auto* list = form.findChild<QListWidget*>("lbMdbList");
  ASSERT_NE(list, nullptr);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Escape, Qt::ShiftModifier);
  EXPECT_EQ(form.isVisible(), !GetParam().closes);
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_EQ(form.isVisible(), !GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(Settings, BaseFormEscape,
                         ::testing::Values(EscapeCase{"On", "[TMainForm]\nEscapeClose=1\n", true},
                                           EscapeCase{"Off", "[TMainForm]\nEscapeClose=0\n", false},
                                           EscapeCase{"Missing", "[TMainForm]\nTop=5\n", false}),
                         [](const ::testing::TestParamInfo<EscapeCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace zentab::app
