// The command line of zentab-cli, parsed without side effects.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/htmlfile.h"

namespace zentab::cli {

struct Options {
  bool help = false;
  bool version = false;
  std::optional<std::string> output;
  std::optional<std::string> json;
  int readTimeoutSeconds = 60;
  std::vector<std::string> files;
};

// Parses argv[1..]; on bad usage returns nothing and sets error.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// Where --output sends the report: an existing directory or a path ending in "/" is a folder,
// anything else the report file itself; no --output means the current directory.
ReportTarget TargetFor(const std::optional<std::string>& output);

const char* UsageText();

}  // namespace zentab::cli
