// The main window: layout, file filtering, starting jobs and the window menu.
#include "app/mainform.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFrame>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "app/aboutbox.h"
#include "app/rowdelegate.h"
#include "platform/paths.h"
#include "platform/places.h"
#include "platform/text.h"
#include "report/definition/document.h"

namespace zentab::app {
namespace {

// Window commands besides the about item, numbered as the usual system-menu commands.
constexpr int kRestoreCommand = 0xF120;
constexpr int kMoveCommand = 0xF010;
constexpr int kSizeCommand = 0xF000;
constexpr int kMinimizeCommand = 0xF020;
constexpr int kMaximizeCommand = 0xF030;
constexpr int kCloseCommand = 0xF060;

bool IsDatabaseFile(const std::string& path) {
  std::string ext = platform::ExtensionOf(path);
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return ext == ".MDB";
}

QListWidget* MakeList(const char* name, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setUniformItemSizes(true);
  list->setItemDelegate(new TRowDelegate(list));
  return list;
}

// Hands a local path, as its bytes, to the desktop's handler.
void OpenLocal(const std::string& path) {
  QDesktopServices::openUrl(
      QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))));
}

}  // namespace

TMainForm::TMainForm(std::vector<std::string> arguments, QWidget* parent)
    : TBaseForm("TMainForm", kFormBounds, std::move(arguments), parent) {
  setObjectName(QStringLiteral("MainForm"));
  QFont font(QStringLiteral("ＭＳ ゴシック"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(13);
  setFont(font);

  lbMdbList_ = MakeList("lbMdbList", this);
  Panel1_ = new QFrame(this);
  Panel1_->setObjectName(QStringLiteral("Panel1"));
  Panel1_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1_->setLineWidth(1);
  Panel1_->setFixedHeight(41);
  btnStart_ = new QPushButton(QStringLiteral("解析開始"), Panel1_);
  btnStart_->setObjectName(QStringLiteral("btnStart"));
  btnStart_->setGeometry(8, 8, 75, 25);
  // The window never gets so narrow that the button is cut.
  Panel1_->setMinimumWidth(btnStart_->geometry().right() + 1 + 8);
  btnStart_->setEnabled(false);
  lbMessage_ = MakeList("lbMessage", this);
  lbMessage_->hide();
  relay_ = std::make_unique<TMessageRelay>(lbMessage_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Panel1_);
  // Only one of the two lists is visible at a time, so each fills the same area.
  layout->addWidget(lbMdbList_, 1);
  layout->addWidget(lbMessage_, 1);
  setTabOrder(lbMdbList_, btnStart_);
  setTabOrder(btnStart_, lbMessage_);
  // The layout's minimum size takes effect now, so stored bounds below it grow to it.
  layout->activate();

  connect(btnStart_, &QPushButton::clicked, this, [this] { btnStartClick(); });
  details_ = Settings().ReadBool("Options", "Details", false);
  AddAboutMenu();
}

TMainForm::~TMainForm() = default;

void TMainForm::ShowFileList(bool visible) {
  lbMdbList_->setVisible(visible);
  lbMessage_->setVisible(!visible);
}

void TMainForm::FilesReceived() {
  ShowFileList(true);
  std::erase_if(fileList_, [](const std::string& path) { return !IsDatabaseFile(path); });
  lbMdbList_->clear();
  for (const auto& path : fileList_) {
    auto* item = new QListWidgetItem(QString::fromUtf8(path), lbMdbList_);
    // The bytes themselves: the shown text may have lost bytes that are not UTF-8.
    item->setData(Qt::UserRole, QByteArray::fromStdString(path));
  }
  btnStart_->setEnabled(lbMdbList_->count() > 0);
}

void TMainForm::btnStartClick() {
  std::vector<std::string> files;
  for (int i = 0; i < lbMdbList_->count(); ++i) {
    files.push_back(lbMdbList_->item(i)->data(Qt::UserRole).toByteArray().toStdString());
  }
  auto* job = new TMdbSeek(std::move(files), relay_->Sink(),
                           ReportTarget{platform::UserReportDirectory(), {}});
  job->FreeOnTerminate = true;
  // The definition document needs every database at once: its records are kept only when it
  // is asked for.
  auto kept = details_ ? std::make_shared<std::vector<TMdb>>() : nullptr;
  if (kept) job->DatabaseRead = [kept](const TMdb& mdb) { kept->push_back(mdb); };
  job->OnTerminate = [form = QPointer<TMainForm>(this), kept,
                      sink = relay_->Sink()](const JobOutcome& outcome) {
    if (!outcome.succeeded) return;
    if (kept) {
      std::string path = report::DefinitionDocumentPathFor(outcome.reportPath);
      try {
        report::WriteDefinitionDocument(*kept, path);
      } catch (const std::exception& e) {
        sink("エラー:" + platform::DisplayText(e.what()));
      }
    }
    QMetaObject::invokeMethod(
        qApp,
        [form, path = outcome.reportPath] {
          if (form) form->ReportWritten(path);
        },
        Qt::QueuedConnection);
  };
  job->Start();
  btnStart_->setEnabled(false);
  ShowFileList(false);
  // The job's first line waits for this thread, which is still here: nothing of it is lost.
  lbMessage_->clear();
}

void TMainForm::SetDetails(bool on) {
  details_ = on;
  details_action_->setChecked(on);
  // Its own section: the window's bounds and their five keys stay as they are.
  Settings().WriteBool("Options", "Details", on);
}

void TMainForm::ReportWritten(const std::string& path) {
  lastReport_ = path;
  openReport_->setEnabled(true);
  openFolder_->setEnabled(true);
}

void TMainForm::AddAboutMenu() {
  systemMenu_ = new QMenu(this);
  systemMenu_->setObjectName(QStringLiteral("SystemMenu"));
  auto add = [this](const QString& text, int id) {
    QAction* action = systemMenu_->addAction(text);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { SystemCommand(id); });
    return action;
  };
  openReport_ = add(QStringLiteral("レポートを開く(&O)"), kOpenReportCommand);
  openFolder_ = add(QStringLiteral("出力フォルダを開く(&F)"), kOpenFolderCommand);
  openReport_->setEnabled(false);
  openFolder_->setEnabled(false);
  details_action_ = add(QStringLiteral("定義書も出力する(&D)"), kDetailsCommand);
  details_action_->setCheckable(true);
  details_action_->setChecked(details_);
  systemMenu_->addSeparator();
  QAction* restore = add(QStringLiteral("元のサイズに戻す(&R)"), kRestoreCommand);
  QAction* move = add(QStringLiteral("移動(&M)"), kMoveCommand);
  QAction* size = add(QStringLiteral("サイズ変更(&S)"), kSizeCommand);
  QAction* minimize = add(QStringLiteral("最小化(&N)"), kMinimizeCommand);
  QAction* maximize = add(QStringLiteral("最大化(&X)"), kMaximizeCommand);
  systemMenu_->addSeparator();
  add(QStringLiteral("閉じる(&C)"), kCloseCommand);
  connect(systemMenu_, &QMenu::aboutToShow, this, [=, this] {
    bool normal = !isMaximized() && !isMinimized();
    restore->setEnabled(!normal);
    move->setEnabled(normal);
    size->setEnabled(normal);
    minimize->setEnabled(!isMinimized());
    maximize->setEnabled(!isMaximized());
  });
  systemMenu_->addSeparator();
  add(QStringLiteral("バージョン情報(&A)"), kAboutCommand);
}

void TMainForm::SystemCommand(int id) {
  switch (id) {
    case kAboutCommand:
      if (aboutBox_) aboutBox_->exec();
      break;
    case kOpenReportCommand:
      if (!lastReport_.empty()) OpenLocal(lastReport_);
      break;
    case kOpenFolderCommand:
      if (!lastReport_.empty()) OpenLocal(platform::DirectoryOf(lastReport_));
      break;
    case kDetailsCommand:
      SetDetails(!details_);
      break;
    case kRestoreCommand:
      showNormal();
      break;
    case kMoveCommand:
      // The window manager moves the window with the pointer; one that cannot does nothing.
      if (QWindow* w = windowHandle()) w->startSystemMove();
      break;
    case kSizeCommand:
      if (QWindow* w = windowHandle()) w->startSystemResize(Qt::RightEdge | Qt::BottomEdge);
      break;
    case kMinimizeCommand:
      showMinimized();
      break;
    case kMaximizeCommand:
      showMaximized();
      break;
    case kCloseCommand:
      close();
      break;
    default:
      break;
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ContextMenu && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    auto* menuEvent = static_cast<QContextMenuEvent*>(event);
    // The Menu key's event carries a place of the focused control's choosing, which may lie
    // outside the window: the menu then opens at the window's top-left corner.
    QPoint at = menuEvent->reason() == QContextMenuEvent::Mouse ? menuEvent->globalPos()
                                                                : mapToGlobal(QPoint(0, 0));
    systemMenu_->exec(at);
    return true;
  }
  return TBaseForm::eventFilter(watched, event);
}

}  // namespace zentab::app
