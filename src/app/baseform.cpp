// The base window: settings file, Escape, command-line and drop intake.
#include "app/baseform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QShowEvent>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "platform/paths.h"
#include "platform/places.h"

namespace zentab::app {

bool CheckPath(const std::string& path) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::is_directory(status)) return true;
  if (!ec && std::filesystem::exists(status)) return false;
  throw std::runtime_error("is not path");
}

bool ShellOpen(const std::string& target) {
  QString text = QString::fromUtf8(target);
  QUrl url = QUrl::fromUserInput(text, QString::fromUtf8(platform::ExecutableDirectory()),
                                 QUrl::AssumeLocalFile);
  if (!url.isValid()) return false;
  return QDesktopServices::openUrl(url);
}

TBaseForm::TBaseForm(std::string className, QRect formBounds, std::vector<std::string> arguments,
                     QWidget* parent)
    : QWidget(parent),
      className_(std::move(className)),
      arguments_(std::move(arguments)),
      iniFile_(platform::UserSettingsFile()) {
  setAcceptDrops(true);
  QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
  font.setPixelSize(12);
  setFont(font);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  setAutoFillBackground(true);

  move(formBounds.topLeft());
  resize(formBounds.size());
  LoadSettings();
  qApp->installEventFilter(this);
  setWindowTitle(QCoreApplication::applicationName());
}

TBaseForm::~TBaseForm() {
  SaveSettings();
}

void TBaseForm::TakePaths(const std::vector<std::string>& paths) {
  fileList_.clear();
  dirList_.clear();
  for (const auto& path : paths) AddPath(path);
  FilesReceived();
}

void TBaseForm::AddPath(const std::string& path) {
  try {
    if (CheckPath(path)) {
      dirList_.push_back(path);
    } else {
      fileList_.push_back(path);
    }
  } catch (const std::exception&) {
    // A path naming nothing is dropped; the rest of the intake goes on.
  }
}

void TBaseForm::LoadSettings() {
  // Each value takes effect before the next is read, so each default is the current bound.
  move(x(), ReadIntSetting("Top", y()));
  move(ReadIntSetting("Left", x()), y());
  resize(ReadIntSetting("Width", width()), height());
  resize(width(), ReadIntSetting("Height", height()));
  FitToScreen();
  EscapeClose = ReadBoolSetting("EscapeClose", EscapeClose);
}

void TBaseForm::FitToScreen() {
  // The screen under the stored top-left corner, else the primary one. The position is kept
  // as stored (a window may sit partly off the screen); only a size no screen can show is cut.
  QScreen* screen = QGuiApplication::screenAt(pos());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QSize room = screen->availableGeometry().size();
  resize(std::min(width(), room.width()), std::min(height(), room.height()));
}

void TBaseForm::SaveSettings() {
  WriteIntSetting("Top", y());
  WriteIntSetting("Left", x());
  WriteIntSetting("Width", width());
  WriteIntSetting("Height", height());
  WriteBoolSetting("EscapeClose", EscapeClose);
}

std::int32_t TBaseForm::ReadIntSetting(std::string_view key, std::int32_t fallback) const {
  return iniFile_.ReadInteger(className_, key, fallback);
}

bool TBaseForm::ReadBoolSetting(std::string_view key, bool fallback) const {
  return iniFile_.ReadBool(className_, key, fallback);
}

void TBaseForm::WriteIntSetting(std::string_view key, std::int32_t value) {
  // A settings file that cannot be written loses the value without a word.
  iniFile_.WriteInteger(className_, key, value);
}

void TBaseForm::WriteBoolSetting(std::string_view key, bool value) {
  iniFile_.WriteBool(className_, key, value);
}

void TBaseForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A spontaneous show is the window manager restoring the window, not a showing of ours.
  if (!event->spontaneous()) ReadCommandLine();
}

void TBaseForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPaths(*event->mimeData()).empty()) event->acceptProposedAction();
}

std::vector<std::string> DroppedPaths(const QMimeData& data) {
  std::vector<std::string> paths;
  for (const QUrl& url : data.urls()) {
    if (!url.isLocalFile()) continue;
    // The path's own bytes: decoded to text, a name that is not UTF-8 would lose them.
    QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (bytes.isEmpty()) continue;
    paths.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
  return paths;
}

void TBaseForm::dropEvent(QDropEvent* event) {
  // A drop without a local file (an address from a browser) leaves the last intake as it was.
  std::vector<std::string> paths = DroppedPaths(*event->mimeData());
  if (paths.empty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  TakePaths(paths);
}

bool TBaseForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && EscapeClose && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && isVisible()) {
    close();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace zentab::app
