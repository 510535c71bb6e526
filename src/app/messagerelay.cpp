// Lines cross to the main thread as blocking queued calls on the application object.
#include "app/messagerelay.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace zentab::app {

TMessageRelay::TMessageRelay(QListWidget* list) : state_(std::make_shared<State>()) {
  state_->list = list;
}

TMessageRelay::~TMessageRelay() {
  state_->open = false;
}

MessageSink TMessageRelay::Sink() const {
  return [state = state_](const std::string& line) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!state->open || app == nullptr) return;
    QString text = QString::fromUtf8(line);
    auto append = [state, text] {
      if (state->open && state->list) state->list->addItem(text);
    };
    if (QThread::currentThread() == app->thread()) {
      append();
    } else {
      // Returns once the main thread has run append, or has thrown the call away unrun.
      QMetaObject::invokeMethod(app, append, Qt::BlockingQueuedConnection);
    }
  };
}

}  // namespace zentab::app
