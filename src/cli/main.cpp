// zentab-cli: runs one documentation job over the files named on the command line, then names
// every table or field that could not be read; with --json and --details it also writes the
// JSON description and the definition document.
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
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
#include "report/definition/document.h"
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
  const std::pair<const std::optional<std::string>*, const char*> others[] = {
      {&options->json, "the JSON description"}, {&options->details, "the definition document"}};
  for (const auto& [path, what] : others) {
    if (!*path) continue;
    if (auto refusal = cli::OutputRefusal(ReportTarget{"", **path}, options->files, what)) {
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
  // The reader process reads the design beyond the fixed report only for the outputs that
  // show it.
  engineOptions.readDesign = options->json.has_value() || options->details.has_value();
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
  // The fixed report is written when --output asks for it, or when nothing else is asked for.
  job.WriteHtml = options->output.has_value() || (!options->json && !options->details);
  // The JSON description is written as the databases are read, to a file that gets its name
  // only when the job is complete.
  std::optional<platform::WholeFile> json;
  std::optional<JsonDocumentWriter> jsonWriter;
  // The definition document needs every database at once: records are kept only for it.
  std::vector<TMdb> kept;
  try {
    if (options->json) {
      json.emplace(*options->json);
      jsonWriter.emplace([&json](std::string_view piece) { json->Write(piece); },
                         platform::FormatNow("yyyy-mm-ddThh:nn:ss"));
    }
  } catch (const std::exception& e) {
    std::cerr << "zentab-cli: " << platform::Tr("could not write the JSON description") << ": "
              << platform::DisplayText(e.what()) << "\n";
    return 1;
  }
  // Only these outputs need the design beyond the fixed report: without them the job does not
  // read it at all.
  if (jsonWriter || options->details) {
    job.DatabaseRead = [&](const TMdb& mdb) {
      if (jsonWriter) jsonWriter->Add(mdb);
      if (options->details) kept.push_back(mdb);
    };
  }
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
  if (!outcome.reportPath.empty()) {
    std::cerr << platform::Format(platform::Tr("report written to {0}"),
                                  {platform::DisplayText(outcome.reportPath)})
              << "\n";
  }
  const char* writing = "could not write the JSON description";
  try {
    if (jsonWriter) {
      jsonWriter->Finish();
      json->Commit();
      std::cerr << platform::Format(platform::Tr("JSON description written to {0}"),
                                    {platform::DisplayText(*options->json)})
                << "\n";
    }
    if (options->details) {
      writing = "could not write the definition document";
      report::WriteDefinitionDocument(kept, *options->details);
      std::cerr << platform::Format(platform::Tr("definition document written to {0}"),
                                    {platform::DisplayText(*options->details)})
                << "\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "zentab-cli: " << platform::Tr(writing) << ": " << platform::DisplayText(e.what())
              << "\n";
    return 1;
  }
  return options->strict && !outcome.readFailures.empty() ? 1 : 0;
}
