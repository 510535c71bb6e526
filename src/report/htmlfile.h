// The report file: header, body, footer, CR LF line ends, CP932 bytes, named by the time of
// writing and put in place atomically.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zentab {

inline constexpr const char* kReportHeader =
    R"(<html><head><style type="text/css"><!--body,table{font-family:"courier new";}table{padding:3px;}th{padding:1px;text-align:left;background-color:#eeeeee;}--></style></head><body>)";
inline constexpr const char* kReportFooter = "</body></html>";

class ReportWriteError : public std::runtime_error {
 public:
  ReportWriteError(std::string path, std::string reason)
      : std::runtime_error(path + ": " + reason),
        path_(std::move(path)),
        reason_(std::move(reason)) {}
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string path_;
  std::string reason_;
};

// Where the report goes: a file path, or a folder that receives it as yyyymmddhhnnss.html.
// Both empty means the running executable's folder.
struct ReportTarget {
  std::string directory;
  std::string file;
};

// Writes header CR LF, body (UTF-8, every line already ending in CR LF), CR LF, footer CR LF,
// converted to CP932 (characters CP932 lacks become numeric character references). The bytes
// go to a temporary file beside the target (unnamed where the file system allows) that gets
// its name only when complete, so a failed or interrupted write never leaves a partial
// report. A report file given by name replaces that file (through a symbolic link: its
// target), keeping its mode; one that is read-only or not a regular file is refused. A
// time-stamped name never replaces anything: when yyyymmddhhnnss.html exists, the report
// takes yyyymmddhhnnss-2.html, -3 and so on. A new file gets the mode the umask allows.
// Returns the path written; throws ReportWriteError naming the path and the reason.
std::string WriteHtmlFile(const std::string& body, const ReportTarget& target = {});

// The report written piece by piece as the job goes, to the same temporary file WriteHtmlFile
// uses, with the same rules for the name it finally gets. Opening checks the target and writes
// the header; Append converts a piece of the body (UTF-8, whole characters) and buffers it
// (AppendConverted takes it converted already); Commit ends the body and gives the file its
// name (a time-stamped name is taken from the time of Commit). A writer destroyed before
// Commit leaves nothing behind. Every step throws ReportWriteError naming the path and the
// reason.
class ReportWriter {
 public:
  explicit ReportWriter(const ReportTarget& target = {});
  ~ReportWriter();
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;

  void Append(std::string_view utf8);
  // Appends body text already converted, as platform::AppendUtf8ToCp932Html converts it.
  void AppendConverted(std::string_view cp932);
  // Waits until the text handed to the file so far is written there (the file is written on a
  // thread of its own, a megabyte at a time); throws ReportWriteError when it could not be.
  void WaitForWrites();
  // Returns the path written. The writer takes no more text afterwards.
  std::string Commit();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Checks, before any work, that WriteHtmlFile could write to target now: the folder exists
// and may be written, and a named report file is not read-only or of another kind. Throws
// ReportWriteError as WriteHtmlFile would.
void CheckReportTarget(const ReportTarget& target);

// The first path WriteHtmlFile would try at this moment.
std::string ReportPath(const ReportTarget& target);

}  // namespace zentab
