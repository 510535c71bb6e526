// The about box: layout and texts, memory lines read at every showing, Escape, placement and
// the address that opens with the desktop's handler.
#include "app/aboutbox.h"

#include <QDesktopServices>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "app_support.h"
#include "platform/paths.h"

namespace zentab::app {
namespace {

// Receives the addresses the desktop is asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened << url; }
};

class AboutBoxTest : public ::testing::Test {
 protected:
  ~AboutBoxTest() override { platform::SetExecutablePath(""); }

  // An installed layout, made before the box: the executable in bin/, its documentation in
  // share/doc/zentab/.
  static bool Install(const fakes::TempDir& dir) {
    platform::SetExecutablePath(dir.File("bin/zentab"));
    return std::filesystem::create_directories(dir.File("bin")) &&
           std::filesystem::create_directories(dir.File("share/doc/zentab"));
  }

  QString Docs() const {
    return QStringLiteral("file://") + QString::fromStdString(dir.File("share/doc/zentab/"));
  }

  QString Text(const char* name) const {
    auto* label = box.findChild<QLabel*>(name);
    return label ? label->text() : QStringLiteral("<no %1>").arg(name);
  }

  fakes::TempDir dir;
  bool installed = Install(dir);
  platform::MemoryStatus status{200ull << 20, 512ull << 20, 1ull << 30, 3ull << 30};
  TAboutBox box{nullptr, [this] { return status; }};
};

TEST_F(AboutBoxTest, ShowsIconNameAndAddressInTheirPlaces) {
  ASSERT_TRUE(installed);
  EXPECT_EQ(box.windowTitle(), "バージョン情報");
  EXPECT_EQ(box.size(), QSize(305, 120));
  box.show();
  auto* panel = box.findChild<QWidget*>("Panel1");
  auto* image = box.findChild<QLabel*>("ImgExe");
  auto* copy = box.findChild<QLabel*>("LblCopy");
  auto* url = box.findChild<QLabel*>("LblURL");
  ASSERT_TRUE(panel && image && copy && url);
  EXPECT_EQ(panel->geometry(), QRect(0, 0, 305, 49));
  ASSERT_FALSE(image->pixmap().isNull());
  EXPECT_EQ(image->geometry(), QRect(QPoint(16, 8), image->pixmap().size()));
  EXPECT_EQ(copy->text(), "Zentab20030201");
  EXPECT_EQ(copy->pos(), QPoint(72, 16));
  EXPECT_EQ(copy->font().pixelSize(), 16);
  EXPECT_EQ(box.findChild<QLabel*>("Label1")->geometry(), QRect(0, 49, 305, 20));
  EXPECT_EQ(box.findChild<QLabel*>("Label2")->geometry(), QRect(0, 69, 305, 20));
  EXPECT_EQ(url->text(), Docs());
  EXPECT_EQ(url->geometry(), QRect(0, 89, 305, 31));
  EXPECT_TRUE(url->font().underline());
  EXPECT_EQ(url->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(AboutBoxTest, ReadsTheMemoryFiguresAtEveryShowing) {
  box.show();
  EXPECT_EQ(Text("Label1"), "RAM :200.0MB(512.0MB)");
  EXPECT_EQ(Text("Label2"), "SWAP:1024.0MB(3072.0MB)");
  box.hide();
  status = {524288, 1048576, 1048577, 1310720};
  EXPECT_EQ(Text("Label1"), "RAM :200.0MB(512.0MB)");  // not while hidden
  box.show();
  EXPECT_EQ(Text("Label1"), "RAM :512.0KB(1024.0KB)");
  EXPECT_EQ(Text("Label2"), "SWAP:1.0MB(1.3MB)");
}

TEST_F(AboutBoxTest, EscapeClosesWhateverModifiersAreHeld) {
  for (auto modifiers : {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier}) {
    box.show();
    QTest::keyClick(&box, Qt::Key_Escape, modifiers);
    EXPECT_FALSE(box.isVisible()) << modifiers;
  }
  box.show();
  QTest::keyClick(&box, Qt::Key_A);
  EXPECT_TRUE(box.isVisible());
}

TEST_F(AboutBoxTest, TheAddressIsTheInstalledDocumentationElseTheReadme) {
  if (*ZENTAB_WEB_ADDRESS != '\0') GTEST_SKIP() << "this build names a web address";
  struct Case {
    const char* exe;
    QString expected;
  } cases[] = {
      {"bin/zentab", Docs()},
      // A portable copy, or the build folder: no documentation folder beside it.
      {"portable/copy/zentab", QStringLiteral("file://" ZENTAB_SOURCE_README)},
      {"zentab", QStringLiteral("file://" ZENTAB_SOURCE_README)},
  };
  for (const Case& c : cases) {
    platform::SetExecutablePath(dir.File(c.exe));
    EXPECT_EQ(TAboutBox::HomePage(), c.expected) << c.exe;
  }
}

TEST_F(AboutBoxTest, OpensCentredThenWhereItWasLeft) {
  box.show();
  QPoint centre = box.screen()->geometry().center();
  EXPECT_LE((box.frameGeometry().center() - centre).manhattanLength(), 2);
  box.move(10, 12);
  box.hide();
  box.show();
  EXPECT_EQ(box.pos(), QPoint(10, 12));
}

TEST_F(AboutBoxTest, ClickingTheAddressOpensItWithTheDesktop) {
  UrlRecorder recorder;
  QUrl home(Docs());
  QDesktopServices::setUrlHandler(home.scheme(), &recorder, "Open");
  box.show();
  auto* url = box.findChild<QLabel*>("LblURL");
  QTest::mouseClick(url, Qt::RightButton);
  EXPECT_TRUE(recorder.opened.isEmpty());
  QTest::mouseClick(url, Qt::LeftButton);
  QDesktopServices::unsetUrlHandler(home.scheme());
  EXPECT_EQ(recorder.opened, QList<QUrl>({home}));
}

}  // namespace
}  // namespace zentab::app

#include "aboutbox_test.moc"
