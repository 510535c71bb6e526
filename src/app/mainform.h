// TMainForm, the program's working window: the list of databases to document, the start
// button, the job's progress lines, and the window menu with the about item.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/baseform.h"
#include "app/messagerelay.h"

class QAction;
class QFrame;
class QListWidget;
class QMenu;
class QPushButton;

namespace zentab::app {

class TAboutBox;

class TMainForm : public TBaseForm {
  Q_OBJECT

 public:
  // The command identifier of the about item in the window menu.
  static constexpr int kAboutCommand = 100;
  // The items that open the last report and the folder it is in.
  static constexpr int kOpenReportCommand = 101;
  static constexpr int kOpenFolderCommand = 102;
  // The switch that writes the definition document beside each report.
  static constexpr int kDetailsCommand = 103;
  // The window's bounds while the settings file holds none.
  static constexpr QRect kFormBounds{61, 124, 361, 306};

  explicit TMainForm(std::vector<std::string> arguments, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The about box the about item shows; not owned.
  void SetAboutBox(TAboutBox* about) { aboutBox_ = about; }

  // The file list becomes visible when true, the message list otherwise.
  void ShowFileList(bool visible);

  // The window menu (the report items, the window commands, a separator, the about item last);
  // it opens on a right click anywhere on the window, and at the window's corner by the Menu
  // key. The report items stay disabled until a job of this window has written a report.
  QMenu* SystemMenu() const { return systemMenu_; }

  // Carries out a command of the window menu; kAboutCommand shows the about box modally and
  // returns when it closes.
  void SystemCommand(int id);

  // Whether jobs also write the definition document (remembered in the settings file, section
  // [Options], key Details) and its switching.
  bool Details() const { return details_; }
  void SetDetails(bool on);

  // The latest report a job of this window wrote (empty before the first), and its taking in.
  const std::string& LastReport() const { return lastReport_; }
  void ReportWritten(const std::string& path);

 protected:
  // Keeps the files whose extension, ASCII upper-cased, is ".MDB", lists them and enables the
  // start button when there is one.
  void FilesReceived() override;
  // Opens the window menu on a right click over any part of the window: buttons and lists do
  // not pass their clicks on to the window.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void btnStartClick();
  void AddAboutMenu();

  QFrame* Panel1_;
  QPushButton* btnStart_;
  QListWidget* lbMdbList_;
  QListWidget* lbMessage_;
  QMenu* systemMenu_;
  QAction* openReport_;
  QAction* openFolder_;
  QAction* details_action_;
  bool details_ = false;
  std::string lastReport_;
  TAboutBox* aboutBox_ = nullptr;
  std::unique_ptr<TMessageRelay> relay_;
};

}  // namespace zentab::app
