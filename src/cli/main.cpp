// zentab-cli: runs one documentation job over the files named on the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "job/mdbseek.h"
#include "platform/clock.h"
#include "report/json.h"
#ifdef ZENTAB_HAVE_ENGINE
#include "engine/mdbengine.h"
#endif

int main(int argc, char** argv) {
  using namespace zentab;
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
#ifdef ZENTAB_HAVE_ENGINE
  engine::EngineOptions engineOptions;
  engineOptions.readTimeoutSeconds = options->readTimeoutSeconds;
  engine::RegisterMdbEngine(engineOptions);
#endif

  TMdbSeek job(
      options->files,
      [](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
      },
      cli::TargetFor(options->output));
  if (options->json) {
    job.WriteHtml = options->output.has_value();
    const std::string path = *options->json;
    job.DatabasesRead = [path](const std::vector<TMdb>& databases) {
      std::string text = RenderJson(databases, platform::FormatNow("yyyy-mm-ddThh:nn:ss"));
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      out.close();
      if (!out) {
        throw std::runtime_error("could not write the JSON description to '" + path +
                                 "': " + std::strerror(errno));
      }
    };
  }
  job.Start();
  JobOutcome outcome = job.Wait();
  if (!outcome.succeeded) {
    std::cerr << "zentab-cli: ";
    if (!outcome.failedPath.empty()) std::cerr << outcome.failedPath << ": ";
    std::cerr << outcome.error << "\n";
    return 1;
  }
  if (!outcome.reportPath.empty()) std::cerr << "report written to " << outcome.reportPath << "\n";
  if (options->json) std::cerr << "JSON description written to " << *options->json << "\n";
  return 0;
}
