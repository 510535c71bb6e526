// The about box's layout, memory lines, Escape and address click.
#include "app/aboutbox.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>

#include "app/application.h"
#include "app/baseform.h"
#include "platform/paths.h"

namespace zentab::app {
namespace {

QFont CourierNew(int pixels) {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(pixels);
  return font;
}

QString MemoryLine(const char* head, std::uint64_t avail, std::uint64_t total) {
  return QString::fromUtf8(std::string(head) + platform::MemSizeText(avail) + "(" +
                           platform::MemSizeText(total) + ")");
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent, MemorySource memory)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      memory_(std::move(memory)) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("バージョン情報"));
  setFont(CourierNew(13));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Base));
  setPalette(pal);
  setAutoFillBackground(true);
  setFixedSize(305, 120);

  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFixedHeight(49);

  auto* image = new QLabel(panel);
  image->setObjectName(QStringLiteral("ImgExe"));
  QPixmap icon = AppIcon().pixmap(32, 32);
  image->setPixmap(icon);
  image->setGeometry(16, 8, icon.width(), icon.height());

  auto* copy = new QLabel(QStringLiteral("Zentab20030201"), panel);
  copy->setObjectName(QStringLiteral("LblCopy"));
  copy->setFont(CourierNew(16));
  copy->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // At least 130 wide, wider when the font the system substitutes needs it.
  copy->setGeometry(72, 16, std::max(130, copy->sizeHint().width()), 18);

  Label1_ = new QLabel(this);
  Label1_->setObjectName(QStringLiteral("Label1"));
  Label1_->setFixedHeight(20);
  Label1_->setAlignment(Qt::AlignCenter);
  Label2_ = new QLabel(this);
  Label2_->setObjectName(QStringLiteral("Label2"));
  Label2_->setFixedHeight(20);
  Label2_->setAlignment(Qt::AlignCenter);

  LblURL_ = new QLabel(HomePage(), this);
  LblURL_->setObjectName(QStringLiteral("LblURL"));
  LblURL_->setAlignment(Qt::AlignCenter);
  LblURL_->setCursor(Qt::PointingHandCursor);
  QFont link = CourierNew(13);
  link.setUnderline(true);
  LblURL_->setFont(link);
  QPalette linkPal = LblURL_->palette();
  linkPal.setColor(QPalette::WindowText, linkPal.color(QPalette::Link));
  LblURL_->setPalette(linkPal);
  LblURL_->installEventFilter(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(panel);
  layout->addWidget(Label1_);
  layout->addWidget(Label2_);
  layout->addWidget(LblURL_, 1);
}

QString TAboutBox::HomePage() {
  if (const char* configured = ZENTAB_WEB_ADDRESS; *configured != '\0') {
    return QString::fromUtf8(configured);
  }
  std::error_code ec;
  auto installed = std::filesystem::weakly_canonical(
      platform::ExecutableDirectory() + ZENTAB_DOCS_FROM_BINDIR, ec);
  if (!ec && std::filesystem::is_directory(installed, ec)) {
    return QUrl::fromLocalFile(QFile::decodeName(installed.c_str())).toString() + u'/';
  }
  if (std::filesystem::is_regular_file(ZENTAB_SOURCE_README, ec)) {
    return QUrl::fromLocalFile(QString::fromUtf8(ZENTAB_SOURCE_README)).toString();
  }
  return QUrl::fromLocalFile(QStringLiteral(ZENTAB_INSTALLED_DOCS "/")).toString();
}

void TAboutBox::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    platform::MemoryStatus status = memory_ ? memory_() : platform::MemoryStatus{};
    Label1_->setText(MemoryLine("RAM :", status.availPhys, status.totalPhys));
    Label2_->setText(MemoryLine("SWAP:", status.availPageFile, status.totalPageFile));
    if (!placed_) {
      // Centred on the screen the first time; later showings keep where it was left.
      placed_ = true;
      if (QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->geometry().center());
        move(frame.topLeft());
      }
    }
  }
  QDialog::showEvent(event);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
  // Escape closes whatever modifier keys are held.
  if (event->key() == Qt::Key_Escape) {
    reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LblURL_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    LblURLClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutBox::LblURLClick() {
  // A desktop without a handler for the address simply does nothing.
  ShellOpen(LblURL_->text().toStdString());
}

}  // namespace zentab::app
