// The pieces under the windows: the owner-drawn rows, the line hand-off between threads and
// the failure box behind every event handler.
#include <QListWidget>
#include <QPainter>
#include <QStandardItemModel>
#include <atomic>
#include <thread>

#include "app/application.h"
#include "app/messagerelay.h"
#include "app/rowdelegate.h"
#include "app_support.h"

namespace zentab::app {
namespace {

using testing::WaitFor;

// The box around every pixel darker than mid-grey.
QRect Ink(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

QImage PaintRow(const QString& text, QStyle::State state = QStyle::State_Enabled) {
  QStandardItemModel model;
  model.appendRow(new QStandardItem(text));
  TRowDelegate delegate;
  QStyleOptionViewItem option;
  option.rect = QRect(0, 0, 160, TRowDelegate::kRowHeight);
  option.state = state;
  option.font.setPixelSize(13);
  option.palette.setColor(QPalette::Base, Qt::white);
  option.palette.setColor(QPalette::Text, Qt::black);
  option.palette.setColor(QPalette::Highlight, Qt::blue);
  option.palette.setColor(QPalette::HighlightedText, Qt::white);
  QImage image(160, TRowDelegate::kRowHeight, QImage::Format_RGB32);
  image.fill(Qt::red);
  QPainter painter(&image);
  delegate.paint(&painter, option, model.index(0, 0));
  return image;
}

TEST(RowDelegate, DrawsTheTextOnOneCentredLineTwoPixelsIn) {
  QImage row = PaintRow("HHH");
  EXPECT_EQ(row.pixel(0, 0), QColor(Qt::white).rgb());  // the row's background is painted
  QRect ink = Ink(row);
  ASSERT_TRUE(ink.isValid());
  EXPECT_GE(ink.left(), TRowDelegate::kTextIndent);
  EXPECT_LE(ink.left(), TRowDelegate::kTextIndent + 2);
  EXPECT_LE(std::abs((ink.top() + ink.bottom()) / 2 - TRowDelegate::kRowHeight / 2), 2);
  // A line break does not start a second line.
  QRect broken = Ink(PaintRow("HHH\nHHH"));
  EXPECT_EQ(broken.top(), ink.top());
  EXPECT_EQ(broken.bottom(), ink.bottom());
  EXPECT_GT(broken.width(), ink.width());

  QImage selected = PaintRow("HHH", QStyle::State_Enabled | QStyle::State_Selected);
  EXPECT_EQ(selected.pixel(0, 0), QColor(Qt::blue).rgb());
}

TEST(RowDelegate, ListRowsAreTwentyPixelsHigh) {
  QListWidget list;
  list.setItemDelegate(new TRowDelegate(&list));
  list.addItems({"one", "two", "three"});
  list.show();
  EXPECT_EQ(list.visualItemRect(list.item(0)).height(), 20);
  EXPECT_EQ(list.visualItemRect(list.item(2)).top() - list.visualItemRect(list.item(0)).top(), 40);
}

TEST(MessageRelay, TheJobThreadWaitsUntilItsLineIsInTheList) {
  QListWidget list;
  TMessageRelay relay(&list);
  MessageSink sink = relay.Sink();
  std::atomic<int> sent{0};
  std::thread worker([&] {
    for (const char* line : {"一", "two", "三"}) {
      sink(line);
      ++sent;
    }
  });
  QThread::msleep(100);
  // No events handled: the first line is still on its way and the worker waits for it.
  EXPECT_EQ(sent.load(), 0);
  EXPECT_EQ(list.count(), 0);
  EXPECT_TRUE(WaitFor([&] { return sent == 3; }));
  worker.join();
  ASSERT_EQ(list.count(), 3);
  EXPECT_EQ(list.item(0)->text(), "一");
  EXPECT_EQ(list.item(1)->text(), "two");
  EXPECT_EQ(list.item(2)->text(), "三");
  sink("main thread");  // on the main thread the line goes in at once
  EXPECT_EQ(list.count(), 4);
}

TEST(MessageRelay, GivesUpOnceTheRelayIsGone) {
  QListWidget list;
  auto relay = std::make_unique<TMessageRelay>(&list);
  MessageSink sink = relay->Sink();
  std::atomic<bool> first{false};
  std::thread worker([&] {
    sink("in flight");
    first = true;
    sink("after");
  });
  QThread::msleep(50);
  relay.reset();
  // The line in flight is dropped when the main thread next handles events; the next one is
  // dropped at once, without waiting for the main thread.
  EXPECT_TRUE(WaitFor([&] { return first.load(); }));
  worker.join();
  EXPECT_EQ(list.count(), 0);
}

TEST(MessageRelay, ALineForADestroyedListIsDropped) {
  auto list = std::make_unique<QListWidget>();
  TMessageRelay relay(list.get());
  MessageSink sink = relay.Sink();
  list.reset();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    sink("nobody listens");
    done = true;
  });
  EXPECT_TRUE(WaitFor([&] { return done.load(); }));
  worker.join();
}

// Throws from its handler for user events.
class Thrower : public QObject {
 public:
  int handled = 0;
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("handler failed");
    if (event->type() == QEvent::User + 1) ++handled;
    return QObject::event(event);
  }
};

TEST(Application, AFailureThatEscapesAHandlerIsShownAndTheLoopGoesOn) {
  QStringList shown;
  TApplication::SetFailureHandler([&](const QString& message) { shown << message; });
  Thrower thrower;
  QEvent failing(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &failing));
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::Type(QEvent::User + 1)));
  QCoreApplication::processEvents();
  TApplication::SetFailureHandler(nullptr);
  EXPECT_EQ(shown, QStringList({"handler failed", "handler failed"}));
  EXPECT_EQ(thrower.handled, 1);
  EXPECT_EQ(QCoreApplication::applicationName(), "Zentab");
}

}  // namespace
}  // namespace zentab::app
