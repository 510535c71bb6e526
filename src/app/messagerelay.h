// The hand-off of a job's progress lines to the message list: the job's thread waits until
// the main thread has appended its line, so lines arrive one at a time and in order.
#pragma once

#include <QListWidget>
#include <QPointer>
#include <atomic>
#include <memory>

#include "job/mdbseek.h"

namespace zentab::app {

class TMessageRelay {
 public:
  // list receives the lines; it must live on the main thread.
  explicit TMessageRelay(QListWidget* list);
  // Closes the relay: lines still on their way, and every later one, are dropped, and no job
  // thread waits for the list any more than until the main thread next handles events.
  ~TMessageRelay();
  TMessageRelay(const TMessageRelay&) = delete;
  TMessageRelay& operator=(const TMessageRelay&) = delete;

  // A sink for a job. It may outlive the relay; it then drops its lines at once.
  MessageSink Sink() const;

 private:
  struct State {
    std::atomic<bool> open{true};
    QPointer<QListWidget> list;  // touched on the main thread only
  };
  std::shared_ptr<State> state_;
};

}  // namespace zentab::app
