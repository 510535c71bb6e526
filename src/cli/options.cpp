// Option parsing for zentab-cli.
#include "cli/options.h"

#include <charconv>
#include <filesystem>

namespace zentab::cli {

const char* UsageText() {
  return "Usage: zentab-cli [--output PATH] [--json PATH] [--read-timeout SECONDS] FILE...\n"
         "Documents the design of Access databases (.mdb, .accdb) in one HTML report.\n"
         "\n"
         "Every FILE is read in the order given; progress lines go to standard output.\n"
         "\n"
         "  --output PATH            an existing directory (or a path ending in '/') receives\n"
         "                           the report as yyyymmddhhnnss.html; any other PATH is the\n"
         "                           report file itself (default: the current directory)\n"
         "  --json PATH              write the JSON description of the databases to PATH\n"
         "                           (UTF-8); without --output no HTML report is written\n"
         "  --read-timeout SECONDS   abandon a database whose reading takes longer\n"
         "                           (default: 60)\n"
         "  --help                   show this help and exit\n"
         "  --version                show the version and exit\n"
         "\n"
         "Exit status: 0 when the report (or the JSON description) was written, 1 when the job "
         "failed (the reason is\n"
         "printed on standard error), 2 for bad usage.\n";
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
        error = name + " needs a value";
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
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--output" || arg.rfind("--output=", 0) == 0) {
      auto v = value("--output");
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = "--output needs a non-empty path";
        return std::nullopt;
      }
      options.output = *v;
    } else if (arg == "--json" || arg.rfind("--json=", 0) == 0) {
      auto v = value("--json");
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = "--json needs a non-empty path";
        return std::nullopt;
      }
      options.json = *v;
    } else if (arg == "--read-timeout" || arg.rfind("--read-timeout=", 0) == 0) {
      auto v = value("--read-timeout");
      if (!v) return std::nullopt;
      int seconds = 0;
      auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), seconds);
      if (ec != std::errc() || end != v->data() + v->size() || seconds <= 0) {
        error = "--read-timeout needs a whole number of seconds above 0, not '" + *v + "'";
        return std::nullopt;
      }
      options.readTimeoutSeconds = seconds;
    } else {
      error = "unknown option '" + arg + "'";
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

}  // namespace zentab::cli
