// TAboutBox: the modal about box with the icon, name and version stamp, the memory figures
// read at each showing, and the web address that opens with the desktop's handler.
#pragma once

#include <QDialog>
#include <functional>

#include "platform/memstatus.h"

class QLabel;

namespace zentab::app {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  using MemorySource = std::function<platform::MemoryStatus()>;

  // memory gives the figures at each showing (the machine's own by default).
  explicit TAboutBox(QWidget* parent = nullptr, MemorySource memory = platform::QueryMemoryStatus);

  // The address LblURL shows and opens: the configured web address when the build names one,
  // else the installed documentation found from the executable's folder, else the README of
  // the sources the program was built from, else where the documentation installs.
  static QString HomePage();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LblURLClick();

  MemorySource memory_;
  bool placed_ = false;
  QLabel* Label1_;
  QLabel* Label2_;
  QLabel* LblURL_;
};

}  // namespace zentab::app
