// Writing the report through a temporary file and rename(2).
#include "report/htmlfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace zentab {
namespace {

[[noreturn]] void Fail(const std::string& path, const char* step, int err) {
  throw ReportWriteError(path, std::string(step) + ": " + std::strerror(err));
}

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(path, "cannot write", errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string ReportPath(const ReportTarget& target) {
  if (!target.file.empty()) return target.file;
  std::string dir = target.directory.empty() ? platform::ExecutableDirectory() : target.directory;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + platform::FormatNow("yyyymmddhhnnss") + ".html";
}

std::string WriteHtmlFile(const std::string& body, const ReportTarget& target) {
  const std::string path = ReportPath(target);
  // Header and footer are ASCII, the same bytes in CP932; only the body is converted, and it is
  // not copied first.
  std::string bytes = kReportHeader;
  bytes += "\r\n";
  bytes += platform::Utf8ToCp932Html(body);
  bytes += "\r\n";
  bytes += kReportFooter;
  bytes += "\r\n";

  std::string temp = platform::DirectoryOf(path) + "." + platform::FileNameOf(path) + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) Fail(path, "cannot create", errno);
  try {
    WriteAll(fd, bytes, path);
    if (::fsync(fd) != 0) Fail(path, "cannot write", errno);
    ::fchmod(fd, 0644);  // mkstemp creates 0600; a report is for reading by others too
    if (::close(fd) != 0) {
      fd = -1;
      Fail(path, "cannot write", errno);
    }
    fd = -1;
    if (::rename(temp.c_str(), path.c_str()) != 0) Fail(path, "cannot create", errno);
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  return path;
}

}  // namespace zentab
