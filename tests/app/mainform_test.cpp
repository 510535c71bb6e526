// The main window: database filtering, the three states, jobs and their lines, the window
// menu with the about item.
#include "app/mainform.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/aboutbox.h"
#include "app_support.h"
#include "fakes/memory_engine.h"

namespace zentab::app {
namespace {

using testing::WaitFor;

// Receives the addresses the desktop is asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened << url; }
};

// The texts of a menu's items, "-" for a separator.
QStringList MenuTexts(const QMenu* menu) {
  QStringList texts;
  for (const QAction* action : menu->actions()) {
    texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  }
  return texts;
}

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

class MainFormTest : public testing::WindowTest {
 protected:
  // A main window shown with the given command line; children found by name.
  void Open(std::vector<std::string> arguments = {}) {
    form = std::make_unique<TMainForm>(std::move(arguments));
    form->show();
    files = form->findChild<QListWidget*>("lbMdbList");
    messages = form->findChild<QListWidget*>("lbMessage");
    start = form->findChild<QPushButton*>("btnStart");
    panel = form->findChild<QFrame*>("Panel1");
    ASSERT_TRUE(files && messages && start && panel);
  }

  // A database the fake engine serves, as a file the intake can see.
  std::string Database(const std::string& name) {
    std::string path = Touch(name);
    engine.Add(path, DatabaseSnapshot{});
    return path;
  }

  std::vector<std::string> Reports() const {
    std::vector<std::string> reports;
    for (const auto& name : dir.Files()) {
      if (name.size() == 19 && name.ends_with(".html")) reports.push_back(name);
    }
    return reports;
  }

  fakes::MemoryEngine engine;
  std::unique_ptr<TMainForm> form;
  QListWidget* files = nullptr;
  QListWidget* messages = nullptr;
  QPushButton* start = nullptr;
  QFrame* panel = nullptr;
};

TEST_F(MainFormTest, LaysOutThePanelButtonAndListsWithTheirTexts) {
  Open();
  EXPECT_EQ(form->windowTitle(), "Zentab");
  EXPECT_EQ(form->font().family(), "ＭＳ ゴシック");
  EXPECT_EQ(form->font().pixelSize(), 13);
  EXPECT_EQ(start->text(), "解析開始");
  EXPECT_EQ(start->geometry(), QRect(8, 8, 75, 25));
  EXPECT_EQ(panel->geometry(), QRect(0, 0, form->width(), 41));
  EXPECT_EQ(files->geometry(), QRect(0, 41, form->width(), form->height() - 41));
  form->ShowFileList(false);
  QCoreApplication::processEvents();
  EXPECT_FALSE(files->isVisible());
  EXPECT_EQ(messages->geometry(), QRect(0, 41, form->width(), form->height() - 41));
}

TEST_F(MainFormTest, KeepsOnlyDatabaseFilesInIntakeOrder) {
  std::string a = Touch("a.mdb"), b = Touch("b.txt"), c = Touch("c.MDB"), d = Touch("d.Mdb");
  std::string others[] = {Touch("e.mdb.bak"), Touch("f.mdbx"), Touch("mdb"), Touch("g.mdb ")};
  std::filesystem::create_directory(dir.File("folder.mdb"));
  Open({a, b, c, others[0], others[1], others[2], others[3], dir.File("folder.mdb"), d,
        dir.File("missing.mdb")});
  EXPECT_EQ(Items(files), QStringList({QString::fromStdString(a), QString::fromStdString(c),
                                       QString::fromStdString(d)}));
  EXPECT_EQ(form->FileList(), (std::vector<std::string>{a, c, d}));
  EXPECT_TRUE(start->isEnabled());
  EXPECT_TRUE(files->isVisible());
  EXPECT_FALSE(messages->isVisible());
}

TEST_F(MainFormTest, EveryIntakeReplacesTheListAndSetsTheButton) {
  std::string a = Touch("a.mdb"), b = Touch("b.mdb");
  Open({a, a});
  EXPECT_EQ(files->count(), 2);  // named twice, listed twice
  EXPECT_TRUE(start->isEnabled());
  form->TakePaths({b});
  EXPECT_EQ(Items(files), QStringList({QString::fromStdString(b)}));
  form->TakePaths({dir.Path(), Touch("notes.txt")});
  EXPECT_EQ(files->count(), 0);
  EXPECT_FALSE(start->isEnabled());
  form->TakePaths({});
  EXPECT_FALSE(start->isEnabled());
}

TEST_F(MainFormTest, StartRunsAJobWhoseLinesFillTheMessageListInOrder) {
  std::string a = Database("a.mdb"), c = Database("c.MDB");
  Open({a, c});
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_FALSE(start->isEnabled());
  EXPECT_FALSE(files->isVisible());
  EXPECT_TRUE(messages->isVisible());
  // The job's first line waits for this thread, so nothing has arrived yet.
  EXPECT_EQ(messages->count(), 0);

  ASSERT_TRUE(WaitFor([&] { return messages->count() == 12; }))
      << Items(messages).join('\n').toStdString();
  QStringList lines = Items(messages);
  EXPECT_TRUE(lines[0].endsWith("開始しました。"));
  EXPECT_EQ(lines.mid(1, 2), QStringList({"初期化処理中", "*****解析開始*****"}));
  EXPECT_TRUE(lines[3].startsWith("a.mdb....") && lines[3].endsWith("ms"))
      << lines[3].toStdString();
  EXPECT_EQ(lines[3].size(), 30);
  EXPECT_TRUE(lines[4].startsWith("c.MDB....") && lines[4].endsWith("ms"));
  EXPECT_EQ(lines.mid(5, 6),
            QStringList({"*****解析終了*****", "*****HTML出力開始*****", "完了:a.mdb", "完了:c.MDB",
                         "*****HTML出力終了*****", "終了処理中"}));
  EXPECT_TRUE(lines[11].endsWith("終了しました。"));
  // The report lands beside the executable.
  EXPECT_EQ(Reports().size(), 1u);

  // Nothing leaves the job-started state until the next intake.
  QTest::qWait(50);
  EXPECT_TRUE(messages->isVisible());
  EXPECT_FALSE(start->isEnabled());
  form->TakePaths({a});
  EXPECT_TRUE(files->isVisible());
  EXPECT_TRUE(start->isEnabled());
  EXPECT_EQ(messages->count(), 12);  // hidden, not emptied
}

TEST_F(MainFormTest, TwoJobsInterleaveTheirLinesInOneList) {
  std::string x = Database("x.mdb"), y = Database("y.mdb");
  Open({x});
  start->click();
  // The first job now waits on its first line; a drop brings the file list back and a second
  // job starts beside it, so the first job's lines all arrive while hidden and after the clear.
  form->TakePaths({y});
  EXPECT_FALSE(messages->isVisible());
  start->click();
  ASSERT_TRUE(WaitFor([&] { return Items(messages).filter("終了しました。").size() == 2; }));
  QStringList lines = Items(messages);
  ASSERT_EQ(lines.size(), 20);
  EXPECT_EQ(lines.filter("開始しました。").size(), 2);
  EXPECT_EQ(lines.filter("終了しました。").size(), 2);
  for (const QString& name : {QStringLiteral("x.mdb"), QStringLiteral("y.mdb")}) {
    qsizetype timing =
        lines.indexOf(QRegularExpression("^" + QRegularExpression::escape(name) + "\\.+\\d+ms$"));
    qsizetype done = lines.indexOf("完了:" + name);
    ASSERT_GE(timing, 0) << name.toStdString();
    EXPECT_LT(timing, done);
  }
  // Each job frees itself just after its last line; let them before the process ends.
  QTest::qWait(50);
}

TEST_F(MainFormTest, ClosingWhileAJobRunsSavesTheSettingsAndLetsTheJobRunOut) {
  std::string a = Database("a.mdb");
  Open({a});
  start->click();  // the job waits on its first line
  form->move(5, 6);
  form.reset();
  EXPECT_NE(fakes::ReadBytes(SettingsFile()).find("Top=6\nLeft=5\n"), std::string::npos);
  // The line in flight is dropped, the job goes on without a window and writes its report.
  EXPECT_TRUE(WaitFor([&] { return Reports().size() == 1; }));
  QTest::qWait(50);  // the job's last steps after the report
}

TEST_F(MainFormTest, RightClickAnywhereOpensTheWindowMenu) {
  Open();
  for (QWidget* target : {static_cast<QWidget*>(panel), static_cast<QWidget*>(start),
                          files->viewport(), static_cast<QWidget*>(form.get())}) {
    QWidget* popup = nullptr;
    QTimer::singleShot(0, [&] {
      popup = QApplication::activePopupWidget();
      if (popup) popup->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(3, 3),
                            target->mapToGlobal(QPoint(3, 3)));
    QCoreApplication::sendEvent(target, &event);
    EXPECT_EQ(popup, form->SystemMenu()) << target->objectName().toStdString();
  }
}

TEST_F(MainFormTest, TheMenuKeyOpensTheWindowMenuAtTheWindow) {
  Open();
  QPoint opened;
  QTimer::singleShot(0, [&] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      opened = popup->pos();
      popup->close();
    }
  });
  // A list answers the Menu key with a place far to the right of the window.
  QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(900, 5),
                          files->mapToGlobal(QPoint(900, 5)));
  QCoreApplication::sendEvent(files->viewport(), &event);
  EXPECT_EQ(opened, form->mapToGlobal(QPoint(0, 0)));
}

TEST_F(MainFormTest, WindowMenuItemsCarryAccessKeys) {
  Open();
  EXPECT_EQ(MenuTexts(form->SystemMenu()),
            QStringList({"レポートを開く(&O)", "出力フォルダを開く(&F)", "定義書も出力する(&D)",
                         "-", "元のサイズに戻す(&R)", "移動(&M)", "サイズ変更(&S)", "最小化(&N)",
                         "最大化(&X)", "-", "閉じる(&C)", "-", "バージョン情報(&A)"}));
  // Each access key is used once.
  QSet<QChar> keys;
  for (const QString& text : MenuTexts(form->SystemMenu())) {
    qsizetype at = text.indexOf('&');
    if (at >= 0) keys.insert(text[at + 1]);
  }
  EXPECT_EQ(keys.size(), 10);
}

// The definition-document switch is remembered in its own section, leaves the window's keys
// alone, and makes a job write the document beside its report.
TEST_F(MainFormTest, TheDetailsSwitchIsRememberedAndWritesTheDocumentBesideTheReport) {
  WriteSettings("[TMainForm]\nTop=10\nLeft=20\nWidth=300\nHeight=200\nEscapeClose=0\n");
  std::string a = Database("a.mdb");
  Open({a});
  QAction* details = form->SystemMenu()->actions()[2];
  ASSERT_TRUE(details->isCheckable());
  EXPECT_FALSE(details->isChecked());
  details->trigger();
  EXPECT_TRUE(form->Details());
  EXPECT_EQ(fakes::ReadBytes(SettingsFile()),
            "[TMainForm]\nTop=10\nLeft=20\nWidth=300\nHeight=200\nEscapeClose=0\n"
            "[Options]\nDetails=1\n");

  start->click();
  ASSERT_TRUE(WaitFor([&] { return !form->LastReport().empty(); }));
  std::string document =
      form->LastReport().substr(0, form->LastReport().size() - 5) + "-定義書.html";
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(document); })) << document;
  EXPECT_NE(fakes::ReadBytes(document).find("<h2>a.mdb</h2>"), std::string::npos);
  form.reset();

  Open();
  EXPECT_TRUE(form->Details());
  EXPECT_TRUE(form->SystemMenu()->actions()[2]->isChecked());
  form->SystemCommand(TMainForm::kDetailsCommand);
  EXPECT_FALSE(form->Details());
  EXPECT_NE(fakes::ReadBytes(SettingsFile()).find("[Options]\nDetails=0\n"), std::string::npos);
  QTest::qWait(50);  // the job's last steps after the report
}

struct ReportPlace {
  const char* name;
  bool portable;  // the executable's folder can be written
};

class MainFormReports : public MainFormTest, public ::testing::WithParamInterface<ReportPlace> {};

// The report items stay disabled until a job has written its report, then open the report and
// its folder; the report goes beside a writable executable, else to the documents folder.
TEST_P(MainFormReports, OpenTheLastReportAndItsFolder) {
  std::string documents = Home() + "Papers/";
  std::filesystem::create_directories(ConfigHome());
  std::ofstream(ConfigHome() + "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
  std::string a = Database("a.mdb");
  std::string folder = dir.Path();
  if (!GetParam().portable) {
    // A folder that is not there cannot be written, whoever runs the test.
    platform::SetExecutablePath(dir.File("bin/zentab"));
    folder = documents + "Zentab/";
  }
  Open({a});
  QList<QAction*> actions = form->SystemMenu()->actions();
  QAction* openReport = actions[0];
  QAction* openFolder = actions[1];
  EXPECT_FALSE(openReport->isEnabled());
  EXPECT_FALSE(openFolder->isEnabled());

  start->click();
  ASSERT_TRUE(WaitFor([&] { return openReport->isEnabled(); }));
  EXPECT_TRUE(openFolder->isEnabled());
  ASSERT_TRUE(form->LastReport().starts_with(folder)) << form->LastReport();
  std::string name = form->LastReport().substr(folder.size());
  EXPECT_TRUE(name.size() == 19 && name.ends_with(".html")) << name;
  EXPECT_TRUE(std::filesystem::is_regular_file(form->LastReport()));

  UrlRecorder recorder;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
  openReport->trigger();
  openFolder->trigger();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(recorder.opened,
            QList<QUrl>({QUrl::fromLocalFile(QString::fromStdString(folder + name)),
                         QUrl::fromLocalFile(QString::fromStdString(folder))}));
  QTest::qWait(50);  // the job's last steps after the report
}

INSTANTIATE_TEST_SUITE_P(Places, MainFormReports,
                         ::testing::Values(ReportPlace{"Portable", true},
                                           ReportPlace{"Installed", false}),
                         [](const ::testing::TestParamInfo<ReportPlace>& info) {
                           return info.param.name;
                         });

TEST_F(MainFormTest, TheLastMenuItemShowsTheAboutBoxModally) {
  Open();
  QList<QAction*> actions = form->SystemMenu()->actions();
  ASSERT_GE(actions.size(), 2);
  EXPECT_EQ(actions.back()->text(), "バージョン情報(&A)");
  EXPECT_EQ(actions.back()->data().toInt(), 100);
  EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
  auto* about = new TAboutBox(form.get());
  form->SetAboutBox(about);
  QWidget* modal = nullptr;
  bool shownDuring = false;
  QTimer::singleShot(0, [&] {
    modal = QApplication::activeModalWidget();
    shownDuring = about->isVisible();
    QTest::keyClick(about, Qt::Key_Escape);
  });
  actions.back()->trigger();
  EXPECT_EQ(modal, about);
  EXPECT_TRUE(shownDuring);
  EXPECT_FALSE(about->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// With Escape switched on for the main window, Escape in the about box closes only the box.
TEST_F(MainFormTest, EscapeInTheAboutBoxLeavesTheMainWindowOpen) {
  WriteSettings("[TMainForm]\nEscapeClose=1\n");
  Open();
  ASSERT_TRUE(form->EscapeClose);
  auto* about = new TAboutBox(form.get());
  form->SetAboutBox(about);
  bool shownDuring = false;
  QTimer::singleShot(0, [&] {
    shownDuring = about->isVisible();
    QTest::keyClick(about, Qt::Key_Escape);
  });
  form->SystemMenu()->actions().back()->trigger();
  EXPECT_TRUE(shownDuring);
  EXPECT_FALSE(about->isVisible());
  EXPECT_TRUE(form->isVisible());
}

}  // namespace
}  // namespace zentab::app

#include "mainform_test.moc"
