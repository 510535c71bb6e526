// zentab-cli: runs one documentation job over the files named on the command line, then names
// every table or field that could not be read.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "job/mdbseek.h"
#include "platform/tempfiles.h"
#include "platform/text.h"
#include "platform/translate.h"
#include "report/definition/document.h"
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
  if (options->details) {
    if (auto refusal = cli::OutputRefusal(ReportTarget{"", *options->details}, options->files,
                                          "the definition document")) {
      std::cerr << "zentab-cli: " << *refusal << "; it is not replaced\n";
      return 2;
    }
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
  // The definition document needs every database at once: records are kept only for it.
  std::vector<TMdb> kept;
  if (options->details) job.DatabaseRead = [&kept](const TMdb& mdb) { kept.push_back(mdb); };
  job.Start();
  JobOutcome outcome = job.Wait();
  for (const auto& line : cli::WarningLines(outcome.readFailures)) {
    std::cerr << "zentab-cli: " << line << "\n";
  }
  if (!outcome.succeeded) {
    std::cerr << "zentab-cli: ";
    if (!outcome.failedPath.empty()) std::cerr << platform::DisplayText(outcome.failedPath) << ": ";
    std::cerr << platform::DisplayText(outcome.error) << "\n";
    return 1;
  }
  std::cerr << platform::Format(platform::Tr("report written to {0}"),
                                {platform::DisplayText(outcome.reportPath)})
            << "\n";
  if (options->details) {
    try {
      report::WriteDefinitionDocument(kept, *options->details);
    } catch (const std::exception& e) {
      std::cerr << "zentab-cli: " << platform::DisplayText(e.what()) << "\n";
      return 1;
    }
    std::cerr << platform::Format(platform::Tr("definition document written to {0}"),
                                  {platform::DisplayText(*options->details)})
              << "\n";
  }
  return options->strict && !outcome.readFailures.empty() ? 1 : 0;
}
