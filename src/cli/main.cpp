// zentab-cli: runs one documentation job over the files named on the command line, then names
// every table or field that could not be read; with --json it also writes the JSON description.
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "job/mdbseek.h"
#include "platform/clock.h"
#include "platform/tempfiles.h"
#include "platform/text.h"
#include "platform/translate.h"
#include "report/json.h"
#ifdef ZENTAB_HAVE_ENGINE
#include "engine/mdbengine.h"
#endif

int main(int argc, char** argv) {
  using namespace zentab;
  platform::OpenMissingStandardStreams();
  // Messages follow the user's language; the system's own (strerror) too, and nothing else of
  // the locale changes.
  std::setlocale(LC_MESSAGES, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = cli::ParseOptions(args, error);
  if (!options) {
    std::cerr << "zentab-cli: " << error << "\n" << cli::UsageText();
    return 2;
  }
  if (options->help) {
    std::cout << cli::UsageText();
    return 0;
  }
  if (options->version) {
    std::cout << "zentab-cli " ZENTAB_VERSION " (zentab20030201)\n";
    return 0;
  }
  ReportTarget target = cli::TargetFor(options->output);
  if (auto refusal = cli::OutputRefusal(target, options->files)) {
    std::cerr << "zentab-cli: " << *refusal << "; it is not replaced\n";
    return 2;
  }
  // An interrupted run leaves no temporary report; progress lines nobody reads (a closed pipe)
  // are dropped while the report is still written; a file size limit is an error, not a kill.
  platform::InstallTemporaryFileCleanup();
  std::signal(SIGPIPE, SIG_IGN);
#ifdef ZENTAB_HAVE_ENGINE
  engine::EngineOptions engineOptions;
  engineOptions.readTimeoutSeconds = options->readTimeoutSeconds;
  engine::RegisterMdbEngine(engineOptions);
#endif

  TMdbSeek job(
      options->files,
      [](const std::string& line) {
        static bool dropped = false;
        if (dropped) return;
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        if (std::fflush(stdout) != 0) dropped = true;
      },
      target);
  // The JSON description is written as the databases are read; it is complete only when the
  // job is.
  std::ofstream json;
  std::optional<JsonDocumentWriter> jsonWriter;
  if (options->json) {
    const std::string path = *options->json;
    json.open(path, std::ios::binary | std::ios::trunc);
    if (!json) {
      std::cerr << "zentab-cli: could not write the JSON description to '" << path
                << "': " << std::strerror(errno) << "\n";
      return 1;
    }
    jsonWriter.emplace(
        [&json, path](std::string_view piece) {
          json.write(piece.data(), static_cast<std::streamsize>(piece.size()));
          if (!json) {
            throw std::runtime_error("could not write the JSON description to '" + path + "'");
          }
        },
        platform::FormatNow("yyyy-mm-ddThh:nn:ss"));
    job.WriteHtml = options->output.has_value();
    job.DatabaseRead = [&jsonWriter](const TMdb& mdb) { jsonWriter->Add(mdb); };
  }
  job.Start();
  JobOutcome outcome = job.Wait();
  for (const auto& line : cli::WarningLines(outcome.readFailures)) {
    std::cerr << "zentab-cli: " << line << "\n";
  }
  if (jsonWriter && outcome.succeeded) {
    try {
      jsonWriter->Finish();
      json.close();
      if (!json) throw std::runtime_error("could not write the JSON description");
    } catch (const std::exception& e) {
      std::cerr << "zentab-cli: " << e.what() << "\n";
      return 1;
    }
  }
  if (jsonWriter && !outcome.succeeded) {
    // A description cut short by the failure is not left behind as if whole.
    json.close();
    std::remove(options->json->c_str());
  }
  if (!outcome.succeeded) {
    std::cerr << "zentab-cli: ";
    if (!outcome.failedPath.empty()) std::cerr << platform::DisplayText(outcome.failedPath) << ": ";
    std::cerr << platform::DisplayText(outcome.error) << "\n";
    return 1;
  }
  if (!outcome.reportPath.empty()) {
    std::cerr << platform::Format(platform::Tr("report written to {0}"),
                                  {platform::DisplayText(outcome.reportPath)})
              << "\n";
  }
  if (options->json) {
    std::cerr << "JSON description written to " << platform::DisplayText(*options->json) << "\n";
  }
  return options->strict && !outcome.readFailures.empty() ? 1 : 0;
}
