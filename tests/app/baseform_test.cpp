// The base window: path intake from the command line and from drops, the settings file, and
// Escape closing.
#include "app/baseform.h"

#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
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
  // A name that is not UTF-8 cannot pass through Qt's drop addresses: it must not turn into
  // some other path.
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
                      "file://localhost" + QUrl::toPercentEncoding(raw.c_str(), "/") + "\r\n" +
                      "https://example.org/x.mdb\r\n" +
                      QUrl::fromLocalFile(QString::fromUtf8(folder)).toEncoded() + "\r\n");
  EXPECT_TRUE(Drop(form, dropped));
  EXPECT_EQ(form.intakes, 1);
  EXPECT_EQ(form.FileList(), (std::vector<std::string>{longPath}));
  EXPECT_EQ(form.DirList(), (std::vector<std::string>{folder}));

  std::string other = Touch("other.mdb");
  EXPECT_TRUE(Drop(form, {QUrl::fromLocalFile(QString::fromUtf8(other))}));
  EXPECT_EQ(form.intakes, 2);
  EXPECT_EQ(form.FileList(), (std::vector<std::string>{other}));
  EXPECT_TRUE(form.DirList().empty());
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

TEST_F(BaseFormSettings, AFolderThatCannotBeWrittenLosesTheValuesSilently) {
  platform::SetExecutablePath(dir.File("missing/zentab"));
  { TMainForm form({}); }
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  EXPECT_TRUE(dir.Files().empty());
}

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
