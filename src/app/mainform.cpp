// The main window: layout, file filtering, starting jobs and the window menu.
#include "app/mainform.h"

#include <QContextMenuEvent>
#include <QFrame>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/aboutbox.h"
#include "app/rowdelegate.h"
#include "platform/paths.h"

namespace zentab::app {
namespace {

// Window commands besides the about item, numbered as the usual system-menu commands.
constexpr int kRestoreCommand = 0xF120;
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

  connect(btnStart_, &QPushButton::clicked, this, [this] { btnStartClick(); });
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
  auto* job = new TMdbSeek(std::move(files), relay_->Sink());
  job->FreeOnTerminate = true;
  job->Start();
  btnStart_->setEnabled(false);
  ShowFileList(false);
  // The job's first line waits for this thread, which is still here: nothing of it is lost.
  lbMessage_->clear();
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
  QAction* restore = add(QStringLiteral("元のサイズに戻す"), kRestoreCommand);
  QAction* minimize = add(QStringLiteral("最小化"), kMinimizeCommand);
  QAction* maximize = add(QStringLiteral("最大化"), kMaximizeCommand);
  systemMenu_->addSeparator();
  add(QStringLiteral("閉じる"), kCloseCommand);
  connect(systemMenu_, &QMenu::aboutToShow, this, [this, restore, minimize, maximize] {
    restore->setEnabled(isMaximized() || isMinimized());
    minimize->setEnabled(!isMinimized());
    maximize->setEnabled(!isMaximized());
  });
  systemMenu_->addSeparator();
  add(QStringLiteral("バージョン情報"), kAboutCommand);
}

void TMainForm::SystemCommand(int id) {
  switch (id) {
    case kAboutCommand:
      if (aboutBox_) aboutBox_->exec();
      break;
    case kRestoreCommand:
      showNormal();
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
    systemMenu_->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  return TBaseForm::eventFilter(watched, event);
}

}  // namespace zentab::app
