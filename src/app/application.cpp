// The application object's title, icon and failure box.
#include "app/application.h"

#include <QMessageBox>
#include <exception>

namespace zentab::app {
namespace {

std::function<void(const QString&)>& FailureHandler() {
  static std::function<void(const QString&)> handler;
  return handler;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/zentab/zentab32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/zentab/zentab48.png"), QSize(48, 48));
  return icon;
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The name, not the display name: Qt would append a display name to every window caption.
  setApplicationName(QStringLiteral("Zentab"));
  setWindowIcon(AppIcon());
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    QString message = QString::fromUtf8(e.what());
    if (FailureHandler()) {
      FailureHandler()(message);
    } else {
      QMessageBox::critical(activeWindow(), applicationName(), message);
    }
  }
  return false;
}

void TApplication::SetFailureHandler(std::function<void(const QString&)> handler) {
  FailureHandler() = std::move(handler);
}

}  // namespace zentab::app
