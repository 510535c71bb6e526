// The command line of zentab-cli, parsed without side effects.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "job/mdbseek.h"
#include "report/htmlfile.h"

namespace zentab::cli {

struct Options {
  bool help = false;
  bool version = false;
  bool strict = false;  // read failures kept in the records fail the run
  std::optional<std::string> output;
  std::optional<std::string> details;  // where the definition document goes
  std::optional<std::string> json;
  int readTimeoutSeconds = 60;
  std::vector<std::string> files;
};

// Parses argv[1..]; on bad usage returns nothing and sets error.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// Where --output sends the report: an existing directory or a path ending in "/" is a folder,
// anything else the report file itself; no --output means the current directory.
ReportTarget TargetFor(const std::optional<std::string>& output);

// Why the report must not go to target, or nothing when it may: a named report file that
// exists and is not a regular file, that is one of the input files (links followed), or that
// is an Access database itself. what names the output in the reason ("the report").
std::optional<std::string> OutputRefusal(const ReportTarget& target,
                                         const std::vector<std::string>& files,
                                         const std::string& what = "the report");

// The warning lines for the read failures (without the program name), at most limit of them
// and then one line telling how many more there were.
std::vector<std::string> WarningLines(const std::vector<ReadFailure>& failures,
                                      std::size_t limit = 20);

const char* UsageText();

}  // namespace zentab::cli
