// The application object: its title and icon, and the last stop for a failure that escapes an
// event handler on the main thread.
#pragma once

#include <QApplication>
#include <QIcon>
#include <functional>

namespace zentab::app {

// The program's icon, from the resources built into the program.
QIcon AppIcon();

class TApplication : public QApplication {
 public:
  // Sets the application title "Zentab" (the main window's caption) and the icon.
  TApplication(int& argc, char** argv);

  // Delivers the event; a std::exception that escapes the handler is shown to the user (a
  // message box with its message) and the event loop goes on.
  bool notify(QObject* receiver, QEvent* event) override;

  // Replaces the message box with handler (an empty handler restores it).
  static void SetFailureHandler(std::function<void(const QString& message)> handler);
};

}  // namespace zentab::app
