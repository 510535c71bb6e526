// Option parsing for zentab-cli.
#include "cli/options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <filesystem>

#include "platform/text.h"
#include "platform/translate.h"

namespace zentab::cli {

const char* UsageText() {
  return "Usage: zentab-cli [--output PATH] [--json PATH] [--details PATH]\n"
         "                  [--read-timeout SECONDS] [--strict] FILE...\n"
         "Documents the design of Access databases (.mdb, .accdb) in one HTML report.\n"
         "\n"
         "Every FILE is read in the order given; progress lines go to standard output.\n"
         "\n"
         "  --output PATH            an existing directory (or a path ending in '/') receives\n"
         "                           the report as yyyymmddhhnnss.html; any other PATH is the\n"
         "                           report file itself (default: the current directory)\n"
         "  --json PATH              write the JSON description of the databases to PATH\n"
         "                           (UTF-8); without --output no HTML report is written\n"
         "  --details PATH           also write the definition document (keys, indexes,\n"
         "                           relationships, properties, queries, a relationship\n"
         "                           diagram; UTF-8 HTML) to PATH\n"
         "  --read-timeout SECONDS   abandon a database whose reading takes longer\n"
         "                           (default: 60)\n"
         "  --strict                 fail when a table or field could not be read\n"
         "  --help                   show this help and exit\n"
         "  --version                show the version and exit\n"
         "\n"
         "A table or field that could not be read is left out of the report and named in a\n"
         "warning on standard error.\n"
         "\n"
         "Exit status: 0 when the report (or the JSON description) was written, 1 when the job\n"
         "failed (the reason is printed on standard error) or, with --strict, when there were\n"
         "warnings, 2 for bad usage (an --output that names an input, a database or something\n"
         "not a file included).\n";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  bool onlyFiles = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](const std::string& name) -> std::optional<std::string> {
      if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        return arg.substr(name.size() + 1);
      }
      if (i + 1 >= args.size()) {
        error = platform::Format(platform::Tr("{0} needs a value"), {name});
        return std::nullopt;
      }
      return args[++i];
    };
    if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
      options.files.push_back(arg);
    } else if (arg == "--") {
      onlyFiles = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--strict") {
      options.strict = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--output" || arg.rfind("--output=", 0) == 0) {
      auto v = value("--output");
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = platform::Tr("--output needs a non-empty path");
        return std::nullopt;
      }
      options.output = *v;
    } else if (arg == "--json" || arg.rfind("--json=", 0) == 0) {
      auto v = value("--json");
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = platform::Tr("--json needs a non-empty path");
        return std::nullopt;
      }
      options.json = *v;
    } else if (arg == "--details" || arg.rfind("--details=", 0) == 0) {
      auto v = value("--details");
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = platform::Tr("--details needs a non-empty path");
        return std::nullopt;
      }
      options.details = *v;
    } else if (arg == "--read-timeout" || arg.rfind("--read-timeout=", 0) == 0) {
      auto v = value("--read-timeout");
      if (!v) return std::nullopt;
      int seconds = 0;
      auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), seconds);
      if (ec != std::errc() || end != v->data() + v->size() || seconds <= 0) {
        error = platform::Format(
            platform::Tr("--read-timeout needs a whole number of seconds above 0, not '{0}'"),
            {*v});
        return std::nullopt;
      }
      options.readTimeoutSeconds = seconds;
    } else {
      error = platform::Format(platform::Tr("unknown option '{0}'"), {arg});
      return std::nullopt;
    }
  }
  return options;
}

ReportTarget TargetFor(const std::optional<std::string>& output) {
  if (!output) return ReportTarget{"./", ""};
  std::error_code ec;
  if (output->back() == '/' || std::filesystem::is_directory(*output, ec)) {
    return ReportTarget{*output, ""};
  }
  return ReportTarget{"", *output};
}

std::optional<std::string> OutputRefusal(const ReportTarget& target,
                                         const std::vector<std::string>& files,
                                         const std::string& what) {
  if (target.file.empty()) return std::nullopt;
  const std::string shown = "'" + platform::DisplayText(target.file) + "'";
  struct stat out {};
  if (::stat(target.file.c_str(), &out) != 0) return std::nullopt;  // a new file
  if (!S_ISREG(out.st_mode)) return what + " " + shown + " exists and is not a regular file";
  for (const auto& file : files) {
    struct stat in {};
    if (::stat(file.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
      return what + " " + shown + " is the input database '" + platform::DisplayText(file) + "'";
    }
  }
  // A database that a shell pattern put first is not a report to replace either.
  int fd = ::open(target.file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) {
    char head[20] = {};
    ssize_t n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    if (n == static_cast<ssize_t>(sizeof head) &&
        (std::memcmp(head + 4, "Standard Jet DB", 15) == 0 ||
         std::memcmp(head + 4, "Standard ACE DB", 15) == 0)) {
      return what + " " + shown + " is an Access database";
    }
  }
  return std::nullopt;
}

std::vector<std::string> WarningLines(const std::vector<ReadFailure>& failures, std::size_t limit) {
  std::vector<std::string> lines;
  for (std::size_t k = 0; k < failures.size() && k < limit; ++k) {
    const ReadFailure& f = failures[k];
    std::string line = platform::Tr("warning: ") + platform::DisplayText(f.path) + ": ";
    if (f.tablePosition > 0) {
      line += f.table.empty()
                  ? platform::Format(platform::Tr("table #{0}"), {std::to_string(f.tablePosition)})
                  : platform::Format(platform::Tr("table '{0}'"), {platform::DisplayText(f.table)});
      if (f.fieldPosition > 0) {
        line +=
            f.field.empty()
                ? platform::Format(platform::Tr(", field #{0}"), {std::to_string(f.fieldPosition)})
                : platform::Format(platform::Tr(", field '{0}'"), {platform::DisplayText(f.field)});
      }
      line += ": ";
    }
    lines.push_back(line + platform::DisplayText(f.message));
  }
  if (failures.size() > limit) {
    lines.push_back(
        platform::Format(platform::Tr("warning: {0} more tables or fields could not be read"),
                         {std::to_string(failures.size() - limit)}));
  }
  return lines;
}

}  // namespace zentab::cli
