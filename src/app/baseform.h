// TBaseForm, the base of the program's working windows: bounds and the Escape switch kept in
// the settings file, closing by Escape, and the intake of paths from the command line and
// from drops.
#pragma once

#include <QRect>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

class QMimeData;

namespace zentab::app {

// True for a path that names an existing directory, false for an existing file that is not a
// directory; throws std::runtime_error("is not path") for anything else.
bool CheckPath(const std::string& path);

// Opens a web address, document or folder with the desktop's handler; a relative path is
// taken from the executable's folder. True when the desktop accepted the request.
bool ShellOpen(const std::string& target);

// The local paths of a drop, in its order, whole, as the bytes the addresses carry (a name that
// is not UTF-8 keeps its bytes); entries that are not file addresses are left out.
std::vector<std::string> DroppedPaths(const QMimeData& data);

class TBaseForm : public QWidget {
  Q_OBJECT

 public:
  // className names the window's section in the settings file; formBounds (left, top, width,
  // height) are the window's bounds when the file holds none; arguments are the paths the
  // window takes in when it is shown (the program's own path excluded).
  TBaseForm(std::string className, QRect formBounds, std::vector<std::string> arguments,
            QWidget* parent = nullptr);
  // Saves the settings.
  ~TBaseForm() override;

  // Escape closes the window; kept in the settings file, false while it holds no value.
  bool EscapeClose = false;

  // The paths of the latest intake naming existing files (as the derived window left them)
  // and existing directories, in intake order.
  const std::vector<std::string>& FileList() const { return fileList_; }
  const std::vector<std::string>& DirList() const { return dirList_; }

  // The settings file: the executable's path with the extension ".ini" when its folder is
  // writable, else the same name in the user's settings folder.
  const std::string& SettingsFile() const { return iniFile_.FileName(); }
  const std::string& ClassName() const { return className_; }

  // One intake: empties both lists, sorts every path into one of them (paths naming nothing
  // are skipped), then FilesReceived. Paths are UTF-8 bytes, taken whole.
  void TakePaths(const std::vector<std::string>& paths);
  // The intake of the command-line arguments.
  void ReadCommandLine() { TakePaths(arguments_); }

 protected:
  // Called at the end of every intake; the derived window reads and may change fileList_.
  virtual void FilesReceived() = 0;

  // Reads the bounds, then FitToScreen, then the Escape switch.
  void LoadSettings();
  // Cuts the size to the available area of the screen the window is on; the position stays.
  void FitToScreen();
  void SaveSettings();
  std::int32_t ReadIntSetting(std::string_view key, std::int32_t fallback) const;
  bool ReadBoolSetting(std::string_view key, bool fallback) const;
  void WriteIntSetting(std::string_view key, std::int32_t value);
  void WriteBoolSetting(std::string_view key, bool value);
  // The settings file itself, for sections of the window's own beyond its bounds.
  platform::TIniFile& Settings() { return iniFile_; }

  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Key preview: sees the keys of every widget of this window before they do.
  bool eventFilter(QObject* watched, QEvent* event) override;

  std::vector<std::string> fileList_;
  std::vector<std::string> dirList_;

 private:
  void AddPath(const std::string& path);

  std::string className_;
  std::vector<std::string> arguments_;
  platform::TIniFile iniFile_;
};

}  // namespace zentab::app
